// The USB printers the printer class driver lists under its enumeration key.
#include <string>

#include "ports/UsbDeviceSource.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon {
namespace {

constexpr const char* kEnumKey = "SYSTEM\\CurrentControlSet\\Services\\usbprint\\Enum";
// The printer class driver's device interface class.
constexpr const char* kInterfaceClass = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
// The size of the driver's value buffer; a longer id is not one of its own.
constexpr DWORD kValueSize = 256;

DWORD ReadCount(HKEY key) {
    DWORD count = 0;
    DWORD type = 0;
    DWORD size = sizeof count;
    if (::RegQueryValueExA(key, "Count", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof count) {
        return 0;
    }
    return count;
}

bool ReadInstanceId(HKEY key, DWORD index, std::string* id) {
    char value[kValueSize + 1] = {};
    DWORD size = kValueSize;
    DWORD type = 0;
    const std::string name = std::to_string(index);
    if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    value[size < kValueSize ? size : kValueSize] = '\0';
    *id = value;
    return !id->empty();
}

}  // namespace

std::unique_ptr<UsbDeviceSource> MakeSystemUsbDeviceSource() { return std::make_unique<RegistryUsbDeviceSource>(); }

std::string RegistryUsbDeviceSource::InterfacePath(const std::string& instanceId) {
    std::string path = "\\\\?\\" + instanceId;
    for (std::size_t i = 5; i < path.size(); ++i) {
        if (path[i] == '\\') path[i] = '#';
    }
    return path + kInterfaceClass;
}

std::vector<UsbDeviceEntry> RegistryUsbDeviceSource::List() const {
    std::vector<UsbDeviceEntry> entries;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnumKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return entries;
    const DWORD count = ReadCount(key);
    for (DWORD i = 0; i < count && i < 254; ++i) {
        std::string id;
        // An entry that cannot be read ends the list: the numbering after it
        // would no longer be the driver's.
        if (!ReadInstanceId(key, i, &id)) break;
        entries.push_back({id, InterfacePath(id)});
    }
    ::RegCloseKey(key);
    return entries;
}

}  // namespace carillon
