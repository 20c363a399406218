#include "sim/FileTableImage.h"

#include <algorithm>

#include "package/Crc16.h"

namespace carillon::sim {
namespace {

struct Codes {
    std::uint16_t dsp;
    std::uint8_t mcu;
};

// By element type index: INDEX, FILE_EMPTY, DATA, VRK_PROD_DATA, FIRMWARE,
// FONT, FONT_A, FONT_B, FONT_EXT, FONT_DL, NV_IMAGE, NV_DATA, TICKET, PDF417,
// PARAMS_FACT, PARAMS_CUSTOM, TEST_DATA, MONITOR, TEMPLATE, PKG_HEADER,
// UNKNOWN_FILE.
constexpr Codes kCodes[] = {
    {0x1000, 0x10}, {0x2000, 0x20}, {0x3000, 0x30}, {0x3001, 0x31}, {0x8000, 0x80}, {0x8001, 0x81},
    {0x8002, 0x82}, {0x8003, 0x83}, {0x9001, 0x91}, {0x9002, 0x92}, {0x8004, 0x84}, {0x8005, 0x85},
    {0x8006, 0x86}, {0x8007, 0x87}, {0x9003, 0x93}, {0x9004, 0x94}, {0x9005, 0x95}, {0xFFFC, 0xFC},
    {0xFFFD, 0xFD}, {0xFFFE, 0xFE}, {0xFFFF, 0xFF},
};
constexpr int kTypeCount = 21;
constexpr int kIndexType = 0;
constexpr int kEndType = 20;

std::uint16_t CryptBit(TableForm form) { return form == TableForm::kDsp ? 0x4000 : 0x40; }

void PutLe(std::uint8_t* p, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void PutBe16(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}
std::uint32_t GetLe(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
std::uint16_t GetBe16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

}  // namespace

std::size_t EntryBytes(TableForm form) { return form == TableForm::kDsp ? 64 : 32; }
std::size_t AreaBytes(TableForm form) { return form == TableForm::kDsp ? 0x1000 : 0x380; }
std::size_t MaxNameLength(TableForm form) { return form == TableForm::kDsp ? 49 : 22; }

std::uint16_t TypeCode(TableForm form, int type) {
    if (type < 0 || type >= kTypeCount) return form == TableForm::kDsp ? 0xFFFF : 0xFF;
    return form == TableForm::kDsp ? kCodes[type].dsp : kCodes[type].mcu;
}

int TypeFromCode(TableForm form, std::uint16_t code) {
    std::uint16_t mask = static_cast<std::uint16_t>(~CryptBit(form));
    for (int t = 0; t < kTypeCount; ++t) {
        if ((TypeCode(form, t) & mask) == (code & mask)) return t;
    }
    return -1;
}

ByteArray EncodeEntry(TableForm form, const FileEntry& e) {
    ByteArray slot(EntryBytes(form), 0);
    std::uint16_t code = TypeCode(form, e.type);
    if (e.crypt && e.type != kEndType) code |= CryptBit(form);
    std::size_t nameAt;
    if (form == TableForm::kDsp) {
        PutLe(&slot[0], code, 2);
        PutLe(&slot[2], e.crc, 2);
        PutLe(&slot[4], e.address, 4);
        PutLe(&slot[8], e.sizeBytes / 2, 4);
        PutLe(&slot[12], e.version, 2);
        nameAt = 14;
    } else {
        slot[0] = static_cast<std::uint8_t>(code);
        PutBe16(&slot[1], e.crc);
        PutBe16(&slot[3], e.address);
        PutBe16(&slot[5], e.sizeBytes);
        PutLe(&slot[7], e.version, 2);
        nameAt = 9;
    }
    std::size_t n = std::min(e.name.size(), MaxNameLength(form));
    std::copy(e.name.begin(), e.name.begin() + static_cast<std::ptrdiff_t>(n), slot.begin() + static_cast<std::ptrdiff_t>(nameAt));
    return slot;
}

FileEntry DecodeEntry(TableForm form, const std::uint8_t* slot) {
    FileEntry e;
    std::size_t nameAt;
    if (form == TableForm::kDsp) {
        e.rawType = static_cast<std::uint16_t>(GetLe(&slot[0], 2));
        e.crc = static_cast<std::uint16_t>(GetLe(&slot[2], 2));
        e.address = GetLe(&slot[4], 4);
        e.sizeBytes = GetLe(&slot[8], 4) * 2;
        e.version = static_cast<std::uint16_t>(GetLe(&slot[12], 2));
        nameAt = 14;
    } else {
        e.rawType = slot[0];
        e.crc = GetBe16(&slot[1]);
        e.address = GetBe16(&slot[3]);
        e.sizeBytes = GetBe16(&slot[5]);
        e.version = static_cast<std::uint16_t>(GetLe(&slot[7], 2));
        nameAt = 9;
    }
    e.type = TypeFromCode(form, e.rawType);
    e.crypt = (e.rawType & CryptBit(form)) != 0;
    const char* name = reinterpret_cast<const char*>(slot + nameAt);
    e.name.assign(name, std::find(name, name + MaxNameLength(form), '\0'));
    return e;
}

ByteArray BuildTable(TableForm form, std::uint32_t tableStart, const std::vector<FileEntry>& files) {
    const std::size_t slotBytes = EntryBytes(form);
    ByteArray area(AreaBytes(form), 0xFF);
    std::size_t at = slotBytes;
    for (const FileEntry& f : files) {
        ByteArray slot = EncodeEntry(form, f);
        std::copy(slot.begin(), slot.end(), area.begin() + static_cast<std::ptrdiff_t>(at));
        at += slotBytes;
    }
    const std::size_t filesBytes = files.size() * slotBytes;

    FileEntry end;
    end.type = kEndType;
    end.crc = 0xFFFF;
    end.address = form == TableForm::kDsp ? 0xFFFFFFFF : 0xFFFF;
    ByteArray endSlot = EncodeEntry(form, end);
    std::copy(endSlot.begin(), endSlot.end(), area.begin() + static_cast<std::ptrdiff_t>(at));

    FileEntry index;
    index.type = kIndexType;
    index.crc = ComputeCrc16(0xFFFF, area.data() + slotBytes, filesBytes);
    index.address = tableStart + 0x20;  // slot 1, in units of either form
    index.sizeBytes = static_cast<std::uint32_t>(filesBytes);
    index.version = 2;
    index.name = form == TableForm::kDsp ? "Dsp Table Entry" : "Mcu Table Entry";
    ByteArray indexSlot = EncodeEntry(form, index);
    std::copy(indexSlot.begin(), indexSlot.end(), area.begin());
    return area;
}

const char* TableStatusText(TableStatus status) {
    switch (status) {
        case TableStatus::kOk: return "ok";
        case TableStatus::kNoIndex: return "slot 0 is not an index entry";
        case TableStatus::kBadSize: return "index announces too many bytes";
        case TableStatus::kBadCrc: return "CRC of the file entries does not match the index";
        case TableStatus::kNoEnd: return "no end entry after the files";
    }
    return "?";
}

TableContents ReadTable(TableForm form, const ByteArray& area) {
    TableContents t;
    const std::size_t slotBytes = EntryBytes(form);
    if (area.size() < AreaBytes(form)) return t;
    t.index = DecodeEntry(form, area.data());
    if (t.index.type != kIndexType) return t;
    // The end entry must still fit inside the area after the files.
    if (t.index.sizeBytes > AreaBytes(form) - 2 * slotBytes) {
        t.status = TableStatus::kBadSize;
        return t;
    }
    const std::size_t n = t.index.sizeBytes / slotBytes;
    for (std::size_t k = 1; k <= n; ++k) t.files.push_back(DecodeEntry(form, area.data() + k * slotBytes));
    if (ComputeCrc16(0xFFFF, area.data() + slotBytes, t.index.sizeBytes) != t.index.crc) {
        t.status = TableStatus::kBadCrc;
        return t;
    }
    FileEntry end = DecodeEntry(form, area.data() + (n + 1) * slotBytes);
    t.status = end.type == kEndType ? TableStatus::kOk : TableStatus::kNoEnd;
    return t;
}

}  // namespace carillon::sim
