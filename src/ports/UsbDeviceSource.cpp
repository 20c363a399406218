#include "ports/UsbDeviceSource.h"

#include <atomic>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/ReadOnlyFile.h"

namespace carillon {
namespace {

// Far more than any machine's printers need; a list file that is really a
// device (/dev/zero) or a runaway log must not fill the memory.
constexpr std::size_t kListSizeLimit = 64 * 1024;

unsigned long ParseHex(std::string_view text) {
    std::string s(text);
    return std::strtoul(s.c_str(), nullptr, 16) & 0xFFFF;
}

std::atomic<const UsbDeviceSource*> g_scoped{nullptr};

class BorrowedSource final : public UsbDeviceSource {
public:
    explicit BorrowedSource(const UsbDeviceSource& source) : source_(source) {}
    std::vector<UsbDeviceEntry> List() const override { return source_.List(); }

private:
    const UsbDeviceSource& source_;
};
// The first kListSizeLimit bytes of a regular file; nothing for anything else.
std::string ReadListText(const std::string& path) {
    platform::ReadOnlyFile file;
    if (file.Open(path) != platform::ReadOnlyFile::OpenResult::kOk) return {};
    std::string text(std::min(file.Size(), kListSizeLimit), '\0');
    if (!file.ReadAt(0, text.size(), reinterpret_cast<std::uint8_t*>(text.data()))) return {};
    return text;
}

// A printer's node is a character device. A path naming anything else that
// exists (a regular file, a FIFO, a directory) would hold or fool the reads;
// a missing one simply fails to open, as a printer that just left does.
bool MayBePrinterNode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) != 0 || S_ISCHR(st.st_mode);
}

}  // namespace

ScopedUsbDeviceSource::ScopedUsbDeviceSource(const UsbDeviceSource& source) : previous_(g_scoped.exchange(&source)) {}

ScopedUsbDeviceSource::~ScopedUsbDeviceSource() { g_scoped = previous_; }

std::vector<UsbDeviceEntry> FileUsbDeviceSource::List() const {
    std::vector<UsbDeviceEntry> entries;
    std::istringstream in(ReadListText(path_));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab + 1 == line.size()) continue;
        std::string device = line.substr(tab + 1);
        if (MayBePrinterNode(device)) entries.push_back({line.substr(0, tab), std::move(device)});
    }
    return entries;
}

std::unique_ptr<UsbDeviceSource> MakeUsbDeviceSource() {
    if (const UsbDeviceSource* scoped = g_scoped.load()) return std::make_unique<BorrowedSource>(*scoped);
    const char* file = std::getenv(kUsbDevicesVariable);
    if (file != nullptr && *file != '\0') return std::make_unique<FileUsbDeviceSource>(file);
    return MakeSystemUsbDeviceSource();
}

std::string MakeUsbInstanceId(std::string_view idVendor, std::string_view idProduct, std::string_view serial,
                              std::string_view portPath) {
    char head[32];
    std::snprintf(head, sizeof head, "USB\\Vid_%04lx&Pid_%04lx\\", ParseHex(idVendor), ParseHex(idProduct));
    std::string instance(serial.empty() ? portPath : serial);
    for (char& c : instance) {
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    }
    return head + instance;
}

}  // namespace carillon
