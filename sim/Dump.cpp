#include "sim/Dump.h"

#include <cstdio>

#include "package/Crc16.h"
#include "package/Element.h"
#include "sim/FlashLayout.h"

namespace carillon::sim {
namespace {

std::string Format(const char* format, auto... args) {
    char text[256];
    const int n = std::snprintf(text, sizeof text, format, args...);
    return std::string(text, static_cast<std::size_t>(n < 0 ? 0 : n));
}

std::string DumpTable(const VirtualPrinter& printer, int loc) {
    const TableContents table = printer.FileTable(loc);
    const std::uint32_t unitBytes = loc == kLocDsp ? 2 : 1;
    std::string s = Format("  file table at 0x%X (%s): %s\n", printer.TableStart(loc), unitBytes == 2 ? "words" : "bytes",
                           TableStatusText(table.status));
    if (table.status == TableStatus::kNoIndex) return s;
    s += Format("  index: %u file bytes, CRC 0x%04X, version %u, \"%s\"\n", table.index.sizeBytes, table.index.crc,
                table.index.version, table.index.name.c_str());
    for (const FileEntry& f : table.files) {
        const char* type = TypeKeyword(f.type);
        const ByteArray data = printer.ReadFlash(loc, f.address, f.sizeBytes / unitBytes);
        const bool crcOk = !data.empty() && ComputeCrc16(0xFFFF, data.data(), data.size()) == f.crc;
        s += Format("    %-14s%s at 0x%06X %8u bytes v%-5u CRC 0x%04X %-11s \"%s\"\n", type ? type : "?",
                    f.crypt ? "*" : " ", f.address, f.sizeBytes, f.version, f.crc,
                    data.empty() ? "(outside)" : crcOk ? "(data ok)" : "(data CRC differs)", f.name.c_str());
    }
    return s;
}

std::string DumpSectors(const VirtualPrinter& printer, int loc) {
    const std::vector<SectorInfo> map = printer.SectorMap(loc);
    std::string s = Format("  sectors (. erased, # holds data), %zu in all:\n", map.size());
    for (std::size_t i = 0; i < map.size(); i += 64) {
        s += Format("    %3zu 0x%06X ", i, map[i].start);
        for (std::size_t j = i; j < map.size() && j < i + 64; ++j) s += map[j].erased ? '.' : '#';
        s += '\n';
    }
    return s;
}

}  // namespace

std::string DumpFlash(const VirtualPrinter& printer) {
    const PrinterConfig& config = printer.Config();
    std::string s = Format("%s printer, monitor version 0x%02X, DSP chip %02X:%02X\n", FamilyName(config.family),
                           config.MonitorVersion(), config.dspManufacturer, config.dspDevice);
    for (int loc : {kLocMcu, kLocDsp, kLocKiosk}) {
        if (!config.HasLocation(loc)) continue;
        s += std::string(LocationName(loc)) + ":\n";
        s += DumpTable(printer, loc);
        s += DumpSectors(printer, loc);
    }
    return s;
}

}  // namespace carillon::sim
