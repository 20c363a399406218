// Whole saves of the sample packages into virtual printers that hold an
// older firmware set, checked from the printer's side.

#include "engine/EngineFixture.h"
#include "sim/VerifyPackage.h"
#include "support/RecordingMessageBoxProvider.h"

namespace carillon {
namespace {

std::string SamplePath(sim::Family family) {
    return std::string(CARILLON_SAMPLES_DIR) + "/" + sim::FamilyName(family) + ".VRK_Package";
}

class SaveTest : public testing::EngineTest {
protected:
    // The update job's road to the save, on a new printer unless told
    // otherwise: read the tables, load the package.
    void Load(sim::Family family, bool newPrinter = true) {
        if (newPrinter) Start(Config(family, sim::ImageKind::kOldFirmware));
        ASSERT_EQ(engine.DoReadFileTables(), kOk);
        engine.m_elements.RemoveAll();
        ASSERT_EQ(engine.m_elements.LoadPackage(SamplePath(family)), kOk);
        printer->printer.ClearLogs();
    }

    void ExpectPackageInFlash(sim::Family family) {
        std::vector<sim::ElementCheck> checks;
        ASSERT_EQ(sim::VerifyPackageFile(printer->printer, SamplePath(family), &checks), kOk);
        EXPECT_TRUE(sim::AllVerified(checks));
    }
};

// The output image holds the erase and write requests the printer received,
// numbered on their own from 0, without the final 0x00 the job adds.
TEST_F(SaveTest, ThePackageLandsAtItsTableAddressesAndTheImageHoldsTheRequests) {
    for (sim::Family family : {sim::Family::kNdx, sim::Family::kPlv, sim::Family::kKiosk}) {
        SCOPED_TRACE(sim::FamilyName(family));
        Load(family);
        ByteArray image = {0x42};  // the save empties it first
        engine.m_pOutputImage = &image;
        ASSERT_EQ(engine.DoSave(0), kOk);
        EXPECT_EQ(engine.m_session.m_pRecord, nullptr);  // the recording ends with the save
        ExpectPackageInFlash(family);

        std::vector<ByteArray> received, recorded;
        for (const auto& r : printer->printer.Requests())
            if (std::string("BINDFKMPRabc").find(static_cast<char>(r.packet.code)) != std::string::npos)
                received.emplace_back(r.body.begin() + 3, r.body.end());
        std::size_t at = 0;
        for (std::uint8_t sequence = 0; at < image.size(); at += 1 + image[at], ++sequence) {
            ASSERT_TRUE(image[at] > 3 && at + 1 + image[at] <= image.size()) << at;
            EXPECT_EQ(image[at + 3], sequence);
            recorded.emplace_back(image.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                                  image.begin() + static_cast<std::ptrdiff_t>(at) + 1 + image[at]);
        }
        EXPECT_EQ(recorded, received);
    }
}

// A stop asked from the printer's side a few dozen frames into the save ends
// it between chunks with the tables intact. The next job finishes it over a
// line that drops and damages answers, loses requests and cuts writes short, and nothing
// of the retries reaches its output image: that is byte for byte what a
// clean save of the same package onto the same printer records.
TEST_F(SaveTest, AStoppedSaveKeepsTheTablesAndTheNextJobFinishesItOverAFaultyLineWithACleanImage) {
    testing::RecordingMessageBoxProvider boxes;
    Load(sim::Family::kNdx);
    int frames = 0;
    printer->printer.SetTrace([&](const std::string&) {
        if (++frames == 200) engine.RequestStop();
    });
    EXPECT_EQ(engine.DoSave(0), 0x00030030u);
    printer->printer.SetTrace(nullptr);
    EXPECT_LT(printer->printer.GetCounters().writeChunks, 100u);  // of about 390
    for (int location : {kMcuFlash, kDspFlash})
        EXPECT_EQ(printer->printer.FileTable(location).status, sim::TableStatus::kOk) << location;

    ASSERT_EQ(engine.DoConnect(&printer->port, 1, 0), kOk);
    Load(sim::Family::kNdx, false);
    engine.m_session.m_timing = MonitorTiming{}.Scaled(0.02);
    sim::Faults faults;
    faults.drop.fraction = 0.02;
    faults.corrupt.fraction = 0.01;
    faults.brownOut.fraction = 0.03;
    faults.brownOutUnits = 64;
    faults.requestLoss.fraction = 0.01;
    printer->printer.SetFaults(faults);
    ByteArray image, clean;
    engine.m_pOutputImage = &image;
    ASSERT_EQ(engine.DoSave(0), kOk);
    const auto faulted = printer->printer.GetCounters();
    EXPECT_TRUE(faulted.dropped > 0 && faulted.corrupted > 0 && faulted.brownOuts > 0 && faulted.requestsLost > 0);
    printer->printer.SetFaults({});
    ExpectPackageInFlash(sim::Family::kNdx);
    Load(sim::Family::kNdx);
    engine.m_pOutputImage = &clean;
    ASSERT_EQ(engine.DoSave(0), kOk);
    EXPECT_EQ(image, clean);
}

}  // namespace
}  // namespace carillon
