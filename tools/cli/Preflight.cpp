#include "cli/Preflight.h"

#include "app/OutputBinary.h"
#include "cli/Cli.h"
#include "package/ElementList.h"

namespace carillon::cli {

int CheckFilesBeforeConnecting(const Options& o, const std::vector<std::string>& otherInputs, Reporter& reporter) {
    CElementList package;
    if (const ErrorCode e = package.LoadPackage(o.package); e != kOk) {
        reporter.Summary(false, e, "the package " + o.package + " cannot be loaded");
        return kExitFailed;
    }
    if (o.command != Command::kUpdate || o.output.empty()) return kExitDone;
    std::vector<std::string> inputs = otherInputs;
    inputs.push_back(o.package);
    const ErrorCode e = CheckOutputBinaryPath(o.output, inputs);
    if (e == kOk) return kExitDone;
    reporter.Summary(false, e, "the output binary " + o.output + " is refused");
    return e == kErrJobOutputIsInput ? kExitUsage : kExitFailed;
}

}  // namespace carillon::cli
