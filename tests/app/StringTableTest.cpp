#include <gtest/gtest.h>

#include "app/StringTable.h"
#include "platform/Format.h"

namespace carillon {
namespace {

TEST(StringTable, FormatsFillAsThePagesShowThem) {
    EXPECT_EQ(platform::Format(LoadString(IDS_TOTAL_FORMAT).c_str(), 3, 9), "Total:   3 of 9");
    EXPECT_EQ(platform::Format(LoadString(IDS_PROGRESS_FORMAT).c_str(), 100, 28), "Progress: 100 of 28");
    EXPECT_EQ(platform::Format(LoadString(IDS_INVALID_FILE_FORMAT).c_str(), "/p.VRK_Package", 0x01000003u),
              "The file \"/p.VRK_Package\" is not valid...\n(Error Code=01000003h)");
    EXPECT_EQ(platform::Format(LoadString(IDS_ERROR_CODE_FORMAT).c_str(), 0x00060007u), "(Error Code=00060007h)");
}

TEST(StringTable, TextsAreExactAndUnknownIdsEmpty) {
    EXPECT_EQ(LoadString(IDS_FAIL_TO_CONNECT), "Fail to connect...");
    EXPECT_EQ(LoadString(IDS_OUTPUT_TEXT),
              "Output binary files may be created.\nThose binary files are needed to reflash the printers under Linux. "
              "\n\nLeave this blank if you don't want to create the file...");
    EXPECT_EQ(LoadString(IDS_BINARY_FILTER),
              "VRK Binary files (*.VRK_Package.bin)|*.VRK_Package.bin|All files (*.*)|*.*||");
    EXPECT_EQ(LoadString(113), "");
    EXPECT_EQ(LoadString(119), "");
}

}  // namespace
}  // namespace carillon
