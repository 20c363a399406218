#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/SetupIni.h"

namespace carillon {
namespace {

class SetupIniTest : public ::testing::Test {
protected:
    std::filesystem::path dir_ = std::filesystem::temp_directory_path() /
                                 ("carillon-ini-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::string path_ = (dir_ / "Setup.ini").string();

    void SetUp() override {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string Read() {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(SetupIniTest, SilentSwitchReadsHexAndDecimal) {
    for (auto [text, value] : std::vector<std::pair<const char*, int>>{
             {"0x10", 16}, {"16", 16}, {"0x0", 0}, {"0", 0}, {"yes", 0}, {"0X1A", 0}, {"12abc", 12}, {"-3", -3}}) {
        Write(std::string("[General]\nIsSilent=") + text + "\n");
        EXPECT_EQ(CSetupIni(path_).GetInt("General", "IsSilent", 0), value) << text;
    }
    Write("[General]\nIsSilent=\n");
    EXPECT_EQ(CSetupIni(path_).GetInt("General", "IsSilent", 7), 7);
    EXPECT_EQ(CSetupIni(path_).GetInt("General", "Missing", -1), -1);
}

TEST_F(SetupIniTest, OnlyTheLowByteOfThePortCountsToItsReader) {
    Write("[Silent mode config]\nPort=0x103\n");
    EXPECT_EQ(CSetupIni(path_).GetInt("Silent mode config", "Port", 0) & 0xFF, 3);
}

TEST_F(SetupIniTest, IntegersAreReadFromTheirFirstFifteenCharacters) {
    Write("[S]\nDecimal=1234567890123456\nHex=0x0000000000001F\n");
    CSetupIni ini(path_);
    EXPECT_EQ(ini.GetInt("S", "Decimal", 0), static_cast<std::int32_t>(123456789012345LL & 0xFFFFFFFF));
    EXPECT_EQ(ini.GetInt("S", "Hex", 0), 1);  // the last hexadecimal digit falls beyond the fifteenth character
}

TEST_F(SetupIniTest, NamesMatchWithoutCaseAndValuesLoseBlanksAndQuotes) {
    Write("; comment\r\n[silent MODE config]\r\n  port TYPE =   SERIAL  \r\n[General]\r\nFirmware File=\"/tmp/a b.VRK_Package\"\r\n"
          "Output Binary='/tmp/o.bin'\r\nOdd=\"half\r\n");
    CSetupIni ini(path_);
    EXPECT_EQ(ini.GetString("Silent mode config", "Port type", ""), "SERIAL");
    EXPECT_EQ(ini.GetString("general", "firmware file", ""), "/tmp/a b.VRK_Package");
    EXPECT_EQ(ini.GetString("General", "Output Binary", ""), "/tmp/o.bin");
    EXPECT_EQ(ini.GetString("General", "Odd", ""), "\"half");
    EXPECT_EQ(ini.GetString("General", "Nothing", "fallback"), "fallback");
}

TEST_F(SetupIniTest, LongValuesAreCutAt999Characters) {
    Write("[General]\nFirmware File=" + std::string(1500, 'x') + "\n");
    EXPECT_EQ(CSetupIni(path_).GetString("General", "Firmware File", "").size(), 999u);
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

TEST_F(SetupIniTest, AMissingFileIsCreatedEmpty) {
    CSetupIni ini(path_);
    EXPECT_EQ(ini.Path(), path_);
    EXPECT_TRUE(std::filesystem::exists(path_));
    EXPECT_EQ(ini.GetInt("General", "IsSilent", 0), 0);
    ini.SetString("General", "Firmware File", "f");
    EXPECT_EQ(Read(), "[General]\nFirmware File=f\n");
}

TEST_F(SetupIniTest, WithoutItsFolderEveryReadIsTheDefaultAndWritesAreDropped) {
    const std::string nowhere = (dir_ / "missing" / "Setup.ini").string();
    CSetupIni ini(nowhere);
    EXPECT_EQ(ini.Path(), "");
    EXPECT_EQ(ini.GetInt("General", "IsSilent", 5), 5);
    EXPECT_EQ(ini.GetString("General", "Firmware File", "d"), "d");
    ini.SetString("General", "Firmware File", "x");
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

}  // namespace
}  // namespace carillon
