#pragma once
// The printer tree as the search sees it: a small tree control that a
// front-end implements (the wizard on a Qt tree widget, tests with a fake).
// Every operation may be called from the search's worker thread and must not
// block on the front-end's thread: an implementation hands out item handles
// at once and applies the changes on its own thread.

#include <cstdint>
#include <string>

namespace carillon {

using TreeItem = std::uintptr_t;  // 0: no item
constexpr TreeItem kTreeRoot = 0;

// The front-end's images for the tree; opaque to the search.
class TreeImageList;

enum TreeImage : int {
    kImageWakeUp = 0,
    kImageSerial = 1,
    kImageUsb = 2,
};

class TreeControl {
public:
    virtual ~TreeControl() = default;
    // Adds an item as the last child of parent (kTreeRoot for a top-level item);
    // the image serves both normal and selected states.
    virtual TreeItem InsertItem(const std::string& text, int image, TreeItem parent) = 0;
    virtual void DeleteAllItems() = 0;
    virtual void SetBold(TreeItem item, bool bold) = 0;
    virtual void Expand(TreeItem item) = 0;
    // The selected item; only called on the front-end's own thread.
    virtual TreeItem GetSelectedItem() = 0;
    // Drawing off while rebuilding, then on with a full repaint.
    virtual void SetRedraw(bool on) = 0;
    virtual void SetNormalImageList(TreeImageList* images) = 0;
};

}  // namespace carillon
