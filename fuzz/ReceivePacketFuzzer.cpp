// The answer side of the packet layer: any bytes arriving on a port, read by
// ReceivePacket with varying expected lengths and monitor versions. The
// result is always one of the packet layer's codes, no more than the
// expected length is ever delivered, the failure detail changes only on a
// refusal, and the sequence counter moves only for a frame whose CRC held.
//
// Input: byte 0 the monitor version, byte 1 the starting answer sequence
// number, byte 2 picks the first expected length and byte 3 how it changes
// from call to call; the rest is what arrives on the line.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "monitor/MonitorSession.h"
#include "ports/Port.h"

namespace {

using namespace carillon;

// A port whose input is the fuzzer's bytes; when they are used up a read
// times out, as on a silent line.
class FeedPort : public CPort {
public:
    FeedPort(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {
        settings = std::make_unique<SerialPortSettings>(1, 115200, kHandshakeNone);
        isOpen = true;
    }
    std::uint8_t ReadByte() override {
        if (at_ == size_) {
            SetError(kErrPortReadTimeout);
            return 0;
        }
        SetError(kOk);
        return data_[at_++];
    }
    PortSettings* GetSettings() override { return settings.get(); }
    bool Exhausted() const { return at_ == size_; }
    std::size_t Position() const { return at_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

constexpr std::uint32_t kExpected[] = {0, 1, 2, 4, 7, 8, 15, 16, 200, 251, 255, 259, 1000};
constexpr std::size_t kExpectedCount = sizeof kExpected / sizeof kExpected[0];
constexpr std::size_t kGuard = 16;
constexpr std::uint8_t kCanary = 0xA5;

bool IsPacketCode(ErrorCode r) {
    return r == kOk || r == kErrMonPacketShort || r == kErrMonPacketLong || r == kErrMonCrc || r == kErrMonSequence ||
           r == kErrMonUnknownAnswer || r == kErrMonNoEnd || IsMonitorFailure(r) || r == kErrPortReadTimeout;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    FeedPort port(data + 4, size - 4);
    CMonitorSession session;
    session.m_pPort = &port;
    session.m_connected = true;
    session.m_monitorVersion = data[0];
    session.m_rxSequence = data[1];
    std::size_t pick = data[2];
    const std::size_t step = data[3];

    // Far more calls than bytes would only repeat time-outs.
    for (int call = 0; call < 4096 && !port.Exhausted(); ++call) {
        const std::uint32_t expected = kExpected[pick % kExpectedCount];
        pick += step + 1;
        // Sized to the call, so that the address sanitizer sees any write past it.
        std::vector<std::uint8_t> buffer(expected + kGuard, kCanary);
        const auto failureBefore = session.m_failure;
        const std::uint8_t sequenceBefore = session.m_rxSequence;
        const std::size_t positionBefore = port.Position();
        std::uint8_t code = 0x5A;
        std::uint32_t length = 0xDEADBEEF;
        port.readTimeout = 77;

        const ErrorCode r = session.ReceivePacket(&code, 50, buffer.data(), expected, &length);

        FUZZ_CHECK(IsPacketCode(r));
        FUZZ_CHECK(session.m_lastError == r);
        FUZZ_CHECK(port.Position() > positionBefore || r == kErrPortReadTimeout);
        FUZZ_CHECK(length <= expected);
        FUZZ_CHECK(std::all_of(buffer.begin() + length, buffer.end(), [](std::uint8_t b) { return b == kCanary; }));
        if (!IsMonitorFailure(r)) FUZZ_CHECK(session.m_failure == failureBefore);
        if (r == kErrPortReadTimeout || r == kErrMonNoEnd || r == kErrMonCrc)
            FUZZ_CHECK(session.m_rxSequence == sequenceBefore);
        if (r == kErrPortReadTimeout) FUZZ_CHECK(port.readTimeout == 2000);
        if (r == kOk) FUZZ_CHECK(length == expected);
        if (r == kOk || r == kErrMonPacketLong) FUZZ_CHECK(code == 0x00 || (code >= 0x61 && code <= 0x63));
        if (IsMonitorFailure(r) || r == kErrMonUnknownAnswer) FUZZ_CHECK(code == 0xFF);
        if (IsMonitorFailure(r)) FUZZ_CHECK((r & 0xFF) == session.m_failure[0] && length == 0);
    }
    return 0;
}
