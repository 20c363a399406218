#include <gtest/gtest.h>

#include <filesystem>

#include "app/SetupIni.h"
#include "support/PortTestHelpers.h"

namespace carillon {
namespace {

class SetupIniTest : public ::testing::Test {
protected:
    void Write(const std::string& text) { dir_.Write("Setup.ini", text); }
    std::string Read() { return dir_.Read("Setup.ini"); }
    testing::TempDir dir_;
    std::string path_ = (dir_.Path() / "Setup.ini").string();
};

TEST_F(SetupIniTest, IntegersAreHexOrDecimalReadFromTheirFirstFifteenCharacters) {
    const std::pair<const char*, int> cases[] = {
        {"0x10", 16}, {"16", 16}, {"0x0", 0}, {"yes", 7}, {"0X1A", 0}, {"12abc", 12}, {"-3", -3}, {"", 7},
        {"1234567890123456", static_cast<std::int32_t>(123456789012345LL & 0xFFFFFFFF)},
        {"0x0000000000001F", 1},  // the last hexadecimal digit falls beyond the fifteenth character
    };
    for (auto [text, value] : cases) {
        Write(std::string("[General]\nIsSilent=") + text + "\n");
        EXPECT_EQ(CSetupIni(path_).GetInt("General", "IsSilent", 7), value) << text;
    }
    EXPECT_EQ(CSetupIni(path_).GetInt("General", "Missing", -1), -1);
}

TEST_F(SetupIniTest, NamesMatchWithoutCaseAndValuesLoseBlanksAndQuotesAndAreCut) {
    Write("; comment\r\n[silent MODE config]\r\n  port TYPE =   SERIAL  \r\n[General]\r\nFirmware File=\"/tmp/a b.VRK_Package\"\r\n"
          "Output Binary='/tmp/o.bin'\r\nOdd=\"half\r\nLong=" + std::string(1500, 'x') + "\r\n");
    CSetupIni ini(path_);
    EXPECT_EQ(ini.GetString("Silent mode config", "Port type", ""), "SERIAL");
    EXPECT_EQ(ini.GetString("general", "firmware file", ""), "/tmp/a b.VRK_Package");
    EXPECT_EQ(ini.GetString("General", "Output Binary", ""), "/tmp/o.bin");
    EXPECT_EQ(ini.GetString("General", "Odd", ""), "\"half");
    EXPECT_EQ(ini.GetString("General", "Nothing", "fallback"), "fallback");
    EXPECT_EQ(ini.GetString("General", "Long", "").size(), 999u);  // longer values are cut
}

TEST_F(SetupIniTest, WritingAKeyKeepsEveryOtherLineAsItWas) {
    const std::string before =
        "; Carillon setup\r\n\r\n[General]\r\nIsSilent = 0\r\n; last package\r\nfirmware file = old\r\nnot a key line\r\n\r\n"
        "[Silent mode config]\r\nPort=1\r\n";
    Write(before);
    CSetupIni ini(path_);
    ini.SetString("General", "Firmware File", "/new/p.VRK_Package");
    std::string expected = before;
    expected.replace(expected.find("firmware file = old"), 19, "Firmware File=/new/p.VRK_Package");
    EXPECT_EQ(Read(), expected);

    ini.SetString("GENERAL", "Output Binary", "/o.bin");
    expected.insert(expected.find("not a key line\r\n") + 16, "Output Binary=/o.bin\r\n");
    EXPECT_EQ(Read(), expected);

    ini.SetString("Serial ports", "COM1", "/dev/ttyS0");
    EXPECT_EQ(Read(), expected + "[Serial ports]\r\nCOM1=/dev/ttyS0\r\n");
    EXPECT_EQ(ini.GetString("serial ports", "com1", ""), "/dev/ttyS0");
}

TEST_F(SetupIniTest, ASectionOrKeyGivenTwiceIsReadWhereItIsWritten) {
    // The first section of a name holds its keys, and its first key of a name
    // holds the value; reads and writes agree on that.
    Write("orphan=1\n[General]\nSilent=0x\nSilent=2\n[General]\nOther=-5\nSilent=3\n");
    CSetupIni ini(path_);
    EXPECT_EQ(ini.GetString("General", "Silent", "-"), "0x");
    EXPECT_EQ(ini.GetString("General", "Other", "-"), "-");  // only in the second [General]
    EXPECT_EQ(ini.GetString("", "orphan", "-"), "-");        // above every section
    ini.SetString("General", "Other", "written");
    EXPECT_EQ(ini.GetString("General", "Other", "-"), "written");
    ini.SetString("general", "SILENT", "1");
    EXPECT_EQ(ini.GetInt("General", "Silent", -1), 1);
    EXPECT_EQ(Read(), "orphan=1\n[General]\nSILENT=1\nSilent=2\nOther=written\n[General]\nOther=-5\nSilent=3\n");
}

TEST_F(SetupIniTest, OnlyALineFeedEndsALine) {
    // A carriage return alone is part of its line, for the reader as for the writer.
    Write("[General]\rSilent=1\n[Silent mode config]\nPort=2\r\n");
    CSetupIni ini(path_);
    EXPECT_EQ(ini.GetString("General", "Silent", "-"), "-");
    EXPECT_EQ(ini.GetInt("Silent mode config", "Port", 0), 2);
    ini.SetString("General", "Silent", "1");
    EXPECT_EQ(ini.GetString("General", "Silent", "-"), "1");
}

TEST_F(SetupIniTest, AMissingFileIsCreatedEmptyButWithoutItsFolderReadsGiveDefaultsAndWritesAreDropped) {
    CSetupIni ini(path_);
    EXPECT_EQ(ini.Path(), path_);
    ini.SetString("General", "Firmware File", "f");
    EXPECT_EQ(Read(), "[General]\nFirmware File=f\n");

    const std::string nowhere = (dir_.Path() / "missing" / "Setup.ini").string();
    CSetupIni lost(nowhere);
    EXPECT_EQ(lost.Path(), "");
    EXPECT_EQ(lost.GetInt("General", "IsSilent", 5), 5);
    EXPECT_EQ(lost.GetString("General", "Firmware File", "d"), "d");
    lost.SetString("General", "Firmware File", "x");
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

}  // namespace
}  // namespace carillon
