#pragma once
// A tree control for tests: keeps the items as the search builds them.

#include <mutex>
#include <string>
#include <vector>

#include "discovery/TreeControl.h"

namespace carillon::testing {

class RecordingTree : public TreeControl {
public:
    struct Item {
        TreeItem handle;
        std::string text;
        int image;
        TreeItem parent;
        bool bold = false;
        bool expanded = false;
    };

    TreeItem InsertItem(const std::string& text, int image, TreeItem parent) override {
        std::lock_guard lock(mutex_);
        items_.push_back(Item{++next_, text, image, parent});
        return next_;
    }
    void DeleteAllItems() override {
        std::lock_guard lock(mutex_);
        items_.clear();
        selected_ = 0;
    }
    void SetBold(TreeItem item, bool bold) override {
        std::lock_guard lock(mutex_);
        if (Item* i = Find(item)) i->bold = bold;
    }
    void Expand(TreeItem item) override {
        std::lock_guard lock(mutex_);
        if (Item* i = Find(item)) i->expanded = true;
    }
    TreeItem GetSelectedItem() override {
        std::lock_guard lock(mutex_);
        return selected_;
    }
    void SetRedraw(bool on) override {
        std::lock_guard lock(mutex_);
        redrawOn_ = on;
    }
    void SetNormalImageList(TreeImageList*) override {}

    // A click on the item showing text.
    void Select(const std::string& text) {
        std::lock_guard lock(mutex_);
        for (const Item& i : items_)
            if (i.text == text) selected_ = i.handle;
    }
    std::vector<Item> Items() const {
        std::lock_guard lock(mutex_);
        return items_;
    }
    bool RedrawOn() const {
        std::lock_guard lock(mutex_);
        return redrawOn_;
    }

private:
    Item* Find(TreeItem handle) {
        for (Item& i : items_)
            if (i.handle == handle) return &i;
        return nullptr;
    }
    mutable std::mutex mutex_;
    std::vector<Item> items_;
    TreeItem next_ = 0;
    TreeItem selected_ = 0;
    bool redrawOn_ = true;
};

}  // namespace carillon::testing
