// Programming throughput of WriteFlash against the virtual printer paced at
// 115200 baud with a 1 ms turnaround: payload rate, ratio to the protocol's
// bound and to the raw line rate, and CPU time as a share of one core.

#include <benchmark/benchmark.h>

#include <chrono>

#include "monitor/MonitorSession.h"
#include "package/Element.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "sim/PtyPrinter.h"
#include "sim/SimPort.h"
#include "support/LinkMeasure.h"

namespace carillon {
namespace {

constexpr std::uint32_t kBaud = 115200;
constexpr std::uint32_t kTurnaroundMs = 1;
constexpr std::uint32_t kPayload = 16 * 1024;

sim::PrinterConfig PacedBlankMonitor() {
    sim::PrinterConfig config;
    config.startInMonitor = true;
    config.image = sim::ImageKind::kBlank;
    config.maxPacket = 200;
    config.pacing = {.enabled = true, .baud = kBaud, .turnaroundMs = kTurnaroundMs};
    return config;
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// One timed WriteFlash of the payload through a connected session; the CPU
// clock decides whose time is counted and the counter's name says which.
void MeasureWrite(benchmark::State& state, sim::VirtualPrinter& printer, CMonitorSession& session,
                  double (*cpuSeconds)(), const char* cpuCounter) {
    ByteArray data(kPayload);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    printer.ClearLogs();
    const auto answersBefore = printer.GetCounters().answers;
    const std::uint8_t firstAnswer = printer.AnswerSequence();

    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const ErrorCode r = session.WriteFlash(kMcuFlash, kNotCrypted, 0x2000, kPayload, data.data(), nullptr, 0, 10);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpuSeconds() - cpu0;
    if (r != kOk) {
        state.SkipWithError("write failed");
        return;
    }
    state.SetIterationTime(wall);
    const auto answers = printer.GetCounters().answers - answersBefore;
    const auto bound = bench::ProtocolBound(printer, firstAnswer, answers, kBaud, kTurnaroundMs);
    state.counters["payload_Bps"] = kPayload / wall;
    state.counters["ratio_to_bound"] = bound.seconds / wall;
    state.counters["ratio_to_line"] = (kPayload / wall) / (kBaud / 10.0);
    state.counters[cpuCounter] = cpu / wall;
    state.counters["frames_bytes"] = static_cast<double>(bound.wireBytes);
    state.counters["answers"] = static_cast<double>(answers);
}

void WriteFlashPaced(benchmark::State& state, bool usb) {
    for (auto _ : state) {
        sim::VirtualPrinter printer(PacedBlankMonitor());
        sim::SimPort port(printer);
        if (usb) {
            UsbPortSettings s(1, "");
            port.SetSettings(&s);
        } else {
            SerialPortSettings s(1, kBaud, kHandshakeNone);
            port.SetSettings(&s);
        }
        CMonitorSession session;
        if (session.Connect(&port, false, 0) != kOk) {
            state.SkipWithError("no monitor");
            return;
        }
        // The in-process printer's pacing runs on this process's CPU too.
        MeasureWrite(state, printer, session, bench::ProcessCpuSeconds, "process_cpu_share");
    }
}

// The real serial port against the printer on a pty, served by its own
// thread: the CPU measured is the host's alone (the calling thread).
void BM_WriteFlashSerialPortOverPty(benchmark::State& state) {
    for (auto _ : state) {
        sim::VirtualPrinter printer(PacedBlankMonitor());
        sim::PtyPrinter pty(printer, sim::PtyPrinter::Mode::kSerial);
        if (!pty.Start()) {
            state.SkipWithError("no pty");
            return;
        }
        ScopedSerialPortMap map({{1, pty.DevicePath()}});
        CSerialPort port;
        SerialPortSettings s(1, kBaud, kHandshakeNone);
        port.SetSettings(&s);
        CMonitorSession session;
        if (session.Connect(&port, false, 0) != kOk) {
            state.SkipWithError("no monitor");
            return;
        }
        MeasureWrite(state, printer, session, ThreadCpuSeconds, "host_cpu_share");
    }
}

void BM_WriteFlashSerialChunks(benchmark::State& state) { WriteFlashPaced(state, false); }
void BM_WriteFlashUsbChunks(benchmark::State& state) { WriteFlashPaced(state, true); }

BENCHMARK(BM_WriteFlashSerialChunks)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFlashUsbChunks)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFlashSerialPortOverPty)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace carillon

BENCHMARK_MAIN();
