// Windows has no custom stdio streams: the printer's stream is the write end
// of a pipe, unbuffered (line buffering is full buffering there), and a
// thread of the stream's own hands what arrives to Take.
#include <fcntl.h>
#include <io.h>

#include "cli/FleetStream.h"

namespace carillon::cli {

FleetStream::FleetStream(std::FILE* target, std::mutex& lock, std::string port, bool json)
    : target_(target), lock_(lock), port_(std::move(port)), json_(json) {
    int fds[2];
    if (::_pipe(fds, 4096, _O_BINARY) != 0) return;
    file_ = ::_fdopen(fds[1], "wb");
    if (file_ == nullptr) {
        ::_close(fds[0]);
        ::_close(fds[1]);
        return;
    }
    std::setvbuf(file_, nullptr, _IONBF, 0);
    reader_ = std::thread([this, in = fds[0]] {
        char buffer[512];
        int n;
        while ((n = ::_read(in, buffer, sizeof buffer)) > 0) Take(buffer, static_cast<std::size_t>(n));
        ::_close(in);
    });
}

FleetStream::~FleetStream() {
    if (file_ != nullptr) std::fclose(file_);  // the reader then meets the pipe's end
    if (reader_.joinable()) reader_.join();
    EmitRest();
}

}  // namespace carillon::cli
