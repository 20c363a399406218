#include "common/CommandLine.h"

#include <getopt.h>

#include <algorithm>
#include <mutex>

namespace carillon::tools {
namespace {

// Long options without a letter get codes above every char.
constexpr int kFirstLongCode = 256;

// getopt_long keeps its state in globals.
std::mutex g_getoptMutex;

int CodeOf(const std::vector<OptionSpec>& specs, std::size_t i) {
    return specs[i].letter != 0 ? static_cast<unsigned char>(specs[i].letter) : kFirstLongCode + static_cast<int>(i);
}

const OptionSpec* SpecOf(const std::vector<OptionSpec>& specs, int code) {
    for (std::size_t i = 0; i < specs.size(); ++i)
        if (CodeOf(specs, i) == code) return &specs[i];
    return nullptr;
}

std::string Spelling(const OptionSpec& spec, const std::string& typed) {
    return typed.rfind("--", 0) == 0 || spec.letter == 0 ? "--" + spec.name : std::string("-") + spec.letter;
}

// How many long names "--prefix[=value]" could stand for.
std::ptrdiff_t Abbreviates(const std::vector<OptionSpec>& specs, const std::string& typed) {
    const std::string prefix = typed.substr(2, typed.find('=') - 2);
    return std::count_if(specs.begin(), specs.end(), [&](const OptionSpec& s) { return s.name.rfind(prefix, 0) == 0; });
}

// What getopt_long's ':' (a value missing) or '?' (anything else) means.
std::string Problem(int code, const std::string& typed, const std::vector<OptionSpec>& specs) {
    const OptionSpec* known = SpecOf(specs, optopt);
    if (code == ':') return "option '" + (known ? Spelling(*known, typed) : typed) + "' needs a value";
    if (known && !known->takesValue) return "option '--" + known->name + "' takes no value";
    if (optopt != 0 && typed.rfind("--", 0) != 0) return std::string("unknown option '-") + static_cast<char>(optopt) + "'";
    const std::string name = typed.substr(0, typed.find('='));
    return (Abbreviates(specs, typed) > 1 ? "ambiguous option '" : "unknown option '") + name + "'";
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments, const std::vector<OptionSpec>& specs) {
    ParsedArguments parsed;
    std::vector<std::string> storage{"program"};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);

    std::string shortOptions = ":";  // a missing value is told apart from an unknown option
    std::vector<option> longOptions;
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const int code = CodeOf(specs, i);
        const int hasArg = specs[i].takesValue ? required_argument : no_argument;
        longOptions.push_back(option{specs[i].name.c_str(), hasArg, nullptr, code});
        if (specs[i].letter != 0) shortOptions += std::string(1, specs[i].letter) + (specs[i].takesValue ? ":" : "");
    }
    longOptions.push_back(option{nullptr, 0, nullptr, 0});

    std::lock_guard lock(g_getoptMutex);
    optind = 0;  // glibc: start afresh, as for a new program
    opterr = 0;
    const int argc = static_cast<int>(storage.size());
    while (parsed.error.empty()) {
        const int code = getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr);
        if (code == -1) break;
        if (code == ':' || code == '?') {
            parsed.error = Problem(code, argv[std::min(optind, argc) - 1], specs);
            break;
        }
        const OptionSpec* spec = SpecOf(specs, code);
        parsed.given.push_back(spec->name);
        const std::string value = optarg != nullptr ? optarg : "";
        if (spec->take) parsed.error = spec->take(value);
    }
    for (int i = optind; parsed.error.empty() && i < argc; ++i) parsed.operands.push_back(argv[i]);
    return parsed;
}

std::string UsageErrorText(const std::string& program, const std::string& problem) {
    return program + ": " + problem + "\nTry '" + program + " --help' for more information.\n";
}

std::string VersionText(const std::string& program) { return program + " " CARILLON_VERSION "\n"; }

}  // namespace carillon::tools
