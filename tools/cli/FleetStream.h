#pragma once
// A stdio stream for one printer of a fleet: every whole line written to it
// reaches the real stream at once, marked with the printer's port, so that
// the printers' reports interleave line by line and never inside a line.
// Text lines get "PORT: " in front; JSON objects get a "port" field.

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace carillon::cli {

class FleetStream {
public:
    // lock guards target across every FleetStream that shares it.
    FleetStream(std::FILE* target, std::mutex& lock, std::string port, bool json);
    ~FleetStream();
    FleetStream(const FleetStream&) = delete;
    FleetStream& operator=(const FleetStream&) = delete;

    // Null when the stream could not be made; callers then write to the target.
    std::FILE* File() const { return file_; }

    // The line as it reaches the target.
    static std::string Mark(const std::string& line, const std::string& port, bool json);

    // What was written to File(): each whole line goes on to the target.
    void Take(const char* data, std::size_t size);

private:
    void EmitLine(const std::string& line);
    void EmitRest();

    std::FILE* target_;
    std::mutex& lock_;
    std::string port_;
    bool json_;
    std::string pending_;  // the start of a line not yet ended
    std::FILE* file_ = nullptr;
    std::thread reader_;  // where the system has no custom streams: reads a pipe behind file_
};

}  // namespace carillon::cli
