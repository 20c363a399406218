// Saving a package: location by location, place the new elements, erase
// their sectors, program their data and rewrite the file table. Also reading
// one element back.

#include <new>

#include "engine/CommandGenerator.h"
#include "platform/MessageBox.h"

namespace carillon {
namespace {

constexpr int kProgramAttempts = 5;
constexpr std::uint32_t kWriteFailureLimit = 10;

bool IsPlaceholderType(std::int32_t type) {
    return type == kTypeIndex || type == kTypeFileEmpty || type == kTypeUnknownFile;
}

}  // namespace

ErrorCode CCommandGenerator::DoSave(std::uint8_t force) {
    m_step = kStepSaving;
    ErrorCode r;
    {
        std::lock_guard lock(m_listMutex);
        r = m_elements.AddParameterElements();
    }
    if (r != kOk) return Fail(r);
    if (force == 0 && (r = m_elements.CheckPackage()) != kOk) return Fail(r);

    ByteArray* image = m_pOutputImage;
    if (image != nullptr) image->clear();
    m_session.m_pRecord = image;
    m_session.m_recordSequence = 0;

    ErrorCode result = kOk;
    for (std::int32_t location = kKioskFlash; location >= kMcuFlash; --location) {
        const std::string prefix = std::string("Saving ") + LocationName(location);
        if (!m_session.IsLocationPresent(location)) continue;
        SetStatusText(prefix + " AddressAttribution ");
        r = AttributeAddresses(location);
        SetStatusText(prefix + " Data ");
        if (r == kOk) r = ProgramData(location);
        SetStatusText(prefix + " File entry ");
        if (r == kOk) r = WriteLocationTable(location);
        SetStatusText(prefix + " fin ");
        if (r != kOk) result = r;  // a failed location does not stop the others
        // ... but the user does, and so does a printer that has gone
        if (r == kErrEngStoppedByUser || m_session.PortGone()) break;
    }
    m_session.m_pRecord = nullptr;
    return Fail(result);
}

ErrorCode CCommandGenerator::ProgramData(std::int32_t location) {
    m_stepsTotal = 0;
    m_stepsDone = 0;
    if (m_geometryValid[static_cast<std::size_t>(location)] == 0) return Fail(kErrEngGeometryStale);
    if (!m_session.IsLocationPresent(location)) return Fail(kErrEngLocationAbsent);
    m_stepsTotal = static_cast<std::uint32_t>(m_elements.GetCount());

    ErrorCode r = kOk;
    for (const auto& element : m_elements.Elements()) {
        CElement& e = *element;
        ++m_stepsDone;
        if (e.m_saved != 0 || e.m_location != location || IsPlaceholderType(e.m_type)) continue;
        if (e.m_address == -1) {
            r = kErrEngAddressUnallocated;
            break;
        }
        if (m_session.m_stopRequested) {
            r = kErrEngStoppedByUser;
            break;
        }
        if (!e.m_pData) {
            MarkSaved(e);
            continue;
        }
        if ((r = ProgramElement(location, e)) != kOk) break;
    }
    return Fail(r);
}

ErrorCode CCommandGenerator::ProgramElement(std::int32_t location, CElement& e) {
    ErrorCode r = kOk;
    for (int attempt = 0; attempt < kProgramAttempts; ++attempt) {
        r = kOk;
        const std::uint32_t units = UnitCount(e);
        if (units == 0) {
            MarkSaved(e);
            return kOk;
        }
        r = EraseElementSectors(location, e);
        SetStatusText(std::string(LocationName(location)) + " : Programming...");
        std::uint32_t written = 0;
        if (r == kOk) {
            if (e.IsErasedData()) written = units;  // erased flash already holds it
            else
                r = WriteElementData(location, e, &written);
        }
        if (r == kErrEngStoppedByUser || m_session.PortGone()) return r;
        if (r != kOk) {
            m_pOutputImage = nullptr;  // from now on every sector gets its blank check first
            continue;
        }
        MarkSaved(e);
        if (written == units) {
            RecordElement(location, e);
            return kOk;
        }
        platform::MessageBox(nullptr, "CommandGenerator:Error OK,but Size are not equal.", "", platform::MB_OK);
    }
    return r;
}

ErrorCode CCommandGenerator::WriteElementData(std::int32_t location, CElement& e, std::uint32_t* written) {
    m_session.m_stopBetweenChunks = true;
    const ErrorCode r = m_session.WriteFlash(location, e.m_cryptMode, static_cast<std::uint32_t>(e.m_address),
                                             UnitCount(e), e.m_pData.get(), written, e.m_packetSize,
                                             kWriteFailureLimit);
    m_session.m_stopBetweenChunks = false;
    return r;
}

void CCommandGenerator::RecordElement(std::int32_t location, const CElement& e) {
    const auto address = static_cast<std::uint32_t>(e.m_address);
    const std::uint32_t units = UnitCount(e);
    RecordErases(location, address, units);
    if (!e.IsErasedData())
        m_session.RecordWrite(location, e.m_cryptMode, address, units, e.m_pData.get(), e.m_packetSize);
}

void CCommandGenerator::RecordErases(std::int32_t location, std::uint32_t address, std::uint32_t units) {
    std::uint8_t first = 0, last = 0;
    if (AddressToSector(location, address, &first) != kOk || AddressToSector(location, address + units - 1, &last) != kOk)
        return;
    for (int s = first; s <= last; ++s) {
        std::uint32_t sectorStart = 0;
        if (SectorToAddress(location, static_cast<std::uint8_t>(s), &sectorStart) == kOk)
            m_session.RecordErase(location, sectorStart);
    }
}

ErrorCode CCommandGenerator::EraseElementSectors(std::int32_t location, const CElement& e) {
    const std::uint32_t units = UnitCount(e);
    const auto address = static_cast<std::uint32_t>(e.m_address);
    std::uint8_t first = 0, last = 0;
    ErrorCode r = AddressToSector(location, address, &first);
    if (r == kOk) r = AddressToSector(location, address + units - 1, &last);
    SetStatusText(std::string(LocationName(location)) + " : Erasing...");
    m_unitsTotal = static_cast<std::uint32_t>(last - first);
    const FlashGeometry& g = m_geometry[static_cast<std::size_t>(location)];
    for (int s = first; s <= last && r == kOk; ++s) {
        m_unitsDone = static_cast<std::uint32_t>(s - first);
        std::uint32_t sectorStart = 0;
        if ((r = SectorToAddress(location, static_cast<std::uint8_t>(s), &sectorStart)) != kOk) break;
        if (m_pOutputImage != nullptr) {
            // Recorded images must also reflash printers whose flash is not blank.
            r = m_session.EraseSector(location, sectorStart);
            continue;
        }
        std::uint32_t length = g.sectorSize[static_cast<std::size_t>(s)];
        const std::uint32_t elementEnd = address + units;
        if (elementEnd < sectorStart + length) length = (elementEnd - sectorStart) & 0xFFFF;
        r = m_session.BlankCheck(location, sectorStart, length);
        if (r == kErrMonNotBlank) r = m_session.EraseSector(location, sectorStart);
    }
    if (r != kOk) Fail(r);
    return r;
}

ErrorCode CCommandGenerator::DoReadElement(std::uint32_t position) {
    SetStatusText("Reading File...");
    m_step = kStepReadingFile;
    m_stepsTotal = 1;
    m_stepsDone = 0;
    m_unitsTotal = 1;
    m_unitsDone = 0;
    CElement* e = m_elements.GetAt(m_elements.FindIndex(static_cast<int>(position)));
    if (e == nullptr) return Fail(kErrEngBadPosition);
    m_unitsTotal = e->m_size;
    if (e->m_pData) return Fail(kOk);
    if (!m_session.IsLocationPresent(e->m_location)) return Fail(kErrEngLocationAbsent);
    if (m_elements.m_tableRead[static_cast<std::size_t>(e->m_location)] == 0) return Fail(kErrEngTableStale);
    if (e->m_address == -1) return Fail(kErrEngAddressUnallocated);
    e->m_pData.reset(new (std::nothrow) std::uint8_t[e->m_size]);
    if (!e->m_pData && e->m_size > 0) return Fail(kErrNoMemory);
    const ErrorCode r = m_session.ReadFlash(e->m_location, static_cast<std::uint32_t>(e->m_address), UnitCount(*e),
                                            e->m_pData.get(), 0);
    if (r != kOk) e->m_pData.reset();
    return Fail(r);
}

}  // namespace carillon
