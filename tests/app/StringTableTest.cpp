#include <gtest/gtest.h>

#include "app/StringTable.h"
#include "platform/Format.h"

namespace carillon {
namespace {

TEST(StringTable, EveryIdHasATextAndTheGapsHaveNone) {
    for (int id = IDS_ABOUTBOX; id <= IDS_STOP_QUESTION; ++id)
        EXPECT_EQ(LoadString(id).empty(), id == 113 || id == 119) << id;
}

TEST(StringTable, TextsKeepTheirBlanksAndFormatsFillAsThePagesShowThem) {
    EXPECT_EQ(platform::Format(LoadString(IDS_TOTAL_FORMAT).c_str(), 3, 9), "Total:   3 of 9");
    EXPECT_EQ(platform::Format(LoadString(IDS_ERROR_CODE_FORMAT).c_str(), 0x00060007u), "(Error Code=00060007h)");
    EXPECT_EQ(LoadString(IDS_OUTPUT_TEXT),
              "Output binary files may be created.\nThose binary files are needed to reflash the printers under Linux. "
              "\n\nLeave this blank if you don't want to create the file...");
}

}  // namespace
}  // namespace carillon
