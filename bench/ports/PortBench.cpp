// How the ports spend time: a thread waiting for a byte that never comes must
// leave the processor alone, and one byte through a pseudo-terminal and back
// shows the floor of a stop-and-wait exchange.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>

#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbPort.h"
#include "support/PtyPair.h"

namespace carillon {
namespace {

double ThreadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// A ReadByte that waits out a 5 s time-out with nothing arriving.
void BM_ReadByteIdleWait(benchmark::State& state) {
    testing::PtyPair pty;
    ScopedSerialPortMap map({{1, pty.SlavePath()}});
    CSerialPort port;
    SerialPortSettings settings(1, 115200, kHandshakeNone);
    port.SetSettings(&settings);
    port.Open();
    port.readTimeout = 5000;
    double cpuMs = 0;
    double wallMs = 0;
    for (auto _ : state) {
        const double cpuStart = ThreadCpuMs();
        const auto wallStart = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(port.ReadByte());
        wallMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart).count();
        cpuMs += ThreadCpuMs() - cpuStart;
    }
    if (port.lastError != kErrPortReadTimeout) state.SkipWithError("the wait did not end with a reading time-out");
    state.counters["cpu_ms"] = cpuMs / static_cast<double>(state.iterations());
    state.counters["cpu_percent_of_core"] = wallMs > 0 ? 100.0 * cpuMs / wallMs : 0;
}
BENCHMARK(BM_ReadByteIdleWait)->Iterations(1)->Unit(benchmark::kMillisecond);

// The peer echoes every byte; one iteration is one byte out and back.
template <typename Port>
void RoundTrip(benchmark::State& state, Port& port, testing::PtyPair& pty) {
    pty.StartPeer([](const ByteArray& got, const serial::LineState&) { return got; });
    std::uint8_t b = 0;
    for (auto _ : state) {
        port.WriteByte(b);
        if (port.ReadByte() != b || port.lastError != kOk) {
            state.SkipWithError("the echo did not come back");
            break;
        }
        ++b;
    }
    pty.StopPeer();
}

void BM_SerialByteRoundTrip(benchmark::State& state) {
    testing::PtyPair pty;
    ScopedSerialPortMap map({{1, pty.SlavePath()}});
    CSerialPort port;
    SerialPortSettings settings(1, 115200, kHandshakeNone);
    port.SetSettings(&settings);
    port.Open();
    RoundTrip(state, port, pty);
}
BENCHMARK(BM_SerialByteRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_UsbByteRoundTrip(benchmark::State& state) {
    testing::PtyPair pty;
    CUsbPort port;
    // A device list of one, as the virtual printer would write it.
    const std::string list = "/tmp/carillon-bench-usb-" + std::to_string(::getpid());
    {
        FILE* f = std::fopen(list.c_str(), "w");
        std::fprintf(f, "USB\\Vid_1209&Pid_0001\\BENCH\t%s\n", pty.SlavePath().c_str());
        std::fclose(f);
    }
    ::setenv(kUsbDevicesVariable, list.c_str(), 1);
    UsbPortSettings settings(1, "");
    port.SetSettings(&settings);
    port.Open();
    RoundTrip(state, port, pty);
    port.Close();
    ::unsetenv(kUsbDevicesVariable);
    std::remove(list.c_str());
}
BENCHMARK(BM_UsbByteRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace carillon

BENCHMARK_MAIN();
