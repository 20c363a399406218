#include "ports/DeviceWait.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

namespace carillon::detail {

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
    if (fd_ != -1) ::close(fd_);
}

void WakeEvent::Signal() {
    if (fd_ == -1) return;
    std::uint64_t one = 1;
    // Only fails when the counter is saturated, which still leaves it signalled.
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakeEvent::Clear() {
    if (fd_ == -1) return;
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(fd_, &count, sizeof count);
}

bool WakeEvent::Sleep(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, fd_ == -1 ? 0 : 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r > 0 && (p.revents & POLLIN)) {
        Clear();
        return true;
    }
    return false;
}

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

WaitResult WaitForDevice(int fd, bool forWrite, WakeEvent& wake, int timeoutMs) {
    if (fd == -1) return WaitResult::kFailed;
    const short wanted = forWrite ? POLLOUT : POLLIN;
    pollfd p[2] = {{fd, wanted, 0}, {wake.Fd(), POLLIN, 0}};
    const nfds_t count = wake.Fd() == -1 ? 1 : 2;
    int r;
    do {
        r = ::poll(p, count, timeoutMs);
    } while (r < 0 && errno == EINTR);
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

int OpenDeviceExclusive(const char* path) {
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace carillon::detail
