#include "cli/CliFixture.h"
#include "cli/Json.h"
#include "support/PtyPair.h"

namespace carillon::cli {
namespace {

class CliFeaturesTest : public CliRunTest {
protected:
    sim::VirtualPrinter& Ndx() {
        sim::PrinterConfig config;
        config.family = sim::Family::kNdx;
        config.usbReenumerateMs = 60;
        return Attach(config);
    }
};

// Before the update the elements are missing; after it each reads back
// equal, until one word of the DSP firmware is damaged in the flash.
TEST_F(CliFeaturesTest, VerifyReadsEveryElementBackAndFindsTheFirstDifferingUnit) {
    sim::VirtualPrinter& printer = Ndx();
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    const std::vector<std::string> verify{"verify", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX")};
    EXPECT_EQ(RunCli(verify), kExitFailed);
    EXPECT_EQ(reporter.elements.front().status, ElementVerdict::Status::kMissing);
    reporter.elements.clear();
    EXPECT_EQ(RunCli({"update", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX"), "--verify"}), kExitDone);
    ASSERT_EQ(reporter.elements.size(), 7u);
    for (const auto& v : reporter.elements) EXPECT_EQ(v.status, ElementVerdict::Status::kVerified) << v.name;
    EXPECT_TRUE(reporter.summaryOk);
    EXPECT_EQ(reporter.summary, "7 elements verified");

    std::uint32_t address = 0;
    for (const auto& f : printer.FileTable(kDspFlash).files)
        if (f.name == "NDX_DSP_FW") address = f.address;
    ASSERT_NE(address, 0u);
    ByteArray word = printer.ReadFlash(kDspFlash, address + 0x100, 1);
    word[0] ^= 0xFF;
    printer.StoreFlash(kDspFlash, address + 0x100, word);
    reporter.elements.clear();
    EXPECT_EQ(RunCli(verify), kExitFailed);
    const auto bad = std::find_if(reporter.elements.begin(), reporter.elements.end(),
                                  [](const ElementVerdict& v) { return v.status != ElementVerdict::Status::kVerified; });
    ASSERT_NE(bad, reporter.elements.end());
    EXPECT_EQ(bad->name, "NDX_DSP_FW");
    EXPECT_EQ(bad->status, ElementVerdict::Status::kMismatch);
    EXPECT_EQ(bad->address, address + 0x100);
    EXPECT_EQ(reporter.summary, "1 of 7 elements do not match the package");
}

// A plan talks to the printer but changes nothing; for another family it
// says the update would ask first.
TEST_F(CliFeaturesTest, APlanChangesNothingInTheFlash) {
    sim::VirtualPrinter& printer = Ndx();
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    const ByteArray mcu = printer.FlashImage(kMcuFlash), dsp = printer.FlashImage(kDspFlash);
    EXPECT_EQ(RunCli({"plan", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX")}), kExitDone);
    EXPECT_EQ(printer.FlashImage(kMcuFlash), mcu);
    EXPECT_EQ(printer.FlashImage(kDspFlash), dsp);
    EXPECT_EQ(printer.GetCounters().erases, 0u);
    EXPECT_EQ(printer.GetCounters().writeChunks, 0u);
    EXPECT_FALSE(printer.InMonitor());  // it left the monitor again
    const auto has = [](const std::vector<std::string>& lines, const std::string& text) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(has(reporter.plan, "location: MCU_FLASH: 105 sectors"));
    EXPECT_TRUE(has(reporter.plan, "write NDX_MCU_FW"));
    EXPECT_TRUE(has(reporter.plan, "at 0x182C"));
    EXPECT_TRUE(has(reporter.plan, "rewrite the file table"));
    EXPECT_NE(reporter.summary.find("bytes to send"), std::string::npos);
    EXPECT_NE(reporter.summary.find("at 115200 baud"), std::string::npos);

    EXPECT_EQ(RunCli({"plan", "--port", "COM1", "--baud", "9600", "--package", Sample("PLV")}), kExitFailed);
    EXPECT_TRUE(has(reporter.notes, "another printer family"));
}

// A recording of one printer's update reflashes a second printer, on USB,
// that holds a different older set.
TEST_F(CliFeaturesTest, TheOutputBinaryReflashesAnotherPrinter) {
    sim::VirtualPrinter& first = Ndx();
    sim::PrinterConfig config;
    config.usbReenumerateMs = 60;
    sim::VirtualPrinter& second = Attach(config, true);
    ScopedSerialPortMap map({{1, ptys_[0]->DevicePath()}});
    ASSERT_EQ(RunCli({"update", "--port", "USB1", "--package", Sample("NDX_old")}), kExitDone);
    const std::string out = Path("ndx.VRK_Package.bin");
    ASSERT_EQ(RunCli({"update", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX"), "--output", out}), kExitDone);
    ASSERT_NE(first.FlashImage(kDspFlash), second.FlashImage(kDspFlash));

    EXPECT_EQ(RunCli({"replay", out, "--port", "USB1"}), kExitDone) << reporter.summary;
    // The same tables, so the same places; the verify reads every element back.
    for (int location : {kMcuFlash, kDspFlash})
        EXPECT_EQ(first.ReadFlash(location, first.TableStart(location), 0x380),
                  second.ReadFlash(location, second.TableStart(location), 0x380));
    EXPECT_EQ(RunCli({"verify", "--port", "USB1", "--package", Sample("NDX")}), kExitDone);
}

// A damaged recording is refused before anything is sent; a printer that
// stops answering in the middle of a sound one is named with the record.
TEST_F(CliFeaturesTest, ABadReplayFileIsRefusedAndAFailingReplayNamesTheRecord) {
    sim::VirtualPrinter& printer = Ndx();
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    const std::string out = Path("ndx.bin");
    ASSERT_EQ(RunCli({"update", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX"), "--output", out}), kExitDone);
    const ByteArray bytes = ReadBytes(out);
    const auto erasesBefore = printer.GetCounters().erases;
    auto replay = [&](const std::string& file) { return RunCli({"replay", file, "--port", "COM1", "--baud", "9600"}); };

    WriteBytes(Path("cut.bin"), ByteArray(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2)));
    EXPECT_EQ(replay(Path("cut.bin")), kExitFailed);
    EXPECT_NE(reporter.summary.find("is not a sound output binary: record"), std::string::npos) << reporter.summary;
    ByteArray badCrc = bytes;
    badCrc[1] ^= 0x40;
    WriteBytes(Path("crc.bin"), badCrc);
    EXPECT_EQ(replay(Path("crc.bin")), kExitFailed);
    EXPECT_NE(reporter.summary.find("record 1 at byte 0: the body's CRC is wrong"), std::string::npos) << reporter.summary;
    EXPECT_EQ(printer.GetCounters().erases, erasesBefore);

    std::thread pull([&] {  // the printer goes off after five erases of the replay
        while (printer.GetCounters().erases < erasesBefore + 5) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        printer.SetSilent(true);
    });
    EXPECT_EQ(replay(out), kExitFailed);
    pull.join();
    EXPECT_EQ(reporter.summaryCode, kErrPortReadTimeout);
    EXPECT_NE(reporter.summary.find("was not taken"), std::string::npos);
    EXPECT_EQ(reporter.summary.rfind("record ", 0), 0u);
}

TEST_F(CliFeaturesTest, TheDoctorNamesWhatStandsInTheWay) {
    testing::PtyPair line;
    ScopedSerialPortMap map({{1, line.SlavePath()}});
    // A fake process table: ModemManager holds the printer's line.
    const std::filesystem::path proc = dir_ / "proc", rules = dir_ / "rules";
    std::filesystem::create_directories(proc / "4242" / "fd");
    std::filesystem::create_directories(rules);
    std::ofstream(proc / "4242" / "comm") << "ModemManager\n";
    std::filesystem::create_symlink(line.SlavePath(), proc / "4242" / "fd" / "7");
    environment.doctor = DoctorRoots{proc.string(), {rules.string()}};

    EXPECT_EQ(RunCli({"doctor"}), kExitFailed);
    auto check = [&](const std::string& what) {
        for (const auto& c : reporter.checks)
            if (c.what == what) return c;
        ADD_FAILURE() << "no check of " << what;
        return RecordingReporter::CheckLine{};
    };
    EXPECT_TRUE(check("COM1 access").ok);
    const auto inUse = check("COM1 in use");
    EXPECT_FALSE(inUse.ok);
    EXPECT_NE(inUse.detail.find("ModemManager (pid 4242)"), std::string::npos);
    EXPECT_NE(inUse.fix.find("systemctl stop ModemManager"), std::string::npos);
    EXPECT_FALSE(check("udev rule").ok);

    std::filesystem::remove_all(proc / "4242");
    std::ofstream(rules / "60-carillon.rules") << "# rule\n";
    reporter.checks.clear();
    EXPECT_EQ(RunCli({"doctor"}), kExitDone);
    EXPECT_TRUE(check("udev rule").ok);
}

TEST(CliJson, StringsAreEscapedAndObjectsStayOnOneLine) {
    EXPECT_EQ(JsonString("a\"b\\c\nd\te\x01"), "\"a\\\"b\\\\c\\nd\\te\\u0001\"");
    const std::string lines = Captured([](std::FILE* out) {
        JsonReporter json(out);
        platform::MessageBoxRequest box{nullptr, "Force?\nReally", "", platform::MB_YESNO | platform::MB_ICONERROR};
        json.Box(box, platform::IDNO);
        CThread::View view;
        view.resultCode = 0x0006000B;
        view.m_strResultTitle = "Programming Error...\n";
        view.m_strResultText = "(Error Code=0006000Bh)\n there is an incompatible element.";
        json.Finished(false, view);
    });
    EXPECT_EQ(lines,
              "{\"event\":\"message\",\"caption\":\"\",\"text\":\"Force?\\nReally\",\"buttons\":\"yesno\",\"icon\":\"error\","
              "\"answer\":\"no\"}\n"
              "{\"event\":\"result\",\"ok\":false,\"code\":\"0006000B\",\"title\":\"Programming Error...\\n\","
              "\"text\":\"(Error Code=0006000Bh)\\n there is an incompatible element.\"}\n");
}

}  // namespace
}  // namespace carillon::cli
