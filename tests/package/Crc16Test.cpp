#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "package/Crc16.h"
#include "package/Crc16Paths.h"

namespace carillon {
namespace {

const std::uint8_t kDigits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(Crc16, MatchesTheCatalogueCheckValues) {
    // The definition; every faster path is held to it below.
    EXPECT_EQ(ComputeCrc16Bytewise(0xFFFF, kDigits, sizeof kDigits), 0x6F91);  // CRC-16/MCRF4XX
    EXPECT_EQ(ComputeCrc16Bytewise(0x0000, kDigits, sizeof kDigits), 0x2189);  // CRC-16/KERMIT
}

struct CrcPath {
    const char* name;
    std::uint16_t (*crc)(std::uint16_t, const std::uint8_t*, std::size_t);
};

// Every way the CRC can run on this machine; the folding path only where the
// processor has carry-less multiplication.
std::vector<CrcPath> Paths() {
    std::vector<CrcPath> paths = {{"ComputeCrc16", ComputeCrc16}, {"sliced", crc16::Sliced}};
    if (crc16::HasClmul()) paths.push_back({"clmul", crc16::Clmul});
    return paths;
}

// Lengths up to 520 at every alignment cover the folding path's 64-byte main
// loop, its 16-byte blocks and its byte tail, and the switch between paths;
// a few long inputs cover the blocks that the paths fold in turn.
TEST(Crc16, EveryPathEqualsTheDefinitionAtEveryLengthAndAlignment) {
    std::mt19937 rng(7);
    std::vector<std::uint8_t> random((1u << 20) + 100), zeros(520 + 16, 0x00), ones(520 + 16, 0xFF);
    for (auto& b : random) b = static_cast<std::uint8_t>(rng());
    for (const CrcPath& path : Paths()) {
        for (const auto* data : {&random, &zeros, &ones}) {
            for (std::size_t offset = 0; offset < 16; ++offset) {
                for (std::size_t length = 0; length <= 520; ++length) {
                    const auto initial = static_cast<std::uint16_t>(rng());
                    const std::uint8_t* p = data->data() + offset;
                    ASSERT_EQ(path.crc(initial, p, length), ComputeCrc16Bytewise(initial, p, length))
                        << path.name << " offset " << offset << " length " << length << " initial " << initial;
                }
            }
        }
        for (std::size_t length : {std::size_t{1} << 20, (std::size_t{1} << 20) + 63, std::size_t{65536 + 17}})
            EXPECT_EQ(path.crc(0xFFFF, random.data() + 3, length), ComputeCrc16Bytewise(0xFFFF, random.data() + 3, length))
                << path.name << " length " << length;
    }
}

}  // namespace
}  // namespace carillon
