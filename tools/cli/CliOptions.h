#pragma once
// The command line of carillon-cli.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace carillon::cli {

enum class Command { kHelp, kVersion, kSearch, kUpdate, kSilent, kVerify, kPlan, kReplay, kDoctor };
enum class ForceAnswer { kAsk, kYes, kNo };
enum class Verbosity { kQuiet, kNormal, kVerbose };

struct PortChoice {
    bool usb = false;
    int number = 0;          // COMn or USBn
    std::string devicePath;  // given as a device node instead: matched to COMn or USBn when the command runs
};

struct Options {
    Command command = Command::kHelp;
    std::optional<PortChoice> port;  // the first --port
    std::vector<PortChoice> ports;   // every --port, in order (several: a fleet)
    bool all = false;                // update, verify, plan: every printer the search finds
    std::optional<std::uint32_t> baudRate;
    std::optional<std::uint32_t> handshake;
    std::string package;
    std::string output;  // with several printers, a pattern (see FleetOutputPath)
    ForceAnswer force = ForceAnswer::kAsk;
    std::string directory;  // silent: where SetupData lives
    bool json = false;      // one JSON object per line on stdout
    bool verify = false;    // update: read everything back afterwards
    std::string replayFile; // replay: the output binary to send
    bool forceReplay = false;  // replay: even a binary made for another family
    bool fix = false;       // doctor: mend what can be mended
    Verbosity verbosity = Verbosity::kNormal;
    bool trace = false;     // every monitor frame both ways on stderr
};

struct ParseResult {
    Options options;
    std::string error;  // empty when the command line is usable
};

ParseResult ParseCommandLine(const std::vector<std::string>& arguments);

// "COM3" or "USB1" (any case), or a device path such as /dev/ttyUSB0.
std::optional<PortChoice> ParsePortName(const std::string& text);

std::string UsageText();

}  // namespace carillon::cli
