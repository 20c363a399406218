// Hostile files against the command line: every one is refused before the
// printer is touched, and no input is ever overwritten.
#include <sys/stat.h>

#include "cli/CliFixture.h"
#include "support/PacketBytes.h"

namespace carillon::cli {
namespace {

class CliHostileTest : public CliRunTest {
protected:
    CliHostileTest() {
        sim::PrinterConfig config;
        config.family = sim::Family::kNdx;
        printer = &Attach(config);
        std::filesystem::copy_file(Sample("NDX"), package);
    }
    // The printer never left its normal mode.
    void ExpectUntouched() {
        EXPECT_EQ(printer->GetCounters().monitorStarts, 0u);
        EXPECT_EQ(printer->GetCounters().erases, 0u);
    }
    std::vector<std::string> Update(const std::string& pkg, const std::string& out) {
        return {"update", "--port", "COM1", "--baud", "9600", "--package", pkg, "--output", out};
    }

    sim::VirtualPrinter* printer = nullptr;
    std::string package = Path("p.VRK_Package");
};

TEST_F(CliHostileTest, OutputsThatWouldDestroyAnInputOrNeverBeWrittenAreRefused) {
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    const ByteArray original = ReadBytes(package);
    std::filesystem::create_symlink(package, Path("link.VRK_Package"));
    std::filesystem::create_hard_link(package, Path("hard.VRK_Package"));
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    const struct {
        std::string output;
        int exit;
        ErrorCode code;
    } cases[] = {
        {package, kExitUsage, kErrJobOutputIsInput},
        {(dir_ / "." / "p.VRK_Package").string(), kExitUsage, kErrJobOutputIsInput},
        {Path("link.VRK_Package"), kExitUsage, kErrJobOutputIsInput},
        {Path("hard.VRK_Package"), kExitUsage, kErrJobOutputIsInput},
        {Path("no/such/dir/x.bin"), kExitFailed, kErrJobOutputCreate},
        {Path("fifo"), kExitFailed, kErrJobOutputNotFile},
        {"/dev/full", kExitFailed, kErrJobOutputNotFile},
        {dir_.string(), kExitFailed, kErrJobOutputNotFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        EXPECT_EQ(RunCli(Update(package, c.output)), c.exit);
        EXPECT_EQ(reporter.summaryCode, c.code);
    }
    EXPECT_EQ(ReadBytes(package), original);
    EXPECT_TRUE(std::filesystem::is_fifo(Path("fifo")));
    ExpectUntouched();
}

TEST_F(CliHostileTest, APackageThatIsNoFileIsRefusedBeforeThePrinterIsTouched) {
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    EXPECT_EQ(RunCli(Update(dir_.string(), Path("out.bin"))), kExitFailed);
    EXPECT_EQ(reporter.summaryCode, kErrFileIsDirectory);
    EXPECT_FALSE(std::filesystem::exists(Path("out.bin")));
    ExpectUntouched();
}

// One hand-made record: the body's length, then the body.
ByteArray Record(std::uint8_t code, const ByteArray& parameters) {
    ByteArray r = carillon::testing::PacketBody(0, code, parameters);
    r.insert(r.begin(), static_cast<std::uint8_t>(r.size()));
    return r;
}

TEST_F(CliHostileTest, AReplayThatWouldBrickThePrinterSendsNothing) {
    ScopedSerialPortMap map({{1, ptys_.back()->DevicePath()}});
    auto withData = [](ByteArray request) {
        const ByteArray data = Record('a', {1, 2, 3, 4});
        request.insert(request.end(), data.begin(), data.end());
        return request;
    };
    const struct {
        const char* what;
        ByteArray records;
        ErrorCode code;
    } cases[] = {
        {"only the final 0x00", {}, kErrJobReplayEmpty},
        {"erase of the monitor's sector", Record('B', {0x00, 0x00}), kErrJobReplayReserved},
        {"write into the monitor's sector", withData(Record('D', {0x00, 0x10, 4, 0, 'a'})), kErrJobReplayReserved},
        {"write past the end of the flash", withData(Record('D', {0xFE, 0xFF, 4, 0, 'a'})), kErrJobReplayReserved},
        {"erase of the top reserved sector", Record('B', {0x00, 0xDC}), kErrJobReplayReserved},
        {"erase of a location the printer lacks", Record('N', {0x00, 0x20}), kErrEngLocationAbsent},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ByteArray file = c.records;
        file.push_back(0x00);
        WriteBytes(Path("hand.bin"), file);
        EXPECT_EQ(RunCli({"replay", Path("hand.bin"), "--port", "COM1", "--baud", "9600"}), kExitFailed);
        EXPECT_EQ(reporter.summaryCode, c.code);
        EXPECT_EQ(printer->GetCounters().erases, 0u);
        EXPECT_EQ(printer->GetCounters().writeChunks, 0u);
    }
}

TEST_F(CliHostileTest, ABinaryOfAnotherFamilyIsReplayedOnlyWhenForced) {
    sim::PrinterConfig config;
    config.family = sim::Family::kPlv;
    sim::VirtualPrinter& plv = Attach(config);
    ScopedSerialPortMap map({{1, ptys_[0]->DevicePath()}, {2, ptys_[1]->DevicePath()}});
    ASSERT_EQ(RunCli(Update(package, Path("ndx.bin"))), kExitDone);
    EXPECT_EQ(RunCli({"replay", Path("ndx.bin"), "--port", "COM2", "--baud", "9600"}), kExitFailed);
    EXPECT_EQ(reporter.summaryCode, kErrJobReplayFamily);
    EXPECT_EQ(plv.GetCounters().erases, 0u);
    EXPECT_EQ(RunCli({"replay", Path("ndx.bin"), "--port", "COM2", "--baud", "9600", "--force"}), kExitDone);
}

}  // namespace
}  // namespace carillon::cli
