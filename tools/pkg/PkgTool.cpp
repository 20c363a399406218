#include "pkg/PkgTool.h"

#include <ostream>

#include "pkg/PackageBuilder.h"
#include "pkg/PackageInfo.h"

namespace carillon::pkgtool {

const char* const kUsage =
    "usage: carillon-pkg info FILE\n"
    "       carillon-pkg build MANIFEST -o FILE\n";

namespace {

int UsageError(const std::string& problem, std::ostream& err) {
    err << "carillon-pkg: " << problem << '\n' << kUsage;
    return kExitUsage;
}

int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) return UsageError("info takes exactly one FILE", err);
    return PrintPackageInfo(args[1], out, err);
}

int RunBuild(const std::vector<std::string>& args, std::ostream& err) {
    std::string manifest, output;
    bool haveOutput = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-o") {
            if (haveOutput) return UsageError("build takes one -o FILE", err);
            if (++i == args.size()) return UsageError("-o needs a FILE", err);
            output = args[i];
            haveOutput = true;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return UsageError("unknown option " + args[i], err);
        } else if (manifest.empty()) {
            manifest = args[i];
        } else {
            return UsageError("build takes one MANIFEST", err);
        }
    }
    if (manifest.empty()) return UsageError("build needs a MANIFEST", err);
    if (!haveOutput || output.empty()) return UsageError("build needs -o FILE", err);

    std::string error;
    if (!BuildPackage(manifest, output, &error)) {
        err << "carillon-pkg: " << error << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int RunPkgTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return UsageError("no command given", err);
    const std::string& command = args[0];
    if (command == "-h" || command == "--help" || command == "help") {
        out << kUsage;
        return kExitOk;
    }
    if (command == "info") return RunInfo(args, out, err);
    if (command == "build") return RunBuild(args, err);
    return UsageError("unknown command " + command, err);
}

}  // namespace carillon::pkgtool
