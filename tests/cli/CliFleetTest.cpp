#include <cstdio>

#include "cli/CliFixture.h"
#include "cli/Fleet.h"
#include "cli/FleetDisplay.h"
#include "cli/FleetStream.h"

namespace carillon::cli {
namespace {

class CliFleetTest : public CliRunTest {
protected:
    int RunFleetCli(std::vector<std::string> args) {
        const ParseResult parsed = ParseCommandLine(args);
        EXPECT_EQ(parsed.error, "");
        EXPECT_TRUE(IsFleet(parsed.options));
        return RunFleet(parsed.options, reporter, environment, out, err);
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ~CliFleetTest() override {
        std::fclose(out);
        std::fclose(err);
    }
};

TEST_F(CliFleetTest, AllUpdatesThePrintersThePackageIsForAndSkipsTheRest) {
    SerialPortMap map;
    for (sim::Family family : {sim::Family::kPlv, sim::Family::kNdx, sim::Family::kPlv}) {
        sim::PrinterConfig c;
        c.family = family;
        c.startInMonitor = true;
        Attach(c);
        map[static_cast<int>(map.size()) + 1] = ptys_.back()->DevicePath();
    }
    ScopedSerialPortMap scoped(map);
    const std::string pattern = (dir_ / "{port}-{index}.bin").string();
    EXPECT_EQ(RunFleetCli({"update", "--all", "--package", Sample("PLV"), "--output", pattern}), kExitDone);
    const std::string table = Contents(out);
    EXPECT_NE(table.find("COM1   NDX(PLV) is in Monitor m done"), std::string::npos) << table;
    EXPECT_NE(table.find("COM3   NDX(PLV) is in Monitor m done"), std::string::npos) << table;
    EXPECT_NE(table.find("skipped"), std::string::npos) << table;
    EXPECT_TRUE(std::filesystem::exists(dir_ / "COM1-1.bin"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "COM3-2.bin"));
    EXPECT_NE(Contents(err).find("COM3: "), std::string::npos);  // progress lines in a pipe carry the port
}

TEST(FleetOutput, PatternsNameEachPrintersFileOrAreRefused) {
    struct Case {
        const char* pattern;
        std::size_t printers;
        const char* path;  // nullptr: refused
    } cases[] = {
        {"out/{port}.VRK_Package.bin", 3, "out/USB2.VRK_Package.bin"},
        {"out/{index}-{port}.bin", 2, "out/4-USB2.bin"},
        {"out/one.bin", 1, "out/one.bin"},
        {"out/one.bin", 2, nullptr},
        {"out/{name}.bin", 2, nullptr},
        {"out/{port.bin", 2, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        std::string error;
        const auto path = FleetOutputPath(c.pattern, "USB2", 4, c.printers, &error);
        EXPECT_EQ(path.has_value(), c.path != nullptr);
        EXPECT_EQ(path.value_or(""), c.path ? c.path : "");
        EXPECT_EQ(error.empty(), c.path != nullptr);
    }
}

TEST(FleetOutput, ALiveDisplayRedrawsOneLinePerPrinterInPlace) {
    const std::string text = Captured([](std::FILE* err) {
        FleetDisplay display(FleetMode::kLive, err, err);
        display.Start({"COM1", "USB1"}, {"NDX is in Monitor mode", "PLV-1"});
        CThread::View view;
        view.m_strStatus = "MCU_FLASH : Programming...";
        view.m_bShowTotal = true;
        view.m_nTotalPercent = 40;
        display.Progress(1, view);
    });
    // Drawn once at the start, then back up both lines and drawn again.
    EXPECT_EQ(text.find("\033[2F"), text.find("USB1   PLV-1") + std::string("USB1   PLV-1                    waiting\n").size());
    EXPECT_NE(text.find("USB1   PLV-1                    MCU_FLASH : Programming...   [########............]  40%\n"),
              std::string::npos) << text;
}

// JSON lines of one printer of a fleet carry its port first.
TEST(FleetOutput, JsonLinesAreMarkedWithThePort) {
    EXPECT_EQ(FleetStream::Mark("{\"event\":\"note\"}", "COM2", true), "{\"port\":\"COM2\",\"event\":\"note\"}");
    EXPECT_EQ(FleetStream::Mark("{}", "USB1", true), "{\"port\":\"USB1\"}");
}

}  // namespace
}  // namespace carillon::cli
