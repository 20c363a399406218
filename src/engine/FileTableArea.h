#pragma once
// Decoding of one location's file-table area, apart from the monitor that
// reads it, so that the engine and the robustness checks share one reader.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "errors/ErrorCode.h"
#include "package/Element.h"

namespace carillon {

// Bytes of the table area read from the printer: 0x380 for the 32-byte
// entries of MCU_FLASH and KIOSK_FLASH, 0x800 words for DSP_FLASH.
std::size_t FileTableAreaBytes(EntryForm form);

struct DecodedTable {
    ErrorCode result = kOk;
    // The index entry and the CRC of the file entries held, so the file
    // entries were read: they replace the location's elements even when the
    // end entry is then missing.
    bool entriesRead = false;
    std::vector<std::unique_ptr<CElement>> elements;  // m_location set, m_saved = 1
};

// Decodes an area of FileTableAreaBytes(form) bytes. On 0x00030003,
// 0x00030006 or 0x00030011 no element is delivered; on 0x00030004 the file
// entries are.
DecodedTable DecodeFileTableArea(const std::uint8_t* area, EntryForm form, std::int32_t location);

}  // namespace carillon
