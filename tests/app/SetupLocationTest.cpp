#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/RememberedFiles.h"
#include "app/SetupIni.h"
#include "app/SetupLocation.h"
#include "support/PortTestHelpers.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;

class SetupLocationTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir_.Path() / "bin" / "SetupData"); }
    std::string At(const std::string& relative) const { return (dir_.Path() / relative).string(); }
    testing::TempDir dir_;
};

TEST_F(SetupLocationTest, TheProgramsPlaceDecidesTheFiles) {
    const std::string bin = At("bin/"), root = At("root/");
    struct Case {
        std::string program, xdg, home;
        std::string setup, remember, picture;
    } cases[] = {
        // Beside a SetupData folder everything stays in it, even in a bin directory.
        {bin + "carillon", "/cfg", "/home/u", bin + "SetupData/Setup.ini", "", bin + "SetupData/Setup.bmp"},
        {"/usr/bin/carillon", "/cfg", "/home/u", "/etc/carillon/Setup.ini", "/cfg/carillon/Setup.ini",
         "/usr/share/carillon/Setup.bmp"},
        // A relative XDG_CONFIG_HOME is ignored; without a home choices last one run.
        {"/usr/bin/carillon", "cfg", "/home/u", "/etc/carillon/Setup.ini", "/home/u/.config/carillon/Setup.ini",
         "/usr/share/carillon/Setup.bmp"},
        {"/usr/bin/carillon-cli", "", "", "/etc/carillon/Setup.ini", "", "/usr/share/carillon/Setup.bmp"},
        {root + "usr/bin/carillon", "/cfg", "", root + "etc/carillon/Setup.ini", "/cfg/carillon/Setup.ini",
         root + "usr/share/carillon/Setup.bmp"},
        {"/usr/local/bin/carillon", "", "/h", "/usr/local/etc/carillon/Setup.ini", "/h/.config/carillon/Setup.ini",
         "/usr/local/share/carillon/Setup.bmp"},
        // A bare name says nothing of the program's place: never the current directory.
        {"carillon", "/cfg", "/h", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program + " " + c.xdg);
        const SetupLocation location = LocateSetup(c.program, UserDirs{c.xdg, c.home});
        EXPECT_EQ(location.installed, c.program.rfind(bin, 0) != 0 && !c.setup.empty());
        EXPECT_EQ(location.setupFile, c.setup);
        EXPECT_EQ(location.rememberFile, c.remember);
        EXPECT_EQ(location.pictureFile, c.picture);
    }
}

TEST_F(SetupLocationTest, ARunThroughPathIsFoundByTheRunningProgram) {
    EXPECT_TRUE(fs::equivalent(RunningProgramFile("test_app"), "/proc/self/exe"));
    EXPECT_EQ(RunningProgramFile(At("bin/../bin/./carillon")), At("bin/carillon"));
}

TEST_F(SetupLocationTest, ChoicesGoToTheUsersFileLeaveTheSystemFileAndOutliveAFailedWrite) {
    EXPECT_TRUE(CSetupIni(At("missing.ini"), SetupAccess::kReadOnly).Path().empty());
    EXPECT_FALSE(fs::exists(At("missing.ini")));
    std::ofstream(At("system.ini")) << "[General]\nFirmware File=/srv/site.VRK_Package\nOutput Binary=/srv/out.bin\n";
    CSetupIni system(At("system.ini"), SetupAccess::kReadOnly);
    CRememberedFiles remembered(system, At("home/.config/carillon/Setup.ini"));
    EXPECT_EQ(remembered.Get("Firmware File"), "/srv/site.VRK_Package");  // nothing chosen yet
    EXPECT_TRUE(remembered.Set("Firmware File", "/tmp/mine.VRK_Package"));
    EXPECT_EQ(CRememberedFiles(system, At("home/.config/carillon/Setup.ini")).Get("Firmware File"),
              "/tmp/mine.VRK_Package");  // the next run
    EXPECT_EQ(remembered.Get("Output Binary"), "/srv/out.bin");
    EXPECT_EQ(system.GetString("General", "Firmware File", ""), "/srv/site.VRK_Package");

    std::ofstream(At("blocked")) << "";  // no configuration folder can be made under a file
    for (const std::string& own : {At("blocked/carillon/Setup.ini"), std::string()}) {
        CRememberedFiles runOnly(system, own);
        EXPECT_FALSE(runOnly.Set("Output Binary", "/tmp/chosen.bin"));
        EXPECT_EQ(runOnly.Get("Output Binary"), "/tmp/chosen.bin");
    }
}

}  // namespace
}  // namespace carillon
