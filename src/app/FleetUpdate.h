#pragma once
// FleetUpdate: updates several printers at once. Each printer gets the
// update job the wizard runs, on a worker, engine and monitor session of its
// own, talking to its own port; the jobs share nothing but package files,
// which each reads for itself. One printer's failure ends its job alone.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Thread.h"
#include "monitor/MonitorSession.h"

namespace carillon {

class CPort;

struct FleetMember {
    std::string name;  // the port's name, for reports
    CPort* port = nullptr;  // borrowed; must outlive the update
    std::string package;
    std::string outputFile;  // empty: no output binary
    std::optional<MonitorTiming> timing;  // this printer's own waits; else the fleet's
};

struct FleetOutcome {
    bool done = false;
    ErrorCode code = kOk;  // what ended a failed job
    std::string title;     // the failure page's title and text
    std::string text;
    std::uint32_t elements = 0;  // elements the save handled, and those written
    std::uint32_t saved = 0;
    std::uint64_t bytes = 0;  // data bytes of the elements written
    std::chrono::milliseconds elapsed{0};
};

class FleetUpdate {
public:
    using ProgressHandler = std::function<void(std::size_t member, const CThread::View& view)>;
    using FinishHandler = std::function<void(std::size_t member, const FleetOutcome& outcome)>;

    explicit FleetUpdate(std::vector<FleetMember> members);

    void SetTiming(const MonitorTiming& timing) { timing_ = timing; }
    // Files no output binary may replace (besides the package).
    void ProtectFile(const std::string& path) { protectedFiles_.push_back(path); }

    // Runs every job to its end and returns the outcomes in member order.
    // The handlers run on the caller's thread. Once stop turns true, every
    // printer stops at its next safe point.
    std::vector<FleetOutcome> Run(const std::atomic<bool>& stop, const ProgressHandler& onProgress,
                                  const FinishHandler& onFinish);

private:
    struct Job;
    static FleetOutcome OutcomeOf(bool done, CThread& worker);

    std::vector<FleetMember> members_;
    MonitorTiming timing_;
    std::vector<std::string> protectedFiles_;
};

}  // namespace carillon
