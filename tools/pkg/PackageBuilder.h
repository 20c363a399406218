#pragma once
// Builds package files from an INI manifest: one section per element, in
// file order, whose keys are the package header keywords plus DATA, the path
// of the element's data relative to the manifest. SIZE and CRC are always
// computed from the data.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace carillon::pkgtool {

// One element to write: its header fields in writing order (without SIZE
// and CRC) and its data.
struct PackageEntry {
    std::vector<std::pair<std::string, std::string>> fields;
    std::vector<std::uint8_t> data;
};

// The most elements the count field can state.
constexpr std::size_t kMaxPackageElements = 0xFFFF;

// The package bytes: the count field closed by ";", then each element's
// header (its fields, SIZE, and CRC over the data zero-padded to a multiple
// of 4, ending in ";;") directly followed by its data.
std::string EncodePackage(const std::vector<PackageEntry>& entries);

// Reads and checks a manifest and the data files it names. On failure
// returns false and sets error to a message naming the section and key.
// dataFiles, when given, receives the path of every data file read.
bool ReadManifest(const std::string& manifestPath, std::vector<PackageEntry>* entries, std::string* error,
                  std::vector<std::string>* dataFiles = nullptr);

// Writes bytes to a new file beside path and renames it over path at the
// end: a failed write leaves path as it was and removes only that new file.
bool WriteFile(const std::string& path, const std::string& bytes, std::string* error);

// ReadManifest, EncodePackage and WriteFile in a row; an output that is the
// manifest or one of its data files, or is not a regular file, is refused
// before anything is written.
bool BuildPackage(const std::string& manifestPath, const std::string& outputPath, std::string* error);

}  // namespace carillon::pkgtool
