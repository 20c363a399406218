#pragma once
// Where carillon-cli's output goes. Results go to stdout; the text reporter
// writes progress, notes and questions to stderr, drawing progress bars in
// place where escape codes are allowed and plain lines elsewhere.

#include <cstdio>
#include <mutex>
#include <string>

#include "app/Thread.h"
#include "cli/CliOptions.h"
#include "platform/MessageBox.h"

namespace carillon::cli {

// What a read-back found for one element of a package.
struct ElementVerdict {
    enum class Status { kVerified, kMismatch, kMissing, kUnreadable };
    std::string name;
    std::int32_t type = 0;
    std::int32_t location = 0;
    Status status = Status::kVerified;
    std::uint32_t address = 0;  // where it lies, or its first differing unit
    ErrorCode code = kOk;       // why it could not be read
};

class Reporter {
public:
    virtual ~Reporter() = default;
    // A line about what the program is doing.
    virtual void Note(const std::string& text) = 0;
    // A finer line about what the program is doing, for --verbose.
    virtual void Detail(const std::string& text) = 0;
    // The update page's fields after a progress poll.
    virtual void Progress(const CThread::View& view) = 0;
    // A message box the job or the program raised, and its answer.
    virtual void Box(const platform::MessageBoxRequest& box, int answer) = 0;
    // The printers a search found, and the tree the wizard would show.
    virtual void Printers(const PrinterList& printers, const std::string& renderedTree) = 0;
    // The end of an update: the failure page's title and text when it failed.
    virtual void Finished(bool done, const CThread::View& view) = 0;
    // A usage or setup problem before any job ran.
    virtual void Problem(const std::string& text) = 0;
    // One element checked against the printer's flash.
    virtual void Element(const ElementVerdict& verdict) = 0;
    // A line of a plan (text) or a structured item of it (kind and fields as JSON).
    virtual void PlanLine(const std::string& kind, const std::string& text, const std::string& json) = 0;
    // The end of a command other than the update job.
    virtual void Summary(bool ok, ErrorCode code, const std::string& text) = 0;
    // One check of the doctor, and how to mend it when it fails.
    virtual void Check(const std::string& what, bool ok, const std::string& detail, const std::string& fix) = 0;
};

// Safe to call from the job's thread (its message boxes) and the main one.
class TextReporter : public Reporter {
public:
    // escapeCodes: progress may be drawn in place on err.
    TextReporter(std::FILE* out, std::FILE* err, bool escapeCodes, Verbosity verbosity = Verbosity::kNormal)
        : out_(out), err_(err), escapeCodes_(escapeCodes), verbosity_(verbosity) {}

    void Note(const std::string& text) override;
    void Detail(const std::string& text) override;
    void Progress(const CThread::View& view) override;
    void Box(const platform::MessageBoxRequest& box, int answer) override;
    void Printers(const PrinterList& printers, const std::string& renderedTree) override;
    void Finished(bool done, const CThread::View& view) override;
    void Problem(const std::string& text) override;
    void Element(const ElementVerdict& verdict) override;
    void PlanLine(const std::string& kind, const std::string& text, const std::string& json) override;
    void Summary(bool ok, ErrorCode code, const std::string& text) override;
    void Check(const std::string& what, bool ok, const std::string& detail, const std::string& fix) override;

private:
    void EndBlock();
    // A message on err, after the program's name.
    void Message(const std::string& text);

    std::mutex mutex_;
    std::FILE* out_;
    std::FILE* err_;
    bool escapeCodes_;
    Verbosity verbosity_;
    int drawnLines_ = 0;    // progress lines on the terminal, redrawn in place
    std::string lastLine_;  // plain output: the last line printed
};

// "[#######.............]" for a percentage, clamped to 0..100.
std::string Bar(int percent, int width = 30);

}  // namespace carillon::cli

namespace carillon::cli {

// One JSON object per line on out, nothing else: for scripts.
class JsonReporter : public Reporter {
public:
    explicit JsonReporter(std::FILE* out, Verbosity verbosity = Verbosity::kNormal) : out_(out), verbosity_(verbosity) {}

    void Note(const std::string& text) override;
    void Detail(const std::string& text) override;
    void Progress(const CThread::View& view) override;
    void Box(const platform::MessageBoxRequest& box, int answer) override;
    void Printers(const PrinterList& printers, const std::string& renderedTree) override;
    void Finished(bool done, const CThread::View& view) override;
    void Problem(const std::string& text) override;
    void Element(const ElementVerdict& verdict) override;
    void PlanLine(const std::string& kind, const std::string& text, const std::string& json) override;
    void Summary(bool ok, ErrorCode code, const std::string& text) override;
    void Check(const std::string& what, bool ok, const std::string& detail, const std::string& fix) override;

private:
    void Emit(const std::string& line);

    std::mutex mutex_;
    std::FILE* out_;
    Verbosity verbosity_;
};

}  // namespace carillon::cli
