#include "app/SetupLocation.h"

#include <cstdlib>
#include <filesystem>

#include "platform/ProgramFile.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The per-user configuration base: XDG_CONFIG_HOME when it is an absolute
// path (a relative one is to be ignored), else ~/.config.
std::string ConfigHome(const UserDirs& user) {
    if (!user.xdgConfigHome.empty() && user.xdgConfigHome.front() == '/') return user.xdgConfigHome;
    if (user.home.empty()) return "";
    return (fs::path(user.home) / ".config").string();
}

// /usr keeps its configuration in /etc (also under a scratch root holding an
// unpacked package); any other prefix in its own etc.
fs::path ConfigDirFor(const fs::path& prefix) {
    if (prefix.filename() == "usr") return prefix.parent_path() / "etc";
    return prefix / "etc";
}

}  // namespace

UserDirs UserDirs::FromEnvironment() { return UserDirs{Environment("XDG_CONFIG_HOME"), Environment("HOME")}; }

SetupLocation LocateSetup(const std::string& programFile, const UserDirs& user) {
    SetupLocation location;
    const fs::path program(programFile);
    if (!program.has_parent_path() || !program.is_absolute()) return location;
    const fs::path dir = program.parent_path();
    std::error_code ec;
    if (dir.filename() != "bin" || fs::is_directory(dir / "SetupData", ec)) {
        location.setupFile = (dir / "SetupData" / "Setup.ini").string();
        location.pictureFile = (dir / "SetupData" / "Setup.bmp").string();
        return location;
    }
    const fs::path prefix = dir.parent_path();
    location.installed = true;
    location.setupFile = (ConfigDirFor(prefix) / "carillon" / "Setup.ini").string();
    if (const std::string base = ConfigHome(user); !base.empty())
        location.rememberFile = (fs::path(base) / "carillon" / "Setup.ini").string();
    location.pictureFile = (prefix / "share" / "carillon" / "Setup.bmp").string();
    return location;
}

std::string RunningProgramFile(const std::string& startedAs) {
    std::error_code ec;
    if (fs::path(startedAs).has_parent_path()) {
        // Links are kept: a link to the program beside a SetupData folder of
        // its own uses that folder.
        const fs::path absolute = fs::absolute(startedAs, ec).lexically_normal();
        return ec ? std::string() : absolute.string();
    }
    return platform::RecordedProgramFile();
}

}  // namespace carillon
