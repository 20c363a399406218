#include "cli/CliOptions.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <iterator>
#include <utility>

#include "common/CommandLine.h"
#include "package/ScanNumber.h"

namespace carillon::cli {
namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::optional<std::uint32_t> ParseHandshake(const std::string& text) {
    const std::string t = Upper(text);
    if (t == "1" || t == "RTSCTS") return 1;
    if (t == "2" || t == "XONXOFF") return 2;
    if (t == "3" || t == "NONE") return 3;
    return std::nullopt;
}

std::optional<std::uint32_t> ParseCount(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    auto n = ScanDecimal(text);
    if (!n || *n <= 0) return std::nullopt;
    return static_cast<std::uint32_t>(*n);
}

}  // namespace

std::optional<PortChoice> ParsePortName(const std::string& text) {
    if (text.rfind('/', 0) == 0) return PortChoice{false, 0, text};
    const std::string t = Upper(text);
    if (t.size() < 4 || (t.compare(0, 3, "COM") != 0 && t.compare(0, 3, "USB") != 0)) return std::nullopt;
    auto n = ParseCount(t.substr(3));
    if (!n || *n > 255) return std::nullopt;
    return PortChoice{t[0] == 'U', static_cast<int>(*n), ""};
}

std::string UsageText() {
    return "usage: carillon-cli search\n"
           "       carillon-cli update --port P [--baud N --handshake H] --package FILE [--output FILE]\n"
           "                           [--yes|--no] [--verify]\n"
           "       carillon-cli verify --port P [--baud N --handshake H] --package FILE\n"
           "       carillon-cli plan   --port P [--baud N --handshake H] --package FILE\n"
           "       carillon-cli replay FILE.VRK_Package.bin --port P [--baud N --handshake H] [--force]\n"
           "       carillon-cli update|verify|plan (--port P)... | --all  --package FILE [--output PATTERN]\n"
           "       carillon-cli silent [DIR]\n"
           "       carillon-cli doctor [--fix]\n"
           "       carillon-cli --help | --version\n"
           "\n"
           "  P is COMn or USBn, or a device path: /dev/ttyUSB0, /dev/serial/by-id/..., /dev/usb/lp0\n"
           "  or its /dev/usb/by-id/... link. H is rtscts, xonxoff or none. Without --baud a serial\n"
           "  printer is found by a search first, at the rate and handshake it answers.\n"
           "  search   find the printers on every serial and USB port and show them as a tree,\n"
           "           with each port's device path\n"
           "  update   program a package into the printer; --output also writes the erase and\n"
           "           write packets sent, for reflashing later; --verify reads everything back\n"
           "  verify   read every element of a package back from the printer and compare it\n"
           "  plan     show where each element would go, what would be erased and written and\n"
           "           how long it would take, without changing the printer's flash\n"
           "  replay   send the packets of an output binary to a printer, after checking the file;\n"
           "           never into the monitor's or another reserved sector, and only onto the\n"
           "           family whose tables it writes, unless --force\n"
           "  several --port, or --all: every printer at once, then a table of results; --all\n"
           "           skips the printers the package is not for; the --output PATTERN names each\n"
           "           binary with {port} (COM3, USB1) and {index} (1, 2, ... in the table's order)\n"
           "  silent   run the silent update that DIR/SetupData/Setup.ini describes (default:\n"
           "           the program's setup file: SetupData beside it, or /etc/carillon/Setup.ini\n"
           "           when installed; never the current directory)\n"
           "  doctor   check what keeps flashing from working on this machine; --fix mends the\n"
           "           USB-serial latency where it can\n"
           "  --yes, --no  the answer to \"force the update?\" when the package holds elements\n"
           "               for another printer family (default: ask on a terminal, else no)\n"
           "  --json   on any command: one JSON object per line on stdout (events \"note\",\n"
           "           \"progress\", \"message\", \"printer\", \"element\", \"plan\", \"record\",\n"
           "           \"check\", and a last \"result\"), nothing else\n"
           "  -q, --quiet    only results and problems: no progress and no notes\n"
           "  -v, --verbose  notes on each step as well\n"
           "  --trace  on update, verify, plan, replay and silent: every monitor frame both ways,\n"
           "           timestamped and decoded, on stderr\n"
           "  Results (tree, plan, verify report, JSON) go to stdout; progress, notes and\n"
           "  questions to stderr, without escape codes unless stderr is a terminal (and\n"
           "  neither TERM=dumb nor NO_COLOR is set).\n"
           "\n"
           "exit status: 0 done, 1 failed (update, verify mismatch, replay, doctor finding),\n"
           "             2 usage error, 3 no printer or port (search: no printer answered)\n";
}

namespace {

using CommandSet = unsigned;
constexpr CommandSet Bit(Command c) { return 1u << static_cast<unsigned>(c); }
constexpr CommandSet kAnyCommand = ~0u;
// The commands that work on one printer take its port and package.
constexpr CommandSet kOnPrinter = Bit(Command::kUpdate) | Bit(Command::kVerify) | Bit(Command::kPlan) | Bit(Command::kReplay);

// An option, and the commands that take it.
struct CliOption {
    tools::OptionRule rule;
    CommandSet commands;
};

std::vector<CliOption> CliOptionTable(Options& o) {
    auto flag = [](bool& target) { return [&target](const std::string&) { target = true; return std::string(); }; };
    auto text = [](std::string& target) { return [&target](const std::string& v) { target = v; return std::string(); }; };
    auto answer = [&o](ForceAnswer a) { return [&o, a](const std::string&) { o.force = a; return std::string(); }; };
    auto verbosity = [&o](Verbosity v) { return [&o, v](const std::string&) { o.verbosity = v; return std::string(); }; };
    return {
        {{"json", 0, false, flag(o.json)}, kAnyCommand},
        {{"quiet", 'q', false, verbosity(Verbosity::kQuiet)}, kAnyCommand},
        {{"verbose", 'v', false, verbosity(Verbosity::kVerbose)}, kAnyCommand},
        {{"help", 'h', false, [&o](const std::string&) { o.command = Command::kHelp; return std::string(); }}, kAnyCommand},
        {{"version", 0, false, [&o](const std::string&) { o.command = Command::kVersion; return std::string(); }}, kAnyCommand},
        {{"trace", 0, false, flag(o.trace)}, kOnPrinter | Bit(Command::kSilent)},
        {{"port", 0, true,
          [&o](const std::string& v) {
              const auto port = ParsePortName(v);
              if (!port) return "--port takes COMn, USBn or a device path, not '" + v + "'";
              if (!o.port) o.port = port;
              o.ports.push_back(*port);
              return std::string();
          }},
         kOnPrinter},
        {{"all", 0, false, flag(o.all)}, kOnPrinter & ~Bit(Command::kReplay)},
        {{"baud", 0, true,
          [&o](const std::string& v) {
              o.baudRate = ParseCount(v);
              return o.baudRate ? std::string() : "--baud takes a number, not '" + v + "'";
          }},
         kOnPrinter},
        {{"handshake", 0, true,
          [&o](const std::string& v) {
              o.handshake = ParseHandshake(v);
              return o.handshake ? std::string() : "--handshake takes rtscts, xonxoff or none (1, 2, 3), not '" + v + "'";
          }},
         kOnPrinter},
        {{"package", 0, true, text(o.package)}, kOnPrinter & ~Bit(Command::kReplay)},
        {{"output", 0, true, text(o.output)}, Bit(Command::kUpdate)},
        {{"yes", 0, false, answer(ForceAnswer::kYes)}, Bit(Command::kUpdate)},
        {{"no", 0, false, answer(ForceAnswer::kNo)}, Bit(Command::kUpdate)},
        {{"verify", 0, false, flag(o.verify)}, Bit(Command::kUpdate)},
        {{"force", 0, false, flag(o.forceReplay)}, Bit(Command::kReplay)},
        {{"fix", 0, false, flag(o.fix)}, Bit(Command::kDoctor)},
    };
}

std::optional<Command> CommandNamed(const std::string& word) {
    static const std::pair<const char*, Command> kCommands[] = {
        {"search", Command::kSearch}, {"update", Command::kUpdate}, {"silent", Command::kSilent},
        {"verify", Command::kVerify}, {"plan", Command::kPlan},     {"replay", Command::kReplay},
        {"doctor", Command::kDoctor}, {"help", Command::kHelp},
    };
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands), [&](const auto& c) { return word == c.first; });
    if (found == std::end(kCommands)) return std::nullopt;
    return found->second;
}

// The operands after the command: silent's directory, replay's binary.
std::string TakeOperands(Options& o, const std::vector<std::string>& operands) {
    std::string* slot = o.command == Command::kSilent ? &o.directory : o.command == Command::kReplay ? &o.replayFile : nullptr;
    for (std::size_t i = 1; i < operands.size(); ++i) {
        if (slot == nullptr || !slot->empty()) return "unexpected argument '" + operands[i] + "'";
        *slot = operands[i];
    }
    return "";
}

std::string CheckPrinterOptions(const Options& o, const std::string& command) {
    if (!o.port && !o.all) return command + " needs --port";
    if (o.all && o.port) return "--all and --port exclude each other";
    if ((o.all || o.ports.size() > 1) && o.baudRate) return "--baud goes with one --port";
    if (o.command == Command::kReplay && o.replayFile.empty()) return "replay needs the output binary to send";
    if (o.command != Command::kReplay && o.package.empty()) return command + " needs --package";
    if (o.port && o.port->usb && (o.baudRate || o.handshake)) return "a USB port has no baud rate or handshake";
    if (o.handshake && !o.baudRate) return "--handshake goes with --baud";
    return "";
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& arguments) {
    ParseResult result;
    Options& o = result.options;
    if (arguments.empty()) {
        result.error = "no command given";
        return result;
    }
    const std::vector<CliOption> table = CliOptionTable(o);
    std::vector<tools::OptionRule> rules;
    for (const CliOption& option : table) rules.push_back(option.rule);
    const tools::ParsedArguments parsed = tools::ParseArguments(arguments, rules);
    // --help and --version win over everything else on the line met before them.
    const auto given = [&](const char* name) {
        return std::find(parsed.given.begin(), parsed.given.end(), name) != parsed.given.end();
    };
    if (given("help") || given("version")) return result;
    if (!parsed.error.empty()) {
        result.error = parsed.error;
        return result;
    }
    if (parsed.operands.empty()) {
        result.error = "no command given";
        return result;
    }
    const std::string& command = parsed.operands[0];
    const std::optional<Command> named = CommandNamed(command);
    if (!named) {
        result.error = "unknown command '" + command + "'";
        return result;
    }
    o.command = *named;
    if (o.command == Command::kHelp) return result;
    for (const std::string& name : parsed.given) {
        const auto option = std::find_if(table.begin(), table.end(), [&](const CliOption& c) { return c.rule.name == name; });
        if ((option->commands & Bit(o.command)) == 0) {
            result.error = "'--" + name + "' is not an option of " + command;
            return result;
        }
    }
    result.error = TakeOperands(o, parsed.operands);
    if (result.error.empty() && (Bit(o.command) & kOnPrinter) != 0) result.error = CheckPrinterOptions(o, command);
    return result;
}

}  // namespace carillon::cli
