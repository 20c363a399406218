#include <cstdio>

#include "platform/OutputFile.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon::platform {
namespace {

HANDLE AsHandle(int fd) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd)); }

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash + 1);
}

struct Identity {
    DWORD volume;
    DWORD high;
    DWORD low;
};

bool IdentityOf(const std::string& path, Identity* id) {
    HANDLE file = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    *id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return ok;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    Identity ia{}, ib{};
    if (a.empty() || b.empty() || !IdentityOf(a, &ia) || !IdentityOf(b, &ib)) return false;
    return ia.volume == ib.volume && ia.high == ib.high && ia.low == ib.low;
}

OutputCheck CheckOutputPath(const std::string& path, const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs) {
        if (SameFile(path, input)) return OutputCheck::kIsInput;
    }
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return OutputCheck::kNotRegular;
    }
    ReplacingFile trial;
    return trial.Open(path) ? OutputCheck::kOk : OutputCheck::kCantCreate;
}

ReplacingFile::~ReplacingFile() { Discard(); }

bool ReplacingFile::Open(const std::string& target) {
    Discard();
    target_ = target;
    // A device name would take the bytes somewhere else entirely.
    HANDLE existing = ::CreateFileA(target_.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        const bool disk = ::GetFileType(existing) == FILE_TYPE_DISK;
        ::CloseHandle(existing);
        if (!disk) return false;
    }
    const std::string directory = DirectoryOf(target_);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, ".carillon-%08lx-%u.tmp", ::GetCurrentProcessId(),
                      static_cast<unsigned>(::GetTickCount()) + attempt);
        const std::string candidate = directory + name;
        HANDLE file = ::CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            fd_ = static_cast<int>(reinterpret_cast<std::intptr_t>(file));
            temporary_ = candidate;
            return true;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

bool ReplacingFile::Write(const std::uint8_t* data, std::size_t length) {
    while (fd_ != -1 && length > 0) {
        const DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!::WriteFile(AsHandle(fd_), data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        length -= written;
    }
    return fd_ != -1;
}

bool ReplacingFile::Commit() {
    if (fd_ == -1) return false;
    const bool synced = ::FlushFileBuffers(AsHandle(fd_)) != 0;
    const bool closed = ::CloseHandle(AsHandle(fd_)) != 0;
    fd_ = -1;
    if (!synced || !closed ||
        !::MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacingFile::Discard() {
    if (fd_ != -1) ::CloseHandle(AsHandle(fd_));
    fd_ = -1;
    // Only the file this object created: never the target or anything else.
    if (!temporary_.empty()) ::DeleteFileA(temporary_.c_str());
    temporary_.clear();
}

}  // namespace carillon::platform
