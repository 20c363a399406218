#include <gtest/gtest.h>

#include <array>

#include "package/Element.h"

namespace carillon {
namespace {

using DspEntry = std::array<std::uint8_t, kDspEntrySize>;
using McuEntry = std::array<std::uint8_t, kMcuEntrySize>;

std::unique_ptr<CElement> Make(std::int32_t type, std::int32_t location, std::uint32_t size, const char* name) {
    auto e = std::make_unique<CElement>();
    e->m_type = type;
    e->m_location = location;
    e->m_size = size;
    e->m_strName = name;
    return e;
}

// Read back, an entry writes the very same bytes again.
template <typename Entry>
void ExpectRereadWritesTheSame(const Entry& entry, ErrorCode (CElement::*read)(const std::uint8_t*),
                               ErrorCode (CElement::*write)(std::uint8_t*)) {
    CElement back;
    ASSERT_EQ((back.*read)(entry.data()), kOk);
    Entry again;
    again.fill(0xEE);
    ASSERT_EQ((back.*write)(again.data()), kOk);
    EXPECT_EQ(again, entry);
}

TEST(DspEntry, LayoutIsLittleEndianFieldByField) {
    auto e = Make(kTypeFontA, kDspFlash, 0x00012346, "Font A 24");
    e->m_crc = 0xBEEF;
    e->m_address = 0x00089ABC;
    e->m_version = 0x0102;
    e->m_cryptFlag = 1;
    DspEntry entry;
    entry.fill(0xEE);
    ASSERT_EQ(e->WriteDspEntry(entry.data()), kOk);
    const std::uint8_t head[14] = {0x02, 0xC0, 0xEF, 0xBE, 0xBC, 0x9A, 0x08, 0x00, 0xA3, 0x91, 0x00, 0x00, 0x02, 0x01};
    EXPECT_TRUE(std::equal(head, head + 14, entry.begin()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&entry[14])), "Font A 24");
    EXPECT_TRUE(std::all_of(entry.begin() + 14 + 9, entry.end(), [](std::uint8_t b) { return b == 0; }));
    ExpectRereadWritesTheSame(entry, &CElement::ReadDspEntry, &CElement::WriteDspEntry);
}

TEST(McuEntry, LayoutMixesBigAndLittleEndianFields) {
    auto e = Make(kTypeParamsFact, kKioskFlash, 0x0200, "Params");
    e->m_crc = 0x1234;
    e->m_address = 0x1600;
    e->m_version = 0x0A0B;
    McuEntry entry;
    entry.fill(0xEE);
    ASSERT_EQ(e->WriteMcuEntry(entry.data()), kOk);
    const std::uint8_t head[9] = {0x93, 0x12, 0x34, 0x16, 0x00, 0x02, 0x00, 0x0B, 0x0A};
    EXPECT_TRUE(std::equal(head, head + 9, entry.begin()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&entry[9])), "Params");
    EXPECT_EQ(entry[31], 0);
    ExpectRereadWritesTheSame(entry, &CElement::ReadMcuEntry, &CElement::WriteMcuEntry);
}

// A code matches its row with the crypt bit ignored, and the bit is the
// flag. Codes that hold the bit by themselves read with flag 1 and go back
// unchanged; the end entry's code never gets the bit added.
TEST(EntryTypeCodes, CodesReadToTypeAndFlagAndWriteBackUnchanged) {
    struct Case {
        EntryForm form;
        std::uint16_t code;
        std::int32_t type, flag;
    };
    const Case cases[] = {
        {EntryForm::kDsp, 0xC000, kTypeFirmware, 1}, {EntryForm::kDsp, 0x8000, kTypeFirmware, 0},
        {EntryForm::kMcu, 0x50, kTypeIndex, 1},      {EntryForm::kMcu, 0xFC, kTypeMonitor, 1},
        {EntryForm::kMcu, 0xFD, kTypeTemplate, 1},   {EntryForm::kMcu, 0xFE, kTypePkgHeader, 1},
        {EntryForm::kMcu, 0xFF, kTypeUnknownFile, 1}, {EntryForm::kDsp, 0xFFFC, kTypeMonitor, 1},
        {EntryForm::kDsp, 0xFFFD, kTypeTemplate, 1}, {EntryForm::kDsp, 0xFFFE, kTypePkgHeader, 1},
        {EntryForm::kDsp, 0xFFFF, kTypeUnknownFile, 1}, {EntryForm::kMcu, 0x77, kTypeInvalid, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const bool dsp = c.form == EntryForm::kDsp;
        DspEntry entry, back{};
        entry.fill(0xFF);  // erased flash around the code
        entry[0] = static_cast<std::uint8_t>(c.code);
        if (dsp) entry[1] = static_cast<std::uint8_t>(c.code >> 8);
        CElement e;
        EXPECT_EQ(dsp ? e.ReadDspEntry(entry.data()) : e.ReadMcuEntry(entry.data()), kOk);
        EXPECT_EQ(e.m_type, c.type);
        if (c.type == kTypeInvalid) continue;  // nothing to write back
        EXPECT_EQ(e.m_cryptFlag, c.flag);
        ASSERT_EQ(dsp ? e.WriteDspEntry(back.data()) : e.WriteMcuEntry(back.data()), kOk);
        EXPECT_EQ(back[0] | (dsp ? back[1] << 8 : 0), c.code);
    }
}

TEST(EntrySizes, DspSizesCountWordsAndNamesAreBounded) {
    auto odd = Make(kTypeFontB, kDspFlash, 7, "");  // its crypt flag not decided yet
    DspEntry entry{};
    odd->WriteDspEntry(entry.data());
    EXPECT_EQ(entry[8], 3);
    EXPECT_EQ(odd->m_cryptFlag, 1);  // the type's default, written as the bit
    EXPECT_EQ(entry[1], 0xC0);
    auto longName = Make(kTypeData, kDspFlash, 0, std::string(60, 'n').c_str());
    longName->WriteDspEntry(entry.data());
    CElement back;
    back.ReadDspEntry(entry.data());
    EXPECT_EQ(back.m_strName, std::string(49, 'n'));
    McuEntry full{};
    std::fill(full.begin() + 9, full.end(), 'x');
    back.ReadMcuEntry(full.data());
    EXPECT_EQ(back.m_strName, std::string(22, 'x'));
}

// A wrong location is reported but the entry is filled all the same; an
// unknown type stops the write after the sizes; no entry, no work.
TEST(EntryWrites, RefusedEntriesSayWhyAndWriteWhatCameBeforeTheFault) {
    auto mcuElement = Make(kTypeData, kMcuFlash, 4, "m");
    DspEntry dsp{};
    EXPECT_EQ(mcuElement->WriteDspEntry(dsp.data()), 0x0004000Au);
    EXPECT_EQ(dsp[0], 0x00);
    EXPECT_EQ(dsp[1], 0x30);
    EXPECT_EQ(dsp[14], 'm');
    McuEntry mcu{};
    EXPECT_EQ(Make(kTypeData, kNoLocation, 4, "n")->WriteMcuEntry(mcu.data()), 0x0004000Au);
    EXPECT_EQ(mcu[0], 0x30);

    auto bad = Make(21, kMcuFlash, 4, "bad");
    bad->m_cryptFlag = 0;
    mcu.fill(0xEE);
    EXPECT_EQ(bad->WriteMcuEntry(mcu.data()), 0x00040009u);
    EXPECT_EQ(bad->m_status, 0x00040009u);
    EXPECT_EQ(mcu[0], 0xEE);
    EXPECT_EQ(mcu[6], 0x04);  // the size was written before the type failed
    EXPECT_EQ(mcu[9], 0xEE);  // the name was not

    CElement e;
    EXPECT_EQ(e.ReadDspEntry(nullptr), 0x01000008u);
    EXPECT_EQ(e.ReadMcuEntry(nullptr), 0x01000002u);
    EXPECT_EQ(e.WriteDspEntry(nullptr), 0x01000002u);
    EXPECT_EQ(e.WriteMcuEntry(nullptr), 0x01000002u);
}

}  // namespace
}  // namespace carillon
