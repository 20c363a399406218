#include "monitor/PacketRecord.h"

#include <cstdio>

#include "monitor/MonitorSession.h"
#include "package/Crc16.h"
#include "package/Element.h"

namespace carillon {
namespace {

struct CommandShape {
    std::uint8_t code;
    std::size_t parameters;  // bytes of request data
    bool first;              // a first chunk: address, length, data code
    std::int32_t location;
};

constexpr CommandShape kShapes[] = {
    {kCmdEraseMcu, 2, false, kMcuFlash},   {kCmdEraseDsp, 4, false, kDspFlash},    {kCmdEraseKiosk, 2, false, kKioskFlash},
    {kCmdWriteMcu, 5, true, kMcuFlash},    {kCmdWriteDsp, 7, true, kDspFlash},     {kCmdWriteKiosk, 5, true, kKioskFlash},
    {kCmdWriteMcuNext, 2, false, kMcuFlash}, {kCmdWriteDspNext, 2, false, kDspFlash}, {kCmdWriteKioskNext, 2, false, kKioskFlash},
};

const CommandShape* ShapeOf(std::uint8_t code) {
    for (const CommandShape& s : kShapes)
        if (s.code == code) return &s;
    return nullptr;
}

std::string Format(const char* format, unsigned a, unsigned b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

void AppendPacketRecord(ByteArray& record, std::uint8_t sequence, std::uint8_t code, const std::uint8_t* data,
                        std::uint32_t n) {
    const std::uint8_t seqAndCode[2] = {sequence, code};
    const std::uint16_t crc = ComputeCrc16(ComputeCrc16(0xFFFF, seqAndCode, 2), data, n);
    record.push_back(static_cast<std::uint8_t>(4 + n));
    record.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    record.push_back(static_cast<std::uint8_t>(crc >> 8));
    record.push_back(sequence);
    record.push_back(code);
    if (n > 0) record.insert(record.end(), data, data + n);
}

bool IsEraseCommand(std::uint8_t code) { return code == kCmdEraseMcu || code == kCmdEraseDsp || code == kCmdEraseKiosk; }

bool IsWriteCommand(std::uint8_t code) {
    const CommandShape* s = ShapeOf(code);
    return s != nullptr && !IsEraseCommand(code);
}

bool IsDataCode(std::uint8_t code) { return code == kDataPlain || code == kDataCodeCrypted || code == kDataFontCrypted; }

RecordParse ParsePacketRecord(const std::uint8_t* data, std::size_t size) {
    RecordParse parse;
    auto fail = [&](std::size_t record, std::size_t offset, const std::string& what) {
        parse.packets.clear();
        parse.record = record;
        parse.offset = offset;
        parse.error = Format("record %u at byte %u: ", static_cast<unsigned>(record), static_cast<unsigned>(offset)) + what;
        return parse;
    };

    std::size_t at = 0, record = 0;
    std::size_t chunkBytesDue = 0;  // data still owed to the write chunk in progress
    std::int32_t chunkLocation = -1;
    std::size_t chunkRecord = 0, chunkOffset = 0;  // where that chunk's request stands
    while (at < size && data[at] != 0) {
        ++record;
        const std::size_t length = data[at];
        if (length < 4) return fail(record, at, Format("a body of %u bytes is shorter than CRC, sequence and code", static_cast<unsigned>(length)));
        if (at + 1 + length > size) return fail(record, at, "the file ends inside this record");
        const std::uint8_t* body = data + at + 1;
        const std::uint16_t crc = static_cast<std::uint16_t>(body[0] | (body[1] << 8));
        if (crc != ComputeCrc16(0xFFFF, body + 2, length - 2)) return fail(record, at, "the body's CRC is wrong");

        RecordedPacket packet{at, ByteArray(body, body + length), body[3]};
        const std::size_t n = length - 4;
        if (IsDataCode(packet.code)) {
            if (chunkBytesDue == 0) return fail(record, at, "a data packet without a write request before it");
            if (n > chunkBytesDue)
                return fail(record, at, Format("a data packet of %u bytes where the chunk needs only %u more", static_cast<unsigned>(n),
                                               static_cast<unsigned>(chunkBytesDue)));
            chunkBytesDue -= n;
            packet.lastOfChunk = chunkBytesDue == 0;
            packet.location = chunkLocation;
        } else {
            const CommandShape* shape = ShapeOf(packet.code);
            if (shape == nullptr)
                return fail(record, at, Format("code 0x%02X is neither an erase, a write nor data", packet.code));
            if (chunkBytesDue != 0)
                return fail(record, at, Format("a request while the write chunk still needs %u bytes of data", static_cast<unsigned>(chunkBytesDue)));
            if (n != shape->parameters)
                return fail(record, at, Format("command '%c' carries %u bytes of parameters", packet.code, static_cast<unsigned>(n)));
            packet.location = shape->location;
            if (IsWriteCommand(packet.code)) {
                const std::size_t lengthAt = 4 + (shape->first ? (shape->location == kDspFlash ? 4 : 2) : 0);
                const std::size_t units = body[lengthAt] | (body[lengthAt + 1] << 8);
                chunkBytesDue = units * (IsWordAddressed(shape->location) ? 2 : 1);
                chunkLocation = shape->location;
                chunkRecord = record;
                chunkOffset = at;
                if (chunkBytesDue == 0) return fail(record, at, "a write chunk of no data");
            }
        }
        parse.packets.push_back(std::move(packet));
        at += 1 + length;
    }
    if (chunkBytesDue != 0)
        return fail(chunkRecord, chunkOffset,
                    Format("the file ends with %u bytes of this write chunk missing", static_cast<unsigned>(chunkBytesDue)));
    if (at >= size) return fail(record + 1, at, "the final 0x00 is missing");
    if (at + 1 != size) return fail(record + 1, at, Format("%u bytes follow the final 0x00", static_cast<unsigned>(size - at - 1)));
    return parse;
}

}  // namespace carillon
