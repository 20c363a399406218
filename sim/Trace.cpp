#include "sim/Trace.h"

#include <cstdio>

#include "sim/FlashLayout.h"

namespace carillon::sim {
namespace {

const char* LocationText(int loc) {
    switch (loc) {
        case kLocMcu: return "MCU";
        case kLocDsp: return "DSP";
        case kLocKiosk: return "KIOSK";
    }
    return "-";
}

const char* KindText(CommandKind kind) {
    switch (kind) {
        case CommandKind::kLeave: return "leave monitor";
        case CommandKind::kInfo: return "monitor info";
        case CommandKind::kErase: return "erase";
        case CommandKind::kBlankCheck: return "blank check";
        case CommandKind::kWriteFirst: return "write first chunk";
        case CommandKind::kWriteNext: return "write next chunk";
        case CommandKind::kRead: return "read";
        case CommandKind::kGeometry: return "geometry";
        case CommandKind::kData: return "data";
        case CommandKind::kUnknown: return "unknown command";
    }
    return "?";
}

std::uint32_t Le(const ByteArray& d, std::size_t at, std::size_t bytes) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < bytes && at + i < d.size(); ++i) v |= static_cast<std::uint32_t>(d[at + i]) << (8 * i);
    return v;
}

}  // namespace

CommandInfo ClassifyCommand(std::uint8_t code) {
    switch (code) {
        case 0x40: return {CommandKind::kLeave, -1};
        case 0x41: return {CommandKind::kInfo, -1};
        case 0x48: return {CommandKind::kGeometry, kLocDsp};
        case 0x61:
        case 0x62:
        case 0x63: return {CommandKind::kData, -1};
    }
    // B..F for the MCU flash, I..M for the DSP flash, N..R for the kiosk board.
    static const CommandKind kinds[] = {CommandKind::kErase, CommandKind::kBlankCheck, CommandKind::kWriteFirst,
                                        CommandKind::kRead, CommandKind::kWriteNext};
    if (code >= 0x42 && code <= 0x46) return {kinds[code - 0x42], kLocMcu};
    if (code >= 0x49 && code <= 0x4D) return {kinds[code - 0x49], kLocDsp};
    if (code >= 0x4E && code <= 0x52) return {kinds[code - 0x4E], kLocKiosk};
    return {};
}

std::string HexBytes(const std::uint8_t* data, std::size_t length, std::size_t max) {
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < length && i < max; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", data[i]);
        s += b;
    }
    if (length > max) s += " ...";
    return s;
}

std::string DescribeRequest(const Packet& p) {
    CommandInfo info = ClassifyCommand(p.code);
    char text[160];
    int n = std::snprintf(text, sizeof text, "seq=%u code=0x%02X '%c' %s", p.sequence, p.code,
                          p.code >= 0x20 && p.code < 0x7F ? p.code : '?', KindText(info.kind));
    std::string s(text, static_cast<std::size_t>(n));
    if (info.location >= 0 && info.kind != CommandKind::kGeometry) s += std::string(" ") + LocationText(info.location);
    const std::size_t addrBytes = info.location == kLocDsp ? 4 : 2;
    switch (info.kind) {
        case CommandKind::kErase:
            std::snprintf(text, sizeof text, " address=0x%X", Le(p.data, 0, addrBytes));
            s += text;
            break;
        case CommandKind::kBlankCheck:
        case CommandKind::kRead:
            std::snprintf(text, sizeof text, " address=0x%X length=%u", Le(p.data, 0, addrBytes),
                          Le(p.data, addrBytes, 2));
            s += text;
            break;
        case CommandKind::kWriteFirst:
            std::snprintf(text, sizeof text, " address=0x%X length=%u data code=0x%02X", Le(p.data, 0, addrBytes),
                          Le(p.data, addrBytes, 2), Le(p.data, addrBytes + 2, 1));
            s += text;
            break;
        case CommandKind::kWriteNext:
            std::snprintf(text, sizeof text, " length=%u", Le(p.data, 0, 2));
            s += text;
            break;
        case CommandKind::kData:
            std::snprintf(text, sizeof text, " %zu bytes", p.data.size());
            s += text;
            break;
        default:
            if (!p.data.empty()) s += " data " + HexBytes(p.data);
    }
    if (!p.crcOk) s += " BAD CRC";
    return s;
}

std::string DescribeAnswer(const Packet& p) {
    char text[96];
    if (p.code == 0xFF) {
        std::snprintf(text, sizeof text, "seq=%u ANS_FAILURE flags=0x%02X payload %zu bytes", p.sequence,
                      p.data.empty() ? 0 : p.data[0], p.data.size());
    } else {
        std::snprintf(text, sizeof text, "seq=%u answer=0x%02X %zu bytes", p.sequence, p.code, p.data.size());
    }
    std::string s = text;
    if (!p.data.empty() && p.code != 0xFF) s += ": " + HexBytes(p.data);
    return s;
}

}  // namespace carillon::sim
