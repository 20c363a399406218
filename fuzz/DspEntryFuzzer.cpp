// The 64-byte DSP file-table entry reader.

#include "EntryFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using carillon::CElement;
    return carillon::fuzz::FuzzEntry<carillon::kDspEntrySize>(
        data, size, {&CElement::ReadDspEntry, &CElement::WriteDspEntry, 49, carillon::kDspFlash});
}
