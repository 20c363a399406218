#include "sim/FlashMemory.h"

#include <algorithm>

namespace carillon::sim {

FlashMemory::FlashMemory(std::vector<std::uint32_t> sectorUnits, std::uint32_t unitBytes)
    : m_sectorUnits(std::move(sectorUnits)), m_unitBytes(unitBytes) {
    std::uint32_t start = 0;
    for (std::uint32_t size : m_sectorUnits) {
        m_sectorStart.push_back(start);
        start += size;
    }
    m_image.assign(static_cast<std::size_t>(start) * m_unitBytes, 0xFF);
}

std::size_t FlashMemory::SectorOf(std::uint32_t unit) const {
    auto it = std::upper_bound(m_sectorStart.begin(), m_sectorStart.end(), unit);
    std::size_t index = static_cast<std::size_t>(it - m_sectorStart.begin()) - 1;
    return unit >= SizeUnits() ? SectorCount() : index;
}

bool FlashMemory::IsErased(std::uint32_t unit, std::uint32_t count) const {
    auto first = m_image.begin() + static_cast<std::ptrdiff_t>(unit) * m_unitBytes;
    return std::all_of(first, first + static_cast<std::ptrdiff_t>(count) * m_unitBytes,
                       [](std::uint8_t b) { return b == 0xFF; });
}

void FlashMemory::EraseSector(std::size_t index) {
    auto first = m_image.begin() + static_cast<std::ptrdiff_t>(m_sectorStart[index]) * m_unitBytes;
    std::fill(first, first + static_cast<std::ptrdiff_t>(m_sectorUnits[index]) * m_unitBytes, 0xFF);
}

void FlashMemory::EraseAll() { std::fill(m_image.begin(), m_image.end(), 0xFF); }

bool FlashMemory::ProgramUnit(std::uint32_t unit, const std::uint8_t* bytes, bool strict) {
    std::uint8_t* cell = m_image.data() + static_cast<std::size_t>(unit) * m_unitBytes;
    if (strict && !IsErased(unit, 1)) return false;
    for (std::uint32_t i = 0; i < m_unitBytes; ++i) cell[i] &= bytes[i];
    return true;
}

ByteArray FlashMemory::Read(std::uint32_t unit, std::uint32_t count) const {
    auto first = m_image.begin() + static_cast<std::ptrdiff_t>(unit) * m_unitBytes;
    return ByteArray(first, first + static_cast<std::ptrdiff_t>(count) * m_unitBytes);
}

void FlashMemory::Store(std::uint32_t unit, const ByteArray& bytes) {
    std::copy(bytes.begin(), bytes.end(), m_image.begin() + static_cast<std::ptrdiff_t>(unit) * m_unitBytes);
}

bool FlashMemory::SetImage(const ByteArray& image) {
    if (image.size() != m_image.size()) return false;
    m_image = image;
    return true;
}

}  // namespace carillon::sim
