#pragma once
// QtMessageTarget: the dialog as a window that worker threads post to. A
// posted message becomes a WorkerMessageEvent queued to the dialog's thread;
// posting never blocks.

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <cstdint>

#include "platform/MessageTarget.h"

namespace carillon {

class WorkerMessageEvent : public QEvent {
public:
    WorkerMessageEvent(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(EventType()), m_message(message), m_wParam(wParam), m_lParam(lParam) {}

    static QEvent::Type EventType();

    std::uint32_t Message() const { return m_message; }
    std::uintptr_t WParam() const { return m_wParam; }
    std::intptr_t LParam() const { return m_lParam; }

private:
    std::uint32_t m_message;
    std::uintptr_t m_wParam;
    std::intptr_t m_lParam;
};

class QtMessageTarget final : public platform::MessageTarget {
public:
    // window must outlive every thread that posts to this target.
    explicit QtMessageTarget(QWidget* window) : m_window(window) {}

    void PostMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

    // The window that owns the message boxes raised for this target.
    QWidget* Window() const { return m_window; }

private:
    QWidget* m_window;
};

}  // namespace carillon
