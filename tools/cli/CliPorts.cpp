#include "cli/CliPorts.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/StringTable.h"
#include "cli/Cli.h"
#include "errors/ErrorMessages.h"
#include "platform/Format.h"
#include "platform/MessageBox.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbPort.h"

namespace carillon::cli {

using namespace std::chrono_literals;

namespace {

constexpr std::size_t kHighestUsbNumber = 255;  // what a port's settings can hold

// Where a device path leads, links followed; empty when nothing is there.
std::string RealPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    return ec ? std::string() : real.string();
}

}  // namespace

int ResolveDevicePath(PortChoice& port, Reporter& reporter) {
    const std::string& path = port.devicePath;
    const std::string real = RealPath(path);
    if (real.empty()) {
        reporter.Problem(path + ": no such device");
        return kExitNoPrinter;
    }
    for (const auto& [number, device] : GetSerialPortMap()) {
        if (RealPath(device) != real) continue;
        port.number = number;
        reporter.Detail(path + " is COM" + std::to_string(number));
        return kExitDone;
    }
    const std::vector<UsbDeviceEntry> usb = MakeUsbDeviceSource()->List();
    for (std::size_t i = 0; i < usb.size() && i < kHighestUsbNumber; ++i) {
        if (RealPath(usb[i].devicePath) != real) continue;
        port.usb = true;
        port.number = static_cast<int>(i) + 1;
        reporter.Detail(path + " is USB" + std::to_string(port.number) + " (" + usb[i].instanceId + ")");
        return kExitDone;
    }
    reporter.Problem(path + " is neither a serial port nor a USB printer of this computer");
    return kExitNoPrinter;
}

std::string DevicePathOf(CPort* port) {
    const PortSettings* settings = port != nullptr ? port->GetSettings() : nullptr;
    if (settings == nullptr) return "";
    if (settings->HasType(kSerialType)) return GetSerialDevicePath(settings->number);
    char path[kUsbPathSize] = {};
    if (!settings->HasType(kUsbType) || GetUsbDevicePath(settings->number - 1, path, sizeof path, nullptr) != 0) return "";
    return path;
}

void RunSearch(CThread& worker) {
    worker.m_bSearchRequested = 1;
    while (worker.m_bSearchRequested != 0) std::this_thread::sleep_for(50ms);
}

void NoteBusyPorts(PrinterList& printers, Reporter& reporter) {
    for (int i = 0; i < printers.portCount; ++i) {
        CPort* port = printers.EntryPort(i);
        if (port == nullptr || !printers.EntryLabel(i).empty() || port->IsOpen()) continue;
        if (!printers.IsAsked(printers.EntrySnapshot(i).portName)) continue;
        errno = 0;
        if (port->Open()) {
            port->Close();
            continue;
        }
        // Only the device's own refusal: a port that simply is not there
        // (COM7 and above, an adapter pulled) is no busy port.
        if (port->lastError != kErrPortCantOpen || (errno != EBUSY && errno != EWOULDBLOCK)) continue;
        reporter.Note(platform::Format("%s: busy, held by another program (Error Code=%08Xh) %s",
                                       printers.EntrySnapshot(i).portName.c_str(), port->lastError,
                                       GetErrorMessage(port->lastError).c_str()));
    }
}

ChosenPort DirectPort(const Options& o, Reporter& reporter) {
    ChosenPort chosen;
    const std::string name = (o.port->usb ? "USB" : "COM") + std::to_string(o.port->number);
    if (o.port->usb) {
        chosen.own = std::make_unique<CUsbPort>();
        UsbPortSettings settings(static_cast<std::uint8_t>(o.port->number), "");
        if (!chosen.own->SetSettings(&settings) || !chosen.own->IsPrinterPresent()) {
            reporter.Problem(name + ": no such USB printer");
            chosen.own.reset();
            chosen.exit = kExitNoPrinter;
            return chosen;
        }
    } else {
        chosen.own = std::make_unique<CSerialPort>();
        SerialPortSettings settings(static_cast<std::uint8_t>(o.port->number), *o.baudRate,
                                    o.handshake.value_or(kHandshakeRtsCts));
        if (!chosen.own->SetSettings(&settings)) {
            const ErrorCode e = chosen.own->lastError;
            reporter.Problem(name + ": " + GetErrorMessage(e));
            chosen.own.reset();
            chosen.exit = e == kErrPortInvalidNumber ? kExitNoPrinter : kExitUsage;
            return chosen;
        }
    }
    chosen.port = chosen.own.get();
    return chosen;
}

void SearchedPort(const Options& o, CThread& worker, Reporter& reporter, ChosenPort& chosen) {
    const std::string name = "COM" + std::to_string(o.port->number);
    reporter.Note("Searching the printers...");
    worker.m_printers.portsToAsk = {name};
    RunSearch(worker);
    for (int i = 0; i < worker.m_printers.portCount; ++i) {
        const PrinterEntry entry = worker.m_printers.EntrySnapshot(i);
        if (entry.portName != name) continue;
        if (entry.label.empty() &&
            platform::MessageBox(nullptr, LoadString(IDS_NO_PRINTER_QUESTION), "",
                                 platform::MB_YESNO | platform::MB_ICONEXCLAMATION) != platform::IDYES) {
            chosen.exit = kExitNoPrinter;
            return;
        }
        if (!entry.label.empty()) reporter.Note(name + ": " + entry.label);
        chosen.port = worker.m_printers.EntryPort(i);
        return;
    }
    reporter.Problem(name + " is not a serial port of this computer");
    chosen.exit = kExitNoPrinter;
}

CThread::View ViewOf(const GeneratorStatus& s) {
    CThread::View v;
    v.status = s;
    v.m_strStatus = s.text;
    v.m_bShowTotal = s.stepsTotal != 0;
    v.m_bShowProgress = true;
    v.m_nTotalPercent = s.stepsTotal ? static_cast<int>(100LL * s.stepsDone / s.stepsTotal) : 0;
    v.m_nProgressPercent = s.unitsTotal ? static_cast<int>(100LL * s.unitsDone / s.unitsTotal) : 0;
    v.m_strTotal = "Total:   " + std::to_string(s.stepsDone) + " of " + std::to_string(s.stepsTotal);
    v.m_strProgress = "Progress: " + std::to_string(s.unitsDone) + " of " + std::to_string(s.unitsTotal);
    return v;
}

ErrorCode WaitForCommand(CCommandGenerator& engine, Reporter& reporter) {
    while (engine.m_command != kCommandIdle) {
        std::this_thread::sleep_for(100ms);
        GeneratorStatus status;
        engine.GetStatus(&status);
        reporter.Progress(ViewOf(status));
    }
    return engine.m_lastError;
}

bool ConnectAndReadTables(CCommandGenerator& engine, CPort* port, Reporter& reporter, int* exit) {
    engine.PostConnect(port, 1, 0);
    WaitForCommand(engine, reporter);
    if (!engine.m_session.m_connected) {
        reporter.Summary(false, engine.m_lastError, LoadString(IDS_FAIL_TO_CONNECT));
        *exit = kExitNoPrinter;
        return false;
    }
    engine.PostReadFileTables();
    WaitForCommand(engine, reporter);
    return true;
}

}  // namespace carillon::cli
