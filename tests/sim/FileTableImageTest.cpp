#include <gtest/gtest.h>

#include "package/Crc16.h"
#include "package/Element.h"
#include "sim/FileTableImage.h"

namespace carillon::sim {
namespace {

FileEntry Entry(int type, bool crypt, std::uint16_t crc, std::uint32_t address, std::uint32_t size, std::uint16_t version,
                std::string name) {
    FileEntry e;
    e.type = type;
    e.crypt = crypt;
    e.crc = crc;
    e.address = address;
    e.sizeBytes = size;
    e.version = version;
    e.name = std::move(name);
    return e;
}

TEST(FileEntryLayout, McuEntryMixesBigAndLittleEndian) {
    const ByteArray slot = EncodeEntry(TableForm::kMcu, Entry(kTypeParamsFact, false, 0x1234, 0x1600, 0x200, 0x0A0B, "Params"));
    ASSERT_EQ(slot.size(), 32u);
    EXPECT_EQ(ByteArray(slot.begin(), slot.begin() + 9), (ByteArray{0x93, 0x12, 0x34, 0x16, 0x00, 0x02, 0x00, 0x0B, 0x0A}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&slot[9])), "Params");
    EXPECT_EQ(slot[31], 0);
}

TEST(FileEntryLayout, DspEntryIsLittleEndianWithSizeInWords) {
    const ByteArray slot = EncodeEntry(TableForm::kDsp, Entry(kTypeFontA, true, 0xBEEF, 0x89ABC, 0x24692, 0x0102, "F"));
    ASSERT_EQ(slot.size(), 64u);
    EXPECT_EQ(ByteArray(slot.begin(), slot.begin() + 14),
              (ByteArray{0x02, 0xC0, 0xEF, 0xBE, 0xBC, 0x9A, 0x08, 0x00, 0x49, 0x23, 0x01, 0x00, 0x02, 0x01}));
}

TEST(FileEntryLayout, CryptBitAndCodesThatCarryItThemselves) {
    const std::uint8_t dsp[64] = {0x00, 0xC0};
    const FileEntry firmware = DecodeEntry(TableForm::kDsp, dsp);
    EXPECT_EQ(firmware.type, kTypeFirmware);
    EXPECT_TRUE(firmware.crypt);
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
    const FileEntry index = DecodeEntry(TableForm::kMcu, area.data());
    EXPECT_EQ(index.type, kTypeIndex);
    EXPECT_FALSE(index.crypt);
    EXPECT_EQ(index.address, 0x10A0u);
    EXPECT_EQ(index.sizeBytes, 64u);
    EXPECT_EQ(index.version, 2);
    EXPECT_EQ(index.name, "Mcu Table Entry");
    EXPECT_EQ(index.crc, ComputeCrc16(0xFFFF, area.data() + 32, 64));
    EXPECT_EQ(ByteArray(area.begin() + 96, area.begin() + 128),
              (ByteArray{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                         0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(std::all_of(area.begin() + 128, area.end(), [](std::uint8_t b) { return b == 0xFF; }));
    const TableContents read = ReadTable(TableForm::kMcu, area);
    EXPECT_EQ(read.status, TableStatus::kOk);
    ASSERT_EQ(read.files.size(), 2u);
    EXPECT_EQ(read.files[1].name, "pc");
}

TEST(FileTable, EmptyDspTableHasSizeZeroAndTheCrcOfNoBytes) {
    const ByteArray area = BuildTable(TableForm::kDsp, 0x8000, {});
    ASSERT_EQ(area.size(), 0x1000u);
    const FileEntry index = DecodeEntry(TableForm::kDsp, area.data());
    EXPECT_EQ(index.sizeBytes, 0u);
    EXPECT_EQ(index.crc, 0xFFFF);
    EXPECT_EQ(index.address, 0x8020u);
    EXPECT_EQ(index.name, "Dsp Table Entry");
    const FileEntry end = DecodeEntry(TableForm::kDsp, area.data() + 64);
    EXPECT_EQ(end.type, kTypeUnknownFile);
    EXPECT_EQ(end.address, 0xFFFFFFFFu);
    EXPECT_EQ(ReadTable(TableForm::kDsp, area).status, TableStatus::kOk);
}

TEST(FileTable, ReaderReportsWhatIsWrong) {
    ByteArray area = BuildTable(TableForm::kMcu, 0x1080, {Entry(kTypeData, false, 1, 0x2000, 4, 1, "d")});
    ByteArray damaged = area;
    damaged[40] ^= 1;
    EXPECT_EQ(ReadTable(TableForm::kMcu, damaged).status, TableStatus::kBadCrc);
    damaged = area;
    damaged[0] = 0x20;
    EXPECT_EQ(ReadTable(TableForm::kMcu, damaged).status, TableStatus::kNoIndex);
    EXPECT_EQ(ReadTable(TableForm::kMcu, ByteArray(0x380, 0xFF)).status, TableStatus::kNoIndex);
}

// The PC reads the printer's tables with its own entry conversions; both
// sides must agree on every field.
TEST(FileTable, ThePackagesEntryReaderAgreesWithTheseLayouts) {
    const FileEntry mcu = Entry(kTypeFirmware, true, 0xA55A, 0x182C, 0x6000, 101, "NDX MCU firmware");
    CElement e;
    ASSERT_EQ(e.ReadMcuEntry(EncodeEntry(TableForm::kMcu, mcu).data()), kOk);
    EXPECT_EQ(e.m_type, kTypeFirmware);
    EXPECT_EQ(e.m_cryptFlag, 1);
    EXPECT_EQ(e.m_crc, 0xA55Au);
    EXPECT_EQ(e.m_address, 0x182C);
    EXPECT_EQ(e.m_size, 0x6000u);
    EXPECT_EQ(e.m_version, 101);
    EXPECT_EQ(e.m_strName, mcu.name);
    const FileEntry dsp = Entry(kTypeFontB, true, 0x0102, 0xE8000, 0x8000, 7, "Font B 9x17");
    ASSERT_EQ(e.ReadDspEntry(EncodeEntry(TableForm::kDsp, dsp).data()), kOk);
    EXPECT_EQ(e.m_type, kTypeFontB);
    EXPECT_EQ(e.m_address, 0xE8000);
    EXPECT_EQ(e.m_size, 0x8000u);
    EXPECT_EQ(e.m_strName, dsp.name);
}

}  // namespace
}  // namespace carillon::sim
