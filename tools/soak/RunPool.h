#pragma once
// Runs soak scenarios in child processes, several at once, so that a crash
// or a hang is caught and bounded. The runs spend nearly all their time
// waiting on time-outs and paced lines, so running them side by side costs
// little CPU and saves most of the wall time.

#include <functional>
#include <vector>

#include "soak/Soak.h"

namespace carillon::soak {

class RunPool {
public:
    using Job = std::function<RunResult()>;
    using Done = std::function<void(std::size_t index, const RunResult&)>;

    // jobs: how many children at once; a child still running after
    // limitSeconds is killed and counts as a hang.
    RunPool(int jobs, int limitSeconds);

    // Runs every job and returns the results in the jobs' order; done (if
    // any) hears of each result as it arrives, for live progress.
    std::vector<RunResult> RunAll(const std::vector<Job>& jobs, const Done& done = {}) const;

private:
    int m_jobs;
    int m_limitSeconds;
};

// The limit a child gets: the update and its repeat, and a little for teardown.
int ChildLimitSeconds(const Options& options);

}  // namespace carillon::soak
