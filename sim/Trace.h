#pragma once
// Readable one-line descriptions of monitor packets, for --trace.

#include <string>

#include "platform/ByteArray.h"
#include "sim/FrameCodec.h"

namespace carillon::sim {

// Kind and location of a monitor command code.
enum class CommandKind { kLeave, kInfo, kErase, kBlankCheck, kWriteFirst, kWriteNext, kRead, kGeometry, kData, kUnknown };
struct CommandInfo {
    CommandKind kind = CommandKind::kUnknown;
    int location = -1;
};
CommandInfo ClassifyCommand(std::uint8_t code);

std::string DescribeRequest(const Packet& request);
std::string DescribeAnswer(const Packet& answer);
std::string HexBytes(const std::uint8_t* data, std::size_t length, std::size_t max = 16);
inline std::string HexBytes(const ByteArray& data, std::size_t max = 16) { return HexBytes(data.data(), data.size(), max); }

}  // namespace carillon::sim
