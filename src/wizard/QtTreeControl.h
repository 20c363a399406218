#pragma once
// QtTreeControl: the printer tree on a QTreeWidget. The search calls it from
// the worker thread while it holds the printer list's lock, so nothing here
// waits for the GUI thread: item handles come at once from a counter and
// every change to the widget is queued to the widget's thread, in order.

#include <QIcon>
#include <QObject>
#include <QTreeWidget>
#include <atomic>
#include <functional>
#include <map>
#include <vector>

#include "discovery/TreeControl.h"

namespace carillon {

// The tree's images by index (TreeImage), the same in every item state.
class TreeImageList {
public:
    explicit TreeImageList(std::vector<QIcon> icons) : m_icons(std::move(icons)) {}
    QIcon Icon(int index) const;
    int Count() const { return static_cast<int>(m_icons.size()); }

private:
    std::vector<QIcon> m_icons;
};

// The wake-up, serial and USB images, drawn for the tree at 16 pixels.
TreeImageList MakePrinterTreeImages();

class QtTreeControl final : public QObject, public TreeControl {
public:
    // Made on the widget's thread, where the queued changes then run. widget
    // must outlive this object, and this object every caller.
    explicit QtTreeControl(QTreeWidget* widget);

    TreeItem InsertItem(const std::string& text, int image, TreeItem parent) override;
    void DeleteAllItems() override;
    void SetBold(TreeItem item, bool bold) override;
    void Expand(TreeItem item) override;
    TreeItem GetSelectedItem() override;  // GUI thread only
    void SetRedraw(bool on) override;
    void SetNormalImageList(TreeImageList* images) override;

    // GUI thread only: the widget's item for a handle, null when none (yet).
    QTreeWidgetItem* Item(TreeItem handle) const;

private:
    void Queue(std::function<void()> change);

    QTreeWidget* m_widget;
    std::atomic<TreeItem> m_nextHandle{1};
    // Touched on the GUI thread only, inside the queued changes.
    TreeImageList* m_images = nullptr;
    std::map<TreeItem, QTreeWidgetItem*> m_items;
    std::map<const QTreeWidgetItem*, TreeItem> m_handles;
};

}  // namespace carillon
