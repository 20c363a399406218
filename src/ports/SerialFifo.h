#pragma once
// The receive latency of a serial port. A USB serial adapter holds received
// bytes for its latency timer (often 16 ms) and an onboard UART without the
// low-latency flag hands them over late; either halves the throughput of a
// stop-and-wait protocol. The port enumeration offers to fix it.

#include <cstdint>
#include <string>

namespace carillon {

// Where sysfs is mounted; tests point it at a directory of their own.
// An empty root restores "/sys".
void SetSysfsRoot(std::string root);
std::string GetSysfsRoot();

// Non-zero when the port of comNumber delays received bytes: the latency
// timer in ms when above 1, or 1 for an onboard UART without low latency.
// 1 as well when it cannot tell (no such port, no attribute to read).
std::uint32_t IsFifoEnabled(int comNumber);

// value 0 sets the latency timer to 1 ms (or low latency on); any other value
// puts back the usual 16 ms (or low latency off). Returns whether it worked.
bool DisableFifo(int comNumber, std::uint32_t value);

}  // namespace carillon
