#include "wizard/QtMessageTarget.h"

#include <QCoreApplication>

namespace carillon {

QEvent::Type WorkerMessageEvent::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void QtMessageTarget::PostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    // Thread-safe; the event is delivered on the window's own thread.
    QCoreApplication::postEvent(m_window, new WorkerMessageEvent(message, wParam, lParam));
}

}  // namespace carillon
