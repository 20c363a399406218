#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "sim/FlashLayout.h"

namespace carillon::sim {
namespace {

using testing::Cat;
using testing::Le16;
using testing::MonitorBench;

PrinterConfig WithFaults(const Faults& f) {
    PrinterConfig c;
    c.image = ImageKind::kEmptyTables;
    c.faults = f;
    return c;
}

TEST(FaultDrop, LosesEveryNthAnswerWhileTheCounterRunsOn) {
    Faults f;
    f.drop.everyNth = 2;
    MonitorBench m(WithFaults(f));
    EXPECT_EQ(m.Send(0x41).size(), 1u);
    EXPECT_TRUE(m.Send(0x41).empty());
    const auto third = m.Send(0x41);
    ASSERT_EQ(third.size(), 1u);
    EXPECT_EQ(third[0].sequence, 2);  // the lost answer had number 1
    EXPECT_EQ(m.printer.GetCounters().dropped, 1u);
}

TEST(FaultCorrupt, ChangesOneByteSoThatTheCrcFails) {
    Faults f;
    f.corrupt.everyNth = 1;
    MonitorBench m(WithFaults(f));
    for (int i = 0; i < 20; ++i) {
        const auto a = m.Send(0x41);
        ASSERT_EQ(a.size(), 1u);
        EXPECT_FALSE(a[0].crcOk);
    }
}

TEST(FaultWrongSequence, SkipsANumberAndTheNextAnswerFollowsIt) {
    Faults f;
    f.wrongSequence.everyNth = 2;
    MonitorBench m(WithFaults(f));
    EXPECT_EQ(m.Send(0x41)[0].sequence, 0);
    EXPECT_EQ(m.Send(0x41)[0].sequence, 2);
    EXPECT_EQ(m.Send(0x41)[0].sequence, 3);
}

TEST(FaultRefuse, AnswersWithTheChosenFlagsAndDoesNothing) {
    Faults f;
    f.refuse.everyNth = 1;
    f.refuse.commands = "BD";
    f.refuseFlags = 0x21;
    MonitorBench m(WithFaults(f));
    m.printer.StoreFlash(kLocMcu, 0x9000, {0x00});
    const auto erase = m.Send(0x42, Le16(0x9000));
    EXPECT_EQ(erase[0].code, 0xFF);
    EXPECT_EQ(erase[0].data[0], 0x21);
    EXPECT_EQ(m.printer.ReadFlash(kLocMcu, 0x9000, 1), ByteArray{0x00});
    // A refused write still takes its data, then answers once.
    EXPECT_TRUE(m.Send(0x44, Cat({Le16(0xA000), Le16(4), {0x61}})).empty());
    const auto answer = m.Send(0x61, {1, 2, 3, 4});
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0].data[0], 0x21);
    EXPECT_EQ(m.printer.ReadFlash(kLocMcu, 0xA000, 4), (ByteArray{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(m.Send(0x41)[0].code, 0x00);  // other commands are not touched
}

TEST(FaultBrownOut, StopsAfterKUnitsUnansweredAndTheWriteAddressLetsThePcResume) {
    Faults f;
    f.brownOut.everyNth = 1;
    f.brownOut.commands = "D";
    f.brownOutUnits = 50;
    MonitorBench m(WithFaults(f));
    ByteArray data(200);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    EXPECT_TRUE(m.Send(0x44, Cat({Le16(0x9000), Le16(200), {0x61}})).empty());
    EXPECT_TRUE(m.Send(0x61, data).empty());
    const auto info = m.Send(0x41)[0].data;
    EXPECT_EQ(ByteArray(info.begin() + 2, info.begin() + 4), Le16(0x9000 + 50));
    EXPECT_EQ(m.printer.ReadFlash(kLocMcu, 0x9000, 51), Cat({ByteArray(data.begin(), data.begin() + 50), {0xFF}}));
    // The next chunk continues at the write address.
    EXPECT_TRUE(m.Send(0x46, Le16(150)).empty());
    EXPECT_EQ(m.Send(0x61, ByteArray(data.begin() + 50, data.end()))[0].code, 0x00);
    EXPECT_EQ(m.printer.ReadFlash(kLocMcu, 0x9000, 200), data);
}

TEST(FaultSilent, PrinterOffTakesNothingInAndCanBeSwitchedAtRunTime) {
    MonitorBench m(WithFaults({}));
    m.printer.SetSilent(true);
    EXPECT_TRUE(m.Send(0x41).empty());
    EXPECT_TRUE(m.printer.Requests().empty());
    m.printer.SetSilent(false);
    EXPECT_EQ(m.Send(0x41).size(), 1u);
}

TEST(FaultSilent, APrinterSetToFallSilentAnswersThatManyRequestsThenNothing) {
    Faults f;
    f.silentAfterRequests = 3;
    MonitorBench m(WithFaults(f));
    EXPECT_EQ(m.Send(0x41).size(), 1u);
    EXPECT_EQ(m.Send(0x41).size(), 1u);
    EXPECT_EQ(m.Send(0x41).size(), 1u);  // the third is still answered
    EXPECT_TRUE(m.Send(0x41).empty());
    EXPECT_TRUE(m.printer.GetFaults().silent);
    EXPECT_EQ(m.printer.GetCounters().requests, 3u);
    m.printer.SetFaults({});  // switched on again
    EXPECT_EQ(m.Send(0x41).size(), 1u);
}

TEST(FaultRandom, SameSeedSameFaultsAndRoughlyTheFraction) {
    Faults f;
    f.drop.fraction = 0.5;
    f.seed = 42;
    const auto pattern = [&](const Faults& faults) {
        MonitorBench m(WithFaults(faults));
        std::string dropped;
        for (int i = 0; i < 200; ++i) dropped += m.Send(0x41).empty() ? 'x' : '.';
        return dropped;
    };
    const std::string a = pattern(f), b = pattern(f);
    EXPECT_EQ(a, b);
    const auto n = std::count(a.begin(), a.end(), 'x');
    EXPECT_GT(n, 60);
    EXPECT_LT(n, 140);
    f.seed = 43;
    EXPECT_NE(pattern(f), a);
}

TEST(FaultSettings, ChangedMidSessionRestartTheirCount) {
    MonitorBench m(WithFaults({}));
    EXPECT_EQ(m.Send(0x41).size(), 1u);
    Faults f;
    f.drop.everyNth = 1;
    f.drop.commands = "A";
    m.printer.SetFaults(f);
    EXPECT_TRUE(m.Send(0x41).empty());
    EXPECT_EQ(m.Send(0x43, Cat({Le16(0x9000), Le16(1)})).size(), 1u);
    EXPECT_EQ(m.printer.GetFaults().drop.everyNth, 1u);
}

}  // namespace
}  // namespace carillon::sim
