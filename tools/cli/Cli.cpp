#include "cli/Cli.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/SetupIni.h"
#include "app/SilentStart.h"
#include "app/StringTable.h"
#include "app/Thread.h"
#include "cli/TextTree.h"
#include "errors/ErrorMessages.h"
#include "platform/MessageQueue.h"
#include "ports/SerialPort.h"
#include "ports/UsbPort.h"

namespace carillon::cli {
namespace {

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
        if (force_ == ForceAnswer::kYes) return platform::IDYES;
        if (force_ == ForceAnswer::kNo || !env_.canAsk) return platform::IDNO;
        std::fprintf(stderr, "%s [y/N] ", question.c_str());
        char line[16] = {};
        const bool yes = std::fgets(line, sizeof line, env_.answers) != nullptr && (line[0] == 'y' || line[0] == 'Y');
        return yes ? platform::IDYES : platform::IDNO;
    }

    Reporter& reporter_;
    ForceAnswer force_;
    const Environment& env_;
    platform::ScopedMessageBoxProvider scope_;
};

void RunSearch(CThread& worker) {
    worker.m_bSearchRequested = 1;
    while (worker.m_bSearchRequested != 0) std::this_thread::sleep_for(50ms);
}

// Follows the job's messages to its end.
int FollowUpdate(CThread& worker, platform::MessageQueue& messages, Reporter& reporter) {
    for (;;) {
        const auto message = messages.Take(1s);
        if (!message) continue;
        if (message->id == platform::WM_PAINT) {
            reporter.Progress(worker.Snapshot());
        } else if (message->id == platform::WM_UPDATE_DONE) {
            reporter.Finished(true, worker.Snapshot());
            return kExitDone;
        } else if (message->id == platform::WM_UPDATE_FAILED) {
            const CThread::View view = worker.Snapshot();
            reporter.Finished(false, view);
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
    reporter.Printers(worker.m_printers, tree.Render());
    return worker.m_printers.portCount > 0 ? kExitDone : kExitNoPrinter;
}

// The port a USB printer or a serial line with given settings is on.
std::unique_ptr<CPort> DirectPort(const Options& o, Reporter& reporter, int* exit) {
    std::unique_ptr<CPort> port;
    const std::string name = (o.port->usb ? "USB" : "COM") + std::to_string(o.port->number);
    if (o.port->usb) {
        port = std::make_unique<CUsbPort>();
        UsbPortSettings settings(static_cast<std::uint8_t>(o.port->number), "");
        if (!port->SetSettings(&settings) || !port->IsPrinterPresent()) {
            reporter.Problem(name + ": no such USB printer");
            *exit = kExitNoPrinter;
            return nullptr;
        }
        return port;
    }
    port = std::make_unique<CSerialPort>();
    SerialPortSettings settings(static_cast<std::uint8_t>(o.port->number), *o.baudRate,
                                o.handshake.value_or(kHandshakeRtsCts));
    if (!port->SetSettings(&settings)) {
        const ErrorCode e = port->lastError;
        reporter.Problem(name + ": " + GetErrorMessage(e));
        *exit = e == kErrPortInvalidNumber ? kExitNoPrinter : kExitUsage;
        return nullptr;
    }
    return port;
}

// The entry a search found on the serial port, if the person wants it.
CPort* SearchedPort(const Options& o, CThread& worker, Reporter& reporter, int* exit) {
    const std::string name = "COM" + std::to_string(o.port->number);
    reporter.Note("Searching the printers...");
    RunSearch(worker);
    for (int i = 0; i < worker.m_printers.portCount; ++i) {
        const PrinterEntry entry = worker.m_printers.EntrySnapshot(i);
        if (entry.portName != name) continue;
        if (entry.label.empty() &&
            platform::MessageBox(nullptr, LoadString(IDS_NO_PRINTER_QUESTION), "",
                                 platform::MB_YESNO | platform::MB_ICONEXCLAMATION) != platform::IDYES) {
            *exit = kExitNoPrinter;
            return nullptr;
        }
        if (!entry.label.empty()) reporter.Note(name + ": " + entry.label);
        return worker.m_printers.EntryPort(i);
    }
    reporter.Problem(name + " is not a serial port of this computer");
    *exit = kExitNoPrinter;
    return nullptr;
}

int Update(const Options& o, Reporter& reporter, const Environment& env) {
    CliMessageBoxes boxes(reporter, o.force, env);
    int exit = kExitDone;
    std::unique_ptr<CPort> ownPort;  // outlives the worker, which borrows it
    if (o.port->usb || o.baudRate) {
        ownPort = DirectPort(o, reporter, &exit);
        if (!ownPort) return exit;
    }
    platform::MessageQueue messages;
    CThread worker(&messages);
    worker.m_printers.engine.m_session.m_timing = env.timing;
    CPort* port = ownPort ? ownPort.get() : SearchedPort(o, worker, reporter, &exit);
    if (port == nullptr) return exit;
    worker.RequestUpdate(port, o.package, o.output);
    return FollowUpdate(worker, messages, reporter);
}

int Silent(const Options& o, Reporter& reporter, const Environment& env) {
    std::string dir = o.directory.empty() ? AppDirFromArgument(env.programPath) : o.directory;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    CSetupIni ini(dir + "SetupData/Setup.ini");
    if (ini.Path().empty()) {
        reporter.Problem("no setup file: " + dir + "SetupData/Setup.ini cannot be found or created");
        return kExitNoPrinter;
    }
    CliMessageBoxes boxes(reporter, ForceAnswer::kNo, env);
    LoadSerialPortMap(ini);
    platform::MessageQueue messages;
    CThread worker(&messages);
    worker.m_printers.engine.m_session.m_timing = env.timing;
    worker.m_bSilent = 1;
    const SilentJob job = PrepareSilentStart(ini, worker.m_printers);
    CPort* port = worker.m_printers.EntryPort(0);
    if (port == nullptr) {
        reporter.Problem("the setup file names no port: \"Port type\" of \"Silent mode config\" must be SERIAL or USB");
        return kExitNoPrinter;
    }
    worker.RequestUpdate(port, job.firmwareFile, job.outputFile);
    return FollowUpdate(worker, messages, reporter);
}

// The serial ports named in the setup file beside the program, if there is
// one; unlike the wizard, the command line never creates that file.
void LoadProgramSerialPorts(const Environment& env) {
    const std::string path = AppDirFromArgument(env.programPath) + "SetupData/Setup.ini";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return;
    LoadSerialPortMap(CSetupIni(path));
}

}  // namespace

int Run(const Options& options, Reporter& reporter, const Environment& environment) {
    if (options.command == Command::kSearch || options.command == Command::kUpdate) LoadProgramSerialPorts(environment);
    switch (options.command) {
        case Command::kSearch: return Search(reporter, environment);
        case Command::kUpdate: return Update(options, reporter, environment);
        case Command::kSilent: return Silent(options, reporter, environment);
        case Command::kHelp: break;
    }
    return kExitDone;
}

}  // namespace carillon::cli
