#pragma once
// Shared by the two file-table entry fuzzers: reading any entry succeeds and
// keeps the fields in range, and an entry written from what was read reads
// back to the same element and writes the same bytes again.

#include <array>
#include <cstdint>
#include <cstring>

#include "FuzzCheck.h"
#include "package/Element.h"

namespace carillon::fuzz {

struct EntryCodec {
    ErrorCode (CElement::*read)(const std::uint8_t*);
    ErrorCode (CElement::*write)(std::uint8_t*);
    std::size_t maxName;
    std::int32_t location;
};

template <std::size_t N>
int FuzzEntry(const std::uint8_t* data, std::size_t size, const EntryCodec& form) {
    std::array<std::uint8_t, N> entry{};
    std::memcpy(entry.data(), data, size < N ? size : N);

    CElement e;
    FUZZ_CHECK((e.*form.read)(entry.data()) == kOk);
    FUZZ_CHECK(e.m_location == form.location);
    FUZZ_CHECK(e.m_strName.size() <= form.maxName);
    FUZZ_CHECK(e.m_strName.find('\0') == std::string::npos);
    FUZZ_CHECK(e.m_type >= kTypeInvalid && e.m_type < kElementTypeCount);
    FUZZ_CHECK(e.m_cryptFlag == 0 || e.m_cryptFlag == 1);
    FUZZ_CHECK(e.m_crc <= 0xFFFF);

    std::array<std::uint8_t, N> once{}, twice{};
    if (e.m_type == kTypeInvalid) {
        FUZZ_CHECK((e.*form.write)(once.data()) == kErrPkgUnknownType);
        return 0;
    }
    FUZZ_CHECK((e.*form.write)(once.data()) == kOk);
    FUZZ_CHECK(once[N - 1] == 0);

    CElement back;
    FUZZ_CHECK((back.*form.read)(once.data()) == kOk);
    FUZZ_CHECK(back.m_type == e.m_type && back.m_crc == e.m_crc && back.m_address == e.m_address &&
               back.m_size == e.m_size && back.m_version == e.m_version && back.m_strName == e.m_strName);
    // The codes of MONITOR to UNKNOWN_FILE hold the flag bit themselves, so
    // their flag can only come back set.
    if (e.m_type < kTypeMonitor) FUZZ_CHECK(back.m_cryptFlag == e.m_cryptFlag);
    FUZZ_CHECK((back.*form.write)(twice.data()) == kOk);
    FUZZ_CHECK(once == twice);
    return 0;
}

}  // namespace carillon::fuzz
