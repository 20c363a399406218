#pragma once
// Writing a result file without ever harming what is already there: the
// target is checked against the job's inputs by identity (device and inode,
// so that other spellings, links and symlinks of an input are caught), only a
// regular file or a new name is accepted, and the bytes go to a new temporary
// file beside the target that is renamed over it only once complete. A
// failure removes nothing but that temporary file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace carillon::platform {

enum class OutputCheck {
    kOk,
    kIsInput,      // the same file as one of the inputs
    kNotRegular,   // exists and is a directory, a device, a FIFO...
    kCantCreate,   // no such directory, or no right to create a file there
};

// True when both paths exist and name the same file.
bool SameFile(const std::string& a, const std::string& b);

// Whether path may receive the output of a job that reads inputs. Nothing is
// left behind: a trial file made to prove the directory writable is removed.
OutputCheck CheckOutputPath(const std::string& path, const std::vector<std::string>& inputs);

class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();  // removes the temporary file unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file beside target (beside the file a symlink
    // names). False when it cannot be created.
    bool Open(const std::string& target);
    // The whole buffer, or false.
    bool Write(const std::uint8_t* data, std::size_t length);
    // Flushes to the disk and renames the temporary file over the target.
    bool Commit();

private:
    void Discard();

    int fd_ = -1;
    std::string target_;
    std::string temporary_;  // empty once renamed or removed
};

}  // namespace carillon::platform
