#include "cli/Fleet.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "app/FleetUpdate.h"
#include "app/SetupIni.h"
#include "cli/CliPorts.h"
#include "cli/FleetDisplay.h"
#include "cli/FleetStream.h"
#include "cli/Interrupt.h"
#include "cli/Plan.h"
#include "cli/Preflight.h"
#include "cli/Verify.h"
#include "engine/CommandGenerator.h"
#include "platform/MessageQueue.h"
#include "ports/PortSettings.h"

namespace carillon::cli {
namespace {

// A printer the fleet works on: an entry of the search.
struct Target {
    std::string port;
    std::string printer;
    CPort* device = nullptr;  // owned by the search's printer list
};

// Nobody can answer a question for one printer among many: --yes and --no do.
class FleetMessageBoxes : public platform::MessageBoxProvider {
public:
    FleetMessageBoxes(Reporter& reporter, ForceAnswer force) : reporter_(reporter), force_(force), scope_(this) {}
    int Show(const platform::MessageBoxRequest& box) override {
        int answer = platform::IDOK;
        if ((box.flags & platform::MB_BUTTON_MASK) == platform::MB_YESNO)
            answer = force_ == ForceAnswer::kYes ? platform::IDYES : platform::IDNO;
        reporter_.Box(box, answer);
        return answer;
    }

private:
    Reporter& reporter_;
    ForceAnswer force_;
    platform::ScopedMessageBoxProvider scope_;
};

std::string PortName(const PortChoice& p) { return (p.usb ? "USB" : "COM") + std::to_string(p.number); }

FleetRow Skipped(const std::string& port, const std::string& printer, const std::string& why, bool failed) {
    FleetRow row;
    row.port = port;
    row.printer = printer;
    row.result = failed ? FleetRow::Result::kFailed : FleetRow::Result::kSkipped;
    row.text = why;
    return row;
}

// The families the package holds elements for.
std::set<std::int32_t> PackageFamilies(const std::string& package) {
    CElementList list;
    std::set<std::int32_t> families;
    if (list.LoadPackage(package) != kOk) return families;
    for (const auto& e : list.Elements()) families.insert(e->m_archi);
    return families;
}

// The printers to work on, and rows for those left out and why.
std::vector<Target> Choose(const Options& o, const PrinterList& printers, std::vector<FleetRow>& leftOut) {
    std::vector<Target> chosen;
    if (o.all) {
        const std::set<std::int32_t> families = PackageFamilies(o.package);
        for (int i = 0; i < printers.portCount; ++i) {
            const PrinterEntry e = printers.EntrySnapshot(i);
            if (e.label.empty()) {
                leftOut.push_back(Skipped(e.portName, "", "no printer answered", false));
            } else if (e.family != 0 && families.count(static_cast<std::int32_t>(e.family)) == 0) {
                // Only a printer in its monitor has told its family so far;
                // the others' updates check the package themselves.
                leftOut.push_back(Skipped(e.portName, e.label, "the package holds nothing for this printer's family", false));
            } else {
                chosen.push_back({e.portName, e.label, printers.EntryPort(i)});
            }
        }
        return chosen;
    }
    std::set<std::string> seen;
    for (const PortChoice& p : o.ports) {
        const std::string name = PortName(p);
        if (!seen.insert(name).second) continue;
        int found = -1;
        for (int i = 0; i < printers.portCount && found < 0; ++i)
            if (printers.EntrySnapshot(i).portName == name) found = i;
        if (found < 0) {
            leftOut.push_back(Skipped(name, "", "not a port of this computer", true));
            continue;
        }
        const PrinterEntry e = printers.EntrySnapshot(found);
        if (e.label.empty()) leftOut.push_back(Skipped(name, "", "no printer answered on this port", true));
        else chosen.push_back({name, e.label, printers.EntryPort(found)});
    }
    return chosen;
}

// Runs work for every target at once, each with an engine of its own and
// its reports marked with its port; returns each one's exit status.
template <typename Work>
std::vector<int> OnEachPrinter(const std::vector<Target>& targets, const Options& o, const Environment& env,
                               std::FILE* out, std::FILE* err, Work work) {
    std::mutex outLock, errLock;
    std::vector<int> exits(targets.size(), kExitFailed);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        threads.emplace_back([&, i] {
            FleetStream outStream(out, outLock, targets[i].port, o.json);
            FleetStream errStream(err, errLock, targets[i].port, false);
            std::FILE* to = outStream.File() ? outStream.File() : out;
            TextReporter text(to, errStream.File() ? errStream.File() : err, false);
            JsonReporter json(to);
            Reporter& reporter = o.json ? static_cast<Reporter&>(json) : text;
            CCommandGenerator engine;
            engine.m_session.m_timing = env.timing;
            exits[i] = work(engine, targets[i].device, reporter);
        });
    }
    for (std::thread& t : threads) t.join();
    return exits;
}

std::string ExitText(Command command, int exit) {
    if (exit == kExitDone) return "";
    if (exit == kExitNoPrinter) return "no monitor answered";
    return command == Command::kVerify ? "the printer does not hold the package" : "see the lines above";
}

std::vector<FleetRow> Update(const Options& o, const Environment& env, const std::vector<Target>& targets,
                             FleetDisplay& display, bool* stopped) {
    std::vector<FleetMember> members;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        std::string error;
        const std::string output =
            o.output.empty() ? "" : FleetOutputPath(o.output, targets[i].port, i + 1, targets.size(), &error).value_or("");
        members.push_back({targets[i].port, targets[i].device, o.package, output, std::nullopt});
    }
    FleetUpdate fleet(members);
    fleet.SetTiming(env.timing);
    fleet.ProtectFile(ProgramSetupFile(env));
    std::vector<std::string> ports, printers;
    for (const Target& t : targets) {
        ports.push_back(t.port);
        printers.push_back(t.printer);
    }
    display.Start(ports, printers);
    std::atomic<bool> stop{false};
    const ScopedInterrupt interrupt(&stop);
    const auto outcomes = fleet.Run(
        stop, [&](std::size_t i, const CThread::View& v) { display.Progress(i, v); },
        [&](std::size_t i, const FleetOutcome& outcome) { display.Finished(i, RowOf(ports[i], printers[i], outcome)); });
    *stopped = ScopedInterrupt::Received() != 0;
    std::vector<FleetRow> rows;
    for (std::size_t i = 0; i < outcomes.size(); ++i) rows.push_back(RowOf(ports[i], printers[i], outcomes[i]));
    return rows;
}

// Updates every target at once; with --verify, reads back each one updated.
std::vector<FleetRow> UpdateAndVerify(const Options& o, const Environment& env, const std::vector<Target>& targets,
                                      FleetDisplay& display, std::FILE* out, std::FILE* err, bool* stopped) {
    // Connecting leaves a serial port at the monitor's rate; each printer
    // restarts at its own, where a read-back must find it again.
    std::vector<std::unique_ptr<SerialPortSettings>> normal;
    for (const Target& t : targets) {
        auto* serial = dynamic_cast<SerialPortSettings*>(t.device->GetSettings());
        normal.push_back(serial ? std::make_unique<SerialPortSettings>(*serial) : nullptr);
    }
    std::vector<FleetRow> rows = Update(o, env, targets, display, stopped);
    if (*stopped || !o.verify) return rows;
    std::vector<Target> updated;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (rows[i].result != FleetRow::Result::kDone) continue;
        if (normal[i]) targets[i].device->SetSettings(normal[i].get());
        updated.push_back(targets[i]);
    }
    const auto exits = OnEachPrinter(updated, o, env, out, err, [&](CCommandGenerator& engine, CPort* port, Reporter& r) {
        return VerifyPackage(engine, port, o.package, r);
    });
    for (std::size_t i = 0, k = 0; i < rows.size(); ++i) {
        if (rows[i].result != FleetRow::Result::kDone) continue;
        if (exits[k++] == kExitDone) continue;
        rows[i].result = FleetRow::Result::kFailed;
        rows[i].text = "updated, but the read-back does not match the package";
    }
    return rows;
}

std::vector<FleetRow> VerifyOrPlan(const Options& o, const Environment& env, const std::vector<Target>& targets,
                                   std::FILE* out, std::FILE* err) {
    const auto started = std::chrono::steady_clock::now();
    const auto exits = OnEachPrinter(targets, o, env, out, err, [&](CCommandGenerator& engine, CPort* port, Reporter& r) {
        return o.command == Command::kVerify ? VerifyPackage(engine, port, o.package, r)
                                             : PlanPackage(engine, port, o.package, r);
    });
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    std::vector<FleetRow> rows;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        FleetRow row;
        row.port = targets[i].port;
        row.printer = targets[i].printer;
        row.result = exits[i] == kExitDone ? FleetRow::Result::kDone : FleetRow::Result::kFailed;
        row.text = ExitText(o.command, exits[i]);
        row.elapsed = elapsed;
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

bool IsFleet(const Options& o) {
    const bool onPackage = o.command == Command::kUpdate || o.command == Command::kVerify || o.command == Command::kPlan;
    return onPackage && (o.all || o.ports.size() > 1);
}

std::optional<std::string> FleetOutputPath(const std::string& pattern, const std::string& port, std::size_t index,
                                           std::size_t printers, std::string* error) {
    std::string path;
    bool distinct = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '{') {
            path += pattern[i];
            continue;
        }
        const std::size_t end = pattern.find('}', i);
        const std::string field = end == std::string::npos ? "" : pattern.substr(i + 1, end - i - 1);
        if (field == "port") path += port;
        else if (field == "index") path += std::to_string(index);
        else {
            *error = "--output: unknown field '" + pattern.substr(i, end == std::string::npos ? 1 : end - i + 1) +
                     "' (fields: {port}, {index})";
            return std::nullopt;
        }
        distinct = true;
        i = end;
    }
    if (printers > 1 && !distinct) {
        *error = "--output with several printers needs {port} or {index} in the name, or they would share one file";
        return std::nullopt;
    }
    return path;
}

int RunFleet(const Options& given, Reporter& reporter, const Environment& env, std::FILE* out, std::FILE* err) {
    Options o = given;
    for (PortChoice& port : o.ports)
        if (!port.devicePath.empty())
            if (const int exit = ResolveDevicePath(port, reporter); exit != kExitDone) return exit;
    if (!o.output.empty()) {
        std::string error;
        // A pattern is checked before the search: with --all the count is not known yet, so assume several.
        if (!FleetOutputPath(o.output, "COM1", 1, 2, &error)) {
            reporter.Problem(error);
            return kExitUsage;
        }
    }
    Options preflight = o;
    preflight.output.clear();  // each printer's own binary is checked by its job before it connects
    const std::vector<std::string> setupFile{ProgramSetupFile(env)};
    if (const int exit = CheckFilesBeforeConnecting(preflight, setupFile, reporter); exit != kExitDone) return exit;

    FleetMessageBoxes boxes(reporter, o.force);
    platform::MessageQueue messages;
    CThread searcher(&messages);  // its printer list owns the ports until the end
    searcher.m_printers.engine.m_session.m_timing = env.timing;
    if (!o.all)
        for (const PortChoice& p : o.ports) searcher.m_printers.portsToAsk.push_back(PortName(p));
    reporter.Note("Searching the printers...");
    RunSearch(searcher);
    NoteBusyPorts(searcher.m_printers, reporter);
    std::vector<FleetRow> leftOut;
    const std::vector<Target> targets = Choose(o, searcher.m_printers, leftOut);
    FleetDisplay display(ChooseFleetMode(o.json, err), out, err);
    if (targets.empty()) {
        reporter.Note("No printer to work on.");
        display.Summary(leftOut);
        return kExitNoPrinter;
    }

    bool stopped = false;
    std::vector<FleetRow> rows = o.command == Command::kUpdate ? UpdateAndVerify(o, env, targets, display, out, err, &stopped)
                                                               : VerifyOrPlan(o, env, targets, out, err);
    rows.insert(rows.end(), leftOut.begin(), leftOut.end());
    display.Summary(rows);
    if (stopped) {
        reporter.Note(kStoppedNote);
        return ScopedInterrupt::ExitStatus();
    }
    for (const FleetRow& r : rows)
        if (r.result == FleetRow::Result::kFailed) return kExitFailed;
    return kExitDone;
}

}  // namespace carillon::cli
