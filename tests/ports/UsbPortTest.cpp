#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "ports/UsbPort.h"
#include "support/PtyPair.h"
#include "support/PortTestHelpers.h"

namespace carillon {
namespace {

using namespace std::chrono_literals;
using testing::PtyPair;
using testing::TimeMs;
using testing::WaitUntil;

const std::string kOurs = "USB\\Vid_1209&Pid_c0de\\SN0001";
const std::string kOther = "USB\\Vid_1209&Pid_beef\\1-2.4";

int QueuedAt(int fd) {
    int n = -1;
    ::ioctl(fd, FIONREAD, &n);
    return n;
}

// --- The device list -----------------------------------------------------------

class UsbDeviceList : public ::testing::Test {
protected:
    testing::UsbDevicesFile devices;
};

TEST_F(UsbDeviceList, TheFileListsOnePrinterPerWellFormedLine) {
    devices.SetText("USB\\Vid_1209&Pid_0001\\A\t/dev/a\r\n\nno tab here\n\t/dev/b\nUSB\\Vid_1209&Pid_0002\\B\t\n" +
                    kOurs + "\t/dev/usb/lp3\n");
    const auto list = MakeUsbDeviceSource()->List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].instanceId, "USB\\Vid_1209&Pid_0001\\A");
    EXPECT_EQ(list[0].devicePath, "/dev/a");
    EXPECT_EQ(list[1].instanceId, kOurs);
    EXPECT_EQ(list[1].devicePath, "/dev/usb/lp3");
    EXPECT_EQ(GetUsbPrinterCount(), 2);
    ::setenv(kUsbDevicesVariable, "/nonexistent/carillon-usb-devices", 1);
    EXPECT_EQ(GetUsbPrinterCount(), 0);
}

TEST_F(UsbDeviceList, TheEnvironmentChoosesTheSource) {
    EXPECT_NE(dynamic_cast<FileUsbDeviceSource*>(MakeUsbDeviceSource().get()), nullptr);
    ::unsetenv(kUsbDevicesVariable);
    EXPECT_NE(dynamic_cast<UdevUsbDeviceSource*>(MakeUsbDeviceSource().get()), nullptr);
}

TEST_F(UsbDeviceList, DevicePathAndInstanceIdAreCopiedWithinTheirBuffers) {
    devices.Set({{kOther, "/dev/usb/lp0"}, {kOurs, "/dev/usb/lp1"}});
    char path[kUsbPathSize];
    char id[kUsbInstanceIdSize];
    EXPECT_EQ(GetUsbDevicePath(1, path, sizeof path, id), 0);
    EXPECT_STREQ(path, "/dev/usb/lp1");
    EXPECT_STREQ(id, kOurs.c_str());
    EXPECT_EQ(GetUsbDevicePath(0, path, sizeof path, nullptr), 0);
    EXPECT_STREQ(path, "/dev/usb/lp0");
    EXPECT_EQ(GetUsbDevicePath(2, path, sizeof path, nullptr), ENOENT);
    EXPECT_EQ(GetUsbDevicePath(-1, path, sizeof path, nullptr), ENOENT);
    EXPECT_EQ(GetUsbDevicePath(0, nullptr, 10, nullptr), EINVAL);

    // Too small: refused, and nothing written past the size given.
    char small[20];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(GetUsbDevicePath(0, small, 12, nullptr), ENAMETOOLONG);
    EXPECT_TRUE(std::all_of(small + 12, small + sizeof small, [](char c) { return c == '#'; }));
}

TEST_F(UsbDeviceList, OverlongEntriesAreRefusedNotCut) {
    const std::string longId = "USB\\Vid_1209&Pid_0001\\" + std::string(300, 'S');
    const std::string longPath = "/dev/" + std::string(300, 'p');
    devices.Set({{longId, "/dev/usb/lp0"}, {kOurs, longPath}});
    char path[kUsbPathSize];
    char id[kUsbInstanceIdSize];
    EXPECT_EQ(GetUsbDevicePath(0, path, sizeof path, id), ENAMETOOLONG);
    EXPECT_EQ(GetUsbDevicePath(1, path, sizeof path, id), ENAMETOOLONG);
    std::string suffix;
    EXPECT_FALSE(GetUsbInstanceSuffix(0, suffix));
    EXPECT_FALSE(FindUsbInstance("\\" + std::string(300, 'S'), nullptr));
}

TEST_F(UsbDeviceList, SuffixesAreFoundFromTheLastEntryDown) {
    devices.Set({{kOurs, "/dev/a"}, {kOther, "/dev/b"}, {"USB\\Vid_1209&Pid_0002\\SN0001", "/dev/c"},
                 {"NoBackslash", "/dev/d"}});
    std::string suffix;
    ASSERT_TRUE(GetUsbInstanceSuffix(0, suffix));
    EXPECT_EQ(suffix, "\\SN0001");
    EXPECT_FALSE(GetUsbInstanceSuffix(3, suffix));
    EXPECT_FALSE(GetUsbInstanceSuffix(4, suffix));
    int index = -1;
    ASSERT_TRUE(FindUsbInstance("\\SN0001", &index));
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(FindUsbInstance("\\1-2.4", nullptr));
    EXPECT_FALSE(FindUsbInstance("\\SN9999", &index));
    EXPECT_FALSE(FindUsbInstance("", &index));
}

TEST(UsbIds, AreReadAfterTheirCaseSensitiveTag) {
    EXPECT_EQ(ParseUsbId("USB\\Vid_f055&Pid_0e28\\X", "Vid"), 0xf055u);
    EXPECT_EQ(ParseUsbId("USB\\Vid_f055&Pid_0e28\\X", "Pid"), 0x0e28u);
    EXPECT_EQ(ParseUsbId("USB\\VID_F055&PID_0E28\\X", "Vid"), 0u);
    EXPECT_EQ(ParseUsbId("USB\\Vidf055", "Vid"), 0u);
    EXPECT_EQ(ParseUsbId("", "Pid"), 0u);
}

TEST(UsbIds, InstanceIdsUseFourLowerCaseDigitsAndASafeInstancePart) {
    EXPECT_EQ(MakeUsbInstanceId("F055", "e28", "ABC123", "1-1"), "USB\\Vid_f055&Pid_0e28\\ABC123");
    EXPECT_EQ(MakeUsbInstanceId("1209", "0001", "", "1-1.3"), "USB\\Vid_1209&Pid_0001\\1-1.3");
    EXPECT_EQ(MakeUsbInstanceId("1209", "0001", "a\\b\tc", "1-1"), "USB\\Vid_1209&Pid_0001\\a_b_c");
}

// --- The port, against a printer on a pseudo-terminal ----------------------------

class UsbPortTest : public ::testing::Test {
protected:
    void SetUp() override { devices.Set({{kOther, other.SlavePath()}, {kOurs, printer.SlavePath()}}); }

    void OpenOurs() {
        UsbPortSettings s(2, "");
        ASSERT_TRUE(port.SetSettings(&s));
        ASSERT_TRUE(port.Open());
    }

    // Fills the line from the port's side until it takes no more, also after
    // the kernel has moved what it holds along.
    void FillLine() {
        const int fd = printer.SlaveFd();
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        std::uint8_t block[4096] = {};
        for (bool took = true; took; std::this_thread::sleep_for(20ms)) {
            took = false;
            while (::write(fd, block, sizeof block) > 0) took = true;
        }
    }

    PtyPair printer;
    PtyPair other;
    testing::UsbDevicesFile devices;
    CUsbPort port;
};

TEST_F(UsbPortTest, EnumeratesEachPrinterWithItsIds) {
    devices.Set({{kOther, other.SlavePath()}, {kOurs, printer.SlavePath()}, {"USB\\VID_1209&PID_0001\\X", "/dev/x"}});
    PortRecord records[4];
    ASSERT_EQ(port.EnumeratePorts(records, 4, true), 3);
    EXPECT_EQ(records[0].kind, kPortKindUsb);
    EXPECT_STREQ(records[0].name, "USB1");
    EXPECT_EQ(records[0].number, 1u);
    EXPECT_EQ(records[0].pid, 0xbeefu);
    EXPECT_STREQ(records[1].name, "USB2");
    EXPECT_EQ(records[1].vid, 0x1209u);
    EXPECT_EQ(records[1].pid, 0xc0deu);
    EXPECT_EQ(records[2].vid, 0u);  // written in capitals
    ASSERT_NE(records[1].port, nullptr);
    EXPECT_EQ(records[1].port->GetSettings()->number, 2);
    EXPECT_TRUE(records[1].port->Open());

    EXPECT_TRUE(port.IsSupportedDevice(1));
    EXPECT_FALSE(port.IsSupportedDevice(2));
    EXPECT_FALSE(port.IsSupportedDevice(7));

    EXPECT_EQ(port.EnumeratePorts(records, 1, false), 1);
}

TEST_F(UsbPortTest, WithNoPrintersNothingIsListedOrOpened) {
    devices.Set({});
    PortRecord records[2];
    EXPECT_EQ(port.EnumeratePorts(records, 2, false), 0);
    UsbPortSettings s(1, "");
    EXPECT_TRUE(port.SetSettings(&s));  // one past the count is let through
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.lastError, kErrPortCantOpen);
    EXPECT_FALSE(port.IsPrinterPresent());
}

TEST_F(UsbPortTest, SettingsAreCheckedAgainstTheList) {
    UsbPortSettings good(2, "");
    ASSERT_TRUE(port.SetSettings(&good));
    UsbPortSettings tooHigh(4, "");
    EXPECT_FALSE(port.SetSettings(&tooHigh));
    EXPECT_EQ(port.lastError, kErrPortInvalidNumber);
    UsbPortSettings unknown(1, "\\SN9999");
    EXPECT_FALSE(port.SetSettings(&unknown));
    EXPECT_EQ(port.lastError, kErrPortInvalidNumber);
    SerialPortSettings serial(1, 9600, 1);
    EXPECT_FALSE(port.SetSettings(&serial));
    EXPECT_EQ(port.lastError, kErrPortWrongSetting);
    EXPECT_EQ(port.GetSettings()->number, 2);

    UsbPortSettings bySuffix(1, "\\SN0001");
    ASSERT_TRUE(port.SetSettings(&bySuffix));
    auto* stored = dynamic_cast<UsbPortSettings*>(port.GetSettings());
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->number, 255);
    EXPECT_EQ(stored->instanceSuffix, "\\SN0001");
}

TEST_F(UsbPortTest, OpeningBySuffixFindsTheEntryNumber) {
    UsbPortSettings s(0, "\\SN0001");
    ASSERT_TRUE(port.SetSettings(&s));
    EXPECT_TRUE(port.IsPrinterPresent());
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.GetSettings()->number, 2);
    port.WriteByte(0x42);
    EXPECT_EQ(printer.ReadMaster(1, 1s), ByteArray{0x42});
}

TEST_F(UsbPortTest, OpenRetriesForHalfASecondBeforeGivingUp) {
    devices.Set({{kOurs, "/dev/carillon-no-such-printer"}});
    UsbPortSettings s(1, "");
    ASSERT_TRUE(port.SetSettings(&s));
    const auto ms = TimeMs([&] { EXPECT_FALSE(port.Open()); });
    EXPECT_EQ(port.lastError, kErrPortCantOpen);
    EXPECT_GE(ms, 450);
    EXPECT_LT(ms, 2000);
}

TEST_F(UsbPortTest, ReadsTheDeviceSixtyFourBytesAtATime) {
    OpenOurs();
    ByteArray data(100);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    ASSERT_TRUE(printer.Send(data));
    ASSERT_TRUE(WaitUntil([&] { return QueuedAt(printer.SlaveFd()) == 100; }));
    EXPECT_EQ(port.ReadByte(), 0);
    EXPECT_EQ(port.GetInCount(), 63);
    EXPECT_EQ(QueuedAt(printer.SlaveFd()), 36);
    std::uint8_t rest[99] = {};
    EXPECT_EQ(port.Read(rest, 99), 99);
    EXPECT_EQ(rest[98], 99);
}

TEST_F(UsbPortTest, BufferedBytesAreHandedOutWithoutTouchingTheDevice) {
    OpenOurs();
    ASSERT_TRUE(printer.Send({1, 2, 3, 4, 5}));
    ASSERT_TRUE(WaitUntil([&] { return QueuedAt(printer.SlaveFd()) == 5; }));
    EXPECT_EQ(port.ReadByte(), 1);
    ASSERT_TRUE(printer.Send({6}));
    ASSERT_TRUE(WaitUntil([&] { return QueuedAt(printer.SlaveFd()) == 1; }));
    for (std::uint8_t expected : {2, 3, 4, 5}) EXPECT_EQ(port.ReadByte(), expected);
    EXPECT_EQ(QueuedAt(printer.SlaveFd()), 1);
    EXPECT_EQ(port.ReadByte(), 6);
    EXPECT_EQ(port.lastError, kOk);
}

TEST_F(UsbPortTest, ReadByteTimesOutAfterReadTimeout) {
    OpenOurs();
    port.readTimeout = 40;
    const auto ms = TimeMs([&] { EXPECT_EQ(port.ReadByte(), 0); });
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_GE(ms, 40);
    EXPECT_LE(ms, 60);
}

TEST_F(UsbPortTest, GetInCountWaitsATenthOfASecondForData) {
    OpenOurs();
    port.readTimeout = 5000;  // not what GetInCount waits for
    int count = -1;
    const auto ms = TimeMs([&] { count = port.GetInCount(); });
    EXPECT_EQ(count, 0);
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_GE(ms, 100);
    EXPECT_LT(ms, 300);
}

TEST_F(UsbPortTest, ALongWriteArrivesWhole) {
    OpenOurs();
    ByteArray data(10000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    printer.StartPeer(nullptr);
    EXPECT_EQ(port.Write(data.data(), static_cast<int>(data.size())), 10000);
    EXPECT_EQ(port.lastError, kOk);
    ASSERT_TRUE(printer.WaitForReceived(10000, 2s));
    EXPECT_EQ(printer.Received(), data);
    EXPECT_EQ(port.Write(data.data(), 0), 0);
    EXPECT_EQ(port.lastError, kOk);
}

TEST_F(UsbPortTest, AWriteStopsAtTheFirstChunkThatTimesOut) {
    OpenOurs();
    FillLine();
    // Make room for more than one chunk of 4096 bytes and less than two.
    ASSERT_EQ(printer.ReadMaster(5000, 1s).size(), 5000u);
    std::this_thread::sleep_for(100ms);
    port.writeTimeout = 0;
    ByteArray data(10000, 0x33);
    EXPECT_EQ(port.Write(data.data(), 10000), 4096);
    EXPECT_EQ(port.lastError, kErrPortWriteTimeout);
}

TEST_F(UsbPortTest, TheWriteTimeoutGrowsWithTheChunk) {
    OpenOurs();
    FillLine();
    port.writeTimeout = 3;
    ByteArray data(40, 0x44);
    int written = -1;
    const auto ms = TimeMs([&] { written = port.Write(data.data(), 40); });
    EXPECT_EQ(written, 0);
    EXPECT_EQ(port.lastError, kErrPortWriteTimeout);
    EXPECT_GE(ms, 120);
    EXPECT_LT(ms, 1000);
}

TEST_F(UsbPortTest, PurgeInReadsUntilThePrinterIsQuiet) {
    OpenOurs();
    ASSERT_TRUE(printer.Send(ByteArray(200, 9)));
    ASSERT_TRUE(WaitUntil([&] { return QueuedAt(printer.SlaveFd()) == 200; }));
    EXPECT_TRUE(port.PurgeIn());
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_EQ(QueuedAt(printer.SlaveFd()), 0);
    EXPECT_EQ(port.GetInCount(), 0);
    EXPECT_TRUE(port.PurgeOut());
    EXPECT_EQ(port.GetOutCount(), 0);
    EXPECT_TRUE(port.WaitSent());
}

TEST_F(UsbPortTest, PurgeInIsBoundedWhileThePrinterKeepsTalking) {
    OpenOurs();
    port.flushTimeout = 150;
    std::atomic<bool> talking{true};
    std::thread chatter([&] {
        while (talking) printer.Send(ByteArray(256, 1));  // never a quiet moment
    });
    bool purged = true;
    const auto ms = TimeMs([&] { purged = port.PurgeIn(); });
    talking = false;
    chatter.join();
    // It stops at the first moment nothing is waiting, or gives up at the flush time-out.
    EXPECT_TRUE(purged || port.lastError == kErrPortPurge);
    EXPECT_LT(ms, 1000);
}

TEST_F(UsbPortTest, APrinterThatVanishesFailsReadsAndWrites) {
    OpenOurs();
    port.readTimeout = 5000;
    std::thread vanish([&] {
        std::this_thread::sleep_for(50ms);
        printer.CloseMaster();
    });
    const auto ms = TimeMs([&] { port.ReadByte(); });
    vanish.join();
    EXPECT_EQ(port.lastError, kErrPortRead);
    EXPECT_LT(ms, 2000);
    std::uint8_t b = 0;
    EXPECT_EQ(port.Write(&b, 1), 0);
    EXPECT_EQ(port.lastError, kErrPortSend);
    EXPECT_FALSE(port.PurgeIn());
}

TEST_F(UsbPortTest, AbortReleasesAWaitingRead) {
    OpenOurs();
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

TEST_F(UsbPortTest, DeviceControlIsBoundedAndFailsCleanly) {
    std::uint8_t out[8] = {};
    EXPECT_EQ(port.IoControl(TIOCGEXCL, nullptr, 0, out, sizeof out), 0);
    EXPECT_EQ(port.lastError, kErrPortNotOpen);
    EXPECT_EQ(port.GetLptStatus(), 0xFF);

    OpenOurs();
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(port.IoControl(TIOCGEXCL, nullptr, 0, out, sizeof out), 4);
    EXPECT_EQ(port.lastError, kOk);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[4], 0xEE);  // nothing beyond what the code returns
    EXPECT_EQ(port.IoControl(TIOCGEXCL, nullptr, 0, out, 2), 2);

    // A pseudo-terminal is no printer: no status, no vendor requests.
    port.SetError(0x00010010);
    EXPECT_EQ(port.GetLptStatus(), 0xFF);
    EXPECT_EQ(port.lastError, 0x00010010u);
    EXPECT_EQ(port.VendorRequest(_IOR('P', 99, int), 1, 0x0203, out, 4), 0);
    EXPECT_EQ(port.lastError, kErrPortRead);
    // A code naming a transfer larger than the port's buffer is refused.
    EXPECT_EQ(port.IoControl(_IOR('T', 0x40, char[4000]), nullptr, 0, out, sizeof out), 0);
    EXPECT_EQ(port.lastError, kErrPortRead);
}

// --- Identification ------------------------------------------------------------

const ByteArray kCancel = {0x1B, 0x49};
const ByteArray kStatus = {0x1B, 0x76};
const ByteArray kIdent = {0x1B, 0x57};

PtyPair::Responder Answering(ByteArray reply) {
    return [reply](const ByteArray& got, const serial::LineState&) {
        return std::search(got.begin(), got.end(), kIdent.begin(), kIdent.end()) != got.end() ? reply : ByteArray{};
    };
}

TEST_F(UsbPortTest, IdentifyReadsALabelUpToItsNul) {
    UsbPortSettings s(2, "");
    port.SetSettings(&s);
    printer.StartPeer(Answering({'N', 'D', 'X', ' ', '2', 0}));
    EXPECT_EQ(port.IdentifyPrinter(kStatus, kIdent, kCancel, -1), "NDX 2");
    printer.WaitForReceived(4, 1s);
    printer.StopPeer();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.readTimeout, 2000u);
    // Over USB the status query is not sent; the cancel follows the query.
    EXPECT_EQ(printer.Received(), (ByteArray{0x1B, 0x57, 0x1B, 0x49}));
}

TEST_F(UsbPortTest, IdentifyGivesNothingForALabelWithoutItsNul) {
    UsbPortSettings s(2, "");
    port.SetSettings(&s);
    printer.StartPeer(Answering({'N', 'D'}));
    EXPECT_EQ(port.IdentifyPrinter(kStatus, kIdent, kCancel, -1), "");
}

class UsbKestrelLength : public UsbPortTest, public ::testing::WithParamInterface<int> {};

TEST_P(UsbKestrelLength, OnlyAReplyOfExactlyFourBytesNamesThePrinter) {
    UsbPortSettings s(2, "");
    port.SetSettings(&s);
    const ByteArray reply = {2, 0, 1, 7, 9};
    printer.StartPeer(Answering(ByteArray(reply.begin(), reply.begin() + GetParam())));
    EXPECT_EQ(port.IdentifyPrinter(kStatus, kIdent, kCancel, 1), GetParam() == 4 ? "KESTREL (2017)" : "");
}

INSTANTIATE_TEST_SUITE_P(ThreeFourFive, UsbKestrelLength, ::testing::Values(3, 4, 5));

// --- Reconnection ----------------------------------------------------------------

TEST_F(UsbPortTest, WaitForReconnectFollowsThePrinterToItsNewEntry) {
    OpenOurs();
    PtyPair third, after;
    std::thread restart([&] {
        std::this_thread::sleep_for(60ms);
        devices.Set({{kOther, other.SlavePath()}});
        std::this_thread::sleep_for(100ms);
        devices.Set({{kOther, other.SlavePath()},
                     {"USB\\Vid_1209&Pid_0002\\X", third.SlavePath()},
                     {"USB\\Vid_1209&Pid_c0df\\SN0001", after.SlavePath()}});
    });
    const ErrorCode result = port.WaitForReconnect(3000);
    restart.join();
    EXPECT_EQ(result, kOk);
    EXPECT_EQ(port.lastError, kOk);
    EXPECT_EQ(port.GetSettings()->number, 3);
    ASSERT_TRUE(port.IsOpen());
    port.WriteByte(0x77);
    EXPECT_EQ(after.ReadMaster(1, 1s), ByteArray{0x77});
}

TEST_F(UsbPortTest, WaitForReconnectReportsAPrinterThatNeverLeft) {
    OpenOurs();
    const auto ms = TimeMs([&] { EXPECT_EQ(port.WaitForReconnect(100), kErrUsbNotGone); });
    EXPECT_EQ(port.lastError, kErrUsbNotGone);
    EXPECT_GE(ms, 100);
    EXPECT_LT(ms, 1000);
}

TEST_F(UsbPortTest, WaitForReconnectReportsAPrinterThatNeverCameBack) {
    OpenOurs();
    std::thread leave([&] {
        std::this_thread::sleep_for(30ms);
        devices.Set({{kOther, other.SlavePath()}});
    });
    EXPECT_EQ(port.WaitForReconnect(150), kErrUsbNotBack);
    leave.join();
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(UsbPortTest, WaitForReconnectNeedsAKnownPrinter) {
    EXPECT_EQ(port.WaitForReconnect(100), kErrPortNotSet);
    UsbPortSettings s(3, "");
    ASSERT_TRUE(port.SetSettings(&s));
    EXPECT_EQ(port.WaitForReconnect(100), kErrPortCantOpen);
}

}  // namespace
}  // namespace carillon
