#include "sim/Options.h"

#include "common/CommandLine.h"
#include "sim/FlashLayout.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

namespace carillon::sim {
namespace {

bool ParseUnsigned(const std::string& text, unsigned long long max, unsigned long long* value) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtoull(text.c_str(), &end, 0);  // decimal, or hexadecimal with 0x
    return errno == 0 && *end == '\0' && *value <= max;
}

template <typename T>
bool ParseInto(const std::string& text, unsigned long long max, T* out) {
    unsigned long long v;
    if (!ParseUnsigned(text, max, &v)) return false;
    *out = static_cast<T>(v);
    return true;
}

bool ParseFraction(const std::string& text, double* out) {
    char* end = nullptr;
    *out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && *out >= 0.0 && *out <= 1.0;
}

bool ParseCommandSets(const std::string& text, std::uint32_t* sets) {
    *sets = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = text.find(',', at);
        std::string item = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        for (auto& c : item) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (item == "VRK") *sets |= kSetVrk;
        else if (item == "ESCPOS" || item == "ESC/POS") *sets |= kSetEscPos;
        else if (item == "KESTREL") *sets |= kSetKestrel;
        else return false;
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return *sets != 0;
}

// "A,B,C,D" with bytes.
template <std::size_t N>
bool ParseByteList(const std::string& text, std::array<std::uint8_t, N>* out) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t comma = text.find(',', at);
        if ((i + 1 < N) != (comma != std::string::npos)) return false;
        if (!ParseInto(text.substr(at, comma - at), 0xFF, &(*out)[i])) return false;
        at = comma + 1;
    }
    return true;
}

// "01:C4": the DSP chip's JEDEC manufacturer and device ids, in hexadecimal.
bool ParseChip(const std::string& text, std::uint8_t* manufacturer, std::uint8_t* device) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    return ParseInto("0x" + text.substr(0, colon), 0xFF, manufacturer) &&
           ParseInto("0x" + text.substr(colon + 1), 0xFF, device);
}

}  // namespace

const char* UsageText() {
    return R"(Usage: carillon-vprinter [options]
A virtual printer on a pseudo-terminal. It prints the device to use on its
first line (a serial device path, or with --usb the instance id it registered)
and runs until SIGINT or SIGTERM.

Printer:
  --family NDX|PLV|KIOSK     printer family (NDX)
  --command-sets LIST        VRK, ESCPOS, KESTREL, comma-separated (VRK)
  --name TEXT                identification text (Virtual <family>)
  --kestrel-id A,B,C,D       the four bytes of the KESTREL identification (2,0,1,7)
  --baud RATE                normal-mode rate (9600)
  --handshake rtscts|xonxoff handshake the printer reports (rtscts)
  --start-in-monitor         start in the boot monitor
Monitor:
  --monitor-version V[,V2]   version byte and second version byte (NDX 0x02, PLV and KIOSK 0x85, 0x01)
  --locations BITS           locations byte of an extended answer (PLV 0x03, KIOSK 0x09)
  --max-packet N             largest data part of a packet (200)
Flash:
  --dsp-chip MM:DD           JEDEC ids of the DSP flash, hexadecimal (01:C4)
  --short-geometry           answer the geometry with the two ids only
  --dsp-table-sector N       DSP table sector in the full geometry answer (0)
  --image old|empty|blank    starting image: older firmware set, empty tables, erased (old)
  --permissive-nor           program over bytes that are not erased (bits only cleared)
                             instead of refusing with ANS_FAILURE
  --flash FILE               keep the flash in FILE across runs (created when missing)
USB:
  --usb                      register in the file named by CARILLON_USB_DEVICES
  --usb-id ID                instance id (USB\Vid_1a2b&Pid_0003\SN1234)
  --usb-delay MS             re-enumeration delay (500)
Faults (seeded, reproducible). On monitor answers:
  --drop-every N             lose the answer to every Nth request
  --drop-at N                lose the answer to the Nth request only
  --drop-rate F              lose answers at random with probability F (0..1)
  --corrupt-every N, --corrupt-rate F         change one byte of an answer
  --wrong-seq-every N, --wrong-seq-rate F     make the answer counter skip a number
  --refuse-every N, --refuse-rate F           refuse with ANS_FAILURE ...
  --refuse-flags HEX                          ... and these flags (0x80)
  --brownout-every N, --brownout-units K      a write chunk stops after K units, unanswered
On monitor requests, data packets included:
  --lose-request-every N, --lose-request-rate F, --lose-request-at N
                             the request never reaches the monitor
  --damage-request-every N, --damage-request-rate F, --damage-request-at N
                             one byte of the request changes, so its CRC fails
  --repeat-request-every N, --repeat-request-rate F
                             the request arrives twice
  --fault-commands LETTERS   the faults touch only these commands (e.g. DFKMPR); all by default
On the line (F per byte, the burst per write or answer):
  --line-flip-rate F         flip one bit of a byte
  --line-drop-rate F         lose a byte
  --line-noise-rate F        insert a noise byte
  --line-burst-rate F        put 8 to 64 bytes of garbage before a write or an answer
  --line-direction DIR       both (default), to-printer or to-pc
  --power-cut-at N           power fails while the Nth monitor request is handled
  --silent                   the printer is off
  --seed N                   seed of the random faults (1)
Pacing:
  --pace                     bytes take their real time at the line's rate (10 bits a byte)
  --pace-baud RATE           pace at this rate instead (also for USB)
  --turnaround MS            pause before each answer when pacing (1)
Tools (they need no pty and exit):
  --dump                     print the file tables and a sector map of the flash
  --verify PACKAGE           check that every element of PACKAGE sits in the flash
Not a printer:
  --chatter text|zeros       a device that streams text lines or zero bytes and
                             answers nothing (with --usb, registered as --usb-id)
Other:
  --trace                    every frame both ways, timestamped and decoded, on stderr
  -h, --help                 this text
  --version                  the program's version
)";
}

bool ParseOptions(int argc, const char* const* argv, Options* o, std::string* error) {
    PrinterConfig& c = o->config;
    Faults& f = c.faults;
    using Handler = std::function<bool(const std::string&)>;
    const std::map<std::string, Handler> withValue = {
        {"--family", [&](const std::string& v) { return o->familyGiven = ParseFamily(v, &c.family); }},
        {"--command-sets", [&](const std::string& v) { return ParseCommandSets(v, &c.commandSets); }},
        {"--name", [&](const std::string& v) { c.name = v; return !v.empty(); }},
        {"--kestrel-id", [&](const std::string& v) { return ParseByteList(v, &c.kestrelId); }},
        {"--baud", [&](const std::string& v) { return ParseInto(v, 4000000, &c.baudRate) && c.baudRate > 0; }},
        {"--handshake",
         [&](const std::string& v) {
             if (v == "rtscts") c.handshake = kHandshakeRtsCts;
             else if (v == "xonxoff") c.handshake = kHandshakeXonXoff;
             else return false;
             return true;
         }},
        {"--monitor-version",
         [&](const std::string& v) {
             const std::size_t comma = v.find(',');
             std::uint8_t version;
             if (!ParseInto(v.substr(0, comma), 0xFF, &version)) return false;
             c.monitorVersion = version;
             return comma == std::string::npos || ParseInto(v.substr(comma + 1), 0xFF, &c.monitorVersion2);
         }},
        {"--locations",
         [&](const std::string& v) {
             std::uint8_t bits;
             if (!ParseInto(v, 0xFF, &bits)) return false;
             c.locations = bits;
             return true;
         }},
        {"--max-packet", [&](const std::string& v) { return ParseInto(v, 0xFF, &c.maxPacket) && c.maxPacket > 0; }},
        {"--dsp-chip", [&](const std::string& v) { return o->chipGiven = ParseChip(v, &c.dspManufacturer, &c.dspDevice); }},
        {"--dsp-table-sector", [&](const std::string& v) { return ParseInto(v, 0xFF, &c.dspTableSector); }},
        {"--image",
         [&](const std::string& v) {
             if (v == "old") c.image = ImageKind::kOldFirmware;
             else if (v == "empty") c.image = ImageKind::kEmptyTables;
             else if (v == "blank") c.image = ImageKind::kBlank;
             else return false;
             return true;
         }},
        {"--flash", [&](const std::string& v) { o->flashFile = v; return !v.empty(); }},
        {"--usb-id", [&](const std::string& v) { c.usbInstanceId = v; return v.rfind('\\') != std::string::npos; }},
        {"--usb-delay", [&](const std::string& v) { return ParseInto(v, 600000, &c.usbReenumerateMs); }},
        {"--drop-every", [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.drop.everyNth); }},
        {"--drop-rate", [&](const std::string& v) { return ParseFraction(v, &f.drop.fraction); }},
        {"--corrupt-every", [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.corrupt.everyNth); }},
        {"--corrupt-rate", [&](const std::string& v) { return ParseFraction(v, &f.corrupt.fraction); }},
        {"--wrong-seq-every", [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.wrongSequence.everyNth); }},
        {"--wrong-seq-rate", [&](const std::string& v) { return ParseFraction(v, &f.wrongSequence.fraction); }},
        {"--refuse-every", [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.refuse.everyNth); }},
        {"--refuse-rate", [&](const std::string& v) { return ParseFraction(v, &f.refuse.fraction); }},
        {"--refuse-flags", [&](const std::string& v) { return ParseInto(v, 0xFF, &f.refuseFlags); }},
        {"--brownout-every", [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.brownOut.everyNth); }},
        {"--brownout-units", [&](const std::string& v) { return ParseInto(v, 0xFFFF, &f.brownOutUnits); }},
        {"--drop-at", [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.drop.onlyNth); }},
        {"--lose-request-every", [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.requestLoss.everyNth); }},
        {"--lose-request-rate", [&](const std::string& v) { return ParseFraction(v, &f.requestLoss.fraction); }},
        {"--lose-request-at", [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.requestLoss.onlyNth); }},
        {"--damage-request-every",
         [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.requestDamage.everyNth); }},
        {"--damage-request-rate", [&](const std::string& v) { return ParseFraction(v, &f.requestDamage.fraction); }},
        {"--damage-request-at", [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.requestDamage.onlyNth); }},
        {"--repeat-request-every",
         [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.requestDuplicate.everyNth); }},
        {"--repeat-request-rate", [&](const std::string& v) { return ParseFraction(v, &f.requestDuplicate.fraction); }},
        {"--line-flip-rate", [&](const std::string& v) { return ParseFraction(v, &f.line.flipRate); }},
        {"--line-drop-rate", [&](const std::string& v) { return ParseFraction(v, &f.line.dropRate); }},
        {"--line-noise-rate", [&](const std::string& v) { return ParseFraction(v, &f.line.noiseRate); }},
        {"--line-burst-rate", [&](const std::string& v) { return ParseFraction(v, &f.line.burstRate); }},
        {"--line-direction",
         [&](const std::string& v) {
             f.line.toPrinter = v == "both" || v == "to-printer";
             f.line.toPc = v == "both" || v == "to-pc";
             return f.line.toPrinter || f.line.toPc;
         }},
        {"--power-cut-at", [&](const std::string& v) { return ParseInto(v, UINT32_MAX, &f.powerCutAtRequest); }},
        {"--fault-commands",
         [&](const std::string& v) {
             for (FaultRule* r : {&f.drop, &f.corrupt, &f.wrongSequence, &f.refuse, &f.brownOut, &f.requestLoss,
                                  &f.requestDamage, &f.requestDuplicate})
                 r->commands = v;
             return !v.empty();
         }},
        {"--seed", [&](const std::string& v) { return ParseInto(v, UINT64_MAX, &f.seed); }},
        {"--pace-baud",
         [&](const std::string& v) {
             c.pacing.enabled = true;
             return ParseInto(v, 4000000, &c.pacing.baud) && c.pacing.baud > 0;
         }},
        {"--turnaround", [&](const std::string& v) { return ParseInto(v, 10000, &c.pacing.turnaroundMs); }},
        {"--verify", [&](const std::string& v) { o->verifyPackage = v; return !v.empty(); }},
        {"--chatter",
         [&](const std::string& v) {
             o->chatter = v == "text" ? ChatterKind::kText : v == "zeros" ? ChatterKind::kZeros : ChatterKind::kNone;
             return o->chatter != ChatterKind::kNone;
         }},
    };
    const std::map<std::string, std::function<void()>> flags = {
        {"--short-geometry", [&] { c.shortGeometry = true; }},
        {"--permissive-nor", [&] { c.strictNor = false; }},
        {"--start-in-monitor", [&] { c.startInMonitor = true; }},
        {"--usb", [&] { o->usb = true; }},
        {"--silent", [&] { f.silent = true; }},
        {"--pace", [&] { c.pacing.enabled = true; }},
        {"--dump", [&] { o->dump = true; }},
        {"--trace", [&] { o->trace = true; }},
        {"--help", [&] { o->help = true; }},
        {"--version", [&] { o->version = true; }},
    };
    std::vector<tools::OptionRule> rules;
    for (const auto& option : withValue) {
        rules.push_back({option.first.substr(2), 0, true, [&option](const std::string& v) {
                             return option.second(v) ? std::string() : "bad value for " + option.first + ": '" + v + "'";
                         }});
    }
    for (const auto& option : flags) {
        rules.push_back({option.first.substr(2), option.first == "--help" ? 'h' : '\0', false,
                         [&option](const std::string&) {
                             option.second();
                             return std::string();
                         }});
    }
    const tools::ParsedArguments parsed =
        tools::ParseArguments(std::vector<std::string>(argv + 1, argv + argc), rules);
    if (o->help || o->version) return true;
    *error = parsed.error;
    if (error->empty() && !parsed.operands.empty()) *error = "unexpected argument '" + parsed.operands[0] + "'";
    if (!error->empty()) return false;
    const FlashChip* chip = FindChip(c.dspManufacturer, c.dspDevice);
    if (c.dspTableSector >= (chip ? chip : &Chips().front())->sectorWords.size()) {
        *error = "--dsp-table-sector is past the last sector of the DSP chip";
        return false;
    }
    if (c.shortGeometry && c.dspTableSector != 0) {
        *error = "--short-geometry lets the PC assume the DSP table in sector 0; drop --dsp-table-sector";
        return false;
    }
    return true;
}

}  // namespace carillon::sim
