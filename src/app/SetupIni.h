#pragma once
// CSetupIni: the setup file "SetupData/Setup.ini", read and written with
// the profile-file rules: section and key names match without regard to
// case, blanks around a value and a pair of enclosing quotes are dropped,
// and a write changes one line and keeps every other line as it was.

#include <cstdint>
#include <string>

namespace carillon {

// A system-wide setup file is only read: the program neither creates nor
// changes it.
enum class SetupAccess { kReadWrite, kReadOnly };

class CSetupIni {
public:
    // Keeps path when the file exists or (read-write) can be created empty;
    // otherwise the object keeps an empty path, reads give their defaults and
    // writes are dropped.
    explicit CSetupIni(const std::string& path, SetupAccess access = SetupAccess::kReadWrite);

    std::string GetString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    // At most 15 characters of the value are read, then "0x%x", then "%d".
    std::int32_t GetInt(const std::string& section, const std::string& key, std::int32_t defaultValue) const;
    // False when nothing was written (no file, a read-only one, or a failed write).
    bool SetString(const std::string& section, const std::string& key, const std::string& value);

    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
    SetupAccess m_access;
};

}  // namespace carillon
