#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/time.h>

#include <algorithm>
#include <filesystem>

#include "ports/SerialFifo.h"
#include "ports/SerialLine.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "support/PortTestHelpers.h"
#include "support/PtyPair.h"
#include "support/RecordingMessageBoxProvider.h"

namespace carillon {
namespace {

using namespace std::chrono_literals;
using testing::PtyPair;
using testing::TimeMs;
using testing::WaitUntil;

const SerialPortSettings& SettingsOf(CPort& port) { return *dynamic_cast<SerialPortSettings*>(port.GetSettings()); }

// COM1 is the slave side of a pseudo-terminal; the test plays the printer.
class SerialPortTest : public ::testing::Test {
protected:
    void Configure(std::uint32_t baud = 9600, std::uint32_t handshake = kHandshakeRtsCts, std::uint8_t number = 1) {
        SerialPortSettings s(number, baud, handshake);
        ASSERT_TRUE(port.SetSettings(&s));
    }
    void OpenAt(std::uint32_t baud = 9600, std::uint32_t handshake = kHandshakeRtsCts) {
        Configure(baud, handshake);
        ASSERT_TRUE(port.Open());
    }
    void ExpectSettings(std::uint32_t baud, std::uint32_t handshake) {
        EXPECT_EQ(SettingsOf(port).baudRate, baud);
        EXPECT_EQ(SettingsOf(port).handshake, handshake);
    }

    PtyPair pty;
    ScopedSerialPortMap map{{{1, pty.SlavePath()}}};
    CSerialPort port;
};

// --- Settings and opening ----------------------------------------------------

TEST_F(SerialPortTest, RefusesEachBadFieldWithItsCodeAndKeepsTheOldSettings) {
    Configure(19200, kHandshakeXonXoff);
    const std::pair<SerialPortSettings, ErrorCode> cases[] = {
        {{0, 9600, 1}, kErrPortInvalidNumber},    {{7, 9600, 1}, kErrPortInvalidNumber},
        {{1, 14400, 1}, kErrPortInvalidBaud},     {{1, 0, 1}, kErrPortInvalidBaud},
        {{1, 9600, 0}, kErrPortInvalidHandshake}, {{1, 9600, 4}, kErrPortInvalidHandshake},
        {{0, 14400, 0}, kErrPortInvalidNumber},  // the number is checked before the rate
    };
    for (const auto& [settings, code] : cases) {
        SCOPED_TRACE(::testing::Message() << int(settings.number) << " " << settings.baudRate);
        EXPECT_FALSE(port.SetSettings(&settings));
        EXPECT_EQ(port.lastError, code);
    }
    SerialPortSettings wrongTag(1, 9600, 1);
    std::memcpy(wrongTag.type, "USB", 4);
    const UsbPortSettings usb(1, "");
    for (const PortSettings* other : std::initializer_list<const PortSettings*>{&wrongTag, &usb, nullptr}) {
        EXPECT_FALSE(port.SetSettings(other));
        EXPECT_EQ(port.lastError, kErrPortWrongSetting);
    }
    ExpectSettings(19200, kHandshakeXonXoff);
    const SerialPortSettings highest(6, 9600, kHandshakeNone);  // the bounds themselves are taken
    EXPECT_TRUE(port.SetSettings(&highest));
}

TEST_F(SerialPortTest, OpensTheLineAtEveryAcceptedRateAndHandshakeAtTheNextOpen) {
    const std::uint32_t rates[] = {1200, 2400, 4800, 9600, 19200, 28800, 38400, 57600, 115200};
    OpenAt(9600, kHandshakeNone);
    for (std::uint32_t i = 0; i < std::size(rates); ++i) {
        SCOPED_TRACE(rates[i]);
        const serial::LineState before = pty.Line();
        Configure(rates[i], i % 3 + 1);
        EXPECT_EQ(pty.Line().baudRate, before.baudRate);  // not while the port is open
        port.Close();
        ASSERT_TRUE(port.Open());
        EXPECT_EQ(pty.Line().baudRate, rates[i]);
        EXPECT_TRUE(serial::RunsAt(pty.SlaveFd(), rates[i]));  // input too, also after 28800
        EXPECT_EQ(pty.Line().handshake, i % 3 + 1);
    }
    // No other program opens the line while the port holds it.
    int exclusive = 0;
    ASSERT_EQ(::ioctl(pty.SlaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    port.Close();
    ASSERT_EQ(::ioctl(pty.SlaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

TEST_F(SerialPortTest, OpenFailsWhereTheNumberHasNoDeviceOrTheDeviceIsNoTty) {
    testing::TempDir dir;
    const std::string plainFile = dir.Write("not-a-tty", "x");
    SetSerialPortMap({{1, pty.SlavePath()}, {3, "/dev/null"}, {4, plainFile}, {5, "/dev/" + std::string(5000, 'x')}});
    for (std::uint8_t n : {2, 3, 4, 5}) {
        SCOPED_TRACE(int(n));
        Configure(9600, kHandshakeRtsCts, n);
        EXPECT_FALSE(port.Open());
        EXPECT_EQ(port.lastError, kErrPortCantOpen);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.handle, -1);
    }
}

// --- Reading and writing --------------------------------------------------------

TEST_F(SerialPortTest, ReadsKeepWhatCameBeforeATimeoutAndPurgeInDropsWhatHasArrived) {
    OpenAt();
    port.readTimeout = 30;
    ASSERT_TRUE(pty.Send({'A', 'B', 0x00, 'C', 'D'}));
    EXPECT_EQ(port.ReadString(), "AB");  // up to the NUL
    EXPECT_EQ(port.lastError, kOk);
    EXPECT_EQ(port.ReadString(), "CD");
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    ASSERT_TRUE(pty.Send({7, 8}));
    std::uint8_t buffer[5] = {};
    EXPECT_EQ(port.Read(buffer, 5), 2);
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_EQ(ByteArray(buffer, buffer + 2), (ByteArray{7, 8}));

    ASSERT_TRUE(pty.Send({1, 2, 3}));
    ASSERT_TRUE(WaitUntil([&] { return port.GetInCount() == 3; }));
    EXPECT_TRUE(port.PurgeIn());
    EXPECT_EQ(port.GetInCount(), 0);
    // A pseudo-terminal has no modem lines: no CTS says the printer is absent.
    EXPECT_TRUE(port.IsPrinterPresent());
    EXPECT_EQ(port.lastError, kOk);
}

TEST_F(SerialPortTest, AReadKeepsItsDeadlineUnderASteadySignal) {
    OpenAt();
    struct sigaction quiet {}, old {};
    quiet.sa_handler = [](int) {};  // no SA_RESTART: every tick interrupts the wait
    ASSERT_EQ(::sigaction(SIGALRM, &quiet, &old), 0);
    const itimerval every40ms{{0, 40000}, {0, 40000}}, off{};
    ::setitimer(ITIMER_REAL, &every40ms, nullptr);
    port.readTimeout = 300;
    const auto ms = testing::TimeMs([&] { port.ReadByte(); });
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &old, nullptr);
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_LT(ms, 1500);  // restarting the whole time-out at each tick never ends
}

TEST_F(SerialPortTest, AWriteThatCannotLeaveTimesOutAndIsDropped) {
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

// --- Wake-up pulse ------------------------------------------------------------------

TEST_F(SerialPortTest, WakeUpSendsOneNulAt1200BaudAndRestoresThePort) {
    // Without settings there is no line to pulse.
    port.WakeUp();
    EXPECT_EQ(port.lastError, kErrPortNotSet);
    EXPECT_EQ(port.GetSettings(), nullptr);
    EXPECT_TRUE(pty.ReadMaster(1, 50ms).empty());
    for (const bool wasOpen : {false, true}) {
        SCOPED_TRACE(wasOpen);
        if (wasOpen) OpenAt(38400, kHandshakeXonXoff);
        else Configure(9600, kHandshakeRtsCts);
        port.WakeUp();
        EXPECT_EQ(pty.ReadMaster(2, 100ms), ByteArray{0x00});
        EXPECT_EQ(port.IsOpen(), wasOpen);
        // A closed port leaves the line as the pulse set it; an open one is reopened with its settings.
        EXPECT_EQ(pty.Line().baudRate, wasOpen ? 38400u : 1200u);
        EXPECT_EQ(pty.Line().handshake, wasOpen ? kHandshakeXonXoff : kHandshakeNone);
        ExpectSettings(wasOpen ? 38400 : 9600, wasOpen ? kHandshakeXonXoff : kHandshakeRtsCts);
        port.Close();
    }
}

// --- Baud-rate probe ----------------------------------------------------------------

const ByteArray kCancel = {0x18};
const ByteArray kStatus = {0x1B, 0x76};
const ByteArray kIdent = {0x1B, 0x49};

bool Contains(const ByteArray& haystack, const ByteArray& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

struct ProbeCase {
    const char* what;
    std::uint32_t rate;  // the only rate the printer listens at
    ByteArray reply;     // its answer to the identification query
    int replyMode;
    std::string name;
    std::vector<std::uint32_t> ratesTried;
    std::uint32_t settledRate, settledHandshake, settledTimeout;  // rate 0: not checked
};

TEST_F(SerialPortTest, IdentifyProbesTheRatesFromTheFastestDown) {
    const std::vector<std::uint32_t> all = {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200};
    const ProbeCase cases[] = {
        {"label at 19200", 19200, {'V', 'R', 'K', '-', '8', 0}, -1, "VRK-8", {115200, 57600, 38400, 19200},
         19200, kHandshakeRtsCts, 2000},
        {"four-byte id", 115200, {1, 2, 0, 5}, 1, "KESTREL (1205)", {115200}, 115200, kHandshakeRtsCts, 2000},
        // Any other length identifies nothing: every rate is tried, the port is left at the last.
        {"three-byte id", 115200, {3, 3, 3}, 1, "", all, 1200, kHandshakeNone, 100},
        {"five-byte id", 115200, {3, 3, 3, 3, 3}, 1, "", all, 1200, kHandshakeNone, 100},
        // A label whose NUL never came ends the probe.
        {"label without its NUL", 115200, {'V', 'R'}, -1, "", {115200}, 0, 0, 0},
    };
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.what);
        PtyPair line;
        SetSerialPortMap({{1, line.SlavePath()}});
        CSerialPort probe;
        const SerialPortSettings s(1, 9600, kHandshakeRtsCts);
        ASSERT_TRUE(probe.SetSettings(&s));
        // A status byte for the status query, then the reply to the identification query.
        line.StartPeer([&c](const ByteArray& got, const serial::LineState& state) {
            ByteArray reply;
            if (state.baudRate != c.rate) return reply;
            if (Contains(got, kStatus)) reply.push_back(0x12);
            if (Contains(got, kIdent)) reply.insert(reply.end(), c.reply.begin(), c.reply.end());
            return reply;
        });
        EXPECT_EQ(probe.IdentifyPrinter(kStatus, kIdent, kCancel, c.replyMode), c.name);
        line.StopPeer();
        std::vector<std::uint32_t> rates;
        for (const auto& chunk : line.Chunks()) {
            if (rates.empty() || rates.back() != chunk.line.baudRate) rates.push_back(chunk.line.baudRate);
            EXPECT_EQ(chunk.line.handshake, kHandshakeNone);  // each rate is tried without flow control
        }
        EXPECT_EQ(rates, c.ratesTried);
        EXPECT_FALSE(probe.IsOpen());
        if (c.settledRate == 0) continue;
        EXPECT_EQ(SettingsOf(probe).baudRate, c.settledRate);
        EXPECT_EQ(SettingsOf(probe).handshake, c.settledHandshake);
        EXPECT_EQ(probe.readTimeout, c.settledTimeout);
    }
}

// --- Listing and numbering the ports -------------------------------------------------

TEST_F(SerialPortTest, ListsTheNumbersWhoseDeviceExists) {
    PtyPair second;
    SetSerialPortMap(
        {{1, pty.SlavePath()}, {3, "/dev/does-not-exist"}, {9, second.SlavePath()}, {16, pty.SlavePath()}});
    EXPECT_EQ(port.CountPorts(), 2);
    PortRecord records[4];
    ASSERT_EQ(port.EnumeratePorts(records, 4, false), 2);
    EXPECT_EQ(testing::Listing(records, 2),
              (std::vector<std::string>{"COM1 serial 1 0000:0000", "COM9 serial 9 0000:0000"}));
    ASSERT_NE(records[0].port, nullptr);
    EXPECT_EQ(SettingsOf(*records[0].port).baudRate, 9600u);
    EXPECT_EQ(SettingsOf(*records[0].port).handshake, kHandshakeRtsCts);
    // Numbers above 6 are listed but cannot be configured, so never opened.
    ASSERT_NE(records[1].port, nullptr);
    EXPECT_EQ(records[1].port->GetSettings(), nullptr);
    EXPECT_EQ(records[1].port->lastError, kErrPortInvalidNumber);
    EXPECT_FALSE(records[1].port->Open());

    PortRecord one[1];
    EXPECT_EQ(port.EnumeratePorts(one, 1, false), 1);
    EXPECT_STREQ(one[0].name, "COM1");
}

TEST(SerialPortMap, NumbersUartsThenUsbAdaptersFromCom1AndKeepsNumbersInRange) {
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
    // So does a map set by hand.
    ScopedSerialPortMap scoped({{0, "/dev/zero-port"}, {2, "/dev/two"}, {16, "/dev/too-high"}, {-1, "/dev/neg"}});
    EXPECT_EQ(GetSerialDevicePath(2), "/dev/two");
    EXPECT_EQ(GetSerialDevicePath(0), "/dev/zero-port");
    EXPECT_EQ(GetSerialDevicePath(16), "");
    EXPECT_EQ(GetSerialPortMap().size(), 2u);
}

// --- Receive latency ("FIFO") -----------------------------------------------------------

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
    void TearDown() override { SetSysfsRoot(""); }  // the base's scoped map restores the ports
    void SetLatency(const std::string& ms) { root.Write("sys/class/tty/ttyUSB0/device/latency_timer", ms); }
    std::string Latency() const { return root.Read("sys/class/tty/ttyUSB0/device/latency_timer"); }
    int List(bool checkFifo) {
        PortRecord records[4];
        return port.EnumeratePorts(records, 4, checkFifo);
    }

    testing::TempDir root;
    testing::RecordingMessageBoxProvider boxes;
};

TEST_F(SerialFifoTest, ASlowLatencyTimerIsReportedAndSetTo1MsWhenTheListingChecksIt) {
    SetLatency("16\n");
    EXPECT_EQ(IsFifoEnabled(2), 16u);
    ASSERT_EQ(List(false), 1);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(Latency(), "16\n");

    ASSERT_EQ(List(true), 1);
    const auto seen = boxes.Boxes();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text,
              "Apparently, the UART FIFO buffer of COM2 is enabled. \nIt has to be disabled.\nThe Application will "
              "disable it now...");
    EXPECT_EQ(seen[0].caption, "Disable UART FIFO");
    EXPECT_EQ(seen[0].flags, platform::MB_ICONHAND);
    EXPECT_EQ(seen[1].text,
              "The UART FIFO has been disabled successfully...\n\nPlease restart your system so that the modification "
              "takes effect...");
    EXPECT_EQ(seen[1].flags, platform::MB_ICONASTERISK);
    EXPECT_EQ(Latency(), "1\n");
    EXPECT_EQ(IsFifoEnabled(2), 0u);
    // Fixed now: the next listing says nothing.
    List(true);
    EXPECT_EQ(boxes.Boxes().size(), 2u);
}

TEST_F(SerialFifoTest, APortThatCannotBeToldOrFixedGetsTheErrorBoxAndAUartGoesByItsFlag) {
    // No attribute for ttyUSB0 at all.
    EXPECT_EQ(IsFifoEnabled(2), 1u);
    EXPECT_EQ(IsFifoEnabled(5), 1u);  // not in the map
    EXPECT_FALSE(DisableFifo(5, 0));
    List(true);
    const auto texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "Error while disabling FIFO buffer!!!");
    EXPECT_EQ(boxes.Boxes()[1].flags, platform::MB_ICONHAND);

    // An onboard UART is judged by its low-latency flag.
    SetSerialPortMap({{3, (root.Path() / "dev/ttyS0").string()}});
    root.Write("sys/class/tty/ttyS0/flags", "0x10000000\n");
    EXPECT_EQ(IsFifoEnabled(3), 1u);
    root.Write("sys/class/tty/ttyS0/flags", "0x10002000\n");
    EXPECT_EQ(IsFifoEnabled(3), 0u);
    // The device behind it is a pseudo-terminal, which has no such flag to set.
    EXPECT_FALSE(DisableFifo(3, 0));
}

}  // namespace
}  // namespace carillon
