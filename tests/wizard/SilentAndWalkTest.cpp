// End to end: the silent start against a printer on a pseudo-terminal, and
// a person's walk through all seven pages, which also saves a screenshot of
// each page for the documentation.

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
    sim::PtyPrinter& SilentSetup(const std::string& firmware, const std::string& output, bool inMonitor = false) {
        sim::PrinterConfig config;
        config.family = sim::Family::kPlv;
        config.baudRate = 19200;
        config.startInMonitor = inMonitor;
        sim::PtyPrinter& pty = m_ptys.Add(config, false, m_usb.Path());
        m_timingScale = 1.0;
        WriteSetup("[General]\nIsSilent=1\nFirmware File=" + firmware + "\nOutput Binary=" + output +
              "\n[Silent mode config]\nPort type=SERIAL\nPort=0x102\nBaudrate=19200\nHandshake=1\n"
              "[Serial ports]\nCOM2=" + pty.DevicePath() + "\n");
        return pty;
    }
};

TEST_F(SilentTest, ASuccessfulUpdateEndsTheProgramWithoutAClick) {
    SilentSetup(Sample("PLV"), Path("out.VRK_Package.bin"));
    // Should the program never end, say so rather than hang.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        std::fprintf(stderr, "the silent update did not end the program\n");
        std::_Exit(1);
    });
    watchdog.start(120000);
    CUpdateApp app(Path("carillon"));
    EXPECT_FALSE(app.InitInstance());
    watchdog.stop();
    EXPECT_EQ(app.DialogResult(), QDialog::Accepted);
    EXPECT_FALSE(m_ptys.running[0].printer->InMonitor());
    EXPECT_TRUE(std::filesystem::exists(Path("out.VRK_Package.bin")));
}

TEST_F(SilentTest, AFailedUpdateStaysOnTheFailurePage) {
    SilentSetup(Path("missing.VRK_Package"), "", true);
    EXPECT_EQ(Dialog().Page(), 5);  // straight to the update, no search
    EXPECT_FALSE(Button(IDC_CANCEL)->isEnabled());
    ASSERT_TRUE(WaitForPage(6, 60000));
    QTest::qWait(300);
    EXPECT_TRUE(Dialog().isVisible());
    EXPECT_EQ(Dialog().Page(), 6);
    const auto view = Dialog().Worker()->Snapshot();
    EXPECT_EQ(view.m_strResultTitle, "Programming Error...\n");
    EXPECT_EQ(view.m_strResultText,
              "The file \"" + Path("missing.VRK_Package") + "\" is not valid...\n(Error Code=01000003h)");
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
};

TEST_F(WalkTest, AllSevenPages) {
    // A receipt printer on COM1, paced like a real line so that the update
    // page can be seen at work, and a kiosk printer on USB.
    sim::PrinterConfig ndx;
    ndx.name = "Counter NDX";
    ndx.pacing.enabled = true;
    ndx.pacing.baud = 2000000;
    sim::PtyPrinter& com = m_ptys.Add(ndx, false, m_usb.Path());
    sim::PrinterConfig plv;
    plv.family = sim::Family::kPlv;
    plv.name = "Kiosk PLV";
    m_ptys.Add(plv, true, m_usb.Path());
    m_timingScale = 1.0;  // waking a printer on a pty needs the real pauses
    WriteSetup("[General]\nFirmware File=" + Sample("PLV") + "\n[Serial ports]\nCOM1=" + com.DevicePath() + "\n");

    Screenshot(1);
    Button(IDC_NEXT)->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return Dialog().Worker()->m_bSearchRequested == 0 && TreeWidget()->topLevelItemCount() == 2 &&
                   TreeWidget()->topLevelItem(1)->childCount() == 1;
        },
        30000));
    QTest::qWait(50);
    Screenshot(2);

    // The preset package is for another family: its elements are reported,
    // forcing is refused, and the update fails.
    Button(IDC_NEXT)->click();
    EXPECT_EQ(Edit()->text().toStdString(), Sample("PLV"));
    Button(IDC_NEXT)->click();
    Button(IDC_NEXT)->click();
    ASSERT_EQ(Dialog().Page(), 5);
    ASSERT_TRUE(WaitForPage(6, 60000)) << Dialog().Worker()->Snapshot().m_strResultTitle;
    ASSERT_FALSE(m_boxes.Boxes().empty());
    EXPECT_EQ(m_boxes.Boxes().back().text,
              "Some element of the package are not compatible with the printer.\nDo you want to force the update?");
    Screenshot(6);

    // Back to the firmware file, and this time the right one, with an output file.
    Button(IDC_PREVIOUS)->click();
    Type(Sample("NDX"));
    Screenshot(3);
    Button(IDC_NEXT)->click();
    const std::string output = Path("NDX.VRK_Package.bin");
    Type(output);
    Screenshot(4);
    Button(IDC_NEXT)->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const CThread::View v = Dialog().Worker()->Snapshot();
            return Dialog().Page() != 5 || (v.m_bShowTotal && v.m_nTotalPercent >= 40 && v.m_nProgressPercent >= 30);
        },
        60000));
    Screenshot(5);
    ASSERT_TRUE(WaitForPage(7, 120000)) << Dialog().Worker()->Snapshot().m_strResultText;
    Screenshot(7);
    EXPECT_TRUE(std::filesystem::exists(output));
}

}  // namespace
}  // namespace carillon
