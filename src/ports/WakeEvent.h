#pragma once
// An event that another thread signals to release a waiting read or write.
// A signal stays pending until a wait consumes it or Clear() drops it, so an
// abort that comes just before the wait starts is not lost.

#include <cstdint>

namespace carillon::detail {

class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    void Signal();
    void Clear();
    // The system's object to wait on together with a device: a descriptor
    // (-1 when none could be made) or an event handle (0 when none).
    std::intptr_t Native() const { return native_; }
    int Fd() const { return static_cast<int>(native_); }

    // Sleeps up to timeoutMs; true (and the signal consumed) when signalled.
    bool Sleep(std::uint64_t timeoutMs);

private:
    std::intptr_t native_;
};

}  // namespace carillon::detail
