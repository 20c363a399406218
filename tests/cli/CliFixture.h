#pragma once
// carillon-cli's commands run in-process against virtual printers on
// pseudo-terminals, with a reporter that keeps what they report.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "cli/Cli.h"
#include "ports/SerialPortMap.h"
#include "sim/PtyPrinter.h"
#include "support/PortTestHelpers.h"

namespace carillon::cli {

// Keeps what the commands report.
class RecordingReporter : public Reporter {
public:
    void Note(const std::string& text) override { notes.push_back(text); }
    void Detail(const std::string& text) override { details.push_back(text); }
    void Progress(const CThread::View& view) override { statuses.push_back(view.m_strStatus); }
    void Box(const platform::MessageBoxRequest& box, int answer) override { boxes.push_back({box.text, answer}); }
    void Printers(const PrinterList&, const std::string& rendered) override { tree = rendered; }
    void Finished(bool ok, const CThread::View& view) override {
        done = ok;
        title = view.m_strResultTitle;
        text = view.m_strResultText;
    }
    void Problem(const std::string& t) override { problems.push_back(t); }
    void Element(const ElementVerdict& v) override { elements.push_back(v); }
    void PlanLine(const std::string& kind, const std::string& text, const std::string&) override {
        plan.push_back(kind + ": " + text);
    }
    void Summary(bool ok, ErrorCode code, const std::string& t) override {
        summaryOk = ok;
        summaryCode = code;
        summary = t;
    }
    void Check(const std::string& what, bool ok, const std::string& detail, const std::string& fix) override {
        checks.push_back({what, ok, detail, fix});
    }

    struct CheckLine {
        std::string what;
        bool ok;
        std::string detail, fix;
    };
    std::vector<ElementVerdict> elements;
    std::vector<std::string> plan;
    std::vector<CheckLine> checks;
    bool summaryOk = false;
    ErrorCode summaryCode = kOk;
    std::string summary;
    std::vector<std::string> notes, details, statuses, problems;
    std::vector<std::pair<std::string, int>> boxes;
    std::string tree, title, text;
    bool done = false;
};

// The commands against virtual printers on pseudo-terminals.
class CliRunTest : public ::testing::Test {
protected:
    CliRunTest() {
        environment.programPath = (dir_ / "bin" / "carillon-cli").string();
        environment.timing = MonitorTiming{}.Scaled(0.1);
        std::filesystem::create_directories(dir_ / "bin");
    }
    ~CliRunTest() override {
        ResetSerialPortMap();
        std::filesystem::remove_all(dir_);
    }
    sim::VirtualPrinter& Serial(sim::PrinterConfig config) {
        printers_.push_back(std::make_unique<sim::VirtualPrinter>(config));
        ptys_.push_back(std::make_unique<sim::PtyPrinter>(*printers_.back(), sim::PtyPrinter::Mode::kSerial));
        EXPECT_TRUE(ptys_.back()->Start());
        return *printers_.back();
    }
    int RunCli(std::vector<std::string> args) {
        const ParseResult parsed = ParseCommandLine(args);
        EXPECT_EQ(parsed.error, "");
        return cli::Run(parsed.options, reporter, environment);
    }
    std::string Sample(const std::string& family) {
        return std::string(CARILLON_SAMPLES_DIR) + "/" + family + ".VRK_Package";
    }
    std::filesystem::path dir_ = std::filesystem::temp_directory_path() /
                                 ("carillon-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    testing::UsbDevicesFile usb_;
    std::vector<std::unique_ptr<sim::VirtualPrinter>> printers_;
    std::vector<std::unique_ptr<sim::PtyPrinter>> ptys_;
    RecordingReporter reporter;
    Environment environment;
};

}  // namespace carillon::cli
