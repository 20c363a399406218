#include "package/PackageReader.h"

#include <algorithm>
#include <cstring>

namespace carillon {

ErrorCode MemoryPackageReader::View(std::size_t offset, std::size_t length, std::string_view* text) {
    *text = bytes_.substr(std::min(offset, bytes_.size()), length);
    return kOk;
}

ErrorCode MemoryPackageReader::Copy(std::size_t offset, std::size_t length, std::uint8_t* destination) {
    if (length > 0) std::memcpy(destination, bytes_.data() + offset, length);
    return kOk;
}

ErrorCode FilePackageReader::Open(const std::string& path) {
    switch (file_.Open(path)) {
        case platform::ReadOnlyFile::OpenResult::kNotFound: return kErrFileNotFound;
        case platform::ReadOnlyFile::OpenResult::kIsDirectory: return kErrFileIsDirectory;
        case platform::ReadOnlyFile::OpenResult::kNotRegular: return kErrFileNotRegular;
        case platform::ReadOnlyFile::OpenResult::kNoAccess: return kErrFileNoAccess;
        case platform::ReadOnlyFile::OpenResult::kNoSize: return kErrFileSize;
        case platform::ReadOnlyFile::OpenResult::kOk: break;
    }
    return file_.Size() == 0 ? kErrFileEmpty : kOk;
}

ErrorCode FilePackageReader::ReadAt(std::size_t offset, std::size_t length, std::uint8_t* destination) {
    return file_.ReadAt(offset, length, destination) ? kOk : kErrFileRead;
}

ErrorCode FilePackageReader::View(std::size_t offset, std::size_t length, std::string_view* text) {
    const std::size_t size = file_.Size();
    offset = std::min(offset, size);
    length = std::min(length, size - offset);
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
