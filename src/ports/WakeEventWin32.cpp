// The abort event and overlapped waits on Windows.
#include "ports/WakeEvent.h"

#include "ports/Win32Handle.h"

namespace carillon::detail {
namespace {

HANDLE Event(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

class ThreadEvent {
public:
    ThreadEvent() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~ThreadEvent() {
        if (event_ != nullptr) ::CloseHandle(event_);
    }
    HANDLE Get() const { return event_; }

private:
    HANDLE event_;
};

}  // namespace

// Manual reset: the signal stays until a wait consumes it.
WakeEvent::WakeEvent() : native_(reinterpret_cast<std::intptr_t>(::CreateEventA(nullptr, TRUE, FALSE, nullptr))) {}

WakeEvent::~WakeEvent() {
    if (native_ != 0) ::CloseHandle(Event(native_));
}

void WakeEvent::Signal() {
    if (native_ != 0) ::SetEvent(Event(native_));
}

void WakeEvent::Clear() {
    if (native_ != 0) ::ResetEvent(Event(native_));
}

bool WakeEvent::Sleep(std::uint64_t timeoutMs) {
    if (native_ == 0) {
        ::Sleep(static_cast<DWORD>(timeoutMs < INFINITE ? timeoutMs : INFINITE - 1));
        return false;
    }
    const DWORD wait = timeoutMs < INFINITE ? static_cast<DWORD>(timeoutMs) : INFINITE - 1;
    if (::WaitForSingleObject(Event(native_), wait) != WAIT_OBJECT_0) return false;
    Clear();
    return true;
}

HANDLE ThreadIoEvent() {
    thread_local ThreadEvent event;
    return event.Get();
}

DWORD WaitTransfer(HANDLE device, OVERLAPPED& overlapped, HANDLE wake, std::uint32_t timeoutMs) {
    HANDLE waits[2] = {overlapped.hEvent, wake};
    const DWORD count = wake != nullptr ? 2 : 1;
    const DWORD timeout = timeoutMs < INFINITE ? timeoutMs : INFINITE - 1;
    const DWORD result = ::WaitForMultipleObjects(count, waits, FALSE, timeout);
    if (result == WAIT_OBJECT_0) return WAIT_OBJECT_0;
    ::CancelIoEx(device, &overlapped);
    // A transfer that completed while it was being cancelled keeps its data.
    DWORD brought = 0;
    if (::GetOverlappedResult(device, &overlapped, &brought, TRUE) && brought > 0) return WAIT_OBJECT_0;
    if (result == WAIT_OBJECT_0 + 1) {
        ::ResetEvent(wake);
        return WAIT_ABANDONED;
    }
    return WAIT_TIMEOUT;
}

}  // namespace carillon::detail
