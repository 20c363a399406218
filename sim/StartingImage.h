#pragma once
// The flash a virtual printer starts with: sized per location, then filled
// per the configured starting image (an older firmware set listed in real
// file tables, an empty factory printer, or blank flash).

#include <array>
#include <vector>

#include "sim/Config.h"
#include "sim/FileTableImage.h"
#include "sim/FlashMemory.h"

namespace carillon::sim {

using FlashSet = std::array<FlashMemory, 4>;  // by location; I2C has no memory

// Erased flash of the right layout for every location of the printer.
FlashSet MakeFlash(const PrinterConfig& config);

// Address of the file table of a location, in its units.
std::uint32_t TableStart(const PrinterConfig& config, const FlashSet& flash, int location);
TableForm FormOf(int location);

// The files of the starting image in one location, with their data.
struct StartingFile {
    FileEntry entry;
    ByteArray data;
};
std::vector<StartingFile> StartingFiles(const PrinterConfig& config, const FlashSet& flash, int location);

// Writes the starting image into erased flash.
void ApplyStartingImage(const PrinterConfig& config, FlashSet& flash);

}  // namespace carillon::sim
