// Devices that never stop talking and device lists that are not lists: the
// reads that meet them end on their own, with bounded memory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbDeviceSource.h"
#include "sim/Chatter.h"
#include "support/PortTestHelpers.h"

namespace carillon::sim {
namespace {

using Clock = std::chrono::steady_clock;

class ChatterTest : public ::testing::TestWithParam<ChatterKind> {};

TEST_P(ChatterTest, ALabelReadAndAWholeProbeEndOnTheirOwn) {
    Chatter chatter(GetParam(), "", "");
    std::string error;
    ASSERT_TRUE(chatter.Start(&error)) << error;
    ScopedSerialPortMap map({{1, chatter.DevicePath()}});
    CSerialPort port;
    SerialPortSettings settings(1, 115200, kHandshakeNone);
    ASSERT_TRUE(port.SetSettings(&settings));
    ASSERT_TRUE(port.Open());
    port.readTimeout = 100;
    const auto start = Clock::now();
    const std::string text = port.ReadString();
    EXPECT_LE(text.size(), CPort::kTextLimit);
    // Text ends at the length cap; zeros end at once, as an empty label.
    EXPECT_EQ(port.lastError, GetParam() == ChatterKind::kText ? kErrPortTextTooLong : kOk);
    EXPECT_LT(Clock::now() - start, CPort::kTextDeadline + std::chrono::milliseconds(200));
    port.Close();

    const ByteArray status{0x10, 0x04, 0x01}, ident{0x1D, 0x49, 0x43}, cancel{0x18};
    EXPECT_EQ(port.IdentifyPrinter(status, ident, cancel, -1), "");
    EXPECT_GT(chatter.Sent(), 0u);
}

INSTANTIATE_TEST_SUITE_P(TextAndZeros, ChatterTest, ::testing::Values(ChatterKind::kText, ChatterKind::kZeros));

TEST(UsbDeviceListTest, OnlyCharacterDevicesAndABoundedFileAreListed) {
    testing::UsbDevicesFile devices;
    testing::TempDir dir;
    const std::string regular = dir.Write("regular", "x");
    const std::string fifo = (dir.Path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    devices.Set({{"USB\\Vid_1209&Pid_0001\\A", regular},
                 {"USB\\Vid_1209&Pid_0001\\B", fifo},
                 {"USB\\Vid_1209&Pid_0001\\C", dir.Path().string()},
                 {"USB\\Vid_1209&Pid_0001\\D", "/dev/null"},
                 {"USB\\Vid_1209&Pid_0001\\E", "/dev/carillon-gone"}});
    const auto entries = FileUsbDeviceSource(devices.Path()).List();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].devicePath, "/dev/null");
    EXPECT_EQ(entries[1].devicePath, "/dev/carillon-gone");  // a printer that just left may come back

    EXPECT_TRUE(FileUsbDeviceSource("/dev/zero").List().empty());
    EXPECT_TRUE(FileUsbDeviceSource(fifo).List().empty());  // never blocks on a FIFO without a writer
    std::string huge(200 * 1024, 'x');
    huge += "\nUSB\\Vid_1209&Pid_0001\\F\t/dev/null\n";
    devices.SetText(huge);
    EXPECT_TRUE(FileUsbDeviceSource(devices.Path()).List().empty());
}

}  // namespace
}  // namespace carillon::sim
