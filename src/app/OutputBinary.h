#pragma once
// The update job's output binary file: whether a path may receive it, and
// the writing itself, both as error codes the job and its front-ends report.

#include <string>
#include <vector>

#include "errors/ErrorCode.h"
#include "platform/ByteArray.h"

namespace carillon {

// kOk, or 0x00030042 when path is the same file as one of inputs, 0x00030043
// when it exists and is not a regular file, 0x00030040 when no file can be
// created there. Touches nothing.
ErrorCode CheckOutputBinaryPath(const std::string& path, const std::vector<std::string>& inputs);

// Writes image to path through a temporary file renamed into place, so that
// a failure leaves whatever was at path as it was: 0x00030040 when the file
// cannot be created, 0x00030041 when it cannot be written in full.
ErrorCode WriteOutputBinary(const std::string& path, const ByteArray& image);

}  // namespace carillon
