#include <gtest/gtest.h>

#include <functional>

#include "SimTestSupport.h"
#include "sim/FlashLayout.h"
#include "support/SimPrinter.h"

namespace carillon::sim {
namespace {

using testing::Cat;
using testing::Le16;
using testing::MonitorBench;

PrinterConfig WithFaults(const std::function<void(Faults&)>& set) {
    PrinterConfig c;
    c.image = ImageKind::kEmptyTables;
    set(c.faults);
    return c;
}

// Per request, the numbers of the answers seen: "-" none, "x" a failing CRC.
std::string Seen(MonitorBench& m, int requests) {
    std::string seen;
    for (int i = 0; i < requests; ++i) {
        const auto answers = m.Send(0x41);
        seen += seen.empty() ? "" : " ";
        if (answers.empty()) seen += "-";
        for (const Packet& a : answers) seen += a.crcOk ? std::to_string(a.sequence) : "x";
    }
    return seen;
}

TEST(Faults, EachHappensWhereItIsSetAndTheCountersTellWhich) {
    const struct {
        const char* what;
        void (*set)(Faults&);
        std::string seen;        // four info requests
        std::size_t logged;      // requests the printer heard
        bool inMonitor = true;
    } cases[] = {
        {"lost answer: the counter runs on", [](Faults& f) { f.drop.everyNth = 2; }, "0 - 2 -", 4},
        {"damaged answer", [](Faults& f) { f.corrupt.everyNth = 1; }, "x x x x", 4},
        {"skipped number: the next follows it", [](Faults& f) { f.wrongSequence.everyNth = 2; }, "0 2 3 5", 4},
        {"lost request: never heard", [](Faults& f) { f.requestLoss.everyNth = 2; }, "0 - 1 -", 2},
        {"damaged request: heard, not answered", [](Faults& f) { f.requestDamage.onlyNth = 2; }, "0 - 1 2", 4},
        {"repeated request: answered twice", [](Faults& f) { f.requestDuplicate.everyNth = 2; }, "0 12 3 45", 6},
        {"power cut: back in normal mode", [](Faults& f) { f.powerCutAtRequest = 2; }, "0 - - -", 2, false},
        {"switched off", [](Faults& f) { f.silent = true; }, "- - - -", 0},
        {"falls silent after two", [](Faults& f) { f.silentAfterRequests = 2; }, "0 1 - -", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MonitorBench m(WithFaults(c.set));
        EXPECT_EQ(Seen(m, 4), c.seen);
        EXPECT_EQ(m.printer.Requests().size(), c.logged);
        EXPECT_EQ(m.printer.InMonitor(), c.inMonitor);
    }
}

TEST(Faults, ADataPacketDeliveredTwiceIsProgrammedOnce) {
    MonitorBench m(WithFaults([](Faults& f) { f.requestDuplicate = {.everyNth = 1, .commands = "a"}; }));
    EXPECT_TRUE(m.Send(0x44, Cat({Le16(0x9000), Le16(8), {0x61}})).empty());
    EXPECT_TRUE(m.Send(0x61, {1, 2, 3, 4}).empty());
    EXPECT_EQ(m.Send(0x61, {5, 6, 7, 8}).at(0).code, 0x00);
    EXPECT_EQ(m.printer.ReadFlash(kLocMcu, 0x9000, 9), (ByteArray{1, 2, 3, 4, 5, 6, 7, 8, 0xFF}));
    EXPECT_EQ(m.printer.GetCounters().duplicatesIgnored, 2u);
}

TEST(Faults, ARefusalAnswersWithTheChosenFlagsAndDoesNothing) {
    MonitorBench m(WithFaults([](Faults& f) {
        f.refuse = {.everyNth = 1, .commands = "BD"};
        f.refuseFlags = 0x21;
    }));
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

TEST(Faults, ABrownOutStopsAfterKUnitsUnansweredAndTheWriteAddressLetsThePcResume) {
    MonitorBench m(WithFaults([](Faults& f) {
        f.brownOut = {.everyNth = 1, .commands = "D"};
        f.brownOutUnits = 50;
    }));
    const ByteArray data = carillon::testing::Pattern(200);
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

TEST(Faults, SameSeedSameFaultsAndRoughlyTheFraction) {
    const auto pattern = [](std::uint64_t seed) {
        MonitorBench m(WithFaults([seed](Faults& f) { f.drop.fraction = 0.5; f.seed = seed; }));
        std::string dropped;
        for (int i = 0; i < 200; ++i) dropped += m.Send(0x41).empty() ? 'x' : '.';
        return dropped;
    };
    const std::string a = pattern(42);
    EXPECT_EQ(pattern(42), a);
    const auto n = std::count(a.begin(), a.end(), 'x');
    EXPECT_TRUE(n > 60 && n < 140) << n;
    EXPECT_NE(pattern(43), a);
}

}  // namespace
}  // namespace carillon::sim
