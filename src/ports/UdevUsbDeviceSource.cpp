// The USB printers that udev reports: usbmisc device nodes (the kernel's USB
// printer driver) whose USB interface is of the printer class.
#include <libudev.h>

#include <algorithm>
#include <cstdlib>

#include "ports/UsbDeviceSource.h"

namespace carillon {
namespace {

constexpr long kPrinterInterfaceClass = 7;

std::string_view Text(const char* s) { return s != nullptr ? std::string_view(s) : std::string_view(); }

}  // namespace

std::unique_ptr<UsbDeviceSource> MakeSystemUsbDeviceSource() { return std::make_unique<UdevUsbDeviceSource>(); }

std::vector<UsbDeviceEntry> UdevUsbDeviceSource::List() const {
    struct Found {
        std::string syspath;
        UsbDeviceEntry entry;
    };
    std::vector<Found> found;
    udev* context = udev_new();
    if (context == nullptr) return {};
    udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate != nullptr && udev_enumerate_add_match_subsystem(enumerate, "usbmisc") >= 0 &&
        udev_enumerate_scan_devices(enumerate) >= 0) {
        udev_list_entry* item;
        udev_list_entry_foreach(item, udev_enumerate_get_list_entry(enumerate)) {
            udev_device* node = udev_device_new_from_syspath(context, udev_list_entry_get_name(item));
            if (node == nullptr) continue;
            // Parents belong to node and are released with it.
            udev_device* interface = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_interface");
            udev_device* usb = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device");
            const char* devnode = udev_device_get_devnode(node);
            const char* cls = interface != nullptr ? udev_device_get_sysattr_value(interface, "bInterfaceClass")
                                                   : nullptr;
            if (usb != nullptr && devnode != nullptr && cls != nullptr &&
                std::strtol(cls, nullptr, 16) == kPrinterInterfaceClass) {
                UsbDeviceEntry entry;
                entry.instanceId = MakeUsbInstanceId(Text(udev_device_get_sysattr_value(usb, "idVendor")),
                                                     Text(udev_device_get_sysattr_value(usb, "idProduct")),
                                                     Text(udev_device_get_sysattr_value(usb, "serial")),
                                                     Text(udev_device_get_sysname(usb)));
                entry.devicePath = devnode;
                found.push_back({udev_device_get_syspath(node), std::move(entry)});
            }
            udev_device_unref(node);
        }
    }
    if (enumerate != nullptr) udev_enumerate_unref(enumerate);
    udev_unref(context);

    // The sysfs path follows the USB topology, so the order stays the same
    // while the same printers are plugged into the same sockets.
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.syspath < b.syspath; });
    std::vector<UsbDeviceEntry> entries;
    entries.reserve(found.size());
    for (auto& f : found) entries.push_back(std::move(f.entry));
    return entries;
}

}  // namespace carillon
