// The package manifest: any manifest text either is refused with a message
// or builds a package that the updater loads with the same elements (count,
// names, types, locations, sizes and data) that the manifest named.
//
// Input: the manifest text. It lies beside four data files, "empty" (no
// bytes), "three" (3), "page" (256) and "odd" (1001), which DATA may name.
// Inputs naming other directories are skipped so that a run only reads
// its own files.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "package/ElementList.h"
#include "pkg/PackageBuilder.h"

namespace {

namespace fs = std::filesystem;
using namespace carillon;

const fs::path& Dir() {
    static const fs::path dir = [] {
        const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        fs::path d = base / ("carillon-fuzz-manifest-" + std::to_string(::getpid()));
        fs::create_directories(d);
        const std::pair<const char*, std::size_t> files[] = {{"empty", 0}, {"three", 3}, {"page", 256}, {"odd", 1001}};
        for (const auto& [name, size] : files) {
            std::ofstream out(d / name, std::ios::binary);
            for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 37 + 11) & 0xFF));
        }
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find_first_of("/\\") != std::string::npos) return 0;
    const fs::path manifest = Dir() / "manifest.ini";
    {
        std::ofstream out(manifest, std::ios::binary | std::ios::trunc);
        out << text;
    }

    std::vector<pkgtool::PackageEntry> entries;
    std::string error;
    if (!pkgtool::ReadManifest(manifest.string(), &entries, &error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(!entries.empty() && entries.size() <= pkgtool::kMaxPackageElements);

    // Loaded from a file, as the updater loads it.
    const std::string package = pkgtool::EncodePackage(entries);
    static const int fd = ::memfd_create("package", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::ftruncate(fd, 0) == 0);
    FUZZ_CHECK(::pwrite(fd, package.data(), package.size(), 0) == static_cast<ssize_t>(package.size()));
    CElementList list;
    std::uint32_t count = 0;
    const ErrorCode loaded = list.LoadPackage("/proc/self/fd/" + std::to_string(fd), &count);
    if (loaded != kOk) {
        std::fprintf(stderr, "manifest built a package that does not load: %08X\n", loaded);
        std::abort();
    }
    FUZZ_CHECK(count == entries.size());
    FUZZ_CHECK(static_cast<std::size_t>(list.GetCount()) == entries.size());

    auto entry = entries.begin();
    for (const auto& e : list.Elements()) {
        const pkgtool::PackageEntry& want = *entry++;
        auto field = [&](const char* key) -> std::string {
            for (const auto& [k, v] : want.fields)
                if (k == key) return v;
            return {};
        };
        FUZZ_CHECK(e->m_strName == field("NAME"));
        FUZZ_CHECK(e->m_type == TypeFromKeyword(field("ELEMENT_TYPE")));
        FUZZ_CHECK(e->m_location == LocationFromKeyword(field("LOCATION")));
        const std::string version = field("VERSION");
        if (!version.empty()) FUZZ_CHECK(e->m_version == std::stoi(version));
        FUZZ_CHECK(e->m_size == (want.data.size() + 3) / 4 * 4);
        FUZZ_CHECK(want.data.empty() || std::memcmp(e->m_pData.get(), want.data.data(), want.data.size()) == 0);
    }
    return 0;
}
