#include <gtest/gtest.h>

#include "monitor/MonitorSession.h"
#include "support/PacketBytes.h"
#include "support/ScriptedPort.h"

namespace carillon {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ScriptedPort;

Bytes Body(std::uint8_t seq, std::uint8_t code, const Bytes& data = {}) { return testing::PacketBody(seq, code, data); }
Bytes Frame(const Bytes& body) { return testing::PacketFrame(body); }

// The first bytes of a, without its last cut bytes, then tail.
Bytes Splice(Bytes a, std::size_t cut, const Bytes& tail) {
    a.erase(a.end() - static_cast<std::ptrdiff_t>(cut), a.end());
    a.insert(a.end(), tail.begin(), tail.end());
    return a;
}

class MonitorPacketTest : public ::testing::Test {
protected:
    void SetUp() override {
        port.Open();
        session.m_pPort = &port;
        session.m_connected = true;
    }
    ErrorCode Receive(Bytes& data, std::uint32_t expected, std::uint8_t* code = nullptr, std::uint32_t* length = nullptr) {
        data.assign(expected, 0xEE);
        return session.ReceivePacket(code, 500, data.data(), expected, length);
    }
    ScriptedPort port;
    CMonitorSession session;
};

TEST_F(MonitorPacketTest, RequestsAreEscapedOnTheWireButNotInTheRecordWhichHasALimit) {
    ByteArray record;
    const Bytes data{0x7D, 0xC0, 0xC1, 0x20};
    session.m_txSequence = 0xC0;  // the sequence number is escaped too
    ASSERT_EQ(session.SendPacket(0x61, data.data(), 4, &record), kOk);
    const Bytes body = Body(0xC0, 0x61, data);
    EXPECT_EQ(port.written, Frame(body));
    const Bytes tail(port.written.end() - 8, port.written.end());
    EXPECT_EQ(tail, (Bytes{0x7D, 0x5D, 0x7D, 0xE0, 0x7D, 0xE1, 0x20, 0xC1}));
    EXPECT_EQ(record, Splice({static_cast<std::uint8_t>(body.size())}, 0, body));
    EXPECT_EQ(session.m_txSequence, 0xC1);
    EXPECT_EQ(port.writeTimeout, 2000u);
    // Over the body limit: sent, but not recorded.
    record.clear();
    Bytes big(252, 0x11);
    EXPECT_EQ(session.SendPacket(0x61, big.data(), 251, &record), kOk);
    EXPECT_EQ(record.size(), 256u);
    EXPECT_EQ(record[0], 255);
    port.written.clear();
    EXPECT_EQ(session.SendPacket(0x61, big.data(), 252, &record), 0x00020018u);
    EXPECT_EQ(record.size(), 256u);
    EXPECT_EQ(port.written, Frame(Body(0xC2, 0x61, big)));
}

TEST_F(MonitorPacketTest, SequenceAdvancesEvenWhenThePortFailsButNotWithoutAConnection) {
    port.failWrites = true;
    EXPECT_EQ(session.SendPacket(0x41, nullptr, 0, nullptr), 0x0001000Bu);
    port.failWrites = false;
    ASSERT_EQ(session.SendPacket(0x41, nullptr, 0, nullptr), kOk);
    EXPECT_EQ(port.written, Frame(Body(1, 0x41)));
    session.m_connected = false;
    EXPECT_EQ(session.SendPacket(0x41, nullptr, 0, nullptr), 0x00020003u);
    EXPECT_EQ(session.ReceivePacket(nullptr, 10, nullptr, 0, nullptr), 0x00020003u);
    EXPECT_EQ(port.written, Frame(Body(1, 0x41)));
    EXPECT_EQ(session.m_txSequence, 2);
}

struct Answer {
    const char* what;
    Bytes wire;
    std::uint32_t expected;
    ErrorCode result;
    Bytes delivered;  // checked when not empty
};

const Answer kAnswers[] = {
    {"noise before the start byte is ignored", Splice({0x00, 0xC1, 0x55, 0x7D}, 0, Frame(Body(0, 0x00, {1, 2, 3}))), 3, kOk,
     {1, 2, 3}},
    {"escaped bytes decode", Frame(Body(0, 0x00, {0xC0, 0x7D, 0xC1})), 3, kOk, {0xC0, 0x7D, 0xC1}},
    {"an escape before the end byte still ends the frame", Splice(Frame(Body(0, 0x00, {0x42})), 1, {0x7D, 0xC1}), 1, kOk, {0x42}},
    {"a second start byte means the end was lost",
     Splice(Frame(Body(0, 0x00, {1, 2})), 1, Frame(Body(0, 0x00, {1, 2}))), 2, 0x0002000C, {}},
    {"shorter than CRC, sequence and code", {0xC0, 0x01, 0x02, 0x03, 0xC1}, 0, 0x00020004, {}},
    {"a wrong CRC", Frame({0x12, 0x34, 0, 0x00, 9}), 1, 0x00020006, {}},
    {"longer than expected delivers what fits", Frame(Body(0, 0x00, {1, 2, 3, 4})), 2, 0x00020005, {1, 2}},
    {"one byte too long is too long", Frame(Body(0, 0x00, {1, 2, 3})), 2, 0x00020005, {1, 2}},
    {"shorter than expected delivers what came", Frame(Body(0, 0x00, {5})), 3, 0x00020004, {5, 0xEE, 0xEE}},
    // The CRC covered the bytes dropped at the buffer's end.
    {"overlong answers are cut at the buffer", Frame(Body(0, 0x00, Bytes(400, 0x33))), 255, 0x00020006, {}},
    {"silence is the port's time-out", {}, 1, 0x00010010, {}},
    {"so is a frame that never ends", {0xC0, 0x01}, 1, 0x00010010, {}},
};

TEST_F(MonitorPacketTest, AnswersAreDecodedOrRefusedAsTheyCome) {
    for (const Answer& a : kAnswers) {
        SCOPED_TRACE(a.what);
        session.m_rxSequence = 0;
        port.input.clear();
        port.Feed(a.wire);
        Bytes data;
        EXPECT_EQ(Receive(data, a.expected), a.result);
        if (!a.delivered.empty()) {
            EXPECT_EQ(data, a.delivered);
        }
        if (a.result == 0x00010010u) {
            EXPECT_EQ(port.readTimeout, 2000u);  // a time-out puts the usual one back
        }
    }
}

TEST_F(MonitorPacketTest, WrongSequenceResynchronisesOnTheReceivedNumber) {
    Bytes data;
    port.Feed(Frame(Body(7, 0x00)));
    EXPECT_EQ(Receive(data, 0), 0x00020007u);
    EXPECT_EQ(session.m_rxSequence, 8);
    port.Feed(Frame(Body(8, 0x00)));
    EXPECT_EQ(Receive(data, 0), kOk);
    port.Feed(Frame(Body(0xFF, 0x00)));
    EXPECT_EQ(Receive(data, 0), 0x00020007u);
    EXPECT_EQ(session.m_rxSequence, 0);
}

// The data codes are positive answers too; an unknown code is reported as 0xFF.
TEST_F(MonitorPacketTest, AnswerCodesAreReportedOrRefused) {
    const std::tuple<std::uint8_t, ErrorCode, std::uint8_t> cases[] = {
        {0x61, kOk, 0x61}, {0x62, kOk, 0x62}, {0x63, kOk, 0x63}, {0x42, 0x0002000Au, 0xFF}};
    for (const auto& [sent, result, reported] : cases) {
        SCOPED_TRACE(int(sent));
        Bytes data;
        std::uint8_t code = 0;
        port.Feed(Frame(Body(session.m_rxSequence, sent)));
        EXPECT_EQ(Receive(data, 0, &code), result);
        EXPECT_EQ(code, reported);
    }
}

TEST_F(MonitorPacketTest, RefusalsCarryTheirFlagsAndDetail) {
    Bytes data;
    session.m_monitorVersion = 0x02;
    port.Feed(Frame(Body(0, 0xFF, {0x40, 0, 0, 0})));
    EXPECT_EQ(Receive(data, 0), 0x00020140u);
    EXPECT_EQ(session.m_failure[0], 0x40);
    EXPECT_EQ(session.m_failure[4], 0);

    session.m_monitorVersion = 0x85;  // extended monitors send at least ten bytes
    port.Feed(Frame(Body(1, 0xFF, {0x01, 0, 0, 0})));
    EXPECT_EQ(Receive(data, 0), 0x00020004u);
    port.Feed(Frame(Body(2, 0xFF, {0x07, 1, 2, 3, 4, 5, 6, 7, 8, 9})));
    EXPECT_EQ(Receive(data, 0), 0x00020107u);
    EXPECT_EQ(session.m_failure[9], 9);
    EXPECT_EQ(session.m_failure[10], 0);  // not covered by the payload: zero
    EXPECT_EQ(session.m_failure[13], 0);
}

// The shortest answers a monitor of each version may give.
TEST_F(MonitorPacketTest, ShortInfoAnswersAreRefusedByVersion) {
    const std::tuple<int, int, ErrorCode> cases[] = {
        {0x02, 8, kOk},  {0x02, 7, kErrMonPacketShort},  {0x81, 15, kOk}, {0x81, 12, kErrMonPacketShort},
        {0x80, 14, kErrMonPacketShort}, {0x82, 15, kErrMonPacketShort}, {0x8A, 16, kOk}, {0x90, 16, kOk}};
    for (const auto& [version, length, expected] : cases) {
        SCOPED_TRACE(::testing::Message() << version << " " << length);
        Bytes data(static_cast<std::size_t>(length), 0x00);
        data[0] = static_cast<std::uint8_t>(version);
        data[1] = 200;
        if (data.size() > 8) data[8] = 0x03;  // the locations of an extended answer
        port.onWrite = [&](const Bytes&) { port.Feed(Frame(Body(session.m_rxSequence, 0x00, data))); };
        EXPECT_EQ(session.ReadMonitorInfo(nullptr), expected);
    }
}

}  // namespace
}  // namespace carillon
