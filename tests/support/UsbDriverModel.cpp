#include "support/UsbDriverModel.h"

#include <linux/lp.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace carillon::testing {
namespace {

// Far above any descriptor the process holds, so that the two never meet.
constexpr int kFirstFd = 0x40000000;
constexpr int kSelectedNoError = 0x18;

}  // namespace

UsbDriverModel::UsbDriverModel(std::uint32_t bytesPerSecond, std::size_t maxTransfer)
    : rate_(bytesPerSecond), maxTransfer_(maxTransfer), nextFd_(kFirstFd) {}

UsbDriverModel::~UsbDriverModel() = default;

void UsbDriverModel::Plug(const std::string& instanceId, sim::VirtualPrinter* printer) {
    std::lock_guard lock(mutex_);
    for (auto& d : devices_) {
        if (d->instanceId == instanceId) {
            d->plugged = true;
            d->arrived = Clock::now();
            return;
        }
    }
    auto d = std::make_unique<Device>();
    d->instanceId = instanceId;
    d->printer = printer;
    d->arrived = Clock::now();
    devices_.push_back(std::move(d));
}

void UsbDriverModel::Unplug(const std::string& instanceId) {
    std::lock_guard lock(mutex_);
    for (auto& d : devices_) {
        if (d->instanceId == instanceId) {
            d->plugged = false;
            ++d->sinkGeneration;
        }
    }
}

void UsbDriverModel::Stall(std::size_t after) {
    std::lock_guard lock(mutex_);
    stalling_ = true;
    stallAfter_ = after;
}

void UsbDriverModel::Unstall() {
    std::lock_guard lock(mutex_);
    stalling_ = false;
}

ByteArray UsbDriverModel::Received(const std::string& instanceId) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : devices_)
        if (d->instanceId == instanceId) return d->received;
    return {};
}

std::size_t UsbDriverModel::Cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool UsbDriverModel::Present(const Device& d) const { return d.printer ? d.printer->UsbPresent() : d.plugged; }

UsbDriverModel::Clock::time_point UsbDriverModel::ArrivedAt(const Device& d) const {
    return d.printer && d.printer->UsbGeneration() > 0 ? d.printer->UsbReturnTime() : d.arrived;
}

std::uint32_t UsbDriverModel::Generation(const Device& d) const {
    return d.printer ? d.printer->UsbGeneration() : d.sinkGeneration;
}

std::vector<UsbDeviceEntry> UsbDriverModel::List() const {
    std::lock_guard lock(mutex_);
    std::vector<const Device*> present;
    for (const auto& d : devices_)
        if (Present(*d)) present.push_back(d.get());
    // A device that comes back is enumerated after those already there.
    std::stable_sort(present.begin(), present.end(),
                     [&](const Device* a, const Device* b) { return ArrivedAt(*a) < ArrivedAt(*b); });
    std::vector<UsbDeviceEntry> list;
    for (const Device* d : present) list.push_back({d->instanceId, PathOf(d->instanceId)});
    return list;
}

int UsbDriverModel::Open(const char* path) {
    std::lock_guard lock(mutex_);
    for (auto& d : devices_) {
        if (PathOf(d->instanceId) != path) continue;
        if (!Present(*d)) break;
        for (const auto& [fd, h] : handles_) {
            if (h.device == d.get()) {
                errno = EBUSY;
                return -1;
            }
        }
        Handle h;
        h.device = d.get();
        h.generation = Generation(*d);
        handles_[nextFd_] = std::move(h);
        return nextFd_++;
    }
    errno = ENODEV;
    return -1;
}

UsbDriverModel::Handle* UsbDriverModel::Find(int fd) {
    auto it = handles_.find(fd);
    return it == handles_.end() ? nullptr : &it->second;
}

bool UsbDriverModel::Dead(const Handle& h) const { return Generation(*h.device) != h.generation; }

void UsbDriverModel::Advance(Handle& h) {
    const auto now = Clock::now();
    while (!h.pending.empty() && !Dead(h) && h.pending.front().done <= now) {
        Transfer t = std::move(h.pending.front());
        h.pending.erase(h.pending.begin());
        if (h.device->printer == nullptr) {
            h.device->received.insert(h.device->received.end(), t.bytes.begin(), t.bytes.end());
            continue;
        }
        sim::LineSettings line;
        line.usb = true;
        h.device->printer->Receive(t.bytes, line);
    }
    if (Dead(h)) {
        h.pending.clear();  // a device that left completes nothing more
        return;
    }
    if (h.device->printer != nullptr) {
        const ByteArray out = h.device->printer->TakeOutput();
        h.input.insert(h.input.end(), out.begin(), out.end());
    }
}

ssize_t UsbDriverModel::Write(int fd, const void* data, size_t length) {
    std::lock_guard lock(mutex_);
    Handle* h = Find(fd);
    if (h == nullptr) return errno = EBADF, -1;
    Advance(*h);
    if (Dead(*h)) return errno = ENODEV, -1;
    if (!h->pending.empty()) return errno = EAGAIN, -1;
    const std::size_t n = std::min(length, maxTransfer_);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Transfer t{ByteArray(bytes, bytes + n), Clock::time_point::max()};
    const bool stall = stalling_ && stallAfter_ == 0;
    if (stalling_ && stallAfter_ > 0) --stallAfter_;
    if (!stall) t.done = Clock::now() + std::chrono::microseconds(n * 1'000'000ull / rate_);
    h->pending.push_back(std::move(t));
    return static_cast<ssize_t>(n);
}

ssize_t UsbDriverModel::Read(int fd, void* buffer, size_t length) {
    std::lock_guard lock(mutex_);
    Handle* h = Find(fd);
    if (h == nullptr) return errno = EBADF, -1;
    Advance(*h);
    if (h->input.empty()) return errno = Dead(*h) ? ENODEV : EAGAIN, -1;
    const std::size_t n = std::min(length, h->input.size());
    std::memcpy(buffer, h->input.data(), n);
    h->input.erase(h->input.begin(), h->input.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<ssize_t>(n);
}

short UsbDriverModel::Events(Handle& h) {
    Advance(h);
    short events = 0;
    if (Dead(h)) events |= POLLHUP | POLLERR;
    if (h.pending.empty()) events |= POLLOUT;
    if (!h.input.empty()) events |= POLLIN;
    return events;
}

int UsbDriverModel::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
    const auto end = timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<pollfd> system;
    for (nfds_t i = 0; i < count; ++i)
        if (fds[i].fd < kFirstFd) system.push_back(fds[i]);
    for (;;) {
        int ready = 0;
        {
            std::lock_guard lock(mutex_);
            for (nfds_t i = 0; i < count; ++i) {
                if (fds[i].fd < kFirstFd) continue;
                Handle* h = Find(fds[i].fd);
                const short events = h == nullptr ? POLLNVAL : Events(*h);
                fds[i].revents = static_cast<short>(events & (fds[i].events | POLLHUP | POLLERR | POLLNVAL));
                if (fds[i].revents != 0) ++ready;
            }
        }
        const bool last = ready > 0 || Clock::now() >= end;
        // The descriptors of the system (an abort's event) are watched while the model waits.
        const int r = ::poll(system.data(), system.size(), last ? 0 : 1);
        if (r < 0) return -1;
        for (std::size_t i = 0, j = 0; i < count && j < system.size(); ++i)
            if (fds[i].fd < kFirstFd) fds[i].revents = system[j++].revents;
        ready += r;
        if (ready > 0 || last) return ready;
    }
}

int UsbDriverModel::Ioctl(int fd, unsigned long request, void* argument) {
    std::lock_guard lock(mutex_);
    Handle* h = Find(fd);
    if (h == nullptr) return errno = EBADF, -1;
    if (Dead(*h)) return errno = ENODEV, -1;
    if (request != LPGETSTATUS) return errno = ENOTTY, -1;
    *static_cast<int*>(argument) = kSelectedNoError;
    return 0;
}

int UsbDriverModel::Close(int fd) {
    std::lock_guard lock(mutex_);
    Handle* h = Find(fd);
    if (h == nullptr) return errno = EBADF, -1;
    Advance(*h);
    for (const auto& t : h->pending) cancelled_ += t.bytes.size();
    handles_.erase(fd);
    return 0;
}

}  // namespace carillon::testing
