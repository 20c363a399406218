#pragma once
// A scratch directory per test, removed afterwards, for manifests, data
// files and packages.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace carillon::testing {

class ScratchDir {
public:
    ScratchDir() {
        static int serial = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("carillon-pkgtool-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = *this / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace carillon::testing
