#include "app/FleetUpdate.h"

#include <utility>

#include "package/Element.h"
#include "platform/MessageQueue.h"

namespace carillon {

using namespace std::chrono_literals;

struct FleetUpdate::Job {
    platform::MessageQueue messages;  // declared first: the worker posts to it until it is gone
    CThread worker{&messages};
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    bool finished = false;
};

FleetUpdate::FleetUpdate(std::vector<FleetMember> members) : members_(std::move(members)) {}

FleetOutcome FleetUpdate::OutcomeOf(bool done, CThread& worker) {
    const CThread::View view = worker.Snapshot();
    FleetOutcome o;
    o.done = done;
    o.code = done ? kOk : view.resultCode;
    o.title = done ? std::string() : view.m_strResultTitle;
    o.text = done ? std::string() : view.m_strResultText;
    // The job has ended, so the engine's list no longer changes.
    for (const auto& e : worker.m_printers.engine.m_elements.Elements()) {
        ++o.elements;
        if (e->m_saved == 0) continue;
        ++o.saved;
        o.bytes += static_cast<std::uint64_t>(e->m_size) * (IsWordAddressed(e->m_location) ? 2 : 1);
    }
    return o;
}

std::vector<FleetOutcome> FleetUpdate::Run(const std::atomic<bool>& stop, const ProgressHandler& onProgress,
                                           const FinishHandler& onFinish) {
    std::vector<std::unique_ptr<Job>> jobs;
    for (const FleetMember& m : members_) {
        auto job = std::make_unique<Job>();
        job->worker.m_printers.engine.m_session.m_timing = m.timing.value_or(timing_);
        for (const std::string& path : protectedFiles_) job->worker.ProtectFile(path);
        job->worker.RequestUpdate(m.port, m.package, m.outputFile);
        // Starting the others takes time in which this job could reach its save.
        if (stop.load()) job->worker.RequestStop();
        jobs.push_back(std::move(job));
    }

    std::vector<FleetOutcome> outcomes(jobs.size());
    std::size_t running = jobs.size();
    bool stopAsked = false;
    while (running > 0) {
        if (!stopAsked && stop.load()) {
            stopAsked = true;
            for (auto& job : jobs) job->worker.RequestStop();
        }
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            Job& job = *jobs[i];
            while (!job.finished) {
                const auto message = job.messages.Take(0ms);
                if (!message) break;
                if (message->id == platform::WM_PAINT) {
                    if (onProgress) onProgress(i, job.worker.Snapshot());
                    continue;
                }
                if (message->id != platform::WM_UPDATE_DONE && message->id != platform::WM_UPDATE_FAILED) continue;
                job.finished = true;
                --running;
                outcomes[i] = OutcomeOf(message->id == platform::WM_UPDATE_DONE, job.worker);
                outcomes[i].elapsed =
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - job.started);
                if (onFinish) onFinish(i, outcomes[i]);
            }
        }
        // The jobs themselves report no faster than this.
        if (running > 0) std::this_thread::sleep_for(50ms);
    }
    return outcomes;
}

}  // namespace carillon
