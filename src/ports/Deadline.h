#pragma once
// A point in time a number of milliseconds ahead, for bounding waits.

#include <chrono>
#include <cstdint>

namespace carillon::detail {

class Deadline {
public:
    explicit Deadline(std::uint64_t timeoutMs);
    bool Passed() const;
    // Milliseconds left, rounded up so a wait never ends early; 0 once passed.
    int RemainingMs() const;

private:
    std::chrono::steady_clock::time_point end_;
};

}  // namespace carillon::detail
