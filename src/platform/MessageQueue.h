#pragma once
// A message target that keeps what is posted to it, in order, for a reader
// on another thread: the headless runner's stand-in for a window.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/MessageTarget.h"

namespace carillon::platform {

struct Message {
    std::uint32_t id = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

class MessageQueue : public MessageTarget {
public:
    void PostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(Message{message, wParam, lParam});
        }
        posted_.notify_all();
    }

    // The oldest message, waiting up to timeout for one to come.
    std::optional<Message> Take(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_for(lock, timeout, [this] { return !messages_.empty(); })) return std::nullopt;
        Message m = messages_.front();
        messages_.pop_front();
        return m;
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Message> messages_;
};

}  // namespace carillon::platform
