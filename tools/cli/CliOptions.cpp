#include "cli/CliOptions.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <utility>

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
    const std::string t = Upper(text);
    if (t.size() < 4 || (t.compare(0, 3, "COM") != 0 && t.compare(0, 3, "USB") != 0)) return std::nullopt;
    auto n = ParseCount(t.substr(3));
    if (!n || *n > 255) return std::nullopt;
    return PortChoice{t[0] == 'U', static_cast<int>(*n)};
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
           "       carillon-cli --help\n"
           "\n"
           "  P is COMn or USBn; H is rtscts, xonxoff or none. Without --baud a serial printer\n"
           "  is found by a search first, at the rate and handshake it answers.\n"
           "  search   find the printers on every serial and USB port and show them as a tree\n"
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
           "           the program's own directory)\n"
           "  doctor   check what keeps flashing from working on this machine; --fix mends the\n"
           "           USB-serial latency where it can\n"
           "  --yes, --no  the answer to \"force the update?\" when the package holds elements\n"
           "               for another printer family (default: ask on a terminal, else no)\n"
           "  --json   on any command: one JSON object per line on stdout (events \"note\",\n"
           "           \"progress\", \"message\", \"printer\", \"element\", \"plan\", \"record\",\n"
           "           \"check\", and a last \"result\"), nothing else\n"
           "\n"
           "exit status: 0 done, 1 failed (update, verify mismatch, replay, doctor finding),\n"
           "             2 usage error, 3 no printer or port\n";
}

ParseResult ParseCommandLine(const std::vector<std::string>& arguments) {
    ParseResult result;
    Options& o = result.options;
    // --json belongs to every command, wherever it stands.
    std::vector<std::string> args;
    for (const std::string& a : arguments) {
        if (a == "--json") o.json = true;
        else args.push_back(a);
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") return result;
    const std::string& command = args[0];
    static const std::pair<const char*, Command> kCommands[] = {
        {"search", Command::kSearch}, {"update", Command::kUpdate}, {"silent", Command::kSilent},
        {"verify", Command::kVerify}, {"plan", Command::kPlan},     {"replay", Command::kReplay},
        {"doctor", Command::kDoctor},
    };
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                     [&](const auto& c) { return command == c.first; });
    if (found == std::end(kCommands)) {
        result.error = "unknown command '" + command + "'";
        return result;
    }
    o.command = found->second;
    // The commands that work on one printer take its port and package.
    const bool onPrinter = o.command == Command::kUpdate || o.command == Command::kVerify ||
                           o.command == Command::kPlan || o.command == Command::kReplay;

    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                result.error = std::string(name) + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            o.command = Command::kHelp;
            return result;
        }
        const bool positional = a.rfind("--", 0) != 0;
        if (o.command == Command::kSilent && positional && o.directory.empty()) {
            o.directory = a;
        } else if (o.command == Command::kReplay && positional && o.replayFile.empty()) {
            o.replayFile = a;
        } else if (o.command == Command::kDoctor && a == "--fix") {
            o.fix = true;
        } else if (o.command == Command::kReplay && a == "--force") {
            o.forceReplay = true;
        } else if (!onPrinter || (a == "--package" && o.command == Command::kReplay) ||
                   ((a == "--output" || a == "--yes" || a == "--no" || a == "--verify") && o.command != Command::kUpdate)) {
            result.error = "'" + a + "' is not an option of " + command;
        } else if (a == "--verify") {
            o.verify = true;
        } else if (a == "--port") {
            auto v = value("--port");
            const auto p = v ? ParsePortName(*v) : std::nullopt;
            if (v && !p) result.error = "--port takes COMn or USBn, not '" + *v + "'";
            if (p && !o.port) o.port = p;
            if (p) o.ports.push_back(*p);
        } else if (a == "--all" && o.command != Command::kReplay) {
            o.all = true;
        } else if (a == "--baud") {
            auto v = value("--baud");
            if (v && !(o.baudRate = ParseCount(*v))) result.error = "--baud takes a number, not '" + *v + "'";
        } else if (a == "--handshake") {
            auto v = value("--handshake");
            if (v && !(o.handshake = ParseHandshake(*v)))
                result.error = "--handshake takes rtscts, xonxoff or none (1, 2, 3), not '" + *v + "'";
        } else if (a == "--package") {
            if (auto v = value("--package")) o.package = *v;
        } else if (a == "--output") {
            if (auto v = value("--output")) o.output = *v;
        } else if (a == "--yes") {
            o.force = ForceAnswer::kYes;
        } else if (a == "--no") {
            o.force = ForceAnswer::kNo;
        } else {
            result.error = "unknown option '" + a + "'";
        }
        if (!result.error.empty()) return result;
    }

    if (onPrinter) {
        if (!o.port && !o.all) result.error = command + " needs --port";
        else if (o.all && o.port) result.error = "--all and --port exclude each other";
        else if ((o.all || o.ports.size() > 1) && o.baudRate) result.error = "--baud goes with one --port";
        else if (o.command == Command::kReplay && o.replayFile.empty()) result.error = "replay needs the output binary to send";
        else if (o.command != Command::kReplay && o.package.empty()) result.error = command + " needs --package";
        else if (o.port && o.port->usb && (o.baudRate || o.handshake)) result.error = "a USB port has no baud rate or handshake";
        else if (o.handshake && !o.baudRate) result.error = "--handshake goes with --baud";
    }
    return result;
}

}  // namespace carillon::cli
