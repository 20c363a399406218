#include "sim/FlashLayout.h"

namespace carillon::sim {
namespace {

std::vector<std::uint32_t> Repeat(std::uint32_t size, int count) { return std::vector<std::uint32_t>(count, size); }

std::vector<std::uint32_t> Concat(std::initializer_list<std::vector<std::uint32_t>> parts) {
    std::vector<std::uint32_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Top-boot chips keep their small sectors at the end, bottom-boot chips at the start.
std::vector<std::uint32_t> TopBoot(int bigSectors) {
    return Concat({Repeat(0x8000, bigSectors), {0x4000, 0x1000, 0x1000, 0x2000}});
}
std::vector<std::uint32_t> BottomBoot(int bigSectors) {
    return Concat({{0x2000, 0x1000, 0x1000, 0x4000}, Repeat(0x8000, bigSectors)});
}

}  // namespace

const std::vector<FlashChip>& Chips() {
    static const std::vector<FlashChip> chips = {
        {0x01, 0xC4, 21, TopBoot(31)},    {0x01, 0x49, 21, BottomBoot(31)}, {0x01, 0xB9, 19, TopBoot(7)},
        {0x01, 0xBA, 19, BottomBoot(7)},  {0x01, 0xDA, 20, TopBoot(15)},    {0x01, 0x5B, 20, BottomBoot(15)},
        {0x20, 0xC4, 21, TopBoot(31)},    {0x20, 0x49, 21, BottomBoot(31)},
    };
    return chips;
}

const FlashChip* FindChip(std::uint8_t manufacturer, std::uint8_t device) {
    for (const FlashChip& chip : Chips()) {
        if (chip.manufacturer == manufacturer && chip.device == device) return &chip;
    }
    return nullptr;
}

const std::vector<std::uint32_t>& McuSectorBytes() {
    // Monitor area, table, parameter sectors, a small gap sector, the
    // firmware's first sector, 0x200-byte sectors, and the top sector.
    static const std::vector<std::uint32_t> map =
        Concat({{0x1080, 0x180}, Repeat(0x200, 3), {0x2C, 0x1D4}, Repeat(0x200, 97), {0x2400}});
    return map;
}

}  // namespace carillon::sim
