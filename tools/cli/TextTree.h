#pragma once
// The printer tree as text: the search fills it as it fills the wizard's.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/TreeControl.h"

namespace carillon::cli {

class TextTree : public TreeControl {
public:
    TreeItem InsertItem(const std::string& text, int image, TreeItem parent) override;
    void DeleteAllItems() override;
    void SetBold(TreeItem item, bool bold) override;
    void Expand(TreeItem) override {}
    TreeItem GetSelectedItem() override { return 0; }
    void SetRedraw(bool) override {}
    void SetNormalImageList(TreeImageList*) override {}

    // Groups at the left, their lines indented; the bold line marked "*".
    // A line whose port is among devices ends with that port's device path.
    // Control bytes are shown escaped: the labels come from the printers.
    std::string Render(const std::map<std::string, std::string>& devices = {}) const;

private:
    struct Item {
        TreeItem handle;
        std::string text;
        TreeItem parent;
        bool bold = false;
    };
    mutable std::mutex mutex_;
    std::vector<Item> items_;
    TreeItem next_ = 0;
};

}  // namespace carillon::cli
