#include "cli/CliOptions.h"

#include <cctype>

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
           "       carillon-cli update --port COMn|USBn [--baud N --handshake rtscts|xonxoff|none]\n"
           "                           --package FILE [--output FILE] [--yes|--no]\n"
           "       carillon-cli silent [DIR]\n"
           "       carillon-cli --help\n"
           "  --json on any command: one JSON object per line on stdout (events \"note\",\n"
           "         \"progress\", \"message\", \"printer\", and a last \"result\"), nothing else\n"
           "\n"
           "  search   find the printers on every serial and USB port and show them as a tree\n"
           "  update   program a package into the printer on a port; without --baud a serial\n"
           "           printer is found by a search first, at the rate and handshake it answers\n"
           "  silent   run the silent update that DIR/SetupData/Setup.ini describes (default:\n"
           "           the program's own directory)\n"
           "  --output FILE   also write the erase and write packets sent, for reflashing later\n"
           "  --yes, --no     the answer to \"force the update?\" when the package holds elements\n"
           "                  for another printer family (default: ask on a terminal, else no)\n"
           "\n"
           "exit status: 0 done, 1 update failed, 2 usage error, 3 no printer or port\n";
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
    if (command == "search") {
        o.command = Command::kSearch;
    } else if (command == "update") {
        o.command = Command::kUpdate;
    } else if (command == "silent") {
        o.command = Command::kSilent;
    } else {
        result.error = "unknown command '" + command + "'";
        return result;
    }

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
        if (o.command == Command::kSilent && a.rfind("--", 0) != 0 && o.directory.empty()) {
            o.directory = a;
        } else if (o.command != Command::kUpdate) {
            result.error = "'" + a + "' is not an option of " + command;
        } else if (a == "--port") {
            auto v = value("--port");
            if (v && !(o.port = ParsePortName(*v))) result.error = "--port takes COMn or USBn, not '" + *v + "'";
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

    if (o.command == Command::kUpdate) {
        if (!o.port) result.error = "update needs --port";
        else if (o.package.empty()) result.error = "update needs --package";
        else if (o.port->usb && (o.baudRate || o.handshake)) result.error = "a USB port has no baud rate or handshake";
        else if (o.handshake && !o.baudRate) result.error = "--handshake goes with --baud";
    }
    return result;
}

}  // namespace carillon::cli
