// Runs the package benchmarks, then judges their figures against the
// throughput targets, comparing benchmarks measured in the same run.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace {

// Bytes per second of each benchmark function: the median over repetitions
// when there are several, else the best single measurement.
using Rates = std::map<std::string, double>;

class FigureCollector : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the library's own reporter does.
    FigureCollector() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (run.error_occurred || rate == run.counters.end()) continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") medians_[name] = rate->second.value;
            } else {
                single_[name] = std::max(single_[name], rate->second.value);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    Rates Figures() const {
        Rates rates = single_;
        for (const auto& [name, rate] : medians_) rates[name] = rate;
        return rates;
    }

private:
    Rates medians_, single_;
};

constexpr double kGB = 1e9;

// Prints one figure; false when it misses its target.
bool Judge(const char* what, double value, const char* unit, const char* target, bool met) {
    std::printf("  %-44s %8.2f %-26s %-16s %s\n", what, value, unit, target, met ? "ok" : "MISSED");
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    // The allocator normally raises this threshold once large blocks are
    // freed, after which later runs reuse memory that is already mapped and
    // skip the page faults a first load pays. Fixed at its starting value,
    // every large buffer is fresh, so reads and loads are measured as a
    // program that loads one package meets them, and alike.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    FigureCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();

    const Rates rates = collector.Figures();
    const auto has = [&](const char* name) { return rates.count(name) != 0; };
    bool ok = true;
    std::printf("\nFigures (1 GB = 10^9 bytes; medians when repeated):\n");
    if (has("BM_ComputeCrc16")) {
        const double crc = rates.at("BM_ComputeCrc16");
        ok &= Judge("ComputeCrc16 over 64 MiB", crc / kGB, "GB/s", ">= 1.5 (goal 3)", crc >= 1.5 * kGB);
        if (has("BM_ComputeCrc16Bytewise")) {
            const double ratio = crc / rates.at("BM_ComputeCrc16Bytewise");
            ok &= Judge("ComputeCrc16 against the bytewise reference", ratio, "times as fast", ">= 10", ratio >= 10);
        }
    }
    if (has("BM_LoadPackage")) {
        const double load = rates.at("BM_LoadPackage");
        ok &= Judge("LoadPackage of a 64 MiB package", load / kGB, "GB/s", ">= 1", load >= 1 * kGB);
        if (has("BM_ReadPackageFile")) {
            // Same file in both, so the ratio of rates is the ratio of times.
            const double ratio = rates.at("BM_ReadPackageFile") / load;
            ok &= Judge("LoadPackage against reading the file whole", ratio, "times the read time", "<= 2",
                        ratio <= 2);
        }
        if (has("BM_LoadPackageOfErasedData")) {
            const double erased = rates.at("BM_LoadPackageOfErasedData");
            ok &= Judge("LoadPackage of 64 MiB of erased (0xFF) data", erased / kGB, "GB/s", ">= 1", erased >= 1 * kGB);
        }
        if (has("BM_ReadPackageFileIntoTouchedBuffer")) {
            // For information: the loader also faults in fresh memory, so
            // this bare copy is a lower bound, not its target.
            const double ratio = rates.at("BM_ReadPackageFileIntoTouchedBuffer") / load;
            Judge("LoadPackage against a read into touched memory", ratio, "times the read time", "(information)", true);
        }
    }
    for (const auto& [name, rate] : rates) std::printf("  %-44s %8.2f GB/s\n", name.c_str(), rate / kGB);
    return ok ? 0 : 1;
}
