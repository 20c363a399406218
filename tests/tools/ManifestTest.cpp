#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "package/Crc16.h"
#include "package/ElementList.h"
#include "pkg/PackageBuilder.h"
#include "tools/ToolTestSupport.h"

namespace carillon {
namespace {

using pkgtool::BuildPackage;
using testing::ScratchDir;

std::string Pattern(std::size_t size, int seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 31 + static_cast<std::size_t>(seed)) ^ (i >> 7));
    return s;
}

std::uint16_t PaddedCrc(const std::string& data) {
    std::vector<std::uint8_t> padded(data.begin(), data.end());
    padded.resize((padded.size() + 3) & ~std::size_t{3}, 0);
    return ComputeCrc16Bytewise(0xFFFF, padded.data(), padded.size());
}

// A manifest whose sections are out of alphabetical order, with crypted and
// uncrypted data of sizes that need padding.
class ManifestRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        dir.Write("fw.bin", firmware);
        std::filesystem::create_directories(dir / "sub");
        dir.Write("sub/params.bin", params);
        dir.Write("font.bin", font);
        dir.Write("m.ini",
                  "; element order is section order\n"
                  "[zeta_firmware]\nNAME=MCU_FW\nELEMENT_TYPE=FIRMWARE\nPRINTER_ARCHI=NDX\nLOCATION=MCU_FLASH\n"
                  "VERSION=310\nCRYPTED=CODE_CRYPTED\nPACKETSIZE=256\nDATA=fw.bin\n"
                  "[alpha_params]\nname = PARAMS_F\nelement_type = PARAMS_FACT\nprinter_type = ARCHI_NDX\n"
                  "location = MCU_FLASH\nDATA = sub/params.bin\n"
                  "[middle_font]\nNAME=A_FONT_NAME_LONGER_THAN_22\nELEMENT_TYPE=FONT_A\nPRINTER_ARCHI=NDX\n"
                  "LOCATION=EXT_FLASH\nCRYPTED=YES\nVERSION=65535\nDATA=" +
                      (dir / "font.bin") + "\n");
    }

    ScratchDir dir;
    const std::string firmware = Pattern(1001, 1), params = Pattern(512, 2), font = Pattern(6, 3);
};

TEST_F(ManifestRoundTrip, BuiltPackageLoadsWithEveryFieldAndPaddedData) {
    std::string error;
    ASSERT_TRUE(BuildPackage(dir / "m.ini", dir / "out.VRK_Package", &error)) << error;
    CElementList list;
    std::uint32_t count = 0;
    ASSERT_EQ(list.LoadPackage(dir / "out.VRK_Package", &count), kOk);
    ASSERT_EQ(count, 3u);
    ASSERT_EQ(list.GetCount(), 3);

    struct Expected {
        const char* name;
        std::int32_t type, location, version, crypt;
        std::uint16_t packetSize;
        const std::string& data;
    };
    const Expected expected[] = {
        {"MCU_FW", kTypeFirmware, kMcuFlash, 310, kCodeCrypted, 256, firmware},
        {"PARAMS_F", kTypeParamsFact, kMcuFlash, 0, kNotCrypted, 0, params},
        {"A_FONT_NAME_LONGER_THAN_22", kTypeFontA, kDspFlash, 65535, kFontCrypted, 0, font},
    };
    auto it = list.Elements().begin();
    for (const Expected& x : expected) {
        const CElement& e = **it++;
        SCOPED_TRACE(x.name);
        EXPECT_EQ(e.m_strName, x.name);
        EXPECT_EQ(e.m_type, x.type);
        EXPECT_EQ(e.m_location, x.location);
        EXPECT_EQ(e.m_archi, kArchiNdx);
        EXPECT_EQ(e.m_version, x.version);
        EXPECT_EQ(e.m_cryptMode, x.crypt);
        EXPECT_EQ(e.m_packetSize, x.packetSize);
        // Crypted elements keep the header's CRC, so this checks the tool's.
        EXPECT_EQ(e.m_crc, PaddedCrc(x.data));
        std::string padded = x.data;
        padded.resize((padded.size() + 3) & ~std::size_t{3}, '\0');
        ASSERT_EQ(e.m_size, padded.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.m_pData.get()), e.m_size), padded);
    }
}

struct BadManifest {
    const char* what;
    std::string manifest;
    std::string where;  // the section and key the message names
    std::string text;   // what it says about them
};

// The one good section, with the edits each case makes to spoil it.
std::string Good(std::initializer_list<std::pair<std::string, std::string>> edits = {}) {
    std::string s =
        "[fw]\nNAME=MCU_FW\nELEMENT_TYPE=FIRMWARE\nPRINTER_ARCHI=PLV\nLOCATION=MCU_FLASH\nVERSION=3\nDATA=fw.bin\n";
    for (const auto& [from, to] : edits) s.replace(s.find(from), from.size(), to);
    return s;
}

class ManifestErrors : public ::testing::TestWithParam<BadManifest> {};

TEST_P(ManifestErrors, NameSectionAndKeyAndWriteNothing) {
    ScratchDir dir;
    dir.Write("fw.bin", "data");
    std::filesystem::create_directories(dir / "adir");
    const std::string manifest = dir.Write("m.ini", GetParam().manifest);
    std::string error;
    EXPECT_FALSE(BuildPackage(manifest, dir / "out", &error));
    EXPECT_EQ(error.rfind(manifest + ": " + GetParam().where, 0), 0u) << error;
    EXPECT_NE(error.find(GetParam().text), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManifestErrors,
    ::testing::Values(
        BadManifest{"LowerCaseType", Good({{"=FIRMWARE", "=firmware"}}), "[fw] ELEMENT_TYPE: ",
                    "unknown element type \"firmware\"; expected one of INDEX, FILE_EMPTY"},
        BadManifest{"UnknownFamily", Good({{"=PLV", "=PLX"}}), "[fw] PRINTER_ARCHI: ", "unknown printer family \"PLX\""},
        BadManifest{"UnknownLocation", Good({{"=MCU_FLASH", "=RAM"}}), "[fw] LOCATION: ", "unknown location \"RAM\""},
        BadManifest{"UnknownCrypt", Good({{"VERSION", "CRYPTED=MAYBE\nVERSION"}}), "[fw] CRYPTED: ", "unknown crypt mode"},
        BadManifest{"BlankInName", Good({{"=MCU_FW", "=MCU FW"}}), "[fw] NAME: ", "holds a blank"},
        BadManifest{"SemicolonInName", Good({{"=MCU_FW", "=MCU;FW"}}), "[fw] NAME: ", "holds \";\""},
        BadManifest{"McuNameTooLong", Good({{"=MCU_FW", "=" + std::string(23, 'N')}}), "[fw] NAME: ",
                    "has 23 characters; the MCU_FLASH file table keeps at most 22"},
        BadManifest{"DspNameTooLong", Good({{"=MCU_FLASH", "=DSP_FLASH"}, {"=MCU_FW", "=" + std::string(50, 'N')}}),
                    "[fw] NAME: ", "has 50 characters; the DSP_FLASH file table keeps at most 49"},
        BadManifest{"VersionTooLarge", Good({{"=3", "=65536"}}), "[fw] VERSION: ", "\"65536\" is not a number from 0 to 65535"},
        BadManifest{"PacketSizeNegative", Good({{"VERSION", "PACKETSIZE=-1\nVERSION"}}), "[fw] PACKETSIZE: ",
                    "\"-1\" is not a number"},
        BadManifest{"CrcGiven", Good({{"VERSION", "crc=0x1234\nVERSION"}}), "[fw] CRC: ", "is computed from the data"},
        BadManifest{"UnknownKey", Good({{"VERSION", "ADDRESS=0x182C\nVERSION"}}), "[fw] ADDRESS: ", "unknown key"},
        BadManifest{"RepeatedKey", Good({{"VERSION", "NAME=OTHER\nVERSION"}}), "[fw] NAME: ", "is given more than once"},
        BadManifest{"RepeatedSection", Good() + Good(), "[fw] NAME: ", "is given more than once"},
        BadManifest{"MissingName", Good({{"NAME=MCU_FW\n", ""}}), "[fw] NAME: ", "is missing"},
        BadManifest{"BothFamilyKeys", Good({{"VERSION", "PRINTER_TYPE=PLV\nVERSION"}}), "[fw] PRINTER_TYPE: ",
                    "names the same field as PRINTER_ARCHI"},
        BadManifest{"MissingData", Good({{"DATA=fw.bin\n", ""}}), "[fw] DATA: ", "is missing"},
        BadManifest{"DataFileMissing", Good({{"=fw.bin", "=nothere.bin"}}), "[fw] DATA: ", "nothere.bin\": no such file"},
        BadManifest{"DataIsDirectory", Good({{"=fw.bin", "=adir"}}), "[fw] DATA: ", "adir\" is not a regular file"},
        BadManifest{"SecondSectionBad", Good() + Good({{"[fw]", "[params]"}, {"=MCU_FW", "=P Q"}}), "[params] NAME: ",
                    "holds a blank"},
        BadManifest{"KeyAboveSections", "NAME=X\n" + Good(), "NAME: ", "key outside any section"},
        BadManifest{"NoSections", "; nothing here\n", "", "no element sections"}),
    [](const ::testing::TestParamInfo<BadManifest>& info) { return std::string(info.param.what); });

// An -o naming an input or something other than a file is refused and
// nothing is written or removed; a good build replaces the old package whole.
TEST_F(ManifestRoundTrip, OutputsThatAreInputsOrNoFilesAreRefusedAndLeftAlone) {
    const std::string manifest = testing::ReadAll(dir / "m.ini");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const std::string& output : {dir / "m.ini", dir / "fw.bin", dir / "sub/../font.bin", dir / "fifo", dir / "sub"}) {
        SCOPED_TRACE(output);
        std::string error;
        EXPECT_FALSE(BuildPackage(dir / "m.ini", output, &error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(testing::ReadAll(dir / "m.ini"), manifest);
    EXPECT_EQ(testing::ReadAll(dir / "fw.bin"), firmware);
    EXPECT_EQ(testing::ReadAll(dir / "font.bin"), font);
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo"));

    dir.Write("out.VRK_Package", "old");
    std::string error;
    ASSERT_TRUE(BuildPackage(dir / "m.ini", dir / "out.VRK_Package", &error)) << error;
    CElementList list;
    EXPECT_EQ(list.LoadPackage(dir / "out.VRK_Package"), kOk);
    for (const auto& entry : std::filesystem::directory_iterator(dir / ""))  // no temporary file left behind
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

}  // namespace
}  // namespace carillon
