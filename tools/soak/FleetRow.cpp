#include "soak/FleetRow.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/FleetUpdate.h"
#include "platform/Format.h"
#include "platform/MessageBox.h"
#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "sim/PtyPrinter.h"

namespace carillon::soak {
namespace {

using Clock = std::chrono::steady_clock;

constexpr sim::Family kFleet[] = {sim::Family::kNdx, sim::Family::kPlv, sim::Family::kKiosk, sim::Family::kNdx};
constexpr std::size_t kPrinters = std::size(kFleet);
// Requests into the update where the line fails: past the connect and the
// table reads, inside the programming of every family's package.
constexpr std::uint32_t kStrikeBase = 60;

// Questions get No, as nobody is there to answer them.
class NoBoxes : public platform::MessageBoxProvider {
public:
    int Show(const platform::MessageBoxRequest& r) override {
        return (r.flags & platform::MB_BUTTON_MASK) == platform::MB_YESNO ? platform::IDNO : platform::IDOK;
    }
};

bool IsExpected(FleetFault fault, const std::string& code) {
    switch (fault) {
        case FleetFault::kSilentMidSave: return IsExpectedCode(Fault::kSilent, code);
        case FleetFault::kDroppedAnswers: return IsLineCode(code);
        // A vanished line fails reads, writes or the reopening, depending on where it struck.
        case FleetFault::kUnplugged: return !code.empty() && code != "00000000";
    }
    return false;
}

}  // namespace

const char* FleetFaultName(FleetFault fault) {
    switch (fault) {
        case FleetFault::kSilentMidSave: return "silent mid-save";
        case FleetFault::kUnplugged: return "unplugged";
        case FleetFault::kDroppedAnswers: return "dropped answers";
    }
    return "?";
}

RunResult RunFleetRow(FleetFault fault, std::uint64_t seed, const Options& o) {
    RunResult result;
    const auto started = Clock::now();
    NoBoxes boxes;
    platform::ScopedMessageBoxProvider boxScope(&boxes);
    const std::size_t faulted = static_cast<std::size_t>((seed - 1) % kPrinters);
    const std::uint32_t strikeAt = kStrikeBase + static_cast<std::uint32_t>(seed * 37 % 80);

    std::vector<std::unique_ptr<sim::VirtualPrinter>> printers;
    std::vector<std::unique_ptr<sim::PtyPrinter>> ptys;
    std::vector<std::unique_ptr<CSerialPort>> ports;
    std::vector<FleetMember> members;
    SerialPortMap map;
    for (std::size_t i = 0; i < kPrinters; ++i) {
        sim::PrinterConfig config;
        config.family = kFleet[i];
        if (i == faulted && fault == FleetFault::kSilentMidSave) config.faults.silentAfterRequests = strikeAt;
        if (i == faulted && fault == FleetFault::kDroppedAnswers) config.faults = FaultsFor(Fault::kDrop5, seed);
        printers.push_back(std::make_unique<sim::VirtualPrinter>(config));
        ptys.push_back(std::make_unique<sim::PtyPrinter>(*printers.back(), sim::PtyPrinter::Mode::kSerial));
        std::string error;
        if (!ptys.back()->Start(&error)) {
            result.detail = "cannot set up printer " + std::to_string(i + 1) + ": " + error;
            return result;
        }
        const int number = static_cast<int>(i) + 1;
        map[number] = ptys.back()->DevicePath();
        ports.push_back(std::make_unique<CSerialPort>());
        const std::string package = (std::filesystem::path(o.samplesDir) / FamilyPackage(kFleet[i])).string();
        members.push_back({"COM" + std::to_string(number), ports.back().get(), package, "", std::nullopt});
    }
    ScopedSerialPortMap scopedMap(map);
    for (std::size_t i = 0; i < kPrinters; ++i) {
        SerialPortSettings settings(static_cast<std::uint8_t>(i + 1), sim::PrinterConfig{}.baudRate,
                                    sim::PrinterConfig{}.handshake);
        ports[i]->SetSettings(&settings);
    }

    // A line that fails spends every retry: its printer gets the shorter
    // waits, too short for the others on a loaded machine.
    auto scaled = [](double factor) {
        MonitorTiming timing = MonitorTiming{}.Scaled(factor);
        timing.commandSettleMs = MonitorTiming{}.commandSettleMs;
        return timing;
    };
    if (fault != FleetFault::kDroppedAnswers) members[faulted].timing = scaled(o.silentTiming);
    FleetUpdate fleet(members);
    fleet.SetTiming(scaled(o.timing));
    const std::atomic<bool> stop{false};
    bool unplugged = false;
    const auto outcomes = fleet.Run(
        stop,
        [&](std::size_t, const CThread::View&) {
            if (fault != FleetFault::kUnplugged || unplugged) return;
            if (printers[faulted]->GetCounters().requests < strikeAt) return;
            ptys[faulted]->Stop();
            unplugged = true;
        },
        nullptr);
    result.requests = printers[faulted]->GetCounters().requests;

    result.outcome = Outcome::kVerified;
    for (std::size_t i = 0; i < kPrinters; ++i) {
        const std::string package = members[i].package;
        const std::string code = outcomes[i].done ? "" : platform::Format("%08X", outcomes[i].code);
        const std::string flash = outcomes[i].done ? CheckFlash(*printers[i], package) : "";
        const std::string who = members[i].name + " (" + sim::FamilyName(kFleet[i]) + ")";
        if (i != faulted) {
            if (!outcomes[i].done) result.detail = who + " failed although it was not faulted: " + code;
            else if (!flash.empty()) result.detail = who + ": " + flash;
        } else if (outcomes[i].done) {
            if (!flash.empty()) result.detail = who + " reported done: " + flash;
        } else {
            result.code = code;
            if (IsExpected(fault, code)) result.outcome = Outcome::kExpectedError;
            else result.detail = who + ": unexpected result " + code + " " + outcomes[i].title + outcomes[i].text;
        }
        if (!result.detail.empty()) {
            result.outcome = Outcome::kFail;
            break;
        }
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return result;
}

}  // namespace carillon::soak
