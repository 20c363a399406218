#include <gtest/gtest.h>

#include "monitor/PacketRecord.h"
#include "support/PacketBytes.h"

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

TEST(PacketRecord, DataAddsUpToEachChunkInBytesOrWordsAndDamageIsNamedByRecordAndOffset) {
    const RecordParse mcu = Parse(File({kEraseMcu, kWriteMcu6, Record('a', ByteArray(4, 1)), Record('a', ByteArray(2, 2))}));
    ASSERT_TRUE(mcu.ok()) << mcu.error;
    EXPECT_FALSE(mcu.packets[2].lastOfChunk);
    EXPECT_TRUE(mcu.packets[3].lastOfChunk);

    ByteArray cut = File({kEraseMcu, kWriteMcu6}, false);
    cut.resize(cut.size() - 3);
    ByteArray badCrc = File({kEraseMcu, kEraseMcu});
    badCrc[kEraseMcu.size() + 2] ^= 0x01;
    ByteArray trailing = File({kEraseMcu});
    trailing.push_back(0x55);
    const std::pair<ByteArray, const char*> cases[] = {
        {File({Record('K', {0, 0, 1, 0, 3, 0, 'c'}), Record('c', ByteArray(6, 1))}), ""},  // three words, six bytes
        {File({kWriteMcu6, Record('a', ByteArray(6)), Record('F', {2, 0}), Record('a', ByteArray(2))}), ""},
        {File({}), ""},  // a save that recorded nothing
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
}

}  // namespace
}  // namespace carillon
