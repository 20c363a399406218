#include "cli/TextTree.h"

#include "common/SafeText.h"

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

std::string TextTree::Render(const std::map<std::string, std::string>& devices) const {
    std::lock_guard lock(mutex_);
    std::string out;
    for (const Item& group : items_) {
        if (group.parent != kTreeRoot) continue;
        out += group.text + "\n";
        for (const Item& line : items_) {
            if (line.parent != group.handle) continue;
            const auto device = devices.find(line.text.substr(0, line.text.find(':')));
            const std::string where = device == devices.end() ? "" : "  (" + tools::TerminalSafe(device->second) + ")";
            out += std::string(line.bold ? "  * " : "    ") + tools::TerminalSafe(line.text) + where + "\n";
        }
    }
    return out;
}

}  // namespace carillon::cli
