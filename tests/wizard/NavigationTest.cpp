// The pages, the moves between them, the keys and the dialog's message boxes.

#include <QAction>
#include <QContextMenuEvent>
#include <QTimer>
#include <gmock/gmock.h>

#include "WizardFixture.h"
#include "app/SetupIni.h"

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
    std::string Text(int id) { return Button(id)->text().toStdString(); }
};

TEST_F(NavigationTest, EachPageShowsItsButtonsAndItsControl) {
    struct Row {
        bool previous, next, cancel;
        QRect tree, edit, browse;  // null: hidden
    };
    const Row rows[] = {
        {false, true, true, {}, {}, {}},
        {true, true, true, QRect(174, 100, 316, 240), {}, {}},
        {true, true, true, {}, QRect(174, 100, 286, 23), QRect(460, 100, 30, 23)},
        {true, true, true, {}, QRect(174, 150, 286, 23), QRect(460, 150, 30, 23)},
        {false, false, true, {}, {}, {}},
        {true, false, true, {}, {}, {}},
        {true, false, true, {}, {}, {}},
    };
    for (int page = 1; page <= 7; ++page) {
        SCOPED_TRACE(page);
        const Row& row = rows[page - 1];
        GoTo(page);
        EXPECT_EQ(Button(IDC_PREVIOUS)->isEnabled(), row.previous);
        EXPECT_EQ(Button(IDC_NEXT)->isEnabled(), row.next);
        EXPECT_EQ(Button(IDC_CANCEL)->isEnabled(), row.cancel);
        EXPECT_EQ(Text(IDC_PREVIOUS), page == 7 ? "Restart" : "Previous");  // the last page's two buttons change
        EXPECT_EQ(Text(IDC_NEXT), "Next");
        EXPECT_EQ(Text(IDC_CANCEL), page == 7 ? "Finish" : "Cancel");
        for (auto [control, where] : {std::pair<QWidget*, QRect>{TreeWidget(), row.tree}, {Edit(), row.edit},
                                      {Button(IDC_BROWSE), row.browse}}) {
            EXPECT_EQ(control->isVisible(), !where.isNull());
            if (!where.isNull()) {
                EXPECT_EQ(control->geometry(), where);
            }
        }
    }
    EXPECT_EQ(Dialog().size(), QSize(500, 400));
    EXPECT_EQ(Button(IDC_PREVIOUS)->geometry(), QRect(231, 362, 75, 23));
    EXPECT_EQ(Button(IDC_NEXT)->geometry(), QRect(315, 362, 75, 23));
    EXPECT_EQ(Button(IDC_CANCEL)->geometry(), QRect(396, 362, 75, 23));
    for (int id : {IDC_PREVIOUS, IDC_NEXT, IDC_CANCEL, IDC_BROWSE}) EXPECT_FALSE(Button(id)->isDefault());
    EXPECT_THAT(Dialog().windowTitle().toStdString(), ::testing::MatchesRegex("Flashing Utility [0-9]+\\.[0-9.]+"));
}

TEST_F(NavigationTest, TheSelectionPagesLeadForwardAndBack) {
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 1);
    Dialog().OnNext();
    EXPECT_EQ(Dialog().Page(), 2);
    EXPECT_EQ(Worker().m_bSearchRequested, 1);
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 1);
    Dialog().OnNext();

    // No printer found: the question; No stays, Yes goes on.
    Dialog().OnNext();
    EXPECT_EQ(Dialog().Page(), 2);
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    const auto question = m_boxes.Boxes()[0];
    EXPECT_EQ(question.text, "No printer has been found on this port.\nDo you really want to use this port?");
    EXPECT_EQ(question.flags, platform::MB_YESNO | platform::MB_ICONEXCLAMATION);
    EXPECT_EQ(question.owner, Dialog().Target());
    m_boxes.AnswerNext(platform::IDYES);
    Dialog().OnNext();
    EXPECT_EQ(Dialog().Page(), 3);
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 2);
    m_boxes.AnswerNext(platform::IDYES);
    Dialog().OnNext();

    NextWith("");  // no firmware file: refused
    EXPECT_EQ(Dialog().Page(), 3);
    EXPECT_EQ(m_boxes.Boxes().back().text, "Please, select a firmware file...");
    EXPECT_EQ(m_boxes.Boxes().back().flags, platform::MB_ICONERROR);
    NextWith(Sample("PLV"));
    EXPECT_EQ(Dialog().Page(), 4);
    EXPECT_EQ(Dialog().FirmwareFile(), Sample("PLV"));
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 3);
    NextWith(Sample("PLV"));
    NextWith(Sample("PLV"));  // the package itself as the output: refused
    EXPECT_EQ(Dialog().Page(), 4);
    EXPECT_EQ(m_boxes.Boxes().back().text, "The output file is one of the input files.\n" + Sample("PLV"));
    NextWith("");  // no output file is fine
    EXPECT_EQ(Dialog().Page(), 5);
    EXPECT_EQ(Worker().m_bUpdateRequested, 1);
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 5);

    // Without a port the update fails; Previous goes back to the firmware file.
    ASSERT_TRUE(WaitForPage(6));
    Dialog().OnPrevious();
    EXPECT_EQ(Dialog().Page(), 3);
}

TEST_F(NavigationTest, EnterClicksTheFocusedButtonAndOtherwiseGoesOnButNeverEndsTheDialog) {
    Button(IDC_NEXT)->setFocus();
    QTest::keyClick(Button(IDC_NEXT), Qt::Key_Return);
    EXPECT_EQ(Dialog().Page(), 2);
    m_boxes.AnswerNext(platform::IDYES);  // no printer: use the port all the same
    TreeWidget()->setFocus();
    QTest::keyClick(TreeWidget(), Qt::Key_Return);
    EXPECT_EQ(Dialog().Page(), 3);
    Edit()->setFocus();
    Edit()->setText("fw.VRK_Package");
    QTest::keyClick(Edit(), Qt::Key_Return);
    EXPECT_EQ(Dialog().Page(), 4);
    QTest::keyClick(Edit(), Qt::Key_Return);
    ASSERT_TRUE(WaitForPage(6));  // no port to connect to
    QTest::keyClick(&Dialog(), Qt::Key_Return);
    EXPECT_TRUE(Dialog().isVisible());
}

TEST_F(NavigationTest, F5RepaintsTheFilePagesFromTheSetupFileAndSearchesAgainOnThePrinterPage) {
    WriteSetup("[General]\nFirmware File=/stored/fw.VRK_Package\nOutput Binary=/stored/out.bin\n");
    GoTo(3);
    EXPECT_EQ(Edit()->text(), "/stored/fw.VRK_Package");
    QTest::keyClicks(Edit(), "x");
    QTest::keyClick(Edit(), Qt::Key_F5);  // sent to the control: the dialog sees it first
    EXPECT_EQ(Edit()->text(), "/stored/fw.VRK_Package");
    GoTo(4);
    Edit()->setText("typed");
    QTest::keyClick(&Dialog(), Qt::Key_F5);
    EXPECT_EQ(Edit()->text(), "/stored/out.bin");

    GoTo(2);
    ASSERT_TRUE(WaitUntilIdle());  // the search the page asked for is over
    QTest::keyClick(TreeWidget(), Qt::Key_F5);
    EXPECT_EQ(Worker().m_bSearchRequested, 1);
    ASSERT_TRUE(WaitUntilIdle());
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
    EXPECT_EQ(QtNameFilters(asked[0].filter), (QStringList{"VRK Package files (*.VRK_Package)", "All files (*)"}));
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
    answer.reset();  // cancelled: nothing changes
    Button(IDC_BROWSE)->click();
    EXPECT_EQ(Dialog().OutputFile(), Path("out.VRK_Package.bin"));

    CSetupIni ini(Path("SetupData/Setup.ini"));
    EXPECT_EQ(ini.GetString("General", "Firmware File", ""), Path("chosen.VRK_Package"));
    EXPECT_EQ(ini.GetString("General", "Output Binary", ""), Path("out.VRK_Package.bin"));
}

TEST_F(NavigationTest, TheAboutBoxIsOnTheContextMenuAndOnF1) {
    Dialog();  // shown first: its showing runs the event loop
    QStringList seen;
    // Notes the next menu's first entry or dialog's title, then closes it.
    auto noteNextWindow = [&](bool menu) {
        QTimer::singleShot(0, [&, menu] {
            QWidget* window = nullptr;
            ASSERT_TRUE(QTest::qWaitFor([&] {
                window = menu ? QApplication::activePopupWidget() : QApplication::activeModalWidget();
                return window != nullptr;
            }));
            seen << (menu ? window->actions().value(0)->text() : window->windowTitle());
            window->close();
        });
    };
    noteNextWindow(true);
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(100, 100), Dialog().mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(&Dialog(), &click);
    noteNextWindow(false);
    QTest::keyClick(&Dialog(), Qt::Key_F1);
    EXPECT_EQ(seen, (QStringList{"&A propos de Carillon...", "A propos de Carillon"}));
}

}  // namespace
}  // namespace carillon
