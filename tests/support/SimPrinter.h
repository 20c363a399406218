#pragma once
// A virtual printer with an in-process port, for protocol and engine tests.

#include <algorithm>
#include <string>
#include <vector>

#include "ports/PortSettings.h"
#include "sim/SimPort.h"
#include "sim/VirtualPrinter.h"

namespace carillon::testing {

struct SimPrinter {
    // A serial printer at its own rate and handshake, or a USB printer.
    explicit SimPrinter(sim::PrinterConfig config = {}, bool usb = false) : printer(config), port(printer) {
        if (usb) {
            UsbPortSettings s(1, "");
            port.SetSettings(&s);
        } else {
            SerialPortSettings s(1, config.baudRate, config.handshake);
            port.SetSettings(&s);
        }
    }

    // The requests the printer received whose code is one of codes, in order.
    std::vector<sim::Packet> Requests(const std::string& codes) const {
        std::vector<sim::Packet> found;
        for (const auto& r : printer.Requests())
            if (codes.find(static_cast<char>(r.packet.code)) != std::string::npos) found.push_back(r.packet);
        return found;
    }

    sim::VirtualPrinter printer;
    sim::SimPort port;
};

inline sim::PrinterConfig InMonitor(sim::Family family = sim::Family::kNdx) {
    sim::PrinterConfig c;
    c.family = family;
    c.startInMonitor = true;
    return c;
}

inline ByteArray Pattern(std::size_t size, unsigned seed = 1) {
    ByteArray data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 131 + seed * 17 + (i >> 8)) & 0xFF);
    return data;
}

inline std::uint32_t Le16(const ByteArray& d, std::size_t at) { return d[at] | (d[at + 1] << 8); }
inline std::uint32_t Le32(const ByteArray& d, std::size_t at) { return Le16(d, at) | (Le16(d, at + 2) << 16); }

}  // namespace carillon::testing
