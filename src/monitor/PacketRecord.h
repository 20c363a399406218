#pragma once
// The record of sent packets (the ".VRK_Package.bin" output binary): a
// length byte and the packet body for every erase and write request sent,
// then a single 0x00. It is checked whole before any of it is replayed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteArray.h"

namespace carillon {

struct RecordedPacket {
    std::size_t offset = 0;  // of its length byte in the file
    ByteArray body;          // CRC, sequence number, code, data
    std::uint8_t code = 0;
    bool lastOfChunk = false;  // the data packet that completes a write chunk
    std::int32_t location = -1;
};

struct RecordParse {
    std::vector<RecordedPacket> packets;
    std::string error;       // empty when the whole file is sound
    std::size_t record = 0;  // 1-based record the error is in (0: none)
    std::size_t offset = 0;  // byte offset of that record (or of the fault)
    bool ok() const { return error.empty(); }
};

// Appends one record: the length byte, then the body with its CRC.
void AppendPacketRecord(ByteArray& record, std::uint8_t sequence, std::uint8_t code, const std::uint8_t* data,
                        std::uint32_t n);

RecordParse ParsePacketRecord(const std::uint8_t* data, std::size_t size);

// The commands a record may hold.
bool IsEraseCommand(std::uint8_t code);
bool IsWriteCommand(std::uint8_t code);
bool IsDataCode(std::uint8_t code);

}  // namespace carillon
