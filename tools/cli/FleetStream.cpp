#include "cli/FleetStream.h"

#include "cli/Json.h"

namespace carillon::cli {

std::string FleetStream::Mark(const std::string& line, const std::string& port, bool json) {
    if (!json) return port + ": " + line;
    if (line.empty() || line.front() != '{') return line;
    const std::string field = "\"port\":" + JsonString(port);
    return line == "{}" ? "{" + field + "}" : "{" + field + "," + line.substr(1);
}

void FleetStream::Take(const char* data, std::size_t size) {
    pending_.append(data, size);
    std::size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
        EmitLine(pending_.substr(0, end));
        pending_.erase(0, end + 1);
    }
}

void FleetStream::EmitRest() {
    if (!pending_.empty()) EmitLine(pending_);  // a last line without its end
    pending_.clear();
}

void FleetStream::EmitLine(const std::string& line) {
    const std::string marked = Mark(line, port_, json_);
    std::lock_guard lock(lock_);
    std::fprintf(target_, "%s\n", marked.c_str());
    std::fflush(target_);
}

}  // namespace carillon::cli
