#include <gtest/gtest.h>

#include <csignal>

#include <filesystem>
#include <fstream>

#include "cli/CliFixture.h"
#include "cli/Fleet.h"
#include "support/PtyPair.h"

namespace carillon::cli {
namespace {

TEST(CliOptions, TheCommandsAndTheirOptions) {
    const ParseResult parsed = ParseCommandLine({"update", "--port", "com2", "--baud", "38400", "--handshake", "xonxoff",
                                                 "--package", "p.VRK_Package", "--output", "o.bin", "--yes"});
    ASSERT_EQ(parsed.error, "");
    const Options& update = parsed.options;
    EXPECT_FALSE(update.port->usb);
    EXPECT_EQ(update.port->number, 2);
    EXPECT_EQ(*update.baudRate, 38400u);
    EXPECT_EQ(*update.handshake, 2u);
    EXPECT_EQ(update.output, "o.bin");
    EXPECT_EQ(update.force, ForceAnswer::kYes);
    EXPECT_TRUE(ParseCommandLine({"update", "--port", "USB1", "--package", "p", "--no"}).options.port->usb);
    EXPECT_EQ(ParseCommandLine({"update", "--help"}).options.command, Command::kHelp);
}

TEST(CliOptions, UsageErrorsSayWhatIsWrongAndSeveralPortsOrAllMakeAFleet) {
    const struct {
        std::vector<std::string> args;
        const char* error;
        bool fleet = false;
    } cases[] = {
        {{"flash"}, "unknown command 'flash'"},
        {{"update", "--package", "p"}, "update needs --port"},
        {{"update", "--port", "COM1"}, "update needs --package"},
        {{"update", "--port", "LPT1", "--package", "p"}, "--port takes COMn, USBn or a device path, not 'LPT1'"},
        {{"update", "--port", "COM0", "--package", "p"}, "--port takes COMn, USBn or a device path, not 'COM0'"},
        {{"update", "--port", "COM1", "--baud", "fast", "--package", "p"}, "--baud takes a number, not 'fast'"},
        {{"update", "--port", "COM1", "--handshake", "none", "--package", "p"}, "--handshake goes with --baud"},
        {{"update", "--port", "USB1", "--baud", "9600", "--package", "p"}, "a USB port has no baud rate or handshake"},
        {{"update", "--port"}, "option '--port' needs a value"},
        {{"search", "--output", "o"}, "'--output' is not an option of search"},
        {{"update", "--p", "COM1"}, "ambiguous option '--p'"},
        {{"update", "--port", "COM1", "--package", "p", "-x"}, "unknown option '-x'"},
        {{"update", "--port", "COM1", "--port", "usb2", "--package", "P"}, "", true},
        {{"plan", "--all", "--package", "P"}, "", true},
        {{"update", "--port", "COM1", "--package", "P"}, ""},
        {{"update", "--all", "--port", "COM1", "--package", "P"}, "--all and --port exclude each other"},
        {{"verify", "--port", "COM1", "--port", "COM2", "--baud", "9600", "--package", "P"}, "--baud goes with one --port"},
        {{"replay", "F.bin", "--all"}, "'--all' is not an option of replay"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ParseResult parsed = ParseCommandLine(c.args);
        EXPECT_EQ(parsed.error, c.error);
        EXPECT_EQ(parsed.error.empty() && IsFleet(parsed.options), c.fleet);
    }
}

TEST(CliText, ProgressIsDrawnInPlaceOnATerminalAndOncePerChangeElsewhere) {
    CThread::View view;
    view.m_strStatus = "Saving MCU_FLASH Data ";
    view.m_bShowTotal = view.m_bShowProgress = true;
    view.m_strTotal = "Total:   1 of 4";
    view.m_nTotalPercent = 25;
    view.m_strProgress = "Progress: 10 of 100";
    view.m_nProgressPercent = 10;

    EXPECT_EQ(Captured([&](std::FILE* out) {
                  TextReporter plain(out, out, false);
                  plain.Progress(view);
                  plain.Progress(view);
                  view.m_nProgressPercent = 14;  // the same tenth: nothing new to print
                  plain.Progress(view);
              }),
              "Saving MCU_FLASH Data  | Total:   1 of 4 | Progress: 10%\n");
    const std::string drawn = Captured([&](std::FILE* out) {
        TextReporter terminal(out, out, true);
        terminal.Progress(view);
        terminal.Progress(view);
    });
    EXPECT_NE(drawn.find("\033[3F"), std::string::npos);  // the second drawing goes back up three lines
    EXPECT_NE(drawn.find("Total:   1 of 4  " + Bar(25) + " 25%"), std::string::npos);
    EXPECT_EQ(Bar(-5, 4), "[....]");
    EXPECT_EQ(Bar(140, 4), "[####]");
}

TEST_F(CliRunTest, ASignalStopsAnUpdateOrReplayAtASafePointAndARerunFinishesIt) {
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    sim::VirtualPrinter& printer = Attach(config);
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

// A port with no printer is used only when the answer is yes, and then
// nothing answers there.
TEST_F(CliRunTest, APortWithoutPrinterIsRefusedOrFailsToConnect) {
    testing::PtyPair nobody;
    ScopedSerialPortMap map({{1, nobody.SlavePath()}});
    EXPECT_EQ(RunCli({"update", "--port", "COM1", "--package", Sample("PLV"), "--no"}), kExitNoPrinter);
    ASSERT_EQ(reporter.boxes.size(), 1u);
    EXPECT_EQ(reporter.boxes[0].first, "No printer has been found on this port.\nDo you really want to use this port?");
    EXPECT_EQ(RunCli({"update", "--port", "COM1", "--package", Sample("PLV"), "--yes"}), kExitNoPrinter);
    EXPECT_EQ(reporter.title, "Fail to connect...");
    EXPECT_EQ(RunCli({"update", "--port", "COM7", "--package", Sample("PLV")}), kExitNoPrinter);
    EXPECT_EQ(reporter.problems.back(), "COM7 is not a serial port of this computer");
}

TEST_F(CliRunTest, UsbPrintersByNumber) {
    sim::PrinterConfig config;
    config.family = sim::Family::kKiosk;
    config.usbReenumerateMs = 50;
    Attach(config, true);
    EXPECT_EQ(RunCli({"update", "--port", "USB2", "--package", Sample("KIOSK")}), kExitNoPrinter);
    EXPECT_EQ(reporter.problems.back(), "USB2: no such USB printer");
    EXPECT_EQ(RunCli({"update", "--port", "USB1", "--package", Sample("KIOSK")}), kExitDone);
}

TEST_F(CliRunTest, SilentModeFromTheSetupDirectory) {
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    Attach(config);
    std::filesystem::create_directories(dir_ / "SetupData");
    std::ofstream(dir_ / "SetupData" / "Setup.ini")
        << "[General]\nIsSilent=1\nFirmware File=" << Sample("PLV")
        << "\n[Silent mode config]\nPort type=SERIAL\nPort=4\nBaudrate=9600\nHandshake=1\n[Serial ports]\nCOM4="
        << ptys_.back()->DevicePath() << "\n";
    EXPECT_EQ(RunCli({"silent", dir_.string()}), kExitDone);
    EXPECT_TRUE(reporter.done);
}

}  // namespace
}  // namespace carillon::cli
