// The UART FIFO setting of a COM port in the registry. Absent counts as on:
// the driver's default is a FIFO.
#include <cstdio>

#include "ports/SerialFifo.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon {
namespace {

constexpr const char* kValueName = "ForceFifoEnable";

HKEY OpenPortKey(int comNumber, REGSAM access) {
    char path[128];
    std::snprintf(path, sizeof path, "SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501\\%d\\Device Parameters",
                  comNumber);
    HKEY key = nullptr;
    return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key) == ERROR_SUCCESS ? key : nullptr;
}

}  // namespace

std::uint32_t IsFifoEnabled(int comNumber) {
    DWORD value = 1;
    HKEY key = OpenPortKey(comNumber, KEY_QUERY_VALUE);
    if (key == nullptr) return value;
    DWORD type = 0;
    DWORD read = 0;
    DWORD size = sizeof read;
    if (::RegQueryValueExA(key, kValueName, nullptr, &type, reinterpret_cast<BYTE*>(&read), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof read) {
        value = read;
    }
    ::RegCloseKey(key);
    return value;
}

bool DisableFifo(int comNumber, std::uint32_t value) {
    HKEY key = OpenPortKey(comNumber, KEY_SET_VALUE);
    if (key == nullptr) return false;
    const DWORD data = value;
    const bool written = ::RegSetValueExA(key, kValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                          sizeof data) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return written;
}

}  // namespace carillon
