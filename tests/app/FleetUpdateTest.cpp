#include <gtest/gtest.h>

#include "app/FleetUpdate.h"
#include "sim/VerifyPackage.h"
#include "support/RecordingMessageBoxProvider.h"
#include "support/SimPrinter.h"

namespace carillon {
namespace {

std::string Sample(const std::string& family) { return std::string(CARILLON_SAMPLES_DIR) + "/" + family + ".VRK_Package"; }

struct Printer {
    const char* family;
    bool refusesWrites;
};

class FleetUpdateTest : public ::testing::Test {
protected:
    std::vector<FleetOutcome> UpdateAll(const std::vector<Printer>& table, bool stopAtOnce = false) {
        std::vector<FleetMember> members;
        for (const Printer& p : table) {
            sim::PrinterConfig c = testing::InMonitor(std::string(p.family) == "NDX"   ? sim::Family::kNdx
                                                      : std::string(p.family) == "PLV" ? sim::Family::kPlv
                                                                                       : sim::Family::kKiosk);
            if (p.refusesWrites) c.faults.refuse = {.everyNth = 1, .fraction = 0, .commands = "DFKMPR"};
            printers.push_back(std::make_unique<testing::SimPrinter>(c));
            members.push_back({p.family, &printers.back()->port, Sample(p.family), "", std::nullopt});
        }
        FleetUpdate fleet(members);
        fleet.SetTiming(MonitorTiming{}.Scaled(0.05));
        const std::atomic<bool> stop{stopAtOnce};
        std::vector<std::size_t> finished;
        auto outcomes = fleet.Run(stop, nullptr, [&](std::size_t i, const FleetOutcome&) { finished.push_back(i); });
        EXPECT_EQ(finished.size(), table.size());
        return outcomes;
    }
    testing::RecordingMessageBoxProvider boxes;
    std::vector<std::unique_ptr<testing::SimPrinter>> printers;
};

TEST_F(FleetUpdateTest, ThreeFamiliesUpdateAtOnceAndAFaultedPrinterStopsOnlyItself) {
    const std::vector<Printer> table = {{"NDX", false}, {"PLV", false}, {"KIOSK", false}, {"NDX", true}};
    const auto outcomes = UpdateAll(table);
    ASSERT_EQ(outcomes.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(std::to_string(i) + " " + table[i].family);
        std::vector<sim::ElementCheck> checks;
        ASSERT_EQ(sim::VerifyPackageFile(printers[i]->printer, Sample(table[i].family), &checks), kOk);
        if (!table[i].refusesWrites) {
            EXPECT_TRUE(outcomes[i].done) << outcomes[i].title << outcomes[i].text;
            EXPECT_TRUE(sim::AllVerified(checks));
            EXPECT_GT(outcomes[i].saved, 0u);
            EXPECT_GT(outcomes[i].bytes, 0u);
        } else {
            EXPECT_FALSE(outcomes[i].done);
            EXPECT_NE(outcomes[i].code, kOk);
            EXPECT_FALSE(sim::AllVerified(checks));
        }
    }
}

TEST_F(FleetUpdateTest, AStopEndsEveryPrintersJobBeforeItWrites) {
    const auto outcomes = UpdateAll({{"NDX", false}, {"PLV", false}}, true);
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(outcomes[i].done);
        EXPECT_EQ(outcomes[i].code, kErrEngStoppedByUser);
        EXPECT_EQ(outcomes[i].saved, 0u);
    }
}

}  // namespace
}  // namespace carillon
