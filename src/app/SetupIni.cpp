#include "app/SetupIni.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "package/ScanNumber.h"

namespace carillon {
namespace {

constexpr std::size_t kValueBuffer = 1000;  // values longer than 999 characters are cut
constexpr std::size_t kIntBuffer = 16;      // numbers are read from at most 15 characters

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& text) {
    auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// "[name]" lines open a section.
bool SectionName(const std::string& line, std::string& name) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    const std::size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool KeyName(const std::string& line, std::string& key) {
    const std::string t = Trim(line);
    if (t.empty() || t.front() == ';') return false;
    const std::size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(t.substr(0, eq));
    return true;
}

// The file as lines, each with its own line end.
std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

bool HasLineEnd(const std::string& line) { return !line.empty() && line.back() == '\n'; }

std::string OwnLineEnd(const std::string& line) {
    if (!HasLineEnd(line)) return "";
    return line.size() >= 2 && line[line.size() - 2] == '\r' ? "\r\n" : "\n";
}

// The line end the file already uses.
std::string LineEnd(const std::vector<std::string>& lines) {
    for (const std::string& l : lines)
        if (OwnLineEnd(l) == "\r\n") return "\r\n";
    return "\n";
}

// Reads see what SetString writes: the first section of the name (the next
// section header ends it) and in it the first key of the name, with the
// value after its "=" trimmed.
std::optional<std::string> FindValue(const std::vector<std::string>& lines, const std::string& section,
                                     const std::string& key) {
    bool inSection = false;
    for (const std::string& line : lines) {
        std::string name;
        if (SectionName(line, name)) {
            if (inSection) return std::nullopt;
            inSection = SameName(name, section);
            continue;
        }
        if (inSection && KeyName(line, name) && SameName(name, key)) return Trim(line.substr(line.find('=') + 1));
    }
    return std::nullopt;
}

}  // namespace

CSetupIni::CSetupIni(const std::string& path, SetupAccess access) : m_access(access) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        m_strPath = path;
        return;
    }
    if (access == SetupAccess::kReadOnly) return;
    std::FILE* created = path.empty() ? nullptr : std::fopen(path.c_str(), "a+");
    if (created == nullptr) return;
    std::fclose(created);
    m_strPath = path;
}

std::string CSetupIni::GetString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    if (m_strPath.empty()) return defaultValue;
    const std::optional<std::string> raw = FindValue(ReadLines(m_strPath), section, key);
    if (!raw) return defaultValue;
    std::string value = *raw;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    if (value.size() >= kValueBuffer) value.resize(kValueBuffer - 1);
    return value;
}

std::int32_t CSetupIni::GetInt(const std::string& section, const std::string& key, std::int32_t defaultValue) const {
    if (m_strPath.empty()) return defaultValue;
    std::string text = GetString(section, key, "");
    if (text.size() >= kIntBuffer) text.resize(kIntBuffer - 1);
    if (text.empty()) return defaultValue;
    if (auto hex = ScanPrefixedHex(text, "0x", kIntBuffer)) return static_cast<std::int32_t>(*hex);
    if (auto decimal = ScanDecimal(text)) return *decimal;
    return defaultValue;
}

bool CSetupIni::SetString(const std::string& section, const std::string& key, const std::string& value) {
    if (m_strPath.empty() || m_access == SetupAccess::kReadOnly) return false;
    std::vector<std::string> lines = ReadLines(m_strPath);
    const std::string eol = LineEnd(lines);
    const std::string entry = key + "=" + value;

    // Find the section, the key inside it, and the last line that belongs to it.
    std::size_t sectionLine = lines.size(), keyLine = lines.size(), lastContent = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (SectionName(lines[i], name)) {
            if (sectionLine != lines.size()) break;  // the next section ends ours
            if (SameName(name, section)) sectionLine = lastContent = i;
            continue;
        }
        if (sectionLine == lines.size()) continue;
        if (!Trim(lines[i]).empty()) lastContent = i;
        if (KeyName(lines[i], name) && SameName(name, key) && keyLine == lines.size()) keyLine = i;
    }

    if (keyLine != lines.size()) {
        lines[keyLine] = entry + OwnLineEnd(lines[keyLine]);
    } else if (sectionLine != lines.size()) {
        if (!HasLineEnd(lines[lastContent])) lines[lastContent] += eol;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastContent) + 1, entry + eol);
    } else {
        if (!lines.empty() && !HasLineEnd(lines.back())) lines.back() += eol;
        lines.push_back("[" + section + "]" + eol);
        lines.push_back(entry + eol);
    }

    // Write beside the file and move it over, so a failed write loses nothing.
    const std::string temporary = m_strPath + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines) out << line;
        if (!out.flush()) {
            std::error_code ec;
            std::filesystem::remove(temporary, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, m_strPath, ec);
    if (!ec) return true;
    std::filesystem::remove(temporary, ec);
    return false;
}

}  // namespace carillon
