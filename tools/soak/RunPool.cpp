#include "soak/RunPool.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace carillon::soak {
namespace {

using Clock = std::chrono::steady_clock;

struct Child {
    std::size_t index = 0;
    pid_t pid = -1;
    int fd = -1;
    Clock::time_point deadline;
    std::string text;
    bool killed = false;
};

RunResult Failed(std::string detail) {
    RunResult r;
    r.detail = std::move(detail);
    return r;
}

// Forks the job; its result comes back as one line on a pipe.
bool Start(const RunPool::Job& job, Child* child) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
        ::close(fds[0]);
        const std::string line = Serialize(job()) + "\n";
        const ssize_t written = ::write(fds[1], line.data(), line.size());
        ::_exit(written == static_cast<ssize_t>(line.size()) ? 0 : 3);
    }
    ::close(fds[1]);
    child->pid = pid;
    child->fd = fds[0];
    return true;
}

RunResult Finish(Child& child, int limitSeconds) {
    ::close(child.fd);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    if (child.killed) return Failed("hang: killed after " + std::to_string(limitSeconds) + " s");
    if (WIFSIGNALED(status)) return Failed(std::string("crash: ") + ::strsignal(WTERMSIG(status)));
    RunResult r;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !Deserialize(child.text, &r))
        return Failed("the run ended without a result (exit " + std::to_string(WEXITSTATUS(status)) + ")");
    return r;
}

// Reads what the child wrote; false once it has closed its end.
bool Drain(Child& child) {
    char buffer[512];
    const ssize_t n = ::read(child.fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    child.text.append(buffer, static_cast<std::size_t>(n));
    return true;
}

}  // namespace

RunPool::RunPool(int jobs, int limitSeconds) : m_jobs(std::max(1, jobs)), m_limitSeconds(limitSeconds) {}

std::vector<RunResult> RunPool::RunAll(const std::vector<Job>& jobs, const Done& done) const {
    std::vector<RunResult> results(jobs.size());
    std::vector<Child> running;
    std::size_t next = 0;
    auto complete = [&](std::size_t index, RunResult r) {
        results[index] = std::move(r);
        if (done) done(index, results[index]);
    };
    while (next < jobs.size() || !running.empty()) {
        while (next < jobs.size() && static_cast<int>(running.size()) < m_jobs) {
            Child child;
            child.index = next++;
            child.deadline = Clock::now() + std::chrono::seconds(m_limitSeconds);
            if (Start(jobs[child.index], &child)) running.push_back(std::move(child));
            else complete(child.index, Failed("fork failed"));
        }
        if (running.empty()) continue;

        const auto first = std::min_element(running.begin(), running.end(),
                                            [](const Child& a, const Child& b) { return a.deadline < b.deadline; });
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(first->deadline - Clock::now()).count();
        std::vector<pollfd> fds;
        for (const Child& c : running) fds.push_back({c.fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, left)));

        for (std::size_t i = running.size(); i-- > 0;) {
            Child& c = running[i];
            bool over = false;
            if (fds[i].revents != 0) over = !Drain(c);
            if (!over && Clock::now() >= c.deadline) {
                ::kill(c.pid, SIGKILL);
                c.killed = over = true;
            }
            if (!over) continue;
            complete(c.index, Finish(c, m_limitSeconds));
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return results;
}

int ChildLimitSeconds(const Options& options) { return 2 * options.runLimitSeconds + 30; }

}  // namespace carillon::soak
