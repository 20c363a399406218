#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

#include "package/PackageText.h"
#include "pkg/PkgTool.h"
#include "tools/ToolTestSupport.h"

namespace carillon {
namespace {

using pkgtool::kUsage;
using testing::Element;
using testing::Package;
using testing::PlainElement;
using testing::ScratchDir;

struct ToolRun {
    int status;
    std::string out, err;
};

ToolRun Tool(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = pkgtool::RunPkgTool(args, out, err);
    return {status, out.str(), err.str()};
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), {}};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(PkgTool, UsageErrorsExitTwoWithOneLineAndWhereToReadMore) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"list", "x"},
        {"info"},
        {"build", "m.ini"},
        {"build", "-o", "out"},
        {"build", "m.ini", "-o", "out", "-o", "again"},
        {"build", "m.ini", "--force", "-o", "out"},
    };
    for (const auto& args : bad) {
        const ToolRun r = Tool(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
        const auto lines = Lines(r.err);
        ASSERT_EQ(lines.size(), 2u) << r.err;
        EXPECT_EQ(lines[0].rfind("carillon-pkg: ", 0), 0u);
        EXPECT_EQ(lines[1], "Try 'carillon-pkg --help' for more information.");
        EXPECT_EQ(r.out, "");
    }
    const ToolRun help = Tool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, kUsage);
}

TEST(PkgTool, InfoListsEveryElement) {
    ScratchDir dir;
    const std::string pkg = dir.Write(
        "p.VRK_Package",
        Package(2, Element("NAME=MCU_FW;ELEMENT_TYPE=FIRMWARE;PRINTER_ARCHI=NDX;LOCATION=MCU_FLASH;VERSION=12;"
                           "SIZE=6;CRC=0xBEEF;",
                           "abcdef") +
                       PlainElement("P", "1234", "PRINTER_ARCHI=ARCHI_KIOSK;LOCATION=EXT_FLASH;VERSION=7;")));
    const ToolRun r = Tool({"info", pkg});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0], "Element count: 2");
    EXPECT_EQ(Words(lines[1]), (std::vector<std::string>{"#", "NAME", "TYPE", "LOCATION", "FAMILY", "VERSION", "SIZE",
                                                         "CRYPTED", "CRC"}));
    EXPECT_EQ(Words(lines[2]), (std::vector<std::string>{"1", "MCU_FW", "FIRMWARE", "MCU_FLASH", "NDX", "12", "8",
                                                         "CODE_CRYPTED", "0xBEEF", "not", "checked"}));
    EXPECT_EQ(Words(lines[3]), (std::vector<std::string>{"2", "P", "DATA", "DSP_FLASH", "KIOSK", "7", "4",
                                                         "NOT_CRYPTED", testing::CrcField("1234"), "checked,",
                                                         "matches"}));
    // Columns line up under their headings.
    EXPECT_EQ(lines[1].find("CRYPTED"), lines[2].find("CODE_CRYPTED"));
}

TEST(PkgTool, InfoFailuresPrintTheCodeAndItsTextAndWhichElement) {
    ScratchDir dir;
    const ToolRun text = Tool({"info", dir.Write("text.txt", "hello")});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out, "");
    EXPECT_EQ(text.err, "carillon-pkg: " + (dir / "text.txt") + ": (Error Code=00040001h) There is some error in the file format.\n");
    const std::string crc = dir.Write(
        "crc.VRK_Package", Package(3, PlainElement("a", "1234") + Element("ELEMENT_TYPE=DATA;SIZE=4;CRC=0x0000;", "5678")));
    EXPECT_EQ(Tool({"info", crc}).err,
              "carillon-pkg: " + crc + ": element 2 of 3: (Error Code=00040005h) The element Crc is wrong.\n");
}

TEST(PkgTool, BuildWritesAPackageThatInfoReads) {
    ScratchDir dir;
    dir.Write("d.bin", "0123456789");
    dir.Write("m.ini", "[only]\nNAME=D\nELEMENT_TYPE=DATA\nPRINTER_ARCHI=PLV\nLOCATION=MCU_FLASH\nDATA=d.bin\n");
    const ToolRun built = Tool({"build", "-o", dir / "p.VRK_Package", dir / "m.ini"});
    EXPECT_EQ(built.status, 0) << built.err;
    EXPECT_EQ(built.out + built.err, "");
    const ToolRun info = Tool({"info", dir / "p.VRK_Package"});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("Element count: 1\n"), std::string::npos);

    const ToolRun unwritable = Tool({"build", dir / "m.ini", "-o", dir / "no/such/dir/p"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err, "carillon-pkg: cannot write " + (dir / "no/such/dir/p") + ": No such file or directory\n");

    const ToolRun noManifest = Tool({"build", dir / "none.ini", "-o", dir / "q.VRK_Package"});
    EXPECT_EQ(noManifest.err, "carillon-pkg: " + (dir / "none.ini") + ": cannot read the manifest: No such file or directory\n");
    dir.Write("bad.ini", "[only]\nNAME=D\nELEMENT_TYPE=DATA\nPRINTER_ARCHI=PLV\nLOCATION=MCU\nDATA=d.bin\n");
    const ToolRun badManifest = Tool({"build", dir / "bad.ini", "-o", dir / "q.VRK_Package"});
    EXPECT_EQ(badManifest.status, 1);
    EXPECT_EQ(badManifest.err.rfind("carillon-pkg: " + (dir / "bad.ini") + ": [only] LOCATION: unknown location \"MCU\"", 0),
              0u)
        << badManifest.err;
}

}  // namespace
}  // namespace carillon
