#pragma once
// A model of the kernel's USB printer driver, with virtual printers (or plain
// byte sinks) behind it, for the USB port's device calls and device list.
// What it keeps of the driver:
// - a non-blocking write queues one transfer (at most maxTransfer bytes) and
//   returns at once; another write while one is pending fails with EAGAIN;
// - a transfer's bytes reach the printer when its time at the configured
//   rate has passed;
// - POLLOUT only while no transfer is pending; POLLIN with data to read;
//   POLLHUP | POLLERR once the device has left the bus;
// - close kills the transfers still pending: their bytes never arrive;
// - a stalled transfer's error is never reported to the writer;
// - one open at a time (EBUSY); LPGETSTATUS answers "selected, no error".
// A virtual printer leaves the bus when it restarts and comes back as the
// last entry; a sink leaves and comes back when the test says so.

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ByteArray.h"
#include "ports/DeviceIo.h"
#include "ports/UsbDeviceSource.h"
#include "ports/UsbPort.h"
#include "sim/VirtualPrinter.h"

namespace carillon::testing {

class UsbDriverModel final : public DeviceIo, public UsbDeviceSource {
public:
    using Clock = std::chrono::steady_clock;

    explicit UsbDriverModel(std::uint32_t bytesPerSecond = 1'000'000, std::size_t maxTransfer = 8192);
    ~UsbDriverModel() override;

    // Attaches a device; printer may be null for a sink that only records.
    void Plug(const std::string& instanceId, sim::VirtualPrinter* printer = nullptr);
    // A sink leaves the bus (its open handle dies) until plugged again.
    void Unplug(const std::string& instanceId);
    // After the next `after` transfers, none completes until Unstall.
    void Stall(std::size_t after = 0);
    void Unstall();

    // What a sink received, in order.
    ByteArray Received(const std::string& instanceId) const;
    // Bytes of transfers that close killed, over all devices.
    std::size_t Cancelled() const;

    std::vector<UsbDeviceEntry> List() const override;
    int Open(const char* path) override;
    ssize_t Write(int fd, const void* data, size_t length) override;
    ssize_t Read(int fd, void* buffer, size_t length) override;
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;
    int Ioctl(int fd, unsigned long request, void* argument) override;
    int Close(int fd) override;

private:
    struct Transfer {
        ByteArray bytes;
        Clock::time_point done;
    };
    struct Device {
        std::string instanceId;
        sim::VirtualPrinter* printer = nullptr;
        bool plugged = true;  // a sink's presence
        Clock::time_point arrived;
        std::uint32_t sinkGeneration = 0;
        ByteArray received;
    };
    struct Handle {
        Device* device = nullptr;
        std::uint32_t generation = 0;
        std::vector<Transfer> pending;  // at most one
        ByteArray input;
    };

    static std::string PathOf(const std::string& instanceId) { return "usb-model:" + instanceId; }
    bool Present(const Device& d) const;
    Clock::time_point ArrivedAt(const Device& d) const;
    std::uint32_t Generation(const Device& d) const;
    Handle* Find(int fd);
    // Delivers the transfers whose time has come and collects the printer's answers.
    void Advance(Handle& h);
    bool Dead(const Handle& h) const;
    short Events(Handle& h);

    mutable std::mutex mutex_;
    const std::uint32_t rate_;
    const std::size_t maxTransfer_;
    std::vector<std::unique_ptr<Device>> devices_;
    std::map<int, Handle> handles_;
    int nextFd_;
    std::size_t stallAfter_ = 0;
    bool stalling_ = false;
    std::size_t cancelled_ = 0;
    ScopedUsbDeviceSource sourceScope_{*this};
    ScopedUsbDeviceIo ioScope_{*this};
};

}  // namespace carillon::testing
