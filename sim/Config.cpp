#include "sim/Config.h"

#include <algorithm>
#include <cctype>

namespace carillon::sim {

std::uint8_t PrinterConfig::MonitorVersion() const {
    if (monitorVersion) return *monitorVersion;
    return family == Family::kNdx ? 0x02 : 0x85;
}

std::uint8_t PrinterConfig::Locations() const {
    // A plain info answer carries no locations byte: the PC then assumes MCU and DSP.
    if (!Extended()) return 0x03;
    if (locations) return *locations;
    return family == Family::kKiosk ? 0x09 : 0x03;
}

std::string PrinterConfig::Name() const { return name.empty() ? std::string("Virtual ") + FamilyName(family) : name; }

const char* FamilyName(Family family) {
    switch (family) {
        case Family::kNdx: return "NDX";
        case Family::kPlv: return "PLV";
        case Family::kKiosk: return "KIOSK";
    }
    return "?";
}

bool ParseFamily(const std::string& text, Family* family) {
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    for (Family f : {Family::kNdx, Family::kPlv, Family::kKiosk}) {
        if (upper == FamilyName(f)) {
            *family = f;
            return true;
        }
    }
    return false;
}

}  // namespace carillon::sim
