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
    ~SilentStartTest() override {
        ResetSerialPortMap();
        std::filesystem::remove_all(dir_);
    }
    CSetupIni& Ini(const std::string& text) {
        std::filesystem::create_directories(dir_);
        std::ofstream(dir_ / "Setup.ini") << text;
        ini_ = std::make_unique<CSetupIni>((dir_ / "Setup.ini").string());
        return *ini_;
    }
    std::filesystem::path dir_ = std::filesystem::temp_directory_path() /
                                 ("carillon-silent-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::unique_ptr<CSetupIni> ini_;
    PrinterList printers;
};

TEST_F(SilentStartTest, TheSilentSwitchWantsANumberOtherThanZero) {
    EXPECT_TRUE(IsSilentMode(Ini("[General]\nIsSilent=0x10\n")));
    EXPECT_TRUE(IsSilentMode(Ini("[General]\nIsSilent=16\n")));
    EXPECT_FALSE(IsSilentMode(Ini("[General]\nIsSilent=0x0\n")));
    EXPECT_FALSE(IsSilentMode(Ini("[General]\nIsSilent=on\n")));
    EXPECT_FALSE(IsSilentMode(Ini("")));
    EXPECT_FALSE(IsSilentMode(CSetupIni((dir_ / "no" / "such" / "Setup.ini").string())));
}

TEST_F(SilentStartTest, ASerialPortGetsItsSettingsFromTheFile) {
    const SilentJob job = PrepareSilentStart(
        Ini("[General]\nFirmware File=/p.VRK_Package\nOutput Binary=/o.bin\n"
            "[Silent mode config]\nPort type=SERIAL\nPort=0x103\nBaudrate=38400\nHandshake=2\n"),
        printers);
    EXPECT_EQ(job.firmwareFile, "/p.VRK_Package");
    EXPECT_EQ(job.outputFile, "/o.bin");
    auto* port = dynamic_cast<CSerialPort*>(printers.EntryPort(0));
    ASSERT_NE(port, nullptr);
    auto* s = dynamic_cast<SerialPortSettings*>(port->GetSettings());
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

// The silent run from the setup file to the printer, as both front-ends start it.
class SilentRunTest : public SilentStartTest {
protected:
    std::uint32_t Run(CSetupIni& ini) {
        platform::MessageQueue messages;
        CThread worker(&messages);
        worker.m_printers.engine.m_session.m_timing = MonitorTiming{}.Scaled(0.2);
        LoadSerialPortMap(ini);
        const SilentJob job = PrepareSilentStart(ini, worker.m_printers);
        worker.RequestUpdate(worker.m_printers.EntryPort(0), job.firmwareFile, job.outputFile);
        while (auto m = messages.Take(120s))
            if (m->id == platform::WM_UPDATE_DONE || m->id == platform::WM_UPDATE_FAILED) return m->id;
        return 0;
    }
    std::string Sample(const std::string& family) {
        return std::string(CARILLON_SAMPLES_DIR) + "/" + family + ".VRK_Package";
    }
    testing::RecordingMessageBoxProvider boxes;
};

TEST_F(SilentRunTest, OverASerialLine) {
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    config.baudRate = 19200;
    sim::VirtualPrinter printer(config);
    sim::PtyPrinter pty(printer, sim::PtyPrinter::Mode::kSerial);
    ASSERT_TRUE(pty.Start());
    const std::string out = (dir_ / "out.VRK_Package.bin").string();
    CSetupIni& ini = Ini("[General]\nIsSilent=1\nFirmware File=" + Sample("PLV") + "\nOutput Binary=" + out +
                         "\n[Silent mode config]\nPort type=SERIAL\nPort=2\nBaudrate=19200\nHandshake=1\n"
                         "[Serial ports]\nCOM2=" + pty.DevicePath() + "\n");
    ASSERT_EQ(Run(ini), platform::WM_UPDATE_DONE);
    EXPECT_FALSE(printer.InMonitor());
    EXPECT_TRUE(std::filesystem::exists(out));
}

TEST_F(SilentRunTest, OverUsb) {
    testing::UsbDevicesFile devices;
    sim::PrinterConfig config;
    config.family = sim::Family::kKiosk;
    config.usbReenumerateMs = 100;
    sim::VirtualPrinter printer(config);
    sim::PtyPrinter pty(printer, sim::PtyPrinter::Mode::kUsb, devices.Path());
    ASSERT_TRUE(pty.Start());
    CSetupIni& ini = Ini("[General]\nFirmware File=" + Sample("KIOSK") + "\n[Silent mode config]\nPort type=USB\nPort=1\n");
    ASSERT_EQ(Run(ini), platform::WM_UPDATE_DONE);
    // Released from its monitor at the end of the job, the printer comes back
    // on the bus only after its re-enumeration delay.
    EXPECT_TRUE(testing::WaitUntil([&] { return pty.Reconnections() == 2u; }, std::chrono::seconds(5)));
}

TEST_F(SilentRunTest, AWrongFirmwareFileFails) {
    sim::PrinterConfig config;
    config.startInMonitor = true;
    sim::VirtualPrinter printer(config);
    sim::PtyPrinter pty(printer, sim::PtyPrinter::Mode::kSerial);
    ASSERT_TRUE(pty.Start());
    CSetupIni& ini = Ini("[General]\nFirmware File=/missing.VRK_Package\n[Silent mode config]\nPort type=SERIAL\nPort=1\n"
                         "Baudrate=115200\nHandshake=3\n[Serial ports]\nCOM1=" + pty.DevicePath() + "\n");
    EXPECT_EQ(Run(ini), platform::WM_UPDATE_FAILED);
}

}  // namespace
}  // namespace carillon
