#include "sim/Faults.h"

namespace carillon::sim {

bool FaultRule::Covers(std::uint8_t code) const {
    return commands.empty() || commands.find(static_cast<char>(code)) != std::string::npos;
}

void FaultInjector::Reset(const Faults& faults) {
    m_faults = faults;
    m_random.seed(faults.seed);
    m_dropCount = m_corruptCount = m_sequenceCount = m_refuseCount = m_brownOutCount = 0;
    m_lossCount = m_damageCount = m_duplicateCount = 0;
}

double FaultInjector::Uniform() {
    // From the raw 64-bit output, which the standard fixes, rather than a
    // distribution whose algorithm differs between libraries.
    return static_cast<double>(m_random() >> 11) * (1.0 / 9007199254740992.0);
}

bool FaultInjector::Hit(const FaultRule& rule, std::uint32_t& counter, std::uint8_t code) {
    if (!rule.Active() || !rule.Covers(code)) return false;
    ++counter;
    bool hit = (rule.everyNth != 0 && counter % rule.everyNth == 0) || counter == rule.onlyNth;
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

RequestFault FaultInjector::DecideRequest(std::uint8_t code) {
    RequestFault d;
    d.lose = Hit(m_faults.requestLoss, m_lossCount, code);
    d.damage = Hit(m_faults.requestDamage, m_damageCount, code);
    if (d.damage) d.damagePick = static_cast<std::uint32_t>(m_random());
    d.duplicate = Hit(m_faults.requestDuplicate, m_duplicateCount, code);
    return d;
}

std::uint32_t FaultInjector::DamageLine(ByteArray& bytes, bool toPrinter) {
    const LineFaults& line = m_faults.line;
    if (!line.Active() || bytes.empty() || (toPrinter ? !line.toPrinter : !line.toPc)) return 0;
    std::uint32_t faults = 0;
    ByteArray out;
    out.reserve(bytes.size() + 16);
    if (line.burstRate > 0.0 && Uniform() < line.burstRate) {
        const std::size_t n = 8 + m_random() % 57;
        for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(m_random()));
        ++faults;
    }
    for (std::uint8_t b : bytes) {
        if (line.dropRate > 0.0 && Uniform() < line.dropRate) {
            ++faults;
            continue;
        }
        if (line.flipRate > 0.0 && Uniform() < line.flipRate) {
            b ^= static_cast<std::uint8_t>(1u << (m_random() % 8));
            ++faults;
        }
        out.push_back(b);
        if (line.noiseRate > 0.0 && Uniform() < line.noiseRate) {
            out.push_back(static_cast<std::uint8_t>(m_random()));
            ++faults;
        }
    }
    bytes.swap(out);
    return faults;
}

}  // namespace carillon::sim
