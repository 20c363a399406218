#include "package/Crc16.h"

#include <array>
#include <cstring>

#include "package/Crc16Paths.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CARILLON_CRC16_CLMUL 1
#endif

namespace carillon {
namespace {

constexpr std::size_t kSlices = 16;

// kTables[k][b]: the CRC change that byte b causes when k zero bytes follow it.
using CrcTables = std::array<std::array<std::uint16_t, 256>, kSlices>;

constexpr CrcTables MakeTables() {
    CrcTables t{};
    for (unsigned b = 0; b < 256; ++b) {
        std::uint16_t crc = static_cast<std::uint16_t>(b);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408u) : static_cast<std::uint16_t>(crc >> 1);
        t[0][b] = crc;
    }
    for (std::size_t k = 1; k < kSlices; ++k)
        for (unsigned b = 0; b < 256; ++b)
            t[k][b] = static_cast<std::uint16_t>((t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFFu]);
    return t;
}

constexpr CrcTables kTables = MakeTables();

inline std::uint16_t StepByte(std::uint16_t crc, std::uint8_t b) {
    return static_cast<std::uint16_t>((crc >> 8) ^ kTables[0][(crc ^ b) & 0xFFu]);
}

#ifdef CARILLON_CRC16_CLMUL

// x^n mod P, P = x^16 + x^12 + x^5 + 1, with the coefficient of x^d in bit d.
constexpr std::uint64_t XPowerModP(unsigned n) {
    std::uint32_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r & 0x10000u) r ^= 0x11021u;
    }
    return r;
}

// The reflected order of the data: the coefficient of x^d in bit 63 - d.
constexpr std::uint64_t Reflect64(std::uint64_t v) {
    std::uint64_t r = 0;
    for (int i = 0; i < 64; ++i)
        if ((v >> i) & 1u) r |= std::uint64_t{1} << (63 - i);
    return r;
}

// A 16-byte block loaded little-endian holds, in bit b, the coefficient of
// x^(127-b) of the block's polynomial: its low half is the high-degree half.
// Moving the block `bits` further along the message multiplies that half by
// x^(64+bits) and the other by x^bits, both reduced mod P. Each power is one
// less than that because a reflected carry-less product lands one bit low.
struct FoldConstants {
    std::uint64_t forLowHalf, forHighHalf;
};
constexpr FoldConstants Fold(unsigned bits) { return {Reflect64(XPowerModP(64 + bits - 1)), Reflect64(XPowerModP(bits - 1))}; }

constexpr FoldConstants kFold512 = Fold(512), kFold384 = Fold(384), kFold256 = Fold(256), kFold128 = Fold(128);

// Below this the lookup tables are as fast.
constexpr std::size_t kClmulMinLength = 128;

__attribute__((target("pclmul,sse4.1"))) inline __m128i Constants(const FoldConstants& k) {
    return _mm_set_epi64x(static_cast<long long>(k.forHighHalf), static_cast<long long>(k.forLowHalf));
}

// Products of a 64-bit half and a 16-bit remainder span at most 79 bits, so
// a folded block stays within 128 bits.
__attribute__((target("pclmul,sse4.1"))) inline __m128i FoldBlock(__m128i block, __m128i constants) {
    return _mm_xor_si128(_mm_clmulepi64_si128(block, constants, 0x00), _mm_clmulepi64_si128(block, constants, 0x11));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("pclmul,sse4.1"))) std::uint16_t ClmulCrc(std::uint16_t initial, const std::uint8_t* p,
                                                                 std::size_t length) {
    // With no final XOR, a CRC started at `initial` is the CRC started at 0
    // of the data whose first two bytes carry `initial`. From 0, the CRC of
    // the data depends only on the data's polynomial mod P, so the data can
    // be folded down to one 16-byte block with the same remainder.
    __m128i a0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(initial));
    __m128i a1 = Load(p + 16), a2 = Load(p + 32), a3 = Load(p + 48);
    p += 64;
    length -= 64;
    const __m128i k512 = Constants(kFold512);
    while (length >= 64) {
        a0 = _mm_xor_si128(FoldBlock(a0, k512), Load(p));
        a1 = _mm_xor_si128(FoldBlock(a1, k512), Load(p + 16));
        a2 = _mm_xor_si128(FoldBlock(a2, k512), Load(p + 32));
        a3 = _mm_xor_si128(FoldBlock(a3, k512), Load(p + 48));
        p += 64;
        length -= 64;
    }
    __m128i r = _mm_xor_si128(_mm_xor_si128(FoldBlock(a0, Constants(kFold384)), FoldBlock(a1, Constants(kFold256))),
                              _mm_xor_si128(FoldBlock(a2, Constants(kFold128)), a3));
    const __m128i k128 = Constants(kFold128);
    while (length >= 16) {
        r = _mm_xor_si128(FoldBlock(r, k128), Load(p));
        p += 16;
        length -= 16;
    }
    alignas(16) std::uint8_t folded[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(folded), r);
    return crc16::Sliced(crc16::Sliced(0, folded, sizeof folded), p, length);
}

#endif  // CARILLON_CRC16_CLMUL

using CrcRoutine = std::uint16_t (*)(std::uint16_t, const std::uint8_t*, std::size_t);

CrcRoutine SelectRoutine() { return crc16::HasClmul() ? crc16::Clmul : crc16::Sliced; }

}  // namespace

namespace crc16 {

std::uint16_t Sliced(std::uint16_t initial, const std::uint8_t* bytes, std::size_t length) {
    std::uint16_t crc = initial;
    const std::uint8_t* p = bytes;
    // Sixteen bytes per step: the running CRC only touches the first two.
    while (length >= kSlices) {
        const unsigned b0 = p[0] ^ (crc & 0xFFu);
        const unsigned b1 = p[1] ^ (crc >> 8);
        crc = static_cast<std::uint16_t>(
            kTables[15][b0] ^ kTables[14][b1] ^ kTables[13][p[2]] ^ kTables[12][p[3]] ^
            kTables[11][p[4]] ^ kTables[10][p[5]] ^ kTables[9][p[6]] ^ kTables[8][p[7]] ^
            kTables[7][p[8]] ^ kTables[6][p[9]] ^ kTables[5][p[10]] ^ kTables[4][p[11]] ^
            kTables[3][p[12]] ^ kTables[2][p[13]] ^ kTables[1][p[14]] ^ kTables[0][p[15]]);
        p += kSlices;
        length -= kSlices;
    }
    while (length-- > 0) crc = StepByte(crc, *p++);
    return crc;
}

bool HasClmul() {
#ifdef CARILLON_CRC16_CLMUL
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
#else
    return false;
#endif
}

std::uint16_t Clmul(std::uint16_t initial, const std::uint8_t* bytes, std::size_t length) {
#ifdef CARILLON_CRC16_CLMUL
    if (length >= kClmulMinLength) return ClmulCrc(initial, bytes, length);
#endif
    return Sliced(initial, bytes, length);
}

}  // namespace crc16

std::uint16_t ComputeCrc16Bytewise(std::uint16_t initial, const std::uint8_t* bytes, std::size_t length) {
    unsigned crc = initial;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned x = (bytes[i] ^ (crc & 0xFFu)) & 0xFFu;
        x = (x ^ (x << 4)) & 0xFFu;
        crc = ((x << 8) | (crc >> 8)) ^ (x >> 4) ^ (x << 3);
        crc &= 0xFFFFu;
    }
    return static_cast<std::uint16_t>(crc);
}

std::uint16_t ComputeCrc16(std::uint16_t initial, const std::uint8_t* bytes, std::size_t length) {
    static const CrcRoutine routine = SelectRoutine();
    return routine(initial, bytes, length);
}

}  // namespace carillon
