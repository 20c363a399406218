#include "platform/ProgramFile.h"

#include <windows.h>

#include <filesystem>
#include <vector>

namespace carillon::platform {

std::string RecordedProgramFile() {
    // Long paths may exceed MAX_PATH: grow the buffer until the name fits.
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) return std::filesystem::path(std::wstring(name.data(), length)).string();
        name.resize(name.size() * 2);
    }
}

}  // namespace carillon::platform
