#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/SetupIni.h"
#include "app/SilentStart.h"
#include "app/Thread.h"
#include "platform/MessageQueue.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbPort.h"
#include "sim/PtyPrinter.h"
#include "support/PortTestHelpers.h"
#include "support/RecordingMessageBoxProvider.h"

namespace carillon {
namespace {

using namespace std::chrono_literals;

class SilentStartTest : public ::testing::Test {
protected:
    ~SilentStartTest() override { ResetSerialPortMap(); }
    CSetupIni& Ini(const std::string& text) {
        ini_ = std::make_unique<CSetupIni>(dir_.Write("Setup.ini", text));
        return *ini_;
    }
    testing::TempDir dir_;
    std::unique_ptr<CSetupIni> ini_;
    PrinterList printers;
};

TEST_F(SilentStartTest, TheSilentSwitchWantsANumberOtherThanZero) {
    EXPECT_TRUE(IsSilentMode(Ini("[General]\nIsSilent=0x10\n")));
    EXPECT_FALSE(IsSilentMode(Ini("[General]\nIsSilent=0x0\n")));
    EXPECT_FALSE(IsSilentMode(CSetupIni((dir_.Path() / "no" / "such" / "Setup.ini").string())));
}

TEST_F(SilentStartTest, ASerialPortGetsItsSettingsFromTheFile) {
    const SilentJob job = PrepareSilentStart(
        Ini("[General]\nFirmware File=/p.VRK_Package\nOutput Binary=/o.bin\n"
            "[Silent mode config]\nPort type=SERIAL\nPort=0x103\nBaudrate=38400\nHandshake=2\n"),
        printers);
    EXPECT_EQ(job.firmwareFile, "/p.VRK_Package");
    EXPECT_EQ(job.outputFile, "/o.bin");
    ASSERT_NE(dynamic_cast<CSerialPort*>(printers.EntryPort(0)), nullptr);
    auto* s = dynamic_cast<SerialPortSettings*>(printers.EntryPort(0)->GetSettings());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->number, 3);
    EXPECT_EQ(s->baudRate, 38400u);
    EXPECT_EQ(s->handshake, 2u);
}

TEST_F(SilentStartTest, AUsbPortOrNoPortAtAll) {
    testing::UsbDevicesFile noUsbPrinters;
    PrepareSilentStart(Ini("[Silent mode config]\nPort type=USB\nPort=1\n"), printers);
    EXPECT_NE(dynamic_cast<CUsbPort*>(printers.EntryPort(0)), nullptr);
    PrepareSilentStart(Ini("[Silent mode config]\nPort type=serial\nPort=1\n"), printers);
    EXPECT_EQ(printers.EntryPort(0), nullptr);
    const SilentJob none = PrepareSilentStart(Ini(""), printers);
    EXPECT_EQ(printers.EntryPort(0), nullptr);
    EXPECT_EQ(none.firmwareFile, "");
}

TEST_F(SilentStartTest, TheSerialPortsSectionNamesTheDevices) {
    LoadSerialPortMap(Ini("[Serial ports]\nCOM2=/dev/ttyS7\nCOM15=/dev/ttyUSB3\nCOM16=/dev/ignored\n"));
    EXPECT_EQ(GetSerialDevicePath(2), "/dev/ttyS7");
    EXPECT_EQ(GetSerialDevicePath(15), "/dev/ttyUSB3");
    EXPECT_EQ(GetSerialDevicePath(1), "");
}

// The silent run from the setup file to the printer, as both front-ends start
// it; the wizard's own suite runs it over a serial line.
TEST_F(SilentStartTest, ASilentRunUpdatesTheUsbPrinterTheFileNames) {
    testing::UsbDevicesFile devices;
    sim::PrinterConfig config;
    config.family = sim::Family::kKiosk;
    config.usbReenumerateMs = 100;
    sim::VirtualPrinter printer(config);
    sim::PtyPrinter pty(printer, sim::PtyPrinter::Mode::kUsb, devices.Path());
    ASSERT_TRUE(pty.Start());
    CSetupIni& ini = Ini("[General]\nFirmware File=" + std::string(CARILLON_SAMPLES_DIR) +
                         "/KIOSK.VRK_Package\n[Silent mode config]\nPort type=USB\nPort=1\n");
    testing::RecordingMessageBoxProvider boxes;
    platform::MessageQueue messages;
    CThread worker(&messages);
    worker.m_printers.engine.m_session.m_timing = MonitorTiming{}.Scaled(0.2);
    const SilentJob job = PrepareSilentStart(ini, worker.m_printers);
    worker.RequestUpdate(worker.m_printers.EntryPort(0), job.firmwareFile, job.outputFile);
    std::optional<platform::Message> end;
    while ((end = messages.Take(120s)) && end->id == platform::WM_PAINT) {
    }
    ASSERT_TRUE(end);
    EXPECT_EQ(end->id, platform::WM_UPDATE_DONE);
    // Released from its monitor at the end of the job, the printer comes back
    // on the bus only after its re-enumeration delay.
    EXPECT_TRUE(testing::WaitUntil([&] { return pty.Reconnections() == 2u; }, std::chrono::seconds(5)));
}

}  // namespace
}  // namespace carillon
