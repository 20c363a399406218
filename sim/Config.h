#pragma once
// What a virtual printer is: its family, how it answers in normal mode, its
// boot monitor and flash, the faults it injects and how fast its line is.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "ports/PortSettings.h"
#include "sim/Faults.h"

namespace carillon::sim {

enum class Family { kNdx, kPlv, kKiosk };

// The normal command sets a printer understands (several may be combined).
enum CommandSetBits : std::uint32_t {
    kSetVrk = 1,
    kSetEscPos = 2,
    kSetKestrel = 4,
};

enum class ImageKind {
    kOldFirmware,  // file tables listing an older firmware set, its data in flash
    kEmptyTables,  // a factory printer: valid tables without files
    kBlank,        // every byte erased, no tables at all
};

// The line settings under which bytes reach the printer. On a serial line a
// byte is understood only at the printer's own rate; USB has no rate.
struct LineSettings {
    bool usb = false;
    std::uint32_t baud = 0;
    std::uint32_t handshake = kHandshakeNone;
};

// Byte time at a baud rate (10 bits a byte) plus a turnaround before each
// answer, so that throughput measured over the link means something.
struct Pacing {
    bool enabled = false;
    std::uint32_t baud = 0;          // 0: the rate of the line; on USB no byte time
    std::uint32_t turnaroundMs = 1;  // between the last byte of a request and its answer
};

constexpr std::uint32_t kMonitorBaud = 115200;

struct PrinterConfig {
    Family family = Family::kNdx;

    // Normal mode.
    std::uint32_t commandSets = kSetVrk;
    std::string name;  // identification text; empty: "Virtual <family>"
    std::array<std::uint8_t, 4> kestrelId{2, 0, 1, 7};
    std::uint8_t statusByte = 0x00;
    std::uint8_t escPosHeader = 0x5F;  // first byte of the ESC/POS identification answer
    std::array<std::uint8_t, 3> infoBytes{0x02, 0x05, 0x00};
    std::uint32_t baudRate = 9600;
    std::uint32_t handshake = kHandshakeRtsCts;  // reported by the handshake queries

    // Boot monitor.
    std::optional<std::uint8_t> monitorVersion;  // default per family
    std::uint8_t monitorVersion2 = 0x01;         // sent from version 0x82 up
    std::optional<std::uint8_t> locations;       // extended answers; default per family
    std::uint32_t dwordB = 0;
    std::uint8_t maxPacket = 200;
    bool startInMonitor = false;

    // Flash.
    std::uint8_t dspManufacturer = 0x01;
    std::uint8_t dspDevice = 0xC4;
    bool shortGeometry = false;       // answer the geometry with the two ids only
    std::uint8_t dspTableSector = 0;  // in the full answer; the short one implies 0
    ImageKind image = ImageKind::kOldFirmware;
    bool strictNor = true;  // refuse writes over bytes that are not erased

    // USB.
    std::string usbInstanceId = "USB\\Vid_1a2b&Pid_0003\\SN1234";
    std::uint32_t usbReenumerateMs = 500;

    Faults faults;
    Pacing pacing;

    std::uint8_t MonitorVersion() const;
    bool Extended() const { return (MonitorVersion() & 0x80) != 0; }
    // Bit n: flash location n is present.
    std::uint8_t Locations() const;
    bool HasLocation(int location) const { return location >= 0 && location < 8 && (Locations() >> location) & 1; }
    std::string Name() const;
    // Where the DSP table lives: the short geometry answer lets the PC assume sector 0.
    std::uint8_t EffectiveDspTableSector() const { return shortGeometry ? 0 : dspTableSector; }
};

const char* FamilyName(Family family);
// "NDX", "PLV" or "KIOSK" (any case); false for anything else.
bool ParseFamily(const std::string& text, Family* family);

}  // namespace carillon::sim
