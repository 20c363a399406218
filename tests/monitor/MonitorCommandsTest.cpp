#include <gtest/gtest.h>

#include <algorithm>

#include "monitor/MonitorSession.h"
#include "package/Element.h"
#include "support/RecordingMessageBoxProvider.h"
#include "support/SimPrinter.h"

namespace carillon {
namespace {

using testing::Le16;
using testing::Pattern;
using testing::SimPrinter;

sim::PrinterConfig BlankPrinter() {
    sim::PrinterConfig c;
    c.startInMonitor = true;
    c.image = sim::ImageKind::kBlank;
    return c;
}

class MonitorCommandsTest : public ::testing::Test {
protected:
    // Connects to a new printer, letting go of the one before.
    SimPrinter& Start(const sim::PrinterConfig& config, bool usb = false, double timeScale = 0.05) {
        session.Disconnect();
        printer_ = std::make_unique<SimPrinter>(config, usb);
        session.m_timing = MonitorTiming{}.Scaled(timeScale);
        EXPECT_EQ(session.Connect(&printer_->port, false, 0), kOk);
        printer_->printer.ClearLogs();
        return *printer_;
    }
    std::unique_ptr<SimPrinter> printer_;  // outlives the session, which borrows its port
    CMonitorSession session;
};

// Each chunk is one write request and one answer; a chunk's data goes in
// packets that fit the frame, and over a serial line a chunk is one packet.
TEST_F(MonitorCommandsTest, WritesGoInChunksOfFittingPacketsWithOneAnswerEach) {
    struct Case {
        const char* what;
        bool usb;
        int maxPacket;
        std::int32_t location, crypt;
        std::uint32_t address, units;
        ByteArray firstRequest;  // its last byte is the data packets' code
        const char* chunkCodes;  // the first and the next chunk's commands
        std::size_t chunks, packetLimit;
    };
    const Case cases[] = {
        {"USB: the whole write in one chunk", true, 200, kMcuFlash, kNotCrypted, 0x2000, 1000,
         {0x00, 0x20, 0xE8, 0x03, 'a'}, "DF", 1, 200},
        {"serial: one packet per chunk", false, 200, kMcuFlash, kCodeCrypted, 0x2000, 1000, {0x00, 0x20, 200, 0, 'b'},
         "DF", 5, 200},
        {"serial: packets fit the frame whatever the monitor announces", false, 255, kMcuFlash, kNotCrypted, 0x2000,
         1000, {0x00, 0x20, 0xFB, 0, 'a'}, "DF", 4, 251},
        {"DSP: lengths count words, two bytes each", true, 200, kDspFlash, kFontCrypted, 0x40000, 0x100,
         {0x00, 0x00, 0x04, 0x00, 0x00, 0x01, 'c'}, "KM", 1, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto config = BlankPrinter();
        config.maxPacket = c.maxPacket;
        SimPrinter& p = Start(config, c.usb);
        const std::uint32_t bytes = c.units * (c.location == kDspFlash ? 2 : 1);
        const ByteArray data = Pattern(bytes, 2);
        const auto answersBefore = p.printer.GetCounters().answers;
        ASSERT_EQ(session.WriteFlash(c.location, c.crypt, c.address, c.units, data.data(), nullptr, 0, 10), kOk);
        EXPECT_EQ(session.m_progressDone, c.units);
        const auto chunks = p.Requests(c.chunkCodes);
        ASSERT_EQ(chunks.size(), c.chunks);
        EXPECT_EQ(chunks[0].data, c.firstRequest);
        EXPECT_EQ(p.printer.GetCounters().answers - answersBefore, c.chunks);
        std::size_t sent = 0;
        for (const auto& packet : p.Requests(std::string(1, char(c.firstRequest.back())))) {
            EXPECT_LE(packet.data.size(), c.packetLimit);
            sent += packet.data.size();
        }
        EXPECT_EQ(sent, bytes);
        EXPECT_EQ(p.printer.ReadFlash(c.location, c.address, c.units), data);
    }
}

// After a short chunk the next one names its address and the limit drops to
// what was taken. Neither a monitor that keeps taking nothing nor one that
// refuses to program bytes that are not erased is worth a box: the write
// ends, nothing counted.
TEST_F(MonitorCommandsTest, AShortWriteResumesWhereTheMonitorStoppedAndOneThatNeverGetsThroughEnds) {
    testing::RecordingMessageBoxProvider boxes;
    auto config = BlankPrinter();
    config.faults.brownOut = {.everyNth = 1, .fraction = 0, .commands = "D"};
    config.faults.brownOutUnits = 100;
    SimPrinter& p = Start(config, true);
    const ByteArray data = Pattern(1000, 4), other = Pattern(300, 7);
    std::uint32_t written = 0;
    ASSERT_EQ(session.WriteFlash(kMcuFlash, kNotCrypted, 0x3000, 1000, data.data(), &written, 0, 10), kOk);
    EXPECT_EQ(written, 1000u);
    const auto chunks = p.Requests("DF");
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(Le16(chunks[0].data, 2), 1000u);
    EXPECT_EQ(chunks[1].code, 'D');
    EXPECT_EQ(Le16(chunks[1].data, 0), 0x3000u + 100u);
    EXPECT_EQ(Le16(chunks[1].data, 2), 100u);
    EXPECT_EQ(chunks[2].code, 'F');
    EXPECT_EQ(Le16(chunks[2].data, 0), 800u);
    EXPECT_EQ(p.printer.ReadFlash(kMcuFlash, 0x3000, 1000), data);

    config.faults.brownOut.commands = "DF";
    config.faults.brownOutUnits = 0;
    p.printer.SetFaults(config.faults);
    p.printer.ClearLogs();
    EXPECT_EQ(session.WriteFlash(kMcuFlash, kNotCrypted, 0x5000, 300, data.data(), &written, 0, 2), 0x00030014u);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(p.Requests("DF").size(), 3u);
    EXPECT_EQ(session.m_operation, kOpIdle);
    p.printer.SetFaults(sim::Faults{});
    written = 7;
    EXPECT_EQ(session.WriteFlash(kMcuFlash, kNotCrypted, 0x3000, 300, other.data(), &written, 0, 1), 0x00030014u);
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(MonitorCommandsTest, BlankCheckAndARefusedEraseThatIsRepeated) {
    SimPrinter& p = Start(BlankPrinter());
    EXPECT_EQ(session.BlankCheck(kMcuFlash, 0x2000, 0x200), kOk);
    const ByteArray data = Pattern(16);
    ASSERT_EQ(session.WriteFlash(kMcuFlash, kNotCrypted, 0x2010, 16, data.data(), nullptr, 0, 10), kOk);
    p.printer.ClearLogs();
    EXPECT_EQ(session.BlankCheck(kMcuFlash, 0x2000, 0x200), 0x00020001u);
    ASSERT_EQ(p.Requests("C").size(), 1u);  // "not blank" is an answer, not a failure to retry
    EXPECT_EQ(p.Requests("C")[0].data, (ByteArray{0x00, 0x20, 0x00, 0x02}));
    sim::Faults refuseFirstErase;
    refuseFirstErase.refuse = {.onlyNth = 1, .commands = "B"};
    refuseFirstErase.refuseFlags = 0x10;
    p.printer.SetFaults(refuseFirstErase);
    ASSERT_EQ(session.EraseSector(kMcuFlash, 0x2000), kOk);
    EXPECT_EQ(p.Requests("B").size(), 2u);
    EXPECT_EQ(session.BlankCheck(kMcuFlash, 0x2000, 0x200), kOk);
    EXPECT_EQ(p.printer.ReadFlash(kMcuFlash, 0x2010, 16), ByteArray(16, 0xFF));
}

TEST_F(MonitorCommandsTest, ALostFirstChunkRequestNeverLetsAStaleWriteAddressPlaceData) {
    struct Case {
        const char* name;
        std::uint32_t before, beforeLength;  // an earlier write, where the monitor's write address is left
        bool eraseBetween;                   // the earlier write's sector erased again, as for a retried element
        std::uint32_t address, length;       // the write whose first request is lost
    };
    const Case cases[] = {
        {"the next chunks would follow the stale address", 0x2000, 10, false, 0x3000, 400},
        {"the stale address would count the chunk as written", 0x3000, 200, true, 0x3000, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto config = BlankPrinter();
        config.faults.requestLoss = {.everyNth = 0, .onlyNth = 2, .fraction = 0, .commands = "D"};
        SimPrinter& p = Start(config);
        const ByteArray earlier = Pattern(c.beforeLength, 9), data = Pattern(c.length, 3);
        ASSERT_EQ(session.WriteFlash(kMcuFlash, kNotCrypted, c.before, c.beforeLength, earlier.data(), nullptr, 0, 10),
                  kOk);
        if (c.eraseBetween) {
            ASSERT_EQ(session.EraseSector(kMcuFlash, c.before & ~0x1FFu), kOk);
        }
        std::uint32_t written = 0;
        ASSERT_EQ(session.WriteFlash(kMcuFlash, kNotCrypted, c.address, c.length, data.data(), &written, 0, 10), kOk);
        EXPECT_EQ(p.printer.GetCounters().requestsLost, 1u);
        EXPECT_EQ(p.printer.ReadFlash(kMcuFlash, c.address, c.length), data);
        if (!c.eraseBetween) {
            EXPECT_EQ(p.printer.ReadFlash(kMcuFlash, c.before, c.beforeLength), earlier);
        }
    }
}

// The first answer is lost: the retry asks for what remains, not for a
// largest packet, which would run past the destination.
TEST_F(MonitorCommandsTest, ReadsComeInPacketsAndARetryStaysInsideTheRange) {
    SimPrinter& p = Start(BlankPrinter());
    const ByteArray data = Pattern(0x100, 5);
    p.printer.StoreFlash(kDspFlash, 0x7F80, data);
    p.printer.StoreFlash(kDspFlash, 0x8000, Pattern(0x400, 7));  // what lies beyond the range
    sim::Faults loseFirstRead;
    loseFirstRead.drop = {.onlyNth = 1, .commands = "L"};
    p.printer.SetFaults(loseFirstRead);
    constexpr std::uint8_t kCanary = 0xA5;
    ByteArray back(0x100 + 0x400, kCanary);
    const auto answersBefore = p.printer.GetCounters().answers;
    ASSERT_EQ(session.ReadFlash(kDspFlash, 0x7F80, 0x80, back.data(), 0), kOk);
    EXPECT_EQ(ByteArray(back.begin(), back.begin() + 0x100), data);
    EXPECT_EQ(std::count(back.begin() + 0x100, back.end(), kCanary), 0x400);
    const auto reads = p.Requests("L");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[1].data, (ByteArray{0x80, 0x7F, 0x00, 0x00, 0x80, 0x00}));
    EXPECT_EQ(p.printer.GetCounters().answers - answersBefore, 4u);  // 200 bytes, then 56, twice
    EXPECT_EQ(session.m_progressDone, 0x80u);
}

// A short answer names the chip alone; a full one gives every sector's size
// and the table sector. The board's fixed map is the geometry's own test.
TEST_F(MonitorCommandsTest, DspGeometryFromTheChipOrFromEverySector) {
    struct Case {
        const char* what;
        bool shortGeometry;
        std::uint8_t manufacturer, device, tableSector;
        ErrorCode result;
        std::uint8_t sectors;
        std::uint16_t first, fifth;
    };
    for (const Case& c : {Case{"chip ids, top boot", true, 0x01, 0xC4, 0, kOk, 35, 0x8000, 0x8000},
                          Case{"full answer, bottom boot", false, 0x20, 0x49, 4, kOk, 35, 0x2000, 0x8000},
                          Case{"an unknown chip", true, 0x01, 0x77, 0, 0x00020017, 0, 0, 0}}) {
        SCOPED_TRACE(c.what);
        auto config = BlankPrinter();
        config.shortGeometry = c.shortGeometry;
        config.dspManufacturer = c.manufacturer;
        config.dspDevice = c.device;
        config.dspTableSector = c.tableSector;
        SimPrinter& p = Start(config);
        FlashGeometry g;
        g.tableSector = 9;
        ASSERT_EQ(session.GetGeometry(kDspFlash, g), c.result);
        if (c.result != kOk) continue;
        EXPECT_EQ(p.Requests("H").size(), 1u);
        EXPECT_EQ(g.manufacturerId, c.manufacturer);
        EXPECT_EQ(g.deviceId, c.device);
        EXPECT_EQ(g.sectorCount, c.sectors);
        EXPECT_EQ(g.tableSector, c.tableSector);
        EXPECT_EQ(g.sectorSize[0], c.first);
        EXPECT_EQ(g.sectorSize[4], c.fifth);
    }
}

TEST_F(MonitorCommandsTest, RequestsOutsideWhatTheMonitorTakesOrToASilentPrinterFail) {
    SimPrinter& p = Start(BlankPrinter());
    const ByteArray data = Pattern(8);
    FlashGeometry g;
    EXPECT_EQ(session.GetGeometry(kKioskFlash, g), 0x00020013u);
    EXPECT_EQ(session.BlankCheck(kI2cFlash, 0, 4), 0x00020013u);
    EXPECT_EQ(session.EraseSector(kKioskFlash, 0x2000), 0x00020013u);
    EXPECT_EQ(session.EraseSector(kMcuFlash, 0x10000), 0x00020008u);
    EXPECT_EQ(session.WriteFlash(kI2cFlash, kNotCrypted, 0, 8, data.data(), nullptr, 0, 10), 0x00020014u);
    EXPECT_EQ(session.WriteFlash(kMcuFlash, 3, 0x2000, 8, data.data(), nullptr, 0, 10), 0x00020015u);
    EXPECT_EQ(session.WriteFlash(kMcuFlash, kNotCrypted, 0x2000, 8, data.data(), nullptr, 201, 10), 0x00020016u);
    EXPECT_EQ(session.WriteChunk('E', 'a', 0x2000, 8, data.data(), nullptr, 0), 0x00020009u);
    EXPECT_EQ(session.WriteChunk('D', 'x', 0x2000, 8, data.data(), nullptr, 0), 0x00020011u);
    // A monitor that takes no data in its packets: refused rather than looping for ever.
    session.m_maxPacket = 0;
    ByteArray back(8);
    EXPECT_EQ(session.ReadFlash(kMcuFlash, 0x2000, 8, back.data(), 0), kErrMonPacketSize);
    EXPECT_EQ(session.WriteFlash(kMcuFlash, kNotCrypted, 0x2000, 8, data.data(), nullptr, 0, 10), kErrMonPacketSize);
    EXPECT_EQ(session.ReadFlash(kMcuFlash, 0x2000, 0, back.data(), 0), kOk);  // nothing asked, nothing due
    EXPECT_TRUE(p.Requests("BCDEFHL").empty());
    // A silent printer ends each request with the port's code, a write with too many errors.
    session.m_maxPacket = 200;
    session.m_retries = 2;
    session.m_timing = MonitorTiming{}.Scaled(0.01);
    p.printer.SetSilent(true);
    EXPECT_EQ(session.ReadFlash(kMcuFlash, 0x2000, 8, back.data(), 0), 0x00010010u);
    EXPECT_EQ(session.EraseSector(kMcuFlash, 0x2000), 0x00010010u);
    EXPECT_EQ(session.BlankCheck(kMcuFlash, 0x2000, 8), 0x00010010u);
    EXPECT_EQ(session.WriteFlash(kMcuFlash, kNotCrypted, 0x2000, 8, data.data(), nullptr, 0, 1), 0x00030014u);
    session.Disconnect();
    EXPECT_EQ(session.EraseSector(kMcuFlash, 0x2000), 0x00020003u);
}

}  // namespace
}  // namespace carillon
