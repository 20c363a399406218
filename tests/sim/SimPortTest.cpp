#include <gtest/gtest.h>

#include <thread>

#include "SimTestSupport.h"
#include "sim/SimPort.h"

namespace carillon::sim {
namespace {

using Clock = std::chrono::steady_clock;
using testing::Answers;
using testing::Request;

PrinterConfig Printer(std::uint32_t baud = 9600) {
    PrinterConfig c;
    c.baudRate = baud;
    c.name = "SIM";
    c.image = ImageKind::kEmptyTables;
    c.usbReenumerateMs = 60;
    return c;
}

void Send(SimPort& port, const ByteArray& bytes) {
    ASSERT_EQ(port.Write(bytes.data(), static_cast<int>(bytes.size())), static_cast<int>(bytes.size()));
    ASSERT_EQ(port.lastError, kOk);
}

// Reads one answer frame from the port.
std::vector<Packet> ReadFrame(SimPort& port) {
    ByteArray bytes;
    do {
        bytes.push_back(port.ReadByte());
    } while (port.lastError == kOk && bytes.back() != 0xC1);
    return Answers(bytes);
}

TEST(SimPortSettings, ValidateLikeTheRealPorts) {
    VirtualPrinter printer(Printer());
    SimPort port(printer);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.lastError, kErrPortNotSet);
    const SerialPortSettings good(3, 9600, kHandshakeRtsCts);
    EXPECT_TRUE(port.SetSettings(&good));
    const std::pair<SerialPortSettings, ErrorCode> bad[] = {
        {SerialPortSettings(0, 9600, 1), kErrPortInvalidNumber},
        {SerialPortSettings(16, 9600, 1), kErrPortInvalidNumber},
        {SerialPortSettings(1, 14400, 1), kErrPortInvalidBaud},
        {SerialPortSettings(1, 9600, 0), kErrPortInvalidHandshake},
    };
    for (const auto& [settings, code] : bad) {
        EXPECT_FALSE(port.SetSettings(&settings));
        EXPECT_EQ(port.lastError, code);
    }
    EXPECT_EQ(static_cast<SerialPortSettings*>(port.GetSettings())->number, 3);
    const UsbPortSettings other(255, "\\SN9999");
    EXPECT_FALSE(port.SetSettings(&other));
    EXPECT_EQ(port.lastError, kErrPortInvalidNumber);
    const UsbPortSettings mine(255, "\\SN1234");
    EXPECT_TRUE(port.SetSettings(&mine));
    EXPECT_TRUE(port.IsUsb());
}

TEST(SimPortState, OpenCloseAndIoOnAClosedPort) {
    VirtualPrinter printer(Printer());
    SimPort port(printer);
    const SerialPortSettings s(1, 9600, kHandshakeRtsCts);
    port.SetSettings(&s);
    std::uint8_t b = 0;
    EXPECT_EQ(port.Write(&b, 1), 0);
    EXPECT_EQ(port.lastError, kErrPortNotOpen);
    port.ReadByte();
    EXPECT_EQ(port.lastError, kErrPortNotOpen);
    EXPECT_TRUE(port.Open());
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.lastError, kErrPortAlreadyOpen);
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(port.lastError, kErrPortAlreadyClosed);
}

TEST(SimPortRead, TimesOutAfterReadTimeoutAndAbortEndsAWait) {
    VirtualPrinter printer(Printer());
    SimPort port(printer);
    const SerialPortSettings s(1, 9600, kHandshakeRtsCts);
    port.SetSettings(&s);
    port.Open();
    port.readTimeout = 30;
    auto start = Clock::now();
    port.ReadByte();
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));

    port.readTimeout = 10000;
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        port.Abort();
    });
    start = Clock::now();
    port.ReadByte();
    aborter.join();
    EXPECT_EQ(port.lastError, kErrPortRead);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(SimPortSerial, PrinterAnswersOnlyAtItsRateAndPurgeInDropsAnswers) {
    VirtualPrinter printer(Printer(19200));
    SimPort port(printer);
    port.readTimeout = 50;
    SerialPortSettings s(1, 9600, kHandshakeNone);
    port.SetSettings(&s);
    port.Open();
    Send(port, {0x1B, 0x49});
    EXPECT_EQ(port.ReadString(), "");
    EXPECT_EQ(port.lastError, kErrPortReadTimeout);
    port.Close();
    s.baudRate = 19200;
    port.SetSettings(&s);
    port.Open();
    Send(port, {0x1B, 0x49});
    EXPECT_EQ(port.GetInCount(), 4);
    EXPECT_EQ(port.ReadString(), "SIM");
    Send(port, {0x1B, 0x49});
    port.PurgeIn();
    EXPECT_EQ(port.GetInCount(), 0);
}

TEST(SimPortSerial, IdentifyPrinterFindsTheRateAndLeavesItConfigured) {
    VirtualPrinter printer(Printer(38400));
    SimPort port(printer);
    const SerialPortSettings s(2, 9600, kHandshakeRtsCts);
    port.SetSettings(&s);
    EXPECT_EQ(port.IdentifyPrinter({0x1B, 0x76}, {0x1B, 0x49}, {0x18}, -1), "SIM");
    const auto* found = static_cast<SerialPortSettings*>(port.GetSettings());
    EXPECT_EQ(found->baudRate, 38400u);
    EXPECT_EQ(found->handshake, static_cast<std::uint32_t>(kHandshakeRtsCts));
    EXPECT_EQ(port.readTimeout, 2000u);
    EXPECT_FALSE(port.IsOpen());

    PrinterConfig kestrel = Printer(115200);
    kestrel.commandSets = kSetKestrel;
    kestrel.kestrelId = {1, 2, 0, 5};
    VirtualPrinter k(kestrel);
    SimPort kport(k);
    kport.SetSettings(&s);
    EXPECT_EQ(kport.IdentifyPrinter({0x1B, 0x76}, {0x1B, 0x57}, {0x1B, 0x49}, 1), "KESTREL (1205)");
}

TEST(SimPortUsb, MonitorStartMakesThePrinterReenumerate) {
    PrinterConfig c = Printer();
    c.usbReenumerateMs = 300;  // long enough to see it gone, even on a slow machine
    VirtualPrinter printer(c);
    SimPort port(printer);
    const UsbPortSettings s(1, "");
    ASSERT_TRUE(port.SetSettings(&s));
    ASSERT_TRUE(port.Open());
    Send(port, {0x1D, 0x55, 0x4D});
    std::uint8_t b = 0;
    EXPECT_EQ(port.Write(&b, 1), 0);
    EXPECT_EQ(port.lastError, kErrPortSend);
    port.Close();
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.lastError, kErrPortCantOpen);
    EXPECT_EQ(port.WaitForReconnect(5000), kOk);
    ASSERT_TRUE(port.Open());
    Send(port, Request(0, 0x41));
    const auto answers = ReadFrame(port);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].data[0], 0x02);
    // Nothing more happens on the bus: the wait for a departure times out.
    EXPECT_EQ(port.WaitForReconnect(20), kErrUsbNotGone);
    ASSERT_TRUE(port.Open());
    // Leaving the monitor: the answer still arrives, then the device is gone.
    Send(port, Request(1, 0x40));
    const auto left = ReadFrame(port);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].code, 0x00);
    port.ReadByte();
    EXPECT_EQ(port.lastError, kErrPortRead);
    EXPECT_FALSE(printer.InMonitor());
}

TEST(SimPortPacing, BytesTakeTheirLineTimeAndAnswersTheTurnaround) {
    PrinterConfig c = Printer(9600);
    c.pacing.enabled = true;
    c.pacing.turnaroundMs = 5;
    VirtualPrinter printer(c);
    SimPort port(printer);
    const SerialPortSettings s(1, 9600, kHandshakeNone);
    port.SetSettings(&s);
    port.Open();
    const auto start = Clock::now();
    Send(port, {0x1B, 0x76, 0x1B, 0x76});  // about 1.04 ms a byte at 9600
    EXPECT_GT(port.GetOutCount(), 0);
    EXPECT_TRUE(port.WaitSent());
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(4000));
    port.ReadByte();
    port.ReadByte();
    EXPECT_EQ(port.lastError, kOk);
    // Second answer: after the fourth byte, the turnaround, then its own byte time.
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(4166 + 5000 + 1041));
}

}  // namespace
}  // namespace carillon::sim
