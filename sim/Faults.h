#pragma once
// Faults a virtual printer injects into its monitor answers, seeded and
// reproducible. Each rule picks requests by count (every Nth), by chance
// (a fraction), or both, among the requests whose command it names (all
// answered requests when it names none). Data packets never count.

#include <cstdint>
#include <random>
#include <string>

namespace carillon::sim {

struct FaultRule {
    std::uint32_t everyNth = 0;  // 0: off
    double fraction = 0.0;       // 0: off
    std::string commands;        // command codes the rule looks at; empty: every command

    bool Active() const { return everyNth != 0 || fraction > 0.0; }
    bool Covers(std::uint8_t code) const;
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

class FaultInjector {
public:
    explicit FaultInjector(const Faults& faults = {}) { Reset(faults); }

    // New rules; counters restart and the generator is seeded again.
    void Reset(const Faults& faults);
    const Faults& Settings() const { return m_faults; }

    // Called once per answered request, in arrival order.
    FaultDecision Decide(std::uint8_t code, bool isWrite);

private:
    bool Hit(const FaultRule& rule, std::uint32_t& counter, std::uint8_t code);
    double Uniform();

    Faults m_faults;
    std::mt19937_64 m_random;
    std::uint32_t m_dropCount = 0, m_corruptCount = 0, m_sequenceCount = 0, m_refuseCount = 0, m_brownOutCount = 0;
};

}  // namespace carillon::sim
