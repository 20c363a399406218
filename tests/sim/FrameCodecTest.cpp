#include <gtest/gtest.h>

#include "SimTestSupport.h"

namespace carillon::sim {
namespace {

TEST(FrameCodec, BodiesAndFramesMatchTheOnesWrittenOutByHand) {
    // Sequence 0 and 0x7D in the data put framing bytes into the CRC and the body.
    for (const auto& [sequence, code, data] :
         {std::tuple<std::uint8_t, std::uint8_t, ByteArray>{0, 0x41, {}}, {0xC0, 0x61, {0x7D, 0xC1, 0x00}}}) {
        SCOPED_TRACE(int(sequence));
        const ByteArray body = MakeBody(sequence, code, data);
        EXPECT_EQ(body, carillon::testing::PacketBody(sequence, code, data));
        EXPECT_EQ(MakeFrame(body), carillon::testing::PacketFrame(body));
    }
    const ByteArray frame = MakeFrame({0x7D, 0xC0, 0xC1, 0x20});
    EXPECT_EQ(frame, (ByteArray{0xC0, 0x7D, 0x5D, 0x7D, 0xE0, 0x7D, 0xE1, 0x20, 0xC1}));
}

TEST(FrameDecoder, FindsTheBodiesInAStream) {
    const auto frameOf = [](std::size_t length) {
        ByteArray frame{0xC0};
        frame.resize(length + 1, 0x01);
        frame.push_back(0xC1);
        return frame;
    };
    const std::pair<ByteArray, std::vector<ByteArray>> cases[] = {
        // Noise is skipped, a start byte starts the frame over, escapes are undone.
        {{0x11, 0x22, 0xC0, 0x01, 0x02, 0xC0, 0x7D, 0x5D, 0x7D, 0xE0, 0x33, 0x44, 0xC1, 0x55},
         {{0x7D, 0xC0, 0x33, 0x44}}},
        // An escape before a framing byte leaves it its framing meaning.
        {{0xC0, 0x01, 0x02, 0x03, 0x7D, 0xC1}, {{0x01, 0x02, 0x03}}},
        // A body over the limit is dropped whole; the next frame is read again.
        {testing::Cat({frameOf(FrameDecoder::kMaxBody + 1), {0xC0, 0x05, 0x06, 0xC1}}), {{0x05, 0x06}}},
        {frameOf(FrameDecoder::kMaxBody), {ByteArray(FrameDecoder::kMaxBody, 0x01)}},
    };
    for (const auto& [stream, expected] : cases) {
        SCOPED_TRACE(stream.size());
        FrameDecoder d;
        std::vector<ByteArray> bodies;
        for (std::uint8_t b : stream) {
            if (auto body = d.Feed(b)) bodies.push_back(*body);
        }
        EXPECT_EQ(bodies, expected);
    }
    EXPECT_FALSE(ParseBody({1, 2, 3}));  // too short to hold a CRC, a number and a code
}

}  // namespace
}  // namespace carillon::sim
