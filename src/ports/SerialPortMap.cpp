#include "ports/SerialPortMap.h"

#include <algorithm>
#include <mutex>
#include <optional>

namespace carillon {
namespace {

std::mutex g_mutex;
std::optional<SerialPortMap> g_explicit;  // set from outside
std::optional<SerialPortMap> g_detected;  // last look-up of udev's view

}  // namespace

void SetSerialPortMap(SerialPortMap paths) {
    std::erase_if(paths, [](const auto& entry) { return entry.first < 0 || entry.first > kHighestComNumber; });
    std::lock_guard lock(g_mutex);
    g_explicit = std::move(paths);
}

void ResetSerialPortMap() {
    std::lock_guard lock(g_mutex);
    g_explicit.reset();
    g_detected.reset();
}

SerialPortMap GetSerialPortMap() {
    {
        std::lock_guard lock(g_mutex);
        if (g_explicit) return *g_explicit;
    }
    SerialPortMap detected = DetectSerialPorts();  // outside the lock: the look-up may take a while
    std::lock_guard lock(g_mutex);
    if (g_explicit) return *g_explicit;
    g_detected = detected;
    return detected;
}

std::string GetSerialDevicePath(int comNumber) {
    SerialPortMap map;
    {
        std::lock_guard lock(g_mutex);
        if (g_explicit) {
            map = *g_explicit;
        } else if (g_detected) {
            map = *g_detected;
        }
    }
    if (map.empty()) map = GetSerialPortMap();
    auto it = map.find(comNumber);
    return it == map.end() ? std::string{} : it->second;
}

}  // namespace carillon
