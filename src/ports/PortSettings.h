#pragma once
// Settings objects of the ports and the record that port enumeration fills.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace carillon {

class CPort;

// Flow control of a serial line.
enum Handshake : std::uint32_t {
    kHandshakeRtsCts = 1,
    kHandshakeXonXoff = 2,
    kHandshakeNone = 3,  // no flow control, RTS held on
};

// Kind of a port record or printer entry.
enum PortKind : std::uint32_t {
    kPortKindUsb = 0,
    kPortKindSerial = 1,
    kPortKindEmpty = 6,
};

struct PortSettings {
    std::uint8_t number = 0;  // COM number, or 1-based USB entry number (255: chosen by suffix)
    char type[4] = {};        // "SER" or "USB", NUL-terminated

    virtual ~PortSettings() = default;

    // The type tag compared over all four bytes, as the ports and the session do.
    bool HasType(const char (&tag)[4]) const { return std::memcmp(type, tag, sizeof type) == 0; }

protected:
    PortSettings() = default;
    PortSettings(std::uint8_t n, const char (&tag)[4]) : number(n) { std::memcpy(type, tag, sizeof type); }
    PortSettings(const PortSettings&) = default;
    PortSettings& operator=(const PortSettings&) = default;
};

inline constexpr char kSerialType[4] = "SER";
inline constexpr char kUsbType[4] = "USB";

struct SerialPortSettings : PortSettings {
    std::uint32_t baudRate = 0;
    std::uint32_t handshake = 0;

    SerialPortSettings() : PortSettings(0, kSerialType) {}
    SerialPortSettings(std::uint8_t n, std::uint32_t baud, std::uint32_t hs)
        : PortSettings(n, kSerialType), baudRate(baud), handshake(hs) {}
};

struct UsbPortSettings : PortSettings {
    // Empty, or the last component of a USB instance id with its leading
    // backslash; when set it selects the device instead of the number.
    std::string instanceSuffix;

    UsbPortSettings() : PortSettings(0, kUsbType) {}
    UsbPortSettings(std::uint8_t n, std::string suffix)
        : PortSettings(n, kUsbType), instanceSuffix(std::move(suffix)) {}
};

// One port found by EnumeratePorts.
struct PortRecord {
    std::uint32_t kind = kPortKindEmpty;
    char name[256] = {};  // "COM%d" or "USB%d"
    std::uint32_t number = 0;
    std::unique_ptr<CPort> port;  // ownership passes to whoever takes the record
    std::uint32_t vid = 0;
    std::uint32_t pid = 0;
};

}  // namespace carillon
