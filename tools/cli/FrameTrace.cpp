#include "cli/FrameTrace.h"

#include <string>

#include "sim/Trace.h"

namespace carillon::cli {

void FrameTrace::OnFrame(FrameDirection direction, const std::uint8_t* body, std::size_t length) {
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    const bool sent = direction == FrameDirection::kSent;
    std::string text;
    if (const auto packet = sim::ParseBody(ByteArray(body, body + length))) {
        text = std::string(packet->crcOk ? "crc ok " : "CRC BAD ") +
               (sent ? sim::DescribeRequest(*packet) : sim::DescribeAnswer(*packet));
    } else {
        text = "too short: " + sim::HexBytes(body, length);
    }
    std::lock_guard lock(mutex_);
    std::fprintf(to_, "carillon-cli: trace %11.3f ms %s len=%zu %s\n", ms, sent ? "PC>" : "PR<", length, text.c_str());
    std::fflush(to_);
}

}  // namespace carillon::cli
