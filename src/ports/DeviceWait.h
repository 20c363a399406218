#pragma once
// Waiting on a device descriptor without spinning: poll() bounded by a
// deadline, and released early when another thread signals an abort.

#include <poll.h>

#include <chrono>
#include <cstdint>

#include "ports/DeviceIo.h"

namespace carillon::detail {

// An event that another thread signals to release a waiting read or write.
// A signal stays pending until a wait consumes it or Clear() drops it, so an
// abort that comes just before the wait starts is not lost.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    void Signal();
    void Clear();
    int Fd() const { return fd_; }

    // Sleeps up to timeoutMs; true (and the signal consumed) when signalled.
    bool Sleep(std::uint64_t timeoutMs);

private:
    int fd_;
};

// A point in time timeoutMs from construction.
class Deadline {
public:
    explicit Deadline(std::uint64_t timeoutMs);
    bool Passed() const;
    // Milliseconds left, rounded up so a wait never ends early; 0 once passed.
    int RemainingMs() const;

private:
    std::chrono::steady_clock::time_point end_;
};

enum class WaitResult {
    kReady,    // the requested direction is ready
    kHangup,   // the device reported a hang-up or an error
    kTimeout,  // nothing within the time
    kAborted,  // the wake event was signalled (and has been consumed)
    kFailed,   // the descriptor is not usable
};

// poll() until something is ready or the deadline passes. A signal does not
// restart the time: the wait goes on with what is left of it.
int PollUntil(DeviceIo& io, pollfd* fds, nfds_t count, const Deadline& deadline);

// Waits until fd can be read (forWrite false) or written, up to the deadline.
WaitResult WaitForDevice(int fd, bool forWrite, WakeEvent& wake, const Deadline& deadline,
                         DeviceIo& io = SystemDeviceIo());

// Opens a device node for reading and writing, without becoming its
// controlling terminal, and takes an exclusive lock on it so that two ports
// never share one device. Returns -1 on failure.
int OpenDeviceExclusive(const char* path);

}  // namespace carillon::detail
