#pragma once
// Number reading with the C library's scanf rules, which the package and
// setup file formats were defined with: leading blanks are skipped and the
// scan stops at the first character that does not fit ("12abc" is 12).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace carillon {

// "%d": optional sign, then decimal digits. Out-of-range values saturate to
// the 64-bit range and then keep their low 32 bits, as the C library does.
std::optional<std::int32_t> ScanDecimal(std::string_view text);

// "%x" with a maximum field width: 1 to maxDigits hexadecimal digits, either
// case, no sign and no prefix.
std::optional<std::uint32_t> ScanHex(std::string_view text, std::size_t maxDigits);

// prefix followed by ScanHex: "0x%04X" is ScanPrefixedHex(text, "0x", 4).
std::optional<std::uint32_t> ScanPrefixedHex(std::string_view text, std::string_view prefix, std::size_t maxDigits);

}  // namespace carillon
