#include "app/ForcedRemoval.h"

#include <algorithm>

namespace carillon {

std::vector<FirmwareEntry> FirmwareEntries(const CElementList& tables) {
    std::vector<FirmwareEntry> entries;
    for (const auto& e : tables.Elements())
        if (e->m_type == kTypeFirmware) entries.push_back({e->m_location, e->m_strName});
    return entries;
}

std::string ForcedRemovalQuestion(const std::vector<FirmwareEntry>& today, const CElementList& package) {
    std::string lines;
    for (const FirmwareEntry& entry : today) {
        const auto& elements = package.Elements();
        const bool replaced = std::any_of(elements.begin(), elements.end(), [&](const auto& e) {
            return e->m_type == kTypeFirmware && e->m_location == entry.location;
        });
        if (!replaced) lines += std::string("  ") + LocationName(entry.location) + " " + entry.name + "\n";
    }
    return lines.empty() ? std::string() : kForcedRemovalQuestion + std::string("\n") + lines + "Do you want to continue?";
}

}  // namespace carillon
