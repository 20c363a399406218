#include <atomic>
#include <chrono>

#include "engine/EngineFixture.h"
#include "support/PortTestHelpers.h"

namespace carillon {
namespace {

using namespace std::chrono_literals;

bool WaitIdle(CCommandGenerator& engine) {
    return testing::WaitUntil([&] { return engine.m_command == kCommandIdle; }, 20s);
}

// The constructor returns with the mailbox open; a post while a command runs
// is refused; destroying the engine waits for the running command.
TEST(CommandGenerator, PostsAreTakenAtOnceRefusedWhileBusyAndAwaitedByTheDestructor) {
    sim::PrinterConfig config = testing::InMonitor();
    config.image = sim::ImageKind::kEmptyTables;
    testing::SimPrinter printer(config);
    std::atomic<bool> saving{false};
    {
        CCommandGenerator engine;
        engine.PostConnect(&printer.port, 1, 0);
        EXPECT_EQ(engine.m_lastError, kOk);
        ASSERT_TRUE(WaitIdle(engine));
        ASSERT_EQ(engine.DoReadFileTables(), kOk);
        // Only the parameter areas are new: the rules refuse the save unless forced.
        EXPECT_EQ(engine.DoSave(0), 0x00060007u);
        // The forced save's first frame is held until the destructor has begun.
        printer.printer.SetTrace([&](const std::string&) {
            if (!saving.exchange(true)) testing::WaitUntil([&] { return engine.m_stop != 0; }, 20s);
        });
        engine.PostSave(1);
        ASSERT_TRUE(testing::WaitUntil([&] { return saving.load(); }, 20s));
        engine.PostReadFileTables();
        EXPECT_EQ(engine.m_lastError, 0x00030023u);
    }
    printer.printer.SetTrace(nullptr);
    // The MCU table, written last, lists the parameter area added last.
    const auto files = printer.printer.FileTable(kMcuFlash).files;
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(files.back().name, "Params_Custom_mcu");
}

using CommandGeneratorStatus = testing::EngineTest;

// Reading the tables twice replaces their elements, never duplicates them;
// elements of a location the printer lacks do not count as saved.
TEST_F(CommandGeneratorStatus, CountsTheSavedElementsOfPresentLocationsAndReadsEachBackFromItsAddress) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kOldFirmware));
    for (int read = 0; read < 2; ++read) ASSERT_EQ(engine.DoReadFileTables(), kOk);
    for (const auto& e : engine.m_elements.Elements()) EXPECT_TRUE(e->m_archi == kArchiNdx && e->m_address != -1);
    const CElement& first = *engine.m_elements.Elements().front();
    ASSERT_EQ(engine.DoReadElement(0), kOk);
    EXPECT_EQ(ByteArray(first.m_pData.get(), first.m_pData.get() + first.m_size),
              printer->printer.ReadFlash(first.m_location, static_cast<std::uint32_t>(first.m_address), UnitCount(first)));
    EXPECT_EQ(engine.DoReadElement(99), 0x00030026u);

    Add("kiosk", kTypeData, kKioskFlash, 4, false).m_saved = 1;
    engine.m_stepsTotal = 4;
    engine.m_unitsTotal = 10;
    GeneratorStatus status;
    engine.GetStatus(&status);
    EXPECT_EQ(status.elementCount, 7u);
    EXPECT_EQ(status.savedCount, 6u);
    EXPECT_EQ(status.stepsDone, 4u);  // idle: everything counts as done
    EXPECT_EQ(status.unitsDone, 10u);
    CElement& unplaced = Add("x", kTypeData, kMcuFlash, 4, false);
    EXPECT_EQ(engine.DoReadElement(7), 0x00030022u);
    engine.m_elements.m_tableRead.fill(0);
    unplaced.m_address = 0x2000;
    EXPECT_EQ(engine.DoReadElement(7), 0x00030025u);
}

// Probing names a printer in its monitor with a session of its own;
// connecting tells the list which family it serves, even from a newer monitor.
TEST(CommandGenerator, ProbingAndConnectingLearnTheFamilyOfAPrinterInItsMonitor) {
    struct Case {
        bool inMonitor;
        sim::Family family;
        std::uint8_t version;
        const char* text;
        std::uint32_t archi;
        ErrorCode result;  // of the probe, and of a connect through the mailbox
    };
    for (const Case& c : {Case{true, sim::Family::kNdx, 0x02, "NDX is in Monitor mode", kArchiNdx, kOk},
                          Case{true, sim::Family::kPlv, 0x85, "NDX(PLV) is in Monitor mode", kArchiPlv, kOk},
                          Case{true, sim::Family::kKiosk, 0x85, "KIOSK is in Monitor mode", kArchiKiosk, kOk},
                          Case{true, sim::Family::kNdx, 0x07, "NDX is in Monitor mode", kArchiNdx, 0x0002000B},
                          Case{false, sim::Family::kNdx, 0x02, "Searching...", 9, 0x00010010}}) {
        SCOPED_TRACE(c.version);
        sim::PrinterConfig config = testing::InMonitor(c.family);
        config.startInMonitor = c.inMonitor;
        config.monitorVersion = c.version;
        testing::SimPrinter printer(config);
        CCommandGenerator engine;
        engine.m_session.m_timing = MonitorTiming{}.Scaled(0.05);
        std::string text = "Searching...";
        std::uint32_t archi = 9;
        EXPECT_EQ(engine.ProbeMonitorMode(&printer.port, text, &archi), c.result);
        EXPECT_EQ(engine.m_lastError, c.result);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(archi, c.archi);
        EXPECT_FALSE(engine.m_session.m_connected);
        EXPECT_TRUE(printer.printer.NormalModeBytes().empty());
        if (!c.inMonitor) continue;
        engine.PostConnect(&printer.port, 1, 0);
        ASSERT_TRUE(WaitIdle(engine));
        EXPECT_EQ(engine.m_lastError, c.result);
        EXPECT_EQ(engine.m_elements.m_archi, static_cast<std::int32_t>(c.archi));
    }
}

}  // namespace
}  // namespace carillon
