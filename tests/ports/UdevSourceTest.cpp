// The libudev sources against a mocked sysfs. Needs umockdev's preload
// library, so it runs as a program of its own under umockdev-wrapper.
#include <gtest/gtest.h>

#include "ports/SerialPortMap.h"
#include "ports/UsbDeviceSource.h"
#include "ports/UsbPort.h"
#include "support/PortTestHelpers.h"

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

    // Adds a device; attributes and properties go as name, value, name, value...
    gchar* Add(const char* subsystem, const std::string& name, const gchar* parent,
               std::vector<const char*> attributes, std::vector<const char*> properties) {
        attributes.push_back(nullptr);
        properties.push_back(nullptr);
        paths.push_back(umockdev_testbed_add_devicev(testbed, subsystem, name.c_str(), parent,
                                                     const_cast<gchar**>(attributes.data()),
                                                     const_cast<gchar**>(properties.data())));
        return paths.back();
    }
    // A USB device with one interface of the given class and a usbmisc node below it.
    void AddUsbPrinter(const char* port, const char* vid, const char* pid, const char* serial, const char* cls,
                       const std::string& node) {
        std::vector<const char*> ids = {"idVendor", vid, "idProduct", pid};
        if (serial != nullptr) ids.insert(ids.end(), {"serial", serial});
        gchar* device = Add("usb", port, nullptr, ids, {"DEVTYPE", "usb_device"});
        gchar* interface = Add("usb", std::string(port) + ":1.0", device, {"bInterfaceClass", cls},
                               {"DEVTYPE", "usb_interface"});
        Add("usbmisc", node, interface, {}, {"DEVNAME", ("usb/" + node).c_str()});
    }

    UMockdevTestbed* testbed = nullptr;
    std::vector<gchar*> paths;
};

TEST_F(UdevTestbed, ListsPrinterClassNodesWithTheirIdsInPortOrder) {
    AddUsbPrinter("1-2", "F055", "0e28", nullptr, "07", "lp1");
    AddUsbPrinter("1-1", "1209", "c0de", "SN0001", "07", "lp0");
    AddUsbPrinter("1-3", "1209", "0003", "KB1", "03", "hiddev0");  // not a printer

    // Without a serial number the port path stands in.
    EXPECT_EQ(testing::Listing(UdevUsbDeviceSource().List()),
              (std::vector<std::string>{"USB\\Vid_1209&Pid_c0de\\SN0001 /dev/usb/lp0",
                                        "USB\\Vid_f055&Pid_0e28\\1-2 /dev/usb/lp1"}));
    PortRecord records[4];
    ASSERT_EQ(CUsbPort().EnumeratePorts(records, 4, false), 2);
    EXPECT_EQ(testing::Listing(records, 2), (std::vector<std::string>{"USB1 usb 1 1209:c0de", "USB2 usb 2 f055:0e28"}));
    int index = -1;
    EXPECT_TRUE(FindUsbInstance("\\SN0001", &index));
    EXPECT_EQ(index, 0);
}

TEST_F(UdevTestbed, NumbersSerialDevicesWithAUartFromCom1) {
    Add("tty", "ttyS1", nullptr, {"type", "0"}, {"DEVNAME", "ttyS1"});  // no UART behind it
    Add("tty", "ttyS0", nullptr, {"type", "4"}, {"DEVNAME", "ttyS0"});
    Add("tty", "ttyUSB0", nullptr, {}, {"DEVNAME", "ttyUSB0"});
    {
        ScopedSerialPortMap scoped({{2, "/dev/two"}});
        EXPECT_EQ(GetSerialDevicePath(2), "/dev/two");
    }  // its end goes back to udev's view
    const SerialPortMap expected = {{1, "/dev/ttyS0"}, {2, "/dev/ttyUSB0"}};
    EXPECT_EQ(GetSerialPortMap(), expected);
    EXPECT_EQ(GetSerialDevicePath(2), "/dev/ttyUSB0");
}

#else

TEST(UdevTestbed, NeedsUmockdev) { GTEST_SKIP() << "umockdev is not installed (libumockdev-dev): not tested"; }

#endif

}  // namespace
}  // namespace carillon
