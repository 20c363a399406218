#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <numeric>
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

// --- The device list -----------------------------------------------------------

class UsbDeviceList : public ::testing::Test {
protected:
    testing::UsbDevicesFile devices;
};

TEST_F(UsbDeviceList, TheFileListsWellFormedLinesWhosePathIsACharacterDeviceOrGone) {
    testing::TempDir dir;
    const std::string fifo = (dir.Path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A regular file, a FIFO and a directory are no printers; a printer that just left may come back.
    devices.SetText("USB\\Vid_1209&Pid_0001\\A\t/dev/a\r\n\nno tab here\n\t/dev/b\nUSB\\Vid_1209&Pid_0002\\B\t\n" +
                    kOther + "\t" + dir.Write("regular", "x") + "\n" + kOther + "\t" + fifo + "\n" + kOther + "\t" +
                    dir.Path().string() + "\n" + kOurs + "\t/dev/null\n");
    EXPECT_EQ(testing::Listing(MakeUsbDeviceSource()->List()),
              (std::vector<std::string>{"USB\\Vid_1209&Pid_0001\\A /dev/a", kOurs + " /dev/null"}));
    EXPECT_EQ(GetUsbPrinterCount(), 2);
    // Reading a list ends, with bounded memory: no wait on a FIFO without a writer, nothing from a huge file.
    for (const std::string& notAList : {std::string("/dev/zero"), fifo})
        EXPECT_TRUE(FileUsbDeviceSource(notAList).List().empty()) << notAList;
    devices.SetText(std::string(200 * 1024, 'x') + "\n" + kOurs + "\t/dev/null\n");
    EXPECT_EQ(GetUsbPrinterCount(), 0);
    ::setenv(kUsbDevicesVariable, "/nonexistent/carillon-usb-devices", 1);
    EXPECT_EQ(GetUsbPrinterCount(), 0);
}

TEST_F(UsbDeviceList, EntriesAreCopiedWholeOrRefusedAndSuffixesFoundFromTheLastEntryDown) {
    const std::string longId = "USB\\Vid_1209&Pid_0001\\" + std::string(300, 'S');
    devices.Set({{kOther, "/dev/usb/lp0"}, {kOurs, "/dev/usb/lp1"}, {longId, "/dev/usb/lp2"},
                 {kOurs, "/dev/" + std::string(300, 'p')}, {"USB\\Vid_1209&Pid_0002\\SN0001", "/dev/c"},
                 {"NoBackslash", "/dev/d"}});
    char path[kUsbPathSize];
    char id[kUsbInstanceIdSize];
    EXPECT_EQ(GetUsbDevicePath(1, path, sizeof path, id), 0);
    EXPECT_STREQ(path, "/dev/usb/lp1");
    EXPECT_STREQ(id, kOurs.c_str());
    EXPECT_EQ(GetUsbDevicePath(0, path, sizeof path, nullptr), 0);
    EXPECT_STREQ(path, "/dev/usb/lp0");
    EXPECT_EQ(GetUsbDevicePath(6, path, sizeof path, nullptr), ENOENT);
    EXPECT_EQ(GetUsbDevicePath(-1, path, sizeof path, nullptr), ENOENT);
    EXPECT_EQ(GetUsbDevicePath(0, nullptr, 10, nullptr), EINVAL);
    // An id or path that does not fit is refused rather than cut short.
    EXPECT_EQ(GetUsbDevicePath(2, path, sizeof path, id), ENAMETOOLONG);
    EXPECT_EQ(GetUsbDevicePath(3, path, sizeof path, id), ENAMETOOLONG);
    std::string suffix;
    EXPECT_FALSE(GetUsbInstanceSuffix(2, suffix));
    EXPECT_FALSE(FindUsbInstance("\\" + std::string(300, 'S'), nullptr));
    // Too small a buffer: nothing is written past the size given.
    char small[20];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(GetUsbDevicePath(0, small, 12, nullptr), ENAMETOOLONG);
    EXPECT_TRUE(std::all_of(small + 12, small + sizeof small, [](char c) { return c == '#'; }));

    ASSERT_TRUE(GetUsbInstanceSuffix(1, suffix));
    EXPECT_EQ(suffix, "\\SN0001");
    EXPECT_FALSE(GetUsbInstanceSuffix(5, suffix));
    EXPECT_FALSE(GetUsbInstanceSuffix(6, suffix));
    int index = -1;
    ASSERT_TRUE(FindUsbInstance("\\SN0001", &index));
    EXPECT_EQ(index, 4);
    EXPECT_TRUE(FindUsbInstance("\\1-2.4", nullptr));
    EXPECT_FALSE(FindUsbInstance("\\SN9999", &index));
    EXPECT_FALSE(FindUsbInstance("", &index));
}

TEST(UsbIds, AreReadAfterTheirCaseSensitiveTagAndWrittenWithFourLowerCaseDigits) {
    EXPECT_EQ(ParseUsbId("USB\\Vid_f055&Pid_0e28\\X", "Vid"), 0xf055u);
    EXPECT_EQ(ParseUsbId("USB\\Vid_f055&Pid_0e28\\X", "Pid"), 0x0e28u);
    EXPECT_EQ(ParseUsbId("USB\\VID_F055&PID_0E28\\X", "Vid"), 0u);
    EXPECT_EQ(ParseUsbId("USB\\Vidf055", "Vid"), 0u);
    EXPECT_EQ(ParseUsbId("", "Pid"), 0u);
    // The instance part is the serial number, else the port path, made safe.
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

    // Bytes the printer sent that the port has not read from the device yet.
    int Queued() const {
        int n = -1;
        ::ioctl(printer.SlaveFd(), FIONREAD, &n);
        return n;
    }

    PtyPair printer;
    PtyPair other;
    testing::UsbDevicesFile devices;
    CUsbPort port;
};

TEST_F(UsbPortTest, EnumeratesEachPrinterWithItsIdsAndAPortReadyToOpen) {
    PortRecord records[3];
    ASSERT_EQ(port.EnumeratePorts(records, 3, true), 2);
    EXPECT_EQ(testing::Listing(records, 2), (std::vector<std::string>{"USB1 usb 1 1209:beef", "USB2 usb 2 1209:c0de"}));
    EXPECT_TRUE(records[1].port->Open());
    EXPECT_EQ(port.EnumeratePorts(records, 1, false), 1);
    EXPECT_TRUE(port.IsSupportedDevice(1));
    EXPECT_FALSE(port.IsSupportedDevice(2));
    EXPECT_FALSE(port.IsSupportedDevice(7));
}

TEST_F(UsbPortTest, SettingsAreCheckedAgainstTheList) {
    const UsbPortSettings good(2, ""), tooHigh(4, ""), unknown(1, "\\SN9999");
    const SerialPortSettings serial(1, 9600, 1);
    ASSERT_TRUE(port.SetSettings(&good));
    const std::pair<const PortSettings*, ErrorCode> refused[] = {
        {&tooHigh, kErrPortInvalidNumber}, {&unknown, kErrPortInvalidNumber}, {&serial, kErrPortWrongSetting}};
    for (const auto& [settings, code] : refused) {
        EXPECT_FALSE(port.SetSettings(settings));
        EXPECT_EQ(port.lastError, code);
    }
    EXPECT_EQ(port.GetSettings()->number, 2);

    // A suffix chooses the printer: the number is 255 until an open finds its entry.
    const UsbPortSettings bySuffix(0, "\\SN0001");
    ASSERT_TRUE(port.SetSettings(&bySuffix));
    auto* stored = dynamic_cast<UsbPortSettings*>(port.GetSettings());
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->number, 255);
    EXPECT_EQ(stored->instanceSuffix, "\\SN0001");
    EXPECT_TRUE(port.IsPrinterPresent());
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.GetSettings()->number, 2);
    port.WriteByte(0x42);
    EXPECT_EQ(printer.ReadMaster(1, 1s), ByteArray{0x42});
}

TEST_F(UsbPortTest, OpenFailsWithoutAnEntryAndRetriesHalfASecondForAnEntryThatWillNotOpen) {
    devices.Set({});
    PortRecord records[2];
    EXPECT_EQ(port.EnumeratePorts(records, 2, false), 0);
    UsbPortSettings s(1, "");
    EXPECT_TRUE(port.SetSettings(&s));  // one past the count is let through
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.lastError, kErrPortCantOpen);
    EXPECT_FALSE(port.IsPrinterPresent());

    devices.Set({{kOurs, "/dev/carillon-no-such-printer"}});
    const auto ms = TimeMs([&] { EXPECT_FALSE(port.Open()); });
    EXPECT_EQ(port.lastError, kErrPortCantOpen);
    EXPECT_GE(ms, 450);
    EXPECT_LT(ms, 2000);
}

TEST_F(UsbPortTest, ReadsTheDeviceSixtyFourBytesAtATimeAndHandsOutTheBufferFirst) {
    OpenOurs();
    ByteArray data(100);
    std::iota(data.begin(), data.end(), 0);
    ASSERT_TRUE(printer.Send(data));
    ASSERT_TRUE(WaitUntil([&] { return Queued() == 100; }));
    EXPECT_EQ(port.ReadByte(), 0);
    EXPECT_EQ(port.GetInCount(), 63);
    EXPECT_EQ(Queued(), 36);
    // More arrives; what is buffered is handed out without touching the device.
    ASSERT_TRUE(printer.Send({200}));
    ASSERT_TRUE(WaitUntil([&] { return Queued() == 37; }));
    std::uint8_t rest[100] = {};
    EXPECT_EQ(port.Read(rest, 63), 63);
    EXPECT_EQ(rest[62], 63);
    EXPECT_EQ(Queued(), 37);
    EXPECT_EQ(port.Read(rest, 37), 37);
    EXPECT_EQ(ByteArray(rest + 35, rest + 37), (ByteArray{99, 200}));
    EXPECT_EQ(port.lastError, kOk);
}

// Purging reads until the printer is quiet, or gives up at the flush
// time-out while it keeps talking.
TEST_F(UsbPortTest, PurgeInDrainsTheDeviceWithinTheFlushTimeout) {
    OpenOurs();
    ASSERT_TRUE(printer.Send(ByteArray(200, 9)));
    ASSERT_TRUE(WaitUntil([&] { return Queued() == 200; }));
    EXPECT_TRUE(port.PurgeIn());
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_EQ(Queued(), 0);

    port.flushTimeout = 150;
    std::atomic<bool> talking{true};
    std::thread chatter([&] {
        while (talking) printer.Send(ByteArray(256, 1));  // never a quiet moment
    });
    bool purged = true;
    const auto ms = TimeMs([&] { purged = port.PurgeIn(); });
    talking = false;
    chatter.join();
    EXPECT_TRUE(purged || port.lastError == kErrPortPurge);
    EXPECT_LT(ms, 1000);
}

TEST_F(UsbPortTest, GetInCountWaitsATenthOfASecondForData) {
    OpenOurs();
    port.readTimeout = 5000;
    int count = -1;
    const auto ms = TimeMs([&] { count = port.GetInCount(); });
    EXPECT_EQ(count, 0);
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_GE(ms, 100);
    EXPECT_LT(ms, 2500);  // half the reading time-out would show
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

TEST_F(UsbPortTest, IdentifySendsTheQueryAndTheCancelOnlyAndNamesACompleteReply) {
    const ByteArray ident = {0x1B, 0x57}, cancel = {0x1B, 0x49};
    const struct {
        ByteArray reply;
        int replyMode;
        std::string name;
    } cases[] = {
        {{'N', 'D', 'X', ' ', '2', 0}, -1, "NDX 2"},
        {{'N', 'D'}, -1, ""},  // a label whose NUL never came
        {{2, 0, 1}, 1, ""},    // a four-byte id, and only that, names the printer
        {{2, 0, 1, 7}, 1, "KESTREL (2017)"},
        {{2, 0, 1, 7, 9}, 1, ""},
    };
    const UsbPortSettings s(2, "");
    ASSERT_TRUE(port.SetSettings(&s));
    ByteArray sent;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.size());
        printer.StartPeer([&](const ByteArray& got, const serial::LineState&) {
            return std::search(got.begin(), got.end(), ident.begin(), ident.end()) != got.end() ? c.reply : ByteArray{};
        });
        EXPECT_EQ(port.IdentifyPrinter({0x1B, 0x76}, ident, cancel, c.replyMode), c.name);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.readTimeout, 2000u);
        // Over USB the status query is not sent; the cancel follows the query.
        sent.insert(sent.end(), {0x1B, 0x57, 0x1B, 0x49});
        printer.WaitForReceived(sent.size(), 1s);
        printer.StopPeer();
        EXPECT_EQ(printer.Received(), sent);
    }
}

}  // namespace
}  // namespace carillon
