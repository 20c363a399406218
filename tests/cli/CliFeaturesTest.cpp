#include <fstream>

#include "cli/CliFixture.h"
#include "cli/Json.h"
#include "support/PtyPair.h"

namespace carillon::cli {
namespace {

ByteArray ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteArray(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const ByteArray& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class CliFeaturesTest : public CliRunTest {
protected:
    sim::VirtualPrinter& Ndx() {
        sim::PrinterConfig config;
        config.family = sim::Family::kNdx;
        config.usbReenumerateMs = 60;
        return Serial(config);
    }
    std::string Path(const char* name) { return (dir_ / name).string(); }
};

TEST_F(CliFeaturesTest, UpdateThenVerifyReadsEveryElementBack) {
    Ndx();
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    EXPECT_EQ(RunCli({"update", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX"), "--verify"}), kExitDone);
    ASSERT_EQ(reporter.elements.size(), 7u);
    for (const auto& v : reporter.elements) EXPECT_EQ(v.status, ElementVerdict::Status::kVerified) << v.name;
    EXPECT_TRUE(reporter.summaryOk);
    EXPECT_EQ(reporter.summary, "7 elements verified");
}

TEST_F(CliFeaturesTest, AVerifyFindsTheFirstDifferingUnit) {
    sim::VirtualPrinter& printer = Ndx();
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    ASSERT_EQ(RunCli({"update", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX")}), kExitDone);
    // Damage one word of the DSP firmware in the printer's flash.
    std::uint32_t address = 0;
    for (const auto& f : printer.FileTable(kDspFlash).files)
        if (f.name == "NDX_DSP_FW") address = f.address;
    ASSERT_NE(address, 0u);
    ByteArray word = printer.ReadFlash(kDspFlash, address + 0x100, 1);
    word[0] ^= 0xFF;
    printer.StoreFlash(kDspFlash, address + 0x100, word);

    reporter.elements.clear();
    EXPECT_EQ(RunCli({"verify", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX")}), kExitFailed);
    const auto bad = std::find_if(reporter.elements.begin(), reporter.elements.end(),
                                  [](const ElementVerdict& v) { return v.status != ElementVerdict::Status::kVerified; });
    ASSERT_NE(bad, reporter.elements.end());
    EXPECT_EQ(bad->name, "NDX_DSP_FW");
    EXPECT_EQ(bad->status, ElementVerdict::Status::kMismatch);
    EXPECT_EQ(bad->address, address + 0x100);
    EXPECT_EQ(reporter.summary, "1 of 7 elements do not match the package");
}

TEST_F(CliFeaturesTest, VerifyOnAPrinterHoldingAnotherSetReportsMissingElements) {
    Ndx();
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    EXPECT_EQ(RunCli({"verify", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX")}), kExitFailed);
    EXPECT_EQ(reporter.elements.front().status, ElementVerdict::Status::kMissing);
}

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
    const auto has = [&](const std::string& text) {
        return std::any_of(reporter.plan.begin(), reporter.plan.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(has("location: MCU_FLASH: 105 sectors"));
    EXPECT_TRUE(has("write NDX_MCU_FW"));
    EXPECT_TRUE(has("at 0x182C"));
    EXPECT_TRUE(has("rewrite the file table"));
    EXPECT_NE(reporter.summary.find("bytes to send"), std::string::npos);
    EXPECT_NE(reporter.summary.find("at 115200 baud"), std::string::npos);
}

TEST_F(CliFeaturesTest, APlanForAnotherFamilySaysTheUpdateWouldAsk) {
    Ndx();
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    EXPECT_EQ(RunCli({"plan", "--port", "COM1", "--baud", "9600", "--package", Sample("PLV")}), kExitFailed);
    ASSERT_FALSE(reporter.notes.empty());
    EXPECT_NE(reporter.notes.front().find("another printer family"), std::string::npos);
}

// A recording of one printer's update reflashes a second printer that holds a different older set.
class ReplayTest : public CliFeaturesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ReplayTest, TheOutputBinaryReflashesAnotherPrinter) {
    const bool usb = GetParam();
    sim::VirtualPrinter& first = Ndx();
    sim::PrinterConfig config;
    config.usbReenumerateMs = 60;
    printers_.push_back(std::make_unique<sim::VirtualPrinter>(config));
    sim::VirtualPrinter& second = *printers_.back();
    ptys_.push_back(std::make_unique<sim::PtyPrinter>(second, usb ? sim::PtyPrinter::Mode::kUsb : sim::PtyPrinter::Mode::kSerial,
                                                      usb_.Path()));
    ASSERT_TRUE(ptys_.back()->Start());
    ScopedSerialPortMap map({{1, ptys_[0]->DevicePath()}, {2, ptys_[1]->DevicePath()}});
    const std::vector<std::string> secondPort = usb ? std::vector<std::string>{"--port", "USB1"}
                                                    : std::vector<std::string>{"--port", "COM2", "--baud", "9600"};
    auto withPort = [&](std::vector<std::string> args) {
        args.insert(args.begin() + 1, secondPort.begin(), secondPort.end());
        return args;
    };

    // The second printer first gets the older sample set, so it differs from the first.
    ASSERT_EQ(RunCli(withPort({"update", "--package", std::string(CARILLON_SAMPLES_DIR) + "/NDX_old.VRK_Package"})), kExitDone);
    const std::string out = Path("ndx.VRK_Package.bin");
    ASSERT_EQ(RunCli({"update", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX"), "--output", out}), kExitDone);
    ASSERT_NE(first.FlashImage(kDspFlash), second.FlashImage(kDspFlash));

    EXPECT_EQ(RunCli(withPort({"replay", out})), kExitDone) << reporter.summary;
    for (int location : {kMcuFlash, kDspFlash}) {
        EXPECT_EQ(first.FileTable(location).files.size(), second.FileTable(location).files.size());
        for (const auto& f : first.FileTable(location).files) {
            const std::uint32_t units = location == kDspFlash ? f.sizeBytes / 2 : f.sizeBytes;
            EXPECT_EQ(first.ReadFlash(location, f.address, units), second.ReadFlash(location, f.address, units)) << f.name;
        }
        EXPECT_EQ(first.ReadFlash(location, first.TableStart(location), 0x380),
                  second.ReadFlash(location, second.TableStart(location), 0x380));
    }
    reporter.elements.clear();
    EXPECT_EQ(RunCli(withPort({"verify", "--package", Sample("NDX")})), kExitDone);
}

INSTANTIATE_TEST_SUITE_P(SerialAndUsb, ReplayTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? std::string("Usb") : std::string("Serial"); });

TEST_F(CliFeaturesTest, ABadReplayFileIsRefusedBeforeAnythingIsSent) {
    sim::VirtualPrinter& printer = Ndx();
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    const std::string out = Path("full.bin");
    ASSERT_EQ(RunCli({"update", "--port", "COM1", "--baud", "9600", "--package", Sample("PLV"), "--output", out, "--yes"}),
              kExitDone);
    ByteArray bytes = ReadAll(out);
    const auto erasesBefore = printer.GetCounters().erases;

    WriteAll(Path("cut.bin"), ByteArray(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2)));
    EXPECT_EQ(RunCli({"replay", Path("cut.bin"), "--port", "COM1", "--baud", "9600"}), kExitFailed);
    EXPECT_NE(reporter.summary.find("is not a sound output binary: record"), std::string::npos) << reporter.summary;

    ByteArray badCrc = bytes;
    badCrc[1] ^= 0x40;
    WriteAll(Path("crc.bin"), badCrc);
    EXPECT_EQ(RunCli({"replay", Path("crc.bin"), "--port", "COM1", "--baud", "9600"}), kExitFailed);
    EXPECT_NE(reporter.summary.find("record 1 at byte 0: the body's CRC is wrong"), std::string::npos) << reporter.summary;
    EXPECT_EQ(printer.GetCounters().erases, erasesBefore);

    EXPECT_EQ(RunCli({"replay", Path("absent.bin"), "--port", "COM1", "--baud", "9600"}), kExitFailed);
}

TEST_F(CliFeaturesTest, APrinterThatStopsAnsweringMidReplayNamesTheRecord) {
    sim::VirtualPrinter& printer = Ndx();
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    const std::string out = Path("ndx.bin");
    ASSERT_EQ(RunCli({"update", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX"), "--output", out}), kExitDone);
    const auto erasesBefore = printer.GetCounters().erases;
    std::thread pull([&] {  // the printer goes off after five erases of the replay
        while (printer.GetCounters().erases < erasesBefore + 5) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        printer.SetSilent(true);
    });
    EXPECT_EQ(RunCli({"replay", out, "--port", "COM1", "--baud", "9600"}), kExitFailed);
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
        return std::find_if(reporter.checks.begin(), reporter.checks.end(), [&](const auto& c) { return c.what == what; });
    };
    ASSERT_NE(check("COM1 access"), reporter.checks.end());
    EXPECT_TRUE(check("COM1 access")->ok);
    ASSERT_NE(check("COM1 in use"), reporter.checks.end());
    EXPECT_FALSE(check("COM1 in use")->ok);
    EXPECT_NE(check("COM1 in use")->detail.find("ModemManager (pid 4242)"), std::string::npos);
    EXPECT_NE(check("COM1 in use")->fix.find("systemctl stop ModemManager"), std::string::npos);
    EXPECT_FALSE(check("udev rule")->ok);

    std::filesystem::remove_all(proc / "4242");
    std::ofstream(rules / "60-carillon.rules") << "# rule\n";
    reporter.checks.clear();
    EXPECT_EQ(RunCli({"doctor"}), kExitDone);
    EXPECT_TRUE(check("udev rule")->ok);
}

TEST(CliJson, StringsAreEscapedAndObjectsStayOnOneLine) {
    EXPECT_EQ(JsonString("a\"b\\c\nd\te\x01"), "\"a\\\"b\\\\c\\nd\\te\\u0001\"");
    EXPECT_EQ(JsonObject().Add("event", "note").Add("n", 3).Add("ok", true).AddRaw("o", "{}").Text(),
              "{\"event\":\"note\",\"n\":3,\"ok\":true,\"o\":{}}");

    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    JsonReporter json(out);
    platform::MessageBoxRequest box{nullptr, "Force?\nReally", "", platform::MB_YESNO | platform::MB_ICONERROR};
    json.Box(box, platform::IDNO);
    CThread::View view;
    view.resultCode = 0x0006000B;
    view.m_strResultTitle = "Programming Error...\n";
    view.m_strResultText = "(Error Code=0006000Bh)\n there is an incompatible element.";
    json.Finished(false, view);
    std::fflush(out);
    const std::string lines(text, size);
    EXPECT_EQ(lines,
              "{\"event\":\"message\",\"caption\":\"\",\"text\":\"Force?\\nReally\",\"buttons\":\"yesno\",\"icon\":\"error\","
              "\"answer\":\"no\"}\n"
              "{\"event\":\"result\",\"ok\":false,\"code\":\"0006000B\",\"title\":\"Programming Error...\\n\","
              "\"text\":\"(Error Code=0006000Bh)\\n there is an incompatible element.\"}\n");
    std::fclose(out);
    std::free(text);
}

}  // namespace
}  // namespace carillon::cli
