#pragma once
// Helpers for tests that drive ports: a scratch directory, the USB device
// list file (a printer on a pseudo-terminal shows up as a USB printer through
// it), and waiting for a condition without sleeping blindly.

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ports/PortSettings.h"
#include "ports/UsbDeviceSource.h"

namespace carillon::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "carillon-ports-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Writes text to a file below the directory, creating its folders.
    std::string Write(const std::string& relative, const std::string& text) const {
        auto file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::trunc) << text;
        return file.string();
    }

    std::string Read(const std::string& relative) const {
        std::ifstream in(path_ / relative);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path path_;
};

// The file-backed USB device list, named by the environment for the time the
// object lives. Rewritten as a whole (write then rename), as a printer that
// leaves and comes back would have it.
class UsbDevicesFile {
public:
    UsbDevicesFile() : file_((dir_.Path() / "usb-devices").string()) {
        ::setenv(kUsbDevicesVariable, file_.c_str(), 1);
        Set({});
    }
    ~UsbDevicesFile() { ::unsetenv(kUsbDevicesVariable); }
    UsbDevicesFile(const UsbDevicesFile&) = delete;
    UsbDevicesFile& operator=(const UsbDevicesFile&) = delete;

    void Set(const std::vector<UsbDeviceEntry>& entries) {
        std::string text;
        for (const auto& e : entries) text += e.instanceId + "\t" + e.devicePath + "\n";
        SetText(text);
    }

    void SetText(const std::string& text) {
        const std::string temp = file_ + ".new";
        std::ofstream(temp, std::ios::trunc) << text;
        std::filesystem::rename(temp, file_);
    }

    const std::string& Path() const { return file_; }

private:
    TempDir dir_;
    std::string file_;
};

// Polls pred every millisecond until it holds or the time is up.
template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::milliseconds(1000)) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Milliseconds that fn takes.
template <typename Fn>
long long TimeMs(Fn fn) {
    auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// One line per USB device entry: "<instance id> <device path>".
inline std::vector<std::string> Listing(const std::vector<UsbDeviceEntry>& entries) {
    std::vector<std::string> lines;
    for (const auto& e : entries) lines.push_back(e.instanceId + " " + e.devicePath);
    return lines;
}

// One line per port record, so that a whole listing is compared at once:
// name, kind, number and the USB ids ("USB2 usb 2 1209:c0de").
inline std::vector<std::string> Listing(const PortRecord* records, int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
        const PortRecord& r = records[i];
        const char* kind = r.kind == kPortKindUsb ? "usb" : r.kind == kPortKindSerial ? "serial" : "other";
        char line[320];
        std::snprintf(line, sizeof line, "%s %s %u %04x:%04x", r.name, kind, r.number, r.vid, r.pid);
        lines.push_back(line);
    }
    return lines;
}

}  // namespace carillon::testing
