#include <gtest/gtest.h>

#include "errors/ErrorMessages.h"

namespace carillon {
namespace {

TEST(ErrorMessages, ZeroIsSuccessful) { EXPECT_EQ(GetErrorMessage(0), "Successful."); }

TEST(ErrorMessages, TableTextsKeepTheirBlanksAndSpelling) {
    EXPECT_EQ(GetErrorMessage(0x00010001), "The port is already  open");
    EXPECT_EQ(GetErrorMessage(0x00010006), "The port is already  closed");
    EXPECT_EQ(GetErrorMessage(0x01000002), "This funtion is not Supported. Check if a newest version exists");
    EXPECT_EQ(GetErrorMessage(0x01000007), " This file already exits, erase old file and try again.");
    EXPECT_EQ(GetErrorMessage(0x00040004), "A mandatory field is missng.");
    EXPECT_EQ(GetErrorMessage(0x00040007), "The cryptation function is not included. ");
    EXPECT_EQ(GetErrorMessage(0x00060002), " there are too many firmware ");
    EXPECT_EQ(GetErrorMessage(0x00030026), "element position is invalide");
    EXPECT_EQ(GetErrorMessage(0x0002000B),
              "Printer monitor version is newer than this application. Please upgrade");
    EXPECT_EQ(GetErrorMessage(0x00050002), "Can not open the port");  // shared with 0x00010002
}

TEST(ErrorMessages, FirstAndLastRowsOfEachGroup) {
    EXPECT_EQ(GetErrorMessage(0x01000001), "Malloc Error not enough of memory");
    EXPECT_EQ(GetErrorMessage(0x00010011), "Error while enumerating printer ports");
    EXPECT_EQ(GetErrorMessage(0x00020001), "Memory not blank");
    EXPECT_EQ(GetErrorMessage(0x00020017), "Unknown external FLASH type");
    EXPECT_EQ(GetErrorMessage(0x00030027),
              "An element have an fixed address but it can't be put at this address.");
    EXPECT_EQ(GetErrorMessage(0x0004000A), "CELEMENT doesn't know this location. ");
    EXPECT_EQ(GetErrorMessage(0x00060015), "Params Customer is missing in presenter board.");
    EXPECT_EQ(GetErrorMessage(0x000B0006), "there is an arg not found");  // a group nothing raises
}

TEST(ErrorMessages, PrinterRefusalsPrintTheirFlagByte) {
    EXPECT_EQ(GetErrorMessage(0x00020140), "Printer has replied 'ANS_FAILURE' Flags:0x40");
    EXPECT_EQ(GetErrorMessage(0x00020100), "Printer has replied 'ANS_FAILURE' Flags:0x00");
    EXPECT_EQ(GetErrorMessage(0x000201AB), "Printer has replied 'ANS_FAILURE' Flags:0xAB");
    EXPECT_EQ(GetErrorMessage(0x000201FF), "Printer has replied 'ANS_FAILURE' Flags:0xFF");
}

TEST(ErrorMessages, UnknownCodesGetTheGenericTextRightAligned) {
    EXPECT_EQ(GetErrorMessage(0x00020200), "This Error is not supported :    20200 ");
    EXPECT_EQ(GetErrorMessage(0x01000008), "This Error is not supported :  1000008 ");
    EXPECT_EQ(GetErrorMessage(0x00010012), "This Error is not supported :    10012 ");
    EXPECT_EQ(GetErrorMessage(0x0006000F), "This Error is not supported :    6000F ");
    EXPECT_EQ(GetErrorMessage(0x0002000D), "This Error is not supported :    2000D ");
    EXPECT_EQ(GetErrorMessage(0xFFFFFFFF), "This Error is not supported : FFFFFFFF ");
}

}  // namespace
}  // namespace carillon
