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

TEST_F(MonitorPacketTest, RequestsAreEscapedOnTheWireButNotInTheRecord) {
    ByteArray record;
    const Bytes data{0x7D, 0xC0, 0xC1, 0x20};
    session.m_txSequence = 0xC0;  // the sequence number is escaped too
    ASSERT_EQ(session.SendPacket(0x61, data.data(), 4, &record), kOk);
    const Bytes body = Body(0xC0, 0x61, data);
    EXPECT_EQ(port.written, Frame(body));
    const Bytes tail(port.written.end() - 8, port.written.end());
    EXPECT_EQ(tail, (Bytes{0x7D, 0x5D, 0x7D, 0xE0, 0x7D, 0xE1, 0x20, 0xC1}));
    ASSERT_EQ(record.size(), 1 + body.size());
    EXPECT_EQ(record[0], body.size());
    EXPECT_EQ(Bytes(record.begin() + 1, record.end()), body);
    EXPECT_EQ(session.m_txSequence, 0xC1);
    EXPECT_EQ(port.writeTimeout, 2000u);
}

TEST_F(MonitorPacketTest, RequestsOverTheBodyLimitAreSentButNotRecorded) {
    ByteArray record;
    Bytes data(252, 0x11);
    EXPECT_EQ(session.SendPacket(0x61, data.data(), 251, &record), kOk);
    EXPECT_EQ(record.size(), 256u);
    EXPECT_EQ(record[0], 255);
    port.written.clear();
    EXPECT_EQ(session.SendPacket(0x61, data.data(), 252, &record), 0x00020018u);
    EXPECT_EQ(record.size(), 256u);
    EXPECT_EQ(port.written, Frame(Body(1, 0x61, data)));
    EXPECT_EQ(session.m_txSequence, 2);
}

TEST_F(MonitorPacketTest, SequenceAdvancesEvenWhenThePortFails) {
    port.failWrites = true;
    EXPECT_EQ(session.SendPacket(0x41, nullptr, 0, nullptr), 0x0001000Bu);
    port.failWrites = false;
    ASSERT_EQ(session.SendPacket(0x41, nullptr, 0, nullptr), kOk);
    EXPECT_EQ(port.written, Frame(Body(1, 0x41)));
}

TEST_F(MonitorPacketTest, NothingMovesWithoutAConnection) {
    session.m_connected = false;
    EXPECT_EQ(session.SendPacket(0x41, nullptr, 0, nullptr), 0x00020003u);
    EXPECT_EQ(session.ReceivePacket(nullptr, 10, nullptr, 0, nullptr), 0x00020003u);
    EXPECT_TRUE(port.written.empty());
    EXPECT_EQ(session.m_txSequence, 0);
}

TEST_F(MonitorPacketTest, NoiseBeforeTheStartByteIsIgnored) {
    port.Feed({0x00, 0xC1, 0x55, 0x7D});
    port.Feed(Frame(Body(0, 0x00, {1, 2, 3})));
    Bytes data;
    std::uint8_t code = 0xEE;
    std::uint32_t length = 0;
    EXPECT_EQ(Receive(data, 3, &code, &length), kOk);
    EXPECT_EQ(code, 0x00);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(data, (Bytes{1, 2, 3}));
    EXPECT_EQ(session.m_rxSequence, 1);
}

TEST_F(MonitorPacketTest, EscapedBytesDecodeAndFramingBytesKeepTheirMeaning) {
    port.Feed(Frame(Body(0, 0x00, {0xC0, 0x7D, 0xC1})));
    Bytes data;
    EXPECT_EQ(Receive(data, 3), kOk);
    EXPECT_EQ(data, (Bytes{0xC0, 0x7D, 0xC1}));
    // An escape followed by the end byte still ends the frame.
    Bytes cut = Frame(Body(1, 0x00, {0x42}));
    cut.insert(cut.end() - 1, 0x7D);
    port.Feed(cut);
    EXPECT_EQ(Receive(data, 1), kOk);
    EXPECT_EQ(data[0], 0x42);
}

TEST_F(MonitorPacketTest, SecondStartByteMeansTheEndWasLost) {
    Bytes first = Frame(Body(0, 0x00, {1, 2}));
    first.pop_back();
    port.Feed(first);
    port.Feed(Frame(Body(0, 0x00, {1, 2})));
    Bytes data;
    EXPECT_EQ(Receive(data, 2), 0x0002000Cu);
}

TEST_F(MonitorPacketTest, DamagedAndMissingAnswersAreRecognised) {
    Bytes data;
    port.Feed({0xC0, 0x01, 0x02, 0x03, 0xC1});
    EXPECT_EQ(Receive(data, 0), 0x00020004u);
    Bytes bad = Body(0, 0x00, {9});
    bad[0] ^= 1;
    port.Feed(Frame(bad));
    EXPECT_EQ(Receive(data, 1), 0x00020006u);
    std::uint8_t code = 0;
    port.Feed(Frame(Body(0, 0x42)));
    EXPECT_EQ(Receive(data, 0, &code), 0x0002000Au);
    EXPECT_EQ(code, 0xFF);
    // Silence, or a frame that never ends, is the port's time-out; the usual one is put back.
    EXPECT_EQ(Receive(data, 1), 0x00010010u);
    EXPECT_EQ(port.readTimeout, 2000u);
    port.Feed({0xC0, 0x01});
    EXPECT_EQ(Receive(data, 1), 0x00010010u);
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

TEST_F(MonitorPacketTest, DataCodesCountAsPositiveAnswers) {
    Bytes data;
    std::uint8_t code = 0;
    for (std::uint8_t c : {0x61, 0x62, 0x63}) {
        port.Feed(Frame(Body(session.m_rxSequence, c)));
        EXPECT_EQ(Receive(data, 0, &code), kOk);
        EXPECT_EQ(code, c);
    }
}

TEST_F(MonitorPacketTest, LengthMismatchesStillDeliverWhatFits) {
    Bytes data;
    std::uint32_t length = 0;
    port.Feed(Frame(Body(0, 0x00, {1, 2, 3, 4})));
    EXPECT_EQ(Receive(data, 2, nullptr, &length), 0x00020005u);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(data, (Bytes{1, 2}));
    port.Feed(Frame(Body(1, 0x00, {5})));
    EXPECT_EQ(Receive(data, 3, nullptr, &length), 0x00020004u);
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(data, (Bytes{5, 0xEE, 0xEE}));
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

TEST_F(MonitorPacketTest, OverlongAnswersAreCutAtTheBufferWithoutOverrun) {
    Bytes big(400, 0x33);
    port.Feed(Frame(Body(0, 0x00, big)));
    Bytes data;
    EXPECT_EQ(Receive(data, 255), 0x00020006u);  // the CRC covered bytes that were dropped
    EXPECT_TRUE(port.input.empty());
}

}  // namespace
}  // namespace carillon
