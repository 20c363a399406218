// carillon-soak: runs the fault matrix, one child process per run so that a
// crash or a hang is caught and bounded, and prints the matrix with counts.
//   carillon-soak [--short] [--seeds N] [--timing F] [--filter TEXT] [--limit S] [--samples DIR] [--verbose]
//                 [--jobs N] [--inline]
//   carillon-soak --sweep power-cut|request-damage [--points N | --at K] [--family NAME] [...]
// --jobs N runs that many child processes at once (default 6); --inline runs
// every scenario in this process, one after another, for a debugger. A sweep
// strikes one update per request number (or N numbers spread over it).
// Exit status 0 when no run failed, 1 otherwise, 2 on a usage error.

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
#include "soak/RunPool.h"
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
    int jobs = 6;          // runs at once: they mostly wait on time-outs and paced lines
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

// Runs the jobs in child processes (in this process with --inline), their
// results in the jobs' order; done hears of each as it arrives.
std::vector<RunResult> RunJobs(const Args& args, const std::vector<RunPool::Job>& jobs, const RunPool::Done& done = {}) {
    if (!args.inline_) return RunPool(args.jobs, ChildLimitSeconds(args.options)).RunAll(jobs, done);
    std::vector<RunResult> results;
    for (const auto& job : jobs) {
        results.push_back(job());
        if (done) done(results.size() - 1, results.back());
    }
    return results;
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
    std::vector<sim::Family> families;
    std::vector<RunPool::Job> cleanRuns;
    for (sim::Family family : kFamilies) {
        if (!args.family.empty() && args.family != sim::FamilyName(family)) continue;
        families.push_back(family);
        cleanRuns.push_back([=] { return RunScenario({family, Fault::kNone, Transport::kInProcess, 1}, options); });
    }
    const std::vector<RunResult> clean = RunJobs(args, cleanRuns);

    std::vector<std::string> failures;
    std::vector<Scenario> points;
    for (std::size_t f = 0; f < families.size(); ++f) {
        if (clean[f].outcome != Outcome::kVerified) {
            failures.push_back(std::string(sim::FamilyName(families[f])) + ": the clean update failed: " + clean[f].detail);
            continue;
        }
        const std::uint32_t n = clean[f].requests;
        const std::uint32_t step = args.points == 0 ? 1 : std::max<std::uint32_t>(1, n / args.points);
        for (Fault kind : kinds)
            for (std::uint32_t at = args.at != 0 ? args.at : step; at <= n; at += args.at != 0 ? n : step)
                points.push_back({families[f], kind, Transport::kInProcess, 1, at});
    }
    std::vector<RunPool::Job> jobs;
    for (const Scenario& s : points) jobs.push_back([=] { return RunScenario(s, options); });
    const std::vector<RunResult> results = RunJobs(args, jobs, [&](std::size_t i, const RunResult& r) {
        if (args.verbose) std::printf("  %s: %s %s\n", ScenarioName(points[i]).c_str(), r.code.c_str(), r.detail.c_str());
    });

    std::map<std::pair<sim::Family, Fault>, SweepRow> rows;
    for (std::size_t i = 0; i < points.size(); ++i) {
        SweepRow& row = rows[{points[i].family, points[i].fault}];
        ++row.runs;
        row.verified += results[i].outcome == Outcome::kVerified;
        row.recovered += results[i].recovered;
        if (results[i].outcome == Outcome::kFail) {
            ++row.failed;
            failures.push_back(ScenarioName(points[i]) + ": " + results[i].detail);
        }
    }
    std::printf("%-6s %-18s %9s %7s %9s %10s %7s\n", "family", "sweep", "requests", "points", "verified", "recovered",
                "failed");
    for (std::size_t f = 0; f < families.size(); ++f)
        for (Fault kind : kinds) {
            const auto it = rows.find({families[f], kind});
            if (it == rows.end()) continue;
            const SweepRow& row = it->second;
            std::printf("%-6s %-18s %9u %7d %9d %10d %7d\n", sim::FamilyName(families[f]), FaultName(kind),
                        clean[f].requests, row.runs, row.verified, row.recovered, row.failed);
        }
    for (const auto& f : failures) std::printf("FAIL %s\n", f.c_str());
    return failures.empty() ? 0 : 1;
}

void PrintMatrix(const std::map<std::pair<Fault, Transport>, Cell>& cells) {
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
}

struct ExtraRow {
    std::string name;
    RunPool::Job job;
};

// The rows after the matrix: devices that only talk (no printer, a failed
// update, flat memory), then four printers at once with one of them faulted.
// The short run strikes a different printer for each fleet fault kind.
std::vector<ExtraRow> ExtraRows(const Args& args) {
    std::vector<ExtraRow> rows;
    auto add = [&](std::string name, RunPool::Job job) {
        if (args.filter.empty() || name.find(args.filter) != std::string::npos) rows.push_back({std::move(name), std::move(job)});
    };
    for (const auto& [kind, name] : {std::pair{sim::ChatterKind::kText, "text"}, std::pair{sim::ChatterKind::kZeros, "zeros"}})
        for (const bool usb : {false, true})
            add(std::string("chatter-") + name + (usb ? " usb-pty" : " serial-pty"),
                [kind = kind, usb, options = args.options] { return RunChatterRow(kind, usb, options); });
    constexpr FleetFault kFleetFaults[] = {FleetFault::kSilentMidSave, FleetFault::kUnplugged, FleetFault::kDroppedAnswers};
    for (std::size_t k = 0; k < std::size(kFleetFaults); ++k)
        for (int seed = 1; seed <= (args.shortRun ? 1 : args.seeds); ++seed) {
            const std::uint64_t fleetSeed = args.shortRun ? k + 1 : static_cast<std::uint64_t>(seed);
            add(std::string("fleet ") + FleetFaultName(kFleetFaults[k]) + " seed " + std::to_string(fleetSeed),
                [fault = kFleetFaults[k], fleetSeed, options = args.options] { return RunFleetRow(fault, fleetSeed, options); });
        }
    return rows;
}

// The fault matrix, fault-free runs first: their request counts place the
// silence of the runs whose printer goes silent.
int RunMatrix(const Args& args) {
    std::vector<Scenario> wave[2];
    for (const Scenario& s : args.shortRun ? ShortMatrix() : FullMatrix(args.seeds))
        if (args.filter.empty() || ScenarioName(s).find(args.filter) != std::string::npos)
            wave[s.fault == Fault::kNone ? 0 : 1].push_back(s);
    std::map<std::pair<sim::Family, Transport>, std::uint32_t> baseline;
    std::map<std::pair<Fault, Transport>, Cell> cells;
    std::vector<std::string> failures;
    const auto started = Clock::now();
    int count = 0;
    auto record = [&](const Scenario& s, const RunResult& r) {
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
    };
    const std::vector<ExtraRow> extras = ExtraRows(args);
    std::vector<RunResult> extraResults;
    for (int w = 0; w < 2; ++w) {
        std::vector<RunPool::Job> jobs;
        for (const Scenario& s : wave[w]) {
            Options options = args.options;
            if (auto b = baseline.find({s.family, s.transport}); b != baseline.end()) options.baselineRequests = b->second;
            jobs.push_back([s, options] { return RunScenario(s, options); });
        }
        if (w == 1)
            for (const ExtraRow& row : extras) jobs.push_back(row.job);
        const std::vector<RunResult> results =
            RunJobs(args, jobs, [&](std::size_t i, const RunResult& r) { if (i < wave[w].size()) record(wave[w][i], r); });
        if (w == 1) extraResults.assign(results.begin() + static_cast<std::ptrdiff_t>(wave[w].size()), results.end());
    }

    PrintMatrix(cells);
    for (std::size_t i = 0; i < extras.size(); ++i) {
        const RunResult& r = extraResults[i];
        ++count;
        if (r.outcome == Outcome::kFail) failures.push_back(extras[i].name + ": " + r.detail);
        const char* verdict = r.outcome == Outcome::kVerified ? "verified" : r.outcome == Outcome::kExpectedError ? "expected" : "FAIL";
        std::printf("%-30s %-8s %6.1fs  %s\n", extras[i].name.c_str(), verdict, r.seconds, r.code.c_str());
    }
    const double total = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("\n%d runs in %.0f s; %zu failed\n", count, total, failures.size());
    for (const auto& f : failures) std::printf("FAIL %s\n", f.c_str());
    return failures.empty() ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: carillon-soak [--short] [--seeds N] [--timing F] [--filter TEXT] [--limit SECONDS]\n"
                 "                     [--samples DIR] [--jobs N] [--verbose] [--inline]\n"
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
        else if (a == "--jobs") { const char* v = value(); if (!v || (args.jobs = std::atoi(v)) < 1) return Usage(); }
        else if (a == "--points") { const char* v = value(); if (!v || std::atoi(v) < 1) return Usage(); args.points = static_cast<std::uint32_t>(std::atoi(v)); }
        else return Usage();
    }
    if (!args.sweep.empty()) {
        const int status = RunSweep(args);
        return status == 2 ? Usage() : status;
    }

    return RunMatrix(args);
}
