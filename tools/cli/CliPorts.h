#pragma once
// Choosing the printer a command works on, and driving the engine's mailbox
// from the command line.

#include <memory>
#include <string>

#include "app/Thread.h"
#include "cli/CliOptions.h"
#include "cli/Reporter.h"
#include "ports/Port.h"

namespace carillon::cli {

// The port of --port: one the command owns (USB, or serial with --baud), or
// the entry a search found (owned by the worker's printer list).
struct ChosenPort {
    std::unique_ptr<CPort> own;
    CPort* port = nullptr;
    int exit = 0;  // why there is no port
};

// A USB printer, or a serial line with the given settings; null otherwise
// (see ChosenPort::exit when it failed).
ChosenPort DirectPort(const Options& options, Reporter& reporter);
// The serial printer a search finds on --port, if the person wants it.
void SearchedPort(const Options& options, CThread& worker, Reporter& reporter, ChosenPort& chosen);
// Matches a --port given as a device path (a symbolic link such as
// /dev/serial/by-id/... resolved) to the COM or USB number the enumeration
// gives that device; exit status when it is neither.
int ResolveDevicePath(PortChoice& port, Reporter& reporter);
// The device node behind a port of the enumeration, or empty.
std::string DevicePathOf(CPort* port);
// Runs a search on the worker and waits for its end.
void RunSearch(CThread& worker);

// After a search: a port where nothing answered because another program
// holds it is reported as busy, with the port's own code and text.
void NoteBusyPorts(PrinterList& printers, Reporter& reporter);

// The update page's view of the engine's progress, for the reporters.
CThread::View ViewOf(const GeneratorStatus& status);
// Waits for the engine's command to end, reporting progress; returns its result.
ErrorCode WaitForCommand(CCommandGenerator& engine, Reporter& reporter);
// Brings the printer on port into its monitor and reads its file tables, as
// the update job does first; false (reported, exit status in *exit) when no
// monitor answered.
bool ConnectAndReadTables(CCommandGenerator& engine, CPort* port, Reporter& reporter, int* exit);

}  // namespace carillon::cli
