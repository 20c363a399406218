#include "cli/FleetDisplay.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "cli/Json.h"
#include "cli/Reporter.h"
#include "engine/CommandGenerator.h"
#include "errors/ErrorMessages.h"
#include "platform/Format.h"

namespace carillon::cli {
namespace {

const char* ResultWord(FleetRow::Result r) {
    switch (r) {
        case FleetRow::Result::kDone: return "done";
        case FleetRow::Result::kFailed: return "FAILED";
        case FleetRow::Result::kSkipped: return "skipped";
    }
    return "?";
}

std::string Seconds(std::chrono::milliseconds t) { return platform::Format("%.1f s", static_cast<double>(t.count()) / 1000.0); }

std::string Hex(ErrorCode code) { return platform::Format("%08X", code); }

}  // namespace

FleetMode ChooseFleetMode(bool json, std::FILE* err) {
    if (json) return FleetMode::kJson;
    const char* term = std::getenv("TERM");
    const bool capable = term != nullptr && std::strcmp(term, "dumb") != 0 && std::getenv("NO_COLOR") == nullptr;
    return capable && ::isatty(::fileno(err)) != 0 ? FleetMode::kLive : FleetMode::kPlain;
}

FleetRow RowOf(const std::string& port, const std::string& printer, const FleetOutcome& o) {
    FleetRow row;
    row.port = port;
    row.printer = printer;
    row.result = o.done ? FleetRow::Result::kDone : FleetRow::Result::kFailed;
    row.code = o.code;
    if (!o.done) row.text = o.code != kOk ? GetErrorMessage(o.code) : o.title;
    row.elements = o.elements;
    row.saved = o.saved;
    row.bytes = o.bytes;
    row.elapsed = o.elapsed;
    return row;
}

FleetDisplay::FleetDisplay(FleetMode mode, std::FILE* out, std::FILE* err) : mode_(mode), out_(out), err_(err) {}

std::string FleetDisplay::Rate(double bytesPerSecond) {
    if (bytesPerSecond <= 0) return "";
    return platform::Format("%.1f kB/s", bytesPerSecond / 1000.0);
}

void FleetDisplay::Start(const std::vector<std::string>& ports, const std::vector<std::string>& printers) {
    std::lock_guard lock(mutex_);
    lines_.assign(ports.size(), Line{});
    for (std::size_t i = 0; i < ports.size(); ++i) {
        lines_[i].port = ports[i];
        lines_[i].printer = i < printers.size() ? printers[i] : std::string();
        lines_[i].text = "waiting";
    }
    if (mode_ == FleetMode::kLive) Redraw();
}

void FleetDisplay::UpdateRate(Line& line, const CThread::View& v) {
    const auto now = std::chrono::steady_clock::now();
    const std::uint32_t units = v.status.unitsDone;
    if (v.status.step == kStepSaving && units > line.lastUnits && line.lastTime != std::chrono::steady_clock::time_point{}) {
        const double dt = std::chrono::duration<double>(now - line.lastTime).count();
        if (dt > 0) {
            const double now_rate = (units - line.lastUnits) / dt;
            line.rate = line.rate == 0 ? now_rate : 0.7 * line.rate + 0.3 * now_rate;  // steadier to read
        }
    }
    line.lastUnits = units;  // a new element starts again from 0
    line.lastTime = now;
}

void FleetDisplay::Progress(std::size_t member, const CThread::View& v) {
    std::lock_guard lock(mutex_);
    if (member >= lines_.size()) return;
    Line& line = lines_[member];
    if (mode_ == FleetMode::kJson) {
        JsonObject o;
        o.Add("event", "progress").Add("port", line.port).Add("step", v.status.step).Add("status", v.m_strStatus);
        o.AddRaw("steps", JsonObject().Add("done", v.status.stepsDone).Add("total", v.status.stepsTotal).Text());
        o.AddRaw("units", JsonObject().Add("done", v.status.unitsDone).Add("total", v.status.unitsTotal).Text());
        o.Add("totalPercent", v.m_nTotalPercent).Add("progressPercent", v.m_nProgressPercent);
        std::fprintf(out_, "%s\n", o.Text().c_str());
        std::fflush(out_);
        return;
    }
    UpdateRate(line, v);
    const int percent = v.m_bShowTotal ? v.m_nTotalPercent : v.m_nProgressPercent;
    if (mode_ == FleetMode::kLive) {
        line.text = platform::Format("%-28.28s %s %3d%%", v.m_strStatus.c_str(), Bar(percent, 20).c_str(), percent);
        if (line.rate > 0) line.text += "  " + Rate(line.rate);
        Redraw();
        return;
    }
    // One line per change of step or of a tenth of the work, not per poll.
    std::string text = v.m_strStatus;
    if (v.m_bShowTotal) text += " | " + v.m_strTotal;
    if (v.m_bShowProgress) text += " | Progress: " + std::to_string(v.m_nProgressPercent / 10 * 10) + "%";
    PlainLine(line, text);
}

void FleetDisplay::Finished(std::size_t member, const FleetRow& row) {
    std::lock_guard lock(mutex_);
    if (member >= lines_.size() || mode_ == FleetMode::kJson) return;
    Line& line = lines_[member];
    const std::string text = row.result == FleetRow::Result::kDone
                                 ? platform::Format("done: %u elements, %llu bytes in %s", row.saved,
                                                    static_cast<unsigned long long>(row.bytes), Seconds(row.elapsed).c_str())
                                 : platform::Format("FAILED (Error Code=%08Xh) %s", row.code, row.text.c_str());
    if (mode_ == FleetMode::kLive) {
        line.text = text;
        Redraw();
    } else {
        PlainLine(line, text);
    }
}

void FleetDisplay::PlainLine(Line& line, const std::string& text) {
    if (text == line.lastPlain) return;
    line.lastPlain = text;
    std::fprintf(err_, "%s: %s\n", line.port.c_str(), text.c_str());
    std::fflush(err_);
}

void FleetDisplay::Redraw() {
    if (drawn_ > 0) std::fprintf(err_, "\033[%dF", drawn_);  // back to the block's first line
    for (const Line& l : lines_)
        std::fprintf(err_, "\033[2K%-6s %-24.24s %s\n", l.port.c_str(), l.printer.c_str(), l.text.c_str());
    drawn_ = static_cast<int>(lines_.size());
    std::fflush(err_);
}

void FleetDisplay::Summary(const std::vector<FleetRow>& rows) {
    std::lock_guard lock(mutex_);
    int failed = 0, done = 0;
    for (const FleetRow& r : rows) {
        failed += r.result == FleetRow::Result::kFailed;
        done += r.result == FleetRow::Result::kDone;
    }
    if (mode_ == FleetMode::kJson) {
        for (const FleetRow& r : rows) {
            JsonObject o;
            o.Add("event", "outcome").Add("port", r.port).Add("printer", r.printer).Add("result", ResultWord(r.result));
            o.Add("code", Hex(r.code)).Add("text", r.text).Add("elements", r.elements).Add("saved", r.saved);
            o.Add("bytes", static_cast<std::int64_t>(r.bytes)).Add("milliseconds", static_cast<std::int64_t>(r.elapsed.count()));
            std::fprintf(out_, "%s\n", o.Text().c_str());
        }
        std::fprintf(out_, "%s\n",
                     JsonObject().Add("event", "result").Add("ok", done > 0 && failed == 0).Add("done", done)
                         .Add("failed", failed).Add("skipped", static_cast<int>(rows.size()) - done - failed).Text().c_str());
        std::fflush(out_);
        return;
    }
    drawn_ = 0;
    std::fprintf(out_, "%-6s %-24s %-7s %-8s %9s %10s %8s  %s\n", "PORT", "PRINTER", "RESULT", "CODE", "ELEMENTS", "BYTES",
                 "TIME", "TEXT");
    for (const FleetRow& r : rows) {
        const bool ran = r.result != FleetRow::Result::kSkipped;
        const std::string elements = ran ? platform::Format("%u/%u", r.saved, r.elements) : "-";
        const std::string bytes = ran ? std::to_string(r.bytes) : "-";
        std::fprintf(out_, "%-6s %-24.24s %-7s %-8s %9s %10s %8s  %s\n", r.port.c_str(), r.printer.c_str(),
                     ResultWord(r.result), ran ? Hex(r.code).c_str() : "-", elements.c_str(), bytes.c_str(),
                     ran ? Seconds(r.elapsed).c_str() : "-", r.text.c_str());
    }
    std::fprintf(out_, "%d done, %d failed, %d skipped\n", done, failed, static_cast<int>(rows.size()) - done - failed);
    std::fflush(out_);
}

}  // namespace carillon::cli
