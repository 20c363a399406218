#pragma once
// CSetupIni: the setup file "SetupData/Setup.ini", read and written with
// the profile-file rules: section and key names match without regard to
// case, blanks around a value and a pair of enclosing quotes are dropped,
// and a write changes one line and keeps every other line as it was.

#include <cstdint>
#include <string>

namespace carillon {

class CSetupIni {
public:
    // Keeps path when the file exists or can be created empty; otherwise the
    // object keeps an empty path, reads give their defaults and writes are dropped.
    explicit CSetupIni(const std::string& path);

    std::string GetString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    // At most 15 characters of the value are read, then "0x%x", then "%d".
    std::int32_t GetInt(const std::string& section, const std::string& key, std::int32_t defaultValue) const;
    void SetString(const std::string& section, const std::string& key, const std::string& value);

    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// The program directory from the first command-line argument: up to and
// including its last slash or backslash, or empty (the current directory).
std::string AppDirFromArgument(const std::string& argument);

}  // namespace carillon
