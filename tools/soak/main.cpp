// carillon-soak: runs the fault matrix, one child process per run so that a
// crash or a hang is caught and bounded, and prints the matrix with counts.
//   carillon-soak [--short] [--seeds N] [--timing F] [--filter TEXT] [--limit S] [--samples DIR] [--verbose]
//                 [--inline]
//   carillon-soak --sweep power-cut|request-damage [--points N | --at K] [--family NAME] [...]
// --inline runs every scenario in this process, for a debugger. A sweep
// strikes one update per request number (or N numbers spread over it).
// Exit status 0 when no run failed, 1 otherwise, 2 on a usage error.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "soak/ChatterRow.h"
#include "soak/FleetRow.h"
#include "soak/Soak.h"

namespace {

using namespace carillon;
using namespace carillon::soak;
using Clock = std::chrono::steady_clock;

constexpr Fault kFaults[] = {Fault::kNone,     Fault::kDrop1,  Fault::kDrop5,   Fault::kCorrupt1,
                             Fault::kWrongSequence, Fault::kShortWrite, Fault::kRefuse, Fault::kSilent,
                             Fault::kUsbLate,  Fault::kUsbSlow, Fault::kUsbOtherEntry, Fault::kRequestLoss,
                             Fault::kRequestDamage, Fault::kRequestRepeat, Fault::kLineNoise};
constexpr Transport kTransports[] = {Transport::kInProcess, Transport::kSerialPty, Transport::kUsbPty};
constexpr sim::Family kFamilies[] = {sim::Family::kNdx, sim::Family::kPlv, sim::Family::kKiosk};

struct Args {
    bool shortRun = false;
    int seeds = 3;
    std::string filter;
    bool verbose = false;
    bool inline_ = false;  // no child processes: for a debugger
    std::string sweep;     // power-cut or request-damage
    std::uint32_t points = 0;  // 0: every request
    std::uint32_t at = 0;      // this request alone, to look at one run again
    std::string family;
    Options options;
};

// The CI matrix: every line fault in-process for every family, the silent
// printer (whose retries take longest) for one family, and the pty
// transports once each with a fault-free run and the faults only they have.
std::vector<Scenario> ShortMatrix() {
    std::vector<Scenario> list;
    for (sim::Family family : kFamilies)
        for (Fault fault : kFaults)
            if (!IsUsbOnly(fault) && (fault != Fault::kSilent || family == sim::Family::kPlv))
                list.push_back({family, fault, Transport::kInProcess, 1});
    list.push_back({sim::Family::kPlv, Fault::kSilent, Transport::kInProcess, 3});  // during the last table rewrite
    list.push_back({sim::Family::kPlv, Fault::kNone, Transport::kSerialPty, 1});
    list.push_back({sim::Family::kPlv, Fault::kDrop5, Transport::kSerialPty, 1});
    list.push_back({sim::Family::kKiosk, Fault::kNone, Transport::kUsbPty, 1});
    list.push_back({sim::Family::kKiosk, Fault::kUsbOtherEntry, Transport::kUsbPty, 1});
    list.push_back({sim::Family::kKiosk, Fault::kUsbLate, Transport::kUsbPty, 1});
    for (Transport pty : {Transport::kSerialPty, Transport::kUsbPty})
        for (Fault fault : {Fault::kRequestLoss, Fault::kLineNoise}) list.push_back({sim::Family::kPlv, fault, pty, 1});
    return list;
}

std::vector<Scenario> FullMatrix(int seeds) {
    std::vector<Scenario> list;
    for (sim::Family family : kFamilies)
        for (Transport transport : kTransports)
            for (Fault fault : kFaults) {
                if (IsUsbOnly(fault) && transport != Transport::kUsbPty) continue;
                for (int seed = 1; seed <= seeds; ++seed)
                    list.push_back({family, fault, transport, static_cast<std::uint64_t>(seed)});
            }
    return list;
}

// Runs a scenario in a child process within the limit.
RunResult RunIsolated(const std::function<RunResult()>& run, const Options& options) {
    RunResult failed;
    int fds[2];
    if (::pipe(fds) != 0) {
        failed.detail = "pipe failed";
        return failed;
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        failed.detail = "fork failed";
        return failed;
    }
    if (child == 0) {
        ::close(fds[0]);
        const std::string line = Serialize(run()) + "\n";
        const ssize_t written = ::write(fds[1], line.data(), line.size());
        ::_exit(written == static_cast<ssize_t>(line.size()) ? 0 : 3);
    }
    ::close(fds[1]);

    // The child's own limit covers the update and its repeat; teardown gets a little more.
    const auto deadline = Clock::now() + std::chrono::seconds(2 * options.runLimitSeconds + 30);
    std::string text;
    bool killed = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            ::kill(child, SIGKILL);
            killed = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);

    RunResult r;
    if (killed) {
        failed.detail = "hang: killed after " + std::to_string(2 * options.runLimitSeconds + 30) + " s";
        return failed;
    }
    if (WIFSIGNALED(status)) {
        failed.detail = std::string("crash: ") + ::strsignal(WTERMSIG(status));
        return failed;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !Deserialize(text, &r)) {
        failed.detail = "the run ended without a result (exit " + std::to_string(WEXITSTATUS(status)) + ")";
        return failed;
    }
    return r;
}

struct Cell {
    int runs = 0, verified = 0, expected = 0, failed = 0, torn = 0, recovered = 0;
    double seconds = 0, longest = 0;
    std::set<std::string> codes;
};

struct SweepRow {
    int runs = 0, verified = 0, recovered = 0, failed = 0;
};

// One update per strike point: a clean update first tells how many requests
// there are, then each point gets its own printer and update (and its
// repeat on a good line when it failed).
int RunSweep(const Args& args) {
    std::vector<Fault> kinds;
    if (args.sweep == "power-cut") kinds = {Fault::kPowerCutAt};
    else if (args.sweep == "request-damage") kinds = {Fault::kDamageRequestAt, Fault::kDropAnswerAt};
    else return 2;
    Options options = args.options;
    options.replay = args.sweep == "request-damage";
    std::vector<std::string> failures;
    std::printf("%-6s %-18s %9s %7s %9s %10s %7s\n", "family", "sweep", "requests", "points", "verified", "recovered",
                "failed");
    for (sim::Family family : kFamilies) {
        if (!args.family.empty() && args.family != sim::FamilyName(family)) continue;
        const Scenario cleanRun{family, Fault::kNone, Transport::kInProcess, 1};
        const RunResult clean = RunIsolated([&] { return RunScenario(cleanRun, options); }, options);
        if (clean.outcome != Outcome::kVerified) {
            failures.push_back(std::string(sim::FamilyName(family)) + ": the clean update failed: " + clean.detail);
            continue;
        }
        for (Fault kind : kinds) {
            SweepRow row;
            const std::uint32_t n = clean.requests;
            const std::uint32_t step = args.points == 0 ? 1 : std::max<std::uint32_t>(1, n / args.points);
            for (std::uint32_t at = args.at != 0 ? args.at : step; at <= n; at += args.at != 0 ? n : step) {
                const Scenario s{family, kind, Transport::kInProcess, 1, at};
                const RunResult r =
                    args.inline_ ? RunScenario(s, options) : RunIsolated([&] { return RunScenario(s, options); }, options);
                ++row.runs;
                row.verified += r.outcome == Outcome::kVerified;
                row.recovered += r.recovered;
                if (r.outcome == Outcome::kFail) {
                    ++row.failed;
                    failures.push_back(ScenarioName(s) + ": " + r.detail);
                }
                if (args.verbose) std::printf("  %s: %s %s\n", ScenarioName(s).c_str(), r.code.c_str(), r.detail.c_str());
            }
            std::printf("%-6s %-18s %9u %7d %9d %10d %7d\n", sim::FamilyName(family), FaultName(kind), n, row.runs,
                        row.verified, row.recovered, row.failed);
            std::fflush(stdout);
        }
    }
    for (const auto& f : failures) std::printf("FAIL %s\n", f.c_str());
    return failures.empty() ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: carillon-soak [--short] [--seeds N] [--timing F] [--filter TEXT] [--limit SECONDS]\n"
                 "                     [--samples DIR] [--verbose] [--inline]\n"
                 "       carillon-soak --sweep power-cut|request-damage [--points N] [--family NDX|PLV|KIOSK] [...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    args.options.samplesDir = CARILLON_SAMPLES_DIR;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--short") args.shortRun = true;
        else if (a == "--verbose") args.verbose = true;
        else if (a == "--inline") args.inline_ = true;
        else if (a == "--seeds") { const char* v = value(); if (!v || (args.seeds = std::atoi(v)) < 1) return Usage(); }
        else if (a == "--timing") { const char* v = value(); if (!v || (args.options.timing = std::atof(v)) <= 0) return Usage(); }
        else if (a == "--limit") { const char* v = value(); if (!v || (args.options.runLimitSeconds = std::atoi(v)) < 1) return Usage(); }
        else if (a == "--filter") { const char* v = value(); if (!v) return Usage(); args.filter = v; }
        else if (a == "--samples") { const char* v = value(); if (!v) return Usage(); args.options.samplesDir = v; }
        else if (a == "--sweep") { const char* v = value(); if (!v) return Usage(); args.sweep = v; }
        else if (a == "--family") { const char* v = value(); if (!v) return Usage(); args.family = v; }
        else if (a == "--at") { const char* v = value(); if (!v || std::atoi(v) < 1) return Usage(); args.at = static_cast<std::uint32_t>(std::atoi(v)); }
        else if (a == "--points") { const char* v = value(); if (!v || std::atoi(v) < 1) return Usage(); args.points = static_cast<std::uint32_t>(std::atoi(v)); }
        else return Usage();
    }
    if (!args.sweep.empty()) {
        const int status = RunSweep(args);
        return status == 2 ? Usage() : status;
    }

    std::vector<Scenario> matrix = args.shortRun ? ShortMatrix() : FullMatrix(args.seeds);
    std::map<std::pair<sim::Family, Transport>, std::uint32_t> baseline;
    std::map<std::pair<Fault, Transport>, Cell> cells;
    std::vector<std::string> failures;
    const auto started = Clock::now();
    int count = 0;
    for (const Scenario& s : matrix) {
        if (!args.filter.empty() && ScenarioName(s).find(args.filter) == std::string::npos) continue;
        Options options = args.options;
        if (auto b = baseline.find({s.family, s.transport}); b != baseline.end()) options.baselineRequests = b->second;
        const RunResult r = args.inline_ ? RunScenario(s, options) : RunIsolated([&] { return RunScenario(s, options); }, options);
        ++count;
        if (s.fault == Fault::kNone && r.outcome == Outcome::kVerified) baseline[{s.family, s.transport}] = r.requests;

        Cell& c = cells[{s.fault, s.transport}];
        ++c.runs;
        c.seconds += r.seconds;
        c.longest = std::max(c.longest, r.seconds);
        c.torn += r.tableTorn;
        c.recovered += r.recovered;
        if (r.outcome == Outcome::kVerified) ++c.verified;
        if (r.outcome == Outcome::kExpectedError) ++c.expected;
        if (r.outcome == Outcome::kFail) ++c.failed;
        if (!r.code.empty()) c.codes.insert(r.code);
        const char* verdict = r.outcome == Outcome::kVerified ? "verified" : r.outcome == Outcome::kExpectedError ? "expected error" : "FAIL";
        if (r.outcome == Outcome::kFail) failures.push_back(ScenarioName(s) + ": " + r.detail);
        if (args.verbose || r.outcome == Outcome::kFail) {
            std::printf("%-48s %-14s %-8s %6.1fs %5u requests%s%s %s\n", ScenarioName(s).c_str(), verdict,
                        r.code.c_str(), r.seconds, r.requests, r.tableTorn ? " torn-table" : "",
                        r.recovered ? " recovered" : "", r.detail.c_str());
            std::fflush(stdout);
        }
    }

    std::printf("\n%-18s %-11s %5s %9s %9s %5s %10s %9s %8s  %s\n", "fault", "transport", "runs", "verified",
                "expected", "FAIL", "torn-table", "recovered", "longest", "codes");
    for (Fault fault : kFaults)
        for (Transport transport : kTransports) {
            auto it = cells.find({fault, transport});
            if (it == cells.end()) continue;
            const Cell& c = it->second;
            std::string codes;
            for (const auto& code : c.codes) codes += (codes.empty() ? "" : ",") + code;
            std::printf("%-18s %-11s %5d %9d %9d %5d %10d %9d %7.1fs  %s\n", FaultName(fault), TransportName(transport),
                        c.runs, c.verified, c.expected, c.failed, c.torn, c.recovered, c.longest,
                        codes.empty() ? "-" : codes.c_str());
        }
    // Devices that only talk: no printer, a failed update, flat memory.
    for (const auto& [kind, name] : {std::pair{sim::ChatterKind::kText, "text"}, std::pair{sim::ChatterKind::kZeros, "zeros"}})
        for (const bool usb : {false, true}) {
            const std::string row = std::string("chatter-") + name + (usb ? " usb-pty" : " serial-pty");
            if (!args.filter.empty() && row.find(args.filter) == std::string::npos) continue;
            const RunResult r = RunIsolated([&, kind = kind] { return RunChatterRow(kind, usb, args.options); }, args.options);
            ++count;
            if (r.outcome == Outcome::kFail) failures.push_back(row + ": " + r.detail);
            std::printf("%-30s %-5s %6.1fs  %s\n", row.c_str(), r.outcome == Outcome::kFail ? "FAIL" : "ok", r.seconds,
                        r.code.c_str());
        }
    // Four printers at once, one of them faulted; the short run strikes a
    // different printer for each fault kind, and leaves out lost answers,
    // whose retries take longest and which the rows above already cover.
    constexpr FleetFault kFleetFaults[] = {FleetFault::kSilentMidSave, FleetFault::kUnplugged, FleetFault::kDroppedAnswers};
    for (std::size_t k = 0; k < std::size(kFleetFaults) - (args.shortRun ? 1 : 0); ++k)
        for (int seed = 1; seed <= (args.shortRun ? 1 : args.seeds); ++seed) {
            const std::uint64_t fleetSeed = args.shortRun ? k + 1 : static_cast<std::uint64_t>(seed);
            const std::string row = std::string("fleet ") + FleetFaultName(kFleetFaults[k]) + " seed " + std::to_string(fleetSeed);
            if (!args.filter.empty() && row.find(args.filter) == std::string::npos) continue;
            const RunResult r = RunIsolated([&] { return RunFleetRow(kFleetFaults[k], fleetSeed, args.options); }, args.options);
            ++count;
            if (r.outcome == Outcome::kFail) failures.push_back(row + ": " + r.detail);
            const char* verdict = r.outcome == Outcome::kVerified ? "verified" : r.outcome == Outcome::kExpectedError ? "expected" : "FAIL";
            std::printf("%-30s %-8s %6.1fs  %s\n", row.c_str(), verdict, r.seconds, r.code.c_str());
            std::fflush(stdout);
        }
    const double total = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("\n%d runs in %.0f s; %zu failed\n", count, total, failures.size());
    for (const auto& f : failures) std::printf("FAIL %s\n", f.c_str());
    return failures.empty() ? 0 : 1;
}
