#include "package/PackageReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace carillon {

ErrorCode MemoryPackageReader::View(std::size_t offset, std::size_t length, std::string_view* text) {
    *text = bytes_.substr(std::min(offset, bytes_.size()), length);
    return kOk;
}

ErrorCode MemoryPackageReader::Copy(std::size_t offset, std::size_t length, std::uint8_t* destination) {
    if (length > 0) std::memcpy(destination, bytes_.data() + offset, length);
    return kOk;
}

FilePackageReader::~FilePackageReader() {
    if (fd_ >= 0) ::close(fd_);
}

ErrorCode FilePackageReader::Open(const std::string& path) {
    std::error_code ec;
    // A directory or a device cannot be read as a package; refusing it before
    // opening also keeps the open from blocking on a pipe.
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return kErrFileNotFound;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return kErrFileNotFound;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return kErrFileSize;
    size_ = static_cast<std::size_t>(st.st_size);
    return size_ == 0 ? kErrFileEmpty : kOk;
}

ErrorCode FilePackageReader::ReadAt(std::size_t offset, std::size_t length, std::uint8_t* destination) {
    while (length > 0) {
        const ssize_t got = ::pread(fd_, destination, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return kErrFileRead;  // an error, or the file has shrunk
        destination += got;
        offset += static_cast<std::size_t>(got);
        length -= static_cast<std::size_t>(got);
    }
    return kOk;
}

ErrorCode FilePackageReader::View(std::size_t offset, std::size_t length, std::string_view* text) {
    offset = std::min(offset, size_);
    length = std::min(length, size_ - offset);
    const bool inWindow = offset >= windowOffset_ && offset + length <= windowOffset_ + window_.size();
    if (!inWindow) {
        window_.resize(length);
        windowOffset_ = offset;
        if (ErrorCode r = ReadAt(offset, length, reinterpret_cast<std::uint8_t*>(window_.data())); r != kOk) {
            window_.clear();
            return r;
        }
    }
    *text = std::string_view(window_).substr(offset - windowOffset_, length);
    return kOk;
}

ErrorCode FilePackageReader::Copy(std::size_t offset, std::size_t length, std::uint8_t* destination) {
    // The start of an element's data usually came in with its header.
    if (offset >= windowOffset_ && offset < windowOffset_ + window_.size()) {
        const std::size_t n = std::min(length, windowOffset_ + window_.size() - offset);
        std::memcpy(destination, window_.data() + (offset - windowOffset_), n);
        offset += n;
        destination += n;
        length -= n;
    }
    return length > 0 ? ReadAt(offset, length, destination) : kOk;
}

}  // namespace carillon
