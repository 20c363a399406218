// End-to-end save of each sample package into a virtual printer paced at
// 115200 baud (1 ms turnaround), through the real serial port and the real
// USB port over pseudo-terminals: save time against the protocol's bound
// (the wire time of every frame plus one turnaround per answer) and the
// host's CPU time as a share of one core, and the share of the save spent
// reading the rewritten tables back. With an output image attached, as the
// update job does, every answer of a save is a plain positive one.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "engine/CommandGenerator.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbPort.h"
#include "sim/PtyPrinter.h"
#include "support/LinkMeasure.h"

namespace carillon {
namespace {

constexpr std::uint32_t kBaud = 115200;
constexpr std::uint32_t kTurnaroundMs = 1;

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

sim::Family FamilyOf(const std::string& name) {
    return name == "NDX" ? sim::Family::kNdx : name == "PLV" ? sim::Family::kPlv : sim::Family::kKiosk;
}

void SavePackage(benchmark::State& state, const std::string& family, bool usb) {
    const std::string package = std::string(CARILLON_SAMPLES_DIR) + "/" + family + ".VRK_Package";
    for (auto _ : state) {
        sim::PrinterConfig config;
        config.family = FamilyOf(family);
        config.startInMonitor = true;
        config.pacing = {.enabled = true, .baud = kBaud, .turnaroundMs = kTurnaroundMs};
        sim::VirtualPrinter printer(config);

        const auto devices = std::filesystem::temp_directory_path() / ("carillon-bench-usb-" + std::to_string(::getpid()));
        ::setenv("CARILLON_USB_DEVICES", devices.c_str(), 1);
        sim::PtyPrinter pty(printer, usb ? sim::PtyPrinter::Mode::kUsb : sim::PtyPrinter::Mode::kSerial, devices.string());
        if (!pty.Start()) {
            state.SkipWithError("no pty");
            return;
        }
        ScopedSerialPortMap map({{1, pty.DevicePath()}});
        std::unique_ptr<CPort> port;
        if (usb) {
            port = std::make_unique<CUsbPort>();
            UsbPortSettings s(1, "");
            port->SetSettings(&s);
        } else {
            port = std::make_unique<CSerialPort>();
            SerialPortSettings s(1, kBaud, kHandshakeNone);
            port->SetSettings(&s);
        }
        CCommandGenerator engine;
        ByteArray image;
        if (engine.DoConnect(port.get(), 1, 0) != kOk || engine.DoReadFileTables() != kOk ||
            (engine.m_elements.RemoveAll(), engine.m_elements.LoadPackage(package)) != kOk) {
            state.SkipWithError("no printer or no package");
            return;
        }
        engine.m_pOutputImage = &image;
        printer.ClearLogs();
        const auto answersBefore = printer.GetCounters().answers;
        const std::uint8_t firstAnswer = printer.AnswerSequence();

        const double cpu0 = ThreadCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        const ErrorCode r = engine.DoSave(0);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = ThreadCpuSeconds() - cpu0;
        if (r != kOk) {
            state.SkipWithError("save failed");
            return;
        }
        state.SetIterationTime(wall);
        // The save reads every table back once; reading them again costs the same.
        const auto r0 = std::chrono::steady_clock::now();
        if (engine.DoReadFileTables() != kOk) {
            state.SkipWithError("tables do not read back");
            return;
        }
        const double readBack = std::chrono::duration<double>(std::chrono::steady_clock::now() - r0).count();
        state.counters["table_readback_share"] = readBack / wall;
        const auto bound = bench::ProtocolBound(printer, firstAnswer, printer.GetCounters().answers - answersBefore,
                                                kBaud, kTurnaroundMs);
        std::size_t payload = 0;
        for (const auto& e : engine.m_elements.Elements()) payload += e->m_pData ? e->m_size : 0;
        state.counters["payload_bytes"] = static_cast<double>(payload);
        state.counters["bound_s"] = bound.seconds;
        state.counters["ratio_to_bound"] = bound.seconds / wall;
        state.counters["host_cpu_share"] = cpu / wall;
        std::filesystem::remove(devices);
    }
}

}  // namespace
}  // namespace carillon

int main(int argc, char** argv) {
    for (const char* family : {"PLV", "KIOSK", "NDX"}) {
        for (bool usb : {false, true}) {
            const std::string name = std::string("BM_Save/") + family + (usb ? "/usb_chunks" : "/serial_chunks");
            benchmark::RegisterBenchmark(name.c_str(), [family, usb](benchmark::State& s) {
                carillon::SavePackage(s, family, usb);
            })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
