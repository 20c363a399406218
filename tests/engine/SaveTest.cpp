// Whole saves of the sample packages into virtual printers that hold an
// older firmware set, checked from the printer's side.

#include "monitor/PacketRecord.h"
#include "engine/EngineFixture.h"
#include "sim/VerifyPackage.h"
#include "support/RecordingMessageBoxProvider.h"

namespace carillon {
namespace {

std::string SamplePath(const std::string& family) {
    return std::string(CARILLON_SAMPLES_DIR) + "/" + family + ".VRK_Package";
}

// What a table entry says about an element.
struct EntryView {
    std::string name;
    std::int32_t type, location, address, version;
    std::uint32_t size, crc;
    bool operator==(const EntryView&) const = default;
};

std::vector<EntryView> Entries(const CElementList& list) {
    std::vector<EntryView> out;
    for (const auto& e : list.Elements())
        out.push_back({e->m_strName, e->m_type, e->m_location, e->m_address, e->m_version, e->m_size, e->m_crc & 0xFFFF});
    std::sort(out.begin(), out.end(), [](const EntryView& a, const EntryView& b) {
        return std::tie(a.location, a.address, a.name) < std::tie(b.location, b.address, b.name);
    });
    return out;
}

struct SaveCase {
    const char* family;
    sim::Family simFamily;
};

class SaveFixture : public testing::EngineTest {
protected:
    explicit SaveFixture(SaveCase c) : family(c) {}
    // The update job's road: connect, read the tables, load and check, save.
    ErrorCode Save(ByteArray* image) {
        if (ErrorCode r = engine.DoReadFileTables(); r != kOk) return r;
        engine.m_elements.RemoveAll();
        if (ErrorCode r = engine.m_elements.LoadPackage(SamplePath(family.family)); r != kOk) return r;
        engine.m_elements.RemoveUnusable();
        EXPECT_EQ(engine.m_elements.CountIncompatible(false, true), 0);
        engine.m_pOutputImage = image;
        printer->printer.ClearLogs();
        return engine.DoSave(0);
    }

    void ExpectPackageInFlash() {
        std::vector<sim::ElementCheck> checks;
        ASSERT_EQ(sim::VerifyPackageFile(printer->printer, SamplePath(family.family), &checks), kOk);
        for (const auto& c : checks) EXPECT_EQ(c.status, sim::VerifyStatus::kOk) << sim::FormatCheck(c);
        EXPECT_TRUE(sim::AllVerified(checks));
    }
    SaveCase family;
};

class SaveTest : public SaveFixture, public ::testing::WithParamInterface<SaveCase> {
protected:
    SaveTest() : SaveFixture(GetParam()) {}
};

// What varies little between the families runs on the one with every board.
class KioskSaveTest : public SaveFixture {
protected:
    KioskSaveTest() : SaveFixture({"KIOSK", sim::Family::kKiosk}) {}
};

TEST_P(SaveTest, ThePackageLandsAtItsTableAddressesAndTheTablesReadBack) {
    Start(Config(family.simFamily, sim::ImageKind::kOldFirmware));
    ByteArray image = {0x42};  // the save empties it first
    ASSERT_EQ(Save(&image), kOk);
    EXPECT_EQ(engine.m_session.m_pRecord, nullptr);  // the recording ends with the save
    ExpectPackageInFlash();

    const auto saved = Entries(engine.m_elements);
    for (const auto& e : engine.m_elements.Elements()) EXPECT_EQ(e->m_saved, 1) << e->m_strName;
    ASSERT_EQ(engine.DoReadFileTables(), kOk);
    EXPECT_EQ(Entries(engine.m_elements), saved);

    // The output image holds the erase and write requests the printer
    // received, numbered on their own from 0.
    const RecordParse parsed = ParsePacketRecord(image.data(), image.size());
    ASSERT_FALSE(parsed.ok());  // the job, not the save, adds the final 0x00
    std::vector<ByteArray> received;
    for (const auto& r : printer->printer.Requests())
        if (std::string("BIN" "DFKMPR" "abc").find(static_cast<char>(r.packet.code)) != std::string::npos)
            received.push_back(ByteArray(r.body.begin() + 3, r.body.end()));
    std::vector<ByteArray> recorded;
    std::size_t at = 0;
    for (std::uint8_t sequence = 0; at < image.size(); at += 1 + image[at], ++sequence) {
        ASSERT_LE(at + 1 + image[at], image.size());
        EXPECT_EQ(image[at + 3], sequence);
        recorded.emplace_back(image.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                              image.begin() + static_cast<std::ptrdiff_t>(at) + 1 + image[at]);
    }
    EXPECT_EQ(recorded, received);
}

TEST_F(KioskSaveTest, WithoutAnOutputImageOnlySectorsThatAreNotBlankAreErased) {
    Start(Config(family.simFamily, sim::ImageKind::kOldFirmware));
    ASSERT_EQ(Save(nullptr), kOk);
    ExpectPackageInFlash();
    EXPECT_FALSE(printer->Requests("CJO").empty());
}

TEST_F(KioskSaveTest, DroppedAnswersAndShortWritesStillEndWithTheRightFlash) {
    testing::RecordingMessageBoxProvider boxes;
    auto config = Config(family.simFamily, sim::ImageKind::kOldFirmware);
    Start(config);
    engine.m_session.m_timing = MonitorTiming{}.Scaled(0.02);
    sim::Faults faults;
    faults.drop.fraction = 0.02;
    faults.brownOut.fraction = 0.03;
    faults.brownOutUnits = 64;
    faults.seed = 7;
    faults.requestLoss.fraction = 0.01;
    printer->printer.SetFaults(faults);
    ByteArray image;
    ASSERT_EQ(Save(&image), kOk);
    printer->printer.SetFaults({});
    ExpectPackageInFlash();
    const auto counters = printer->printer.GetCounters();
    EXPECT_GT(counters.dropped, 0u);
    EXPECT_GT(counters.brownOuts, 0u);
    EXPECT_GT(counters.requestsLost, 0u);

    // Nothing of the retries reaches the output binary: it is byte for byte
    // what a clean save of the same package onto the same printer records.
    Start(config);
    ByteArray clean;
    ASSERT_EQ(Save(&clean), kOk);
    EXPECT_EQ(printer->printer.GetCounters().requestsLost, 0u);
    EXPECT_EQ(image, clean);
}

TEST_F(KioskSaveTest, ATableThatDoesNotReadBackAsWrittenFailsTheSave) {
    auto config = Config(family.simFamily, sim::ImageKind::kOldFirmware);
    // A worn cell in the first file entry of the MCU table keeps a bit at 1.
    const std::uint32_t table = sim::VirtualPrinter(config).TableStart(kMcuFlash);
    config.faults.worn = {.location = kMcuFlash, .unit = table + 0x20, .stuckBits = 0x01};
    Start(config);
    EXPECT_EQ(Save(nullptr), 0x00030011u);
}

INSTANTIATE_TEST_SUITE_P(Families, SaveTest,
                         ::testing::Values(SaveCase{"NDX", sim::Family::kNdx}, SaveCase{"PLV", sim::Family::kPlv},
                                           SaveCase{"KIOSK", sim::Family::kKiosk}),
                         [](const auto& info) { return std::string(info.param.family); });

using SilentSaveTest = testing::EngineTest;

TEST_F(SilentSaveTest, AStopEndsTheSaveBetweenChunksAndARerunFinishesIt) {
    Start(Config(sim::Family::kNdx, sim::ImageKind::kOldFirmware));
    ASSERT_EQ(engine.DoReadFileTables(), kOk);
    engine.m_elements.RemoveAll();
    ASSERT_EQ(engine.m_elements.LoadPackage(SamplePath("NDX")), kOk);
    // Asked from the printer's side of the line, a few dozen frames into the save.
    int frames = 0;
    printer->printer.SetTrace([&](const std::string&) {
        if (++frames == 200) engine.RequestStop();
    });
    EXPECT_EQ(engine.DoSave(0), 0x00030030u);
    printer->printer.SetTrace(nullptr);
    EXPECT_LT(printer->printer.GetCounters().writeChunks, 100u);  // of about 390
    for (int location : {kMcuFlash, kDspFlash})
        EXPECT_EQ(printer->printer.FileTable(location).status, sim::TableStatus::kOk) << location;

    ASSERT_EQ(engine.DoConnect(&printer->port, 1, 0), kOk);  // the next job
    ASSERT_EQ(engine.DoReadFileTables(), kOk);
    engine.m_elements.RemoveAll();
    ASSERT_EQ(engine.m_elements.LoadPackage(SamplePath("NDX")), kOk);
    ASSERT_EQ(engine.DoSave(0), kOk);
    std::vector<sim::ElementCheck> checks;
    ASSERT_EQ(sim::VerifyPackageFile(printer->printer, SamplePath("NDX"), &checks), kOk);
    EXPECT_TRUE(sim::AllVerified(checks));
}

}  // namespace
}  // namespace carillon
