#pragma once
// Waiting on a device descriptor without spinning: poll() bounded by a
// deadline, and released early when another thread signals an abort.

#include <poll.h>

#include "ports/Deadline.h"
#include "ports/DeviceIo.h"
#include "ports/WakeEvent.h"

namespace carillon::detail {

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
