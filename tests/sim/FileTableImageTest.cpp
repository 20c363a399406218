#include <gtest/gtest.h>

#include "package/Crc16.h"
#include "package/Element.h"
#include "sim/FileTableImage.h"

namespace carillon::sim {
namespace {

FileEntry Entry(int type, bool crypt, std::uint16_t crc, std::uint32_t address, std::uint32_t size,
                std::uint16_t version, std::string name) {
    return {.type = type, .crypt = crypt, .crc = crc, .address = address, .sizeBytes = size, .version = version,
            .name = std::move(name)};
}

TEST(FileEntryLayout, CryptBitAndCodesThatCarryItThemselves) {
    const std::uint8_t dsp[64] = {0x00, 0xC0};
    EXPECT_EQ(DecodeEntry(TableForm::kDsp, dsp).type, kTypeFirmware);
    EXPECT_TRUE(DecodeEntry(TableForm::kDsp, dsp).crypt);
    const std::uint8_t mcu[32] = {0xFD};
    EXPECT_EQ(DecodeEntry(TableForm::kMcu, mcu).type, kTypeTemplate);
    EXPECT_TRUE(DecodeEntry(TableForm::kMcu, mcu).crypt);
    const std::uint8_t unknown[32] = {0x77};
    EXPECT_EQ(DecodeEntry(TableForm::kMcu, unknown).type, -1);
}

TEST(FileTable, IndexCoversTheFilesAndEndEntryClosesThem) {
    const std::vector<FileEntry> files = {Entry(kTypeFirmware, true, 0x1111, 0x182C, 0x100, 3, "fw"),
                                          Entry(kTypeParamsCustom, false, 0x2222, 0x1400, 0x200, 0, "pc")};
    const ByteArray area = BuildTable(TableForm::kMcu, 0x1080, files);
    ASSERT_EQ(area.size(), 0x380u);
    // The index names the entries after it and their CRC.
    const FileEntry index = DecodeEntry(TableForm::kMcu, area.data());
    EXPECT_EQ(index.type, kTypeIndex);
    EXPECT_EQ(index.address, 0x10A0u);
    EXPECT_EQ(index.sizeBytes, 64u);
    EXPECT_EQ(index.crc, ComputeCrc16(0xFFFF, area.data() + 32, 64));
    ByteArray end(32, 0);
    std::fill_n(end.begin(), 5, 0xFF);
    EXPECT_EQ(ByteArray(area.begin() + 96, area.begin() + 128), end);
    EXPECT_TRUE(std::all_of(area.begin() + 128, area.end(), [](std::uint8_t b) { return b == 0xFF; }));
    const TableContents read = ReadTable(TableForm::kMcu, area);
    EXPECT_EQ(read.status, TableStatus::kOk);
    ASSERT_EQ(read.files.size(), 2u);
    EXPECT_EQ(read.files[1].name, "pc");
}

TEST(FileTable, ReaderReportsWhatIsWrong) {
    const ByteArray area = BuildTable(TableForm::kMcu, 0x1080, {Entry(kTypeData, false, 1, 0x2000, 4, 1, "d")});
    // Slot 0 the index (its size at bytes 5 and 6), slot 1 the file, slot 2 the end entry.
    const struct {
        std::size_t at;
        std::uint8_t flip;
        TableStatus status;
    } damage[] = {{40, 0x01, TableStatus::kBadCrc}, {0, 0x01, TableStatus::kNoIndex},
                  {64, 0x01, TableStatus::kNoEnd},  {5, 0x04, TableStatus::kBadSize}};
    for (const auto& d : damage) {
        SCOPED_TRACE(d.at);
        ByteArray damaged = area;
        damaged[d.at] ^= d.flip;
        EXPECT_EQ(ReadTable(TableForm::kMcu, damaged).status, d.status);
    }
    EXPECT_EQ(ReadTable(TableForm::kMcu, ByteArray(0x380, 0xFF)).status, TableStatus::kNoIndex);
}

// The PC reads the printer's tables with its own entry conversions; both
// sides must agree on every field.
TEST(FileTable, ThePackagesEntryReaderAgreesWithTheseLayouts) {
    const std::pair<TableForm, FileEntry> entries[] = {
        {TableForm::kMcu, Entry(kTypeFirmware, true, 0xA55A, 0x182C, 0x6000, 101, "NDX MCU firmware")},
        {TableForm::kDsp, Entry(kTypeFontB, true, 0x0102, 0xE8000, 0x8000, 7, "Font B 9x17")},
    };
    for (const auto& [form, entry] : entries) {
        SCOPED_TRACE(entry.name);
        const ByteArray slot = EncodeEntry(form, entry);
        CElement e;
        ASSERT_EQ(form == TableForm::kMcu ? e.ReadMcuEntry(slot.data()) : e.ReadDspEntry(slot.data()), kOk);
        EXPECT_EQ(e.m_type, entry.type);
        EXPECT_EQ(e.m_cryptFlag, entry.crypt ? 1 : 0);
        EXPECT_EQ(e.m_crc, entry.crc);
        EXPECT_EQ(e.m_address, static_cast<std::int32_t>(entry.address));
        EXPECT_EQ(e.m_size, entry.sizeBytes);
        EXPECT_EQ(e.m_version, entry.version);
        EXPECT_EQ(e.m_strName, entry.name);
    }
}

}  // namespace
}  // namespace carillon::sim
