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

int CodeOf(const std::vector<OptionRule>& rules, std::size_t i) {
    return rules[i].letter != 0 ? static_cast<unsigned char>(rules[i].letter) : kFirstLongCode + static_cast<int>(i);
}

const OptionRule* RuleOf(const std::vector<OptionRule>& rules, int code) {
    for (std::size_t i = 0; i < rules.size(); ++i)
        if (CodeOf(rules, i) == code) return &rules[i];
    return nullptr;
}

std::string Spelling(const OptionRule& rule, const std::string& typed) {
    return typed.rfind("--", 0) == 0 || rule.letter == 0 ? "--" + rule.name : std::string("-") + rule.letter;
}

// How many long names "--prefix[=value]" could stand for.
std::ptrdiff_t Abbreviates(const std::vector<OptionRule>& rules, const std::string& typed) {
    const std::string prefix = typed.substr(2, typed.find('=') - 2);
    return std::count_if(rules.begin(), rules.end(), [&](const OptionRule& s) { return s.name.rfind(prefix, 0) == 0; });
}

// What getopt_long's ':' (a value missing) or '?' (anything else) means.
std::string Problem(int code, const std::string& typed, const std::vector<OptionRule>& rules) {
    const OptionRule* known = RuleOf(rules, optopt);
    if (code == ':') return "option '" + (known ? Spelling(*known, typed) : typed) + "' needs a value";
    if (known && !known->takesValue) return "option '--" + known->name + "' takes no value";
    if (optopt != 0 && typed.rfind("--", 0) != 0) return std::string("unknown option '-") + static_cast<char>(optopt) + "'";
    const std::string name = typed.substr(0, typed.find('='));
    return (Abbreviates(rules, typed) > 1 ? "ambiguous option '" : "unknown option '") + name + "'";
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments, const std::vector<OptionRule>& rules) {
    ParsedArguments parsed;
    std::vector<std::string> storage{"program"};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);

    std::string shortOptions = ":";  // a missing value is told apart from an unknown option
    std::vector<option> longOptions;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const int code = CodeOf(rules, i);
        const int hasArg = rules[i].takesValue ? required_argument : no_argument;
        longOptions.push_back(option{rules[i].name.c_str(), hasArg, nullptr, code});
        if (rules[i].letter != 0) shortOptions += std::string(1, rules[i].letter) + (rules[i].takesValue ? ":" : "");
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
            parsed.error = Problem(code, argv[std::min(optind, argc) - 1], rules);
            break;
        }
        const OptionRule* rule = RuleOf(rules, code);
        parsed.given.push_back(rule->name);
        const std::string value = optarg != nullptr ? optarg : "";
        if (rule->take) parsed.error = rule->take(value);
    }
    for (int i = optind; parsed.error.empty() && i < argc; ++i) parsed.operands.push_back(argv[i]);
    return parsed;
}

std::string UsageErrorText(const std::string& program, const std::string& problem) {
    return program + ": " + problem + "\nTry '" + program + " --help' for more information.\n";
}

std::string VersionText(const std::string& program) { return program + " " CARILLON_VERSION "\n"; }

}  // namespace carillon::tools
