#include "cli/TextTree.h"

namespace carillon::cli {

TreeItem TextTree::InsertItem(const std::string& text, int, TreeItem parent) {
    std::lock_guard lock(mutex_);
    items_.push_back(Item{++next_, text, parent});
    return next_;
}

void TextTree::DeleteAllItems() {
    std::lock_guard lock(mutex_);
    items_.clear();
}

void TextTree::SetBold(TreeItem item, bool bold) {
    std::lock_guard lock(mutex_);
    for (Item& i : items_)
        if (i.handle == item) i.bold = bold;
}

std::string TextTree::Render() const {
    std::lock_guard lock(mutex_);
    std::string out;
    for (const Item& group : items_) {
        if (group.parent != kTreeRoot) continue;
        out += group.text + "\n";
        for (const Item& line : items_)
            if (line.parent == group.handle) out += std::string(line.bold ? "  * " : "    ") + line.text + "\n";
    }
    return out;
}

}  // namespace carillon::cli
