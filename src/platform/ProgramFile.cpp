#include "platform/ProgramFile.h"

#include <filesystem>

namespace carillon::platform {

std::string RecordedProgramFile() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

}  // namespace carillon::platform
