// The rules that decide whether a package suits the connected printer's
// family: which elements can never be stored, which belong to another
// family, and whether the set is complete and consistent.

#include "package/ElementList.h"
#include "platform/MessageBox.h"

namespace carillon {
namespace {

// What CheckPackage has seen so far, one flag per required element.
struct SeenElements {
    bool mcuFirmware = false, mcuFact = false, mcuCustom = false;
    bool dspFirmware = false, fontA = false, fontB = false;
    bool kioskFirmware = false, kioskFact = false, kioskCustom = false;
};

// Firmware and the two parameter blocks: one of each in MCU and in KIOSK flash.
ErrorCode CheckBoardElement(std::int32_t type, bool& firmware, bool& fact, bool& custom) {
    bool* flag = nullptr;
    ErrorCode duplicate = kOk;
    switch (type) {
        case kTypeFirmware: flag = &firmware; duplicate = kErrCompatTooManyFirmware; break;
        case kTypeParamsFact: flag = &fact; duplicate = kErrCompatTooManyParamsFact; break;
        case kTypeParamsCustom: flag = &custom; duplicate = kErrCompatTooManyParamsCustom; break;
        default: return kOk;
    }
    if (*flag) return duplicate;
    *flag = true;
    return kOk;
}

// The DSP flash takes one firmware and its fonts in the order A, then B.
ErrorCode CheckDspElement(std::int32_t type, SeenElements& seen) {
    switch (type) {
        case kTypeFirmware:
            if (seen.dspFirmware) return kErrCompatTooManyFirmware;
            seen.dspFirmware = true;
            return kOk;
        case kTypeFontA:
            if (!seen.fontA) {
                seen.fontA = true;
                return seen.fontB ? kErrCompatFirstFontA : kOk;
            }
            return seen.fontB ? kOk : kErrCompatSecondFontB;
        case kTypeFontB:
            if (!seen.fontA) return kErrCompatFirstFontA;
            seen.fontB = true;
            return kOk;
        default:
            return kOk;
    }
}

ErrorCode CheckLocationRules(const CElement& e, SeenElements& seen) {
    switch (e.m_location) {
        case kMcuFlash: return CheckBoardElement(e.m_type, seen.mcuFirmware, seen.mcuFact, seen.mcuCustom);
        case kDspFlash: return CheckDspElement(e.m_type, seen);
        case kKioskFlash: return CheckBoardElement(e.m_type, seen.kioskFirmware, seen.kioskFact, seen.kioskCustom);
        default: return kErrCompatIncompatibleLocation;
    }
}

// The completeness checks, run in order; the last failing one is reported.
ErrorCode CheckCompleteness(std::int32_t archi, const SeenElements& seen) {
    ErrorCode result = kOk;
    if (!seen.mcuFact) result = kErrCompatMcuParamsFactMissing;
    if (!seen.mcuCustom) result = kErrCompatMcuParamsCustomMissing;
    if (!seen.mcuFirmware) result = kErrCompatMissingMcuFirmware;
    switch (archi) {
        case kArchiPlv:
            break;
        case kArchiNdx:
            if (!seen.fontA) result = kErrCompatMissingFontA;
            if (!seen.fontB) result = kErrCompatMissingFontB;
            if (!seen.dspFirmware) result = kErrCompatMissingDspFirmware;
            break;
        case kArchiKiosk:
            if (!seen.kioskFirmware) result = kErrCompatMissingKioskFirmware;
            if (!seen.kioskFact) result = kErrCompatKioskParamsFactMissing;
            if (!seen.kioskCustom) result = kErrCompatKioskParamsCustomMissing;
            break;
        default:
            result = kErrCompatUnknownPrinter;
            break;
    }
    return result;
}

}  // namespace

ErrorCode CElementList::RemoveUnusable() {
    if (m_archi == kArchiUnknown) return m_lastError = kErrCompatArchiUnknown;
    for (Position pos = GetHeadPosition(); pos;) {
        Position current = pos;
        const std::int32_t type = GetNext(pos)->m_type;
        if (type == kTypeInvalid || type == kTypeIndex || type >= kElementTypeCount) RemoveAt(current);
    }
    return m_lastError = kOk;
}

int CElementList::CountIncompatible(bool remove, bool show) {
    if (m_archi == kArchiUnknown) return 0;
    int count = 0;
    for (Position pos = GetHeadPosition(); pos;) {
        Position current = pos;
        const CElement* e = GetNext(pos);
        if (e->m_archi == m_archi) continue;
        if (show) platform::MessageBox(nullptr, "Incompatible element:\n" + e->m_strName, "", platform::MB_OK);
        if (remove) RemoveAt(current);
        ++count;
    }
    return count;
}

ErrorCode CElementList::CheckPackage() {
    if (m_archi == kArchiUnknown) return m_lastError = kErrCompatUnknownPrinter;
    SeenElements seen;
    for (const auto& e : m_elements) {
        ErrorCode r = e->m_archi != m_archi ? kErrCompatIncompatibleElement : kOk;
        if (ErrorCode rule = CheckLocationRules(*e, seen); rule != kOk) r = rule;
        if (r != kOk) return m_lastError = r;
    }
    return m_lastError = CheckCompleteness(m_archi, seen);
}

ErrorCode CElementList::AddParameterElements() {
    struct ParameterArea {
        const char* name;
        std::int32_t type;
        std::int32_t location;
    };
    static constexpr ParameterArea kAreas[] = {
        {"Params_Fact_mcu", kTypeParamsFact, kMcuFlash},
        {"Params_Custom_mcu", kTypeParamsCustom, kMcuFlash},
        {"Params_Fact_kiosk", kTypeParamsFact, kKioskFlash},
        {"Params_Custom_kiosk", kTypeParamsCustom, kKioskFlash},
    };
    bool present[4] = {};
    const ErrorCode result = m_archi == kArchiUnknown ? kErrCompatUnknownPrinter : kOk;
    if (result == kOk) {
        for (const auto& e : m_elements)
            for (int i = 0; i < 4; ++i)
                if (e->m_type == kAreas[i].type && e->m_location == kAreas[i].location) present[i] = true;
    }
    // With an unknown printer nothing was scanned, so both MCU areas are added.
    const bool wanted[4] = {
        !present[0],
        !present[1],
        m_archi == kArchiKiosk && !present[2],
        m_archi == kArchiKiosk && !present[3],
    };
    for (int i = 0; i < 4; ++i) {
        if (!wanted[i]) continue;
        auto e = std::unique_ptr<CElement>(new (std::nothrow) CElement);
        if (!e) return m_lastError = kErrNoMemory;
        e->m_strName = kAreas[i].name;
        e->m_type = kAreas[i].type;
        e->m_location = kAreas[i].location;
        e->m_size = 512;
        e->m_archi = m_archi;
        Add(std::move(e));
    }
    return m_lastError = result;
}

}  // namespace carillon
