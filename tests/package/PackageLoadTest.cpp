#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "package/ElementList.h"
#include "package/PackageReader.h"
#include "package/PackageText.h"

namespace carillon {
namespace {

using namespace testing;

ErrorCode Load(CElementList& list, const std::string& text, std::uint32_t* count = nullptr) {
    return list.LoadPackageBuffer(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), count);
}

std::vector<std::uint8_t> DataOf(const CElement& e) { return {e.m_pData.get(), e.m_pData.get() + e.m_size}; }

// Plain data is padded with zeros to four bytes and its CRC checked over
// them; crypted data keeps the CRC its header states.
TEST(PackageLoad, DataIsPaddedToFourBytesAndCrcCheckedUnlessCrypted) {
    const std::string data = Bytes({1, 2, 3, 4, 5});
    CElementList list;
    ASSERT_EQ(Load(list, Package(1, PlainElement("five", data) + ";")), kOk);
    ASSERT_EQ(list.GetCount(), 1);
    const CElement& e = *list.Elements().front();
    EXPECT_EQ(DataOf(e), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0, 0, 0}));
    // Loading appends; an empty element has no data.
    ASSERT_EQ(Load(list, Package(3, Element("ELEMENT_TYPE=DATA;SIZE=0;", "") +
                                        Element("ELEMENT_TYPE=FONT_A;CRYPTED=FONT_CRYPTED;SIZE=4;CRC=0x1234;", "wxyz") +
                                        Element("ELEMENT_TYPE=FIRMWARE;SIZE=3;CRC=0xBEEF;", "fw!"))),
              kOk);
    ASSERT_EQ(list.GetCount(), 4);
    auto it = std::next(list.Elements().begin());
    EXPECT_EQ((*it)->m_pData, nullptr);
    EXPECT_EQ((*++it)->m_crc, 0x1234u);
    EXPECT_EQ((*++it)->m_crc, 0xBEEFu);
    EXPECT_EQ((*it)->m_cryptMode, kCodeCrypted);
}

// What a package's bytes load to: the result and the names of the elements
// the list holds afterwards. A failed element is never kept; those before it are.
TEST(PackageLoad, PackagesLoadOrAreRefusedKeepingTheElementsBeforeTheFault) {
    struct Case {
        const char* what;
        std::string text;
        ErrorCode result;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"empty element without CRC field", Package(1, Element("ELEMENT_TYPE=DATA;SIZE=0;", "")), kOk, {""}},
        {"data without CRC field", Package(1, Element("ELEMENT_TYPE=DATA;SIZE=4;", "abcd")), 0x00040005u, {}},
        {"line breaks between elements", Package(2, "\r\n" + PlainElement("a", "1234") + "\r\n\t " + PlainElement("b", "567")),
         kOk, {"a", "b"}},
        {"line break after the header end",
         Package(1, "ELEMENT_TYPE=DATA;SIZE=4;CRC=" + CrcField("1234") + ";;\r\n1234"), 0x00040005u, {}},
        {"count without its semicolon", "NBR_VRK_PACKAGE=0x0001\r\nELEMENT_TYPE=DATA;SIZE=0;;", 0x00040004u, {}},
        {"trailing bytes", Package(3, PlainElement("a", "1") + PlainElement("b", "22") + PlainElement("c", "333")) +
                               "garbage ;; that is never read", kOk, {"a", "b", "c"}},
        {"NUL and header marks in data", Package(2, PlainElement("t", Bytes({0, ';', ';', 0, 'N', 'B', 'R'})) +
                                                        PlainElement("u", "x")), kOk, {"t", "u"}},
        {"count of zero", "NBR_VRK_PACKAGE=0x0;", kOk, {}},
        {"count of five digits", "NBR_VRK_PACKAGE=0x00012;" + PlainElement("a", "1"), kOk, {"a"}},
        {"no bytes", "", 0x01000005u, {}},
        {"count not in hex", "NBR_VRK_PACKAGE=1;", 0x00040001u, {}},
        {"count not a number", "NBR_VRK_PACKAGE=0xZZ;", 0x00040001u, {}},
        {"count key in lower case", "nbr_vrk_package=0x1;", 0x00040001u, {}},
        {"header without its end", Package(1, "ELEMENT_TYPE=DATA;SIZE=4;"), 0x00040001u, {}},
        {"negative size", Package(1, Element("ELEMENT_TYPE=DATA;SIZE=-4;", "abcd")), 0x00040006u, {}},
        {"size past the end", Package(1, Element("ELEMENT_TYPE=DATA;SIZE=5;", "abcd")), 0x00040006u, {}},
        {"huge size", Package(1, Element("ELEMENT_TYPE=DATA;SIZE=4000000000;", "abcd")), 0x00040006u, {}},
        {"count above the elements present", Package(3, PlainElement("a", "1") + PlainElement("b", "2") + "\r\n"),
         0x00040002u, {"a", "b"}},
        {"a bad CRC in the middle",
         Package(3, PlainElement("a", "1") + Element("ELEMENT_TYPE=DATA;SIZE=2;CRC=0x0;", "xy") + PlainElement("c", "3")),
         0x00040005u, {"a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CElementList list;
        std::uint32_t count = 0xFFFFFFFF;
        EXPECT_EQ(Load(list, c.text, &count), c.result);
        EXPECT_EQ(list.m_lastError, c.result);
        std::vector<std::string> names;
        for (const auto& e : list.Elements()) names.push_back(e->m_strName);
        EXPECT_EQ(names, c.names);
        if (c.result == kOk) {
            EXPECT_EQ(count, c.names.size());
        }
    }
}

class PackageFileTest : public ::testing::Test {
protected:
    std::filesystem::path dir_ = std::filesystem::temp_directory_path() /
                                 ("carillon-pkg-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                  "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { std::filesystem::create_directories(dir_); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& content) {
        auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
};

// What a list holds, field by field and byte by byte.
using Content = std::tuple<std::string, std::int32_t, std::uint32_t, std::uint32_t, std::int32_t, std::vector<std::uint8_t>>;
std::vector<Content> Contents(const CElementList& list) {
    std::vector<Content> out;
    for (const auto& e : list.Elements()) out.emplace_back(e->m_strName, e->m_type, e->m_size, e->m_crc, e->m_cryptMode, DataOf(*e));
    return out;
}

// The file is read as it is parsed, a window at a time; whatever falls on
// the edges of those reads, it loads exactly as its bytes in memory do.
TEST_F(PackageFileTest, FileAndBufferLoadAlikeAcrossReadBoundaries) {
    std::string big(300 * 1024 + 3, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 11));
    const std::string prefix = Package(1, "");
    // Puts the header's ";;" across the end of the first 256-byte read.
    const std::string straddle = prefix + std::string(255 - prefix.size() - 24, ' ') + "ELEMENT_TYPE=DATA;SIZE=0;;";
    const std::string cases[] = {
        Package(2, PlainElement(std::string(600, 'N'), "abc") + "\r\n" + std::string(3000, ' ') + PlainElement("b", big)),
        straddle,
        Package(2, PlainElement("a", big) + Element("ELEMENT_TYPE=DATA;SIZE=3;CRC=0x0000;", "xyz")),
        Package(3, PlainElement("a", "1") + std::string(5000, '\n')),
        Package(1, "ELEMENT_TYPE=DATA;" + std::string(1000, ' ') + "SIZE=4;") + Bytes({0}) + ";;abcd",
        Package(1, Element("ELEMENT_TYPE=FONT;SIZE=400000;", "short")),
        "NBR_VRK_PACKAGE=0x",
    };
    for (const std::string& pkg : cases) {
        SCOPED_TRACE(pkg.substr(0, 40));
        CElementList fromFile, fromBuffer;
        std::uint32_t fileCount = 0xFFFFFFFF, bufferCount = 0xFFFFFFFF;
        EXPECT_EQ(fromFile.LoadPackage(Write("p", pkg), &fileCount), Load(fromBuffer, pkg, &bufferCount));
        EXPECT_EQ(fileCount, bufferCount);
        EXPECT_EQ(Contents(fromFile), Contents(fromBuffer));
    }
}

TEST_F(PackageFileTest, AFileThatShrinksWhileItIsReadIsAReadError) {
    const std::string path = Write("p", Package(1, PlainElement("a", std::string(1000, 'x'))));
    FilePackageReader reader;
    ASSERT_EQ(reader.Open(path), kOk);
    std::filesystem::resize_file(path, 100);
    std::string_view text;
    EXPECT_EQ(reader.View(50, 200, &text), 0x01000006u);
    std::vector<std::uint8_t> data(500);
    EXPECT_EQ(reader.Copy(0, data.size(), data.data()), 0x01000006u);
}

TEST_F(PackageFileTest, MissingEmptyAndUnreadablePaths) {
    CElementList list;
    ASSERT_EQ(list.LoadPackage(Write("ok", Package(1, PlainElement("a", "1")))), kOk);
    EXPECT_EQ(list.LoadPackage((dir_ / "missing").string()), 0x01000003u);
    EXPECT_EQ(list.GetCount(), 1);  // the list is left as it was
    EXPECT_EQ(list.LoadPackage(Write("empty", "")), 0x01000005u);
    EXPECT_EQ(list.LoadPackage(dir_.string()), kErrFileIsDirectory);  // said for what it is, not "File not found"
    EXPECT_EQ(list.LoadPackage("/dev/null"), kErrFileNotRegular);
    EXPECT_EQ(list.LoadPackage(""), 0x01000003u);
}

}  // namespace
}  // namespace carillon
