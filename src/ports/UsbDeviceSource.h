#pragma once
// Where the USB printers present come from: udev (printer-class interfaces
// with a usbmisc device node), or a file that lists them, one per line as
// "<instance id>\t<device path>". The file is chosen when the environment
// variable CARILLON_USB_DEVICES names it; a printer played on a
// pseudo-terminal appears, leaves and comes back by rewriting that file.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace carillon {

inline constexpr const char* kUsbDevicesVariable = "CARILLON_USB_DEVICES";

struct UsbDeviceEntry {
    // USB\Vid_xxxx&Pid_xxxx\<instance>: four lower-case hexadecimal digits
    // each; <instance> is the serial number, or the USB port path without one.
    std::string instanceId;
    std::string devicePath;  // device node to open
};

class UsbDeviceSource {
public:
    virtual ~UsbDeviceSource() = default;
    // The printers present now, in a stable order. Read afresh at each call.
    virtual std::vector<UsbDeviceEntry> List() const = 0;
};

class UdevUsbDeviceSource final : public UsbDeviceSource {
public:
    std::vector<UsbDeviceEntry> List() const override;
};

// The USB printer class driver's list in the registry, under its
// enumeration key: a "Count" and one instance id per entry.
class RegistryUsbDeviceSource final : public UsbDeviceSource {
public:
    std::vector<UsbDeviceEntry> List() const override;
    // The device interface path of a printer class device.
    static std::string InterfacePath(const std::string& instanceId);
};

// The system's own list: udev, or the registry.
std::unique_ptr<UsbDeviceSource> MakeSystemUsbDeviceSource();

class FileUsbDeviceSource final : public UsbDeviceSource {
public:
    explicit FileUsbDeviceSource(std::string path) : path_(std::move(path)) {}
    // A missing, unreadable or non-regular file lists nothing; only its first
    // 64 KiB count. Blank lines, lines without a tab and entries whose path
    // exists but is not a character device are skipped.
    std::vector<UsbDeviceEntry> List() const override;

private:
    std::string path_;
};

// The source in use now: one put in place by a ScopedUsbDeviceSource, else
// the file named by CARILLON_USB_DEVICES when it is set and not empty, the
// system's own list otherwise.
std::unique_ptr<UsbDeviceSource> MakeUsbDeviceSource();

// Lists the printers of source instead, for the lifetime of a scope; source
// must outlive it and be safe to call from any thread.
class ScopedUsbDeviceSource {
public:
    explicit ScopedUsbDeviceSource(const UsbDeviceSource& source);
    ~ScopedUsbDeviceSource();
    ScopedUsbDeviceSource(const ScopedUsbDeviceSource&) = delete;
    ScopedUsbDeviceSource& operator=(const ScopedUsbDeviceSource&) = delete;

private:
    const UsbDeviceSource* previous_;
};

// Builds an instance id from the USB device's idVendor and idProduct texts
// (hexadecimal) and its serial number, or its port path when the serial
// number is empty. Backslashes and control characters in the instance part
// become '_', so that the last backslash always starts it.
std::string MakeUsbInstanceId(std::string_view idVendor, std::string_view idProduct, std::string_view serial,
                              std::string_view portPath);

}  // namespace carillon
