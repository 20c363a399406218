#include "sim/FrameCodec.h"

#include "package/Crc16.h"

namespace carillon::sim {

ByteArray MakeBody(std::uint8_t sequence, std::uint8_t code, const std::uint8_t* data, std::size_t length) {
    ByteArray body;
    body.reserve(length + 4);
    body.push_back(0);
    body.push_back(0);
    body.push_back(sequence);
    body.push_back(code);
    for (std::size_t i = 0; i < length; ++i) body.push_back(data[i]);
    const std::uint16_t crc = ComputeCrc16(0xFFFF, body.data() + 2, body.size() - 2);
    body[0] = static_cast<std::uint8_t>(crc & 0xFF);
    body[1] = static_cast<std::uint8_t>(crc >> 8);
    return body;
}

ByteArray MakeFrame(const ByteArray& body) {
    ByteArray frame;
    frame.reserve(body.size() + 8);
    frame.push_back(kFrameStart);
    for (std::uint8_t b : body) {
        if (b == kFrameStart || b == kFrameEnd || b == kFrameEscape) {
            frame.push_back(kFrameEscape);
            frame.push_back(static_cast<std::uint8_t>(b ^ 0x20));
        } else {
            frame.push_back(b);
        }
    }
    frame.push_back(kFrameEnd);
    return frame;
}

std::optional<Packet> ParseBody(const ByteArray& body) {
    if (body.size() < 4) return std::nullopt;
    Packet p;
    p.crc = static_cast<std::uint16_t>(body[0] | (body[1] << 8));
    p.crcOk = p.crc == ComputeCrc16(0xFFFF, body.data() + 2, body.size() - 2);
    p.sequence = body[2];
    p.code = body[3];
    p.data.assign(body.begin() + 4, body.end());
    return p;
}

void FrameDecoder::Reset() {
    m_inFrame = m_escape = m_overflow = false;
    m_body.clear();
}

std::optional<ByteArray> FrameDecoder::Feed(std::uint8_t byte) {
    if (byte == kFrameStart) {
        Reset();
        m_inFrame = true;
        return std::nullopt;
    }
    if (!m_inFrame) return std::nullopt;
    if (byte == kFrameEnd) {
        bool complete = !m_overflow;
        ByteArray body = std::move(m_body);
        Reset();
        if (complete) return body;
        return std::nullopt;
    }
    if (byte == kFrameEscape) {
        m_escape = true;  // an escape after an escape starts a new one
        return std::nullopt;
    }
    if (m_escape) {
        byte ^= 0x20;
        m_escape = false;
    }
    if (m_body.size() < kMaxBody) {
        m_body.push_back(byte);
    } else {
        m_overflow = true;
    }
    return std::nullopt;
}

}  // namespace carillon::sim
