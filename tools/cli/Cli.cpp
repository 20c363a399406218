#include "cli/Interrupt.h"
#include "cli/Cli.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "app/ForcedRemoval.h"
#include "app/SetupIni.h"
#include "app/SetupLocation.h"
#include "app/SilentStart.h"
#include "app/StringTable.h"
#include "app/Thread.h"
#include "cli/CliPorts.h"
#include "cli/Fleet.h"
#include "cli/FrameTrace.h"
#include "common/CommandLine.h"
#include "common/SafeText.h"
#include "common/Terminal.h"
#include "cli/TextTree.h"
#include "cli/Plan.h"
#include "cli/Preflight.h"
#include "cli/Replay.h"
#include "cli/Verify.h"
#include "platform/MessageQueue.h"

namespace carillon::cli {
namespace {

// The program's setup file (in SetupData beside it, or the installed
// system-wide one), whose serial ports every command reads.
SetupLocation ProgramSetup(const Environment& env) {
    return LocateSetup(RunningProgramFile(env.programPath), UserDirs::FromEnvironment());
}

using namespace std::chrono_literals;

// Answers the job's questions from the command line, or from the person at
// the terminal, and shows every box through the reporter.
class CliMessageBoxes : public platform::MessageBoxProvider {
public:
    CliMessageBoxes(Reporter& reporter, ForceAnswer force, const Environment& env)
        : reporter_(reporter), force_(force), env_(env), scope_(this) {}

    int Show(const platform::MessageBoxRequest& box) override {
        int answer = platform::IDOK;
        if ((box.flags & platform::MB_BUTTON_MASK) == platform::MB_YESNO) answer = Decide(box.text);
        reporter_.Box(box, answer);
        return answer;
    }

private:
    int Decide(const std::string& question) {
        // --yes forces the update; losing firmware on top of it is still
        // asked on a terminal, and only taken as given without one.
        const bool removal = question.rfind(kForcedRemovalQuestion, 0) == 0;
        if (force_ == ForceAnswer::kYes && !(removal && env_.canAsk)) return platform::IDYES;
        if (force_ == ForceAnswer::kNo || !env_.canAsk) return platform::IDNO;
        std::fprintf(env_.diagnostics, "carillon-cli: %s [y/N] ", tools::TerminalSafe(question, true).c_str());
        std::fflush(env_.diagnostics);
        char line[16] = {};
        const bool yes = std::fgets(line, sizeof line, env_.answers) != nullptr && (line[0] == 'y' || line[0] == 'Y');
        return yes ? platform::IDYES : platform::IDNO;
    }

    Reporter& reporter_;
    ForceAnswer force_;
    const Environment& env_;
    platform::ScopedMessageBoxProvider scope_;
};


// A run that a signal stopped at a safe point.
int Interrupted(Reporter& reporter) {
    reporter.Note(kStoppedNote);
    return ScopedInterrupt::ExitStatus();
}

// Follows the job's messages to its end; a signal asks it to stop first.
int FollowUpdate(CThread& worker, platform::MessageQueue& messages, Reporter& reporter) {
    bool stopAsked = false;
    for (;;) {
        if (!stopAsked && ScopedInterrupt::Received() != 0) {
            stopAsked = true;
            worker.RequestStop();  // also before the save, whose connect clears the engine's request
            reporter.Note("Stopping at the next safe point (again to end at once)...");
        }
        const auto message = messages.Take(100ms);
        if (!message) continue;
        if (message->id == platform::WM_PAINT) {
            reporter.Progress(worker.Snapshot());
        } else if (message->id == platform::WM_UPDATE_DONE) {
            reporter.Finished(true, worker.Snapshot());
            return kExitDone;
        } else if (message->id == platform::WM_UPDATE_FAILED) {
            const CThread::View view = worker.Snapshot();
            reporter.Finished(false, view);
            if (stopAsked) return Interrupted(reporter);
            return view.m_strResultTitle == LoadString(IDS_FAIL_TO_CONNECT) ? kExitNoPrinter : kExitFailed;
        }
    }
}

int Search(Reporter& reporter, const Environment& env) {
    TextTree tree;  // outlives the worker, whose printer list draws into it
    platform::MessageQueue messages;
    CThread worker(&messages);
    worker.m_printers.engine.m_session.m_timing = env.timing;
    worker.m_printers.SetTree(&tree, 0, nullptr);
    reporter.Note("Searching the printers...");
    RunSearch(worker);
    NoteBusyPorts(worker.m_printers, reporter);
    std::map<std::string, std::string> devices;
    bool answered = false;
    for (int i = 0; i < worker.m_printers.portCount; ++i) {
        const std::string device = DevicePathOf(worker.m_printers.EntryPort(i));
        if (!device.empty()) devices[worker.m_printers.EntrySnapshot(i).portName] = device;
        answered = answered || !worker.m_printers.EntryLabel(i).empty();
    }
    reporter.Printers(worker.m_printers, tree.Render(devices));
    return answered ? kExitDone : kExitNoPrinter;
}

// The commands that work on one printer: find it, then update, verify, plan or replay.
int OnPrinter(Options o, Reporter& reporter, const Environment& env) {
    if (o.command != Command::kReplay) {
        const std::vector<std::string> setupFile{ProgramSetupFile(env)};
        if (const int exit = CheckFilesBeforeConnecting(o, setupFile, reporter); exit != kExitDone) return exit;
        const std::string output = o.output.empty() ? "" : ", and " + o.output + " can be written";
        reporter.Detail(o.package + ": loaded and checked" + output);
    }
    if (!o.port->devicePath.empty()) {
        if (const int exit = ResolveDevicePath(*o.port, reporter); exit != kExitDone) return exit;
        if (o.port->usb && o.baudRate) {
            reporter.Problem(o.port->devicePath + " is a USB printer, which has no baud rate or handshake");
            return kExitUsage;
        }
    }
    std::optional<FrameTrace> trace;
    if (o.trace) trace.emplace(env.diagnostics);
    FrameObserver* frames = trace ? &*trace : nullptr;
    CliMessageBoxes boxes(reporter, o.force, env);
    ChosenPort chosen;  // outlives the worker, which borrows its port
    if (o.port->usb || o.baudRate) {
        chosen = DirectPort(o, reporter);
        if (!chosen.port) return chosen.exit;
    }
    platform::MessageQueue messages;
    CThread worker(&messages);
    worker.m_printers.engine.m_session.m_timing = env.timing;
    worker.m_printers.engine.m_session.m_frameObserver = frames;
    if (!chosen.port) SearchedPort(o, worker, reporter, chosen);
    if (!chosen.port) return chosen.exit;
    CCommandGenerator& engine = worker.m_printers.engine;
    if (o.command == Command::kVerify) return VerifyPackage(engine, chosen.port, o.package, reporter);
    if (o.command == Command::kPlan) return PlanPackage(engine, chosen.port, o.package, reporter);
    if (o.command == Command::kReplay)
        return ReplayOutputBinary(o.replayFile, chosen.port, env.timing, o.forceReplay, frames, reporter);
    // Connecting leaves a serial port at the monitor's rate; the printer
    // restarts at its own, where the verify must find it again.
    std::optional<SerialPortSettings> normal;
    if (auto* serial = dynamic_cast<SerialPortSettings*>(chosen.port->GetSettings())) normal = *serial;
    worker.ProtectFile(ProgramSetupFile(env));
    const ScopedInterrupt interrupt(&engine.m_session.m_stopRequested);  // only what writes stops at a safe point
    worker.RequestUpdate(chosen.port, o.package, o.output);
    const int exit = FollowUpdate(worker, messages, reporter);
    if (exit != kExitDone || !o.verify) return exit;
    if (normal) chosen.port->SetSettings(&*normal);
    return VerifyPackage(engine, chosen.port, o.package, reporter);
}

int Silent(const Options& o, Reporter& reporter, const Environment& env) {
    const SetupLocation own = ProgramSetup(env);
    std::string path = own.setupFile;
    if (!o.directory.empty()) path = o.directory + (o.directory.back() == '/' ? "" : "/") + "SetupData/Setup.ini";
    const CSetupIni ini(path, own.installed && o.directory.empty() ? SetupAccess::kReadOnly : SetupAccess::kReadWrite);
    if (ini.Path().empty()) {
        reporter.Problem("no setup file: " + (path.empty() ? std::string("this program's") : path) +
                         " cannot be found or created");
        return kExitNoPrinter;
    }
    CliMessageBoxes boxes(reporter, ForceAnswer::kNo, env);
    LoadSerialPortMap(ini);
    std::optional<FrameTrace> trace;  // outlives the worker, whose session writes to it
    platform::MessageQueue messages;
    CThread worker(&messages);
    worker.m_printers.engine.m_session.m_timing = env.timing;
    if (o.trace) worker.m_printers.engine.m_session.m_frameObserver = &trace.emplace(env.diagnostics);
    worker.m_bSilent = 1;
    worker.ProtectFile(ini.Path());
    const SilentJob job = PrepareSilentStart(ini, worker.m_printers);
    CPort* port = worker.m_printers.EntryPort(0);
    if (port == nullptr) {
        reporter.Problem("the setup file names no port: \"Port type\" of \"Silent mode config\" must be SERIAL or USB");
        return kExitNoPrinter;
    }
    const ScopedInterrupt interrupt(&worker.m_printers.engine.m_session.m_stopRequested);
    worker.RequestUpdate(port, job.firmwareFile, job.outputFile);
    return FollowUpdate(worker, messages, reporter);
}

// The serial ports named in the setup file beside the program, if there is
// one; unlike the wizard, the command line never creates that file.
void LoadProgramSerialPorts(const Environment& env) {
    const std::string path = ProgramSetupFile(env);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return;
    LoadSerialPortMap(CSetupIni(path));
}

}  // namespace

std::string ProgramSetupFile(const Environment& env) { return ProgramSetup(env).setupFile; }

int Run(const Options& options, Reporter& reporter, const Environment& environment) {
    const bool onPorts = options.command != Command::kSilent && options.command != Command::kHelp &&
                         options.command != Command::kVersion;
    if (onPorts) LoadProgramSerialPorts(environment);
    if (IsFleet(options)) return RunFleet(options, reporter, environment, environment.results, environment.diagnostics);
    switch (options.command) {
        case Command::kSearch: return Search(reporter, environment);
        case Command::kUpdate:
        case Command::kVerify:
        case Command::kPlan:
        case Command::kReplay: return OnPrinter(options, reporter, environment);
        case Command::kDoctor: return RunDoctor(options.fix, reporter, environment.doctor);
        case Command::kSilent: return Silent(options, reporter, environment);
        case Command::kHelp:
        case Command::kVersion: break;
    }
    return kExitDone;
}

int RunCommandLine(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err, Environment environment) {
    const ParseResult parsed = ParseCommandLine(arguments);
    const Options& o = parsed.options;
    if (!parsed.error.empty()) {
        if (o.json) JsonReporter(out).Problem(parsed.error);
        std::fputs(tools::UsageErrorText("carillon-cli", parsed.error).c_str(), err);
        return kExitUsage;
    }
    if (o.command == Command::kHelp || o.command == Command::kVersion) {
        std::fputs(o.command == Command::kHelp ? UsageText().c_str() : tools::VersionText("carillon-cli").c_str(), out);
        return kExitDone;
    }
    TextReporter text(out, err, tools::EscapeCodesAllowed(err), o.verbosity);
    JsonReporter json(out, o.verbosity);
    environment.results = out;
    environment.diagnostics = err;
    environment.canAsk = !o.json && ::isatty(::fileno(environment.answers)) != 0 && ::isatty(::fileno(err)) != 0;
    return Run(o, o.json ? static_cast<Reporter&>(json) : text, environment);
}

}  // namespace carillon::cli
