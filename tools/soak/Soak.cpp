#include "soak/Soak.h"

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

#include "app/Thread.h"
#include "monitor/MonitorSession.h"
#include "monitor/PacketRecord.h"
#include "monitor/PacketReplay.h"
#include "package/Element.h"
#include "platform/MessageBox.h"
#include "platform/MessageQueue.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "ports/UsbDeviceSource.h"
#include "ports/UsbPort.h"
#include "sim/PtyPrinter.h"
#include "sim/SimPort.h"
#include "sim/VerifyPackage.h"

namespace carillon::soak {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Answers every box at once (No to questions) and counts them.
class CountingBoxes : public platform::MessageBoxProvider {
public:
    int Show(const platform::MessageBoxRequest& request) override {
        ++count;
        return (request.flags & platform::MB_BUTTON_MASK) == platform::MB_YESNO ? platform::IDNO : platform::IDOK;
    }
    std::atomic<std::uint32_t> count{0};
};

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "carillon-soak-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

constexpr std::uint8_t kRefuseFlags = 0x80;

struct TableCommands {
    std::uint8_t erase, write;
    bool wide;  // 32-bit addresses
};

bool CommandsOf(int location, TableCommands* c) {
    switch (location) {
        case kMcuFlash: *c = {kCmdEraseMcu, kCmdWriteMcu, false}; return true;
        case kDspFlash: *c = {kCmdEraseDsp, kCmdWriteDsp, true}; return true;
        case kKioskFlash: *c = {kCmdEraseKiosk, kCmdWriteKiosk, false}; return true;
        default: return false;
    }
}

std::uint32_t TableUnits(int location) { return location == kDspFlash ? 0x800 : 0x380; }

// Waits for the end of the job; false when none came within the limit.
bool WaitForEnd(platform::MessageQueue& messages, Clock::time_point deadline, bool* done) {
    while (Clock::now() < deadline) {
        auto m = messages.Take(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()) + 1ms);
        if (!m) continue;
        if (m->id == platform::WM_UPDATE_DONE || m->id == platform::WM_UPDATE_FAILED) {
            *done = m->id == platform::WM_UPDATE_DONE;
            return true;
        }
    }
    return false;
}

}  // namespace

const char* FamilyPackage(sim::Family f) {
    switch (f) {
        case sim::Family::kNdx: return "NDX.VRK_Package";
        case sim::Family::kPlv: return "PLV.VRK_Package";
        case sim::Family::kKiosk: return "KIOSK.VRK_Package";
    }
    return "";
}

bool IsLineCode(const std::string& code) {
    // Lost or damaged answers that outlast every retry: the read time-out,
    // the packet checks, and a write that keeps stopping short.
    return code == "00010010" || code == "00020004" || code == "00020005" || code == "00020006" ||
           code == "00020007" || code == "0002000A" || code == "0002000C" || code == "00030014" ||
           code == "00020001";  // a short chunk's units did not read back as sent, every attempt
}

std::string CheckFlash(const sim::VirtualPrinter& printer, const std::string& package) {
    std::vector<sim::ElementCheck> checks;
    const ErrorCode e = sim::VerifyPackageFile(printer, package, &checks);
    if (e != kOk) return "the package does not load";
    for (const auto& c : checks)
        if (c.status != sim::VerifyStatus::kOk && c.status != sim::VerifyStatus::kNotForPrinter)
            return "flash differs: " + sim::FormatCheck(c);
    return {};
}

const char* TransportName(Transport t) {
    switch (t) {
        case Transport::kInProcess: return "in-process";
        case Transport::kSerialPty: return "serial-pty";
        case Transport::kUsbPty: return "usb-pty";
    }
    return "?";
}

const char* FaultName(Fault f) {
    switch (f) {
        case Fault::kNone: return "none";
        case Fault::kDrop1: return "drop 1%";
        case Fault::kDrop5: return "drop 5%";
        case Fault::kCorrupt1: return "corrupt 1%";
        case Fault::kWrongSequence: return "wrong sequence";
        case Fault::kShortWrite: return "short writes";
        case Fault::kRefuse: return "ANS_FAILURE";
        case Fault::kSilent: return "silent mid-save";
        case Fault::kUsbLate: return "USB back too late";
        case Fault::kUsbSlow: return "USB back slowly";
        case Fault::kUsbOtherEntry: return "USB other entry";
        case Fault::kRequestLoss: return "lost requests";
        case Fault::kRequestDamage: return "damaged requests";
        case Fault::kRequestRepeat: return "repeated requests";
        case Fault::kLineNoise: return "line noise";
        case Fault::kPowerCutAt: return "power cut at";
        case Fault::kDamageRequestAt: return "damage request at";
        case Fault::kDropAnswerAt: return "lose answer at";
    }
    return "?";
}

bool IsUsbOnly(Fault f) { return f == Fault::kUsbLate || f == Fault::kUsbSlow || f == Fault::kUsbOtherEntry; }

std::string ScenarioName(const Scenario& s) {
    std::string name = std::string(sim::FamilyName(s.family)) + " / " + FaultName(s.fault);
    if (s.at != 0) name.append(" ").append(std::to_string(s.at));
    return name.append(" / ").append(TransportName(s.transport)).append(" / seed ").append(std::to_string(s.seed));
}

sim::Faults FaultsFor(Fault fault, std::uint64_t seed, std::uint32_t at) {
    sim::Faults f;
    f.seed = seed;
    switch (fault) {
        case Fault::kRequestLoss: f.requestLoss.fraction = 0.01; break;
        case Fault::kRequestDamage: f.requestDamage.fraction = 0.01; break;
        case Fault::kRequestRepeat: f.requestDuplicate.fraction = 0.02; break;
        case Fault::kLineNoise:
            f.line.flipRate = f.line.dropRate = f.line.noiseRate = 0.00002;
            f.line.burstRate = 0.002;
            break;
        case Fault::kPowerCutAt: f.powerCutAtRequest = at; break;
        case Fault::kDamageRequestAt: f.requestDamage.onlyNth = at; break;
        case Fault::kDropAnswerAt: f.drop.onlyNth = at; break;
        case Fault::kDrop1: f.drop.fraction = 0.01; break;
        case Fault::kDrop5: f.drop.fraction = 0.05; break;
        case Fault::kCorrupt1: f.corrupt.fraction = 0.01; break;
        case Fault::kWrongSequence: f.wrongSequence.fraction = 0.02; break;
        case Fault::kShortWrite:
            f.brownOut.fraction = 0.05;
            f.brownOut.commands = "DFKMPR";
            f.brownOutUnits = 1 + static_cast<std::uint32_t>(seed % 97);
            break;
        case Fault::kRefuse:
            f.refuse.fraction = 0.03;
            f.refuseFlags = kRefuseFlags;
            break;
        default: break;
    }
    return f;
}

bool IsExpectedCode(Fault fault, const std::string& code) {
    switch (fault) {
        case Fault::kNone:
        case Fault::kUsbSlow:
        case Fault::kUsbOtherEntry: return false;
        case Fault::kDrop1:
        case Fault::kDrop5:
        case Fault::kCorrupt1:
        case Fault::kWrongSequence:
        case Fault::kShortWrite:
        case Fault::kRequestLoss:
        case Fault::kRequestDamage:
        case Fault::kRequestRepeat:
        case Fault::kDamageRequestAt:
        case Fault::kDropAnswerAt: return IsLineCode(code);
        // Noise may also keep the search or the connection from finding the printer.
        case Fault::kLineNoise: return IsLineCode(code) || code == "connect";
        // What the PC sees of a power cut depends on where it falls; the
        // repeat on a good line must verify all the same.
        case Fault::kPowerCutAt: return !code.empty();
        case Fault::kRefuse: return code == "00020180";
        // A silent printer: reads time out, and a line whose peer takes
        // nothing in may also stop writes. A write the printer stops
        // answering counts as chunks of nothing written until there are too
        // many (a table rewrite has no further attempt to end otherwise).
        case Fault::kSilent:
            return code == "00010010" || code == "0001000E" || code == "0001000F" || code == "00030014";
        case Fault::kUsbLate: return code == "connect";
    }
    return false;
}

std::string CodeFromResult(const std::string& title, const std::string& text) {
    if (title == "Fail to connect...") return "connect";
    const std::string marker = "(Error Code=";
    const std::size_t at = text.find(marker);
    if (at == std::string::npos || text.size() < at + marker.size() + 9) return {};
    const std::string code = text.substr(at + marker.size(), 8);
    if (text[at + marker.size() + 8] != 'h') return {};
    return code;
}

bool LastWriteHitTable(const std::vector<sim::MonitorRequest>& requests, int location, std::uint32_t tableStart,
                       std::uint32_t tableUnits) {
    TableCommands c{};
    if (!CommandsOf(location, &c)) return false;
    for (auto r = requests.rbegin(); r != requests.rend(); ++r) {
        const sim::Packet& p = r->packet;
        if (!p.crcOk || (p.code != c.erase && p.code != c.write)) continue;
        const std::size_t width = c.wide ? 4 : 2;
        if (p.data.size() < width) return false;
        std::uint32_t address = 0;
        for (std::size_t i = width; i-- > 0;) address = (address << 8) | p.data[i];
        return address >= tableStart && address - tableStart < tableUnits;
    }
    return false;
}

RunResult RunScenario(const Scenario& s, const Options& o) {
    RunResult result;
    const auto started = Clock::now();
    CountingBoxes boxes;
    platform::ScopedMessageBoxProvider boxScope(&boxes);
    ScratchDir dir;
    const std::string package = (fs::path(o.samplesDir) / FamilyPackage(s.family)).string();
    const std::string output = (dir.Path() / "out.VRK_Package.bin").string();

    // Shortened waits keep the matrix quick. The settle times around the
    // wake-up keep their full length: the printer must see the monitor-mode
    // command at its own rate before the line moves to 115200.
    // A printer that stops answering spends every retry: those runs get shorter waits.
    const bool falls = s.fault == Fault::kSilent || s.fault == Fault::kPowerCutAt;
    MonitorTiming timing = MonitorTiming{}.Scaled(falls ? o.silentTiming : o.timing);
    timing.commandSettleMs = MonitorTiming{}.commandSettleMs;
    timing.usbSettleMs = MonitorTiming{}.usbSettleMs;
    timing.usbReconnectMs = MonitorTiming{}.Scaled(o.timing).usbReconnectMs;
    sim::PrinterConfig config;
    config.family = s.family;
    config.faults = FaultsFor(s.fault, s.seed, s.at);
    if (s.fault == Fault::kSilent) {
        // Where the silence falls, by seed, in a fault-free update's requests:
        // a third of the way, two thirds, or five requests before the end,
        // while the last file table is being rewritten.
        const std::uint32_t baseline = o.baselineRequests != 0 ? o.baselineRequests : 400;
        switch ((s.seed - 1) % 3) {
            case 0: config.faults.silentAfterRequests = baseline / 3; break;
            case 1: config.faults.silentAfterRequests = baseline * 2 / 3; break;
            default: config.faults.silentAfterRequests = baseline > 10 ? baseline - 5 : 1; break;
        }
    }
    config.usbInstanceId = "USB\\Vid_1a2b&Pid_0003\\SOAK1";
    config.usbReenumerateMs = 50;
    // Too late: still away when the session, after its reconnect wait and
    // its settle pause, opens the port again. Slowly: back well within the wait.
    if (s.fault == Fault::kUsbLate) config.usbReenumerateMs = 2 * timing.usbReconnectMs + timing.usbSettleMs;
    if (s.fault == Fault::kUsbSlow) config.usbReenumerateMs = timing.usbReconnectMs * 3 / 5;
    sim::VirtualPrinter printer(config);
    std::unique_ptr<sim::VirtualPrinter> other;
    std::unique_ptr<sim::PtyPrinter> pty, otherPty;
    std::unique_ptr<CPort> port;
    std::string error;

    switch (s.transport) {
        case Transport::kInProcess: {
            auto p = std::make_unique<sim::SimPort>(printer);
            SerialPortSettings settings(1, config.baudRate, config.handshake);
            p->SetSettings(&settings);
            port = std::move(p);
            break;
        }
        case Transport::kSerialPty: {
            pty = std::make_unique<sim::PtyPrinter>(printer, sim::PtyPrinter::Mode::kSerial);
            if (!pty->Start(&error)) break;
            SetSerialPortMap({{1, pty->DevicePath()}});
            auto p = std::make_unique<CSerialPort>();
            SerialPortSettings settings(1, config.baudRate, config.handshake);
            p->SetSettings(&settings);
            port = std::move(p);
            break;
        }
        case Transport::kUsbPty: {
            const std::string list = (dir.Path() / "usb-devices").string();
            std::ofstream{list};
            ::setenv(kUsbDevicesVariable, list.c_str(), 1);
            pty = std::make_unique<sim::PtyPrinter>(printer, sim::PtyPrinter::Mode::kUsb, list);
            if (!pty->Start(&error)) break;
            if (s.fault == Fault::kUsbOtherEntry) {
                sim::PrinterConfig second = config;
                second.faults = {};
                second.usbInstanceId = "USB\\Vid_1a2b&Pid_0003\\SOAK2";
                other = std::make_unique<sim::VirtualPrinter>(second);
                otherPty = std::make_unique<sim::PtyPrinter>(*other, sim::PtyPrinter::Mode::kUsb, list);
                if (!otherPty->Start(&error)) break;
            }
            auto p = std::make_unique<CUsbPort>();
            UsbPortSettings settings(1, "");
            p->SetSettings(&settings);
            port = std::move(p);
            break;
        }
    }
    if (!port || !error.empty()) {
        result.detail = "cannot set up the printer: " + error;
        return result;
    }

    platform::MessageQueue messages;
    auto worker = std::make_unique<CThread>(&messages);
    worker->m_printers.engine.m_session.m_timing = timing;

    const auto limit = Clock::now() + std::chrono::seconds(o.runLimitSeconds);
    bool done = false;
    worker->RequestUpdate(port.get(), package, output);
    const bool ended = WaitForEnd(messages, limit, &done);
    result.requests = printer.GetCounters().requests;

    if (!ended) {
        result.detail = "hang: the update did not end within " + std::to_string(o.runLimitSeconds) + " s";
        // Let the job unwind so that the process can end.
        printer.SetSilent(true);
        port->Abort();
    } else if (done && s.fault == Fault::kUsbLate) {
        result.detail = "connected although the printer came back after the reconnect wait";
    } else if (done) {
        result.detail = CheckFlash(printer, package);
        std::ifstream file(output, std::ios::binary | std::ios::ate);
        if (result.detail.empty() && (!file || file.tellg() < 1)) result.detail = "no output binary written";
        if (result.detail.empty() && o.replay) result.detail = ReplayOntoFreshPrinter(s.family, output, package);
        if (result.detail.empty()) result.outcome = Outcome::kVerified;
    } else {
        const auto view = worker->Snapshot();
        result.code = CodeFromResult(view.m_strResultTitle, view.m_strResultText);
        if (IsExpectedCode(s.fault, result.code)) result.outcome = Outcome::kExpectedError;
        else result.detail = "unexpected result: " + view.m_strResultTitle + " " + view.m_strResultText;
    }

    // Every table must read back, unless the failure struck while it was rewritten.
    if (ended) {
        const auto requests = printer.Requests();
        for (int location : {kMcuFlash, kDspFlash, kKioskFlash}) {
            if (!config.HasLocation(location)) continue;
            const sim::TableContents table = printer.FileTable(location);
            if (table.status == sim::TableStatus::kOk) continue;
            if (!done && LastWriteHitTable(requests, location, printer.TableStart(location), TableUnits(location))) {
                result.tableTorn = true;
                continue;
            }
            result.outcome = Outcome::kFail;
            result.detail = std::string(LocationName(location)) + " table left damaged (" +
                            sim::TableStatusText(table.status) + ")";
        }
    }

    // A failed update, repeated on a good line, must bring the printer up to date.
    if (ended && !done && o.recover) {
        printer.SetFaults({});
        printer.SetSilent(false);
        if (s.fault == Fault::kUsbLate) std::this_thread::sleep_for(std::chrono::milliseconds(config.usbReenumerateMs));
        MonitorTiming normal = MonitorTiming{}.Scaled(o.timing);
        normal.commandSettleMs = timing.commandSettleMs;
        normal.usbSettleMs = timing.usbSettleMs;
        worker->m_printers.engine.m_session.m_timing = normal;
        // The job clears its request flag only after posting its end; a
        // request raised before that would be absorbed by the ending job.
        for (auto until = Clock::now() + 10s; worker->m_bUpdateRequested != 0 && Clock::now() < until;)
            std::this_thread::sleep_for(10ms);
        bool again = false;
        worker->RequestUpdate(port.get(), package, output);
        std::string why = "it did not end";
        if (WaitForEnd(messages, Clock::now() + std::chrono::seconds(o.runLimitSeconds), &again)) {
            const auto view = worker->Snapshot();
            why = again ? CheckFlash(printer, package) : view.m_strResultTitle + " " + view.m_strResultText;
            result.recovered = again && why.empty();
        }
        if (!result.recovered && result.outcome != Outcome::kFail) {
            result.outcome = Outcome::kFail;
            result.detail = "the repeated update without faults did not verify: " + why;
        }
    }

    worker.reset();
    ResetSerialPortMap();
    result.boxes = boxes.count;
    result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return result;
}

std::string ReplayOntoFreshPrinter(sim::Family family, const std::string& binary, const std::string& package) {
    std::ifstream in(binary, std::ios::binary);
    const ByteArray bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const RecordParse parse = ParsePacketRecord(bytes.data(), bytes.size());
    if (!parse.ok()) return "the output binary is not sound: " + parse.error;
    sim::PrinterConfig config;
    config.family = family;
    sim::VirtualPrinter printer(config);
    sim::SimPort port(printer);
    SerialPortSettings settings(1, config.baudRate, config.handshake);
    port.SetSettings(&settings);
    CMonitorSession session;  // with the printers' own time-outs: a loaded machine must not fail a sound replay
    if (session.Connect(&port, true, 0) != kOk && !session.m_connected) return "replay: cannot connect";
    const ReplayResult replayed = ReplayPackets(session, parse.packets, nullptr);
    session.Disconnect();
    if (replayed.code != kOk)
        return "replay stopped at record " + std::to_string(replayed.record) + " with " + std::to_string(replayed.code);
    const std::string differs = CheckFlash(printer, package);
    return differs.empty() ? std::string() : "after replay: " + differs;
}

std::string Serialize(const RunResult& r) {
    std::string detail = r.detail;
    for (char& c : detail)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    std::ostringstream out;
    out << static_cast<int>(r.outcome) << '\t' << (r.code.empty() ? "-" : r.code) << '\t' << r.tableTorn << '\t'
        << r.recovered << '\t' << r.requests << '\t' << r.boxes << '\t' << r.seconds << '\t' << detail;
    return out.str();
}

bool Deserialize(const std::string& line, RunResult* r) {
    std::istringstream in(line);
    int outcome = -1;
    if (!(in >> outcome >> r->code >> r->tableTorn >> r->recovered >> r->requests >> r->boxes >> r->seconds))
        return false;
    if (outcome < 0 || outcome > 2) return false;
    r->outcome = static_cast<Outcome>(outcome);
    if (r->code == "-") r->code.clear();
    std::getline(in, r->detail);
    if (!r->detail.empty() && r->detail.front() == '\t') r->detail.erase(0, 1);
    return true;
}

}  // namespace carillon::soak
