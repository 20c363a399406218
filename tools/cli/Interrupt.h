#pragma once
// Ctrl-C and SIGTERM (on Windows: Ctrl-C, Ctrl-Break and closing the
// console) while a printer is being written: the first asks the
// work to stop at its next safe point, so that the printer is left as a
// rerun expects; a second ends the program at once.

#include <atomic>
#include <csignal>

namespace carillon::cli {

inline constexpr const char* kStoppedNote =
    "Stopped at a safe point: the printer waits in its boot monitor. Run the same command again to finish.";

class ScopedInterrupt {
public:
    // The first signal also sets stop (a lock-free atomic, safe to set from a
    // signal handler), so that the work sees it at its very next safe point.
    explicit ScopedInterrupt(std::atomic<bool>* stop);
    ~ScopedInterrupt();
    ScopedInterrupt(const ScopedInterrupt&) = delete;
    ScopedInterrupt& operator=(const ScopedInterrupt&) = delete;

    // The first signal received while this guard stood, or 0.
    static int Received();
    // The exit status for a run that a signal stopped.
    static int ExitStatus() { return 128 + Received(); }
};

}  // namespace carillon::cli
