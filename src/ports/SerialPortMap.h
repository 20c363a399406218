#pragma once
// Which device stands behind each COM number. By default the serial devices
// that udev reports are numbered from COM1: onboard UARTs first, then USB
// serial adapters. A map set explicitly (from the setup file, or by a test)
// replaces that until it is reset.

#include <map>
#include <string>
#include <vector>

namespace carillon {

// COM numbers that are looked at run from 0 to this one.
constexpr int kHighestComNumber = 15;

using SerialPortMap = std::map<int, std::string>;  // COM number -> device path

// Replaces the map; numbers outside 0..kHighestComNumber are dropped.
void SetSerialPortMap(SerialPortMap paths);

// Drops a map set with SetSerialPortMap; udev's view is used again.
void ResetSerialPortMap();

// The map as it stands now. Without an explicit map, the serial devices are
// looked up afresh, so adapters plugged in since the last call appear.
SerialPortMap GetSerialPortMap();

// The device path of a COM number, or empty when the map has none. Uses the
// last map looked up (looking one up if there was none), so that numbers do
// not move between a port enumeration and the opening of a port.
std::string GetSerialDevicePath(int comNumber);

// The system's serial ports now, looked up afresh.
SerialPortMap DetectSerialPorts();

// Whether the device behind a COM number is there now.
bool SerialDeviceExists(int comNumber);

// A serial device as udev reports it.
struct SerialDeviceInfo {
    std::string name;     // kernel name: ttyS0, ttyUSB1, ttyACM0...
    std::string devnode;  // device node path
    bool hasUart = false; // a serial-core port with a UART behind it
};

// The serial devices udev reports: UARTs and USB serial adapters.
std::vector<SerialDeviceInfo> ListSerialDevices();

// Numbers devices from COM1: onboard UARTs that have a UART, by name and
// number; then ttyUSB* by number; then ttyACM* by number. Others are left out.
SerialPortMap NumberSerialDevices(const std::vector<SerialDeviceInfo>& devices);

// Sets a map for the lifetime of a scope, then goes back to udev's view.
class ScopedSerialPortMap {
public:
    explicit ScopedSerialPortMap(SerialPortMap paths) { SetSerialPortMap(std::move(paths)); }
    ~ScopedSerialPortMap() { ResetSerialPortMap(); }
    ScopedSerialPortMap(const ScopedSerialPortMap&) = delete;
    ScopedSerialPortMap& operator=(const ScopedSerialPortMap&) = delete;
};

}  // namespace carillon
