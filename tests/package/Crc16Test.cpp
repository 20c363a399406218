#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "package/Crc16.h"

namespace carillon {
namespace {

const std::uint8_t kDigits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(Crc16, MatchesTheCatalogueCheckValues) {
    EXPECT_EQ(ComputeCrc16(0xFFFF, kDigits, sizeof kDigits), 0x6F91);  // CRC-16/MCRF4XX
    EXPECT_EQ(ComputeCrc16(0x0000, kDigits, sizeof kDigits), 0x2189);  // CRC-16/KERMIT
    EXPECT_EQ(ComputeCrc16Bytewise(0xFFFF, kDigits, sizeof kDigits), 0x6F91);
    EXPECT_EQ(ComputeCrc16Bytewise(0x0000, kDigits, sizeof kDigits), 0x2189);
}

TEST(Crc16, EmptyInputReturnsTheInitialValue) {
    for (unsigned initial : {0x0000u, 0xFFFFu, 0x1234u, 0x8408u})
        EXPECT_EQ(ComputeCrc16(static_cast<std::uint16_t>(initial), nullptr, 0), initial);
}

TEST(Crc16, EqualsTheBytewiseDefinitionOnRandomInput) {
    std::mt19937 rng(20261206);
    std::vector<std::uint8_t> data(4096 + 37);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    std::uniform_int_distribution<std::size_t> offset(0, 31), length(0, 4096);
    for (int round = 0; round < 2000; ++round) {
        auto initial = static_cast<std::uint16_t>(rng());
        std::size_t off = offset(rng), len = length(rng);
        ASSERT_EQ(ComputeCrc16(initial, data.data() + off, len),
                  ComputeCrc16Bytewise(initial, data.data() + off, len))
            << "offset " << off << " length " << len << " initial " << initial;
    }
}

TEST(Crc16, ChainsAcrossSplitPoints) {
    std::vector<std::uint8_t> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const std::uint16_t whole = ComputeCrc16(0xFFFF, data.data(), data.size());
    for (std::size_t split : {1u, 15u, 16u, 17u, 500u, 999u})
        EXPECT_EQ(ComputeCrc16(ComputeCrc16(0xFFFF, data.data(), split), data.data() + split, data.size() - split),
                  whole);
}

}  // namespace
}  // namespace carillon
