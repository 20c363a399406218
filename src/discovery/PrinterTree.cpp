// The printer tree: one group for serial and one for USB printers, a line
// per port found, the current printer in bold.

#include <algorithm>

#include "discovery/PrinterList.h"

namespace carillon {

void PrinterList::SetTree(TreeControl* tree, int /*reserved*/, TreeImageList* images) {
    tree_ = tree;
    if (tree_ != nullptr && images != nullptr) tree_->SetNormalImageList(images);
}

void PrinterList::RebuildTree(bool wakeUp) {
    if (tree_ == nullptr) return;
    std::lock_guard lock(entriesMutex_);
    tree_->SetRedraw(false);
    tree_->DeleteAllItems();
    for (TreeItemSlot& slot : treeItems_) slot.item = 0;

    if (wakeUp) {
        tree_->InsertItem("Attempt to wake-up the printers...", kImageWakeUp, kTreeRoot);
    } else {
        const TreeItem serialGroup = tree_->InsertItem("Serial Printers", kImageSerial, kTreeRoot);
        const TreeItem usbGroup = tree_->InsertItem("USB Printers", kImageUsb, kTreeRoot);
        std::size_t next = 0;
        for (int i = 0; i < kMaxPrinterEntries; ++i) {
            PrinterEntry& e = entries[static_cast<std::size_t>(i)];
            if (e.kind != kPortKindUsb && e.kind != kPortKindSerial) continue;
            TreeItemSlot& slot = treeItems_[next++];
            slot.text = e.portName + ": " + e.label;
            slot.entryIndex = i;
            const bool usb = e.kind == kPortKindUsb;
            slot.item = tree_->InsertItem(slot.text, usb ? kImageUsb : kImageSerial, usb ? usbGroup : serialGroup);
            e.treeItem = slot.item;
            ApplyBoldLocked();
        }
        tree_->Expand(serialGroup);
        tree_->Expand(usbGroup);
    }
    tree_->SetRedraw(true);
}

void PrinterList::UpdateTreeBold() {
    if (tree_ == nullptr) return;
    std::lock_guard lock(entriesMutex_);
    ApplyBoldLocked();
}

void PrinterList::ApplyBoldLocked() {
    for (int k = 0; k < kMaxPrinterEntries; ++k) {
        const PrinterEntry& e = entries[static_cast<std::size_t>(k)];
        if (e.kind != kPortKindEmpty && e.treeItem != 0) tree_->SetBold(e.treeItem, k == current);
    }
}

bool PrinterList::OnTreeSelChanged() {
    if (tree_ == nullptr) return false;
    const TreeItem selected = tree_->GetSelectedItem();
    {
        std::lock_guard lock(entriesMutex_);
        auto it = std::find_if(treeItems_.begin(), treeItems_.end(),
                               [&](const TreeItemSlot& slot) { return selected != 0 && slot.item == selected; });
        if (it == treeItems_.end()) return false;
        current = it->entryIndex;
    }
    UpdateTreeBold();
    return true;
}

}  // namespace carillon
