// The printer tree on its widget, fed from the worker thread, and the
// message boxes shown for any thread.

#include <QTimer>
#include <thread>

#include "WizardFixture.h"
#include "wizard/QtMessageBoxProvider.h"
#include "wizard/QtTreeControl.h"

namespace carillon {
namespace {

std::vector<std::string> Lines(QTreeWidget* tree) {
    std::vector<std::string> lines;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* group = tree->topLevelItem(i);
        lines.push_back(group->text(0).toStdString());
        for (int j = 0; j < group->childCount(); ++j) lines.push_back("  " + group->child(j)->text(0).toStdString());
    }
    return lines;
}

TEST(QtTreeControl, ChangesQueuedFromAWorkerApplyInOrderAndARebuildForgetsOldHandles) {
    QTreeWidget widget;
    QtTreeControl tree(&widget);
    TreeItem group = 0, line = 0;
    std::thread([&] {
        group = tree.InsertItem("Serial Printers", kImageSerial, kTreeRoot);
        line = tree.InsertItem("COM1: Printer", kImageSerial, group);
        tree.SetBold(line, true);
    }).join();  // handles came at once: nothing has reached the widget yet
    EXPECT_NE(line, group);
    EXPECT_EQ(widget.topLevelItemCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(Lines(&widget), (std::vector<std::string>{"Serial Printers", "  COM1: Printer"}));
    EXPECT_TRUE(tree.Item(line)->font(0).bold());
    widget.setCurrentItem(tree.Item(line));
    EXPECT_EQ(tree.GetSelectedItem(), line);

    tree.DeleteAllItems();
    const TreeItem orphan = tree.InsertItem("lost", kImageUsb, group);
    tree.SetBold(line, false);
    QCoreApplication::processEvents();
    EXPECT_EQ(widget.topLevelItemCount(), 0);
    EXPECT_EQ(tree.Item(orphan), nullptr);
    EXPECT_EQ(tree.GetSelectedItem(), 0u);
}

class PrinterTreeTest : public testing::WizardTest {};

// The groups and the bold line are the printer list's; here, what the widget
// shows of them and what a click on it does.
TEST_F(PrinterTreeTest, AClickedLineIsTheBoldCurrentPrinterAndNextAsksNothing) {
    sim::PrinterConfig serial;
    serial.name = "Counter NDX";
    sim::PrinterConfig usb;
    usb.family = sim::Family::kPlv;
    usb.name = "Kiosk PLV";
    WriteSetup("[Serial ports]\nCOM1=" + PtyPrinter(serial, false).DevicePath() + "\n");
    PtyPrinter(usb, true);

    Button(IDC_NEXT)->click();
    QTreeWidget* tree = TreeWidget();
    const std::vector<std::string> found = {"Serial Printers", "  COM1: Counter NDX", "USB Printers",
                                            "  USB1: Kiosk PLV"};
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Worker().m_bSearchRequested && Lines(tree) == found; }, 30000))
        << ::testing::PrintToString(Lines(tree));
    QTreeWidgetItem* com1 = tree->topLevelItem(0)->child(0);
    QTreeWidgetItem* usb1 = tree->topLevelItem(1)->child(0);
    EXPECT_TRUE(tree->topLevelItem(1)->isExpanded());
    EXPECT_TRUE(com1->font(0).bold());  // entry 0 is current
    EXPECT_FALSE(usb1->icon(0).isNull());

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(usb1).center());
    QCoreApplication::processEvents();  // the bold change is queued
    EXPECT_EQ(Worker().m_printers.current, 1);
    EXPECT_TRUE(usb1->font(0).bold());
    EXPECT_FALSE(com1->font(0).bold());

    Button(IDC_NEXT)->click();  // a printer was found: no question
    EXPECT_EQ(Dialog().Page(), 3);
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

// Clicks a button of the message box that opens next, after checking it.
void AnswerNextBox(QMessageBox::StandardButton button, std::function<void(QMessageBox*)> check) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        timer->deleteLater();
        timer->stop();
        check(box);
        box->button(button)->click();
    });
    timer->start(10);
}

TEST(QtMessageBoxes, AWorkerWaitsForTheAnswerGivenOnTheGuiThread) {
    QtMessageBoxProvider provider;
    platform::ScopedMessageBoxProvider scope(&provider);
    QWidget owner;
    QtMessageTarget target(&owner);
    std::thread::id shownOn;
    AnswerNextBox(QMessageBox::Yes, [&](QMessageBox* box) {
        shownOn = std::this_thread::get_id();
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));  // Return never forces what it asks
        EXPECT_EQ(box->text(), "Go on?");
        EXPECT_EQ(box->parentWidget(), &owner);
    });
    std::atomic<int> answer{0};
    const unsigned flags = platform::MB_YESNO | platform::MB_ICONWARNING | platform::MB_DEFBUTTON2;
    std::thread worker([&] { answer = platform::MessageBox(&target, "Go on?", "", flags); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer != 0; }, 10000));
    worker.join();
    EXPECT_EQ(answer, platform::IDYES);
    EXPECT_EQ(shownOn, std::this_thread::get_id());

    AnswerNextBox(QMessageBox::Ok, [](QMessageBox* box) {
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(box->windowTitle(), "Error while saving output binary file...");
    });
    EXPECT_EQ(platform::MessageBox(nullptr, "Error", "Error while saving output binary file...", platform::MB_ICONERROR),
              platform::IDOK);
    // A question closed without an answer counts as No.
    EXPECT_EQ(MessageBoxAnswer(-1, platform::MB_YESNO), platform::IDNO);
}

}  // namespace
}  // namespace carillon
