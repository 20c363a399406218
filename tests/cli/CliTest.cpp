#include <gtest/gtest.h>

#include <csignal>

#include <filesystem>
#include <fstream>

#include "cli/CliFixture.h"
#include "cli/TextTree.h"
#include "support/PtyPair.h"

namespace carillon::cli {
namespace {

Options Parse(std::vector<std::string> args) {
    const ParseResult r = ParseCommandLine(args);
    EXPECT_EQ(r.error, "") << args[0];
    return r.options;
}

std::string ParseError(std::vector<std::string> args) { return ParseCommandLine(args).error; }

TEST(CliOptions, TheThreeCommandsAndTheirOptions) {
    const Options update = Parse({"update", "--port", "com2", "--baud", "38400", "--handshake", "xonxoff", "--package",
                                  "p.VRK_Package", "--output", "o.bin", "--yes"});
    EXPECT_EQ(update.command, Command::kUpdate);
    EXPECT_FALSE(update.port->usb);
    EXPECT_EQ(update.port->number, 2);
    EXPECT_EQ(*update.baudRate, 38400u);
    EXPECT_EQ(*update.handshake, 2u);
    EXPECT_EQ(update.package, "p.VRK_Package");
    EXPECT_EQ(update.output, "o.bin");
    EXPECT_EQ(update.force, ForceAnswer::kYes);
    EXPECT_TRUE(Parse({"update", "--port", "USB1", "--package", "p", "--no"}).port->usb);
    EXPECT_EQ(Parse({"silent", "/opt/x"}).directory, "/opt/x");
    EXPECT_EQ(Parse({"silent"}).directory, "");
    EXPECT_EQ(Parse({"search"}).command, Command::kSearch);
    EXPECT_EQ(Parse({"update", "--help"}).command, Command::kHelp);
    EXPECT_EQ(Parse({"--port=/dev/serial/by-id/x", "plan", "--package", "p"}).port->devicePath, "/dev/serial/by-id/x");
}

TEST(CliOptions, UsageErrorsSayWhatIsWrong) {
    EXPECT_EQ(ParseError({"flash"}), "unknown command 'flash'");
    EXPECT_EQ(ParseError({"update", "--package", "p"}), "update needs --port");
    EXPECT_EQ(ParseError({"update", "--port", "COM1"}), "update needs --package");
    EXPECT_EQ(ParseError({"update", "--port", "LPT1", "--package", "p"}), "--port takes COMn, USBn or a device path, not 'LPT1'");
    EXPECT_EQ(ParseError({"update", "--port", "COM0", "--package", "p"}), "--port takes COMn, USBn or a device path, not 'COM0'");
    EXPECT_EQ(ParseError({"update", "--port", "COM1", "--baud", "fast", "--package", "p"}),
              "--baud takes a number, not 'fast'");
    EXPECT_EQ(ParseError({"update", "--port", "COM1", "--handshake", "none", "--package", "p"}),
              "--handshake goes with --baud");
    EXPECT_EQ(ParseError({"update", "--port", "USB1", "--baud", "9600", "--package", "p"}),
              "a USB port has no baud rate or handshake");
    EXPECT_EQ(ParseError({"update", "--port"}), "option '--port' needs a value");
    EXPECT_EQ(ParseError({"search", "--output", "o"}), "'--output' is not an option of search");
    EXPECT_EQ(ParseError({"update", "--p", "COM1"}), "ambiguous option '--p'");
    EXPECT_EQ(ParseError({"update", "--port", "COM1", "--package", "p", "-x"}), "unknown option '-x'");
}

TEST(CliText, TheTreeShowsGroupsLinesAndTheCurrentPrinter) {
    TextTree tree;
    const TreeItem serial = tree.InsertItem("Serial Printers", 1, kTreeRoot);
    const TreeItem usb = tree.InsertItem("USB Printers", 2, kTreeRoot);
    tree.SetBold(tree.InsertItem("COM1: VRK", 1, serial), true);
    tree.InsertItem("USB1: ", 2, usb);
    EXPECT_EQ(tree.Render(), "Serial Printers\n  * COM1: VRK\nUSB Printers\n    USB1: \n");
}

TEST(CliText, ProgressIsDrawnInPlaceOnATerminalAndOncePerChangeElsewhere) {
    CThread::View view;
    view.m_strStatus = "Saving MCU_FLASH Data ";
    view.m_bShowTotal = view.m_bShowProgress = true;
    view.m_strTotal = "Total:   1 of 4";
    view.m_nTotalPercent = 25;
    view.m_strProgress = "Progress: 10 of 100";
    view.m_nProgressPercent = 10;

    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    TextReporter plain(out, out, false);
    plain.Progress(view);
    plain.Progress(view);
    view.m_nProgressPercent = 14;  // the same tenth: nothing new to print
    plain.Progress(view);
    std::fflush(out);
    EXPECT_EQ(std::string(text, size), "Saving MCU_FLASH Data  | Total:   1 of 4 | Progress: 10%\n");
    std::fclose(out);
    std::free(text);

    out = open_memstream(&text, &size);
    TextReporter terminal(out, out, true);
    terminal.Progress(view);
    terminal.Progress(view);
    std::fflush(out);
    const std::string drawn(text, size);
    EXPECT_NE(drawn.find("\033[3F"), std::string::npos);  // the second drawing goes back up three lines
    EXPECT_NE(drawn.find("Total:   1 of 4  " + Bar(25) + " 25%"), std::string::npos);
    std::fclose(out);
    std::free(text);

    EXPECT_EQ(Bar(-5, 4), "[....]");
    EXPECT_EQ(Bar(50, 4), "[##..]");
    EXPECT_EQ(Bar(140, 4), "[####]");
}

TEST_F(CliRunTest, UpdateWithGivenLineSettingsWritesTheOutputFile) {
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    config.baudRate = 19200;
    Serial(config);
    ScopedSerialPortMap map({{3, ptys_.back()->DevicePath()}});
    const std::string out = (dir_ / "o.VRK_Package.bin").string();
    EXPECT_EQ(RunCli({"update", "--port", "COM3", "--baud", "19200", "--package", Sample("PLV"), "--output", out}),
              kExitDone);
    EXPECT_TRUE(reporter.done);
    EXPECT_FALSE(reporter.statuses.empty());
    EXPECT_TRUE(std::filesystem::exists(out));
    EXPECT_FALSE(printers_.back()->InMonitor());
}

TEST_F(CliRunTest, ASignalStopsAnUpdateOrReplayAtASafePointAndARerunFinishesIt) {
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    sim::VirtualPrinter& printer = Serial(config);
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    const std::string out = (dir_ / "o.VRK_Package.bin").string();
    const std::vector<std::string> update{"update", "--port", "COM1", "--baud", "9600", "--package", Sample("PLV"),
                                          "--output", out};
    ASSERT_EQ(RunCli({"update", "--port", "COM1", "--baud", "9600", "--package", Sample("PLV_old")}), kExitDone);
    for (const auto& command : {update, std::vector<std::string>{"replay", out, "--port", "COM1", "--baud", "9600"}}) {
        SCOPED_TRACE(command[0]);
        int frames = 0;  // Ctrl-C a few dozen frames into the writing
        printer.SetTrace([&](const std::string& line) {
            if (line.find("PC> ") != std::string::npos && ++frames == 120) std::raise(SIGINT);
        });
        EXPECT_EQ(RunCli(command), 128 + SIGINT);
        printer.SetTrace(nullptr);
        EXPECT_NE(reporter.notes.back().find("Run the same command again"), std::string::npos);
        EXPECT_EQ(RunCli(command), kExitDone);
    }
}

TEST_F(CliRunTest, UpdateWithoutLineSettingsFindsThePrinterFirst) {
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    config.baudRate = 57600;
    config.name = "PLV-57600";
    Serial(config);
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    EXPECT_EQ(RunCli({"update", "--port", "COM1", "--package", Sample("PLV")}), kExitDone);
    EXPECT_NE(std::find(reporter.notes.begin(), reporter.notes.end(), "COM1: PLV-57600"), reporter.notes.end());
}

TEST_F(CliRunTest, APortWithoutPrinterIsUsedOnlyWhenTheAnswerIsYes) {
    testing::PtyPair nobody;
    ScopedSerialPortMap map({{1, nobody.SlavePath()}});
    EXPECT_EQ(RunCli({"update", "--port", "COM1", "--package", Sample("PLV"), "--no"}), kExitNoPrinter);
    ASSERT_EQ(reporter.boxes.size(), 1u);
    EXPECT_EQ(reporter.boxes[0].first, "No printer has been found on this port.\nDo you really want to use this port?");
    EXPECT_EQ(RunCli({"update", "--port", "COM7", "--package", Sample("PLV")}), kExitNoPrinter);
    EXPECT_EQ(reporter.problems.back(), "COM7 is not a serial port of this computer");
}

TEST_F(CliRunTest, ASilentPrinterFailsToConnect) {
    sim::PrinterConfig config;
    Serial(config).SetSilent(true);
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    EXPECT_EQ(RunCli({"update", "--port", "COM1", "--baud", "9600", "--package", Sample("NDX")}), kExitNoPrinter);
    EXPECT_EQ(reporter.title, "Fail to connect...");
}

TEST_F(CliRunTest, UsbPrintersByNumber) {
    sim::PrinterConfig config;
    config.family = sim::Family::kKiosk;
    config.usbReenumerateMs = 50;
    printers_.push_back(std::make_unique<sim::VirtualPrinter>(config));
    ptys_.push_back(std::make_unique<sim::PtyPrinter>(*printers_.back(), sim::PtyPrinter::Mode::kUsb, usb_.Path()));
    ASSERT_TRUE(ptys_.back()->Start());
    EXPECT_EQ(RunCli({"update", "--port", "USB2", "--package", Sample("KIOSK")}), kExitNoPrinter);
    EXPECT_EQ(reporter.problems.back(), "USB2: no such USB printer");
    EXPECT_EQ(RunCli({"update", "--port", "USB1", "--package", "/missing.VRK_Package"}), kExitFailed);
    EXPECT_EQ(reporter.summaryCode, kErrFileNotFound);  // refused before the printer enters its monitor
    EXPECT_EQ(printers_.back()->GetCounters().monitorStarts, 0u);
    EXPECT_EQ(RunCli({"update", "--port", "USB1", "--package", Sample("KIOSK")}), kExitDone);
}

TEST_F(CliRunTest, SearchShowsTheTree) {
    sim::PrinterConfig config;
    config.name = "NDX-9600";
    Serial(config);
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    EXPECT_EQ(RunCli({"search"}), kExitDone);
    EXPECT_EQ(reporter.tree, "Serial Printers\n  * COM1: NDX-9600  (" + ptys_.back()->DevicePath() + ")\nUSB Printers\n");
    ScopedSerialPortMap none(SerialPortMap{});
    EXPECT_EQ(RunCli({"search"}), kExitNoPrinter);
}

TEST_F(CliRunTest, SilentModeFromTheSetupDirectory) {
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    Serial(config);
    EXPECT_EQ(RunCli({"silent", (dir_ / "none").string()}), kExitNoPrinter);  // no SetupData folder there

    std::filesystem::create_directories(dir_ / "SetupData");
    std::ofstream(dir_ / "SetupData" / "Setup.ini") << "[General]\nFirmware File=" << Sample("PLV")
                                                    << "\n[Silent mode config]\nPort type=serial\n";
    EXPECT_EQ(RunCli({"silent", dir_.string()}), kExitNoPrinter);  // lower case names no port

    std::ofstream(dir_ / "SetupData" / "Setup.ini")
        << "[General]\nIsSilent=1\nFirmware File=" << Sample("PLV")
        << "\n[Silent mode config]\nPort type=SERIAL\nPort=4\nBaudrate=9600\nHandshake=1\n[Serial ports]\nCOM4="
        << ptys_.back()->DevicePath() << "\n";
    EXPECT_EQ(RunCli({"silent", dir_.string()}), kExitDone);
    EXPECT_TRUE(reporter.done);
}

}  // namespace
}  // namespace carillon::cli
