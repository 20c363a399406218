// The soak's own judgement: what counts as the expected end of a faulty run,
// where a table rewrite was under way, and whole runs against in-process
// printers (a clean one verifies; a printer that goes silent ends with the
// read time-out and a repeat on a good line brings it up to date).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "package/Element.h"
#include "soak/RunPool.h"
#include "soak/Soak.h"

namespace carillon::soak {
namespace {

sim::MonitorRequest Request(std::uint8_t code, ByteArray data) {
    sim::MonitorRequest r;
    r.packet.crcOk = true;
    r.packet.code = code;
    r.packet.data = std::move(data);
    return r;
}

TEST(SoakJudgement, TheJobsFailureTextGivesTheCode) {
    EXPECT_EQ(CodeFromResult("Fail to connect...", ""), "connect");
    EXPECT_EQ(CodeFromResult("Programming Error...\n", "(Error Code=00020180h)\nPrinter has replied"), "00020180");
    EXPECT_EQ(CodeFromResult("Programming Error...\n", "The file \"x\" is not valid...\n(Error Code=01000003h)"),
              "01000003");
    EXPECT_EQ(CodeFromResult("Programming Error...\n", "(Error Code=0002"), "");
    EXPECT_EQ(CodeFromResult("", "no code here"), "");
}

TEST(SoakJudgement, EachFaultAllowsOnlyTheCodesItCanCause) {
    EXPECT_FALSE(IsExpectedCode(Fault::kNone, "00010010"));
    EXPECT_FALSE(IsExpectedCode(Fault::kUsbOtherEntry, "connect"));
    EXPECT_TRUE(IsExpectedCode(Fault::kDrop5, "00010010"));
    EXPECT_TRUE(IsExpectedCode(Fault::kCorrupt1, "00020006"));
    EXPECT_FALSE(IsExpectedCode(Fault::kDrop1, "00030011"));  // a damaged table is never a line fault's result
    EXPECT_TRUE(IsExpectedCode(Fault::kRefuse, "00020180"));
    EXPECT_FALSE(IsExpectedCode(Fault::kRefuse, "00020140"));
    EXPECT_TRUE(IsExpectedCode(Fault::kSilent, "00010010"));
    EXPECT_FALSE(IsExpectedCode(Fault::kSilent, "connect"));
    EXPECT_TRUE(IsExpectedCode(Fault::kUsbLate, "connect"));
    EXPECT_FALSE(IsExpectedCode(Fault::kUsbLate, "00010013"));
}

TEST(SoakJudgement, ATableRewriteIsRecognisedByTheLastEraseOrWriteOfItsLocation) {
    const std::uint32_t mcuTable = 0x1000;
    std::vector<sim::MonitorRequest> log = {
        Request('B', {0x00, 0x20}),  // MCU erase at 0x2000: data
        Request('D', {0x00, 0x20, 0x10, 0x00, 'a'}),
    };
    EXPECT_FALSE(LastWriteHitTable(log, kMcuFlash, mcuTable, 0x380));
    log.push_back(Request('B', {0x00, 0x10}));  // the table sector
    log.push_back(Request('F', {0x80, 0x00}));  // next chunks carry no address
    EXPECT_TRUE(LastWriteHitTable(log, kMcuFlash, mcuTable, 0x380));
    log.push_back(Request('K', {0x00, 0x00, 0x01, 0x00, 0x10, 0x00, 'a'}));  // DSP data at word 0x10000
    EXPECT_TRUE(LastWriteHitTable(log, kMcuFlash, mcuTable, 0x380));  // other locations do not count
    EXPECT_FALSE(LastWriteHitTable(log, kDspFlash, 0, 0x800));
    EXPECT_FALSE(LastWriteHitTable(log, kKioskFlash, 0, 0x380));
}

Options Fast() {
    Options o;
    o.samplesDir = CARILLON_SAMPLES_DIR;
    o.timing = 0.05;
    o.runLimitSeconds = 60;
    return o;
}

TEST(SoakRun, AFaultFreeUpdateVerifies) {
    const RunResult r = RunScenario({sim::Family::kPlv, Fault::kNone, Transport::kInProcess, 1}, Fast());
    EXPECT_EQ(r.outcome, Outcome::kVerified) << r.detail;
    EXPECT_GT(r.requests, 100u);
    EXPECT_EQ(r.boxes, 0u);
}

TEST(SoakRun, APrinterThatFallsSilentFailsWithTheTimeOutAndIsUpdatedOnTheNextTry) {
    Options o = Fast();
    o.baselineRequests = 400;
    const RunResult r = RunScenario({sim::Family::kPlv, Fault::kSilent, Transport::kInProcess, 1}, o);
    EXPECT_EQ(r.outcome, Outcome::kExpectedError) << r.detail;
    EXPECT_EQ(r.code, "00010010");
    EXPECT_TRUE(r.recovered);
}

// Runs side by side: each result whole in its job's place, a crash and a hang each
// named and bounded without holding up the others.
TEST(SoakRunPool, ResultsKeepTheirOrderAndCrashesAndHangsAreNamed) {
    auto finishing = [](int ms, std::uint32_t requests) {
        return [=] {
            ::usleep(static_cast<useconds_t>(ms) * 1000);
            RunResult r;
            r.outcome = Outcome::kExpectedError;
            r.code = "00010010";
            r.detail = "two\twords\nand a line";  // the result travels as one line
            r.tableTorn = r.recovered = true;
            r.requests = r.boxes = requests;
            return r;
        };
    };
    const std::vector<RunPool::Job> jobs = {
        finishing(300, 1), [] { std::abort(); return RunResult{}; }, finishing(0, 3),
        [] { for (;;) ::pause(); return RunResult{}; }, finishing(100, 5)};
    std::vector<std::size_t> order;
    const auto results = RunPool(3, 2).RunAll(jobs, [&](std::size_t i, const RunResult&) { order.push_back(i); });
    ASSERT_EQ(results.size(), 5u);
    for (std::uint32_t i : {0, 2, 4}) {
        EXPECT_EQ(results[i].outcome, Outcome::kExpectedError);
        EXPECT_EQ(results[i].code, "00010010");
        EXPECT_EQ(results[i].detail, "two words and a line");
        EXPECT_TRUE(results[i].tableTorn && results[i].recovered);
        EXPECT_EQ(results[i].requests, i + 1);
        EXPECT_EQ(results[i].boxes, i + 1);
    }
    EXPECT_EQ(results[1].outcome, Outcome::kFail);
    EXPECT_NE(results[1].detail.find("crash"), std::string::npos);
    EXPECT_NE(results[3].detail.find("hang"), std::string::npos);
    EXPECT_EQ(order.size(), 5u);
    EXPECT_EQ(order.back(), 3u);  // the hang is the last to end, the others went on meanwhile
}

}  // namespace
}  // namespace carillon::soak
