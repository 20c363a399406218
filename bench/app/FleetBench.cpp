// Whole updates of the kiosk sample package into printers paced at 115200
// baud (1 ms turnaround) over serial pseudo-terminals: four printers at once
// against one, and the host's CPU time per printer as a share of one core.
// The printers run in a child process, so that the CPU time measured here is
// the updater's alone.

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/FleetUpdate.h"
#include "platform/MessageBox.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "sim/PtyPrinter.h"
#include "support/LinkMeasure.h"

namespace carillon {
namespace {

constexpr std::uint32_t kBaud = 115200;
constexpr std::uint32_t kTurnaroundMs = 1;

class NoBoxes : public platform::MessageBoxProvider {
public:
    int Show(const platform::MessageBoxRequest&) override { return platform::IDNO; }
};

// Printers in a child process: their device paths, one a line, and a pipe
// whose end tells the child to stop.
struct PrinterProcess {
    pid_t pid = -1;
    int stop = -1;
    std::vector<std::string> paths;

    ~PrinterProcess() {
        if (stop >= 0) ::close(stop);
        if (pid > 0) ::waitpid(pid, nullptr, 0);
    }
};

std::unique_ptr<PrinterProcess> StartPrinters(int count) {
    int paths[2], stop[2];
    if (::pipe(paths) != 0 || ::pipe(stop) != 0) return nullptr;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(paths[0]);
        ::close(stop[1]);
        std::vector<std::unique_ptr<sim::VirtualPrinter>> printers;
        std::vector<std::unique_ptr<sim::PtyPrinter>> ptys;
        std::string list;
        for (int i = 0; i < count; ++i) {
            sim::PrinterConfig config;
            config.family = sim::Family::kKiosk;
            config.startInMonitor = true;
            config.pacing = {.enabled = true, .baud = kBaud, .turnaroundMs = kTurnaroundMs};
            printers.push_back(std::make_unique<sim::VirtualPrinter>(config));
            ptys.push_back(std::make_unique<sim::PtyPrinter>(*printers.back(), sim::PtyPrinter::Mode::kSerial));
            if (!ptys.back()->Start()) ::_exit(1);
            list += ptys.back()->DevicePath() + "\n";
        }
        if (::write(paths[1], list.data(), list.size()) != static_cast<ssize_t>(list.size())) ::_exit(1);
        ::close(paths[1]);
        char byte;
        while (::read(stop[0], &byte, 1) > 0) {
        }
        for (auto& pty : ptys) pty->Stop();
        ::_exit(0);
    }
    ::close(paths[1]);
    ::close(stop[0]);
    auto process = std::make_unique<PrinterProcess>();
    process->pid = pid;
    process->stop = stop[1];
    std::string text;
    char buffer[1024];
    for (ssize_t n; (n = ::read(paths[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(paths[0]);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        process->paths.push_back(text.substr(start, end - start));
    if (static_cast<int>(process->paths.size()) != count) return nullptr;
    return process;
}

void BM_FleetUpdate(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    const std::string package = std::string(CARILLON_SAMPLES_DIR) + "/KIOSK.VRK_Package";
    NoBoxes boxes;
    platform::ScopedMessageBoxProvider scope(&boxes);
    for (auto _ : state) {
        const auto printers = StartPrinters(count);
        if (!printers) {
            state.SkipWithError("the printers did not start");
            return;
        }
        SerialPortMap map;
        for (int i = 0; i < count; ++i) map[i + 1] = printers->paths[static_cast<std::size_t>(i)];
        ScopedSerialPortMap scoped(map);
        std::vector<std::unique_ptr<CSerialPort>> ports;
        std::vector<FleetMember> members;
        for (int i = 0; i < count; ++i) {
            ports.push_back(std::make_unique<CSerialPort>());
            SerialPortSettings s(static_cast<std::uint8_t>(i + 1), kBaud, kHandshakeNone);
            ports.back()->SetSettings(&s);
            members.push_back({"COM" + std::to_string(i + 1), ports.back().get(), package, "", std::nullopt});
        }
        FleetUpdate fleet(members);
        const std::atomic<bool> stop{false};

        const double cpu0 = bench::ProcessCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        const auto outcomes = fleet.Run(stop, nullptr, nullptr);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = bench::ProcessCpuSeconds() - cpu0;
        for (const FleetOutcome& o : outcomes) {
            if (o.done) continue;
            state.SkipWithError("an update failed");
            return;
        }
        state.SetIterationTime(wall);
        state.counters["printers"] = count;
        state.counters["seconds"] = wall;
        state.counters["cpu_share_per_printer"] = cpu / wall / count;
    }
}

BENCHMARK(BM_FleetUpdate)->Arg(1)->Arg(4)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace carillon

BENCHMARK_MAIN();
