#pragma once
// The command-line parser the tools share: GNU-style long options on
// getopt_long, behind this small interface so another parser can stand in
// where the C library has none.

#include <functional>
#include <string>
#include <vector>

namespace carillon::tools {

// One option. take is called for every occurrence, so a repeated option
// simply collects its values; it returns a problem text, or empty when the
// value is good.
struct OptionRule {
    std::string name;     // long name, without the dashes
    char letter = 0;      // short name, or 0
    bool takesValue = false;
    std::function<std::string(const std::string& value)> take;
};

struct ParsedArguments {
    std::vector<std::string> operands;  // in order; everything after "--" included
    std::vector<std::string> given;     // long names of the options met, in order
    std::string error;                  // the first problem, empty when usable
};

// Parses arguments (without the program name). Accepts --opt=value,
// --opt value, -o value, -ovalue, bundled short flags, unambiguous
// abbreviations of long names, options after operands, and "--".
ParsedArguments ParseArguments(const std::vector<std::string>& arguments, const std::vector<OptionRule>& rules);

// The two lines of a usage error: "PROGRAM: PROBLEM" and where to read more.
std::string UsageErrorText(const std::string& program, const std::string& problem);

// "PROGRAM VERSION" and a newline, for --version.
std::string VersionText(const std::string& program);

}  // namespace carillon::tools
