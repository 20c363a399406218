#include <gtest/gtest.h>

#include "monitor/MonitorSession.h"
#include "monitor/PacketRecord.h"
#include "package/Element.h"
#include "support/PacketBytes.h"
#include "support/SimPrinter.h"

namespace carillon {
namespace {

// One record: the length byte and a body with a correct CRC.
ByteArray Record(std::uint8_t code, const ByteArray& data, std::uint8_t seq = 0) {
    const ByteArray body = testing::PacketBody(seq, code, data);
    ByteArray record{static_cast<std::uint8_t>(body.size())};
    record.insert(record.end(), body.begin(), body.end());
    return record;
}

ByteArray File(std::initializer_list<ByteArray> records, bool terminated = true) {
    ByteArray file;
    for (const auto& r : records) file.insert(file.end(), r.begin(), r.end());
    if (terminated) file.push_back(0x00);
    return file;
}

RecordParse Parse(const ByteArray& file) { return ParsePacketRecord(file.data(), file.size()); }

const ByteArray kEraseMcu = Record('B', {0x00, 0x20});
const ByteArray kWriteMcu6 = Record('D', {0x00, 0x20, 0x06, 0x00, 'a'});

TEST(PacketRecord, ARecordOfTheEngineParsesBackIntoItsPackets) {
    testing::SimPrinter p(testing::InMonitor());
    CMonitorSession session;
    ASSERT_EQ(session.Connect(&p.port, false, 0), kOk);
    ASSERT_EQ(session.EraseSector(kDspFlash, 0x10000), kOk);
    const ByteArray data = testing::Pattern(900);
    ASSERT_EQ(session.WriteFlash(kDspFlash, kFontCrypted, 0x10000, 450, data.data(), nullptr, 0, 10), kOk);
    ByteArray record;
    session.m_pRecord = &record;
    session.RecordErase(kDspFlash, 0x10000);
    session.RecordWrite(kDspFlash, kFontCrypted, 0x10000, 450, data.data(), 0);
    record.push_back(0x00);
    const RecordParse parse = Parse(record);
    ASSERT_TRUE(parse.ok()) << parse.error;
    ASSERT_EQ(parse.packets.size(), p.printer.Requests().size() - 1);  // the info request was not recorded
    EXPECT_EQ(parse.packets[0].code, 'I');
    EXPECT_EQ(parse.packets[0].location, kDspFlash);
    std::size_t lastOfChunk = 0;
    for (const auto& packet : parse.packets) lastOfChunk += packet.lastOfChunk;
    EXPECT_EQ(lastOfChunk, p.Requests("KM").size());  // one answer per chunk
}

TEST(PacketRecord, DataAddsUpToEachChunkInBytesOrWords) {
    const RecordParse mcu = Parse(File({kEraseMcu, kWriteMcu6, Record('a', ByteArray(4, 1)), Record('a', ByteArray(2, 2))}));
    ASSERT_TRUE(mcu.ok()) << mcu.error;
    EXPECT_FALSE(mcu.packets[2].lastOfChunk);
    EXPECT_TRUE(mcu.packets[3].lastOfChunk);
    const RecordParse dsp = Parse(File({Record('K', {0, 0, 1, 0, 3, 0, 'c'}), Record('c', ByteArray(6, 1))}));
    EXPECT_TRUE(dsp.ok()) << dsp.error;  // three words are six bytes
    const RecordParse next = Parse(File({kWriteMcu6, Record('a', ByteArray(6)), Record('F', {2, 0}), Record('a', ByteArray(2))}));
    EXPECT_TRUE(next.ok()) << next.error;
}

TEST(PacketRecord, DamageIsNamedByRecordAndOffset) {
    ByteArray cut = File({kEraseMcu, kWriteMcu6}, false);
    cut.resize(cut.size() - 3);
    const RecordParse r = Parse(cut);
    EXPECT_EQ(r.record, 2u);
    EXPECT_EQ(r.offset, kEraseMcu.size());
    EXPECT_TRUE(r.packets.empty());
    ByteArray badCrc = File({kEraseMcu, kEraseMcu});
    badCrc[kEraseMcu.size() + 2] ^= 0x01;
    ByteArray trailing = File({kEraseMcu});
    trailing.push_back(0x55);
    const std::pair<ByteArray, const char*> cases[] = {
        {cut, "record 2 at byte 7: the file ends inside this record"},
        {badCrc, "record 2 at byte 7: the body's CRC is wrong"},
        {File({Record(0x41, {})}), "record 1 at byte 0: code 0x41 is neither an erase, a write nor data"},
        {File({Record('a', {1, 2})}), "record 1 at byte 0: a data packet without a write request before it"},
        {File({kWriteMcu6, Record('a', ByteArray(8))}),
         "record 2 at byte 10: a data packet of 8 bytes where the chunk needs only 6 more"},
        {File({kWriteMcu6, Record('a', ByteArray(2)), kEraseMcu}),
         "record 3 at byte 17: a request while the write chunk still needs 4 bytes of data"},
        {File({kWriteMcu6}), "record 1 at byte 0: the file ends with 6 bytes of this write chunk missing"},
        {File({Record('B', {0, 0x20, 0})}), "record 1 at byte 0: command 'B' carries 3 bytes of parameters"},
        {File({kEraseMcu}, false), "record 2 at byte 7: the final 0x00 is missing"},
        {trailing, "record 2 at byte 7: 1 bytes follow the final 0x00"},
        {ByteArray{0x03, 1, 2, 3, 0}, "record 1 at byte 0: a body of 3 bytes is shorter than CRC, sequence and code"},
    };
    for (const auto& [file, error] : cases) EXPECT_EQ(Parse(file).error, error);
    EXPECT_TRUE(Parse(File({})).ok());  // a save that recorded nothing
}

}  // namespace
}  // namespace carillon
