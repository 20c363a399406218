#include "soak/ChatterRow.h"

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/Thread.h"
#include "platform/MessageQueue.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbDeviceSource.h"
#include "ports/UsbPort.h"

namespace carillon::soak {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Growth allowed over a run: far below what an unbounded read gathers.
constexpr long kMemoryGrowthLimitKb = 16 * 1024;

long ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

int OpenDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// Polls until pred holds or the deadline passes.
template <typename Pred>
bool WaitFor(Pred pred, Clock::time_point deadline) {
    while (!pred()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The job's end message, or 0 at the deadline.
std::uint32_t UpdateEnd(platform::MessageQueue& messages, Clock::time_point deadline) {
    while (Clock::now() < deadline) {
        const auto m = messages.Take(std::chrono::milliseconds(200));
        if (m && (m->id == platform::WM_UPDATE_DONE || m->id == platform::WM_UPDATE_FAILED)) return m->id;
    }
    return 0;
}

// A worker stuck in a read cannot be joined: the run ends its process, and
// the soak, which runs every row in a child, reports the hang.
[[noreturn]] void EndHung(const char* what) {
    std::fprintf(stderr, "chatter row: %s after the run limit\n", what);
    std::fflush(nullptr);
    ::_exit(4);
}

}  // namespace

RunResult RunChatterRow(sim::ChatterKind kind, bool usb, const Options& o) {
    RunResult result;
    const auto started = Clock::now();
    const fs::path dir = fs::temp_directory_path() / ("carillon-chatter-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string list = (dir / "usb-devices").string();
    std::ofstream{list};
    if (usb) ::setenv(kUsbDevicesVariable, list.c_str(), 1);
    sim::Chatter chatter(kind, usb ? list : std::string(), "USB\\Vid_1a2b&Pid_0003\\CHAT1");
    std::string error;
    if (!chatter.Start(&error)) {
        result.detail = error;
        return result;
    }
    if (!usb) SetSerialPortMap({{1, chatter.DevicePath()}});
    const long memoryBefore = ResidentKb();
    const int descriptorsBefore = OpenDescriptors();
    const auto limit = std::chrono::seconds(o.runLimitSeconds);
    {
        platform::MessageQueue messages;
        CThread worker(&messages);
        worker.m_printers.engine.m_session.m_timing = MonitorTiming{}.Scaled(o.timing);
        worker.m_bSearchRequested = 1;
        if (!WaitFor([&] { return worker.m_bSearchRequested == 0; }, started + limit)) EndHung("the search still runs");
        for (int i = 0; i < worker.m_printers.portCount; ++i)
            if (!worker.m_printers.EntryLabel(i).empty()) result.detail = "the search found a printer: " + worker.m_printers.EntryLabel(i);
    }
    {
        // A worker of its own, as a later run of the program would have.
        platform::MessageQueue messages;
        CThread worker(&messages);
        worker.m_printers.engine.m_session.m_timing = MonitorTiming{}.Scaled(o.timing);
        std::unique_ptr<CPort> port = usb ? std::unique_ptr<CPort>(std::make_unique<CUsbPort>())
                                          : std::unique_ptr<CPort>(std::make_unique<CSerialPort>());
        const UsbPortSettings usbSettings(1, "");
        const SerialPortSettings serialSettings(1, 9600, kHandshakeRtsCts);
        port->SetSettings(usb ? static_cast<const PortSettings*>(&usbSettings) : &serialSettings);
        worker.RequestUpdate(port.get(), (fs::path(o.samplesDir) / "NDX.VRK_Package").string(), "");
        const std::uint32_t end = UpdateEnd(messages, Clock::now() + limit);
        if (end == 0) EndHung("the update still runs");
        if (end == platform::WM_UPDATE_DONE) result.detail = "an update of a device that only talks reported success";
        char code[16];
        std::snprintf(code, sizeof code, "%08X", worker.Snapshot().resultCode);
        result.code = code;
    }
    const long grown = ResidentKb() - memoryBefore;
    if (grown > kMemoryGrowthLimitKb) result.detail = "memory grew by " + std::to_string(grown) + " KB";
    if (OpenDescriptors() != descriptorsBefore) result.detail = "descriptors leaked";
    chatter.Stop();
    fs::remove_all(dir);
    result.outcome = result.detail.empty() ? Outcome::kExpectedError : Outcome::kFail;
    result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return result;
}

}  // namespace carillon::soak
