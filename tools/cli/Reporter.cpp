#include "cli/Reporter.h"

#include <algorithm>

#include "app/StringTable.h"
#include "cli/Json.h"
#include "ports/Port.h"

namespace carillon::cli {

std::string Bar(int percent, int width) {
    const int filled = std::clamp(percent, 0, 100) * width / 100;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '.') + "]";
}

void TextReporter::EndBlock() {
    drawnLines_ = 0;
    lastLine_.clear();
}

void TextReporter::Note(const std::string& text) {
    std::lock_guard lock(mutex_);
    EndBlock();
    std::fprintf(err_, "%s\n", text.c_str());
}

void TextReporter::Progress(const CThread::View& v) {
    std::lock_guard lock(mutex_);
    std::string lines[3];
    int n = 0;
    lines[n++] = v.m_strStatus;
    if (v.m_bShowTotal) lines[n++] = v.m_strTotal + "  " + Bar(v.m_nTotalPercent) + " " + std::to_string(v.m_nTotalPercent) + "%";
    if (v.m_bShowProgress)
        lines[n++] = v.m_strProgress + "  " + Bar(v.m_nProgressPercent) + " " + std::to_string(v.m_nProgressPercent) + "%";
    if (terminal_) {
        if (drawnLines_ > 0) std::fprintf(out_, "\033[%dF", drawnLines_);  // back to the block's first line
        for (int i = 0; i < n; ++i) std::fprintf(out_, "\033[2K%s\n", lines[i].c_str());
        drawnLines_ = n;
    } else {
        // One line per change of step or of a tenth of the work, not per poll.
        std::string line = v.m_strStatus;
        if (v.m_bShowTotal) line += " | " + v.m_strTotal;
        if (v.m_bShowProgress) line += " | " + std::string("Progress: ") + std::to_string(v.m_nProgressPercent / 10 * 10) + "%";
        if (line != lastLine_) std::fprintf(out_, "%s\n", line.c_str());
        lastLine_ = line;
    }
    std::fflush(out_);
}

void TextReporter::Box(const platform::MessageBoxRequest& box, int answer) {
    std::lock_guard lock(mutex_);
    EndBlock();
    std::string text = box.caption.empty() ? box.text : box.caption + ": " + box.text;
    if ((box.flags & platform::MB_BUTTON_MASK) == platform::MB_YESNO)
        text += answer == platform::IDYES ? " -> yes" : " -> no";
    std::fprintf(err_, "%s\n", text.c_str());
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
    } else {
        std::fprintf(err_, "%s", view.m_strResultTitle.c_str());
        if (!view.m_strResultTitle.empty() && view.m_strResultTitle.back() != '\n') std::fprintf(err_, "\n");
        if (!view.m_strResultText.empty()) std::fprintf(err_, "%s\n", view.m_strResultText.c_str());
    }
}

void TextReporter::Problem(const std::string& text) {
    std::lock_guard lock(mutex_);
    EndBlock();
    std::fprintf(err_, "carillon-cli: %s\n", text.c_str());
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

void JsonReporter::Note(const std::string& text) { Emit(JsonObject().Add("event", "note").Add("text", text).Text()); }

void JsonReporter::Progress(const CThread::View& v) {
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
    for (int i = 0; i < printers.portCount; ++i) {
        const PrinterEntry e = printers.EntrySnapshot(i);
        Emit(JsonObject()
                 .Add("event", "printer")
                 .Add("index", i)
                 .Add("port", e.portName)
                 .Add("kind", KindName(e.kind))
                 .Add("label", e.label)
                 .Add("commandSet", e.commandSet)
                 .Add("family", e.family)
                 .Add("current", i == printers.current)
                 .Text());
    }
    Emit(JsonObject().Add("event", "result").Add("ok", printers.portCount > 0).Add("printers", printers.portCount).Text());
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

}  // namespace carillon::cli
