#include "cli/Preflight.h"

#include "app/OutputBinary.h"
#include "app/StringTable.h"
#include "cli/Cli.h"
#include "package/ElementList.h"
#include "platform/Format.h"

namespace carillon::cli {

int CheckFilesBeforeConnecting(const Options& o, Reporter& reporter) {
    CElementList package;
    if (const ErrorCode e = package.LoadPackage(o.package); e != kOk) {
        reporter.Summary(false, e, platform::Format(LoadString(IDS_INVALID_FILE_FORMAT).c_str(), o.package.c_str(), e));
        return kExitFailed;
    }
    if (o.command != Command::kUpdate || o.output.empty()) return kExitDone;
    const ErrorCode e = CheckOutputBinaryPath(o.output, {o.package});
    if (e == kOk) return kExitDone;
    reporter.Summary(false, e, "the output binary " + o.output + " is refused");
    return e == kErrJobOutputIsInput ? kExitUsage : kExitFailed;
}

}  // namespace carillon::cli
