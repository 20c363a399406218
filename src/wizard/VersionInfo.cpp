#include "wizard/VersionInfo.h"

#include <cctype>

#include "platform/Format.h"

#ifndef CARILLON_VERSION
#error "the build gives the program its version as CARILLON_VERSION"
#endif

namespace carillon {

CVersionInfo::CVersionInfo() : CVersionInfo(CARILLON_VERSION) {}

CVersionInfo::CVersionInfo(const std::string& versionText) {
    std::uint16_t* parts[] = {&m_nMajor, &m_nMinor, &m_nBuild, &m_nRevision};
    std::size_t at = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        std::uint32_t value = 0;
        const std::size_t start = at;
        while (at < versionText.size() && std::isdigit(static_cast<unsigned char>(versionText[at]))) {
            value = value * 10 + static_cast<std::uint32_t>(versionText[at++] - '0');
            if (value > 0xFFFF) return;  // each part is a 16-bit word
        }
        if (at == start) return;
        *parts[i] = static_cast<std::uint16_t>(value);
        if (at == versionText.size()) break;
        if (versionText[at++] != '.' || i == 3) return;
    }
    m_bFound = true;
}

std::string CVersionInfo::FormatVersion() const {
    if (!m_bFound) return {};
    if (m_nRevision != 0) return platform::Format("%d.%d.%d.%d", m_nMajor, m_nMinor, m_nBuild, m_nRevision);
    if (m_nBuild != 0) return platform::Format("%d.%d.%d", m_nMajor, m_nMinor, m_nBuild);
    return platform::Format("%d.%d", m_nMajor, m_nMinor);
}

}  // namespace carillon
