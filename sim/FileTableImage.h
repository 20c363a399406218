#pragma once
// The printer's file tables, encoded and decoded from their byte layouts:
// slot 0 the index entry, then one entry per file, then the end entry, then
// erased bytes. MCU/KIOSK tables have 32-byte entries in a 0x380-byte area;
// DSP tables 64-byte entries in a 0x800-word area.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteArray.h"

namespace carillon::sim {

enum class TableForm { kMcu, kDsp };

std::size_t EntryBytes(TableForm form);
std::size_t AreaBytes(TableForm form);
// Longest name an entry holds.
std::size_t MaxNameLength(TableForm form);

// One decoded entry. Addresses and sizes are in the location's units
// (words for DSP), sizes in bytes as well for convenience.
struct FileEntry {
    int type = -1;  // element type index 0..20, -1 for a code of no type
    bool crypt = false;
    std::uint16_t rawType = 0;
    std::uint16_t crc = 0xFFFF;
    std::uint32_t address = 0;
    std::uint32_t sizeBytes = 0;
    std::uint16_t version = 0;
    std::string name;
};

// The codes of the element types in the two entry forms, by type index.
std::uint16_t TypeCode(TableForm form, int type);
// The type a code stands for (the crypt bit ignored), or -1.
int TypeFromCode(TableForm form, std::uint16_t code);

ByteArray EncodeEntry(TableForm form, const FileEntry& entry);
FileEntry DecodeEntry(TableForm form, const std::uint8_t* slot);

// Builds a whole table area for these files; tableStart is the address of
// the area in the location's units.
ByteArray BuildTable(TableForm form, std::uint32_t tableStart, const std::vector<FileEntry>& files);

enum class TableStatus { kOk, kNoIndex, kBadSize, kBadCrc, kNoEnd };
const char* TableStatusText(TableStatus status);

struct TableContents {
    TableStatus status = TableStatus::kNoIndex;
    FileEntry index;
    std::vector<FileEntry> files;  // those decoded, also when the table is damaged
};

// Reads a table area as the PC reads it: index first, its size and CRC, then
// the files and the end entry.
TableContents ReadTable(TableForm form, const ByteArray& area);

}  // namespace carillon::sim
