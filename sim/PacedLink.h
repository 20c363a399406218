#pragma once
// The line between the PC and a virtual printer, with optional pacing: bytes
// from the PC reach the printer one byte time apart (10 bits a byte at the
// line's rate), and an answer starts a turnaround after the byte that
// completed its request, then also flows at the byte time. Without pacing
// everything arrives at once. Used by one thread at a time.

#include <chrono>
#include <cstdint>
#include <deque>

#include "sim/Config.h"
#include "sim/VirtualPrinter.h"

namespace carillon::sim {

class PacedLink {
public:
    using Clock = std::chrono::steady_clock;

    explicit PacedLink(VirtualPrinter& printer) : m_printer(printer) {}

    // Line settings for the bytes sent from now on.
    void SetLine(const LineSettings& line) { m_line = line; }
    const LineSettings& Line() const { return m_line; }
    bool Paced() const;

    void Send(const std::uint8_t* data, std::size_t length, Clock::time_point now);
    // Hands the printer every byte that has arrived by now and queues its answers.
    void Pump(Clock::time_point now);

    std::size_t Readable(Clock::time_point now) const;
    // Answer bytes on their way to the PC, readable now or later.
    bool Incoming() const { return !m_toPc.empty(); }
    bool Pop(std::uint8_t* byte, Clock::time_point now);
    void DropReadable(Clock::time_point now);
    std::size_t Unsent() const { return m_toPrinter.size(); }
    void DropUnsent() { m_toPrinter.clear(); }
    // When the next byte arrives at either end; max() when nothing is in flight.
    Clock::time_point NextEvent() const;
    void Clear();

private:
    struct Timed {
        std::uint8_t byte;
        Clock::time_point at;
        LineSettings line;
    };
    Clock::duration ByteTime(const LineSettings& line) const;
    void QueueAnswer(const ByteArray& bytes, Clock::time_point after, const LineSettings& line);

    VirtualPrinter& m_printer;
    LineSettings m_line;
    std::deque<Timed> m_toPrinter;
    std::deque<Timed> m_toPc;
    Clock::time_point m_txFree{}, m_rxFree{};
};

}  // namespace carillon::sim
