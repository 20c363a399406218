// Placement of new elements in a location's flash: the table and the
// elements already stored are taken first, elements with a fixed address go
// there, and all others are placed from the top of the flash downwards, each
// at the start of the lowest sector of the highest free run that holds it.

#include <memory>
#include <new>

#include "engine/CommandGenerator.h"

namespace carillon {
namespace {

constexpr std::uint32_t kTableReservedUnits = 0x380;

bool IsPlaceholderType(std::int32_t type) {
    return type == kTypeIndex || type == kTypeFileEmpty || type == kTypeUnknownFile;
}

// Which sectors of one location are taken, for one placement run.
class SectorMap {
public:
    SectorMap(const FlashGeometry& geometry)
        : g_(geometry), used_(new (std::nothrow) bool[geometry.sectorCount == 0 ? 1 : geometry.sectorCount]()) {}
    bool Allocated() const { return used_ != nullptr; }

    // Marks first..last; sectors past the end of the flash are not part of the map.
    void Mark(int first, int last) {
        for (int s = first; s <= last && s < g_.sectorCount; ++s) used_[s] = true;
    }
    bool Taken(int s) const { return used_[s] || g_.sectorReserved[static_cast<std::size_t>(s)] != 0; }
    bool AnyTaken(int first, int last) const {
        for (int s = first; s <= last; ++s)
            if (Taken(s)) return true;
        return false;
    }

private:
    const FlashGeometry& g_;
    std::unique_ptr<bool[]> used_;
};

}  // namespace

ErrorCode CCommandGenerator::AttributeAddresses(std::int32_t location) {
    const auto loc = static_cast<std::size_t>(location);
    if (location < 0 || location >= kLocationCount || m_geometryValid[loc] == 0) return Fail(kErrEngGeometryStale);
    if (!m_session.IsLocationPresent(location)) return Fail(kErrEngLocationAbsent);
    const FlashGeometry& g = m_geometry[loc];
    SectorMap map(g);
    if (!map.Allocated()) return Fail(kErrNoMemory);

    // The file table.
    std::uint32_t tableStart = 0;
    std::uint8_t tableEnd = 0;
    ErrorCode r = SectorToAddress(location, g.tableSector, &tableStart);
    if (r == kOk) r = AddressToSector(location, tableStart + kTableReservedUnits - 1, &tableEnd);
    if (r != kOk) return r;
    map.Mark(g.tableSector, tableEnd);

    // The span of an element at its address; an error or a span past the end fails.
    auto span = [&](const CElement& e, std::uint8_t& first, std::uint8_t& last) {
        const auto address = static_cast<std::uint32_t>(e.m_address);
        ErrorCode firstResult = AddressToSector(location, address, &first);
        if (firstResult != kOk) first = 0;
        return AddressToSector(location, address + UnitCount(e) - 1, &last);
    };

    // Pass 1: elements that already hold their space.
    for (const auto& element : m_elements.Elements()) {
        const CElement& e = *element;
        if (e.m_location != location || (e.m_saved == 0 && e.m_address == -1)) continue;
        if (e.m_saved != 0 && e.m_address == -1) return Fail(kErrEngSavedNoAddress);
        if (UnitCount(e) == 0) continue;
        std::uint8_t first = 0, last = 0;
        if ((r = span(e, first, last)) != kOk) return r;
        if (last >= g.sectorCount) return Fail(kErrEngNoPlace);  // its range leaves the flash
        map.Mark(first, last);
    }

    // Pass 2: fixed addresses.
    for (const auto& element : m_elements.Elements()) {
        CElement& e = *element;
        if (e.m_location != location || e.m_saved != 0 || IsPlaceholderType(e.m_type)) continue;
        const std::int32_t fixed = FixedAddress(e.m_type, location);
        if (e.m_address == -1 && fixed == -1) continue;
        if (UnitCount(e) == 0) continue;
        if (e.m_address == -1) e.m_address = fixed;
        std::uint8_t first = 0, last = 0;
        if ((r = span(e, first, last)) != kOk) return r;
        if (first == 0 || last >= g.sectorCount) return Fail(kErrEngNoPlace);
        if (map.AnyTaken(first, last)) return Fail(kErrEngFixedAddressTaken);
        map.Mark(first, last);
    }

    // Pass 3: everything else, from the top down.
    for (const auto& element : m_elements.Elements()) {
        CElement& e = *element;
        if (e.m_location != location || e.m_saved != 0 || IsPlaceholderType(e.m_type) || e.m_address != -1) continue;
        const std::uint32_t units = UnitCount(e);
        if (units == 0) {
            e.m_address = 0;
            continue;
        }
        for (int top = g.sectorCount - 1;;) {
            if (top < 0) return Fail(kErrEngNoPlace);
            std::uint32_t end = 0;
            if ((r = SectorToAddress(location, static_cast<std::uint8_t>(top + 1), &end)) != kOk) return r;
            if (units > end) return Fail(kErrEngNoPlace);
            std::uint8_t start = 0;
            if ((r = AddressToSector(location, end - units, &start)) != kOk) return r;
            if (start == 0) return Fail(kErrEngNoPlace);
            int taken = top;
            while (taken >= start && !map.Taken(taken)) --taken;
            if (taken < start) {
                std::uint32_t address = 0;
                if ((r = SectorToAddress(location, start, &address)) != kOk) return r;
                e.m_address = static_cast<std::int32_t>(address);
                map.Mark(start, top);
                break;
            }
            top = taken - 1;
        }
    }
    return Fail(kOk);
}

}  // namespace carillon
