#pragma once
// The fault soak: whole updates of the sample packages against virtual
// printers that lose, damage, renumber and refuse answers, go silent, or come
// back late from a USB re-enumeration. Each run must end with the package
// verified in the printer's flash or with an error code that the fault can
// cause, within a bounded time, with every file table readable unless the
// failure struck while that table was being rewritten. A failed run is then
// repeated without faults and must verify: nothing is lost for good.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/Config.h"
#include "sim/VirtualPrinter.h"

namespace carillon::soak {

enum class Transport { kInProcess, kSerialPty, kUsbPty };

enum class Fault {
    kNone,
    kDrop1,          // 1% of the answers lost
    kDrop5,          // 5% lost
    kCorrupt1,       // 1% with a damaged byte
    kWrongSequence,  // 2% with a skipped sequence number
    kShortWrite,     // 5% of the write chunks stop early, unanswered
    kRefuse,         // 3% of the requests refused with ANS_FAILURE
    kSilent,         // the printer goes silent part-way through the update
    kUsbLate,        // the USB printer re-enumerates after the reconnect wait is over
    kUsbSlow,        // ... slowly, but within the wait
    kUsbOtherEntry,  // ... behind another USB printer, so at another entry
    kRequestLoss,    // 1% of the requests never reach the monitor
    kRequestDamage,  // 1% arrive with a damaged byte
    kRequestRepeat,  // 2% arrive twice
    kLineNoise,      // bits flipped, bytes lost and noise inserted both ways, bursts of garbage
    // Sweeps: one fault at request (or answer) number Scenario::at.
    kPowerCutAt,       // power fails while the request is handled
    kDamageRequestAt,  // the request arrives damaged
    kDropAnswerAt,     // the answer to the request is lost
};

const char* TransportName(Transport t);
const char* FaultName(Fault f);
bool IsUsbOnly(Fault f);

struct Scenario {
    sim::Family family = sim::Family::kNdx;
    Fault fault = Fault::kNone;
    Transport transport = Transport::kInProcess;
    std::uint64_t seed = 1;
    std::uint32_t at = 0;  // the request a sweep's fault strikes
};

std::string ScenarioName(const Scenario& s);

struct Options {
    std::string samplesDir;
    double timing = 0.1;            // scale of the session's time-outs and pauses
    double silentTiming = 0.02;     // the same for runs whose printer goes silent
    std::uint32_t baselineRequests = 0;  // requests of a fault-free update, to place the silence
    bool recover = true;            // after a failure, update again without faults
    int runLimitSeconds = 150;      // an update still running then counts as a hang
    bool replay = false;            // a successful run's output binary must reflash a fresh printer
};

enum class Outcome { kVerified, kExpectedError, kFail };

struct RunResult {
    Outcome outcome = Outcome::kFail;
    std::string code;    // "connect" or eight hex digits when the job failed
    std::string detail;  // what went wrong, for kFail
    bool tableTorn = false;   // a table was left damaged by a failure while it was rewritten
    bool recovered = false;   // the repeat without faults verified
    std::uint32_t requests = 0;  // monitor requests the printer received during the update
    std::uint32_t boxes = 0;     // message boxes shown
    double seconds = 0;
};

// The faults the printer injects for a scenario.
sim::Faults FaultsFor(Fault fault, std::uint64_t seed, std::uint32_t at = 0);

// Codes ("connect" for a failed connection, else eight hex digits) a run
// with this fault may end with besides a verified flash.
bool IsExpectedCode(Fault fault, const std::string& code);

// The error code in the job's failure text "(Error Code=XXXXXXXXh)", or
// "connect" for "Fail to connect...", or empty when neither is there.
std::string CodeFromResult(const std::string& title, const std::string& text);

// True when the last erase or first write chunk the printer received fell
// inside the location's table area: a failure then may leave the table torn.
bool LastWriteHitTable(const std::vector<sim::MonitorRequest>& requests, int location, std::uint32_t tableStart,
                       std::uint32_t tableUnits);

// The sample package of a family, as named in the samples directory.
const char* FamilyPackage(sim::Family f);
// Codes of lost or damaged answers that outlast every retry.
bool IsLineCode(const std::string& code);
// Empty when the printer's flash holds the package, else what differs.
std::string CheckFlash(const sim::VirtualPrinter& printer, const std::string& package);

// Runs one scenario in this process (threads and all).
RunResult RunScenario(const Scenario& s, const Options& options);

// Replays an output binary onto a fresh printer of the family holding the
// older set; empty when that printer then holds the package, else what failed.
std::string ReplayOntoFreshPrinter(sim::Family family, const std::string& binary, const std::string& package);

std::string Serialize(const RunResult& r);
bool Deserialize(const std::string& line, RunResult* r);

}  // namespace carillon::soak
