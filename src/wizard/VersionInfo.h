#pragma once
// CVersionInfo: the program's version text for the window title. The
// version is the one the build gives the program (the project version);
// missing parts count as 0, and a text that is not a version gives none.

#include <cstdint>
#include <string>

namespace carillon {

class CVersionInfo {
public:
    // The program's own version.
    CVersionInfo();
    // A version written as up to four numbers joined by points ("1.0.0.7").
    explicit CVersionInfo(const std::string& versionText);

    bool Found() const { return m_bFound; }
    // "1.0" for 1.0.0.0, "1.0.3" for 1.0.3.0, "1.0.0.7" for 1.0.0.7; empty without a version.
    std::string FormatVersion() const;

private:
    bool m_bFound = false;
    std::uint16_t m_nMajor = 0;
    std::uint16_t m_nMinor = 0;
    std::uint16_t m_nBuild = 0;
    std::uint16_t m_nRevision = 0;
};

}  // namespace carillon
