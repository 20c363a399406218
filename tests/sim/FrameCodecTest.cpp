#include <gtest/gtest.h>

#include "SimTestSupport.h"

namespace carillon::sim {
namespace {

using testing::Request;

TEST(FrameCodec, InfoRequestAtSequenceZeroHasTheDescribedBodyAndWireForm) {
    const std::uint8_t rest[] = {0x00, 0x41};
    const std::uint16_t crc = ComputeCrc16(0xFFFF, rest, 2);
    const ByteArray body = MakeBody(0, 0x41);
    ASSERT_EQ(body, (ByteArray{static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8), 0x00, 0x41}));
    EXPECT_EQ(MakeFrame(body), carillon::testing::PacketFrame(body));
    EXPECT_EQ(MakeFrame(body), Request(0, 0x41));
}

TEST(FrameCodec, EscapesTheThreeFramingBytes) {
    const ByteArray frame = MakeFrame({0x7D, 0xC0, 0xC1, 0x20});
    EXPECT_EQ(frame, (ByteArray{0xC0, 0x7D, 0x5D, 0x7D, 0xE0, 0x7D, 0xE1, 0x20, 0xC1}));
}

TEST(FrameDecoder, SkipsNoiseRestartsOnStartAndUnescapes) {
    FrameDecoder d;
    std::vector<ByteArray> bodies;
    const ByteArray stream = {0x11, 0x22, 0xC0, 0x01, 0x02, 0xC0, 0x7D, 0x5D, 0x7D, 0xE0, 0x33, 0x44, 0xC1, 0x55};
    for (std::uint8_t b : stream) {
        if (auto body = d.Feed(b)) bodies.push_back(*body);
    }
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0], (ByteArray{0x7D, 0xC0, 0x33, 0x44}));
}

TEST(FrameDecoder, EscapeBeforeAFramingByteLeavesItsFramingMeaning) {
    FrameDecoder d;
    std::optional<ByteArray> body;
    for (std::uint8_t b : ByteArray{0xC0, 0x01, 0x02, 0x03, 0x7D, 0xC1}) body = d.Feed(b);
    ASSERT_TRUE(body);
    EXPECT_EQ(*body, (ByteArray{0x01, 0x02, 0x03}));
}

TEST(FrameDecoder, DropsABodyOverTheLimit) {
    FrameDecoder d;
    d.Feed(0xC0);
    for (std::size_t i = 0; i <= FrameDecoder::kMaxBody; ++i) d.Feed(0x01);
    EXPECT_FALSE(d.Feed(0xC1));
    // The next frame is read again.
    std::optional<ByteArray> body;
    for (std::uint8_t b : Request(1, 0x41)) body = d.Feed(b);
    ASSERT_TRUE(body);
    EXPECT_EQ(ParseBody(*body)->code, 0x41);
}

TEST(ParseBody, ChecksTheCrcAndTheLength) {
    ByteArray body = MakeBody(7, 0x45, {1, 2, 3, 4});
    auto p = ParseBody(body);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->crcOk);
    EXPECT_EQ(p->sequence, 7);
    EXPECT_EQ(p->data, (ByteArray{1, 2, 3, 4}));
    body[5] ^= 1;
    EXPECT_FALSE(ParseBody(body)->crcOk);
    EXPECT_FALSE(ParseBody({1, 2, 3}));
}

}  // namespace
}  // namespace carillon::sim
