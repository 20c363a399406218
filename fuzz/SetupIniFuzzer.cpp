// The setup file: whatever a setup file holds, reading any section and key
// stays within the documented limits, and a write of a simple value reads
// back as written while every other line of the file stays as it was.
//
// Input: the file's text. Section and key names to look up and write are
// taken from the text itself (a bracketed name, the word before an "="),
// so the fuzzer meets the file's own names as well as new ones.

#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "app/SetupIni.h"

namespace {

namespace fs = std::filesystem;
using carillon::CSetupIni;

const std::string& FilePath() {
    static const std::string path = [] {
        const fs::path dir = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        return (dir / ("carillon-fuzz-setup-" + std::to_string(::getpid()) + ".ini")).string();
    }();
    return path;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Lines without their line ends.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// A name of letters, digits and inner blanks built from the input, or a fixed one.
std::string SimpleName(const std::string& raw, const char* fallback) {
    std::string name;
    for (char c : raw)
        if (std::isalnum(static_cast<unsigned char>(c)) || (c == ' ' && !name.empty())) name += c;
    if (name.size() > 20) name.resize(20);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name.empty() ? fallback : name;
}

// Defaults no file can hold.
const std::string kAbsent = "\x01" "absent";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string& path = FilePath();
    WriteAll(path, text);

    // Names the file itself uses, plus the program's own.
    std::vector<std::string> sections = {"General", "Silent mode config"}, keys = {"Port type", "Silent"};
    for (const std::string& line : Lines(text)) {
        const std::size_t open = line.find('['), close = line.find(']');
        if (open != std::string::npos && close != std::string::npos && close > open && sections.size() < 5)
            sections.push_back(line.substr(open + 1, close - open - 1));
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos && keys.size() < 5) keys.push_back(line.substr(0, eq));
    }

    CSetupIni ini(path);
    FUZZ_CHECK(ini.Path() == path);
    for (const std::string& section : sections) {
        for (const std::string& key : keys) {
            const std::string value = ini.GetString(section, key, kAbsent);
            FUZZ_CHECK(value.size() <= 999);
            const std::int32_t number = ini.GetInt(section, key, -7);
            if (value == kAbsent || value.empty()) FUZZ_CHECK(number == -7);
        }
    }

    // One write of a simple value under names taken from the input.
    const std::string section = SimpleName(sections.back(), "Section");
    const std::string key = SimpleName(keys.back(), "Key");
    const std::string value = SimpleName(text.substr(0, 12), "v") + "1";
    ini.SetString(section, key, value);
    FUZZ_CHECK(ini.GetString(section, key, kAbsent) == value);

    // Every line but the one written (and the lines added) is kept, in order.
    const std::vector<std::string> before = Lines(text), after = Lines(ReadAll(path));
    FUZZ_CHECK(after.size() >= before.size() && after.size() <= before.size() + 2);
    std::size_t i = 0, j = 0, changed = 0;
    while (i < before.size() && j < after.size()) {
        if (before[i] == after[j]) {
            ++i, ++j;
        } else if (after.size() - j > before.size() - i) {
            ++j;  // an added line
        } else {
            ++i, ++j, ++changed;  // the rewritten key line
        }
    }
    FUZZ_CHECK(i == before.size());
    FUZZ_CHECK(changed <= 1);
    std::remove(path.c_str());
    return 0;
}
