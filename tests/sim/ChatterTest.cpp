// Devices that never stop talking: the reads that meet them end on their own,
// with bounded memory.
#include <gtest/gtest.h>

#include <chrono>

#include "ports/SerialPort.h"
#include "ports/SerialPortMap.h"
#include "sim/Chatter.h"
#include "support/PortTestHelpers.h"

namespace carillon::sim {
namespace {

using Clock = std::chrono::steady_clock;

class ChatterTest : public ::testing::TestWithParam<ChatterKind> {};

TEST_P(ChatterTest, ALabelReadAndAWholeProbeEndOnTheirOwn) {
    Chatter chatter(GetParam(), "", "");
    std::string error;
    ASSERT_TRUE(chatter.Start(&error)) << error;
    ScopedSerialPortMap map({{1, chatter.DevicePath()}});
    CSerialPort port;
    SerialPortSettings settings(1, 115200, kHandshakeNone);
    ASSERT_TRUE(port.SetSettings(&settings));
    ASSERT_TRUE(port.Open());
    port.readTimeout = 100;
    const auto start = Clock::now();
    const std::string text = port.ReadString();
    EXPECT_LE(text.size(), CPort::kTextLimit);
    // Text ends at the length cap; zeros end at once, as an empty label.
    EXPECT_EQ(port.lastError, GetParam() == ChatterKind::kText ? kErrPortTextTooLong : kOk);
    EXPECT_LT(Clock::now() - start, CPort::kTextDeadline + std::chrono::milliseconds(200));
    port.Close();

    const ByteArray status{0x10, 0x04, 0x01}, ident{0x1D, 0x49, 0x43}, cancel{0x18};
    EXPECT_EQ(port.IdentifyPrinter(status, ident, cancel, -1), "");
    EXPECT_GT(chatter.Sent(), 0u);
}

INSTANTIATE_TEST_SUITE_P(TextAndZeros, ChatterTest, ::testing::Values(ChatterKind::kText, ChatterKind::kZeros));

}  // namespace
}  // namespace carillon::sim
