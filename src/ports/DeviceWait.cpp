#include "ports/DeviceWait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace carillon::detail {

WakeEvent::WakeEvent() : native_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
    if (native_ != -1) ::close(Fd());
}

void WakeEvent::Signal() {
    if (native_ == -1) return;
    std::uint64_t one = 1;
    // Only fails when the counter is saturated, which still leaves it signalled.
    [[maybe_unused]] ssize_t n = ::write(Fd(), &one, sizeof one);
}

void WakeEvent::Clear() {
    if (native_ == -1) return;
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(Fd(), &count, sizeof count);
}

bool WakeEvent::Sleep(std::uint64_t timeoutMs) {
    pollfd p{Fd(), POLLIN, 0};
    const int r = PollUntil(SystemDeviceIo(), &p, native_ == -1 ? 0 : 1, Deadline(timeoutMs));
    if (r > 0 && (p.revents & POLLIN)) {
        Clear();
        return true;
    }
    return false;
}

int PollUntil(DeviceIo& io, pollfd* fds, nfds_t count, const Deadline& deadline) {
    for (;;) {
        const int r = io.Poll(fds, count, deadline.RemainingMs());
        if (r >= 0 || errno != EINTR) return r;
        if (deadline.Passed()) return 0;
    }
}

WaitResult WaitForDevice(int fd, bool forWrite, WakeEvent& wake, const Deadline& deadline, DeviceIo& io) {
    if (fd == -1) return WaitResult::kFailed;
    const short wanted = forWrite ? POLLOUT : POLLIN;
    pollfd p[2] = {{fd, wanted, 0}, {wake.Fd(), POLLIN, 0}};
    const nfds_t count = wake.Fd() == -1 ? 1 : 2;
    const int r = PollUntil(io, p, count, deadline);
    if (r < 0) return WaitResult::kFailed;
    if (r == 0) return WaitResult::kTimeout;
    if (count == 2 && (p[1].revents & POLLIN)) {
        wake.Clear();
        return WaitResult::kAborted;
    }
    if (p[0].revents & POLLNVAL) return WaitResult::kFailed;
    if (p[0].revents & (POLLHUP | POLLERR)) return WaitResult::kHangup;
    return WaitResult::kReady;
}

int OpenDeviceExclusive(const char* path) { return SystemDeviceIo().Open(path); }

}  // namespace carillon::detail
