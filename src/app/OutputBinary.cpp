#include "app/OutputBinary.h"

#include "platform/OutputFile.h"

namespace carillon {

ErrorCode CheckOutputBinaryPath(const std::string& path, const std::vector<std::string>& inputs) {
    switch (platform::CheckOutputPath(path, inputs)) {
        case platform::OutputCheck::kOk: return kOk;
        case platform::OutputCheck::kIsInput: return kErrJobOutputIsInput;
        case platform::OutputCheck::kNotRegular: return kErrJobOutputNotFile;
        case platform::OutputCheck::kCantCreate: break;
    }
    return kErrJobOutputCreate;
}

ErrorCode WriteOutputBinary(const std::string& path, const ByteArray& image) {
    platform::ReplacingFile file;
    if (!file.Open(path)) return kErrJobOutputCreate;
    if (!file.Write(image.data(), image.size()) || !file.Commit()) return kErrJobOutputWrite;
    return kOk;
}

}  // namespace carillon
