// Ctrl-C, Ctrl-Break and closing the console window: the console's control
// events stand for SIGINT and SIGTERM, so that the codes match other systems.
#include "cli/Interrupt.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon::cli {
namespace {

std::atomic<int> g_received{0};
std::atomic<std::atomic<bool>*> g_stop{nullptr};

BOOL WINAPI OnControl(DWORD event) {
    const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if (g_received != 0) {
        // Asked twice: end now, as the default action would.
        ::ExitProcess(static_cast<UINT>(128 + g_received.load()));
    }
    g_received = signal;
    if (std::atomic<bool>* stop = g_stop.load()) stop->store(true);
    // Closing the console ends the program once this returns: give the work
    // the little time the system allows to reach its safe point.
    if (event == CTRL_CLOSE_EVENT) ::Sleep(4000);
    return TRUE;
}

}  // namespace

ScopedInterrupt::ScopedInterrupt(std::atomic<bool>* stop) {
    g_received = 0;
    g_stop = stop;
    ::SetConsoleCtrlHandler(OnControl, TRUE);
}

ScopedInterrupt::~ScopedInterrupt() {
    ::SetConsoleCtrlHandler(OnControl, FALSE);
    g_stop = nullptr;
}

int ScopedInterrupt::Received() { return g_received; }

}  // namespace carillon::cli
