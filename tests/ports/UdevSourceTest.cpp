// The libudev sources against a mocked sysfs. Needs umockdev's preload
// library, so it runs as a program of its own under umockdev-wrapper.
#include <gtest/gtest.h>

#include "ports/SerialPortMap.h"
#include "ports/UsbDeviceSource.h"
#include "ports/UsbPort.h"

#ifdef CARILLON_HAVE_UMOCKDEV
#include <umockdev.h>
#endif

namespace carillon {
namespace {

#ifdef CARILLON_HAVE_UMOCKDEV

class UdevTestbed : public ::testing::Test {
protected:
    void SetUp() override {
        ::unsetenv(kUsbDevicesVariable);
        // Only a testbed in place tells whether /sys is redirected.
        testbed = umockdev_testbed_new();
        if (!umockdev_in_mock_environment()) {
            GTEST_SKIP() << "umockdev's preload library is not active: run this program under umockdev-wrapper";
        }
    }
    void TearDown() override {
        for (gchar* path : paths) g_free(path);
        if (testbed != nullptr) g_object_unref(testbed);
    }

    // A USB device with one interface of the given class and a usbmisc node below it.
    void AddUsbPrinter(const char* port, const char* vid, const char* pid, const char* serial, const char* cls,
                       const char* node) {
        gchar* device = serial != nullptr
                            ? umockdev_testbed_add_device(testbed, "usb", port, nullptr, "idVendor", vid, "idProduct",
                                                          pid, "serial", serial, nullptr, "DEVTYPE", "usb_device",
                                                          nullptr)
                            : umockdev_testbed_add_device(testbed, "usb", port, nullptr, "idVendor", vid, "idProduct",
                                                          pid, nullptr, "DEVTYPE", "usb_device", nullptr);
        const std::string interfaceName = std::string(port) + ":1.0";
        gchar* interface = umockdev_testbed_add_device(testbed, "usb", interfaceName.c_str(), device,
                                                       "bInterfaceClass", cls, nullptr, "DEVTYPE", "usb_interface",
                                                       nullptr);
        const std::string devname = std::string("usb/") + node;
        gchar* misc = umockdev_testbed_add_device(testbed, "usbmisc", node, interface, nullptr, "DEVNAME",
                                                  devname.c_str(), nullptr);
        paths.insert(paths.end(), {device, interface, misc});
    }

    UMockdevTestbed* testbed = nullptr;
    std::vector<gchar*> paths;
};

TEST_F(UdevTestbed, ListsPrinterClassNodesWithTheirIdsInPortOrder) {
    AddUsbPrinter("1-2", "F055", "0e28", nullptr, "07", "lp1");
    AddUsbPrinter("1-1", "1209", "c0de", "SN0001", "07", "lp0");
    AddUsbPrinter("1-3", "1209", "0003", "KB1", "03", "hiddev0");  // not a printer

    const auto list = UdevUsbDeviceSource().List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].instanceId, "USB\\Vid_1209&Pid_c0de\\SN0001");
    EXPECT_EQ(list[0].devicePath, "/dev/usb/lp0");
    // Without a serial number the port path stands in.
    EXPECT_EQ(list[1].instanceId, "USB\\Vid_f055&Pid_0e28\\1-2");
    EXPECT_EQ(list[1].devicePath, "/dev/usb/lp1");

    PortRecord records[4];
    ASSERT_EQ(CUsbPort().EnumeratePorts(records, 4, false), 2);
    EXPECT_EQ(records[0].vid, 0x1209u);
    EXPECT_EQ(records[0].pid, 0xc0deu);
    EXPECT_EQ(records[1].vid, 0xf055u);
    int index = -1;
    EXPECT_TRUE(FindUsbInstance("\\SN0001", &index));
    EXPECT_EQ(index, 0);
}

TEST_F(UdevTestbed, NumbersSerialDevicesWithAUartFromCom1) {
    paths.push_back(umockdev_testbed_add_device(testbed, "tty", "ttyS1", nullptr, "type", "0", nullptr, "DEVNAME",
                                                "ttyS1", nullptr));
    paths.push_back(umockdev_testbed_add_device(testbed, "tty", "ttyS0", nullptr, "type", "4", nullptr, "DEVNAME",
                                                "ttyS0", nullptr));
    paths.push_back(
        umockdev_testbed_add_device(testbed, "tty", "ttyUSB0", nullptr, nullptr, "DEVNAME", "ttyUSB0", nullptr));
    ResetSerialPortMap();
    const SerialPortMap expected = {{1, "/dev/ttyS0"}, {2, "/dev/ttyUSB0"}};
    EXPECT_EQ(GetSerialPortMap(), expected);
    EXPECT_EQ(GetSerialDevicePath(2), "/dev/ttyUSB0");
}

#else

TEST(UdevTestbed, NeedsUmockdev) { GTEST_SKIP() << "umockdev is not installed (libumockdev-dev): not tested"; }

#endif

}  // namespace
}  // namespace carillon
