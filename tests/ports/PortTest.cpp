#include <gtest/gtest.h>
#include <time.h>

#include <functional>
#include <thread>
#include <tuple>
#include <vector>

#include "ports/Port.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbPort.h"
#include "support/PortTestHelpers.h"
#include "support/PtyPair.h"

namespace carillon {
namespace {

using namespace std::chrono_literals;
using testing::TimeMs;
using testing::WaitUntil;

using Post = std::tuple<std::uint32_t, std::uintptr_t, std::intptr_t>;

class RecordingWindow : public platform::MessageTarget {
public:
    void PostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        posted.emplace_back(message, wParam, lParam);
    }
    std::vector<Post> posted;
};

TEST(PortBase, SetErrorStoresTheCodeAndPostsOnlyFailures) {
    CPort port;
    RecordingWindow window;
    EXPECT_EQ(port.SetError(kErrPortReadTimeout), kErrPortReadTimeout);
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_EQ(port.SetNotifyWindow(&window), &window);
    port.SetError(kOk);
    port.SetError(kErrPortSend);
    EXPECT_EQ(window.posted, (std::vector<Post>{{platform::WM_UPDATE_FAILED, kErrPortSend, 0}}));
}

TEST(PortBase, EnumerateAllPortsListsSerialPortsBeforeUsbPrinters) {
    testing::PtyPair com1, com2, usb;
    ScopedSerialPortMap map({{1, com1.SlavePath()}, {2, com2.SlavePath()}});
    testing::UsbDevicesFile devices;
    devices.Set({{"USB\\Vid_1209&Pid_0001\\SN42", usb.SlavePath()}});

    CPort finder;
    PortRecord records[8];
    ASSERT_EQ(finder.EnumerateAllPorts(records, 8, 0, false), 3);
    EXPECT_EQ(testing::Listing(records, 3),
              (std::vector<std::string>{"COM1 serial 1 0000:0000", "COM2 serial 2 0000:0000", "USB1 usb 1 1209:0001"}));
    EXPECT_NE(dynamic_cast<CUsbPort*>(records[2].port.get()), nullptr);
    // The serial ports fill the table first; the USB printer finds no room.
    PortRecord two[2];
    EXPECT_EQ(finder.EnumerateAllPorts(two, 2, 0, false), 2);
    EXPECT_STREQ(two[1].name, "COM2");
}

// --- What both device ports do alike ---------------------------------------
// Each runs against a printer on a pseudo-terminal: COM1 for the serial port,
// the only USB entry for the USB port.

enum class Link { kSerial, kUsb };

class DevicePort : public ::testing::TestWithParam<Link> {
protected:
    DevicePort() {
        devices.Set({{"USB\\Vid_1209&Pid_c0de\\SN0001", pty.SlavePath()}});
        port = Make();
    }
    std::unique_ptr<CPort> Make(bool configured = true) const {
        const SerialPortSettings serial(1, 9600, kHandshakeRtsCts);
        const UsbPortSettings usb(1, "");
        std::unique_ptr<CPort> p;
        if (GetParam() == Link::kSerial) p = std::make_unique<CSerialPort>();
        else p = std::make_unique<CUsbPort>();
        if (configured) {
            EXPECT_TRUE(p->SetSettings(GetParam() == Link::kSerial ? static_cast<const PortSettings*>(&serial) : &usb));
        }
        return p;
    }
    // Starts a read that would wait ten seconds, runs action on another
    // thread meanwhile, and expects the read to end at once with a read error.
    void ExpectReadEndedBy(const std::function<void()>& action) {
        port->readTimeout = 10000;
        std::thread other([&] {
            std::this_thread::sleep_for(50ms);
            action();
        });
        const auto ms = TimeMs([&] { port->ReadByte(); });
        other.join();
        EXPECT_EQ(port->lastError, kErrPortRead);
        EXPECT_LT(ms, 2000);
    }

    testing::PtyPair pty;
    ScopedSerialPortMap map{{{1, pty.SlavePath()}}};
    testing::UsbDevicesFile devices;
    std::unique_ptr<CPort> port;
};

TEST_P(DevicePort, OpenCloseAndIoReportThePortsStateAndChangeNothing) {
    auto bare = Make(false);
    EXPECT_FALSE(bare->Open());
    EXPECT_EQ(bare->lastError, kErrPortNotSet);
    std::uint8_t b = 1;
    EXPECT_EQ(port->Write(&b, 1), 0);
    EXPECT_EQ(port->lastError, kErrPortNotOpen);
    port->SetError(kOk);
    EXPECT_EQ(port->Read(&b, 1), 0);
    EXPECT_EQ(port->lastError, kErrPortNotOpen);
    port->SetError(kOk);
    EXPECT_TRUE(port->WaitSent());  // nothing left to send
    EXPECT_EQ(port->lastError, kErrPortNotOpen);

    ASSERT_TRUE(port->Open());
    const int fd = port->handle;
    EXPECT_TRUE(port->Open());
    EXPECT_EQ(port->lastError, kErrPortAlreadyOpen);
    EXPECT_EQ(port->handle, fd);
    EXPECT_TRUE(port->Close());
    EXPECT_EQ(port->handle, -1);
    EXPECT_TRUE(port->Close());
    EXPECT_EQ(port->lastError, kErrPortAlreadyClosed);
    EXPECT_FALSE(port->IsOpen());
}

TEST_P(DevicePort, TheDeviceIsOnlyFreeForAnotherPortOnceClosedOrDestroyed) {
    ASSERT_TRUE(port->Open());
    auto other = Make();
    EXPECT_FALSE(other->Open());
    EXPECT_EQ(other->lastError, kErrPortCantOpen);
    port->Close();
    EXPECT_TRUE(other->Open());
    other.reset();
    EXPECT_TRUE(port->Open());
    EXPECT_EQ(port->lastError, kOk);
}

TEST_P(DevicePort, BytesWrittenReachThePrinterAndItsAnswerIsRead) {
    ASSERT_TRUE(port->Open());
    const ByteArray hello = {'H', 'i', 0x00, 0xFF};
    EXPECT_EQ(port->Write(hello.data(), 4), 4);
    EXPECT_EQ(port->lastError, kOk);
    EXPECT_EQ(pty.ReadMaster(4, 1s), hello);
    ASSERT_TRUE(pty.Send({0x10, 0x00, 0x20}));
    EXPECT_TRUE(WaitUntil([&] { return port->GetInCount() == 3; }));
    EXPECT_EQ(port->ReadByte(), 0x10);
    EXPECT_EQ(port->ReadByte(), 0x00);
    EXPECT_EQ(port->lastError, kOk);
    EXPECT_EQ(port->WriteString("OK"), 2);
    EXPECT_EQ(pty.ReadMaster(2, 1s), (ByteArray{'O', 'K'}));
}

TEST_P(DevicePort, ReadByteTimesOutAfterReadTimeoutWithoutSpinning) {
    ASSERT_TRUE(port->Open());
    port->readTimeout = 300;
    std::uint8_t b = 0xAA;
    timespec before{}, after{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    const auto ms = TimeMs([&] { b = port->ReadByte(); });
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(port->lastError, kErrPortReadTimeout);
    EXPECT_GE(ms, 300);
    // A second wait of the whole time-out would show; being woken late on a
    // busy machine would not.
    EXPECT_LT(ms, 600);
    const double cpuMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
    EXPECT_LT(cpuMs, 15.0);
}

TEST_P(DevicePort, AbortReleasesAWaitingReadButNotTheNextSessionAndAVanishingPrinterFailsIo) {
    ASSERT_TRUE(port->Open());
    ExpectReadEndedBy([&] { port->Abort(); });
    port->Close();
    port->Abort();  // no read waiting: must not end a wait in the next session
    ASSERT_TRUE(port->Open());
    port->readTimeout = 30;
    port->ReadByte();
    EXPECT_EQ(port->lastError, kErrPortReadTimeout);
    ASSERT_TRUE(pty.Send({9}));
    EXPECT_EQ(port->ReadByte(), 9);
    EXPECT_EQ(port->lastError, kOk);

    ExpectReadEndedBy([&] { pty.CloseMaster(); });
    std::uint8_t b = 1;
    EXPECT_EQ(port->Write(&b, 1), 0);
    EXPECT_EQ(port->lastError, kErrPortSend);
    EXPECT_FALSE(port->PurgeIn());
    EXPECT_TRUE(port->Close());
}

INSTANTIATE_TEST_SUITE_P(Links, DevicePort, ::testing::Values(Link::kSerial, Link::kUsb),
                         [](const auto& info) { return info.param == Link::kSerial ? "Serial" : "Usb"; });

}  // namespace
}  // namespace carillon
