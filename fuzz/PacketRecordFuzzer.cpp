// The output binary's parser, which replay trusts before it sends anything:
// a file either parses whole into packets that account for every byte, each
// with a sound CRC and a code replay knows, every write chunk followed by
// exactly its data; or it is refused with no packets and a record and offset
// inside the file.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzCheck.h"
#include "monitor/PacketRecord.h"
#include "package/Crc16.h"

namespace {

using namespace carillon;

void CheckAccepted(const RecordParse& parse, const std::uint8_t* data, std::size_t size) {
    FUZZ_CHECK(parse.record == 0);
    std::size_t at = 0;
    bool dataOwed = false;  // a write request must be followed by its data
    for (const RecordedPacket& p : parse.packets) {
        FUZZ_CHECK(p.offset == at);
        FUZZ_CHECK(p.body.size() >= 4 && p.body.size() == data[at]);
        FUZZ_CHECK(std::equal(p.body.begin(), p.body.end(), data + at + 1));
        const std::uint16_t crc = static_cast<std::uint16_t>(p.body[0] | (p.body[1] << 8));
        FUZZ_CHECK(crc == ComputeCrc16(0xFFFF, p.body.data() + 2, p.body.size() - 2));
        FUZZ_CHECK(p.code == p.body[3]);
        FUZZ_CHECK(IsEraseCommand(p.code) || IsWriteCommand(p.code) || IsDataCode(p.code));
        FUZZ_CHECK(p.location >= 0);
        if (IsDataCode(p.code)) {
            FUZZ_CHECK(dataOwed);
            dataOwed = !p.lastOfChunk;
        } else {
            FUZZ_CHECK(!dataOwed && !p.lastOfChunk);
            dataOwed = IsWriteCommand(p.code);
        }
        at += 1 + p.body.size();
    }
    FUZZ_CHECK(!dataOwed);
    FUZZ_CHECK(at + 1 == size && data[at] == 0);
}

void CheckRefused(const RecordParse& parse, std::size_t size) {
    FUZZ_CHECK(parse.packets.empty());
    FUZZ_CHECK(parse.record >= 1);
    FUZZ_CHECK(parse.offset <= size);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "record %zu at byte %zu: ", parse.record, parse.offset);
    FUZZ_CHECK(parse.error.rfind(prefix, 0) == 0 && parse.error.size() > std::string(prefix).size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const RecordParse parse = ParsePacketRecord(data, size);
    if (parse.ok())
        CheckAccepted(parse, data, size);
    else
        CheckRefused(parse, size);
    return 0;
}
