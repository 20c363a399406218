#include "sim/StartingImage.h"

#include <algorithm>

#include "package/Crc16.h"
#include "package/Element.h"
#include "sim/FlashLayout.h"

namespace carillon::sim {
namespace {

// Deterministic filler so that every run starts from the same bytes.
ByteArray Filler(const std::string& seedText, std::size_t size) {
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (char c : seedText) x = (x ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ull;
    ByteArray data(size);
    for (auto& b : data) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return data;
}

StartingFile MakeFile(int type, const std::string& name, std::uint32_t address, std::size_t sizeBytes, bool crypt) {
    StartingFile f;
    f.data = Filler(name, sizeBytes);
    f.entry.type = type;
    f.entry.crypt = crypt;
    f.entry.crc = ComputeCrc16(0xFFFF, f.data.data(), f.data.size());
    f.entry.address = address;
    f.entry.sizeBytes = static_cast<std::uint32_t>(sizeBytes);
    f.entry.version = 100;
    f.entry.name = name;
    return f;
}

// Firmware at 0x182C and the parameter areas at 0x1600 and 0x1400: where the
// MCU and kiosk-board flash keep them.
std::vector<StartingFile> McuFiles(const std::string& prefix, const std::string& suffix, std::size_t firmwareBytes) {
    return {MakeFile(kTypeFirmware, prefix + " firmware", 0x182C, firmwareBytes, true),
            MakeFile(kTypeParamsFact, "Params_Fact_" + suffix, 0x1600, 512, false),
            MakeFile(kTypeParamsCustom, "Params_Custom_" + suffix, 0x1400, 512, false)};
}

// DSP files go from the top of the flash down, each starting on a sector
// boundary, above the table sector.
std::vector<StartingFile> DspFiles(const FlashMemory& dsp, std::uint8_t tableSector) {
    struct Planned {
        int type;
        const char* name;
        std::size_t bytes;
    };
    const Planned planned[] = {{kTypeFirmware, "NDX DSP firmware", 0xC000},
                               {kTypeFontA, "Font A 12x24", 0x8000},
                               {kTypeFontB, "Font B 9x17", 0x8000}};
    std::vector<StartingFile> files;
    std::size_t top = dsp.SectorCount();  // one past the highest free sector
    for (const Planned& s : planned) {
        std::uint64_t units = s.bytes / 2, covered = 0;
        std::size_t first = top;
        while (covered < units && first > tableSector + 1u) covered += dsp.SectorUnits(--first);
        if (covered < units) break;  // a chip too small for the set keeps fewer files
        files.push_back(MakeFile(s.type, s.name, dsp.SectorStart(first), s.bytes, true));
        top = first;
    }
    return files;
}

}  // namespace

TableForm FormOf(int location) { return location == kLocDsp ? TableForm::kDsp : TableForm::kMcu; }

FlashSet MakeFlash(const PrinterConfig& config) {
    FlashSet flash;
    flash[kLocMcu] = FlashMemory(McuSectorBytes(), 1);
    flash[kLocKiosk] = FlashMemory(McuSectorBytes(), 1);
    // Ids outside the chip table are still stored somewhere: on the first chip's layout.
    const FlashChip* chip = FindChip(config.dspManufacturer, config.dspDevice);
    if (chip == nullptr) chip = &Chips().front();
    flash[kLocDsp] = FlashMemory(chip->sectorWords, 2);
    return flash;
}

std::uint32_t TableStart(const PrinterConfig& config, const FlashSet& flash, int location) {
    if (location == kLocDsp) {
        const std::size_t sector = std::min<std::size_t>(config.EffectiveDspTableSector(), flash[kLocDsp].SectorCount() - 1);
        return flash[kLocDsp].SectorStart(sector);
    }
    return kMcuTableStart;
}

std::vector<StartingFile> StartingFiles(const PrinterConfig& config, const FlashSet& flash, int location) {
    if (config.image != ImageKind::kOldFirmware || !config.HasLocation(location)) return {};
    std::vector<StartingFile> files;
    const char* family = FamilyName(config.family);
    if (location == kLocMcu) files = McuFiles(std::string(family) + " MCU", "mcu", 0x6000);
    if (location == kLocKiosk) files = McuFiles("Presenter", "kiosk", 0x3000);
    if (location == kLocDsp && config.family == Family::kNdx)
        files = DspFiles(flash[kLocDsp], config.EffectiveDspTableSector());
    // Monitors before version 2 know no crypt bit.
    if (config.MonitorVersion() < 2) {
        for (auto& f : files) f.entry.crypt = false;
    }
    return files;
}

void ApplyStartingImage(const PrinterConfig& config, FlashSet& flash) {
    if (config.image == ImageKind::kBlank) return;
    for (int loc : {kLocMcu, kLocDsp, kLocKiosk}) {
        if (!config.HasLocation(loc)) continue;
        FlashMemory& mem = flash[loc];
        if (loc != kLocDsp) mem.Store(0, Filler("boot monitor", mem.SectorUnits(0)));  // the monitor's own code
        std::vector<StartingFile> files = StartingFiles(config, flash, loc);
        std::vector<FileEntry> entries;
        for (const StartingFile& f : files) {
            mem.Store(f.entry.address, f.data);
            entries.push_back(f.entry);
        }
        std::uint32_t start = TableStart(config, flash, loc);
        mem.Store(start, BuildTable(FormOf(loc), start, entries));
    }
}

}  // namespace carillon::sim
