#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "sim/FlashLayout.h"
#include "support/SimPrinter.h"

namespace carillon::sim {
namespace {

using testing::Cat;
using testing::Le16;
using testing::Le32;
using testing::MonitorBench;
using carillon::testing::Pattern;

PrinterConfig Family(sim::Family family, std::optional<std::uint8_t> version = std::nullopt) {
    PrinterConfig c;
    c.family = family;
    c.monitorVersion = version;
    c.image = ImageKind::kEmptyTables;
    return c;
}

// Sends a write chunk and its data in packets of `packet` bytes; returns every answer seen.
std::vector<Packet> WriteChunk(MonitorBench& m, std::uint8_t command, const ByteArray& head, const ByteArray& data,
                               std::size_t packet = 200, std::uint8_t dataCode = 0x61) {
    std::vector<Packet> answers = m.Send(command, head);
    for (std::size_t at = 0; at < data.size(); at += packet) {
        const auto part = m.Send(dataCode, ByteArray(data.begin() + at, data.begin() + std::min(data.size(), at + packet)));
        answers.insert(answers.end(), part.begin(), part.end());
    }
    return answers;
}

// An unknown command gets ANS_FAILURE, which counts in the printer's own
// answer counter like any answer.
TEST(MonitorFailure, PayloadIsFourBytesForPlainMonitorsAndTenForExtended) {
    MonitorBench plain(Family(Family::kNdx));
    plain.sequence = 0x37;  // the PC's counter does not matter
    EXPECT_EQ(plain.Send(0x41)[0].sequence, 0);
    auto a = plain.Send(0x7E);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].sequence, 1);
    EXPECT_EQ(a[0].code, 0xFF);
    EXPECT_EQ(a[0].data.size(), 4u);
    EXPECT_EQ(a[0].data[0], kFlagUnknownCommand);
    EXPECT_EQ(plain.Send(0x41)[0].sequence, 2);

    MonitorBench extended(Family(Family::kPlv));
    a = extended.Send(0x7E);
    EXPECT_EQ(a[0].data.size(), 10u);
    // KIOSK commands on a printer without a kiosk board.
    EXPECT_EQ(extended.Send(0x4E, Le16(0x1400))[0].data[0], kFlagLocationAbsent);
}

TEST(MonitorWrite, OneChunkOfFivePacketsGetsOneAnswerAfterItsLastUnitAndTheNextContinuesThere) {
    MonitorBench m(Family(Family::kNdx));
    const ByteArray data = Pattern(1200, 3);
    m.Send(0x42, Le16(0x9000));  // erase; sectors there are erased already
    m.printer.ClearLogs();
    std::vector<Packet> answers = m.Send(0x44, Cat({Le16(0x9000), Le16(1000), {0x62}}));
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(answers.empty()) << "answer before the data was complete";
        answers = m.Send(0x62, ByteArray(data.begin() + i * 200, data.begin() + (i + 1) * 200));
    }
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].code, 0x00);
    EXPECT_EQ(m.printer.Requests().size(), 6u);  // the data packets are logged too
    EXPECT_EQ(m.printer.WriteAddress(kLocMcu), 0x9000u + 1000);
    // Crypted data (0x62) is stored as received.
    EXPECT_EQ(WriteChunk(m, 0x46, Le16(200), ByteArray(data.begin() + 1000, data.end()), 200, 0x62).size(), 1u);
    EXPECT_EQ(m.printer.ReadFlash(kLocMcu, 0x9000, 1200), data);
}

TEST(MonitorWrite, DspCountsWordsAndReportsItsWriteAddressInTheInfo) {
    MonitorBench m(Family(Family::kNdx));
    const ByteArray data = Pattern(0x200, 1);
    const auto answers = WriteChunk(m, 0x4B, Cat({Le32(0x10000), Le16(0x100), {0x61}}), data);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].code, 0x00);
    EXPECT_EQ(m.printer.ReadFlash(kLocDsp, 0x10000, 0x100), data);
    const auto info = m.Send(0x41)[0].data;
    EXPECT_EQ(ByteArray(info.begin() + 4, info.begin() + 8), Le32(0x10100));
}

TEST(MonitorNor, WriteOverBytesNotErasedIsRefusedWhereItStopsUntilTheSectorIsErased) {
    MonitorBench m(Family(Family::kNdx));
    m.printer.StoreFlash(kLocMcu, 0x9010, {0x00});
    const auto a = WriteChunk(m, 0x44, Cat({Le16(0x9000), Le16(32), {0x61}}), Pattern(32, 0));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].code, 0xFF);
    EXPECT_EQ(a[0].data[0], kFlagNotErased);
    EXPECT_EQ(m.printer.WriteAddress(kLocMcu), 0x9010u);  // 16 units went in
    // After an erase the same write goes through; only a sector's start names the sector.
    const std::size_t sector = 7 + (0x9000 - 0x1A00) / 0x200;
    EXPECT_EQ(m.Send(0x42, Le16(0x9001))[0].data[0], kFlagBadRequest);
    EXPECT_EQ(m.Send(0x49, Le32(0x100000))[0].data[0], kFlagOutOfRange);
    EXPECT_EQ(m.Send(0x42, Le16(0x182C))[0].code, 0x00);
    EXPECT_EQ(m.Send(0x42, Le16(0x9000))[0].code, 0x00);
    EXPECT_TRUE(m.printer.SectorMap(kLocMcu)[sector].erased);
    EXPECT_EQ(WriteChunk(m, 0x44, Cat({Le16(0x9000), Le16(32), {0x61}}), Pattern(32, 0))[0].code, 0x00);
}

TEST(MonitorNor, PermissiveFlashOnlyClearsBits) {
    PrinterConfig c = Family(Family::kNdx);
    c.strictNor = false;
    MonitorBench m(c);
    m.printer.StoreFlash(kLocMcu, 0x9000, {0xF0, 0x0F});
    EXPECT_EQ(WriteChunk(m, 0x44, Cat({Le16(0x9000), Le16(2), {0x61}}), {0x3C, 0x3C})[0].code, 0x00);
    EXPECT_EQ(m.printer.ReadFlash(kLocMcu, 0x9000, 2), (ByteArray{0x30, 0x0C}));
}

TEST(MonitorBlankCheck, NotBlankIsAFailureWithFlagsZero) {
    MonitorBench m(Family(Family::kNdx));
    EXPECT_EQ(m.Send(0x43, Cat({Le16(0x9000), Le16(0x100)}))[0].code, 0x00);
    m.printer.StoreFlash(kLocMcu, 0x90FF, {0xFE});
    const auto a = m.Send(0x43, Cat({Le16(0x9000), Le16(0x100)}));
    EXPECT_EQ(a[0].code, 0xFF);
    EXPECT_EQ(a[0].data[0], 0x00);
    EXPECT_EQ(m.Send(0x43, Cat({Le16(0xFF00), Le16(0x101)}))[0].data[0], kFlagOutOfRange);
    EXPECT_EQ(m.Send(0x4A, Cat({Le32(0x1000), Le16(0x10)}))[0].code, 0x00);
}

}  // namespace
}  // namespace carillon::sim
