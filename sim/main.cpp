// carillon-vprinter: a virtual printer on a pseudo-terminal, for demos,
// development and as the reference for how a printer behaves.

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <mutex>

#include "common/CommandLine.h"
#include "common/SafeText.h"
#include "errors/ErrorMessages.h"
#include "sim/Dump.h"
#include "sim/Options.h"
#include "sim/PtyPrinter.h"
#include "sim/VerifyPackage.h"
#include "sim/VirtualPrinter.h"

using namespace carillon;
using namespace carillon::sim;

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "carillon-vprinter: %s\n", tools::TerminalSafe(message).c_str());
    return 2;
}

int Verify(const VirtualPrinter& printer, const std::string& path) {
    std::vector<ElementCheck> checks;
    const ErrorCode result = VerifyPackageFile(printer, path, &checks);
    if (result != kOk) {
        char code[16];
        std::snprintf(code, sizeof code, "%08X", result);
        return Fail(path + ": " + GetErrorMessage(result) + " (Error Code=" + code + "h)");
    }
    for (const ElementCheck& c : checks) std::printf("%s\n", tools::TerminalSafe(FormatCheck(c)).c_str());  // the package's names
    const bool ok = AllVerified(checks);
    std::printf("%s\n", ok                      ? "package verified"
                       : AnyForPrinter(checks) ? "package NOT in flash"
                                               : "package holds nothing for this printer");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) {
        std::fputs(tools::UsageErrorText("carillon-vprinter", error).c_str(), stderr);
        return 2;
    }
    if (options.help || options.version) {
        std::fputs(options.help ? UsageText() : tools::VersionText("carillon-vprinter").c_str(), stdout);
        return 0;
    }

    if (options.chatter != ChatterKind::kNone) return RunChatter(options.chatter, options.usb, options.config.usbInstanceId);

    VirtualPrinter printer(options.config);
    const bool haveFlash = !options.flashFile.empty() && std::filesystem::exists(options.flashFile);
    if (haveFlash && !printer.LoadFlash(options.flashFile, &error)) return Fail(error);

    if (options.dump || !options.verifyPackage.empty()) {
        if (options.dump) std::fputs(tools::TerminalSafe(DumpFlash(printer), true).c_str(), stdout);
        return options.verifyPackage.empty() ? 0 : Verify(printer, options.verifyPackage);
    }
    if (!options.flashFile.empty() && !haveFlash && !printer.SaveFlash(options.flashFile, &error)) return Fail(error);

    // Signals are taken synchronously below, so every thread must block them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::mutex traceMutex;
    if (options.trace) {
        printer.SetTrace([&](const std::string& line) {
            std::lock_guard lock(traceMutex);
            std::fprintf(stderr, "%s\n", line.c_str());
        });
    }
    PtyPrinter pty(printer, options.usb ? PtyPrinter::Mode::kUsb : PtyPrinter::Mode::kSerial);
    if (!pty.Start(&error)) return Fail(error);
    if (options.usb) {
        std::printf("%s\n", options.config.usbInstanceId.c_str());
        std::fprintf(stderr, "carillon-vprinter: registered on %s in %s\n", pty.DevicePath().c_str(),
                     UsbDeviceList::PathFromEnvironment().c_str());
    } else {
        std::printf("%s\n", pty.DevicePath().c_str());
    }
    std::fflush(stdout);
    std::fprintf(stderr, "carillon-vprinter: %s printer %s, normal mode at %u baud; SIGINT or SIGTERM ends it\n",
                 FamilyName(options.config.family), options.config.startInMonitor ? "in its monitor" : "ready",
                 options.config.baudRate);

    // Flash changes reach the file within a second, and at the end.
    std::uint64_t savedChanges = 0;
    const timespec second{1, 0};
    while (sigtimedwait(&stopSignals, nullptr, &second) < 0) {
        const Counters c = printer.GetCounters();
        const std::uint64_t changes = std::uint64_t{c.erases} + c.unitsProgrammed;
        if (options.flashFile.empty() || changes == savedChanges) continue;
        if (!printer.SaveFlash(options.flashFile, &error)) std::fprintf(stderr, "carillon-vprinter: %s\n", error.c_str());
        savedChanges = changes;
    }
    pty.Stop();
    if (!options.flashFile.empty() && !printer.SaveFlash(options.flashFile, &error)) return Fail(error);
    return 0;
}
