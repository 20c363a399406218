#pragma once
// Stands for a window handle: something that worker threads post messages to.
// Posting never blocks and never calls into the receiver's thread.

#include <cstdint>

namespace carillon::platform {

constexpr std::uint32_t WM_PAINT = 0x000F;
constexpr std::uint32_t WM_USER = 0x0400;
constexpr std::uint32_t WM_UPDATE_FAILED = WM_USER + 1000;
constexpr std::uint32_t WM_UPDATE_DONE = WM_USER + 1001;
constexpr std::uint32_t WM_SEARCH_STARTED = WM_USER + 1100;
constexpr std::uint32_t WM_SEARCH_DONE = WM_USER + 1101;
constexpr std::uint32_t WM_SEARCH_PROGRESS = WM_USER + 1102;
constexpr std::uint32_t WM_SEARCH_ERROR = WM_USER + 1103;

class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    virtual void PostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

// Posts to target; a null target drops the message, as a post to no window does.
inline void PostMessage(MessageTarget* target, std::uint32_t message, std::uintptr_t wParam = 0,
                        std::intptr_t lParam = 0) {
    if (target != nullptr) target->PostMessage(message, wParam, lParam);
}

}  // namespace carillon::platform
