#pragma once
// Measures a transfer against the virtual printer's paced link: wall time,
// process CPU time, and the protocol's own bound, the wire time of every
// frame both ways at 10 bits a byte plus one turnaround per answer.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <vector>

#include "package/Crc16.h"
#include "sim/VirtualPrinter.h"

namespace carillon::bench {

inline double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Bytes a body takes on the wire: start, escaped body, end.
inline std::size_t FrameBytes(const ByteArray& body) {
    std::size_t n = 2;
    for (std::uint8_t b : body) n += (b == 0xC0 || b == 0xC1 || b == 0x7D) ? 2 : 1;
    return n;
}

// A positive answer without data, as the printer sends it with sequence number seq.
inline ByteArray PlainAnswer(std::uint8_t seq) {
    const std::uint8_t tail[2] = {seq, 0x00};
    const std::uint16_t crc = ComputeCrc16(0xFFFF, tail, 2);
    return {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8), seq, 0x00};
}

struct LinkBound {
    std::size_t wireBytes = 0;
    std::size_t answers = 0;
    double seconds = 0;
};

// The bound of an exchange of plain answers that started at answer sequence firstAnswer.
inline LinkBound ProtocolBound(const sim::VirtualPrinter& printer, std::uint8_t firstAnswer, std::size_t answers,
                               std::uint32_t baud, double turnaroundMs) {
    LinkBound bound;
    for (const auto& request : printer.Requests()) bound.wireBytes += FrameBytes(request.body);
    for (std::size_t i = 0; i < answers; ++i)
        bound.wireBytes += FrameBytes(PlainAnswer(static_cast<std::uint8_t>(firstAnswer + i)));
    bound.answers = answers;
    bound.seconds = static_cast<double>(bound.wireBytes) * 10.0 / baud + static_cast<double>(answers) * turnaroundMs / 1000.0;
    return bound;
}

}  // namespace carillon::bench
