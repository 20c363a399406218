#include "cli/Reporter.h"

#include <algorithm>

#include "app/StringTable.h"

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

void TextReporter::Tree(const std::string& rendered) {
    std::lock_guard lock(mutex_);
    std::fprintf(out_, "%s", rendered.c_str());
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
