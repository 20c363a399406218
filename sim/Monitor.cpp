#include "sim/Monitor.h"

#include <algorithm>

#include "sim/FlashLayout.h"
#include "sim/Trace.h"

namespace carillon::sim {
namespace {

std::uint32_t Le(const ByteArray& d, std::size_t at, std::size_t bytes) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(d[at + i]) << (8 * i);
    return v;
}

void PutLe(ByteArray& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::size_t AddressBytes(int loc) { return loc == kLocDsp ? 4 : 2; }

bool IsDataCode(std::uint8_t code) { return code >= 0x61 && code <= 0x63; }

}  // namespace

Monitor::Monitor(const PrinterConfig& config, FlashSet& flash, FaultInjector& faults, Counters& counters)
    : m_config(config), m_flash(flash), m_faults(faults), m_counters(counters) {}

void Monitor::Start() {
    m_sequence = 0;
    m_writeAddress.fill(0);
    m_lastDataCode.fill(0x61);
    m_write = PendingWrite{};
    m_lastData.clear();
}

void Monitor::Emit(std::uint8_t code, const ByteArray& payload, const FaultDecision* faults, ByteArray& out,
                   const TraceFn& trace) {
    std::uint8_t sequence = m_sequence;
    if (faults && faults->wrongSequence) {
        // The counter skips a number: this answer is out of step, the next
        // one follows it, as after a lost answer.
        ++sequence;
        ++m_counters.wrongSequence;
    }
    m_sequence = static_cast<std::uint8_t>(sequence + 1);
    ByteArray body = MakeBody(sequence, code, payload);
    if (trace) trace("PR< " + DescribeAnswer(*ParseBody(body)));
    if (faults && faults->corrupt) {
        std::size_t at = faults->corruptPick % body.size();
        body[at] ^= static_cast<std::uint8_t>(1 + (faults->corruptPick >> 8) % 255);
        ++m_counters.corrupted;
        if (trace) trace("     fault: answer byte " + std::to_string(at) + " corrupted");
    }
    if (faults && faults->drop) {
        ++m_counters.dropped;
        if (trace) trace("     fault: answer dropped");
        return;
    }
    ++m_counters.answers;
    ByteArray frame = MakeFrame(body);
    out.insert(out.end(), frame.begin(), frame.end());
}

void Monitor::Fail(std::uint8_t flags, std::uint8_t command, const FaultDecision* faults, ByteArray& out,
                   const TraceFn& trace) {
    // Flags, the refused command, then the write addresses: 4 bytes for plain
    // monitors, 10 for extended ones.
    ByteArray payload{flags, command};
    PutLe(payload, m_writeAddress[kLocMcu], 2);
    if (m_config.Extended()) {
        PutLe(payload, m_writeAddress[kLocDsp], 4);
        PutLe(payload, m_writeAddress[kLocKiosk], 2);
    }
    Emit(kAnswerFailure, payload, faults, out, trace);
}

ByteArray Monitor::InfoPayload() const {
    const std::uint8_t version = m_config.MonitorVersion();
    ByteArray p{version, m_config.maxPacket};
    PutLe(p, m_writeAddress[kLocMcu], 2);
    PutLe(p, m_writeAddress[kLocDsp], 4);
    if (version & 0x80) {
        p.push_back(m_config.Locations());
        PutLe(p, m_writeAddress[kLocKiosk], 2);
        PutLe(p, m_config.dwordB, 4);
        if (version >= 0x82) p.push_back(m_config.monitorVersion2);
    }
    return p;
}

bool Monitor::Handle(const ByteArray& body, ByteArray& out, const TraceFn& trace) {
    std::optional<Packet> parsed = ParseBody(body);
    if (!parsed) {
        if (trace) trace("PC> frame of " + std::to_string(body.size()) + " bytes: too short, ignored");
        return false;
    }
    const Packet& p = *parsed;
    ++m_counters.requests;
    if (trace) trace("PC> " + DescribeRequest(p));
    if (!p.crcOk) {
        // A damaged request gets no answer: the PC times out and asks again.
        ++m_counters.badCrc;
        return false;
    }
    if (IsDataCode(p.code)) {
        // Data packets carry the PC's sequence number: the same packet twice
        // is one packet delivered twice, and programming it again would
        // shift the rest of the chunk.
        if (body == m_lastData) {
            ++m_counters.duplicatesIgnored;
            if (trace) trace("     repeated data packet ignored");
            return false;
        }
        m_lastData = body;
        ++m_counters.dataPackets;
        WriteData(p, out, trace);
        return false;
    }
    m_lastData.clear();
    if (m_write.active) {
        if (trace) trace("     write chunk abandoned with " + std::to_string(m_write.unitsLeft) + " units missing");
        m_write = PendingWrite{};
    }

    const CommandInfo info = ClassifyCommand(p.code);
    const bool isWrite = info.kind == CommandKind::kWriteFirst || info.kind == CommandKind::kWriteNext;
    const FaultDecision f = m_faults.Decide(p.code, isWrite);
    if (f.refuse && !isWrite) {
        ++m_counters.refused;
        Fail(m_faults.Settings().refuseFlags, p.code, &f, out, trace);
        return false;
    }
    if (info.location >= 0 && !m_config.HasLocation(info.location)) {
        Fail(kFlagLocationAbsent, p.code, &f, out, trace);
        return false;
    }
    switch (info.kind) {
        case CommandKind::kLeave:
            Emit(kAnswerPositive, {}, &f, out, trace);
            return true;
        case CommandKind::kInfo: Emit(kAnswerPositive, InfoPayload(), &f, out, trace); break;
        case CommandKind::kErase: Erase(info.location, p, f, out, trace); break;
        case CommandKind::kBlankCheck: BlankCheck(info.location, p, f, out, trace); break;
        case CommandKind::kRead: Read(info.location, p, f, out, trace); break;
        case CommandKind::kGeometry: Geometry(p, f, out, trace); break;
        case CommandKind::kWriteFirst: BeginWrite(info.location, true, p, f, out, trace); break;
        case CommandKind::kWriteNext: BeginWrite(info.location, false, p, f, out, trace); break;
        default: Fail(kFlagUnknownCommand, p.code, &f, out, trace); break;
    }
    return false;
}

void Monitor::HandleCutShort(const ByteArray& body, const TraceFn& trace) {
    std::optional<Packet> parsed = ParseBody(body);
    if (!parsed || !parsed->crcOk) return;
    const Packet& p = *parsed;
    ++m_counters.requests;
    if (trace) trace("PC> " + DescribeRequest(p) + "  (power fails)");
    const CommandInfo info = ClassifyCommand(p.code);
    if (info.kind == CommandKind::kErase && info.location >= 0 && m_config.HasLocation(info.location) &&
        p.data.size() == AddressBytes(info.location)) {
        // Half the sector erased: a plausible state for a cut mid-erase.
        FlashMemory& mem = m_flash[info.location];
        const std::size_t sector = mem.SectorOf(Le(p.data, 0, AddressBytes(info.location)));
        if (sector < mem.SectorCount()) {
            const std::uint32_t half = mem.SectorUnits(sector) / 2;
            mem.Store(mem.SectorStart(sector), ByteArray(static_cast<std::size_t>(half) * mem.UnitBytes(), 0xFF));
        }
    } else if (IsDataCode(p.code) && m_write.active) {
        // Half the packet's units programmed.
        m_write.programLeft = std::min<std::uint32_t>(m_write.programLeft,
            static_cast<std::uint32_t>(p.data.size() / m_flash[m_write.location].UnitBytes() / 2));
        m_write.unanswered = true;
        ByteArray ignored;
        WriteData(p, ignored, TraceFn{});
    }
}

void Monitor::Erase(int loc, const Packet& p, const FaultDecision& f, ByteArray& out, const TraceFn& trace) {
    if (p.data.size() != AddressBytes(loc)) return Fail(kFlagBadRequest, p.code, &f, out, trace);
    FlashMemory& mem = m_flash[loc];
    const std::uint32_t address = Le(p.data, 0, AddressBytes(loc));
    const std::size_t sector = mem.SectorOf(address);
    if (sector >= mem.SectorCount()) return Fail(kFlagOutOfRange, p.code, &f, out, trace);
    // Only a sector's start address names it: anything else is a PC bug.
    if (mem.SectorStart(sector) != address) return Fail(kFlagBadRequest, p.code, &f, out, trace);
    mem.EraseSector(sector);
    ++m_counters.erases;
    Emit(kAnswerPositive, {}, &f, out, trace);
}

void Monitor::BlankCheck(int loc, const Packet& p, const FaultDecision& f, ByteArray& out, const TraceFn& trace) {
    const std::size_t ab = AddressBytes(loc);
    if (p.data.size() != ab + 2) return Fail(kFlagBadRequest, p.code, &f, out, trace);
    const std::uint32_t address = Le(p.data, 0, ab), length = Le(p.data, ab, 2);
    const FlashMemory& mem = m_flash[loc];
    if (!mem.InRange(address, length)) return Fail(kFlagOutOfRange, p.code, &f, out, trace);
    if (!mem.IsErased(address, length)) return Fail(kFlagNotBlank, p.code, &f, out, trace);
    Emit(kAnswerPositive, {}, &f, out, trace);
}

void Monitor::Read(int loc, const Packet& p, const FaultDecision& f, ByteArray& out, const TraceFn& trace) {
    const std::size_t ab = AddressBytes(loc);
    if (p.data.size() != ab + 2) return Fail(kFlagBadRequest, p.code, &f, out, trace);
    const std::uint32_t address = Le(p.data, 0, ab), length = Le(p.data, ab, 2);
    const FlashMemory& mem = m_flash[loc];
    if (!mem.InRange(address, length)) return Fail(kFlagOutOfRange, p.code, &f, out, trace);
    // Consecutive packets of at most the largest data part; faults touch the first.
    const ByteArray data = mem.Read(address, length);
    const std::size_t step = std::max<std::size_t>(1, m_config.maxPacket);
    for (std::size_t at = 0; at < data.size(); at += step) {
        const std::size_t n = std::min(step, data.size() - at);
        Emit(kAnswerPositive, ByteArray(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n)),
             at == 0 ? &f : nullptr, out, trace);
    }
}

void Monitor::Geometry(const Packet& p, const FaultDecision& f, ByteArray& out, const TraceFn& trace) {
    (void)p;
    const FlashMemory& mem = m_flash[kLocDsp];
    if (m_config.shortGeometry) {
        Emit(kAnswerPositive, {m_config.dspManufacturer, m_config.dspDevice}, &f, out, trace);
        return;
    }
    std::uint8_t sizeCode = 0;
    while ((std::uint64_t{1} << sizeCode) < mem.Image().size()) ++sizeCode;
    Emit(kAnswerPositive,
         {m_config.dspManufacturer, m_config.dspDevice, sizeCode, static_cast<std::uint8_t>(mem.SectorCount()),
          m_config.EffectiveDspTableSector(), 0, 0},
         &f, out, trace);
    for (std::size_t s = 0; s < mem.SectorCount(); ++s) {
        ByteArray size;
        PutLe(size, mem.SectorUnits(s), 2);
        Emit(kAnswerPositive, size, nullptr, out, trace);
    }
}

void Monitor::BeginWrite(int loc, bool first, const Packet& p, const FaultDecision& f, ByteArray& out,
                         const TraceFn& trace) {
    const std::size_t ab = AddressBytes(loc);
    if (p.data.size() != (first ? ab + 3 : 2)) return Fail(kFlagBadRequest, p.code, &f, out, trace);
    // A next chunk continues where the previous write stopped.
    const std::uint32_t start = first ? Le(p.data, 0, ab) : m_writeAddress[loc];
    const std::uint32_t length = Le(p.data, first ? ab : 0, 2);
    if (first) {
        if (!IsDataCode(p.data[ab + 2])) return Fail(kFlagBadRequest, p.code, &f, out, trace);
        m_lastDataCode[loc] = p.data[ab + 2];
    }
    ++m_counters.writeChunks;
    if (!m_flash[loc].InRange(start, length)) return Fail(kFlagOutOfRange, p.code, &f, out, trace);
    m_writeAddress[loc] = start;
    if (length == 0) return Emit(kAnswerPositive, {}, &f, out, trace);

    m_write = PendingWrite{};
    m_write.active = true;
    m_write.location = loc;
    m_write.command = p.code;
    m_write.dataCode = m_lastDataCode[loc];
    m_write.next = start;
    m_write.unitsLeft = length;
    m_write.programLeft = length;
    m_write.faults = f;
    if (f.refuse) {
        ++m_counters.refused;
        m_write.failed = true;
        m_write.flags = m_faults.Settings().refuseFlags;
        m_write.programLeft = 0;
    } else if (f.brownOut) {
        ++m_counters.brownOuts;
        m_write.unanswered = true;
        m_write.programLeft = std::min(length, m_faults.Settings().brownOutUnits);
        if (trace) trace("     fault: brown-out after " + std::to_string(m_write.programLeft) + " units");
    }
}

void Monitor::WriteData(const Packet& p, ByteArray& out, const TraceFn& trace) {
    PendingWrite& w = m_write;
    if (!w.active) {
        if (trace) trace("     data without a write chunk, ignored");
        return;
    }
    if (p.code != w.dataCode && !w.failed) {
        w.failed = true;
        w.flags = kFlagDataMismatch;
    }
    FlashMemory& mem = m_flash[w.location];
    const std::uint32_t unitBytes = mem.UnitBytes();
    // Crypted data is stored as it comes: the printer decrypts when it runs it.
    w.partial.insert(w.partial.end(), p.data.begin(), p.data.end());
    std::size_t used = 0;
    while (w.unitsLeft > 0 && w.partial.size() - used >= unitBytes) {
        if (!w.failed && w.programLeft > 0) {
            if (mem.ProgramUnit(w.next, w.partial.data() + used, m_config.strictNor)) {
                const auto& worn = m_faults.Settings().worn;
                if (worn.location == w.location && worn.unit == w.next) {
                    ByteArray cell = mem.Read(w.next, 1);
                    cell[0] |= worn.stuckBits;
                    mem.Store(w.next, cell);
                }
                ++w.next;
                --w.programLeft;
                ++m_counters.unitsProgrammed;
                m_writeAddress[w.location] = w.next;
            } else {
                w.failed = true;
                w.flags = kFlagNotErased;
            }
        }
        used += unitBytes;
        --w.unitsLeft;
    }
    w.partial.erase(w.partial.begin(), w.partial.begin() + static_cast<std::ptrdiff_t>(used));
    if (w.unitsLeft > 0) return;

    // The whole chunk has arrived: its one answer (none after a brown-out,
    // where the printer restarted).
    PendingWrite done = std::move(w);
    w = PendingWrite{};
    if (done.unanswered) {
        if (trace) trace("     write chunk ends unanswered");
    } else if (done.failed) {
        Fail(done.flags, done.command, &done.faults, out, trace);
    } else {
        Emit(kAnswerPositive, {}, &done.faults, out, trace);
    }
}

}  // namespace carillon::sim
