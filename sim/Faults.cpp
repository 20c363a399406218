#include "sim/Faults.h"

namespace carillon::sim {

bool FaultRule::Covers(std::uint8_t code) const {
    return commands.empty() || commands.find(static_cast<char>(code)) != std::string::npos;
}

void FaultInjector::Reset(const Faults& faults) {
    m_faults = faults;
    m_random.seed(faults.seed);
    m_dropCount = m_corruptCount = m_sequenceCount = m_refuseCount = m_brownOutCount = 0;
}

double FaultInjector::Uniform() {
    // From the raw 64-bit output, which the standard fixes, rather than a
    // distribution whose algorithm differs between libraries.
    return static_cast<double>(m_random() >> 11) * (1.0 / 9007199254740992.0);
}

bool FaultInjector::Hit(const FaultRule& rule, std::uint32_t& counter, std::uint8_t code) {
    if (!rule.Active() || !rule.Covers(code)) return false;
    ++counter;
    bool hit = rule.everyNth != 0 && counter % rule.everyNth == 0;
    if (rule.fraction > 0.0 && Uniform() < rule.fraction) hit = true;
    return hit;
}

FaultDecision FaultInjector::Decide(std::uint8_t code, bool isWrite) {
    FaultDecision d;
    d.drop = Hit(m_faults.drop, m_dropCount, code);
    d.corrupt = Hit(m_faults.corrupt, m_corruptCount, code);
    if (d.corrupt) d.corruptPick = static_cast<std::uint32_t>(m_random());
    d.wrongSequence = Hit(m_faults.wrongSequence, m_sequenceCount, code);
    d.refuse = Hit(m_faults.refuse, m_refuseCount, code);
    d.brownOut = isWrite && Hit(m_faults.brownOut, m_brownOutCount, code);
    return d;
}

}  // namespace carillon::sim
