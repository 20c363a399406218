#include "pkg/PkgTool.h"

#include <ostream>

#include "common/CommandLine.h"
#include "pkg/PackageBuilder.h"
#include "pkg/PackageInfo.h"

namespace carillon::pkgtool {

const char* const kUsage =
    "usage: carillon-pkg info FILE\n"
    "       carillon-pkg build MANIFEST -o FILE\n"
    "       carillon-pkg --help | --version\n"
    "\n"
    "  info   list the elements of a package file\n"
    "  build  build a package file from a manifest; -o, --output FILE names it\n";

namespace {

int UsageError(const std::string& problem, std::ostream& err) {
    err << tools::UsageErrorText("carillon-pkg", problem);
    return kExitUsage;
}

int RunBuild(const std::vector<std::string>& operands, const std::vector<std::string>& outputs, std::ostream& err) {
    if (operands.size() < 2) return UsageError("build needs a MANIFEST", err);
    if (operands.size() > 2) return UsageError("build takes one MANIFEST", err);
    if (outputs.size() > 1) return UsageError("build takes one -o FILE", err);
    if (outputs.empty() || outputs[0].empty()) return UsageError("build needs -o FILE", err);
    std::string error;
    if (!BuildPackage(operands[1], outputs[0], &error)) {
        err << "carillon-pkg: " << error << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int RunPkgTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool help = false, version = false;
    std::vector<std::string> outputs;
    const std::vector<tools::OptionRule> rules = {
        {"help", 'h', false, [&](const std::string&) { help = true; return std::string(); }},
        {"version", 0, false, [&](const std::string&) { version = true; return std::string(); }},
        {"output", 'o', true, [&](const std::string& v) { outputs.push_back(v); return std::string(); }},
    };
    const tools::ParsedArguments parsed = tools::ParseArguments(args, rules);
    if (help || version) {
        out << (help ? std::string(kUsage) : tools::VersionText("carillon-pkg"));
        return kExitOk;
    }
    if (!parsed.error.empty()) return UsageError(parsed.error, err);
    if (parsed.operands.empty()) return UsageError("no command given", err);
    const std::string& command = parsed.operands[0];
    if (command == "help") {
        out << kUsage;
        return kExitOk;
    }
    if (command == "info") {
        if (!outputs.empty()) return UsageError("'-o' is not an option of info", err);
        if (parsed.operands.size() != 2) return UsageError("info takes exactly one FILE", err);
        return PrintPackageInfo(parsed.operands[1], out, err);
    }
    if (command == "build") return RunBuild(parsed.operands, outputs, err);
    return UsageError("unknown command '" + command + "'", err);
}

}  // namespace carillon::pkgtool
