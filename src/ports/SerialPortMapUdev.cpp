// The serial devices that udev reports, numbered from COM1.
#include <libudev.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <tuple>

#include "ports/SerialPortMap.h"

namespace carillon {
namespace {

// Splits "ttyUSB12" into "ttyUSB" and 12; a name without digits gets -1.
std::pair<std::string, long> SplitName(const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    if (digits == name.size()) return {name, -1};
    return {name.substr(0, digits), std::strtol(name.c_str() + digits, nullptr, 10)};
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

bool SerialDeviceExists(int comNumber) {
    std::string path = GetSerialDevicePath(comNumber);
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

SerialPortMap DetectSerialPorts() { return NumberSerialDevices(ListSerialDevices()); }

std::vector<SerialDeviceInfo> ListSerialDevices() {
    std::vector<SerialDeviceInfo> devices;
    udev* context = udev_new();
    if (context == nullptr) return devices;
    udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate != nullptr && udev_enumerate_add_match_subsystem(enumerate, "tty") >= 0 &&
        udev_enumerate_scan_devices(enumerate) >= 0) {
        udev_list_entry* entry;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
            udev_device* device = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (device == nullptr) continue;
            SerialDeviceInfo info;
            const char* name = udev_device_get_sysname(device);
            const char* node = udev_device_get_devnode(device);
            if (name != nullptr) {
                info.name = name;
                info.devnode = node != nullptr ? node : "/dev/" + info.name;
                // Serial-core ports carry a UART type; 0 means no UART was found.
                const char* type = udev_device_get_sysattr_value(device, "type");
                info.hasUart = type != nullptr && std::strtol(type, nullptr, 10) != 0;
                devices.push_back(std::move(info));
            }
            udev_device_unref(device);
        }
    }
    if (enumerate != nullptr) udev_enumerate_unref(enumerate);
    udev_unref(context);
    return devices;
}

SerialPortMap NumberSerialDevices(const std::vector<SerialDeviceInfo>& devices) {
    auto isAdapter = [](const std::string& name) { return StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM"); };
    std::vector<const SerialDeviceInfo*> onboard;
    std::vector<const SerialDeviceInfo*> adapters;
    for (const auto& d : devices) {
        if (isAdapter(d.name)) {
            adapters.push_back(&d);
        } else if (d.hasUart) {
            onboard.push_back(&d);
        }
    }
    auto byName = [](const SerialDeviceInfo* a, const SerialDeviceInfo* b) {
        auto [pa, na] = SplitName(a->name);
        auto [pb, nb] = SplitName(b->name);
        return std::tie(pa, na) < std::tie(pb, nb);
    };
    // ttyUSB before ttyACM, each by number.
    auto adapterKey = [](const SerialDeviceInfo* d) {
        auto [prefix, number] = SplitName(d->name);
        return std::make_pair(prefix == "ttyUSB" ? 0 : 1, number);
    };
    std::sort(onboard.begin(), onboard.end(), byName);
    std::sort(adapters.begin(), adapters.end(),
              [&](const SerialDeviceInfo* a, const SerialDeviceInfo* b) { return adapterKey(a) < adapterKey(b); });

    SerialPortMap map;
    int number = 1;
    for (const auto* list : {&onboard, &adapters}) {
        for (const auto* d : *list) {
            if (number > kHighestComNumber) return map;
            map[number++] = d->devnode;
        }
    }
    return map;
}

}  // namespace carillon
