// The pages, the moves between them, the keys, the message boxes of the
// dialog and the guard against ending it during an update.

#include <QAction>
#include <QContextMenuEvent>
#include <QSignalSpy>
#include <QTimer>

#include "WizardFixture.h"
#include "app/SetupIni.h"
#include "platform/MessageQueue.h"
#include "wizard/VersionInfo.h"

namespace carillon {
namespace {

using testing::Sample;

class NavigationTest : public testing::WizardTest {
protected:
    // Next with the edit box holding text (the firmware or the output file page).
    void NextWith(const std::string& text) {
        Edit()->setText(QString::fromStdString(text));
        Dialog().OnNext();
    }
    // The update job raises this box first when the package is for another family.
    bool JobWaitsOnABox() { return QTest::qWaitFor([&] { return m_boxes.WorkerWaiting(); }, 30000); }
};

struct PageRow {
    int page;
    bool previous, next, cancel;
    const char* previousText;
    const char* cancelText;
    QRect tree, edit, browse;  // null: hidden
};

TEST_F(NavigationTest, EachPageShowsItsButtonsAndItsControl) {
    const PageRow rows[] = {
        {1, false, true, true, "Previous", "Cancel", {}, {}, {}},
        {2, true, true, true, "Previous", "Cancel", QRect(174, 100, 316, 240), {}, {}},
        {3, true, true, true, "Previous", "Cancel", {}, QRect(174, 100, 286, 23), QRect(460, 100, 30, 23)},
        {4, true, true, true, "Previous", "Cancel", {}, QRect(174, 150, 286, 23), QRect(460, 150, 30, 23)},
        {5, false, false, false, "Previous", "Cancel", {}, {}, {}},
        {6, true, false, true, "Previous", "Cancel", {}, {}, {}},
        {7, true, false, true, "Restart", "Finish", {}, {}, {}},
    };
    for (const PageRow& row : rows) {
        SCOPED_TRACE(row.page);
        GoTo(row.page);
        EXPECT_EQ(Button(IDC_PREVIOUS)->isEnabled(), row.previous);
        EXPECT_EQ(Button(IDC_NEXT)->isEnabled(), row.next);
        EXPECT_EQ(Button(IDC_CANCEL)->isEnabled(), row.cancel);
        EXPECT_EQ(Button(IDC_PREVIOUS)->text().toStdString(), row.previousText);
        EXPECT_EQ(Button(IDC_NEXT)->text().toStdString(), "Next");
        EXPECT_EQ(Button(IDC_CANCEL)->text().toStdString(), row.cancelText);
        const std::pair<QWidget*, QRect> controls[] = {
            {TreeWidget(), row.tree}, {Edit(), row.edit}, {Button(IDC_BROWSE), row.browse}};
        for (const auto& [control, where] : controls) {
            EXPECT_EQ(control->isVisible(), !where.isNull()) << control->objectName().toStdString();
            if (!where.isNull()) {
                EXPECT_EQ(control->geometry(), where);
            }
        }
    }
    // The buttons sit where the dialog puts them, in a 500 x 400 client area.
    EXPECT_EQ(Dialog().size(), QSize(500, 400));
    EXPECT_EQ(Button(IDC_PREVIOUS)->geometry(), QRect(231, 362, 75, 23));
    EXPECT_EQ(Button(IDC_NEXT)->geometry(), QRect(315, 362, 75, 23));
    EXPECT_EQ(Button(IDC_CANCEL)->geometry(), QRect(396, 362, 75, 23));
    for (int id : {IDC_PREVIOUS, IDC_NEXT, IDC_CANCEL, IDC_BROWSE}) EXPECT_FALSE(Button(id)->isDefault());
    EXPECT_EQ(Dialog().windowTitle().toStdString(),
              "Flashing Utility " + CVersionInfo(CARILLON_TEST_VERSION).FormatVersion());
}

TEST_F(NavigationTest, TheSelectionPagesLeadForwardAndBack) {
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 1);  // nothing before the welcome page
    Dialog().OnNext();
    EXPECT_EQ(Dialog().Page(), 2);
    EXPECT_EQ(Dialog().Worker()->m_bSearchRequested, 1);
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 1);
    Dialog().OnNext();

    // No printer found: the question, and No stays.
    Dialog().OnNext();
    EXPECT_EQ(Dialog().Page(), 2);
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    const auto question = m_boxes.Boxes()[0];
    EXPECT_EQ(question.text, "No printer has been found on this port.\nDo you really want to use this port?");
    EXPECT_EQ(question.caption, "");
    EXPECT_EQ(question.flags, platform::MB_YESNO | platform::MB_ICONEXCLAMATION);
    EXPECT_EQ(question.owner, Dialog().Target());
    m_boxes.AnswerNext(platform::IDYES);
    Dialog().OnNext();
    EXPECT_EQ(Dialog().Page(), 3);
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 2);
    m_boxes.AnswerNext(platform::IDYES);
    Dialog().OnNext();
    ASSERT_EQ(Dialog().Page(), 3);

    // An empty firmware file is refused.
    NextWith("");
    EXPECT_EQ(Dialog().Page(), 3);
    const auto refused = m_boxes.Boxes().back();
    EXPECT_EQ(refused.text, "Please, select a firmware file...");
    EXPECT_EQ(refused.flags, platform::MB_ICONERROR);
    NextWith(Sample("PLV"));
    EXPECT_EQ(Dialog().Page(), 4);
    EXPECT_EQ(Dialog().FirmwareFile(), Sample("PLV"));
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 3);
    NextWith(Sample("PLV"));
    NextWith("");  // no output file is allowed
    EXPECT_EQ(Dialog().Page(), 5);
    EXPECT_EQ(Dialog().OutputFile(), "");
    EXPECT_EQ(Dialog().Worker()->m_bUpdateRequested, 1);
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 5);  // no way back during the update

    // Without a port the update fails; Previous goes back to the firmware file.
    ASSERT_TRUE(WaitForPage(6));
    EXPECT_EQ(Dialog().Worker()->Snapshot().m_strResultTitle, "Fail to connect...");
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 3);
    EXPECT_EQ(Edit()->text().toStdString(), "");  // the page refills the box from the setup file
}

TEST_F(NavigationTest, ASuccessfulUpdateEndsOnTheSuccessPageWhichRestartsOrFinishes) {
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    config.usbReenumerateMs = 20;
    sim::VirtualPrinter& printer = PrinterInEntry0(config);
    GoTo(3);
    NextWith(Sample("PLV"));
    NextWith("");
    ASSERT_EQ(Dialog().Page(), 5);
    // F5 raises the request again; the job that runs absorbs it.
    QTest::keyClick(&Dialog(), Qt::Key_F5);
    QTest::keyClick(&Dialog(), Qt::Key_F5);
    EXPECT_EQ(Dialog().Page(), 5);
    ASSERT_TRUE(WaitForPage(7)) << Dialog().Worker()->Snapshot().m_strResultText;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Dialog().Worker()->m_bUpdateRequested == 0; }, 5000));
    QTest::qWait(300);  // a second job would have started within this
    EXPECT_EQ(Dialog().Worker()->m_bUpdateRequested, 0);
    std::size_t leaves = 0;
    for (const auto& r : printer.Requests()) leaves += r.packet.code == 0x40;
    EXPECT_EQ(leaves, 1u);  // one job released the monitor once
    EXPECT_FALSE(printer.InMonitor());

    EXPECT_EQ(Button(IDC_PREVIOUS)->text().toStdString(), "Restart");
    EXPECT_EQ(Button(IDC_CANCEL)->text().toStdString(), "Finish");
    Button(IDC_PREVIOUS)->click();
    EXPECT_EQ(Dialog().Page(), 1);
    EXPECT_EQ(Button(IDC_PREVIOUS)->text().toStdString(), "Previous");
    EXPECT_EQ(Button(IDC_CANCEL)->text().toStdString(), "Cancel");

    GoTo(7);
    QSignalSpy finished(&Dialog(), &QDialog::finished);
    Button(IDC_CANCEL)->click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(Dialog().result(), QDialog::Rejected);
    EXPECT_FALSE(Dialog().isVisible());
}

TEST_F(NavigationTest, TheDialogCannotBeEndedWhileAnUpdateRuns) {
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    PrinterInEntry0(config);
    m_boxes.Hold();
    GoTo(3);
    NextWith(Sample("NDX"));  // another family's package: the job stops on its report
    NextWith("");
    ASSERT_TRUE(JobWaitsOnABox());

    QSignalSpy finished(&Dialog(), &QDialog::finished);
    EXPECT_FALSE(Dialog().close());
    const auto wait = m_boxes.Boxes().back();
    EXPECT_EQ(wait.text, "Please wait the end of the firmware update before closing...");
    EXPECT_EQ(wait.caption, "");
    EXPECT_EQ(wait.flags, platform::MB_ICONERROR);
    QTest::keyClick(&Dialog(), Qt::Key_Escape);
    QTest::keyClick(&Dialog(), Qt::Key_Return);
    QTest::keyClick(&Dialog(), Qt::Key_Enter, Qt::KeypadModifier);
    Dialog().OnCancelButton();
    EXPECT_TRUE(Dialog().isVisible());
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(Dialog().Page(), 5);

    // Once the job has failed, Escape ends the dialog.
    m_boxes.Release();
    ASSERT_TRUE(WaitForPage(6));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Dialog().Worker()->m_bUpdateRequested == 0; }, 5000));
    QTest::keyClick(&Dialog(), Qt::Key_Escape);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(Dialog().result(), QDialog::Rejected);
}

TEST_F(NavigationTest, EnterClicksTheFocusedButtonAndOtherwiseEndsTheDialog) {
    Button(IDC_NEXT)->setFocus();
    QTest::keyClick(Button(IDC_NEXT), Qt::Key_Return);
    EXPECT_EQ(Dialog().Page(), 2);
    QSignalSpy finished(&Dialog(), &QDialog::finished);
    TreeWidget()->setFocus();
    QTest::keyClick(TreeWidget(), Qt::Key_Return);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(Dialog().result(), QDialog::Accepted);
}

TEST_F(NavigationTest, F5RepaintsTheFilePagesFromTheSetupFileAndSearchesAgainOnThePrinterPage) {
    WriteSetup("[General]\nFirmware File=/stored/fw.VRK_Package\nOutput Binary=/stored/out.VRK_Package.bin\n");
    GoTo(3);
    EXPECT_EQ(Edit()->text().toStdString(), "/stored/fw.VRK_Package");
    QTest::keyClicks(Edit(), "x");
    EXPECT_EQ(Edit()->text().toStdString(), "/stored/fw.VRK_Packagex");
    QTest::keyClick(Edit(), Qt::Key_F5);  // to the control: the dialog sees it first
    EXPECT_EQ(Edit()->text().toStdString(), "/stored/fw.VRK_Package");
    GoTo(4);
    Edit()->setText("typed");
    QTest::keyClick(&Dialog(), Qt::Key_F5);
    EXPECT_EQ(Edit()->text().toStdString(), "/stored/out.VRK_Package.bin");

    platform::MessageQueue searches;
    Dialog().Worker()->m_printers.notifyWindow = &searches;
    auto nextSearchEnds = [&] {
        for (auto m = searches.Take(std::chrono::seconds(30)); m; m = searches.Take(std::chrono::seconds(30)))
            if (m->id == platform::WM_SEARCH_DONE) return true;
        return false;
    };
    GoTo(2);
    ASSERT_TRUE(nextSearchEnds());
    // A request raised before the search has returned would be absorbed by it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Dialog().Worker()->m_bSearchRequested == 0; }, 5000));
    QTest::keyClick(TreeWidget(), Qt::Key_F5);
    EXPECT_EQ(Dialog().Worker()->m_bSearchRequested, 1);
    EXPECT_TRUE(nextSearchEnds());
    Dialog().Worker()->m_printers.notifyWindow = nullptr;
}

TEST_F(NavigationTest, TheBrowseButtonAsksForAFileAndRemembersIt) {
    std::vector<FileDialogRequest> asked;
    std::optional<std::string> answer = Path("chosen.VRK_Package");
    Dialog().SetFileDialog([&](const FileDialogRequest& r) {
        asked.push_back(r);
        return answer;
    });
    Dialog().OnBrowse();  // page 1: nothing to browse for
    EXPECT_TRUE(asked.empty());

    GoTo(3);
    Button(IDC_BROWSE)->click();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].defaultExtension, ".VRK_Package");
    EXPECT_EQ(asked[0].initialName, "");
    EXPECT_EQ(QtNameFilters(asked[0].filter),
              (QStringList{"VRK Package files (*.VRK_Package)", "All files (*)"}));
    EXPECT_EQ(Edit()->text().toStdString(), *answer);
    EXPECT_EQ(Dialog().FirmwareFile(), *answer);

    GoTo(4);
    answer = Path("out.VRK_Package.bin");
    Button(IDC_BROWSE)->click();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].defaultExtension, ".VRK_Package.bin");
    EXPECT_EQ(asked[1].initialName, "noname.VRK_Package.bin");
    EXPECT_EQ(QtNameFilters(asked[1].filter),
              (QStringList{"VRK Binary files (*.VRK_Package.bin)", "All files (*)"}));
    EXPECT_EQ(Dialog().OutputFile(), *answer);

    answer.reset();  // cancelled: nothing changes
    Button(IDC_BROWSE)->click();
    EXPECT_EQ(Dialog().OutputFile(), Path("out.VRK_Package.bin"));

    CSetupIni ini(Path("SetupData/Setup.ini"));
    EXPECT_EQ(ini.GetString("General", "Firmware File", ""), Path("chosen.VRK_Package"));
    EXPECT_EQ(ini.GetString("General", "Output Binary", ""), Path("out.VRK_Package.bin"));
}

// Runs check on the first modal or popup window that opens, then closes it.
template <typename Check>
void OnNextWindow(Check check) {
    QTimer::singleShot(0, [check] {
        const bool opened = QTest::qWaitFor(
            [] { return QApplication::activeModalWidget() || QApplication::activePopupWidget(); }, 5000);
        ASSERT_TRUE(opened);
        QWidget* window = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                            : QApplication::activeModalWidget();
        check(window);
        window->close();
    });
}

TEST_F(NavigationTest, TheAboutBoxIsOnTheContextMenuAndOnF1) {
    Dialog();
    QStringList entries;
    OnNextWindow([&](QWidget* menu) {
        for (QAction* a : menu->actions()) entries << a->text();
    });
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(100, 100), Dialog().mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(&Dialog(), &click);
    EXPECT_EQ(entries, QStringList{"&A propos de Carillon..."});

    QString title;
    OnNextWindow([&](QWidget* about) { title = about->windowTitle(); });
    QTest::keyClick(&Dialog(), Qt::Key_F1);
    EXPECT_EQ(title.toStdString(), "A propos de Carillon");
}

}  // namespace
}  // namespace carillon
