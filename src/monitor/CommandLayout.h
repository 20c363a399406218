#pragma once
// How the flash commands look on the wire: each location's command letters
// and address width, the little-endian request parameters, and how a write
// is cut into chunks and data packets. Shared by the commands that talk to
// the monitor and by the recording of the output binary, so that a recorded
// write is cut exactly as a sent one.

#include <algorithm>
#include <cstdint>

#include "monitor/MonitorSession.h"
#include "package/Element.h"

namespace carillon::command_layout {

struct LocationCommands {
    std::uint8_t erase, blankCheck, writeFirst, read, writeNext;
    bool wideAddress;  // u32 addresses in words instead of u16 addresses in bytes
};

inline constexpr LocationCommands kMcu{kCmdEraseMcu, kCmdBlankMcu, kCmdWriteMcu, kCmdReadMcu, kCmdWriteMcuNext, false};
inline constexpr LocationCommands kDsp{kCmdEraseDsp, kCmdBlankDsp, kCmdWriteDsp, kCmdReadDsp, kCmdWriteDspNext, true};
inline constexpr LocationCommands kKiosk{kCmdEraseKiosk, kCmdBlankKiosk, kCmdWriteKiosk, kCmdReadKiosk,
                                         kCmdWriteKioskNext, false};

// A request body holds at most 255 bytes: four of them are CRC, sequence
// number and code, whatever largest packet the monitor announces.
inline constexpr std::uint32_t kMaxDataPerPacket = 251;
inline constexpr std::uint32_t kUsbWriteChunkLimit = 0x8000;

inline const LocationCommands* CommandsFor(std::int32_t location) {
    switch (location) {
        case kMcuFlash: return &kMcu;
        case kDspFlash: return &kDsp;
        case kKioskFlash: return &kKiosk;
        default: return nullptr;
    }
}

inline std::uint32_t BytesPerUnit(std::int32_t location) { return IsWordAddressed(location) ? 2 : 1; }

// Bytes of data in each packet of a write.
inline std::uint32_t DataPacketBytes(std::uint32_t packetSize, std::uint32_t maxPacket) {
    return std::min(packetSize == 0 ? maxPacket : packetSize, kMaxDataPerPacket);
}

// Units in each chunk of a write: large chunks on USB; one packet per answer
// on a serial line, also for word-addressed flash, so that a data packet
// lost on the line can only leave the monitor waiting, never let the next
// packet land in its place.
inline std::uint32_t WriteChunkLimit(bool serial, std::uint32_t maxPacket, std::uint32_t unitBytes) {
    return serial ? std::max<std::uint32_t>(1, std::min(maxPacket, kMaxDataPerPacket) / unitBytes) : kUsbWriteChunkLimit;
}

// The data code of a crypt mode; 0 for a mode no monitor knows.
inline std::uint8_t DataCodeOf(std::int32_t cryptMode) {
    switch (cryptMode) {
        case kNotCrypted: return kDataPlain;
        case kCodeCrypted: return kDataCodeCrypted;
        case kFontCrypted: return kDataFontCrypted;
        default: return 0;
    }
}

// Request parameters, little-endian.
class RequestData {
public:
    void U8(std::uint32_t v) { bytes_[size_++] = static_cast<std::uint8_t>(v); }
    void U16(std::uint32_t v) {
        U8(v);
        U8(v >> 8);
    }
    void U32(std::uint32_t v) {
        U16(v);
        U16(v >> 16);
    }
    // A u16 or u32 address; false when a u16 field cannot hold it.
    bool Address(std::uint32_t address, bool wide) {
        if (wide) {
            U32(address);
            return true;
        }
        if (address > 0xFFFF) return false;
        U16(address);
        return true;
    }
    const std::uint8_t* data() const { return bytes_; }
    std::uint32_t size() const { return size_; }

private:
    std::uint8_t bytes_[8] = {};
    std::uint32_t size_ = 0;
};

// The parameters of a write chunk: address, length and data code for the
// first-chunk form, the length alone for the next-chunk form. False when the
// address does not fit its field.
inline bool WriteRequest(const LocationCommands& cmd, bool first, std::uint32_t address, std::uint32_t length,
                         std::uint8_t dataCode, RequestData& request) {
    if (first && !request.Address(address, cmd.wideAddress)) return false;
    request.U16(length);
    if (first) request.U8(dataCode);
    return true;
}

}  // namespace carillon::command_layout
