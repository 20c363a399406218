#pragma once
// carillon-cli's commands run in-process against virtual printers on
// pseudo-terminals, with a reporter that keeps what they report.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "cli/Cli.h"
#include "ports/SerialPortMap.h"
#include "sim/PtyPrinter.h"
#include "support/PortTestHelpers.h"

namespace carillon::cli {

// What `write` puts on a stream.
inline std::string Captured(const std::function<void(std::FILE*)>& write) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    write(out);
    std::fclose(out);
    std::string captured(text, size);
    std::free(text);
    return captured;
}

inline ByteArray ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteArray(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const ByteArray& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// All that was written to a file stream.
inline std::string Contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    return text;
}

// Keeps what the commands report.
class RecordingReporter : public Reporter {
public:
    void Note(const std::string& text) override { notes.push_back(text); }
    void Detail(const std::string&) override {}
    void Progress(const CThread::View&) override {}
    void Box(const platform::MessageBoxRequest& box, int answer) override { boxes.push_back({box.text, answer}); }
    void Printers(const PrinterList&, const std::string&) override {}
    void Finished(bool ok, const CThread::View& view) override {
        done = ok;
        title = view.m_strResultTitle;
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
    std::vector<CheckLine> checks;
    std::vector<std::pair<std::string, int>> boxes;
    std::vector<std::string> plan, notes, problems;
    std::string summary, title;
    ErrorCode summaryCode = kOk;
    bool summaryOk = false, done = false;
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
    // A printer on a serial pseudo-terminal, or on one listed as a USB device.
    sim::VirtualPrinter& Attach(sim::PrinterConfig config, bool usb = false) {
        printers_.push_back(std::make_unique<sim::VirtualPrinter>(config));
        ptys_.push_back(std::make_unique<sim::PtyPrinter>(
            *printers_.back(), usb ? sim::PtyPrinter::Mode::kUsb : sim::PtyPrinter::Mode::kSerial, usb_.Path()));
        EXPECT_TRUE(ptys_.back()->Start());
        return *printers_.back();
    }
    int RunCli(std::vector<std::string> args) {
        const ParseResult parsed = ParseCommandLine(args);
        EXPECT_EQ(parsed.error, "");
        return cli::Run(parsed.options, reporter, environment);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
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
