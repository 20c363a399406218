#pragma once
// --trace: every monitor frame both ways, timestamped and decoded, as the
// virtual printer traces them from its side.

#include <chrono>
#include <cstdio>
#include <mutex>

#include "monitor/FrameObserver.h"

namespace carillon::cli {

class FrameTrace : public FrameObserver {
public:
    explicit FrameTrace(std::FILE* to) : to_(to), start_(std::chrono::steady_clock::now()) {}

    // "carillon-cli: trace  12.345 ms PC> len=6 crc ok seq=0 code=0x41 'A' monitor info"
    void OnFrame(FrameDirection direction, const std::uint8_t* body, std::size_t length) override;

private:
    std::mutex mutex_;
    std::FILE* to_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace carillon::cli
