#pragma once
// What a fleet update shows: on a terminal one live line per printer (port,
// printer, step, percent, rate), redrawn in place; in a pipe plain lines
// marked with the port; with --json events that carry the port. At the end a
// table of every printer's result.

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/FleetUpdate.h"

namespace carillon::cli {

enum class FleetMode { kLive, kPlain, kJson };

// Live lines only where a person watches a capable terminal on err.
FleetMode ChooseFleetMode(bool json, std::FILE* err);

// One line of the closing table.
struct FleetRow {
    enum class Result { kDone, kFailed, kSkipped };
    std::string port;
    std::string printer;
    Result result = Result::kSkipped;
    ErrorCode code = kOk;
    std::string text;  // why it failed or was skipped
    std::uint32_t elements = 0;
    std::uint32_t saved = 0;
    std::uint64_t bytes = 0;
    std::chrono::milliseconds elapsed{0};
};

FleetRow RowOf(const std::string& port, const std::string& printer, const FleetOutcome& outcome);

class FleetDisplay {
public:
    FleetDisplay(FleetMode mode, std::FILE* out, std::FILE* err);

    // The printers being updated, in the order of their member index.
    void Start(const std::vector<std::string>& ports, const std::vector<std::string>& printers);
    void Progress(std::size_t member, const CThread::View& view);
    void Finished(std::size_t member, const FleetRow& row);
    // The table (text) or one event per row and a last result (JSON).
    void Summary(const std::vector<FleetRow>& rows);

    // "12.5 kB/s" from the units done so far, for the live line.
    static std::string Rate(double bytesPerSecond);

private:
    struct Line {
        std::string port, printer, text;
        std::uint32_t lastUnits = 0;
        std::chrono::steady_clock::time_point lastTime{};
        double rate = 0;
        std::string lastPlain;
    };
    void Redraw();
    void PlainLine(Line& line, const std::string& text);
    void UpdateRate(Line& line, const CThread::View& view);

    FleetMode mode_;
    std::FILE* out_;
    std::FILE* err_;
    std::mutex mutex_;
    std::vector<Line> lines_;
    int drawn_ = 0;
};

}  // namespace carillon::cli
