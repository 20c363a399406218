#pragma once
// One flash location of the printer with NOR behaviour: erasing sets a whole
// sector to 0xFF, programming can only clear bits. Addresses are in the
// location's units (16-bit words for the DSP flash, bytes otherwise); the
// image is kept in bytes (a word little-endian, as the PC sends it).

#include <cstdint>
#include <vector>

#include "platform/ByteArray.h"

namespace carillon::sim {

class FlashMemory {
public:
    FlashMemory() = default;
    FlashMemory(std::vector<std::uint32_t> sectorUnits, std::uint32_t unitBytes);

    std::uint32_t UnitBytes() const { return m_unitBytes; }
    std::uint32_t SizeUnits() const { return static_cast<std::uint32_t>(m_image.size() / m_unitBytes); }
    std::size_t SectorCount() const { return m_sectorUnits.size(); }
    std::uint32_t SectorUnits(std::size_t index) const { return m_sectorUnits[index]; }
    std::uint32_t SectorStart(std::size_t index) const { return m_sectorStart[index]; }
    // The sector that holds the unit, or SectorCount() past the end.
    std::size_t SectorOf(std::uint32_t unit) const;

    // False when [unit, unit + count) does not lie inside the flash.
    bool InRange(std::uint64_t unit, std::uint64_t count) const { return unit + count <= SizeUnits(); }

    bool IsErased(std::uint32_t unit, std::uint32_t count) const;
    bool SectorErased(std::size_t index) const { return IsErased(SectorStart(index), SectorUnits(index)); }
    void EraseSector(std::size_t index);
    void EraseAll();

    // Programs one unit (UnitBytes() bytes): the stored bits become stored AND
    // given. With strict set, a unit that is not erased is refused (false).
    bool ProgramUnit(std::uint32_t unit, const std::uint8_t* bytes, bool strict);

    ByteArray Read(std::uint32_t unit, std::uint32_t count) const;
    // Sets bytes without NOR rules (for starting images and tests).
    void Store(std::uint32_t unit, const ByteArray& bytes);

    const ByteArray& Image() const { return m_image; }
    // False when the size differs from this flash's.
    bool SetImage(const ByteArray& image);

private:
    std::vector<std::uint32_t> m_sectorUnits;
    std::vector<std::uint32_t> m_sectorStart;
    std::uint32_t m_unitBytes = 1;
    ByteArray m_image;
};

}  // namespace carillon::sim
