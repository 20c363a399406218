#pragma once
// A regular file opened for reading at any offset, without a stream buffer
// in between: large reads go straight into the caller's memory.

#include <cstddef>
#include <cstdint>
#include <string>

namespace carillon::platform {

class ReadOnlyFile {
public:
    enum class OpenResult { kOk, kNotFound, kIsDirectory, kNotRegular, kNoAccess, kNoSize };

    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Only a regular file is opened: a directory, a device or a pipe is
    // refused, each with its own result, before any read could block.
    OpenResult Open(const std::string& path);
    std::size_t Size() const { return size_; }
    // Exactly length bytes from offset; false on an error or when the file
    // has become shorter.
    bool ReadAt(std::size_t offset, std::size_t length, std::uint8_t* destination);

private:
    int fd_ = -1;
    std::size_t size_ = 0;
};

}  // namespace carillon::platform
