#include "cli/Interrupt.h"

#include <signal.h>

namespace carillon::cli {
namespace {

// Lock-free atomics: safe in a signal handler, and the signal may arrive on any thread.
std::atomic<int> g_received{0};
std::atomic<std::atomic<bool>*> g_stop{nullptr};
// One guard stands at a time: the actions it replaced.
struct sigaction g_oldInt {};
struct sigaction g_oldTerm {};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
              std::atomic<std::atomic<bool>*>::is_always_lock_free);

void OnSignal(int signal) {
    if (g_received != 0) {
        // Asked twice: end now, as the default action would.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_received = signal;
    if (std::atomic<bool>* stop = g_stop.load()) stop->store(true);
}

}  // namespace

ScopedInterrupt::ScopedInterrupt(std::atomic<bool>* stop) {
    g_received = 0;
    g_stop = stop;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_oldInt);
    sigaction(SIGTERM, &action, &g_oldTerm);
}

ScopedInterrupt::~ScopedInterrupt() {
    sigaction(SIGINT, &g_oldInt, nullptr);
    sigaction(SIGTERM, &g_oldTerm, nullptr);
    g_stop = nullptr;
}

int ScopedInterrupt::Received() { return g_received; }

}  // namespace carillon::cli
