#pragma once
// The printer's boot monitor: it takes request packets, works on the flash
// and queues answer frames. One answer per request, except that the data
// packets of a write get none of their own (the write chunk gets one after
// its last unit), reads answer in as many packets as the data needs, and
// the DSP geometry answers once more per sector.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/ByteArray.h"
#include "sim/Config.h"
#include "sim/Faults.h"
#include "sim/FrameCodec.h"
#include "sim/StartingImage.h"

namespace carillon::sim {

constexpr std::uint8_t kAnswerPositive = 0x00;
constexpr std::uint8_t kAnswerFailure = 0xFF;

// Flags of the printer's ANS_FAILURE answers. 0 on a blank check means
// "not blank".
enum FailureFlags : std::uint8_t {
    kFlagNotBlank = 0x00,
    kFlagUnknownCommand = 0x01,
    kFlagBadRequest = 0x02,     // wrong request length, data code or sector address
    kFlagNotErased = 0x04,      // programming over bytes that are not erased
    kFlagDataMismatch = 0x08,   // a data packet whose code is not the chunk's
    kFlagLocationAbsent = 0x10,
    kFlagOutOfRange = 0x40,
};

struct Counters {
    std::uint32_t requests = 0;       // monitor packets received, data packets included
    std::uint32_t badCrc = 0;         // of those, with a CRC that did not match (not answered)
    std::uint32_t dataPackets = 0;
    std::uint32_t answers = 0;        // answer packets put on the line
    std::uint32_t dropped = 0, corrupted = 0, wrongSequence = 0, refused = 0, brownOuts = 0;
    std::uint32_t erases = 0, writeChunks = 0, unitsProgrammed = 0;
    std::uint32_t noiseBytes = 0;     // received at a rate the printer does not use
    std::uint32_t normalCommands = 0;
    std::uint32_t monitorStarts = 0, monitorExits = 0;
    std::uint32_t requestsLost = 0, requestsDamaged = 0, requestsDuplicated = 0, duplicatesIgnored = 0;
    std::uint32_t lineFaults = 0, powerCuts = 0;
};

using TraceFn = std::function<void(const std::string&)>;

class Monitor {
public:
    Monitor(const PrinterConfig& config, FlashSet& flash, FaultInjector& faults, Counters& counters);

    // The monitor starts afresh: answer counter 0, write addresses 0.
    void Start();
    // Handles one request body; answer frames are appended to out. Returns
    // true when the PC asked to leave monitor mode.
    bool Handle(const ByteArray& body, ByteArray& out, const TraceFn& trace);
    // Power fails while the request is handled: an erase or a data packet is
    // left half done, and nothing is answered.
    void HandleCutShort(const ByteArray& body, const TraceFn& trace);

    // Where the last write stopped, per location, in its units.
    std::uint32_t WriteAddress(int location) const { return m_writeAddress[location]; }
    std::uint8_t AnswerSequence() const { return m_sequence; }

private:
    struct PendingWrite {
        bool active = false;
        int location = 0;
        std::uint8_t command = 0;
        std::uint8_t dataCode = 0;
        std::uint32_t next = 0;         // unit programmed next
        std::uint32_t unitsLeft = 0;    // units still to arrive
        std::uint32_t programLeft = 0;  // units the printer still programs (brown-out)
        bool failed = false;
        std::uint8_t flags = 0;
        bool unanswered = false;
        FaultDecision faults;
        ByteArray partial;
    };

    void Emit(std::uint8_t code, const ByteArray& payload, const FaultDecision* faults, ByteArray& out,
              const TraceFn& trace);
    void Fail(std::uint8_t flags, std::uint8_t command, const FaultDecision* faults, ByteArray& out,
              const TraceFn& trace);
    ByteArray InfoPayload() const;

    void Erase(int loc, const Packet& p, const FaultDecision& f, ByteArray& out, const TraceFn& trace);
    void BlankCheck(int loc, const Packet& p, const FaultDecision& f, ByteArray& out, const TraceFn& trace);
    void Read(int loc, const Packet& p, const FaultDecision& f, ByteArray& out, const TraceFn& trace);
    void Geometry(const Packet& p, const FaultDecision& f, ByteArray& out, const TraceFn& trace);
    void BeginWrite(int loc, bool first, const Packet& p, const FaultDecision& f, ByteArray& out,
                    const TraceFn& trace);
    void WriteData(const Packet& p, ByteArray& out, const TraceFn& trace);

    const PrinterConfig& m_config;
    FlashSet& m_flash;
    FaultInjector& m_faults;
    Counters& m_counters;
    std::uint8_t m_sequence = 0;
    std::array<std::uint32_t, 4> m_writeAddress{};
    std::array<std::uint8_t, 4> m_lastDataCode{};
    PendingWrite m_write;
    ByteArray m_lastData;  // the last data packet's body: a repeat of it is the line's, not the PC's
};

}  // namespace carillon::sim
