#pragma once
// A wizard in a scratch program directory: SetupData with the built page
// picture and a setup file the test writes, no serial ports and an empty USB
// device list unless the test adds printers, recorded message boxes, and the
// engine's timing scaled down.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <memory>

#include "ports/SerialPortMap.h"
#include "sim/PtyPrinter.h"
#include "support/PortTestHelpers.h"
#include "support/RecordingMessageBoxProvider.h"
#include "wizard/UpdateDlg.h"

namespace carillon::testing {

inline std::string Sample(const std::string& family) {
    return std::string(CARILLON_SAMPLES_DIR) + "/" + family + ".VRK_Package";
}

class WizardTest : public ::testing::Test {
protected:
    WizardTest() {
        std::filesystem::create_directories(m_dir.Path() / "SetupData");
        std::filesystem::copy_file(std::string(CARILLON_WIZARD_DIR) + "/SetupData/Setup.bmp",
                                   m_dir.Path() / "SetupData" / "Setup.bmp");
    }

    void WriteSetup(const std::string& text) { m_dir.Write("SetupData/Setup.ini", text); }
    std::string Path(const std::string& relative) const { return (m_dir.Path() / relative).string(); }

    // The dialog, made, initialised and shown on first use.
    CUpdateDlg& Dialog() {
        if (!m_dialog) {
            m_dialog = std::make_unique<CUpdateDlg>(nullptr, Path("carillon"));
            m_dialog->SetWorkerSetup([scale = m_timingScale](CThread& worker) {
                worker.m_printers.engine.m_session.m_timing = MonitorTiming{}.Scaled(scale);
            });
            m_dialog->show();
            m_dialog->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(m_dialog.get()));
        }
        return *m_dialog;
    }
    QPushButton* Button(int id) { return Dialog().findChild<QPushButton*>(QString::number(id)); }
    QLineEdit* Edit() { return Dialog().findChild<QLineEdit*>(QString::number(IDC_EDIT_FILE)); }
    QTreeWidget* TreeWidget() { return Dialog().findChild<QTreeWidget*>(QString::number(IDC_TREE)); }
    CThread& Worker() { return *Dialog().Worker(); }

    void GoTo(int page) {
        Dialog().SetPage(page);
        Dialog().ShowPage();
    }
    bool WaitForPage(int page, int ms = 30000) {
        return QTest::qWaitFor([&] { return Dialog().Page() == page; }, ms);
    }
    bool WaitUntilIdle() {
        return QTest::qWaitFor([&] { return !Worker().m_bUpdateRequested && !Worker().m_bSearchRequested; }, 30000);
    }
    // A printer on a pseudo-terminal: a serial device, or a USB printer in the device list.
    sim::PtyPrinter& PtyPrinter(sim::PrinterConfig config, bool usb) {
        auto& printer = *m_printers.emplace_back(std::make_unique<sim::VirtualPrinter>(std::move(config)));
        auto& pty = *m_ptys.emplace_back(std::make_unique<sim::PtyPrinter>(
            printer, usb ? sim::PtyPrinter::Mode::kUsb : sim::PtyPrinter::Mode::kSerial, m_usb.Path()));
        EXPECT_TRUE(pty.Start());
        return pty;
    }

    // In-process printers answer at once; printers on ptys need the real
    // pauses to be woken when the machine is busy.
    double m_timingScale = 0.05;
    TempDir m_dir;
    UsbDevicesFile m_usb;                             // no USB printers unless added
    ScopedSerialPortMap m_noSerial{SerialPortMap{}};  // no serial ports unless the setup file names some
    RecordingMessageBoxProvider m_boxes;  // questions answered No unless scripted
    std::vector<std::unique_ptr<sim::VirtualPrinter>> m_printers;
    std::vector<std::unique_ptr<sim::PtyPrinter>> m_ptys;
    std::unique_ptr<CUpdateDlg> m_dialog;  // last: it goes first, before the printers it talks to
};

}  // namespace carillon::testing
