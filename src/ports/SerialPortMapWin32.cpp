// The COM ports Windows knows: those its serial drivers list under
// SERIALCOMM, and those that only have a DOS device name.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ports/SerialPortMap.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon {
namespace {

// The number of "COM<n>" (any case), or -1.
int ComNumberOf(const char* name) {
    if (_strnicmp(name, "COM", 3) != 0 || name[3] < '0' || name[3] > '9') return -1;
    char* end = nullptr;
    const long n = std::strtol(name + 3, &end, 10);
    return *end == '\0' && n <= kHighestComNumber ? static_cast<int>(n) : -1;
}

std::string DevicePath(int n) { return "\\\\.\\COM" + std::to_string(n); }

void AddSerialCommKey(SerialPortMap& map) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name;
        char data[64] = {};
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG r = ::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                       &dataSize);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        const int n = ComNumberOf(data);
        if (n >= 0) map[n] = DevicePath(n);
    }
    ::RegCloseKey(key);
}

bool HasDosDevice(int n) {
    char target[512];
    const std::string name = "COM" + std::to_string(n);
    return ::QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
}

}  // namespace

SerialPortMap DetectSerialPorts() {
    SerialPortMap map;
    AddSerialCommKey(map);
    for (int n = 1; n <= kHighestComNumber; ++n) {
        if (map.count(n) == 0 && HasDosDevice(n)) map[n] = DevicePath(n);
    }
    return map;
}

bool SerialDeviceExists(int comNumber) {
    const std::string path = GetSerialDevicePath(comNumber);
    if (path.empty()) return false;
    // The port's own default configuration answers only for a port that is there.
    COMMCONFIG config{};
    DWORD size = sizeof config;
    const std::string name = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
    return ::GetDefaultCommConfigA(name.c_str(), &config, &size) != 0 || HasDosDevice(comNumber);
}

}  // namespace carillon
