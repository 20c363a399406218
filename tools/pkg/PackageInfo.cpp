#include "pkg/PackageInfo.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>
#include <vector>

#include "common/SafeText.h"
#include "errors/ErrorMessages.h"

namespace carillon::pkgtool {
namespace {

constexpr std::size_t kColumns = 9;
using Row = std::array<std::string, kColumns>;
const Row kHeadings = {"#", "NAME", "TYPE", "LOCATION", "FAMILY", "VERSION", "SIZE", "CRYPTED", "CRC"};
constexpr std::array<bool, kColumns> kRightAligned = {true, false, false, false, false, true, true, false, false};

std::string Hex16(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value & 0xFFFFu));
    return text;
}

Row DescribeElement(int number, const CElement& e) {
    const char* type = TypeKeyword(e.m_type);
    // The loader fails on a CRC mismatch of an uncrypted element, so a loaded
    // one always matched; crypted data cannot be checked on this side.
    const char* check = e.m_cryptMode == kNotCrypted ? "checked, matches" : "not checked";
    return Row{std::to_string(number),
               e.m_strName.empty() ? "-" : tools::TerminalSafe(e.m_strName),  // the package's bytes
               type != nullptr ? type : std::to_string(e.m_type),
               LocationName(e.m_location),
               ArchiKeyword(e.m_archi),
               std::to_string(e.m_version),
               std::to_string(e.m_size),
               CryptKeyword(e.m_cryptMode),
               Hex16(e.m_crc) + " " + check};
}

void PrintRow(const Row& row, const std::array<std::size_t, kColumns>& widths, std::ostream& out) {
    std::string line;
    for (std::size_t c = 0; c < kColumns; ++c) {
        if (c > 0) line += "  ";
        const std::size_t pad = widths[c] - row[c].size();
        if (c + 1 == kColumns) {
            line += row[c];  // no trailing blanks
        } else if (kRightAligned[c]) {
            line += std::string(pad, ' ') + row[c];
        } else {
            line += row[c] + std::string(pad, ' ');
        }
    }
    out << line << '\n';
}

}  // namespace

std::string DescribeError(ErrorCode code) {
    char text[32];
    std::snprintf(text, sizeof text, "(Error Code=%08Xh) ", static_cast<unsigned>(code));
    return text + GetErrorMessage(code);
}

void PrintElementTable(const CElementList& list, std::ostream& out) {
    std::vector<Row> rows;
    int number = 0;
    for (const auto& element : list.Elements()) rows.push_back(DescribeElement(++number, *element));

    std::array<std::size_t, kColumns> widths{};
    for (std::size_t c = 0; c < kColumns; ++c) {
        widths[c] = kHeadings[c].size();
        for (const Row& row : rows) widths[c] = std::max(widths[c], row[c].size());
    }
    out << "Element count: " << rows.size() << '\n';
    PrintRow(kHeadings, widths, out);
    for (const Row& row : rows) PrintRow(row, widths, out);
}

int PrintPackageInfo(const std::string& path, std::ostream& out, std::ostream& err) {
    CElementList list;
    // The loader states the count only once it has read it; a value it can
    // never hold (counts have four hex digits) tells whether it got there.
    constexpr std::uint32_t kNoCount = 0xFFFFFFFF;
    std::uint32_t count = kNoCount;
    const ErrorCode result = list.LoadPackage(path, &count);
    if (result != kOk) {
        err << "carillon-pkg: " << tools::TerminalSafe(path) << ": ";
        if (count != kNoCount)
            err << "element " << list.GetCount() + 1 << " of " << count << ": ";
        err << DescribeError(result) << '\n';
        return 1;
    }
    PrintElementTable(list, out);
    return 0;
}

}  // namespace carillon::pkgtool
