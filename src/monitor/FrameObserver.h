#pragma once
// Sees every frame a monitor session sends or receives, as for a trace. The
// session looks for an observer once per frame and does nothing more when
// none is attached.

#include <cstddef>
#include <cstdint>

namespace carillon {

enum class FrameDirection { kSent, kReceived };

class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    // body: the frame's body without its framing and escapes (CRC, sequence
    // number, code, data). Called on the session's thread.
    virtual void OnFrame(FrameDirection direction, const std::uint8_t* body, std::size_t length) = 0;
};

}  // namespace carillon
