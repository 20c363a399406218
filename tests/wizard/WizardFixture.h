#pragma once
// A wizard in a scratch program directory: SetupData with the built page
// picture and a setup file the test writes, no serial ports and an empty USB
// device list unless the test adds printers, scripted message boxes, and the
// engine's timing scaled down.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/MessageBox.h"
#include "ports/SerialPortMap.h"
#include "sim/PtyPrinter.h"
#include "sim/SimPort.h"
#include "support/PortTestHelpers.h"
#include "wizard/UpdateDlg.h"

namespace carillon::testing {

inline std::string Sample(const std::string& family) {
    return std::string(CARILLON_SAMPLES_DIR) + "/" + family + ".VRK_Package";
}

// Records every box and answers questions from a script (No when it runs
// out). While held, a box raised by a worker waits for Release, so the job
// that raised it is known to be running meanwhile.
class ScriptedBoxes : public platform::MessageBoxProvider {
public:
    int Show(const platform::MessageBoxRequest& request) override {
        std::unique_lock lock(m_mutex);
        m_boxes.push_back(request);
        if (std::this_thread::get_id() != m_testThread) {
            ++m_waiting;
            m_changed.wait(lock, [this] { return !m_held; });
            --m_waiting;
        }
        if ((request.flags & platform::MB_BUTTON_MASK) != platform::MB_YESNO) return platform::IDOK;
        if (m_answers.empty()) return platform::IDNO;
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    void AnswerNext(int answer) {
        std::lock_guard lock(m_mutex);
        m_answers.push_back(answer);
    }
    void Hold(bool held) {
        {
            std::lock_guard lock(m_mutex);
            m_held = held;
        }
        m_changed.notify_all();
    }
    bool WorkerWaiting() const {
        std::lock_guard lock(m_mutex);
        return m_waiting > 0;
    }
    std::vector<platform::MessageBoxRequest> Boxes() const {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }

private:
    const std::thread::id m_testThread = std::this_thread::get_id();
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<platform::MessageBoxRequest> m_boxes;
    std::deque<int> m_answers;
    bool m_held = false;
    int m_waiting = 0;
    platform::ScopedMessageBoxProvider m_scope{this};
};

class WizardTest : public ::testing::Test {
protected:
    WizardTest() {
        std::filesystem::create_directories(m_dir.Path() / "SetupData");
        std::filesystem::copy_file(std::string(CARILLON_WIZARD_DIR) + "/SetupData/Setup.bmp",
                                   m_dir.Path() / "SetupData" / "Setup.bmp");
    }
    ~WizardTest() override { m_boxes.Hold(false); }  // a job waiting on a box must be able to end

    void WriteSetup(const std::string& text) { m_dir.Write("SetupData/Setup.ini", text); }
    std::string Path(const std::string& relative) const { return (m_dir.Path() / relative).string(); }

    // The dialog, made, initialised and shown on first use.
    CUpdateDlg& Dialog() {
        if (!m_dialog) {
            m_dialog = std::make_unique<CUpdateDlg>(nullptr, Path(m_program));
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
    // An in-process printer as the port of entry 0.
    sim::VirtualPrinter& PrinterInEntry0(sim::PrinterConfig config) {
        auto& printer = *m_printers.emplace_back(std::make_unique<sim::VirtualPrinter>(std::move(config)));
        auto port = std::make_unique<sim::SimPort>(printer);
        SerialPortSettings settings(1, printer.Config().baudRate, printer.Config().handshake);
        port->SetSettings(&settings);
        Worker().m_printers.SetEntryPort(0, std::move(port));
        return printer;
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
    std::string m_program = "carillon";  // where in m_dir the program is taken to lie
    UsbDevicesFile m_usb;                             // no USB printers unless added
    ScopedSerialPortMap m_noSerial{SerialPortMap{}};  // no serial ports unless the setup file names some
    ScriptedBoxes m_boxes;
    std::vector<std::unique_ptr<sim::VirtualPrinter>> m_printers;
    std::vector<std::unique_ptr<sim::PtyPrinter>> m_ptys;
    std::unique_ptr<CUpdateDlg> m_dialog;  // last: it goes first, before the printers it talks to
};

}  // namespace carillon::testing
