// The 32-byte MCU / KIOSK file-table entry reader.

#include "EntryFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using carillon::CElement;
    return carillon::fuzz::FuzzEntry<carillon::kMcuEntrySize>(
        data, size, {&CElement::ReadMcuEntry, &CElement::WriteMcuEntry, 22, carillon::kMcuFlash});
}
