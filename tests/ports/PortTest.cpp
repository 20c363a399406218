#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "ports/Port.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbPort.h"
#include "support/PtyPair.h"
#include "support/PortTestHelpers.h"

namespace carillon {
namespace {

struct Posted {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

class RecordingWindow : public platform::MessageTarget {
public:
    void PostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        posted.push_back({message, wParam, lParam});
    }
    std::vector<Posted> posted;
};

TEST(PortBase, SetErrorStoresTheCodeAndPostsOnlyFailures) {
    CPort port;
    RecordingWindow window;
    EXPECT_EQ(port.SetError(kErrPortReadTimeout), kErrPortReadTimeout);
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);

    EXPECT_EQ(port.SetNotifyWindow(&window), &window);
    port.SetError(kOk);
    EXPECT_TRUE(window.posted.empty());
    port.SetError(kErrPortSend);
    ASSERT_EQ(window.posted.size(), 1u);
    EXPECT_EQ(window.posted[0].message, platform::WM_UPDATE_FAILED);
    EXPECT_EQ(window.posted[0].wParam, kErrPortSend);
    EXPECT_EQ(window.posted[0].lParam, 0);
}

TEST(PortBase, APlainPortAnswersEveryDeviceOperationWithItsDefault) {
    CPort port;
    port.SetError(0x12345678);
    std::uint8_t b = 0;
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.Close());
    EXPECT_FALSE(port.IsPrinterPresent());
    EXPECT_TRUE(port.IsSupportedDevice(0));
    EXPECT_FALSE(port.SetSettings(nullptr));
    EXPECT_EQ(port.GetSettings(), nullptr);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.WaitSent());
    EXPECT_EQ(port.Write(&b, 1), 0);
    EXPECT_EQ(port.Read(&b, 1), -1);
    EXPECT_EQ(port.GetInCount(), 0);
    EXPECT_EQ(port.GetOutCount(), 0);
    EXPECT_FALSE(port.PurgeIn());
    EXPECT_FALSE(port.PurgeOut());
    EXPECT_EQ(port.CountPorts(), 0);
    EXPECT_EQ(port.GetLptStatus(), 0xFF);
    EXPECT_EQ(port.VendorRequest(1, 2, 3, &b, 1), 0);
    EXPECT_EQ(port.IoControl(1, nullptr, 0, &b, 1), 0);
    EXPECT_EQ(port.IdentifyPrinter({}, {}, {}, -1), "");
    EXPECT_EQ(port.EnumeratePorts(nullptr, 0, false), 0);
    port.WakeUp();
    port.Abort();
    EXPECT_EQ(port.lastError, 0x12345678u);
    EXPECT_EQ(port.readTimeout, 2000u);
    EXPECT_EQ(port.writeTimeout, 1000u);
    EXPECT_EQ(port.flushTimeout, 5000u);
}

TEST(PortBase, EnumerateAllPortsListsSerialPortsBeforeUsbPrinters) {
    testing::PtyPair com1, com2, usb;
    ScopedSerialPortMap map({{1, com1.SlavePath()}, {2, com2.SlavePath()}});
    testing::UsbDevicesFile devices;
    devices.Set({{"USB\\Vid_1209&Pid_0001\\SN42", usb.SlavePath()}});

    CPort finder;
    PortRecord records[8];
    ASSERT_EQ(finder.EnumerateAllPorts(records, 8, 0, false), 3);
    EXPECT_STREQ(records[0].name, "COM1");
    EXPECT_STREQ(records[1].name, "COM2");
    EXPECT_EQ(records[1].kind, kPortKindSerial);
    EXPECT_STREQ(records[2].name, "USB1");
    EXPECT_EQ(records[2].kind, kPortKindUsb);
    EXPECT_EQ(records[2].vid, 0x1209u);
    EXPECT_NE(dynamic_cast<CUsbPort*>(records[2].port.get()), nullptr);

    // The serial ports fill the table first; the USB printer finds no room.
    PortRecord two[2];
    EXPECT_EQ(finder.EnumerateAllPorts(two, 2, 0, false), 2);
    EXPECT_STREQ(two[1].name, "COM2");
}

}  // namespace
}  // namespace carillon
