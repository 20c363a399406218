// Package loading from a buffer: whatever the bytes, the loader stays inside
// them, keeps only well-formed elements, and the compatibility rules run on
// whatever it kept. The same bytes in a file, read a window at a time, load
// alike. The fast CRC is also held to the bytewise definition.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "package/Crc16.h"
#include "package/ElementList.h"

namespace {

using namespace carillon;

// The same bytes loaded from a file in memory, through the file reader.
void CheckFileLoadsAlike(const std::uint8_t* data, std::size_t size, const CElementList& expected,
                         ErrorCode expectedResult) {
    static const int fd = ::memfd_create("package", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::ftruncate(fd, 0) == 0);
    FUZZ_CHECK(::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    CElementList list;
    FUZZ_CHECK(list.LoadPackage("/proc/self/fd/" + std::to_string(fd)) == expectedResult);
    FUZZ_CHECK(list.GetCount() == expected.GetCount());
    auto other = expected.Elements().begin();
    for (const auto& e : list.Elements()) {
        const CElement& f = **other++;
        FUZZ_CHECK(e->m_strName == f.m_strName && e->m_type == f.m_type && e->m_size == f.m_size &&
                   e->m_crc == f.m_crc && e->m_version == f.m_version && e->m_location == f.m_location);
        FUZZ_CHECK(e->m_size == 0 || std::memcmp(e->m_pData.get(), f.m_pData.get(), e->m_size) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {

    const std::uint16_t initial = size >= 2 ? static_cast<std::uint16_t>(data[0] | (data[1] << 8)) : 0xFFFF;
    FUZZ_CHECK(ComputeCrc16(initial, data, size) == ComputeCrc16Bytewise(initial, data, size));

    CElementList list;
    constexpr std::uint32_t kNoCount = 0xFFFFFFFF;
    std::uint32_t count = kNoCount;
    const ErrorCode result = list.LoadPackageBuffer(data, size, &count);
    FUZZ_CHECK(list.m_lastError == result);
    FUZZ_CHECK(count == kNoCount || count <= 0xFFFF);
    if (result == kOk) {
        FUZZ_CHECK(static_cast<std::uint32_t>(list.GetCount()) == count);
    } else {
        FUZZ_CHECK(list.GetCount() == 0 || static_cast<std::uint32_t>(list.GetCount()) < count);
    }

    for (const auto& e : list.Elements()) {
        FUZZ_CHECK(e->m_status == kOk);
        FUZZ_CHECK(e->m_size % 4 == 0);
        FUZZ_CHECK((e->m_size == 0) == (e->m_pData == nullptr));
        FUZZ_CHECK(e->m_size <= size);
        if (e->m_cryptMode == kNotCrypted) FUZZ_CHECK(ComputeCrc16(0xFFFF, e->m_pData.get(), e->m_size) == e->m_crc);
    }

    CheckFileLoadsAlike(data, size, list, result);

    for (std::int32_t archi = kArchiUnknown; archi <= kArchiKiosk; ++archi) {
        list.m_archi = archi;
        const ErrorCode check = list.CheckPackage();
        FUZZ_CHECK(check == kOk || (check & 0xFFFF0000u) == 0x00060000u);
        FUZZ_CHECK(list.CountIncompatible(false, false) <= list.GetCount());
    }
    list.m_archi = kArchiNdx;
    FUZZ_CHECK(list.RemoveUnusable() == kOk);
    list.CountIncompatible(true, false);
    for (const auto& e : list.Elements()) {
        FUZZ_CHECK(e->m_archi == kArchiNdx);
        FUZZ_CHECK(e->m_type > kTypeIndex && e->m_type < kElementTypeCount);
    }
    FUZZ_CHECK(list.AddParameterElements() == kOk);
    return 0;
}
