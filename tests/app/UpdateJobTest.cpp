#include <gtest/gtest.h>

#include <filesystem>

#include "app/ForcedRemoval.h"
#include "app/Thread.h"
#include "errors/ErrorMessages.h"
#include "monitor/PacketRecord.h"
#include "platform/MessageQueue.h"
#include "ports/SerialPortMap.h"
#include "support/PortTestHelpers.h"
#include "support/RecordingMessageBoxProvider.h"
#include "support/SimPrinter.h"
#include "support/UsbDriverModel.h"

namespace carillon {
namespace {

using namespace std::chrono_literals;
using platform::MessageQueue;

std::string Sample(const std::string& family) { return std::string(CARILLON_SAMPLES_DIR) + "/" + family + ".VRK_Package"; }

class UpdateJobTest : public ::testing::Test {
protected:
    UpdateJobTest() { worker.m_printers.engine.m_session.m_timing = MonitorTiming{}.Scaled(0.05); }

    // Runs one update and returns the message that ended it.
    std::uint32_t Update(CPort* port, const std::string& package, const std::string& output = "") {
        // The job clears its request only after posting its end: a request
        // raised before that would be absorbed by the ending job.
        EXPECT_TRUE(testing::WaitUntil([&] { return worker.m_bUpdateRequested == 0; }, 30s));
        worker.RequestUpdate(port, package, output);
        return NextEnd();
    }
    std::uint32_t NextEnd() {
        for (;;) {
            auto m = messages.Take(60s);
            if (!m) return 0;
            ids.push_back(m->id);
            if (m->id == platform::WM_UPDATE_DONE || m->id == platform::WM_UPDATE_FAILED) return m->id;
        }
    }
    std::string Output() const { return (dir_.Path() / "out.VRK_Package.bin").string(); }

    testing::TempDir dir_;
    testing::RecordingMessageBoxProvider boxes;
    MessageQueue messages;
    std::vector<std::uint32_t> ids;
    testing::SimPrinter printer{[] {
        sim::PrinterConfig c;
        c.family = sim::Family::kPlv;
        c.usbReenumerateMs = 20;
        return c;
    }()};
    CThread worker{&messages};
};

TEST_F(UpdateJobTest, AnUpdateProgramsThePrinterWritesTheOutputAndReleasesTheMonitor) {
    const std::string out = Output();
    ASSERT_EQ(Update(&printer.port, Sample("PLV"), out), platform::WM_UPDATE_DONE);
    EXPECT_FALSE(printer.printer.InMonitor());  // sent back to its firmware
    EXPECT_FALSE(worker.m_printers.engine.m_session.m_connected);
    EXPECT_EQ(worker.m_printers.engine.m_lastError, kOk);

    const auto view = worker.Snapshot();
    EXPECT_TRUE(view.m_bShowTotal);
    EXPECT_TRUE(view.m_bShowProgress);
    EXPECT_EQ(view.m_byMonitorVersion[0], 0x85);
    EXPECT_EQ(view.m_byMonitorVersion[1], 0x01);
    EXPECT_EQ(view.m_strTotal.rfind("Total:   ", 0), 0u);
    EXPECT_NE(std::find(ids.begin(), ids.end(), platform::WM_PAINT), ids.end());

    // The save's record of requests, closed by the job's 0x00.
    const std::string file = dir_.Read("out.VRK_Package.bin");
    EXPECT_TRUE(ParsePacketRecord(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()).ok());
    EXPECT_GT(file.size(), 1000u);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(UpdateJobTest, APrinterThatDoesNotAnswerOrNoPortFailsToConnect) {
    printer.printer.SetSilent(true);
    for (CPort* port : {static_cast<CPort*>(&printer.port), static_cast<CPort*>(nullptr)}) {
        SCOPED_TRACE(port != nullptr);
        ASSERT_EQ(Update(port, Sample("PLV")), platform::WM_UPDATE_FAILED);
        const auto view = worker.Snapshot();
        EXPECT_EQ(view.m_strResultTitle, "Fail to connect...");
        EXPECT_EQ(view.m_strResultText, "");
        EXPECT_FALSE(view.m_bShowTotal);  // it never got past connecting
    }
}

TEST_F(UpdateJobTest, ABadPackageNamesItsPathAndCode) {
    ASSERT_EQ(Update(&printer.port, "/nowhere/x.VRK_Package"), platform::WM_UPDATE_FAILED);
    const auto view = worker.Snapshot();
    EXPECT_EQ(view.m_strResultTitle, "Programming Error...\n");
    EXPECT_EQ(view.m_strResultText, "The file \"/nowhere/x.VRK_Package\" is not valid...\n(Error Code=01000003h)");
}

TEST_F(UpdateJobTest, IncompatibleElementsAreReportedAndOnlyAYesForcesTheUpdate) {
    // An NDX package on a PLV printer: every element belongs to another family.
    boxes.AnswerNext(platform::IDNO);
    ASSERT_EQ(Update(&printer.port, Sample("NDX")), platform::WM_UPDATE_FAILED);
    const auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 8u);  // seven elements, then the question
    EXPECT_EQ(shown[0].text, "Incompatible element:\nNDX_MCU_FW");
    EXPECT_EQ(shown[7].text, "Some element of the package are not compatible with the printer.\nDo you want to force the update?");
    EXPECT_EQ(shown[7].flags, platform::MB_YESNO | platform::MB_ICONERROR | platform::MB_DEFBUTTON2);
    EXPECT_EQ(shown[7].owner, &messages);
    const auto view = worker.Snapshot();
    EXPECT_EQ(view.m_strResultTitle, "Programming Error...\n");
    EXPECT_EQ(view.m_strResultText, "(Error Code=0006000Bh)\n" + GetErrorMessage(0x0006000B));

    // Yes forces it: the PLV printer has no DSP firmware area in use, but its DSP flash takes the NDX fonts.
    boxes.AnswerNext(platform::IDYES);
    ASSERT_EQ(Update(&printer.port, Sample("NDX")), platform::WM_UPDATE_DONE);
    EXPECT_EQ(boxes.Boxes().size(), 16u);
}

// Forced, a package without DSP firmware would drop the NDX printer's: the
// job names the entry and, refused, leaves the flash as it was.
TEST_F(UpdateJobTest, AForcedUpdateThatWouldDropFirmwareAsksFirst) {
    testing::SimPrinter ndx{[] {
        sim::PrinterConfig c;
        c.family = sim::Family::kNdx;
        return c;
    }()};
    boxes.AnswerNext(platform::IDYES);
    boxes.AnswerNext(platform::IDNO);
    ASSERT_EQ(Update(&ndx.port, Sample("KIOSK")), platform::WM_UPDATE_FAILED);
    EXPECT_EQ(boxes.Boxes().back().text, std::string(kForcedRemovalQuestion) + "\n  DSP_FLASH NDX DSP firmware\nDo you want to continue?");
    EXPECT_EQ(worker.Snapshot().resultCode, kErrJobForcedRemovalRefused);
    EXPECT_EQ(ndx.printer.GetCounters().erases, 0u);
    EXPECT_FALSE(ndx.printer.InMonitor());
}

TEST_F(UpdateJobTest, AProgrammingErrorShowsItsCodeAndText) {
    sim::Faults refuse;
    refuse.refuse = {.everyNth = 1, .fraction = 0, .commands = "B"};
    refuse.refuseFlags = 0x10;
    printer.printer.SetFaults(refuse);
    worker.m_printers.engine.m_session.m_retries = 2;
    ASSERT_EQ(Update(&printer.port, Sample("PLV"), Output()), platform::WM_UPDATE_FAILED);
    EXPECT_EQ(worker.Snapshot().m_strResultText, "(Error Code=00020110h)\nPrinter has replied 'ANS_FAILURE' Flags:0x10");
    EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "out.VRK_Package.bin"));
}

// An output that could never be written, or that is an input, fails the
// job before the printer is touched; the inputs stay as they were. The
// package is a copy: should the check fail, the shared sample survives.
TEST_F(UpdateJobTest, AnOutputThatIsAnInputOrCannotBeCreatedFailsBeforeConnecting) {
    const std::string package = (dir_.Path() / "PLV.VRK_Package").string();
    std::filesystem::copy_file(Sample("PLV"), package);
    const std::string setup = dir_.Write("Setup.ini", "[General]\n");
    worker.ProtectFile(setup);
    const std::pair<std::string, ErrorCode> cases[] = {
        {"/nowhere/out.bin", kErrJobOutputCreate},
        {package, kErrJobOutputIsInput},
        {setup, kErrJobOutputIsInput},
        {"/dev/full", kErrJobOutputNotFile},
    };
    for (const auto& [output, code] : cases) {
        SCOPED_TRACE(output);
        ASSERT_EQ(Update(&printer.port, package, output), platform::WM_UPDATE_FAILED);
        EXPECT_EQ(worker.Snapshot().resultCode, code);
    }
    EXPECT_EQ(printer.printer.GetCounters().monitorStarts, 0u);
    EXPECT_EQ(dir_.Read("Setup.ini"), "[General]\n");
    EXPECT_EQ(std::filesystem::file_size(package), std::filesystem::file_size(Sample("PLV")));
}

TEST_F(UpdateJobTest, ARequestRaisedAgainDuringAJobIsAbsorbed) {
    // Paced at the monitor's line rate, the save lasts seconds: the second
    // request surely lands while the job runs, however slow the machine.
    testing::SimPrinter paced{[] {
        sim::PrinterConfig c;
        c.family = sim::Family::kPlv;
        c.pacing = {.enabled = true, .baud = sim::kMonitorBaud, .turnaroundMs = 1};
        return c;
    }()};
    worker.m_printers.engine.m_session.m_timing = MonitorTiming{};  // paced answers keep the real time-outs
    worker.RequestUpdate(&paced.port, Sample("PLV"), "");
    for (auto m = messages.Take(10s); m && m->id != platform::WM_PAINT; m = messages.Take(10s)) ids.push_back(m->id);
    worker.RequestUpdate(&paced.port, "/other.VRK_Package", "");  // the running job keeps its inputs
    ASSERT_EQ(NextEnd(), platform::WM_UPDATE_DONE);
    while (auto m = messages.Take(2s)) ids.push_back(m->id);  // a second job would end within this
    EXPECT_EQ(std::count(ids.begin(), ids.end(), platform::WM_UPDATE_DONE), 1);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), platform::WM_UPDATE_FAILED), 0);
    EXPECT_EQ(worker.m_bUpdateRequested, 0);
}

TEST_F(UpdateJobTest, BothRequestsAtOnceSearchFirst) {
    // The search looks at the test's ports only, none of this machine's.
    ScopedSerialPortMap noSerialPorts({});
    testing::UsbDriverModel noUsbPrinters;
    worker.m_printers.notifyWindow = &messages;
    worker.m_bSearchRequested = 1;
    worker.RequestUpdate(&printer.port, "/nowhere.VRK_Package", "");
    NextEnd();
    const auto searchDone = std::find(ids.begin(), ids.end(), platform::WM_SEARCH_DONE);
    const auto updateEnd = std::find(ids.begin(), ids.end(), platform::WM_UPDATE_FAILED);
    ASSERT_NE(searchDone, ids.end());
    ASSERT_NE(updateEnd, ids.end());
    EXPECT_LT(searchDone, updateEnd);
    EXPECT_EQ(worker.m_bSearchRequested, 0);
}

TEST_F(UpdateJobTest, AFailedUpdateLetsTheSessionGoSoThatASearchCanDeleteThePorts) {
    ScopedSerialPortMap noSerialPorts({});
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    config.usbReenumerateMs = 20;
    sim::VirtualPrinter usb(config);
    testing::UsbDriverModel driver;
    driver.Plug(config.usbInstanceId, &usb);
    worker.m_printers.notifyWindow = &messages;
    auto search = [&] {
        worker.m_bSearchRequested = 1;
        for (auto m = messages.Take(60s); m && m->id != platform::WM_SEARCH_DONE; m = messages.Take(60s)) {
        }
        return worker.m_printers.entries[0].port.get();
    };
    CCommandGenerator& engine = worker.m_printers.engine;

    CPort* found = search();
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(Update(found, "/nowhere/x.VRK_Package"), platform::WM_UPDATE_FAILED);
    EXPECT_FALSE(engine.m_session.m_connected);
    found = search();  // deletes the port the failed update used
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(Update(found, Sample("PLV")), platform::WM_UPDATE_DONE);
    EXPECT_FALSE(usb.InMonitor());  // sent back to its firmware over USB too

    // A connect that cannot open its port leaves no earlier connection standing.
    ASSERT_EQ(engine.DoConnect(&printer.port, 1, 0), kOk);
    CUsbPort unlisted;
    const UsbPortSettings second(2, "");  // one past the list: accepted, never opened
    ASSERT_TRUE(unlisted.SetSettings(&second));
    EXPECT_EQ(engine.DoConnect(&unlisted, 1, 0), kErrPortCantOpen);
    EXPECT_FALSE(engine.m_session.m_connected);
}

}  // namespace
}  // namespace carillon
