#include "ports/Deadline.h"

#include <climits>

namespace carillon::detail {

Deadline::Deadline(std::uint64_t timeoutMs) {
    // Far enough for any u32 time-out times a chunk length, short of overflow.
    constexpr std::uint64_t kLongest = std::uint64_t{1} << 40;
    end_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < kLongest ? timeoutMs : kLongest);
}

bool Deadline::Passed() const { return std::chrono::steady_clock::now() >= end_; }

int Deadline::RemainingMs() const {
    auto left = end_ - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace carillon::detail
