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
    return c;
}

// A printer and a port bound to it, configured as a serial port.
struct Bench {
    explicit Bench(PrinterConfig config = Printer(),
                   const PortSettings& s = SerialPortSettings(1, 9600, kHandshakeNone))
        : printer(std::move(config)), port(printer) {
        EXPECT_TRUE(port.SetSettings(&s));
    }
    void Send(const ByteArray& bytes) {
        ASSERT_EQ(port.Write(bytes.data(), static_cast<int>(bytes.size())), static_cast<int>(bytes.size()));
        ASSERT_EQ(port.lastError, kOk);
    }
    // Reads one answer frame.
    std::vector<Packet> ReadFrame() {
        ByteArray bytes;
        do {
            bytes.push_back(port.ReadByte());
        } while (port.lastError == kOk && bytes.back() != 0xC1);
        return Answers(bytes);
    }
    VirtualPrinter printer;
    SimPort port;
};

TEST(SimPortSettings, ValidateLikeTheRealPorts) {
    VirtualPrinter printer(Printer());
    SimPort port(printer);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.lastError, kErrPortNotSet);
    const SerialPortSettings good(3, 9600, kHandshakeRtsCts);
    EXPECT_TRUE(port.SetSettings(&good));
    const SerialPortSettings badNumber(0, 9600, 1), highNumber(16, 9600, 1), badRate(1, 14400, 1), badFlow(1, 9600, 0);
    const UsbPortSettings otherPrinter(255, "\\SN9999");
    const std::pair<const PortSettings*, ErrorCode> bad[] = {
        {&badNumber, kErrPortInvalidNumber}, {&highNumber, kErrPortInvalidNumber}, {&badRate, kErrPortInvalidBaud},
        {&badFlow, kErrPortInvalidHandshake}, {&otherPrinter, kErrPortInvalidNumber}};
    for (const auto& [settings, code] : bad) {
        EXPECT_FALSE(port.SetSettings(settings));
        EXPECT_EQ(port.lastError, code);
    }
    EXPECT_EQ(static_cast<SerialPortSettings*>(port.GetSettings())->number, 3);
    const UsbPortSettings mine(255, "\\SN1234");
    EXPECT_TRUE(port.SetSettings(&mine));
    EXPECT_TRUE(port.IsUsb());
}

// Time-outs show in every session test that meets a lost answer; an abort
// must end a wait long before its time-out.
TEST(SimPortRead, AbortEndsAWait) {
    Bench b;
    ASSERT_TRUE(b.port.Open());
    b.port.readTimeout = 10000;
    std::thread aborter([&] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); b.port.Abort(); });
    const auto start = Clock::now();
    b.port.ReadByte();
    aborter.join();
    EXPECT_EQ(b.port.lastError, kErrPortRead);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

// That the printer hears only its own rate shows in the rate found.
TEST(SimPortSerial, AnswersAreCountedReadAndPurgedAndIdentifyFindsTheRate) {
    Bench b(Printer(38400), SerialPortSettings(2, 38400, kHandshakeRtsCts));
    ASSERT_TRUE(b.port.Open());
    b.Send({0x1B, 0x49});
    EXPECT_EQ(b.port.GetInCount(), 4);
    EXPECT_EQ(b.port.ReadString(), "SIM");
    b.Send({0x1B, 0x49});
    b.port.PurgeIn();
    EXPECT_EQ(b.port.GetInCount(), 0);
    b.port.Close();
    const SerialPortSettings elsewhere(2, 9600, kHandshakeRtsCts);
    ASSERT_TRUE(b.port.SetSettings(&elsewhere));
    EXPECT_EQ(b.port.IdentifyPrinter({0x1B, 0x76}, {0x1B, 0x49}, {0x18}, -1), "SIM");
    const auto* found = static_cast<SerialPortSettings*>(b.port.GetSettings());
    EXPECT_EQ(found->baudRate, 38400u);
    EXPECT_EQ(found->handshake, static_cast<std::uint32_t>(kHandshakeRtsCts));
    EXPECT_EQ(b.port.readTimeout, 2000u);
    EXPECT_FALSE(b.port.IsOpen());
}

TEST(SimPortUsb, MonitorStartMakesThePrinterReenumerate) {
    PrinterConfig c = Printer();
    c.usbReenumerateMs = 300;  // long enough to see it gone, even on a slow machine
    Bench b(c, UsbPortSettings(1, ""));
    ASSERT_TRUE(b.port.Open());
    b.Send({0x1D, 0x55, 0x4D});
    std::uint8_t byte = 0;
    EXPECT_EQ(b.port.Write(&byte, 1), 0);
    EXPECT_EQ(b.port.lastError, kErrPortSend);
    b.port.Close();
    EXPECT_FALSE(b.port.Open());
    EXPECT_EQ(b.port.lastError, kErrPortCantOpen);
    EXPECT_EQ(b.port.WaitForReconnect(5000), kOk);
    ASSERT_TRUE(b.port.Open());
    b.Send(Request(0, 0x41));
    EXPECT_EQ(b.ReadFrame().at(0).data.at(0), 0x02);
    // Nothing more happens on the bus: the wait for a departure times out.
    EXPECT_EQ(b.port.WaitForReconnect(20), kErrUsbNotGone);
    ASSERT_TRUE(b.port.Open());
    // Leaving the monitor: the answer still arrives, then the device is gone.
    b.Send(Request(1, 0x40));
    EXPECT_EQ(b.ReadFrame().at(0).code, 0x00);
    b.port.ReadByte();
    EXPECT_EQ(b.port.lastError, kErrPortRead);
    EXPECT_FALSE(b.printer.InMonitor());
}

TEST(SimPortPacing, BytesTakeTheirLineTimeAndAnswersTheTurnaround) {
    PrinterConfig c = Printer(9600);
    c.pacing.enabled = true;
    c.pacing.turnaroundMs = 5;
    Bench b(c);
    ASSERT_TRUE(b.port.Open());
    const auto start = Clock::now();
    b.Send({0x1B, 0x76, 0x1B, 0x76});  // about 1.04 ms a byte at 9600
    EXPECT_GT(b.port.GetOutCount(), 0);
    EXPECT_TRUE(b.port.WaitSent());
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(4000));
    b.port.ReadByte();
    b.port.ReadByte();
    EXPECT_EQ(b.port.lastError, kOk);
    // Second answer: after the fourth byte, the turnaround, then its own byte time.
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(4166 + 5000 + 1041));
}

}  // namespace
}  // namespace carillon::sim
