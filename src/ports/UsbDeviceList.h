#pragma once
// Helpers of the USB printer list shared by the USB port backends: entries
// are looked up in one snapshot of the list, so that an index stays valid.

#include <cstdint>
#include <string>
#include <vector>

#include "ports/UsbDeviceSource.h"

namespace carillon::detail {

std::vector<UsbDeviceEntry> ListDevices();

// Copies text with its NUL into a buffer of size bytes; false when it does not fit.
bool CopyBounded(const std::string& text, char* out, std::uint32_t size);

// As GetUsbDevicePath, on a snapshot.
long DevicePathOf(const std::vector<UsbDeviceEntry>& list, int index, char* path, std::uint32_t size,
                  char* rawInstanceId);

// The instance id of an entry, as the 256-byte value buffer would hold it.
bool InstanceIdOf(const std::vector<UsbDeviceEntry>& list, int index, std::string* id);

// From the last backslash on; empty when there is none.
std::string SuffixOf(const std::string& instanceId);

// The characters after the last backslash (all of them without one).
std::string LastComponent(const std::string& instanceId);

// The index of the last entry whose suffix is suffix, or -1.
int FindIn(const std::vector<UsbDeviceEntry>& list, const std::string& suffix);

}  // namespace carillon::detail
