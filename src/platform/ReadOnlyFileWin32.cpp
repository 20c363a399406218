#include "platform/ReadOnlyFile.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon::platform {
namespace {

// The int field holds the handle: kernel handles keep their meaning in 32 bits.
HANDLE AsHandle(int fd) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd)); }

ReadOnlyFile::OpenResult Refusal(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? ReadOnlyFile::OpenResult::kNoAccess
                                                                            : ReadOnlyFile::OpenResult::kNotFound;
}

}  // namespace

ReadOnlyFile::~ReadOnlyFile() {
    if (fd_ != -1) ::CloseHandle(AsHandle(fd_));
}

ReadOnlyFile::OpenResult ReadOnlyFile::Open(const std::string& path) {
    if (path.empty()) return OpenResult::kNotFound;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Refusal(::GetLastError());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return OpenResult::kIsDirectory;
    // Others may read and even replace the file meanwhile, as on other systems.
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Refusal(::GetLastError());
    fd_ = static_cast<int>(reinterpret_cast<std::intptr_t>(file));
    // A device name (NUL, COM1, CON) opens as well: only a disk file is one.
    if (::GetFileType(file) != FILE_TYPE_DISK) return OpenResult::kNotRegular;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0) return OpenResult::kNoSize;
    size_ = static_cast<std::size_t>(size.QuadPart);
    return OpenResult::kOk;
}

bool ReadOnlyFile::ReadAt(std::size_t offset, std::size_t length, std::uint8_t* destination) {
    while (length > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        const DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
        DWORD got = 0;
        if (!::ReadFile(AsHandle(fd_), destination, chunk, &got, &at) || got == 0) return false;
        destination += got;
        offset += got;
        length -= got;
    }
    return true;
}

}  // namespace carillon::platform
