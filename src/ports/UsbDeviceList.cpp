// The USB printer list functions, on whatever source lists the printers.
#include "ports/UsbDeviceList.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ports/UsbPort.h"

namespace carillon {
namespace detail {

std::vector<UsbDeviceEntry> ListDevices() { return MakeUsbDeviceSource()->List(); }

bool CopyBounded(const std::string& text, char* out, std::uint32_t size) {
    if (text.size() >= size) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

long DevicePathOf(const std::vector<UsbDeviceEntry>& list, int index, char* path, std::uint32_t size,
                  char* rawInstanceId) {
    if (path == nullptr || size == 0) return EINVAL;
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return ENOENT;
    const UsbDeviceEntry& entry = list[static_cast<std::size_t>(index)];
    // A device path cut short would name another device: refuse instead.
    if (entry.instanceId.size() >= kUsbInstanceIdSize || entry.devicePath.size() >= size) return ENAMETOOLONG;
    CopyBounded(entry.devicePath, path, size);
    if (rawInstanceId != nullptr) CopyBounded(entry.instanceId, rawInstanceId, kUsbInstanceIdSize);
    return 0;
}

bool InstanceIdOf(const std::vector<UsbDeviceEntry>& list, int index, std::string* id) {
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return false;
    const std::string& text = list[static_cast<std::size_t>(index)].instanceId;
    if (text.size() >= kUsbInstanceIdSize) return false;
    *id = text;
    return true;
}

std::string SuffixOf(const std::string& instanceId) {
    const auto slash = instanceId.rfind('\\');
    return slash == std::string::npos ? std::string{} : instanceId.substr(slash);
}

std::string LastComponent(const std::string& instanceId) {
    const auto slash = instanceId.rfind('\\');
    return slash == std::string::npos ? instanceId : instanceId.substr(slash + 1);
}

int FindIn(const std::vector<UsbDeviceEntry>& list, const std::string& suffix) {
    for (int i = static_cast<int>(list.size()) - 1; i >= 0; --i) {
        std::string id;
        if (InstanceIdOf(list, i, &id)) {
            const std::string own = SuffixOf(id);
            if (!own.empty() && own == suffix) return i;
        }
    }
    return -1;
}

}  // namespace detail

using namespace detail;

int GetUsbPrinterCount() { return static_cast<int>(ListDevices().size()); }

long GetUsbDevicePath(int index, char* path, std::uint32_t size, char* rawInstanceId) {
    return DevicePathOf(ListDevices(), index, path, size, rawInstanceId);
}

bool GetUsbInstanceSuffix(int index, std::string& suffix) {
    std::string id;
    if (!InstanceIdOf(ListDevices(), index, &id)) return false;
    std::string own = SuffixOf(id);
    if (own.empty()) return false;
    suffix = std::move(own);
    return true;
}

bool FindUsbInstance(const std::string& suffix, int* index) {
    const int found = FindIn(ListDevices(), suffix);
    if (found < 0) return false;
    if (index != nullptr) *index = found;
    return true;
}

std::uint32_t ParseUsbId(const std::string& text, const char* tag) {
    const auto at = text.find(tag);
    if (at == std::string::npos) return 0;
    const std::size_t digits = at + std::strlen(tag) + 1;
    if (digits > text.size() || text[digits - 1] != '_') return 0;
    return static_cast<std::uint32_t>(std::strtoul(text.c_str() + digits, nullptr, 16));
}

}  // namespace carillon
