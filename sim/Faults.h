#pragma once
// Faults a virtual printer injects, seeded and reproducible: into its monitor
// answers, into the requests it receives, on the line in either direction,
// and a power cut. Each rule picks requests by count (every Nth, or only the
// Nth), by chance (a fraction), or both, among the requests whose command it
// names (all when it names none). Answer rules count answered requests only;
// request rules count data packets too.

#include <cstdint>
#include <random>
#include <string>

#include "platform/ByteArray.h"

namespace carillon::sim {

struct FaultRule {
    std::uint32_t everyNth = 0;  // 0: off
    std::uint32_t onlyNth = 0;   // 0: off; else this one request alone
    double fraction = 0.0;       // 0: off
    std::string commands;        // command codes the rule looks at; empty: every command

    bool Active() const { return everyNth != 0 || onlyNth != 0 || fraction > 0.0; }
    bool Covers(std::uint8_t code) const;
};

// Damage on the line, per byte (a bit flipped, the byte lost, a noise byte
// inserted after it) and per burst of bytes (garbage before them).
struct LineFaults {
    double flipRate = 0.0, dropRate = 0.0, noiseRate = 0.0, burstRate = 0.0;
    bool toPrinter = true, toPc = true;

    bool Active() const { return flipRate > 0.0 || dropRate > 0.0 || noiseRate > 0.0 || burstRate > 0.0; }
};

struct Faults {
    FaultRule drop;           // the answer is lost on the line
    FaultRule corrupt;        // one byte of the answer body is changed
    FaultRule wrongSequence;  // the answer counter skips a number
    FaultRule refuse;         // ANS_FAILURE with refuseFlags instead of doing the work
    std::uint8_t refuseFlags = 0x80;
    FaultRule brownOut;          // a write chunk stops after brownOutUnits units, unanswered
    std::uint32_t brownOutUnits = 0;
    bool silent = false;  // the printer is off: it takes nothing in and says nothing
    // The printer falls silent (as above) once it has received this many
    // monitor requests in all, data packets included; 0: never.
    std::uint32_t silentAfterRequests = 0;

    FaultRule requestLoss;       // the monitor never sees the request
    FaultRule requestDamage;     // a byte of the request changes on the way, so its CRC fails
    FaultRule requestDuplicate;  // the request arrives twice

    LineFaults line;
    // Power fails while the printer handles this request (counted as for
    // silentAfterRequests): what it was doing is left half done, the
    // monitor's state is lost, and it is back in normal mode when the line
    // is next used (a USB printer re-enumerates). 0: never.
    std::uint32_t powerCutAtRequest = 0;
    // A worn flash cell: these bits of one unit stay 1 when programmed, and
    // the monitor answers as if they had taken.
    struct WornCell {
        int location = -1;  // none
        std::uint32_t unit = 0;
        std::uint8_t stuckBits = 0;
    } worn;
    std::uint64_t seed = 1;
};

// What the faults decided for one request.
struct FaultDecision {
    bool drop = false;
    bool corrupt = false;
    bool wrongSequence = false;
    bool refuse = false;
    bool brownOut = false;
    std::uint32_t corruptPick = 0;  // chooses the byte and the change when corrupting
};

// What the faults decided for one request on its way in.
struct RequestFault {
    bool lose = false;
    bool damage = false;
    bool duplicate = false;
    std::uint32_t damagePick = 0;  // chooses the byte and the change
};

class FaultInjector {
public:
    explicit FaultInjector(const Faults& faults = {}) { Reset(faults); }

    // New rules; counters restart and the generator is seeded again.
    void Reset(const Faults& faults);
    const Faults& Settings() const { return m_faults; }

    // Called once per answered request, in arrival order.
    FaultDecision Decide(std::uint8_t code, bool isWrite);
    // Called once per request received, data packets included.
    RequestFault DecideRequest(std::uint8_t code);
    // Damages bytes on their way; returns how many faults it made.
    std::uint32_t DamageLine(ByteArray& bytes, bool toPrinter);

private:
    bool Hit(const FaultRule& rule, std::uint32_t& counter, std::uint8_t code);
    double Uniform();

    Faults m_faults;
    std::mt19937_64 m_random;
    std::uint32_t m_dropCount = 0, m_corruptCount = 0, m_sequenceCount = 0, m_refuseCount = 0, m_brownOutCount = 0;
    std::uint32_t m_lossCount = 0, m_damageCount = 0, m_duplicateCount = 0;
};

}  // namespace carillon::sim
