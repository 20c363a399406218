#include <gtest/gtest.h>

#include "SimTestSupport.h"

namespace carillon::sim {
namespace {

using testing::Answers;
using testing::Request;
using testing::Serial;

PrinterConfig WithSets(std::uint32_t sets) {
    PrinterConfig c;
    c.commandSets = sets;
    c.name = "ABC";
    return c;
}

ByteArray Ask(VirtualPrinter& p, const ByteArray& bytes, const LineSettings& line = Serial(9600)) {
    p.Receive(bytes, line);
    return p.TakeOutput();
}

TEST(NormalMode, EachCommandSetAnswersItsOwnQueriesAndVrkWinsWhereBytesCoincide) {
    const ByteArray vrkName = {'A', 'B', 'C', 0}, escPosName = {0x5F, 'A', 'B', 'C', 0}, kestrelId = {3, 1, 4, 1};
    const struct {
        std::uint32_t sets;
        ByteArray query, answer;
    } cases[] = {
        {kSetEscPos, {0x1D, 0x49, 0x01}, {0x00}},
        {kSetEscPos, {0x1D, 0x49, 0x43}, escPosName},  // the name starts with a header byte
        {kSetEscPos, {0x1B, 0x49}, {}},                // a VRK question gets nothing
        {kSetKestrel, {0x1B, 0x49}, {}},               // a cancel here
        {kSetKestrel, {0x1B, 0x76}, {0x00}},
        {kSetKestrel, {0x1B, 0x57}, kestrelId},  // exactly four bytes
        {kSetVrk | kSetEscPos | kSetKestrel, {0x1B, 0x49}, vrkName},
        {kSetVrk | kSetEscPos | kSetKestrel, {0x1D, 0x49, 0x43}, escPosName},
        {kSetVrk | kSetEscPos | kSetKestrel, {0x1B, 0x57}, kestrelId},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "sets " << c.sets << ", query " << ::testing::PrintToString(c.query));
        PrinterConfig config = WithSets(c.sets);
        std::copy(kestrelId.begin(), kestrelId.end(), config.kestrelId.begin());
        VirtualPrinter p(config);
        EXPECT_EQ(Ask(p, c.query), c.answer);
    }
}

TEST(NormalMode, HandshakeQueriesReportRtsCtsInBit7AndInfoQueryGivesThreeBytes) {
    PrinterConfig c = WithSets(kSetVrk);
    VirtualPrinter rts(c);
    c.handshake = kHandshakeXonXoff;
    VirtualPrinter xon(c);
    for (const ByteArray& q : {ByteArray{0x1D, 0x53, 0x66, 0x1C}, ByteArray{0x1B, 0x1D, 0x42, 0xFF}}) {
        const ByteArray a = Ask(rts, q), b = Ask(xon, q);
        ASSERT_TRUE(a.size() == 1u && b.size() == 1u);
        EXPECT_TRUE((a[0] & 0x80) && !(b[0] & 0x80));
        EXPECT_NE(b[0], 0);  // a zero answer would send the PC to its second query
    }
    EXPECT_EQ(Ask(rts, {0x1B, 0x1D, 0x43}).size(), 3u);
}

TEST(NormalMode, CommandsSurvivePrintDataAndSplitWrites) {
    VirtualPrinter p(WithSets(kSetVrk));
    EXPECT_TRUE(Ask(p, {'h', 'i', 0x1B}).empty());
    EXPECT_EQ(Ask(p, {0x49}), (ByteArray{'A', 'B', 'C', 0}));
    EXPECT_EQ(p.NormalModeBytes(), (ByteArray{'h', 'i', 0x1B, 0x49}));
}

// At another rate the bytes are noise: no answer, nothing understood, no
// monitor; in the monitor only 115200 is heard.
TEST(NormalMode, OnlyItsOwnRateIsHeardAndTheMonitorTalksAt115200) {
    VirtualPrinter p(WithSets(kSetVrk));
    EXPECT_TRUE(Ask(p, {0x1B, 0x49}, Serial(19200)).empty());
    Ask(p, {0x1D, 0x55, 0x4D}, Serial(19200));
    EXPECT_FALSE(p.InMonitor());
    EXPECT_TRUE(p.NormalModeBytes().empty());
    EXPECT_EQ(p.GetCounters().noiseBytes, 5u);
    EXPECT_EQ(Ask(p, {0x18, 0x1B, 0x76}), ByteArray{0x00});
    Ask(p, {0x1D, 0x55, 0x4D});
    EXPECT_TRUE(p.InMonitor());
    EXPECT_TRUE(Ask(p, Request(0, 0x41)).empty());
    const auto answers = Answers(Ask(p, Request(0, 0x41), Serial(115200)));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_TRUE(answers[0].code == 0x00 && answers[0].sequence == 0);
}

}  // namespace
}  // namespace carillon::sim
