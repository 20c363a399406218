#include <atomic>
#include <chrono>
#include <thread>

#include "engine/EngineFixture.h"
#include "support/PortTestHelpers.h"

namespace carillon {
namespace {

using namespace std::chrono_literals;

void WaitIdle(CCommandGenerator& engine) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (engine.m_command != kCommandIdle && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(engine.m_command, kCommandIdle);
}

TEST(CommandGenerator, TheWorkerIsRunningAndIdleWhenConstructionReturns) {
    CCommandGenerator engine;
    EXPECT_EQ(engine.m_command, kCommandIdle);
    EXPECT_EQ(engine.m_lastError, kOk);
    std::uint8_t version[2] = {0, 0};
    engine.GetMonitorVersion(version);
    EXPECT_EQ(version[0], 0xFF);
    EXPECT_EQ(version[1], 0xFF);
    engine.GetStatus(nullptr);  // nothing to fill, nothing happens
    GeneratorStatus status;
    engine.GetStatus(&status);
    EXPECT_EQ(status.step, kStepIdle);
    EXPECT_EQ(status.text, "Initializing...");
}

TEST(CommandGenerator, ASecondPostWhileBusyIsRefusedAndTheFirstRunsToItsEnd) {
    testing::SimPrinter printer;  // normal mode: connecting without waking fails after its attempts
    CCommandGenerator engine;
    engine.m_session.m_timing = MonitorTiming{}.Scaled(0.1);
    engine.PostConnect(&printer.port, 0, 0);
    EXPECT_EQ(engine.m_lastError, kOk);
    engine.PostReadFileTables();
    EXPECT_EQ(engine.m_lastError, 0x00030023u);
    EXPECT_NE(engine.m_command, kCommandIdle);
    WaitIdle(engine);
    EXPECT_EQ(engine.m_lastError, 0x00010010u);  // the connect's own result
    EXPECT_EQ(engine.StatusText(), "Connecting...");
}

TEST(CommandGenerator, ConnectingTellsTheListWhichFamilyItServesEvenFromANewerMonitor) {
    testing::SimPrinter kiosk(testing::InMonitor(sim::Family::kKiosk));
    CCommandGenerator engine;
    engine.m_session.m_timing = MonitorTiming{}.Scaled(0.1);
    engine.PostConnect(&kiosk.port, 1, 0);  // accepted at once: the mailbox is open
    EXPECT_EQ(engine.m_lastError, kOk);
    WaitIdle(engine);
    EXPECT_EQ(engine.m_lastError, kOk);
    EXPECT_EQ(engine.m_elements.m_archi, kArchiKiosk);
    std::uint8_t version[2];
    engine.GetMonitorVersion(version);
    EXPECT_EQ(version[0], 0x85);
    EXPECT_EQ(version[1], 0x01);

    sim::PrinterConfig config = testing::InMonitor();
    config.monitorVersion = 0x07;
    testing::SimPrinter newer(config);
    CCommandGenerator other;
    EXPECT_EQ(other.DoConnect(&newer.port, 1, 0), 0x0002000Bu);
    EXPECT_EQ(other.m_elements.m_archi, kArchiNdx);
    EXPECT_TRUE(other.m_session.m_connected);
}

TEST(CommandGenerator, DestroyingTheEngineWaitsForARunningSave) {
    sim::PrinterConfig config;
    config.startInMonitor = true;
    config.image = sim::ImageKind::kEmptyTables;
    testing::SimPrinter printer(config);
    std::atomic<bool> saving{false};
    {
        CCommandGenerator engine;
        ASSERT_EQ(engine.DoConnect(&printer.port, 1, 0), kOk);
        ASSERT_EQ(engine.DoReadFileTables(), kOk);
        auto e = std::make_unique<CElement>();
        e->m_strName = "data";
        e->m_type = kTypeData;
        e->m_location = kMcuFlash;
        e->m_archi = kArchiNdx;
        e->m_cryptMode = kNotCrypted;
        e->m_size = 0x800;
        e->m_pData.reset(new std::uint8_t[0x800]());
        engine.m_elements.Add(std::move(e));
        // The save's first frame is held until the destructor has begun.
        printer.printer.SetTrace([&](const std::string&) {
            if (!saving.exchange(true)) testing::WaitUntil([&] { return engine.m_stop != 0; }, 20s);
        });
        engine.PostSave(1);
        ASSERT_TRUE(testing::WaitUntil([&] { return saving.load(); }, 20s));
    }
    printer.printer.SetTrace(nullptr);
    // The save finished: the MCU table lists the new element.
    bool listed = false;
    for (const auto& entry : printer.printer.FileTable(kMcuFlash).files) listed |= entry.name == "data";
    EXPECT_TRUE(listed);
}

using CommandGeneratorStatus = testing::EngineTest;

TEST_F(CommandGeneratorStatus, CountsTheSavedElementsReadFromTheTablesOfPresentLocations) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kOldFirmware));
    for (int read = 0; read < 2; ++read) ASSERT_EQ(engine.DoReadFileTables(), kOk);  // replaces, never duplicates
    for (const auto& e : engine.m_elements.Elements()) {
        EXPECT_EQ(e->m_archi, kArchiNdx);
        EXPECT_NE(e->m_address, -1);
    }
    EXPECT_EQ(engine.m_elements.m_tableRead, (std::array<std::uint32_t, 4>{1, 1, 0, 0}));
    EXPECT_EQ(engine.m_geometryValid, (std::array<std::uint32_t, 4>{1, 1, 0, 0}));
    Add("kiosk", kTypeData, kKioskFlash, 4).m_saved = 1;  // saved, but no kiosk board on this printer
    engine.m_stepsTotal = 4;
    engine.m_unitsTotal = 10;
    GeneratorStatus status;
    engine.GetStatus(&status);
    EXPECT_EQ(status.elementCount, 7u);
    EXPECT_EQ(status.savedCount, 6u);
    EXPECT_EQ(status.step, kStepReadingTables);
    EXPECT_EQ(status.stepsDone, 4u);  // idle: everything counts as done
    EXPECT_EQ(status.unitsDone, 10u);
}

TEST(CommandGenerator, ProbingNamesAPrinterInItsMonitorAndLeavesTheTextAloneOtherwise) {
    struct Case {
        bool inMonitor;
        sim::Family family;
        const char* text;
        std::uint32_t archi;
        ErrorCode result;
    };
    for (const Case& c : {Case{true, sim::Family::kNdx, "NDX is in Monitor mode", kArchiNdx, kOk},
                          Case{true, sim::Family::kPlv, "NDX(PLV) is in Monitor mode", kArchiPlv, kOk},
                          Case{true, sim::Family::kKiosk, "KIOSK is in Monitor mode", kArchiKiosk, kOk},
                          Case{false, sim::Family::kNdx, "Searching...", 9, 0x00010010}}) {
        SCOPED_TRACE(c.text);
        sim::PrinterConfig config = testing::InMonitor(c.family);
        config.startInMonitor = c.inMonitor;
        testing::SimPrinter printer(config);
        CCommandGenerator engine;
        engine.m_session.m_timing = MonitorTiming{}.Scaled(0.05);
        std::string text = "Searching...";
        std::uint32_t archi = 9;
        EXPECT_EQ(engine.ProbeMonitorMode(&printer.port, text, &archi), c.result);
        EXPECT_EQ(engine.m_lastError, c.result);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(archi, c.archi);
        EXPECT_FALSE(engine.m_session.m_connected);  // the probe used a session of its own
        EXPECT_TRUE(printer.printer.NormalModeBytes().empty());
    }
}

}  // namespace
}  // namespace carillon
