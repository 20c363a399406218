// The USB port against a model of the kernel's USB printer driver: writes
// that complete after write() returns, a close that kills what is in flight,
// errors a non-blocking writer never sees.

#include <gtest/gtest.h>

#include "monitor/MonitorSession.h"
#include "package/Element.h"
#include "support/PortTestHelpers.h"
#include "support/SimPrinter.h"
#include "support/UsbDriverModel.h"

namespace carillon {
namespace {

using testing::TimeMs;
using testing::UsbDriverModel;

const std::string kA = "USB\\Vid_1209&Pid_c0de\\SN-A";
const std::string kB = "USB\\Vid_1209&Pid_c0de\\SN-B";

// The port's tests below rely on these two of the model's ways: were they
// lost, those tests would pass without proving anything.
TEST(UsbDriverModelTest, AWriteReturnsBeforeItsBytesArriveAndCloseKillsIt) {
    UsbDriverModel model(100);  // 100 bytes a second
    model.Plug(kA);
    const int fd = model.Open(model.List()[0].devicePath.c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(model.Write(fd, ByteArray(100, 7).data(), 100), 100);
    EXPECT_TRUE(model.Received(kA).empty());
    EXPECT_EQ(model.Write(fd, ByteArray(1, 7).data(), 1), -1);  // one transfer at a time
    EXPECT_EQ(errno, EAGAIN);
    model.Close(fd);
    EXPECT_EQ(model.Cancelled(), 100u);
    EXPECT_TRUE(model.Received(kA).empty());
}

// --- The port over the model -----------------------------------------------------

class UsbPortOverTheDriver : public ::testing::Test {
protected:
    // A model whose first entry is a virtual printer, or a sink that records,
    // and a port on that entry, made once the model stands in for the driver.
    void Start(std::uint32_t bytesPerSecond, std::size_t maxTransfer = 8192, bool withPrinter = true) {
        if (withPrinter) printer = std::make_unique<sim::VirtualPrinter>(config);
        model = std::make_unique<UsbDriverModel>(bytesPerSecond, maxTransfer);
        model->Plug(withPrinter ? config.usbInstanceId : kA, printer.get());
        port = std::make_unique<CUsbPort>();
        const UsbPortSettings settings(1, "");
        ASSERT_TRUE(port->SetSettings(&settings));
    }
    sim::PrinterConfig config;
    std::unique_ptr<sim::VirtualPrinter> printer;  // the members go in reverse: the port first
    std::unique_ptr<UsbDriverModel> model;
    std::unique_ptr<CUsbPort> port;
};

// The monitor command and the leave command would be lost if closing did not
// wait for the driver; the data goes out in transfers the driver takes in part.
TEST_F(UsbPortOverTheDriver, TheMonitorIsEnteredWrittenAndLeftThroughShortAsynchronousWrites) {
    config.usbReenumerateMs = 50;
    Start(300, 64);  // the three wake-up bytes take 10 ms: a close at once would kill them
    CMonitorSession session;
    session.m_timing = MonitorTiming{}.Scaled(0.1);
    ASSERT_EQ(session.Connect(port.get(), true, 0), kOk);
    EXPECT_TRUE(printer->InMonitor());
    const ByteArray data = testing::Pattern(2 * 150, 22);  // packets of 200 bytes, transfers of 64
    ASSERT_EQ(session.WriteFlash(kDspFlash, kCodeCrypted, 0x8000, 150, data.data(), nullptr, 0, 10), kOk);
    EXPECT_EQ(printer->ReadFlash(kDspFlash, 0x8000, 150), data);
    EXPECT_EQ(session.LeaveMonitorMode(), kOk);
    EXPECT_FALSE(printer->InMonitor());
    EXPECT_EQ(model->Cancelled(), 0u);
}

TEST_F(UsbPortOverTheDriver, IdentificationSendsTheCancelBeforeClosing) {
    Start(2000);
    EXPECT_NE(port->IdentifyPrinter({0x1B, 0x76}, {0x1B, 0x49}, {0x18}, -1), "");
    EXPECT_EQ(port->lastError, kOk);
    EXPECT_EQ(printer->NormalModeBytes(), (ByteArray{0x1B, 0x49, 0x18}));
    EXPECT_EQ(model->Cancelled(), 0u);
}

TEST_F(UsbPortOverTheDriver, AStuckTransferTimesOutPerChunkAndIsCancelled) {
    Start(1'000'000, 8192, false);
    ASSERT_TRUE(port->Open());
    port->writeTimeout = 3;
    model->Stall();
    int written = -1;
    const auto ms = TimeMs([&] { written = port->Write(ByteArray(40, 1).data(), 40); });
    EXPECT_EQ(written, 0);
    EXPECT_EQ(port->lastError, kErrPortWriteTimeout);
    EXPECT_GE(ms, 120);  // 3 ms a byte
    EXPECT_EQ(model->Cancelled(), 40u);

    // 4096, 4096, then a stuck 1808: the first two chunks are what was written.
    port->writeTimeout = 1;
    model->Stall(2);
    const ByteArray data = testing::Pattern(10000);
    EXPECT_EQ(port->Write(data.data(), 10000), 8192);
    EXPECT_EQ(port->lastError, kErrPortWriteTimeout);
    EXPECT_EQ(model->Received(kA), ByteArray(data.begin(), data.begin() + 8192));

    // The port was opened again: the next write goes through.
    model->Unstall();
    EXPECT_EQ(port->Write(data.data(), 10000), 10000);
    EXPECT_EQ(port->lastError, kOk);
    EXPECT_EQ(model->Received(kA).size(), 8192u + 10000u);
    EXPECT_TRUE(port->Close());
    EXPECT_EQ(port->GetLptStatus(), 0xFF);
}

TEST_F(UsbPortOverTheDriver, WaitForReconnectFollowsThePrinterItOpened) {
    model = std::make_unique<UsbDriverModel>();
    model->Plug(kA);
    model->Plug(kB);
    port = std::make_unique<CUsbPort>();
    EXPECT_EQ(port->WaitForReconnect(100), kErrPortNotSet);
    const UsbPortSettings unlisted(3, "");  // one past the list: no printer to wait for
    ASSERT_TRUE(port->SetSettings(&unlisted));
    EXPECT_EQ(port->WaitForReconnect(100), kErrPortCantOpen);
    const UsbPortSettings first(1, "");
    ASSERT_TRUE(port->SetSettings(&first));
    ASSERT_TRUE(port->Open());
    EXPECT_EQ(port->GetLptStatus(), 0x18);

    // A has left before the wait begins; B now holds entry 1.
    model->Unplug(kA);
    EXPECT_EQ(port->WaitForReconnect(150), kErrUsbNotBack);
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->lastError, kErrPortCantOpen);

    // A comes back, after B: the port finds it there.
    model->Plug(kA);
    ASSERT_TRUE(port->Open());
    EXPECT_EQ(port->GetSettings()->number, 2);
    // It restarts; meanwhile a third printer arrives before it.
    model->Unplug(kA);
    model->Plug("USB\\Vid_1209&Pid_0002\\X");
    model->Plug(kA);
    EXPECT_EQ(port->WaitForReconnect(1000), kOk);
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(port->GetSettings()->number, 3);
    port->WriteByte(0x42);
    EXPECT_EQ(model->Received(kA), ByteArray{0x42});
    EXPECT_TRUE(model->Received(kB).empty());

    // A printer that never leaves.
    const auto ms = TimeMs([&] { EXPECT_EQ(port->WaitForReconnect(100), kErrUsbNotGone); });
    EXPECT_GE(ms, 100);
}

}  // namespace
}  // namespace carillon
