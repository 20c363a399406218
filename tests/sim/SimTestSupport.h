#pragma once
// What the sim tests share: the PC's side of the line, written out by hand
// from the packet layout so that it does not lean on the printer's codec.

#include <cstdint>
#include <vector>

#include "package/Crc16.h"
#include "support/PacketBytes.h"
#include "sim/FrameCodec.h"
#include "sim/VirtualPrinter.h"

namespace carillon::sim::testing {

inline const LineSettings kUsbLine{true, 0, 0};
inline LineSettings Serial(std::uint32_t baud) { return LineSettings{false, baud, kHandshakeNone}; }

inline ByteArray Le16(std::uint32_t v) { return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; }
inline ByteArray Le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}
inline ByteArray Cat(std::initializer_list<ByteArray> parts) {
    ByteArray all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A request frame as the PC builds it.
inline ByteArray Request(std::uint8_t sequence, std::uint8_t code, const ByteArray& data = {}) {
    return carillon::testing::PacketFrame(carillon::testing::PacketBody(sequence, code, data));
}

// The answer packets in a stream of printer bytes.
inline std::vector<Packet> Answers(const ByteArray& bytes) {
    std::vector<Packet> packets;
    FrameDecoder decoder;
    for (std::uint8_t b : bytes) {
        if (auto body = decoder.Feed(b)) packets.push_back(*ParseBody(*body));
    }
    return packets;
}

// A printer in its monitor, driven as over USB.
struct MonitorBench {
    explicit MonitorBench(PrinterConfig config = {}) : printer(Started(std::move(config))) {}
    static PrinterConfig Started(PrinterConfig c) {
        c.startInMonitor = true;
        return c;
    }
    std::vector<Packet> Send(std::uint8_t code, const ByteArray& data = {}) {
        printer.Receive(Request(sequence++, code, data), kUsbLine);
        return Answers(printer.TakeOutput());
    }
    VirtualPrinter printer;
    std::uint8_t sequence = 0;
};

}  // namespace carillon::sim::testing
