// The file-table reader on any table area a monitor could return, for both
// entry forms: it reports one of the table codes, delivers elements exactly
// when the index and its CRC held, and a table it accepts, written again
// from its elements the way the engine writes tables, reads back alike.
//
// Input: byte 0 chooses the form (bit 0: DSP) and the location; the rest is
// the table area, padded with erased bytes.

#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "engine/FileTableArea.h"
#include "package/Crc16.h"

namespace {

using namespace carillon;

bool IsTableCode(ErrorCode r) {
    return r == kOk || r == kErrEngNoIndex || r == kErrEngEntrySize || r == kErrEngEntryCorrupted ||
           r == kErrEngNoEndEntry;
}

// A table in the engine's layout: index, the elements' entries, end entry, erased rest.
std::vector<std::uint8_t> Rebuild(const DecodedTable& table, EntryForm form, std::int32_t location) {
    const std::size_t slot = form == EntryForm::kDsp ? kDspEntrySize : kMcuEntrySize;
    std::vector<std::uint8_t> area(FileTableAreaBytes(form), 0xFF);
    std::size_t k = 1;
    for (const auto& e : table.elements) {
        CElement copy;
        copy.m_type = e->m_type;
        copy.m_cryptFlag = e->m_cryptFlag;
        copy.m_crc = e->m_crc;
        copy.m_address = e->m_address;
        copy.m_size = e->m_size;
        copy.m_version = e->m_version;
        copy.m_strName = e->m_strName;
        copy.m_location = location;
        if (form == EntryForm::kDsp) copy.WriteDspEntry(area.data() + k * slot);
        else copy.WriteMcuEntry(area.data() + k * slot);
        ++k;
    }
    CElement end;
    end.m_type = kTypeUnknownFile;
    end.m_location = location;
    if (form == EntryForm::kDsp) end.WriteDspEntry(area.data() + k * slot);
    else end.WriteMcuEntry(area.data() + k * slot);

    const std::size_t n = table.elements.size();
    CElement index;
    index.m_type = kTypeIndex;
    index.m_location = location;
    index.m_crc = ComputeCrc16(0xFFFF, area.data() + slot, n * slot);
    index.m_address = 0x20;
    index.m_size = static_cast<std::uint32_t>(n * slot);
    index.m_version = 2;
    index.m_strName = form == EntryForm::kDsp ? "Dsp Table Entry" : "Mcu Table Entry";
    if (form == EntryForm::kDsp) FUZZ_CHECK(index.WriteDspEntry(area.data()) == kOk);
    else FUZZ_CHECK(index.WriteMcuEntry(area.data()) == kOk);
    return area;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const EntryForm form = (data[0] & 1) != 0 ? EntryForm::kDsp : EntryForm::kMcu;
    const std::int32_t location = form == EntryForm::kDsp ? kDspFlash : ((data[0] & 2) != 0 ? kKioskFlash : kMcuFlash);
    std::vector<std::uint8_t> area(FileTableAreaBytes(form), 0xFF);
    std::memcpy(area.data(), data + 1, std::min(size - 1, area.size()));

    const DecodedTable table = DecodeFileTableArea(area.data(), form, location);
    FUZZ_CHECK(IsTableCode(table.result));
    FUZZ_CHECK(table.entriesRead == (table.result == kOk || table.result == kErrEngNoEndEntry));
    if (!table.entriesRead) FUZZ_CHECK(table.elements.empty());
    const std::size_t maxEntries = form == EntryForm::kDsp ? 62 : 26;
    FUZZ_CHECK(table.elements.size() <= maxEntries);
    for (const auto& e : table.elements) {
        FUZZ_CHECK(e->m_location == location && e->m_saved == 1);
        FUZZ_CHECK(e->m_type >= kTypeInvalid && e->m_type < kElementTypeCount);
    }
    if (table.result != kOk) return 0;

    // Entries of no known type cannot be written; the engine never writes them.
    for (const auto& e : table.elements)
        if (e->m_type == kTypeInvalid) return 0;
    const std::vector<std::uint8_t> rebuilt = Rebuild(table, form, location);
    const DecodedTable again = DecodeFileTableArea(rebuilt.data(), form, location);
    FUZZ_CHECK(again.result == kOk);
    FUZZ_CHECK(again.elements.size() == table.elements.size());
    for (std::size_t i = 0; i < table.elements.size(); ++i) {
        const CElement& a = *table.elements[i];
        const CElement& b = *again.elements[i];
        FUZZ_CHECK(a.m_type == b.m_type && a.m_crc == b.m_crc && a.m_address == b.m_address && a.m_size == b.m_size &&
                   a.m_version == b.m_version && a.m_strName == b.m_strName);
    }
    return 0;
}
