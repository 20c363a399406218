// The printer search over serial ports with nothing attached: wall time
// against the sum of the waits the search specifies for a silent port
// (three command sets at eight rates, each with a 100 ms wait for the first
// status byte and two 10 ms waits for further ones, and the monitor probe's
// two info attempts of a 500 ms answer wait and a 500 ms pause), plus the
// one-second wake-up pause all ports share; and the CPU the search takes
// meanwhile as a share of one core. The ports are probed side by side, so
// eight cost about what one does.

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

#include "discovery/PrinterList.h"
#include "ports/SerialPortMap.h"
#include "support/PortTestHelpers.h"
#include "support/PtyPair.h"

namespace carillon {
namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

constexpr double kWakeUpS = 1.0;
constexpr double kIdentifyWaitsS = 3 * 8 * (0.100 + 2 * 0.010);
constexpr double kProbeWaitsS = 2 * (0.500 + 0.500);

void BM_SearchSilentSerialPorts(benchmark::State& state) {
    const auto ports = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<std::unique_ptr<testing::PtyPair>> lines;
        SerialPortMap map;
        for (int i = 0; i < ports; ++i) {
            lines.push_back(std::make_unique<testing::PtyPair>());
            map[i + 1] = lines.back()->SlavePath();
        }
        ScopedSerialPortMap scoped(map);
        testing::UsbDevicesFile noUsbPrinters;
        PrinterList list;

        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        list.SearchPrinters();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = ProcessCpuSeconds() - cpu0;
        if (list.portCount != ports) {
            state.SkipWithError("the search did not list every port");
            return;
        }
        state.SetIterationTime(wall);
        const double waits = kWakeUpS + kIdentifyWaitsS + kProbeWaitsS;
        state.counters["ports"] = ports;
        state.counters["seconds"] = wall;
        state.counters["waits_per_port"] = kIdentifyWaitsS + kProbeWaitsS;
        state.counters["ratio_to_waits"] = wall / waits;
        state.counters["process_cpu_share"] = cpu / wall;
    }
}

BENCHMARK(BM_SearchSilentSerialPorts)->Arg(1)->Arg(8)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace carillon

BENCHMARK_MAIN();
