#include "cli/FleetStream.h"

#include "cli/Json.h"

namespace carillon::cli {

FleetStream::FleetStream(std::FILE* target, std::mutex& lock, std::string port, bool json)
    : target_(target), lock_(lock), port_(std::move(port)), json_(json) {
    cookie_io_functions_t io{};
    io.write = &FleetStream::WriteCookie;
    file_ = ::fopencookie(this, "w", io);
    if (file_ != nullptr) std::setvbuf(file_, nullptr, _IOLBF, 0);
}

FleetStream::~FleetStream() {
    if (file_ != nullptr) std::fclose(file_);
    if (!pending_.empty()) EmitLine(pending_);  // a last line without its end
}

std::string FleetStream::Mark(const std::string& line, const std::string& port, bool json) {
    if (!json) return port + ": " + line;
    if (line.empty() || line.front() != '{') return line;
    const std::string field = "\"port\":" + JsonString(port);
    return line == "{}" ? "{" + field + "}" : "{" + field + "," + line.substr(1);
}

ssize_t FleetStream::WriteCookie(void* self, const char* data, size_t size) {
    auto& stream = *static_cast<FleetStream*>(self);
    stream.pending_.append(data, size);
    std::size_t end;
    while ((end = stream.pending_.find('\n')) != std::string::npos) {
        stream.EmitLine(stream.pending_.substr(0, end));
        stream.pending_.erase(0, end + 1);
    }
    return static_cast<ssize_t>(size);
}

void FleetStream::EmitLine(const std::string& line) {
    const std::string marked = Mark(line, port_, json_);
    std::lock_guard lock(lock_);
    std::fprintf(target_, "%s\n", marked.c_str());
    std::fflush(target_);
}

}  // namespace carillon::cli
