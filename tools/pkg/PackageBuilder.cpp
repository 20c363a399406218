#include "pkg/PackageBuilder.h"

#include <SimpleIni.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "package/Crc16.h"
#include "package/Element.h"
#include "platform/OutputFile.h"

namespace carillon::pkgtool {
namespace {

namespace fs = std::filesystem;

// The longest names the printers' file tables keep.
constexpr std::size_t kMaxDspName = 49;
constexpr std::size_t kMaxMcuName = 22;

// Readers take SIZE with "%d".
constexpr std::uintmax_t kMaxDataSize = 0x7FFFFFFF;

// Manifest keys in the order their fields are written. PRINTER_ARCHI and
// PRINTER_TYPE name the same field; DATA is the manifest's own.
constexpr const char* kHeaderKeys[] = {"NAME",    "ELEMENT_TYPE", "PRINTER_ARCHI", "PRINTER_TYPE",
                                       "LOCATION", "VERSION",     "CRYPTED",       "PACKETSIZE"};
constexpr const char* kDataKey = "DATA";
constexpr const char* kRequiredKeys[] = {"NAME", "ELEMENT_TYPE", "LOCATION", "DATA"};

// Messages are built by appending: GCC 12 at -O3 warns wrongly (-Wrestrict)
// about a literal prepended to a temporary string.
std::string Quoted(std::string_view text) {
    std::string s(1, '"');
    s.append(text);
    s += '"';
    return s;
}

std::string Upper(std::string_view text) {
    std::string s(text);
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

std::string JoinKeywords(std::initializer_list<const char*> words) {
    std::string s;
    for (const char* w : words) s += (s.empty() ? "" : ", ") + std::string(w);
    return s;
}

std::string TypeKeywordList() {
    std::string s;
    for (std::int32_t t = 0; t < kElementTypeCount; ++t) s += (t == 0 ? "" : ", ") + std::string(TypeKeyword(t));
    return s;
}

// The readers map an unknown keyword to a default silently; a manifest must
// name the value it means, so only the spellings the tables list pass.
bool IsTypeKeyword(const std::string& v) {
    const char* keyword = TypeKeyword(TypeFromKeyword(v));
    return keyword != nullptr && v == keyword;
}
bool IsArchiKeyword(const std::string& v) {
    return ArchiFromKeyword(v) != kArchiUnknown || v == "UNKNOWN_PRINTER" || v == "ARCHI_UNKNOWM";
}
bool IsLocationKeyword(const std::string& v) {
    return LocationFromKeyword(v) != kNoLocation || v == "NO_LOCATION" || v == "ANY_FLASH";
}
bool IsCryptKeyword(const std::string& v) { return CryptFromKeyword(v) != kNotCrypted || v == "NOT_CRYPTED"; }

// A decimal number of 0 to 65535, digits only.
bool IsWord(const std::string& v) {
    if (v.empty() || v.size() > 5 || !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    return std::stoul(v) <= 0xFFFF;
}

// Readers drop blanks from headers and split fields at ";", so a name may
// hold neither; it is printable ASCII.
std::optional<std::string> NameProblem(const std::string& name, std::int32_t location) {
    if (name.empty()) return "is empty";
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == ' ' || c == '\t') return "holds a blank; package readers remove blanks, so the name would change";
        if (c == ';') return "holds \";\", which ends a header field";
        if (u < 0x21 || u > 0x7E) return "holds a character that is not printable ASCII";
    }
    const std::size_t limit = IsWordAddressed(location) ? kMaxDspName : kMaxMcuName;
    if (name.size() > limit) {
        return Quoted(name) + " has " + std::to_string(name.size()) + " characters; the " +
               LocationName(location) + " file table keeps at most " + std::to_string(limit);
    }
    return std::nullopt;
}

bool ReadDataFile(const fs::path& path, std::vector<std::uint8_t>* data, std::string* problem) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        *problem = "cannot read " + Quoted(path.string()) + ": no such file";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        *problem = Quoted(path.string()) + " is not a regular file";
        return false;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        *problem = "cannot read " + Quoted(path.string()) + ": " + ec.message();
        return false;
    }
    if (size > kMaxDataSize) {
        *problem = Quoted(path.string()) + " is larger than a package element can be (2 GiB - 1 bytes)";
        return false;
    }
    // A stream takes the path in the system's own characters (wide on some).
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *problem = "cannot read " + Quoted(path.string()) + ": " + std::strerror(errno != 0 ? errno : ENOENT);
        return false;
    }
    data->resize(static_cast<std::size_t>(size));
    file.read(reinterpret_cast<char*>(data->data()), static_cast<std::streamsize>(data->size()));
    const bool failed = file.bad() || static_cast<std::size_t>(file.gcount()) != data->size();
    if (failed) {
        *problem = "cannot read " + Quoted(path.string()) + ": the file changed or could not be read whole";
        return false;
    }
    return true;
}

// One manifest section turned into a package element.
class SectionReader {
public:
    SectionReader(const CSimpleIniA& ini, const char* section, const fs::path& baseDir)
        : ini_(ini), section_(section), baseDir_(baseDir) {}

    bool Read(PackageEntry* entry, std::string* error) {
        error_ = error;
        return CheckKeys() && CheckValues(entry) && ReadData(entry);
    }
    // The data file read, once Read succeeded.
    const std::string& DataPath() const { return dataPath_; }

private:
    bool Fail(const std::string& key, const std::string& text) {
        *error_ = std::string("[").append(section_).append("] ").append(key).append(": ").append(text);
        return false;
    }

    const char* Value(const char* key) const { return ini_.GetValue(section_, key, nullptr); }

    // Every key is known, given once, and not one the tool computes.
    bool CheckKeys() {
        CSimpleIniA::TNamesDepend keys;
        ini_.GetAllKeys(section_, keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        for (const auto& k : keys) {
            const std::string key = Upper(k.pItem);
            if (key == "SIZE" || key == "CRC")
                return Fail(key, "is computed from the data; remove it from the manifest");
            const bool known = key == kDataKey || std::any_of(std::begin(kHeaderKeys), std::end(kHeaderKeys),
                                                             [&](const char* h) { return key == h; });
            if (!known) {
                return Fail(k.pItem, "unknown key; expected " +
                                         JoinKeywords({"NAME", "ELEMENT_TYPE", "PRINTER_ARCHI", "PRINTER_TYPE",
                                                       "LOCATION", "VERSION", "CRYPTED", "PACKETSIZE", "DATA"}));
            }
            CSimpleIniA::TNamesDepend values;
            ini_.GetAllValues(section_, k.pItem, values);
            if (values.size() > 1) return Fail(key, "is given more than once (is the section name used twice?)");
        }
        for (const char* key : kRequiredKeys)
            if (Value(key) == nullptr) return Fail(key, "is missing");
        if (Value("PRINTER_ARCHI") == nullptr && Value("PRINTER_TYPE") == nullptr)
            return Fail("PRINTER_ARCHI", "is missing");
        if (Value("PRINTER_ARCHI") != nullptr && Value("PRINTER_TYPE") != nullptr)
            return Fail("PRINTER_TYPE", "names the same field as PRINTER_ARCHI; give only one of them");
        return true;
    }

    bool CheckValues(PackageEntry* entry) {
        const std::string type = Value("ELEMENT_TYPE");
        if (!IsTypeKeyword(type))
            return Fail("ELEMENT_TYPE", "unknown element type " + Quoted(type) + "; expected one of " + TypeKeywordList());

        const char* archiKey = Value("PRINTER_ARCHI") != nullptr ? "PRINTER_ARCHI" : "PRINTER_TYPE";
        const std::string archi = Value(archiKey);
        if (!IsArchiKeyword(archi)) {
            return Fail(archiKey, "unknown printer family " + Quoted(archi) + "; expected one of " +
                                      JoinKeywords({"PLV", "NDX", "KIOSK", "ARCHI_PLV", "ARCHI_NDX", "ARCHI_KIOSK",
                                                    "UNKNOWN_PRINTER", "ARCHI_UNKNOWM"}));
        }

        const std::string location = Value("LOCATION");
        if (!IsLocationKeyword(location)) {
            return Fail("LOCATION", "unknown location " + Quoted(location) + "; expected one of " +
                                        JoinKeywords({"MCU_FLASH", "DSP_FLASH", "EXT_FLASH", "I2C_FLASH",
                                                      "KIOSK_FLASH", "NO_LOCATION", "ANY_FLASH"}));
        }

        const std::string name = Value("NAME");
        if (auto problem = NameProblem(name, LocationFromKeyword(location)))
            return Fail("NAME", *problem);

        if (const char* crypted = Value("CRYPTED"); crypted != nullptr && !IsCryptKeyword(crypted)) {
            return Fail("CRYPTED", "unknown crypt mode " + Quoted(crypted) + "; expected one of " +
                                       JoinKeywords({"NOT_CRYPTED", "CODE_CRYPTED", "FONT_CRYPTED", "YES"}));
        }
        for (const char* key : {"VERSION", "PACKETSIZE"}) {
            const char* value = Value(key);
            if (value != nullptr && !IsWord(value))
                return Fail(key, Quoted(value) + " is not a number from 0 to 65535");
        }

        for (const char* key : kHeaderKeys)
            if (const char* value = Value(key)) entry->fields.emplace_back(key, value);
        return true;
    }

    bool ReadData(PackageEntry* entry) {
        const fs::path given = Value(kDataKey);
        if (given.empty()) return Fail(kDataKey, "names no file");
        std::string problem;
        const fs::path path = given.is_absolute() ? given : baseDir_ / given;
        if (!ReadDataFile(path, &entry->data, &problem)) return Fail(kDataKey, problem);
        dataPath_ = path.string();
        return true;
    }

    const CSimpleIniA& ini_;
    const char* section_;
    fs::path baseDir_;
    std::string dataPath_;
    std::string* error_ = nullptr;
};

}  // namespace

std::string EncodePackage(const std::vector<PackageEntry>& entries) {
    std::size_t total = 32;
    for (const auto& e : entries) total += e.data.size() + 256;
    std::string out;
    out.reserve(total);

    char text[48];
    std::snprintf(text, sizeof text, "NBR_VRK_PACKAGE=0x%04X;\r\n", static_cast<unsigned>(entries.size()));
    out += text;
    static constexpr std::uint8_t kZeros[3] = {};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PackageEntry& e = entries[i];
        // Blanks between fields are header white space, so one field a line
        // keeps the headers readable.
        for (const auto& [key, value] : e.fields) out += key + "=" + value + ";\r\n";
        const std::size_t padding = (4 - e.data.size() % 4) % 4;
        const std::uint16_t crc = ComputeCrc16(ComputeCrc16(0xFFFF, e.data.data(), e.data.size()), kZeros, padding);
        std::snprintf(text, sizeof text, "SIZE=%zu;\r\nCRC=0x%04X;;", e.data.size(), static_cast<unsigned>(crc));
        out += text;
        out.append(reinterpret_cast<const char*>(e.data.data()), e.data.size());
        // A line break before the next header is white space of that header.
        if (i + 1 < entries.size()) out += "\r\n";
    }
    return out;
}

bool ReadManifest(const std::string& manifestPath, std::vector<PackageEntry>* entries, std::string* error,
                  std::vector<std::string>* dataFiles) {
    const auto fail = [&](const std::string& text) {
        *error = manifestPath + ": " + text;
        return false;
    };

    // Multi-key mode keeps repeated keys apart, so they can be refused.
    CSimpleIniA ini(false, true, false);
    errno = 0;
    const SI_Error rc = ini.LoadFile(manifestPath.c_str());
    if (rc < 0) {
        const int saved = errno;
        if (rc == SI_FILE && saved != 0) return fail(std::string("cannot read the manifest: ") + std::strerror(saved));
        return fail("cannot read the manifest");
    }

    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    // Elements are written in the order their sections stand in the file.
    sections.sort(CSimpleIniA::Entry::LoadOrder());

    const fs::path baseDir = fs::path(manifestPath).parent_path();
    entries->clear();
    for (const auto& s : sections) {
        if (s.pItem[0] == '\0') {
            // Keys above the first section header.
            if (ini.GetSectionSize(s.pItem) <= 0) continue;
            CSimpleIniA::TNamesDepend keys;
            ini.GetAllKeys(s.pItem, keys);
            keys.sort(CSimpleIniA::Entry::LoadOrder());
            return fail(std::string(keys.front().pItem) + ": key outside any section; each element is a [section]");
        }
        PackageEntry entry;
        std::string problem;
        SectionReader reader(ini, s.pItem, baseDir);
        if (!reader.Read(&entry, &problem)) return fail(problem);
        if (dataFiles != nullptr) dataFiles->push_back(reader.DataPath());
        entries->push_back(std::move(entry));
    }
    if (entries->empty()) return fail("no element sections; each element is a [section]");
    if (entries->size() > kMaxPackageElements)
        return fail("has " + std::to_string(entries->size()) + " elements; a package holds at most 65535");
    return true;
}

bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) {
    platform::ReplacingFile file;
    if (!file.Open(path)) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!file.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()) || !file.Commit()) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool BuildPackage(const std::string& manifestPath, const std::string& outputPath, std::string* error) {
    std::vector<PackageEntry> entries;
    std::vector<std::string> inputs{manifestPath};
    if (!ReadManifest(manifestPath, &entries, error, &inputs)) return false;
    switch (platform::CheckOutputPath(outputPath, inputs)) {
        case platform::OutputCheck::kIsInput:
            *error = outputPath + " is the manifest or one of its data files; choose another -o";
            return false;
        case platform::OutputCheck::kNotRegular:
            *error = outputPath + " is not a regular file; -o names a package file to create or replace";
            return false;
        case platform::OutputCheck::kCantCreate:
        case platform::OutputCheck::kOk: break;  // WriteFile says why it cannot create one
    }
    return WriteFile(outputPath, EncodePackage(entries), error);
}

}  // namespace carillon::pkgtool
