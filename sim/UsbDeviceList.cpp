#include "sim/UsbDeviceList.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace carillon::sim {
namespace {

std::vector<UsbDeviceList::Entry> Parse(const std::string& path) {
    std::vector<UsbDeviceList::Entry> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        entries.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return entries;
}

}  // namespace

std::string UsbDeviceList::PathFromEnvironment() {
    const char* path = std::getenv(kEnvironmentVariable);
    return path ? path : "";
}

std::vector<UsbDeviceList::Entry> UsbDeviceList::Entries() const { return Parse(m_path); }

template <typename Change>
bool UsbDeviceList::Update(Change change, std::string* error) {
    const std::string lockPath = m_path + ".lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        if (error) *error = "cannot lock " + lockPath + ": " + std::strerror(errno);
        if (lock >= 0) ::close(lock);
        return false;
    }
    std::vector<Entry> entries = Parse(m_path);
    change(entries);
    const std::string temp = m_path + ".tmp";
    bool ok;
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const Entry& e : entries) out << e.first << '\t' << e.second << '\n';
        ok = static_cast<bool>(out.flush());
    }
    ok = ok && std::rename(temp.c_str(), m_path.c_str()) == 0;
    if (!ok && error) *error = "cannot write " + m_path;
    ::flock(lock, LOCK_UN);
    ::close(lock);
    return ok;
}

bool UsbDeviceList::Add(const std::string& instanceId, const std::string& devicePath, std::string* error) {
    return Update([&](std::vector<Entry>& entries) { entries.emplace_back(instanceId, devicePath); }, error);
}

bool UsbDeviceList::Remove(const std::string& instanceId, const std::string& devicePath) {
    return Update(
        [&](std::vector<Entry>& entries) {
            std::erase_if(entries, [&](const Entry& e) { return e.first == instanceId && e.second == devicePath; });
        },
        nullptr);
}

}  // namespace carillon::sim
