// End to end: the silent start against a printer on a pseudo-terminal, an
// update interrupted, and a person's walk through all seven pages, which also
// saves a screenshot of each page for the documentation.

#include <QSignalSpy>
#include <QTimer>
#include <cstdlib>

#include "WizardFixture.h"
#include "wizard/UpdateApp.h"

namespace carillon {
namespace {

using testing::Sample;

class SilentTest : public testing::WizardTest {
protected:
    // A PLV printer at 19200 baud on a pty, and the setup file that names it COM2.
    sim::VirtualPrinter& SilentSetup(const std::string& firmware, const std::string& output, bool inMonitor) {
        sim::PrinterConfig config;
        config.family = sim::Family::kPlv;
        config.baudRate = 19200;
        config.startInMonitor = inMonitor;
        m_timingScale = 1.0;  // waking a printer on a pty needs the real pauses
        WriteSetup("[General]\nIsSilent=1\nFirmware File=" + firmware + "\nOutput Binary=" + output +
                   "\n[Silent mode config]\nPort type=SERIAL\nPort=0x102\nBaudrate=19200\nHandshake=1\n"
                   "[Serial ports]\nCOM2=" + PtyPrinter(config, false).DevicePath() + "\n");
        return *m_printers.back();
    }
};

TEST_F(SilentTest, ASuccessfulUpdateEndsTheProgramWithoutAClick) {
    sim::VirtualPrinter& printer = SilentSetup(Sample("PLV"), Path("out.VRK_Package.bin"), false);
    QTimer watchdog;  // should the program never end, say so rather than hang
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        std::fprintf(stderr, "the silent update did not end the program\n");
        std::_Exit(1);
    });
    watchdog.start(120000);
    CUpdateApp app(Path("carillon"));
    EXPECT_FALSE(app.InitInstance());
    watchdog.stop();
    EXPECT_EQ(app.DialogResult(), QDialog::Accepted);
    EXPECT_FALSE(printer.InMonitor());
    EXPECT_TRUE(std::filesystem::exists(Path("out.VRK_Package.bin")));
}

TEST_F(SilentTest, AFailedUpdateStaysOnTheFailurePage) {
    SilentSetup(Path("missing.VRK_Package"), "", true);
    EXPECT_EQ(Dialog().Page(), 5);  // straight to the update, no search
    ASSERT_TRUE(WaitForPage(6, 60000));
    QTest::qWait(300);
    EXPECT_TRUE(Dialog().isVisible());
}

class WalkTest : public testing::WizardTest {
protected:
    void Screenshot(int page) {
        ASSERT_EQ(Dialog().Page(), page);
        QCoreApplication::processEvents();
        std::filesystem::create_directories(CARILLON_SCREENSHOT_DIR);
        const std::string file = std::string(CARILLON_SCREENSHOT_DIR) + "/page" + std::to_string(page) + ".png";
        EXPECT_TRUE(Dialog().grab().save(QString::fromStdString(file)));
    }
    void Type(const std::string& text) {
        Edit()->clear();
        QTest::keyClicks(Edit(), QString::fromStdString(text));
    }
    // A slow NDX printer on COM1, found by a search, being programmed.
    void UpdateUntilProgramming() {
        sim::PrinterConfig ndx;
        ndx.pacing = {.enabled = true, .baud = 500000};
        m_timingScale = 1.0;
        WriteSetup("[General]\nFirmware File=" + Sample("NDX") + "\n[Serial ports]\nCOM1=" +
                   PtyPrinter(ndx, false).DevicePath() + "\n");
        Button(IDC_NEXT)->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !Worker().m_bSearchRequested; }, 30000));
        for (int page = 3; page <= 5; ++page) Button(IDC_NEXT)->click();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return Worker().Snapshot().m_strStatus.find("Programming") != std::string::npos; }, 60000));
    }
};

TEST_F(WalkTest, AnUnpluggedPrinterReachesTheFailurePageAtOnce) {
    UpdateUntilProgramming();
    m_ptys.back()->Stop();
    ASSERT_TRUE(WaitForPage(6, 5000));
    EXPECT_EQ(Worker().Snapshot().resultCode >> 16, 0x0001u);  // the port's own code
}

// Only a confirmed Cancel stops a running update; nothing else ends the
// dialog meanwhile, and once stopped Escape does.
TEST_F(WalkTest, DuringTheUpdateOnlyAConfirmedCancelStopsItAndNothingEndsTheDialog) {
    UpdateUntilProgramming();
    QSignalSpy finished(&Dialog(), &QDialog::finished);
    EXPECT_FALSE(Dialog().close());
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{"Please wait the end of the firmware update before closing..."});
    QTest::keyClick(&Dialog(), Qt::Key_Return);
    QTest::keyClick(&Dialog(), Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(&Dialog(), Qt::Key_Escape);  // the question, answered No
    EXPECT_EQ(m_boxes.Boxes().back().flags, platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2);
    EXPECT_EQ(Dialog().Page(), 5);
    EXPECT_EQ(finished.count(), 0);

    m_boxes.AnswerNext(platform::IDYES);
    Button(IDC_CANCEL)->click();
    ASSERT_TRUE(WaitForPage(6, 30000));
    EXPECT_EQ(Worker().Snapshot().resultCode, kErrEngStoppedByUser);
    ASSERT_TRUE(WaitUntilIdle());
    QTest::keyClick(&Dialog(), Qt::Key_Escape);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(Dialog().result(), QDialog::Rejected);
}

TEST_F(WalkTest, AllSevenPages) {
    // A receipt printer on COM1, paced so that the update page can be seen
    // at work, and a kiosk printer on USB.
    sim::PrinterConfig ndx;
    ndx.name = "Counter NDX";
    ndx.pacing.enabled = true;
    ndx.pacing.baud = 2000000;
    sim::PrinterConfig plv;
    plv.family = sim::Family::kPlv;
    plv.name = "Kiosk PLV";
    m_timingScale = 1.0;
    WriteSetup("[General]\nFirmware File=" + Sample("PLV") + "\n[Serial ports]\nCOM1=" +
               PtyPrinter(ndx, false).DevicePath() + "\n");
    PtyPrinter(plv, true);

    Screenshot(1);
    Button(IDC_NEXT)->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !Worker().m_bSearchRequested && TreeWidget()->topLevelItemCount() == 2 &&
                   TreeWidget()->topLevelItem(1)->childCount() == 1;
        }, 30000));
    QTest::qWait(50);
    Screenshot(2);

    // The preset package is another family's: forcing is refused and the update fails.
    Button(IDC_NEXT)->click();
    Button(IDC_NEXT)->click();
    Button(IDC_NEXT)->click();
    ASSERT_TRUE(WaitForPage(6, 60000)) << Worker().Snapshot().m_strResultTitle;
    Screenshot(6);

    // Back to the firmware file for the right one, and an output file this time.
    Button(IDC_PREVIOUS)->click();
    Type(Sample("NDX"));
    Screenshot(3);
    Button(IDC_NEXT)->click();
    Type(Path("NDX.VRK_Package.bin"));
    Screenshot(4);
    Button(IDC_NEXT)->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const CThread::View v = Worker().Snapshot();
            return Dialog().Page() != 5 || (v.m_bShowTotal && v.m_nTotalPercent >= 40 && v.m_nProgressPercent >= 30);
        },
        60000));
    Screenshot(5);
    ASSERT_TRUE(WaitForPage(7, 120000)) << Worker().Snapshot().m_strResultText;
    Screenshot(7);
    EXPECT_TRUE(std::filesystem::exists(Path("NDX.VRK_Package.bin")));

    Button(IDC_PREVIOUS)->click();  // Restart: the buttons read as before
    EXPECT_EQ(Dialog().Page(), 1);
    EXPECT_EQ(Button(IDC_PREVIOUS)->text(), "Previous");
    EXPECT_EQ(Button(IDC_CANCEL)->text(), "Cancel");
    GoTo(7);
    Button(IDC_CANCEL)->click();  // Finish
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_EQ(Dialog().result(), QDialog::Rejected);
}

}  // namespace
}  // namespace carillon
