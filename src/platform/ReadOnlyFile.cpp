#include "platform/ReadOnlyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace carillon::platform {

ReadOnlyFile::~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
}

ReadOnlyFile::OpenResult ReadOnlyFile::Open(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return errno == EACCES ? OpenResult::kNoAccess : OpenResult::kNotFound;
    if (S_ISDIR(st.st_mode)) return OpenResult::kIsDirectory;
    if (!S_ISREG(st.st_mode)) return OpenResult::kNotRegular;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return errno == EACCES ? OpenResult::kNoAccess : OpenResult::kNotFound;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return OpenResult::kNoSize;
    size_ = static_cast<std::size_t>(st.st_size);
    return OpenResult::kOk;
}

bool ReadOnlyFile::ReadAt(std::size_t offset, std::size_t length, std::uint8_t* destination) {
    while (length > 0) {
        const ssize_t got = ::pread(fd_, destination, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;  // an error, or the file has shrunk
        destination += got;
        offset += static_cast<std::size_t>(got);
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace carillon::platform
