#include "wizard/QtMessageBoxProvider.h"

#include <QApplication>
#include <QThread>
#include <future>
#include <memory>

#include "wizard/QtMessageTarget.h"

namespace carillon {
namespace {

constexpr unsigned kIconQuestion = 0x20;

// The window a box belongs to: its owner's, else (boxes raised deep inside
// name none) the one the person is working in.
QWidget* OwnerWindow(const platform::MessageBoxRequest& request) {
    if (auto* target = dynamic_cast<QtMessageTarget*>(request.owner)) return target->Window();
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return QApplication::activeWindow();
}

int ShowOnGuiThread(const platform::MessageBoxRequest& request) {
    QWidget* owner = OwnerWindow(request);
    QString title = QString::fromStdString(request.caption);
    if (title.isEmpty() && owner != nullptr) title = owner->window()->windowTitle();
    QMessageBox box(MessageBoxIcon(request.flags), title, QString::fromStdString(request.text),
                    MessageBoxButtons(request.flags), owner);
    box.setTextFormat(Qt::PlainText);
    if (QMessageBox::StandardButton no = MessageBoxDefault(request.flags); no != QMessageBox::NoButton) {
        box.setDefaultButton(no);
        box.setEscapeButton(no);
    }
    return MessageBoxAnswer(box.exec(), request.flags);
}

}  // namespace

QMessageBox::StandardButtons MessageBoxButtons(unsigned flags) {
    if ((flags & platform::MB_BUTTON_MASK) == platform::MB_YESNO) return QMessageBox::Yes | QMessageBox::No;
    return QMessageBox::Ok;
}

QMessageBox::StandardButton MessageBoxDefault(unsigned flags) {
    const bool question = (flags & platform::MB_BUTTON_MASK) == platform::MB_YESNO;
    return question && (flags & platform::MB_DEFBUTTON_MASK) == platform::MB_DEFBUTTON2 ? QMessageBox::No
                                                                                          : QMessageBox::NoButton;
}

QMessageBox::Icon MessageBoxIcon(unsigned flags) {
    switch (flags & platform::MB_ICON_MASK) {
        case platform::MB_ICONERROR: return QMessageBox::Critical;
        case kIconQuestion: return QMessageBox::Question;
        case platform::MB_ICONWARNING: return QMessageBox::Warning;
        case platform::MB_ICONINFORMATION: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

int MessageBoxAnswer(int result, unsigned flags) {
    // A question closed without an answer counts as No, as its escape button does.
    if ((flags & platform::MB_BUTTON_MASK) == platform::MB_YESNO)
        return result == QMessageBox::Yes ? platform::IDYES : platform::IDNO;
    return platform::IDOK;
}

int QtMessageBoxProvider::Show(const platform::MessageBoxRequest& request) {
    QCoreApplication* app = QCoreApplication::instance();
    if (qobject_cast<QApplication*>(app) == nullptr) return platform::StderrMessageBoxProvider().Show(request);
    if (QThread::currentThread() == app->thread()) return ShowOnGuiThread(request);
    // A worker: the box runs on the GUI thread while the worker waits for the
    // answer. The answer comes back through a promise rather than a blocking
    // queued call, so the hand-over is one the thread sanitizer can see too.
    // The GUI thread holds the promise until it has set it.
    auto answer = std::make_shared<std::promise<int>>();
    std::future<int> answered = answer->get_future();
    QMetaObject::invokeMethod(
        app, [answer, &request] { answer->set_value(ShowOnGuiThread(request)); }, Qt::QueuedConnection);
    return answered.get();
}

}  // namespace carillon
