#include "cli/Reporter.h"

#include <algorithm>

#include "app/StringTable.h"
#include "cli/CliPorts.h"
#include "cli/Json.h"
#include "common/SafeText.h"
#include "errors/ErrorMessages.h"
#include "package/Element.h"
#include "platform/Format.h"
#include "ports/Port.h"

namespace carillon::cli {

std::string Bar(int percent, int width) {
    const auto cells = static_cast<std::size_t>(std::max(width, 0));
    const auto filled = static_cast<std::size_t>(std::clamp(percent, 0, 100)) * cells / 100;
    std::string bar(cells + 2, '.');
    bar.front() = '[';
    bar.back() = ']';
    std::fill_n(bar.begin() + 1, filled, '#');
    return bar;
}

void TextReporter::EndBlock() {
    drawnLines_ = 0;
    lastLine_.clear();
}

void TextReporter::Message(const std::string& text) {
    EndBlock();
    std::fprintf(err_, "carillon-cli: %s\n", tools::TerminalSafe(text, true).c_str());
}

void TextReporter::Note(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (verbosity_ != Verbosity::kQuiet) Message(text);
}

void TextReporter::Detail(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (verbosity_ == Verbosity::kVerbose) Message(text);
}

void TextReporter::Progress(const CThread::View& v) {
    std::lock_guard lock(mutex_);
    if (verbosity_ == Verbosity::kQuiet) return;
    std::string lines[3];
    int n = 0;
    lines[n++] = v.m_strStatus;
    if (v.m_bShowTotal) lines[n++] = v.m_strTotal + "  " + Bar(v.m_nTotalPercent) + " " + std::to_string(v.m_nTotalPercent) + "%";
    if (v.m_bShowProgress)
        lines[n++] = v.m_strProgress + "  " + Bar(v.m_nProgressPercent) + " " + std::to_string(v.m_nProgressPercent) + "%";
    if (escapeCodes_) {
        if (drawnLines_ > 0) std::fprintf(err_, "\033[%dF", drawnLines_);  // back to the block's first line
        for (int i = 0; i < n; ++i) std::fprintf(err_, "\033[2K%s\n", tools::TerminalSafe(lines[i]).c_str());
        drawnLines_ = n;
    } else {
        // One line per change of step or of a tenth of the work (each percent
        // with --verbose), not per poll.
        const int step = verbosity_ == Verbosity::kVerbose ? 1 : 10;
        std::string line = v.m_strStatus;
        if (v.m_bShowTotal) line += " | " + v.m_strTotal;
        if (v.m_bShowProgress) line += " | " + std::string("Progress: ") + std::to_string(v.m_nProgressPercent / step * step) + "%";
        if (line != lastLine_) std::fprintf(err_, "%s\n", tools::TerminalSafe(line).c_str());
        lastLine_ = line;
    }
    std::fflush(err_);
}

void TextReporter::Box(const platform::MessageBoxRequest& box, int answer) {
    std::lock_guard lock(mutex_);
    const bool question = (box.flags & platform::MB_BUTTON_MASK) == platform::MB_YESNO;
    const unsigned icon = box.flags & platform::MB_ICON_MASK;
    if (verbosity_ == Verbosity::kQuiet && !question && icon != platform::MB_ICONERROR && icon != platform::MB_ICONWARNING)
        return;
    std::string text = box.caption.empty() ? box.text : box.caption + ": " + box.text;
    if (question) text += answer == platform::IDYES ? " -> yes" : " -> no";
    Message(text);
}

void TextReporter::Printers(const PrinterList&, const std::string& renderedTree) {
    std::lock_guard lock(mutex_);
    std::fprintf(out_, "%s", renderedTree.c_str());
}

void TextReporter::Finished(bool done, const CThread::View& view) {
    std::lock_guard lock(mutex_);
    EndBlock();
    if (done) {
        std::fprintf(out_, "%s\n", LoadString(IDS_CONGRATULATION).c_str());
        return;
    }
    std::string text = view.m_strResultTitle;
    if (!text.empty() && text.back() != '\n') text += '\n';
    if (!view.m_strResultText.empty()) text += view.m_strResultText + '\n';
    // A failure the page shows by its title alone ("Fail to connect...")
    // still names its cause here, such as a port another program holds.
    if (view.m_strResultText.empty() && view.resultCode != kOk)
        text += platform::Format("(Error Code=%08Xh)\n", view.resultCode) + GetErrorMessage(view.resultCode) + '\n';
    text.pop_back();
    Message(text);
}

void TextReporter::Problem(const std::string& text) {
    std::lock_guard lock(mutex_);
    Message(text);
}


static const char* StatusWord(ElementVerdict::Status status) {
    switch (status) {
        case ElementVerdict::Status::kVerified: return "verified";
        case ElementVerdict::Status::kMismatch: return "mismatch";
        case ElementVerdict::Status::kMissing: return "missing";
        default: return "unreadable";
    }
}

void TextReporter::Element(const ElementVerdict& v) {
    std::lock_guard lock(mutex_);
    EndBlock();
    char where[64];
    switch (v.status) {
        case ElementVerdict::Status::kVerified: std::snprintf(where, sizeof where, "verified (at 0x%X)", v.address); break;
        case ElementVerdict::Status::kMismatch: std::snprintf(where, sizeof where, "MISMATCH at 0x%X", v.address); break;
        case ElementVerdict::Status::kMissing: std::snprintf(where, sizeof where, "MISSING from the printer's table"); break;
        default: std::snprintf(where, sizeof where, "UNREADABLE (Error Code=%08Xh)", v.code); break;
    }
    const char* type = TypeKeyword(v.type);
    std::fprintf(out_, "%-12s %-14s %-24s %s\n", LocationName(v.location), type ? type : "?",
                 tools::TerminalSafe(v.name).c_str(), where);
}

void TextReporter::PlanLine(const std::string&, const std::string& text, const std::string&) {
    std::lock_guard lock(mutex_);
    EndBlock();
    std::fprintf(out_, "%s\n", tools::TerminalSafe(text).c_str());
}

void TextReporter::Summary(bool ok, ErrorCode code, const std::string& text) {
    std::lock_guard lock(mutex_);
    EndBlock();
    if (ok) {
        std::fprintf(out_, "%s\n", tools::TerminalSafe(text, true).c_str());
        return;
    }
    Message(code == kOk ? text : platform::Format("%s\n(Error Code=%08Xh)\n", text.c_str(), code) + GetErrorMessage(code));
}


void TextReporter::Check(const std::string& what, bool ok, const std::string& detail, const std::string& fix) {
    std::lock_guard lock(mutex_);
    EndBlock();
    std::fprintf(out_, "[%s] %s: %s\n", ok ? " ok " : "FAIL", what.c_str(), tools::TerminalSafe(detail).c_str());
    if (!ok && !fix.empty()) std::fprintf(out_, "       fix: %s\n", tools::TerminalSafe(fix).c_str());
}

}  // namespace carillon::cli

namespace carillon::cli {
namespace {

const char* Icon(unsigned flags) {
    switch (flags & platform::MB_ICON_MASK) {
        case platform::MB_ICONERROR: return "error";
        case platform::MB_ICONWARNING: return "warning";
        case platform::MB_ICONINFORMATION: return "information";
        default: return "none";
    }
}

const char* AnswerName(int answer) {
    switch (answer) {
        case platform::IDYES: return "yes";
        case platform::IDNO: return "no";
        default: return "ok";
    }
}

const char* KindName(std::uint32_t kind) {
    return kind == kPortKindSerial ? "serial" : kind == kPortKindUsb ? "usb" : "none";
}

std::string Count(std::uint32_t done, std::uint32_t total) {
    return JsonObject().Add("done", done).Add("total", total).Text();
}

}  // namespace

void JsonReporter::Emit(const std::string& line) {
    std::lock_guard lock(mutex_);
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

void JsonReporter::Note(const std::string& text) {
    if (verbosity_ != Verbosity::kQuiet) Emit(JsonObject().Add("event", "note").Add("text", text).Text());
}

void JsonReporter::Detail(const std::string& text) {
    if (verbosity_ == Verbosity::kVerbose) Emit(JsonObject().Add("event", "note").Add("text", text).Add("detail", true).Text());
}

void JsonReporter::Progress(const CThread::View& v) {
    if (verbosity_ == Verbosity::kQuiet) return;
    JsonObject o;
    o.Add("event", "progress").Add("step", v.status.step).Add("status", v.m_strStatus);
    o.AddRaw("steps", Count(v.status.stepsDone, v.status.stepsTotal));
    o.AddRaw("units", Count(v.status.unitsDone, v.status.unitsTotal));
    o.Add("totalPercent", v.m_nTotalPercent).Add("progressPercent", v.m_nProgressPercent);
    Emit(o.Text());
}

void JsonReporter::Box(const platform::MessageBoxRequest& box, int answer) {
    const bool question = (box.flags & platform::MB_BUTTON_MASK) == platform::MB_YESNO;
    Emit(JsonObject()
             .Add("event", "message")
             .Add("caption", box.caption)
             .Add("text", box.text)
             .Add("buttons", question ? "yesno" : "ok")
             .Add("icon", Icon(box.flags))
             .Add("answer", AnswerName(answer))
             .Text());
}

void JsonReporter::Printers(const PrinterList& printers, const std::string&) {
    bool answered = false;
    for (int i = 0; i < printers.portCount; ++i) {
        const PrinterEntry e = printers.EntrySnapshot(i);
        Emit(JsonObject()
                 .Add("event", "printer")
                 .Add("index", i)
                 .Add("port", e.portName)
                 .Add("device", DevicePathOf(printers.EntryPort(i)))
                 .Add("kind", KindName(e.kind))
                 .Add("label", e.label)
                 .Add("commandSet", e.commandSet)
                 .Add("family", e.family)
                 .Add("current", i == printers.current)
                 .Text());
        answered = answered || !e.label.empty();
    }
    // ok as the exit status: some printer answered, not merely some port exists.
    Emit(JsonObject().Add("event", "result").Add("ok", answered).Add("printers", printers.portCount).Text());
}

void JsonReporter::Finished(bool done, const CThread::View& view) {
    char code[16];
    std::snprintf(code, sizeof code, "%08X", done ? 0u : view.resultCode);
    Emit(JsonObject()
             .Add("event", "result")
             .Add("ok", done)
             .Add("code", code)
             .Add("title", done ? LoadString(IDS_CONGRATULATION) : view.m_strResultTitle)
             .Add("text", done ? std::string() : view.m_strResultText)
             .Text());
}

void JsonReporter::Problem(const std::string& text) {
    Emit(JsonObject().Add("event", "result").Add("ok", false).Add("problem", text).Text());
}


void JsonReporter::Element(const ElementVerdict& v) {
    const char* type = TypeKeyword(v.type);
    JsonObject o;
    o.Add("event", "element").Add("name", v.name).Add("type", type ? type : "?").Add("location", LocationName(v.location));
    o.Add("status", StatusWord(v.status)).Add("address", v.address);
    if (v.code != kOk) o.Add("code", v.code);
    Emit(o.Text());
}

void JsonReporter::PlanLine(const std::string& kind, const std::string&, const std::string& json) {
    Emit(JsonObject().Add("event", kind).AddRaw("plan", json.empty() ? "{}" : json).Text());
}

void JsonReporter::Summary(bool ok, ErrorCode code, const std::string& text) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", code);
    JsonObject o;
    o.Add("event", "result").Add("ok", ok).Add("code", hex).Add("text", text);
    if (code != kOk) o.Add("message", GetErrorMessage(code));
    Emit(o.Text());
}


void JsonReporter::Check(const std::string& what, bool ok, const std::string& detail, const std::string& fix) {
    Emit(JsonObject().Add("event", "check").Add("name", what).Add("ok", ok).Add("detail", detail).Add("fix", fix).Text());
}

}  // namespace carillon::cli
