#include "common/SafeText.h"

#include <cstdint>
#include <cstdio>

namespace carillon::tools {
namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0 when the
// byte there starts none (overlong forms and surrogates included).
std::size_t SequenceLength(const std::string& text, std::size_t at, char32_t* codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    char32_t value;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *codePoint = value;
    return length;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendEscaped(std::string& out, unsigned value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", value & 0xFF);
    out += hex;
}

}  // namespace

std::string TerminalSafe(const std::string& text, bool keepNewlines) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const std::size_t length = SequenceLength(text, at, &c);
        if (length == 0) {
            AppendEscaped(out, static_cast<unsigned char>(text[at++]));
            continue;
        }
        if (c == '\n' && keepNewlines) {
            out += '\n';
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            if (c < 0x80) AppendEscaped(out, static_cast<unsigned>(c));
            else for (std::size_t i = 0; i < length; ++i) AppendEscaped(out, static_cast<unsigned char>(text[at + i]));
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out;
}

std::string ValidUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const std::size_t length = SequenceLength(text, at, &c);
        if (length == 0) {
            AppendUtf8(out, static_cast<unsigned char>(text[at++]));  // Latin-1: the byte is the code point
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

}  // namespace carillon::tools
