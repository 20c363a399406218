// A custom stdio stream: each write reaches Take at once, on the writer's thread.
#include <sys/types.h>

#include "cli/FleetStream.h"

namespace carillon::cli {
namespace {

ssize_t WriteCookie(void* self, const char* data, size_t size) {
    static_cast<FleetStream*>(self)->Take(data, size);
    return static_cast<ssize_t>(size);
}

}  // namespace

FleetStream::FleetStream(std::FILE* target, std::mutex& lock, std::string port, bool json)
    : target_(target), lock_(lock), port_(std::move(port)), json_(json) {
    cookie_io_functions_t io{};
    io.write = &WriteCookie;
    file_ = ::fopencookie(this, "w", io);
    if (file_ != nullptr) std::setvbuf(file_, nullptr, _IOLBF, 0);
}

FleetStream::~FleetStream() {
    if (file_ != nullptr) std::fclose(file_);
    EmitRest();
}

}  // namespace carillon::cli
