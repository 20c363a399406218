#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "ports/SerialFifo.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "support/PtyPair.h"
#include "support/RecordingMessageBoxProvider.h"
#include "support/PortTestHelpers.h"

namespace carillon {
namespace {

using namespace std::chrono_literals;
using testing::PtyPair;
using testing::TimeMs;
using testing::WaitUntil;

const SerialPortSettings& SettingsOf(CPort& port) { return *dynamic_cast<SerialPortSettings*>(port.GetSettings()); }

bool Contains(const ByteArray& haystack, const ByteArray& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// COM1 is the slave side of a pseudo-terminal; the test plays the printer.
class SerialPortTest : public ::testing::Test {
protected:
    void Configure(std::uint32_t baud = 9600, std::uint32_t handshake = kHandshakeRtsCts) {
        SerialPortSettings s(1, baud, handshake);
        ASSERT_TRUE(port.SetSettings(&s));
    }
    void OpenAt(std::uint32_t baud = 9600, std::uint32_t handshake = kHandshakeRtsCts) {
        Configure(baud, handshake);
        ASSERT_TRUE(port.Open());
    }

    PtyPair pty;
    ScopedSerialPortMap map{{{1, pty.SlavePath()}}};
    CSerialPort port;
};

// --- Settings -------------------------------------------------------------

TEST_F(SerialPortTest, RefusesEachBadFieldWithItsCodeAndKeepsTheOldSettings) {
    Configure(19200, kHandshakeXonXoff);
    struct Case {
        SerialPortSettings settings;
        ErrorCode code;
    };
    const Case cases[] = {
        {{0, 9600, 1}, kErrPortInvalidNumber},  {{7, 9600, 1}, kErrPortInvalidNumber},
        {{1, 14400, 1}, kErrPortInvalidBaud},   {{1, 0, 1}, kErrPortInvalidBaud},
        {{1, 9600, 0}, kErrPortInvalidHandshake}, {{1, 9600, 4}, kErrPortInvalidHandshake},
        // The fields are checked in order: the number before the rate.
        {{0, 14400, 0}, kErrPortInvalidNumber},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(port.SetSettings(&c.settings));
        EXPECT_EQ(port.lastError, c.code) << int(c.settings.number) << " " << c.settings.baudRate;
    }
    SerialPortSettings wrongTag(1, 9600, 1);
    std::memcpy(wrongTag.type, "USB", 4);
    EXPECT_FALSE(port.SetSettings(&wrongTag));
    EXPECT_EQ(port.lastError, kErrPortWrongSetting);
    UsbPortSettings usb(1, "");
    EXPECT_FALSE(port.SetSettings(&usb));
    EXPECT_EQ(port.lastError, kErrPortWrongSetting);
    EXPECT_FALSE(port.SetSettings(nullptr));
    EXPECT_EQ(port.lastError, kErrPortWrongSetting);

    EXPECT_EQ(SettingsOf(port).baudRate, 19200u);
    EXPECT_EQ(SettingsOf(port).handshake, kHandshakeXonXoff);
}

TEST_F(SerialPortTest, OpensTheLineAtEveryAcceptedRateAndHandshake) {
    const std::uint32_t rates[] = {1200, 2400, 4800, 9600, 19200, 28800, 38400, 57600, 115200};
    for (std::uint32_t i = 0; i < std::size(rates); ++i) {
        const std::uint32_t rate = rates[i];
        const std::uint32_t hs = i % 3 + 1;
        OpenAt(rate, hs);
        EXPECT_EQ(pty.Line().baudRate, rate);
        EXPECT_EQ(pty.Line().handshake, hs) << rate;
        port.Close();
    }
}

TEST_F(SerialPortTest, NewSettingsTakeEffectAtTheNextOpen) {
    OpenAt(9600, kHandshakeRtsCts);
    Configure(57600, kHandshakeNone);
    EXPECT_EQ(pty.Line().baudRate, 9600u);
    port.Close();
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(pty.Line().baudRate, 57600u);
    EXPECT_EQ(pty.Line().handshake, kHandshakeNone);
}

// --- Open and close -------------------------------------------------------

TEST_F(SerialPortTest, OpenAndCloseTwiceReportTheStateAndChangeNothing) {
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.lastError, kErrPortNotSet);
    OpenAt();
    const int fd = port.handle;
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.lastError, kErrPortAlreadyOpen);
    EXPECT_EQ(port.handle, fd);
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(port.lastError, kOk);
    EXPECT_EQ(port.handle, -1);
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(port.lastError, kErrPortAlreadyClosed);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, OpenFailsWhereTheNumberHasNoDeviceOrTheDeviceIsNoTty) {
    testing::TempDir dir;
    const std::string plainFile = dir.Write("not-a-tty", "x");
    const std::string longPath = "/dev/" + std::string(5000, 'x');
    SetSerialPortMap({{1, pty.SlavePath()}, {3, "/dev/null"}, {4, plainFile}, {5, longPath}});
    for (std::uint8_t n : {2, 3, 4, 5}) {
        SerialPortSettings s(n, 9600, kHandshakeRtsCts);
        ASSERT_TRUE(port.SetSettings(&s));
        EXPECT_FALSE(port.Open()) << int(n);
        EXPECT_EQ(port.lastError, kErrPortCantOpen);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.handle, -1);
    }
}

TEST_F(SerialPortTest, ASecondPortCannotOpenTheSameDevice) {
    OpenAt();
    CSerialPort other;
    SerialPortSettings s(1, 9600, kHandshakeRtsCts);
    ASSERT_TRUE(other.SetSettings(&s));
    EXPECT_FALSE(other.Open());
    EXPECT_EQ(other.lastError, kErrPortCantOpen);
    port.Close();
    EXPECT_TRUE(other.Open());
}

TEST_F(SerialPortTest, IoOnAClosedPortReportsNotOpen) {
    Configure();
    std::uint8_t b = 1;
    EXPECT_EQ(port.Write(&b, 1), 0);
    EXPECT_EQ(port.lastError, kErrPortNotOpen);
    port.SetError(kOk);
    EXPECT_EQ(port.Read(&b, 1), 0);
    EXPECT_EQ(port.lastError, kErrPortNotOpen);
    port.SetError(kOk);
    EXPECT_TRUE(port.WaitSent());  // nothing left to send
    EXPECT_EQ(port.lastError, kErrPortNotOpen);
}

TEST_F(SerialPortTest, DestroyingAnOpenPortReleasesTheDevice) {
    {
        CSerialPort scoped;
        SerialPortSettings s(1, 9600, kHandshakeRtsCts);
        scoped.SetSettings(&s);
        ASSERT_TRUE(scoped.Open());
    }
    OpenAt();
    EXPECT_TRUE(port.IsOpen());
}

// --- Reading and writing ----------------------------------------------------

TEST_F(SerialPortTest, BytesWrittenReachThePrinterAndItsAnswerIsRead) {
    OpenAt();
    const ByteArray hello = {'H', 'i', 0x00, 0xFF};
    EXPECT_EQ(port.Write(hello.data(), 4), 4);
    EXPECT_EQ(port.lastError, kOk);
    EXPECT_EQ(pty.ReadMaster(4, 1s), hello);

    ASSERT_TRUE(pty.Send({0x10, 0x00, 0x20}));
    EXPECT_TRUE(WaitUntil([&] { return port.GetInCount() == 3; }));
    EXPECT_EQ(port.ReadByte(), 0x10);
    EXPECT_EQ(port.ReadByte(), 0x00);
    EXPECT_EQ(port.lastError, kOk);
    EXPECT_EQ(port.WriteString("OK"), 2);
    EXPECT_EQ(pty.ReadMaster(2, 1s), (ByteArray{'O', 'K'}));
}

TEST_F(SerialPortTest, ReadByteTimesOutAfterReadTimeout) {
    OpenAt();
    port.readTimeout = 50;
    std::uint8_t b = 0xAA;
    const auto ms = TimeMs([&] { b = port.ReadByte(); });
    EXPECT_EQ(b, 0);
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_GE(ms, 50);
    EXPECT_LE(ms, 70);
}

TEST_F(SerialPortTest, WaitingForAByteUsesNoProcessorTime) {
    OpenAt();
    port.readTimeout = 300;
    timespec before{}, after{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    port.ReadByte();
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
    const double cpuMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
    EXPECT_LT(cpuMs, 15.0);
}

TEST_F(SerialPortTest, ReadStringStopsAtTheNulByteOrKeepsTheTimeout) {
    OpenAt();
    port.readTimeout = 30;
    ASSERT_TRUE(pty.Send({'A', 'B', 0x00, 'C', 'D'}));
    EXPECT_EQ(port.ReadString(), "AB");
    EXPECT_EQ(port.lastError, kOk);
    EXPECT_EQ(port.ReadString(), "CD");
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
}

TEST_F(SerialPortTest, ReadCountsOnlyTheBytesBeforeATimeout) {
    OpenAt();
    port.readTimeout = 30;
    ASSERT_TRUE(pty.Send({7, 8}));
    std::uint8_t buffer[5] = {};
    EXPECT_EQ(port.Read(buffer, 5), 2);
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[1], 8);
    EXPECT_EQ(port.Read(buffer, 0), 0);
}

TEST_F(SerialPortTest, PurgeInDropsWhatHasArrived) {
    OpenAt();
    ASSERT_TRUE(pty.Send({1, 2, 3}));
    ASSERT_TRUE(WaitUntil([&] { return port.GetInCount() == 3; }));
    EXPECT_TRUE(port.PurgeIn());
    EXPECT_EQ(port.lastError, kOk);
    EXPECT_EQ(port.GetInCount(), 0);
    EXPECT_TRUE(port.PurgeOut());
    EXPECT_EQ(port.GetOutCount(), 0);
    // A pseudo-terminal has no modem lines: no CTS says the printer is absent.
    EXPECT_TRUE(port.IsPrinterPresent());
    EXPECT_EQ(port.lastError, kOk);
}

TEST_F(SerialPortTest, AWriteThatCannotLeaveTimesOut) {
    OpenAt();
    port.writeTimeout = 50;
    // Nobody reads the printer side, so the line fills up.
    ByteArray flood(64 * 1024, 0x55);
    int written = -1;
    const auto ms = TimeMs([&] { written = port.Write(flood.data(), static_cast<int>(flood.size())); });
    EXPECT_EQ(written, 0);
    EXPECT_EQ(port.lastError, kErrPortWriteTimeout);
    EXPECT_GE(ms, 50);
    EXPECT_LT(ms, 1000);
    // What was held up is dropped, so closing does not wait for it.
    EXPECT_LT(TimeMs([&] { port.Close(); }), 500);
}

TEST_F(SerialPortTest, AbortReleasesAThreadWaitingForAByte) {
    OpenAt();
    port.readTimeout = 10000;
    std::thread aborter([&] {
        std::this_thread::sleep_for(50ms);
        port.Abort();
    });
    const auto ms = TimeMs([&] { port.ReadByte(); });
    aborter.join();
    EXPECT_EQ(port.lastError, kErrPortRead);
    EXPECT_LT(ms, 2000);
}

TEST_F(SerialPortTest, AnAbortBeforeOpeningDoesNotSpoilTheSession) {
    Configure();
    port.Abort();
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(pty.Send({9}));
    EXPECT_EQ(port.ReadByte(), 9);
    EXPECT_EQ(port.lastError, kOk);
}

TEST_F(SerialPortTest, APrinterThatVanishesMidReadEndsTheReadWithAnError) {
    OpenAt();
    port.readTimeout = 5000;
    std::thread vanish([&] {
        std::this_thread::sleep_for(50ms);
        pty.CloseMaster();
    });
    const auto ms = TimeMs([&] { port.ReadByte(); });
    vanish.join();
    EXPECT_EQ(port.lastError, kErrPortRead);
    EXPECT_LT(ms, 2000);

    std::uint8_t b = 1;
    EXPECT_EQ(port.Write(&b, 1), 0);
    EXPECT_EQ(port.lastError, kErrPortSend);
    EXPECT_TRUE(port.Close());
}

// --- Wake-up pulse ----------------------------------------------------------

TEST_F(SerialPortTest, WakeUpSendsOneNulAt1200BaudAndRestoresTheSettings) {
    Configure(9600, kHandshakeRtsCts);
    port.WakeUp();
    EXPECT_EQ(pty.ReadMaster(2, 100ms), ByteArray{0x00});
    // The port was closed before, so the line still shows the pulse's settings.
    EXPECT_EQ(pty.Line().baudRate, 1200u);
    EXPECT_EQ(pty.Line().handshake, kHandshakeNone);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(SettingsOf(port).baudRate, 9600u);
    EXPECT_EQ(SettingsOf(port).handshake, kHandshakeRtsCts);
}

TEST_F(SerialPortTest, WakeUpReopensAPortThatWasOpenWithItsSettings) {
    OpenAt(38400, kHandshakeXonXoff);
    port.WakeUp();
    EXPECT_EQ(pty.ReadMaster(2, 100ms), ByteArray{0x00});
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(pty.Line().baudRate, 38400u);
    EXPECT_EQ(pty.Line().handshake, kHandshakeXonXoff);
}

TEST_F(SerialPortTest, WakeUpWithoutSettingsTouchesNoLine) {
    port.WakeUp();
    EXPECT_EQ(port.lastError, kErrPortNotSet);
    EXPECT_EQ(port.GetSettings(), nullptr);
    EXPECT_TRUE(pty.ReadMaster(1, 50ms).empty());
}

// --- Baud-rate probe ----------------------------------------------------------

const ByteArray kCancel = {0x18};
const ByteArray kStatus = {0x1B, 0x76};
const ByteArray kIdent = {0x1B, 0x49};

// A printer that listens at one rate only: a status byte for the status
// query, then the reply for the identification query.
PtyPair::Responder PrinterAt(std::uint32_t rate, ByteArray identReply) {
    return [rate, identReply](const ByteArray& got, const serial::LineState& line) {
        ByteArray reply;
        if (line.baudRate != rate) return reply;
        if (Contains(got, kStatus)) reply.push_back(0x12);
        if (Contains(got, kIdent)) reply.insert(reply.end(), identReply.begin(), identReply.end());
        return reply;
    };
}

std::vector<std::uint32_t> RatesSeen(const PtyPair& pty) {
    std::vector<std::uint32_t> rates;
    for (const auto& c : pty.Chunks()) {
        if (rates.empty() || rates.back() != c.line.baudRate) rates.push_back(c.line.baudRate);
    }
    return rates;
}

TEST_F(SerialPortTest, IdentifyFindsAPrinterAt19200OnTheFourthRate) {
    Configure(9600, kHandshakeRtsCts);
    pty.StartPeer(PrinterAt(19200, {'V', 'R', 'K', '-', '8', 0x00}));
    EXPECT_EQ(port.IdentifyPrinter(kStatus, kIdent, kCancel, -1), "VRK-8");
    pty.StopPeer();
    EXPECT_EQ(RatesSeen(pty), (std::vector<std::uint32_t>{115200, 57600, 38400, 19200}));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(SettingsOf(port).baudRate, 19200u);
    EXPECT_EQ(SettingsOf(port).handshake, kHandshakeRtsCts);
    EXPECT_EQ(port.readTimeout, 2000u);
    // Each rate was tried with no flow control.
    for (const auto& c : pty.Chunks()) EXPECT_EQ(c.line.handshake, kHandshakeNone);
}

TEST_F(SerialPortTest, IdentifyReadsAKestrelReplyOfFourBytes) {
    Configure();
    pty.StartPeer(PrinterAt(115200, {1, 2, 0, 5}));
    EXPECT_EQ(port.IdentifyPrinter(kStatus, kIdent, kCancel, 1), "KESTREL (1205)");
    EXPECT_EQ(SettingsOf(port).baudRate, 115200u);
}

class SerialKestrelLength : public SerialPortTest, public ::testing::WithParamInterface<int> {};

TEST_P(SerialKestrelLength, AnyOtherLengthIdentifiesNothing) {
    Configure();
    ByteArray reply(static_cast<std::size_t>(GetParam()), 3);
    pty.StartPeer(PrinterAt(115200, reply));
    EXPECT_EQ(port.IdentifyPrinter(kStatus, kIdent, kCancel, 1), "");
    pty.StopPeer();
    // Every rate was tried; the port is left at the last one.
    EXPECT_EQ(RatesSeen(pty).size(), std::size(CSerialPort::kProbeRates));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(SettingsOf(port).baudRate, 1200u);
    EXPECT_EQ(SettingsOf(port).handshake, kHandshakeNone);
    EXPECT_EQ(port.readTimeout, 100u);
}

INSTANTIATE_TEST_SUITE_P(ThreeAndFiveBytes, SerialKestrelLength, ::testing::Values(3, 5));

TEST_F(SerialPortTest, IdentifyStopsAtALabelWithoutItsNul) {
    Configure();
    pty.StartPeer(PrinterAt(115200, {'V', 'R'}));
    EXPECT_EQ(port.IdentifyPrinter(kStatus, kIdent, kCancel, -1), "");
    pty.StopPeer();
    EXPECT_EQ(RatesSeen(pty), std::vector<std::uint32_t>{115200});
    EXPECT_FALSE(port.IsOpen());
}

// --- Listing the ports --------------------------------------------------------

TEST_F(SerialPortTest, ListsTheNumbersWhoseDeviceExists) {
    PtyPair second;
    SetSerialPortMap({{1, pty.SlavePath()}, {3, "/dev/does-not-exist"}, {9, second.SlavePath()}, {16, pty.SlavePath()}});
    EXPECT_EQ(port.CountPorts(), 2);

    PortRecord records[4];
    ASSERT_EQ(port.EnumeratePorts(records, 4, false), 2);
    EXPECT_EQ(records[0].kind, kPortKindSerial);
    EXPECT_STREQ(records[0].name, "COM1");
    EXPECT_EQ(records[0].number, 1u);
    ASSERT_NE(records[0].port, nullptr);
    EXPECT_EQ(SettingsOf(*records[0].port).baudRate, 9600u);
    EXPECT_EQ(SettingsOf(*records[0].port).handshake, kHandshakeRtsCts);
    EXPECT_STREQ(records[1].name, "COM9");
    // Numbers above 6 are listed but cannot be configured, so never opened.
    ASSERT_NE(records[1].port, nullptr);
    EXPECT_EQ(records[1].port->GetSettings(), nullptr);
    EXPECT_EQ(records[1].port->lastError, kErrPortInvalidNumber);
    EXPECT_FALSE(records[1].port->Open());

    PortRecord one[1];
    EXPECT_EQ(port.EnumeratePorts(one, 1, false), 1);
    EXPECT_STREQ(one[0].name, "COM1");
}

// --- Receive latency ("FIFO") --------------------------------------------------

// COM2 is a USB serial adapter ttyUSB0 (a link to a pty) in a sysfs of our own.
class SerialFifoTest : public SerialPortTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(root.Path() / "dev");
        std::filesystem::create_symlink(pty.SlavePath(), root.Path() / "dev/ttyUSB0");
        std::filesystem::create_symlink(pty.SlavePath(), root.Path() / "dev/ttyS0");
        SetSerialPortMap({{2, (root.Path() / "dev/ttyUSB0").string()}});
        SetSysfsRoot((root.Path() / "sys").string());
    }
    void TearDown() override { SetSysfsRoot(""); }
    void SetLatency(const std::string& ms) { root.Write("sys/class/tty/ttyUSB0/device/latency_timer", ms); }
    std::string Latency() const { return root.Read("sys/class/tty/ttyUSB0/device/latency_timer"); }

    testing::TempDir root;
    testing::RecordingMessageBoxProvider boxes;
};

TEST_F(SerialFifoTest, ASlowLatencyTimerIsReportedAndSetTo1Ms) {
    SetLatency("16\n");
    EXPECT_EQ(IsFifoEnabled(2), 16u);

    PortRecord records[4];
    ASSERT_EQ(port.EnumeratePorts(records, 4, true), 1);
    const auto seen = boxes.Boxes();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text,
              "Apparently, the UART FIFO buffer of COM2 is enabled. \nIt has to be disabled.\nThe Application will "
              "disable it now...");
    EXPECT_EQ(seen[0].caption, "Disable UART FIFO");
    EXPECT_EQ(seen[0].flags, platform::MB_ICONHAND);
    EXPECT_EQ(seen[0].owner, nullptr);
    EXPECT_EQ(seen[1].text,
              "The UART FIFO has been disabled successfully...\n\nPlease restart your system so that the modification "
              "takes effect...");
    EXPECT_EQ(seen[1].flags, platform::MB_ICONASTERISK);
    EXPECT_EQ(Latency(), "1\n");
    EXPECT_EQ(IsFifoEnabled(2), 0u);

    // Fixed now: the next listing says nothing.
    port.EnumeratePorts(records, 4, true);
    EXPECT_EQ(boxes.Boxes().size(), 2u);
}

TEST_F(SerialFifoTest, WithoutTheCheckNothingIsReadOrShown) {
    SetLatency("16\n");
    PortRecord records[4];
    ASSERT_EQ(port.EnumeratePorts(records, 4, false), 1);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(Latency(), "16\n");
}

TEST_F(SerialFifoTest, APortThatCannotBeToldOrFixedGetsTheErrorBox) {
    // No attribute for ttyUSB0 at all.
    EXPECT_EQ(IsFifoEnabled(2), 1u);
    EXPECT_EQ(IsFifoEnabled(5), 1u);  // not in the map
    EXPECT_FALSE(DisableFifo(5, 0));
    PortRecord records[4];
    port.EnumeratePorts(records, 4, true);
    const auto texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "Error while disabling FIFO buffer!!!");
    EXPECT_EQ(boxes.Boxes()[1].flags, platform::MB_ICONHAND);
}

TEST_F(SerialFifoTest, AnOnboardUartIsJudgedByItsLowLatencyFlag) {
    SetSerialPortMap({{3, (root.Path() / "dev/ttyS0").string()}});
    root.Write("sys/class/tty/ttyS0/flags", "0x10000000\n");
    EXPECT_EQ(IsFifoEnabled(3), 1u);
    root.Write("sys/class/tty/ttyS0/flags", "0x10002000\n");
    EXPECT_EQ(IsFifoEnabled(3), 0u);
    // The device behind it is a pseudo-terminal, which has no such flag to set.
    EXPECT_FALSE(DisableFifo(3, 0));
}

// --- Numbering -----------------------------------------------------------------

TEST(SerialPortMap, NumbersUartsThenUsbAdaptersFromCom1) {
    const std::vector<SerialDeviceInfo> devices = {
        {"ttyACM0", "/dev/ttyACM0", false}, {"ttyS10", "/dev/ttyS10", true}, {"ttyUSB1", "/dev/ttyUSB1", false},
        {"ttyS1", "/dev/ttyS1", false},     {"ttyS2", "/dev/ttyS2", true},   {"ttyUSB0", "/dev/ttyUSB0", false},
        {"tty1", "/dev/tty1", false},
    };
    const SerialPortMap expected = {{1, "/dev/ttyS2"},   {2, "/dev/ttyS10"},  {3, "/dev/ttyUSB0"},
                                    {4, "/dev/ttyUSB1"}, {5, "/dev/ttyACM0"}};
    EXPECT_EQ(NumberSerialDevices(devices), expected);

    std::vector<SerialDeviceInfo> many;
    for (int i = 0; i < 20; ++i) many.push_back({"ttyUSB" + std::to_string(i), "/dev/ttyUSB" + std::to_string(i)});
    const SerialPortMap map = NumberSerialDevices(many);
    ASSERT_EQ(map.size(), 15u);
    EXPECT_EQ(map.at(15), "/dev/ttyUSB14");
}

TEST(SerialPortMap, AnExplicitMapReplacesTheDetectedOneUntilReset) {
    {
        ScopedSerialPortMap scoped({{0, "/dev/zero-port"}, {2, "/dev/two"}, {16, "/dev/too-high"}, {-1, "/dev/neg"}});
        EXPECT_EQ(GetSerialDevicePath(2), "/dev/two");
        EXPECT_EQ(GetSerialDevicePath(0), "/dev/zero-port");
        EXPECT_EQ(GetSerialDevicePath(16), "");
        EXPECT_EQ(GetSerialPortMap().size(), 2u);
    }
    EXPECT_EQ(GetSerialPortMap(), NumberSerialDevices(ListSerialDevices()));
}

}  // namespace
}  // namespace carillon
