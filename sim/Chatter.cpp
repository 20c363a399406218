#include "sim/RawPty.h"
#include "sim/Chatter.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace carillon::sim {
namespace {

// About what a fast receiver sends: a fix line every few milliseconds. The
// line never carries a NUL, so no identification read can end on one.
constexpr char kFixLine[] = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
constexpr int kBurstPeriodMs = 5;
constexpr std::size_t kBurstBytes = 512;

std::vector<std::uint8_t> Burst(ChatterKind kind) {
    std::vector<std::uint8_t> burst(kBurstBytes, 0);
    if (kind == ChatterKind::kText) {
        const std::size_t line = sizeof kFixLine - 1;
        for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<std::uint8_t>(kFixLine[i % line]);
    }
    return burst;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

Chatter::Chatter(ChatterKind kind, std::string usbList, std::string instanceId)
    : m_kind(kind), m_usbList(std::move(usbList)), m_instanceId(std::move(instanceId)) {}

Chatter::~Chatter() { Stop(); }

bool Chatter::Start(std::string* error) {
    const auto fail = [&](const std::string& what) {
        *error = what + ": " + std::strerror(errno);
        Stop();
        return false;
    };
    if (::pipe2(m_wake, O_CLOEXEC) != 0) return fail("pipe");
    if (!OpenRawPty(&m_master, &m_slave, &m_path, error)) {
        Stop();
        return false;
    }
    if (!m_usbList.Path().empty()) {
        if (!m_usbList.Add(m_instanceId, m_path, error)) {
            Stop();
            return false;
        }
        m_registered = true;
    }
    m_thread = std::thread([this] { Run(); });
    return true;
}

void Chatter::Stop() {
    if (m_thread.joinable()) {
        const char stop = 1;
        (void)!::write(m_wake[1], &stop, 1);
        m_thread.join();
    }
    if (m_registered) m_usbList.Remove(m_instanceId, m_path);
    m_registered = false;
    CloseFd(m_slave);
    CloseFd(m_master);
    CloseFd(m_wake[0]);
    CloseFd(m_wake[1]);
}

void Chatter::Run() {
    const std::vector<std::uint8_t> burst = Burst(m_kind);
    std::uint8_t drain[4096];
    for (;;) {
        pollfd p{m_wake[0], POLLIN, 0};
        if (::poll(&p, 1, kBurstPeriodMs) > 0) return;
        while (::read(m_master, drain, sizeof drain) > 0) {
        }
        // A full terminal buffer (nobody reading) simply drops the burst.
        const ssize_t n = ::write(m_master, burst.data(), burst.size());
        if (n > 0) m_sent += static_cast<unsigned long long>(n);
    }
}

int RunChatter(ChatterKind kind, bool usb, const std::string& instanceId) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Chatter chatter(kind, usb ? UsbDeviceList::PathFromEnvironment() : std::string(), instanceId);
    std::string error;
    if (usb && UsbDeviceList::PathFromEnvironment().empty()) error = "--usb needs CARILLON_USB_DEVICES";
    if (!error.empty() || !chatter.Start(&error)) {
        std::fprintf(stderr, "carillon-vprinter: %s\n", error.c_str());
        return 2;
    }
    std::printf("%s\n", usb ? instanceId.c_str() : chatter.DevicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "chatter (%s) on %s; SIGINT or SIGTERM ends it\n", kind == ChatterKind::kText ? "text" : "zeros",
                 chatter.DevicePath().c_str());
    int signal = 0;
    sigwait(&stopSignals, &signal);
    chatter.Stop();
    std::fprintf(stderr, "%llu bytes sent\n", chatter.Sent());
    return 0;
}

}  // namespace carillon::sim
