#include "ports/SerialFifo.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>

#include "ports/SerialPortMap.h"

namespace carillon {
namespace {

constexpr std::uint32_t kUsualLatencyMs = 16;

std::mutex g_mutex;
std::string g_sysfsRoot = "/sys";

std::string BaseName(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The sysfs directory of the tty behind a device path: the name as given,
// else the name its symbolic links lead to (/dev/serial/by-id/...).
std::optional<std::string> TtyDirectory(const std::string& devicePath) {
    const std::string classDir = GetSysfsRoot() + "/class/tty/";
    std::string dir = classDir + BaseName(devicePath);
    if (!BaseName(devicePath).empty() && Exists(dir)) return dir;
    char resolved[PATH_MAX];
    if (::realpath(devicePath.c_str(), resolved) != nullptr) {
        dir = classDir + BaseName(resolved);
        if (Exists(dir)) return dir;
    }
    return std::nullopt;
}

std::optional<unsigned long> ReadNumber(const std::string& path, int base) {
    std::ifstream in(path);
    std::string text;
    if (!in || !std::getline(in, text)) return std::nullopt;
    char* end = nullptr;
    unsigned long value = std::strtoul(text.c_str(), &end, base);
    if (end == text.c_str()) return std::nullopt;
    return value;
}

bool WriteNumber(const std::string& path, unsigned long value) {
    {
        std::ofstream out(path, std::ios::trunc);
        if (!out) return false;
        out << value << '\n';
        out.flush();
        if (!out) return false;
    }
    // Attributes may refuse a value silently; believe only what reads back.
    auto back = ReadNumber(path, 10);
    return back && *back == value;
}

bool SetLowLatency(const std::string& devicePath, bool on) {
    int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) return false;
    serial_struct ss{};
    bool ok = ::ioctl(fd, TIOCGSERIAL, &ss) == 0;
    if (ok) {
        if (on) {
            ss.flags |= ASYNC_LOW_LATENCY;
        } else {
            ss.flags &= ~ASYNC_LOW_LATENCY;
        }
        ok = ::ioctl(fd, TIOCSSERIAL, &ss) == 0 && ::ioctl(fd, TIOCGSERIAL, &ss) == 0 &&
             ((ss.flags & ASYNC_LOW_LATENCY) != 0) == on;
    }
    ::close(fd);
    return ok;
}

}  // namespace

void SetSysfsRoot(std::string root) {
    std::lock_guard lock(g_mutex);
    g_sysfsRoot = root.empty() ? "/sys" : std::move(root);
}

std::string GetSysfsRoot() {
    std::lock_guard lock(g_mutex);
    return g_sysfsRoot;
}

std::uint32_t IsFifoEnabled(int comNumber) {
    const std::string device = GetSerialDevicePath(comNumber);
    if (device.empty()) return 1;
    auto dir = TtyDirectory(device);
    if (!dir) return 1;
    // A USB serial adapter: its latency timer.
    if (auto latency = ReadNumber(*dir + "/device/latency_timer", 10)) {
        return *latency > 1 ? static_cast<std::uint32_t>(*latency > UINT32_MAX ? UINT32_MAX : *latency) : 0;
    }
    // An onboard UART: the port flags, with the low-latency bit.
    if (auto flags = ReadNumber(*dir + "/flags", 16)) return (*flags & ASYNC_LOW_LATENCY) ? 0 : 1;
    return 1;
}

bool DisableFifo(int comNumber, std::uint32_t value) {
    const std::string device = GetSerialDevicePath(comNumber);
    if (device.empty()) return false;
    auto dir = TtyDirectory(device);
    if (!dir) return false;
    const std::string latency = *dir + "/device/latency_timer";
    if (Exists(latency)) return WriteNumber(latency, value == 0 ? 1 : kUsualLatencyMs);
    if (Exists(*dir + "/flags")) return SetLowLatency(device, value == 0);
    return false;
}

}  // namespace carillon
