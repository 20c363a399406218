#include "package/ScanNumber.h"

#include <limits>

namespace carillon {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::int32_t> ScanDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;

    constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t magnitude = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (saturated) continue;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > kLimit) saturated = true;
    }
    std::int64_t value;
    if (saturated) {
        value = negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    } else {
        value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

std::optional<std::uint32_t> ScanHex(std::string_view text, std::size_t maxDigits) {
    std::uint32_t value = 0;
    std::size_t digits = 0;
    while (digits < text.size() && digits < maxDigits) {
        int d = HexDigit(text[digits]);
        if (d < 0) break;
        value = (value << 4) | static_cast<std::uint32_t>(d);
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return value;
}

std::optional<std::uint32_t> ScanPrefixedHex(std::string_view text, std::string_view prefix, std::size_t maxDigits) {
    if (text.substr(0, prefix.size()) != prefix) return std::nullopt;
    return ScanHex(text.substr(prefix.size()), maxDigits);
}

}  // namespace carillon
