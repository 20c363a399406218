// Loading and verifying a 64 MiB package of uncrypted elements from the page
// cache, against reading the same file into memory the way the loader does.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include "package/ElementList.h"
#include "pkg/PackageBuilder.h"

namespace {

constexpr std::size_t kElements = 256;
constexpr std::size_t kElementSize = 256u << 10;  // 256 x 256 KiB = 64 MiB of data

// What the elements hold: random bytes, or erased flash (all 0xFF), which
// has no zero byte anywhere.
enum class Content { kRandom, kErased };

// A package file, written once per run and removed at exit.
class PackageFile {
public:
    static const PackageFile& Get(Content content = Content::kRandom) {
        static const PackageFile random(Content::kRandom), erased(Content::kErased);
        return content == Content::kRandom ? random : erased;
    }
    ~PackageFile() { std::remove(path.c_str()); }

    std::string path;
    std::size_t size = 0;
    bool ok = false;

private:
    explicit PackageFile(Content content) {
        const std::string name = std::string("carillon-bench-") + (content == Content::kRandom ? "random-" : "erased-") +
                                 std::to_string(::getpid()) + ".VRK_Package";
        path = (std::filesystem::temp_directory_path() / name).string();
        std::vector<carillon::pkgtool::PackageEntry> entries(kElements);
        std::mt19937_64 rng(42);
        for (std::size_t i = 0; i < kElements; ++i) {
            entries[i].fields = {{"NAME", "DATA_" + std::to_string(i)}, {"ELEMENT_TYPE", "DATA"},
                                 {"PRINTER_ARCHI", "NDX"}, {"LOCATION", "DSP_FLASH"}, {"CRYPTED", "NOT_CRYPTED"}};
            entries[i].data.assign(kElementSize, 0xFF);
            if (content == Content::kRandom)
                for (auto& b : entries[i].data) b = static_cast<std::uint8_t>(rng());
        }
        const std::string bytes = carillon::pkgtool::EncodePackage(entries);
        std::string error;
        ok = carillon::pkgtool::WriteFile(path, bytes, &error);
        if (!ok) std::fprintf(stderr, "bench: %s\n", error.c_str());
        size = bytes.size();
        // Written back before measuring, so the disk stays out of the figures.
        if (const int fd = ::open(path.c_str(), O_RDONLY); fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
};

void BM_ReadPackageFile(benchmark::State& state) {
    const PackageFile& pkg = PackageFile::Get();
    if (!pkg.ok) return state.SkipWithError("no package file");
    for (auto _ : state) {
        std::ifstream file(pkg.path, std::ios::binary);
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[pkg.size]);
        file.read(reinterpret_cast<char*>(buffer.get()), static_cast<std::streamsize>(pkg.size));
        if (static_cast<std::size_t>(file.gcount()) != pkg.size) return state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(pkg.size));
}

// The same read into memory that is already mapped: no page is faulted in,
// so this is the bare cost of copying the file out of the page cache.
void BM_ReadPackageFileIntoTouchedBuffer(benchmark::State& state) {
    const PackageFile& pkg = PackageFile::Get();
    if (!pkg.ok) return state.SkipWithError("no package file");
    std::vector<std::uint8_t> buffer(pkg.size, 1);
    for (auto _ : state) {
        std::ifstream file(pkg.path, std::ios::binary);
        file.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(pkg.size));
        if (static_cast<std::size_t>(file.gcount()) != pkg.size) return state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(pkg.size));
}

void LoadPackage(benchmark::State& state, Content content) {
    const PackageFile& pkg = PackageFile::Get(content);
    if (!pkg.ok) return state.SkipWithError("no package file");
    for (auto _ : state) {
        carillon::CElementList list;
        if (list.LoadPackage(pkg.path) != carillon::kOk) return state.SkipWithError("the package did not load");
        benchmark::DoNotOptimize(list.GetCount());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(pkg.size));
}

void BM_LoadPackage(benchmark::State& state) { LoadPackage(state, Content::kRandom); }
// Headers must be found without scanning the data that follows them.
void BM_LoadPackageOfErasedData(benchmark::State& state) { LoadPackage(state, Content::kErased); }

// Reading first also brings the file into the page cache for the load.
BENCHMARK(BM_ReadPackageFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadPackageFileIntoTouchedBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadPackage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadPackageOfErasedData)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
