// The printers' flash file tables: an index entry, one entry per file and an
// end entry, at the start of each location's table sector. Reading turns the
// entries into elements; writing rebuilds the table from the element list
// and reprograms the table area.

#include <cstring>
#include <vector>

#include "engine/CommandGenerator.h"
#include "engine/FileTableArea.h"
#include "package/Crc16.h"

namespace carillon {
namespace {

// The shape of one location's table.
struct TableLayout {
    std::size_t slotSize;      // bytes per entry
    std::uint32_t areaUnits;   // length of the table area in the location's units
    std::size_t areaBytes;     // the same in bytes
    std::uint32_t maxIndexed;  // an index announcing this many bytes or more leaves no room for the end entry
    std::uint32_t lastSlot;    // the slot whose use means too many entries
    const char* indexName;
};

constexpr TableLayout kMcuTable{kMcuEntrySize, 0x380, 0x380, 0x360, 27, "Mcu Table Entry"};
constexpr TableLayout kDspTable{kDspEntrySize, 0x800, 0x1000, 0xFC0, 63, "Dsp Table Entry"};
constexpr std::uint32_t kFirstSlotOffsetUnits = 0x20;  // slot 1 lies 0x20 units after the table start
constexpr std::uint32_t kTableReservedUnits = 0x380;
constexpr std::int32_t kIndexVersion = 2;
constexpr std::uint32_t kTableWriteFailureLimit = 10;
constexpr int kTableAttempts = 3;

const TableLayout& LayoutOf(EntryForm form) { return form == EntryForm::kDsp ? kDspTable : kMcuTable; }

ErrorCode ReadEntry(CElement& e, EntryForm form, const std::uint8_t* slot) {
    return form == EntryForm::kDsp ? e.ReadDspEntry(slot) : e.ReadMcuEntry(slot);
}

ErrorCode WriteEntry(CElement& e, EntryForm form, std::uint8_t* slot) {
    return form == EntryForm::kDsp ? e.WriteDspEntry(slot) : e.WriteMcuEntry(slot);
}

bool IsTableLocation(std::int32_t location, EntryForm form) {
    return form == EntryForm::kDsp ? location == kDspFlash : (location == kMcuFlash || location == kKioskFlash);
}

}  // namespace

std::size_t FileTableAreaBytes(EntryForm form) { return LayoutOf(form).areaBytes; }

DecodedTable DecodeFileTableArea(const std::uint8_t* area, EntryForm form, std::int32_t location) {
    const TableLayout& layout = LayoutOf(form);
    DecodedTable table;
    CElement index;
    if (ReadEntry(index, form, area) != kOk || index.m_type != kTypeIndex) {
        table.result = kErrEngNoIndex;
        return table;
    }
    const std::uint32_t size = index.m_size;
    // An index announcing the whole area leaves no slot for the end entry.
    if (size >= layout.maxIndexed) {
        table.result = kErrEngEntrySize;
        return table;
    }
    if (ComputeCrc16(0xFFFF, area + layout.slotSize, size) != (index.m_crc & 0xFFFF)) {
        table.result = kErrEngEntryCorrupted;
        return table;
    }

    table.entriesRead = true;
    const std::size_t entries = size / layout.slotSize;
    for (std::size_t k = 1; k <= entries; ++k) {
        auto e = std::make_unique<CElement>();
        ReadEntry(*e, form, area + k * layout.slotSize);  // a file entry's own decoding result does not count
        e->m_location = location;
        e->m_saved = 1;
        table.elements.push_back(std::move(e));
    }
    CElement end;
    ReadEntry(end, form, area + (entries + 1) * layout.slotSize);
    if (end.m_type != kTypeUnknownFile) table.result = kErrEngNoEndEntry;
    return table;
}

ErrorCode CCommandGenerator::ReadGeometry(std::int32_t location) {
    const ErrorCode r = m_session.GetGeometry(location, m_geometry[static_cast<std::size_t>(location)]);
    if (r == kOk) m_geometryValid[static_cast<std::size_t>(location)] = 1;
    return Fail(r);
}

ErrorCode CCommandGenerator::DoReadFileTables() {
    m_geometryValid.fill(0);
    m_step = kStepReadingTables;
    ErrorCode result = kOk;
    for (std::int32_t location = kKioskFlash; location >= kMcuFlash; --location) {
        SetStatusText(std::string("Update file entry of ") + LocationName(location));
        if (!m_session.IsLocationPresent(location)) continue;
        if (ErrorCode r = ReadLocationTable(location); r != kOk) result = r;
    }
    return Fail(result);
}

ErrorCode CCommandGenerator::ReadLocationTable(std::int32_t location) {
    if (location == kDspFlash) return ReadTable(location, EntryForm::kDsp);
    if (location == kMcuFlash || location == kKioskFlash) return ReadTable(location, EntryForm::kMcu);
    return Fail(kErrEngWrongFlashType);
}

ErrorCode CCommandGenerator::WriteLocationTable(std::int32_t location) {
    if (location == kDspFlash) return WriteTable(location, EntryForm::kDsp);
    if (location == kMcuFlash || location == kKioskFlash) return WriteTable(location, EntryForm::kMcu);
    return Fail(kErrEngWrongFlashType);
}

ErrorCode CCommandGenerator::ReadTable(std::int32_t location, EntryForm form) {
    const TableLayout& layout = LayoutOf(form);
    if (!IsTableLocation(location, form)) return Fail(kErrEngWrongFlashType);
    if (!m_session.IsLocationPresent(location)) return Fail(kErrEngLocationAbsent);
    const auto loc = static_cast<std::size_t>(location);

    ErrorCode r = m_geometryValid[loc] != 0 ? kOk : ReadGeometry(location);
    std::vector<std::uint8_t> area(layout.areaBytes, 0);
    std::uint32_t start = 0;
    if (r == kOk) r = SectorToAddress(location, m_geometry[loc].tableSector, &start);
    if (r == kOk) r = m_session.ReadFlash(location, start, layout.areaUnits, area.data(), 0);
    if (r != kOk) return Fail(r);

    DecodedTable table = DecodeFileTableArea(area.data(), form, location);
    if (!table.entriesRead) return Fail(table.result);
    RemoveLocationElements(location);
    for (auto& e : table.elements) {
        e->m_archi = m_session.m_archi;
        AddElement(std::move(e));
    }
    if (table.result != kOk) return Fail(table.result);
    m_elements.m_tableRead[loc] = 1;
    m_elements.m_tableInSync[loc] = 1;
    return Fail(kOk);
}

ErrorCode CCommandGenerator::WriteTable(std::int32_t location, EntryForm form) {
    const TableLayout& layout = LayoutOf(form);
    if (!IsTableLocation(location, form)) return Fail(kErrEngWrongFlashType);
    if (!m_session.IsLocationPresent(location)) return Fail(kErrEngLocationAbsent);
    const auto loc = static_cast<std::size_t>(location);
    if (m_geometryValid[loc] == 0) return Fail(kErrEngGeometryStale);

    std::vector<std::uint8_t> area(layout.areaBytes, 0xFF);
    std::uint32_t k = 1;
    const bool oldMonitor = m_session.m_monitorVersion <= 1;  // older monitors get no crypt bit
    for (const auto& e : m_elements.Elements()) {
        if (e->m_location != location) continue;
        if (oldMonitor) e->m_cryptFlag = 0;
        if (e->m_saved == 0) return Fail(kErrEngNotSaved);
        const ErrorCode encoded = WriteEntry(*e, form, area.data() + k * layout.slotSize);
        if (encoded != kOk && form == EntryForm::kDsp) return Fail(encoded);
        if (k == layout.lastSlot) return Fail(kErrEngTooManyEntries);
        ++k;
    }

    CElement end;
    end.m_type = kTypeUnknownFile;
    end.m_location = location;
    if (ErrorCode r = WriteEntry(end, form, area.data() + k * layout.slotSize); r != kOk) return Fail(r);
    ++k;

    std::uint32_t start = 0;
    if (ErrorCode r = SectorToAddress(location, m_geometry[loc].tableSector, &start); r != kOk) return r;
    const std::uint32_t entries = k - 2;
    CElement index;
    index.m_type = kTypeIndex;
    index.m_cryptFlag = 0;
    index.m_location = location;
    index.m_crc = ComputeCrc16(0xFFFF, area.data() + layout.slotSize, entries * layout.slotSize);
    index.m_address = static_cast<std::int32_t>(start + kFirstSlotOffsetUnits);
    index.m_size = static_cast<std::uint32_t>(entries * layout.slotSize);
    index.m_version = kIndexVersion;
    index.m_strName = layout.indexName;
    if (ErrorCode r = WriteEntry(index, form, area.data()); r != kOk) return Fail(r);

    // Only now, with the whole table built, is the old one erased.
    std::uint8_t first = m_geometry[loc].tableSector, last = first;
    if (form == EntryForm::kMcu) {
        if (ErrorCode r = AddressToSector(location, start + kTableReservedUnits - 1, &last); r != kOk) return r;
    }
    ErrorCode r = kOk;
    for (int attempt = 0; attempt < kTableAttempts; ++attempt) {
        r = EraseSectors(location, first, last);
        if (r == kOk)
            r = m_session.WriteFlash(location, kNotCrypted, start, layout.areaUnits, area.data(), nullptr, 0,
                                     kTableWriteFailureLimit);
        if (r == kOk) r = CheckWrittenTable(location, start, area);
        // Only a table that came out other than written is worth another
        // erase; the line's own failures have had their retries.
        if (r != kErrMonNotBlank && r != kErrEngEntryCorrupted) break;
    }
    if (r != kOk) return Fail(r);
    RecordErases(location, start, form == EntryForm::kMcu ? kTableReservedUnits : 1);
    m_session.RecordWrite(location, kNotCrypted, start, layout.areaUnits, area.data(), 0);
    m_elements.m_tableInSync[loc] = 1;
    return Fail(kOk);
}

ErrorCode CCommandGenerator::EraseSectors(std::int32_t location, std::uint8_t first, std::uint8_t last) {
    for (int s = first; s <= last; ++s) {
        std::uint32_t sectorStart = 0;
        if (ErrorCode r = SectorToAddress(location, static_cast<std::uint8_t>(s), &sectorStart); r != kOk) return r;
        if (ErrorCode r = m_session.EraseSector(location, sectorStart); r != kOk) return r;
    }
    return kOk;
}

ErrorCode CCommandGenerator::CheckWrittenTable(std::int32_t location, std::uint32_t start,
                                               const std::vector<std::uint8_t>& written) {
    // A table that does not read back as written would lose the printer its
    // files: the save is not done until it does.
    std::vector<std::uint8_t> back(written.size(), 0);
    const auto units = static_cast<std::uint32_t>(written.size() / (IsWordAddressed(location) ? 2 : 1));
    if (ErrorCode r = m_session.ReadFlash(location, start, units, back.data(), 0); r != kOk) return r;
    return back == written ? kOk : kErrEngEntryCorrupted;
}

}  // namespace carillon
