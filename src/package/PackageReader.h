#pragma once
// Where the bytes of a package come from while it is parsed: a buffer in
// memory, or the file itself. Reading the file as it is parsed lets element
// data go straight from the file into each element's buffer, instead of
// through a copy of the whole file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "errors/ErrorCode.h"
#include "platform/ReadOnlyFile.h"

namespace carillon {

class PackageReader {
public:
    virtual ~PackageReader() = default;

    // The package's size in bytes.
    virtual std::size_t Size() const = 0;
    // Up to length bytes from offset (fewer at the end of the package), valid
    // until the next call.
    virtual ErrorCode View(std::size_t offset, std::size_t length, std::string_view* text) = 0;
    // Exactly length bytes from offset, which lie within the package.
    virtual ErrorCode Copy(std::size_t offset, std::size_t length, std::uint8_t* destination) = 0;
};

class MemoryPackageReader final : public PackageReader {
public:
    explicit MemoryPackageReader(std::string_view bytes) : bytes_(bytes) {}

    std::size_t Size() const override { return bytes_.size(); }
    ErrorCode View(std::size_t offset, std::size_t length, std::string_view* text) override;
    ErrorCode Copy(std::size_t offset, std::size_t length, std::uint8_t* destination) override;

private:
    std::string_view bytes_;
};

class FilePackageReader final : public PackageReader {
public:
    FilePackageReader() = default;

    // 0x01000003 when the path is not a regular file that can be opened,
    // 0x01000004 when its size cannot be had, 0x01000005 when it is empty.
    ErrorCode Open(const std::string& path);

    std::size_t Size() const override { return file_.Size(); }
    // A file that gives fewer bytes than its size had at Open: 0x01000006.
    ErrorCode View(std::size_t offset, std::size_t length, std::string_view* text) override;
    ErrorCode Copy(std::size_t offset, std::size_t length, std::uint8_t* destination) override;

private:
    ErrorCode ReadAt(std::size_t offset, std::size_t length, std::uint8_t* destination);

    platform::ReadOnlyFile file_;
    // The bytes last viewed, and where they start in the file.
    std::string window_;
    std::size_t windowOffset_ = 0;
};

}  // namespace carillon
