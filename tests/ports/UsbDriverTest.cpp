// The USB port against a model of the kernel's USB printer driver: writes
// that complete after write() returns, a close that kills what is in flight,
// errors a non-blocking writer never sees.

#include <gtest/gtest.h>
#include <linux/lp.h>

#include <functional>

#include "engine/CommandGenerator.h"
#include "monitor/MonitorSession.h"
#include "sim/VerifyPackage.h"
#include "support/PortTestHelpers.h"
#include "support/SimPrinter.h"
#include "support/UsbDriverModel.h"

namespace carillon {
namespace {

using testing::TimeMs;
using testing::UsbDriverModel;

const std::string kA = "USB\\Vid_1209&Pid_c0de\\SN-A";
const std::string kB = "USB\\Vid_1209&Pid_c0de\\SN-B";

// --- The model itself ------------------------------------------------------------

TEST(UsbDriverModelTest, BehavesAsTheDriverDoes) {
    // 100 bytes a second: a 100-byte transfer takes a second, a 20-byte one a fifth.
    struct Row {
        const char* behaviour;
        std::function<std::string(UsbDriverModel&, int fd)> run;
        std::string expected;
    };
    auto write = [](UsbDriverModel& m, int fd, std::size_t n) { return m.Write(fd, ByteArray(n, 7).data(), n); };
    auto pollOut = [](UsbDriverModel& m, int fd, int ms) {
        pollfd p{fd, POLLOUT, 0};
        return m.Poll(&p, 1, ms) == 1 ? std::to_string(p.revents) : std::string("none");
    };
    // Each step's outcome, in the order the steps ran.
    auto join = [](std::initializer_list<std::string> parts) {
        std::string text;
        for (const auto& p : parts) text += (text.empty() ? "" : " ") + p;
        return text;
    };
    const Row rows[] = {
        {"a write returns at once, before its bytes arrive; one transfer at a time",
         [&](UsbDriverModel& m, int fd) {
             const auto n = write(m, fd, 100);
             const auto received = m.Received(kA).size();
             const auto second = write(m, fd, 1);
             const bool again = errno == EAGAIN;
             return join({std::to_string(n), std::to_string(received), std::to_string(second), std::to_string(again)});
         },
         "100 0 -1 1"},
        {"POLLOUT once nothing is pending, and the bytes have arrived",
         [&](UsbDriverModel& m, int fd) {
             write(m, fd, 20);
             const auto early = pollOut(m, fd, 0);
             const auto late = pollOut(m, fd, 5000);
             return join({early, late, std::to_string(m.Received(kA).size())});
         },
         "none 4 20"},
        {"close kills the pending transfer",
         [&](UsbDriverModel& m, int fd) {
             write(m, fd, 100);
             m.Close(fd);
             return join({std::to_string(m.Cancelled()), std::to_string(m.Received(kA).size())});
         },
         "100 0"},
        {"a stalled transfer never completes, and no call reports it",
         [&](UsbDriverModel& m, int fd) {
             m.Stall();
             const auto n = write(m, fd, 1);
             return join({std::to_string(n), pollOut(m, fd, 50)});
         },
         "1 none"},
        {"one open at a time; the status answers",
         [&](UsbDriverModel& m, int fd) {
             const int second = m.Open(("usb-model:" + kA).c_str());
             const bool busy = errno == EBUSY;
             int status = 0;
             m.Ioctl(fd, LPGETSTATUS, &status);
             return join({std::to_string(second), std::to_string(busy), std::to_string(status)});
         },
         "-1 1 24"},
        {"a device that leaves hangs up and fails writes",
         [&](UsbDriverModel& m, int fd) {
             m.Unplug(kA);
             const auto events = pollOut(m, fd, 0);
             const auto n = write(m, fd, 1);
             return join({events, std::to_string(n), std::to_string(m.List().size())});
         },
         std::to_string(POLLOUT | POLLHUP | POLLERR) + " -1 0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        UsbDriverModel model(100);
        model.Plug(kA);
        ASSERT_EQ(model.List().size(), 1u);
        const int fd = model.Open(model.List()[0].devicePath.c_str());
        ASSERT_GE(fd, 0);
        EXPECT_EQ(row.run(model, fd), row.expected);
    }
}

// --- The port over the model -----------------------------------------------------

TEST(UsbPortOverTheDriver, TheMonitorCommandWouldBeLostWithoutWaitingForTheDriver) {
    sim::PrinterConfig config;
    config.usbReenumerateMs = 50;
    sim::VirtualPrinter printer(config);
    UsbDriverModel model(300);  // the three bytes take 10 ms: a close at once would kill them
    model.Plug(config.usbInstanceId, &printer);
    CUsbPort port;
    const UsbPortSettings settings(1, "");
    ASSERT_TRUE(port.SetSettings(&settings));
    CMonitorSession session;
    session.m_timing = MonitorTiming{}.Scaled(0.1);
    ASSERT_EQ(session.Connect(&port, true, 0), kOk);
    EXPECT_TRUE(printer.InMonitor());
    EXPECT_EQ(model.Cancelled(), 0u);
    EXPECT_EQ(session.LeaveMonitorMode(), kOk);
    EXPECT_FALSE(printer.InMonitor());
}

TEST(UsbPortOverTheDriver, IdentificationSendsTheCancelBeforeClosing) {
    sim::PrinterConfig config;
    sim::VirtualPrinter printer(config);
    UsbDriverModel model(2000);
    model.Plug(config.usbInstanceId, &printer);
    CUsbPort port;
    const UsbPortSettings settings(1, "");
    ASSERT_TRUE(port.SetSettings(&settings));
    EXPECT_NE(port.IdentifyPrinter({0x1B, 0x76}, {0x1B, 0x49}, {0x18}, -1), "");
    EXPECT_EQ(port.lastError, kOk);
    EXPECT_EQ(printer.NormalModeBytes(), (ByteArray{0x1B, 0x49, 0x18}));
    EXPECT_EQ(model.Cancelled(), 0u);
}

TEST(UsbPortOverTheDriver, AStuckTransferTimesOutPerChunkAndIsCancelled) {
    UsbDriverModel model(1'000'000);
    model.Plug(kA);
    CUsbPort port;
    const UsbPortSettings settings(1, "");
    ASSERT_TRUE(port.SetSettings(&settings));
    ASSERT_TRUE(port.Open());
    port.writeTimeout = 3;
    model.Stall();
    int written = -1;
    const auto ms = TimeMs([&] { written = port.Write(ByteArray(40, 1).data(), 40); });
    EXPECT_EQ(written, 0);
    EXPECT_EQ(port.lastError, kErrPortWriteTimeout);
    EXPECT_GE(ms, 120);  // 3 ms a byte
    EXPECT_EQ(model.Cancelled(), 40u);

    // 4096, 4096, then a stuck 1808: the first two chunks are what was written.
    port.writeTimeout = 1;
    model.Stall(2);
    const ByteArray data = testing::Pattern(10000);
    EXPECT_EQ(port.Write(data.data(), 10000), 8192);
    EXPECT_EQ(port.lastError, kErrPortWriteTimeout);
    EXPECT_EQ(model.Received(kA), ByteArray(data.begin(), data.begin() + 8192));

    // The port was opened again: the next write goes through.
    model.Unstall();
    EXPECT_EQ(port.Write(data.data(), 10000), 10000);
    EXPECT_EQ(port.lastError, kOk);
    EXPECT_EQ(model.Received(kA).size(), 8192u + 10000u);
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(port.GetLptStatus(), 0xFF);
}

TEST(UsbPortOverTheDriver, WaitForReconnectFollowsThePrinterItOpened) {
    UsbDriverModel model;
    model.Plug(kA);
    model.Plug(kB);
    CUsbPort port;
    EXPECT_EQ(port.WaitForReconnect(100), kErrPortNotSet);
    const UsbPortSettings unlisted(3, "");  // one past the list: no printer to wait for
    ASSERT_TRUE(port.SetSettings(&unlisted));
    EXPECT_EQ(port.WaitForReconnect(100), kErrPortCantOpen);
    const UsbPortSettings first(1, "");
    ASSERT_TRUE(port.SetSettings(&first));
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.GetLptStatus(), 0x18);

    // A has left before the wait begins; B now holds entry 1.
    model.Unplug(kA);
    EXPECT_EQ(port.WaitForReconnect(150), kErrUsbNotBack);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.lastError, kErrPortCantOpen);

    // A comes back, after B: the port finds it there.
    model.Plug(kA);
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.GetSettings()->number, 2);
    // It restarts; meanwhile a third printer arrives before it.
    model.Unplug(kA);
    model.Plug("USB\\Vid_1209&Pid_0002\\X");
    model.Plug(kA);
    EXPECT_EQ(port.WaitForReconnect(1000), kOk);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.GetSettings()->number, 3);
    port.WriteByte(0x42);
    EXPECT_EQ(model.Received(kA), ByteArray{0x42});
    EXPECT_TRUE(model.Received(kB).empty());

    // A printer that never leaves.
    const auto ms = TimeMs([&] { EXPECT_EQ(port.WaitForReconnect(100), kErrUsbNotGone); });
    EXPECT_GE(ms, 100);
}

std::string SamplePath(const std::string& family) {
    return std::string(CARILLON_SAMPLES_DIR) + "/" + family + ".VRK_Package";
}

// The families differ in what the save does, not in the port: the save
// tests cover each; over the driver, the family with every board.
TEST(UsbSaveOverTheDriver, EntersTheMonitorAndSavesTheWholePackage) {
    sim::PrinterConfig config;
    config.family = sim::Family::kKiosk;
    config.usbReenumerateMs = 50;
    sim::VirtualPrinter printer(config);
    UsbDriverModel model(4'000'000);
    model.Plug(config.usbInstanceId, &printer);
    CUsbPort port;
    const UsbPortSettings settings(1, "");
    ASSERT_TRUE(port.SetSettings(&settings));

    CCommandGenerator engine;
    engine.m_session.m_timing = MonitorTiming{}.Scaled(0.1);
    ASSERT_EQ(engine.DoConnect(&port, 1, 0), kOk);
    ASSERT_TRUE(printer.InMonitor());
    ASSERT_EQ(engine.DoReadFileTables(), kOk);
    engine.m_elements.RemoveAll();
    ASSERT_EQ(engine.m_elements.LoadPackage(SamplePath("KIOSK")), kOk);
    engine.m_elements.RemoveUnusable();
    ASSERT_EQ(engine.DoSave(0), kOk);
    EXPECT_EQ(model.Cancelled(), 0u);

    std::vector<sim::ElementCheck> checks;
    ASSERT_EQ(sim::VerifyPackageFile(printer, SamplePath("KIOSK"), &checks), kOk);
    for (const auto& c : checks) EXPECT_EQ(c.status, sim::VerifyStatus::kOk) << sim::FormatCheck(c);
    EXPECT_TRUE(sim::AllVerified(checks));
    EXPECT_EQ(engine.m_session.LeaveMonitorMode(), kOk);
    EXPECT_FALSE(printer.InMonitor());
}

}  // namespace
}  // namespace carillon
