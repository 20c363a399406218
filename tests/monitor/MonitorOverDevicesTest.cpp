// The session over the real port classes, with the virtual printer on the
// other side of a pseudo-terminal.

#include <gtest/gtest.h>

#include "monitor/MonitorSession.h"
#include "package/Element.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbPort.h"
#include "sim/PtyPrinter.h"
#include "support/PortTestHelpers.h"
#include "support/SimPrinter.h"

namespace carillon {
namespace {

using testing::Pattern;

sim::PrinterConfig NormalModePrinter() {
    sim::PrinterConfig c;
    c.baudRate = 19200;
    c.image = sim::ImageKind::kBlank;
    c.usbReenumerateMs = 100;
    return c;
}

TEST(MonitorOverSerialPort, WakesWritesReadsAndLeavesOverAPty) {
    sim::VirtualPrinter printer(NormalModePrinter());
    sim::PtyPrinter pty(printer, sim::PtyPrinter::Mode::kSerial);
    ASSERT_TRUE(pty.Start());
    ScopedSerialPortMap map({{1, pty.DevicePath()}});
    CSerialPort port;
    SerialPortSettings settings(1, 19200, kHandshakeRtsCts);
    ASSERT_TRUE(port.SetSettings(&settings));

    CMonitorSession session;
    session.m_timing = MonitorTiming{}.Scaled(0.2);
    ASSERT_EQ(session.Connect(&port, true, 0), kOk);
    EXPECT_TRUE(printer.InMonitor());

    const ByteArray data = Pattern(700, 21);
    ASSERT_EQ(session.WriteFlash(kMcuFlash, kNotCrypted, 0x2000, 700, data.data(), nullptr, 0, 10), kOk);
    ByteArray back(700);
    ASSERT_EQ(session.ReadFlash(kMcuFlash, 0x2000, 700, back.data(), 0), kOk);
    EXPECT_EQ(back, data);
    EXPECT_EQ(printer.ReadFlash(kMcuFlash, 0x2000, 700), data);

    EXPECT_EQ(session.LeaveMonitorMode(), kOk);
    EXPECT_FALSE(printer.InMonitor());
}

TEST(MonitorOverUsbPort, FollowsThePrinterToItsNewDeviceNode) {
    testing::UsbDevicesFile devices;
    sim::VirtualPrinter printer(NormalModePrinter());
    sim::PtyPrinter pty(printer, sim::PtyPrinter::Mode::kUsb, devices.Path());
    ASSERT_TRUE(pty.Start());
    CUsbPort port;
    UsbPortSettings settings(1, "");
    ASSERT_TRUE(port.SetSettings(&settings));

    CMonitorSession session;
    session.m_timing = MonitorTiming{}.Scaled(0.2);
    ASSERT_EQ(session.Connect(&port, true, 0), kOk);
    EXPECT_TRUE(printer.InMonitor());
    EXPECT_EQ(pty.Reconnections(), 1u);

    const ByteArray data = Pattern(9000, 22);
    ASSERT_EQ(session.WriteFlash(kDspFlash, kCodeCrypted, 0x8000, 4500, data.data(), nullptr, 0, 10), kOk);
    EXPECT_EQ(printer.ReadFlash(kDspFlash, 0x8000, 4500), data);
    EXPECT_EQ(session.LeaveMonitorMode(), kOk);
}

}  // namespace
}  // namespace carillon
