#include "sim/PacedLink.h"

#include <algorithm>

namespace carillon::sim {

bool PacedLink::Paced() const { return m_printer.Config().pacing.enabled; }

PacedLink::Clock::duration PacedLink::ByteTime(const LineSettings& line) const {
    const Pacing& pacing = m_printer.Config().pacing;
    const std::uint32_t baud = pacing.baud != 0 ? pacing.baud : (line.usb ? 0 : line.baud);
    if (!pacing.enabled || baud == 0) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000ll / baud));
}

void PacedLink::QueueAnswer(const ByteArray& bytes, Clock::time_point after, const LineSettings& line) {
    if (bytes.empty()) return;
    const Clock::duration byteTime = ByteTime(line);
    Clock::time_point t = after;
    if (Paced()) t = std::max(m_rxFree, after + std::chrono::milliseconds(m_printer.Config().pacing.turnaroundMs));
    for (std::uint8_t b : bytes) {
        t += byteTime;
        m_toPc.push_back({b, t, line});
    }
    m_rxFree = t;
}

void PacedLink::Send(const std::uint8_t* data, std::size_t length, Clock::time_point now) {
    if (!Paced()) {
        m_printer.Receive(data, length, m_line);
        QueueAnswer(m_printer.TakeOutput(), now, m_line);
        return;
    }
    const Clock::duration byteTime = ByteTime(m_line);
    Clock::time_point t = std::max(m_txFree, now);
    for (std::size_t i = 0; i < length; ++i) {
        t += byteTime;
        m_toPrinter.push_back({data[i], t, m_line});
    }
    m_txFree = t;
    Pump(now);
}

void PacedLink::Pump(Clock::time_point now) {
    // Byte by byte, so that each answer is timed from the byte that completed its request.
    while (!m_toPrinter.empty() && m_toPrinter.front().at <= now) {
        const Timed t = m_toPrinter.front();
        m_toPrinter.pop_front();
        m_printer.Receive(&t.byte, 1, t.line);
        QueueAnswer(m_printer.TakeOutput(), t.at, t.line);
    }
}

std::size_t PacedLink::Readable(Clock::time_point now) const {
    return static_cast<std::size_t>(std::find_if(m_toPc.begin(), m_toPc.end(), [&](const Timed& t) { return t.at > now; }) -
                                    m_toPc.begin());
}

bool PacedLink::Pop(std::uint8_t* byte, Clock::time_point now) {
    if (m_toPc.empty() || m_toPc.front().at > now) return false;
    *byte = m_toPc.front().byte;
    m_toPc.pop_front();
    return true;
}

void PacedLink::DropReadable(Clock::time_point now) {
    m_toPc.erase(m_toPc.begin(), m_toPc.begin() + static_cast<std::ptrdiff_t>(Readable(now)));
}

PacedLink::Clock::time_point PacedLink::NextEvent() const {
    Clock::time_point next = Clock::time_point::max();
    if (!m_toPrinter.empty()) next = m_toPrinter.front().at;
    if (!m_toPc.empty()) next = std::min(next, m_toPc.front().at);
    return next;
}

void PacedLink::Clear() {
    m_toPrinter.clear();
    m_toPc.clear();
    m_txFree = m_rxFree = Clock::time_point{};
}

}  // namespace carillon::sim
