#include <gtest/gtest.h>

#include <string>

#include "repair/checks.h"
#include "tests/support.h"

namespace {

class Checks : public MachineTest {};

TEST_F(Checks, DriverFilePathIsBelowTheSystemDirectory)
{
    char path[MAX_PATH];
    ASSERT_EQ(BuildDriversDir(), 1);
    EXPECT_STREQ(driversDir, "C:\\WINDOWS\\system32\\drivers");
    ASSERT_EQ(BuildDriverFilePath("PartMgr", path), 1);
    EXPECT_STREQ(path, "C:\\WINDOWS\\system32\\drivers\\PartMgr.sys");
}

TEST_F(Checks, UnknownOrOverlongSystemDirectoryGivesNoDriverPath)
{
    struct {
        const char *name;
        void (*arrange)();
    } const cases[] = {
        {"GetSystemDirectoryA fails", [] { winsim::FailCall("GetSystemDirectoryA", 0); }},
        {"longer than MAX_PATH",
         [] { winsim::SetSystemDirectory("C:\\" + std::string(300, 's')); }},
        {"drivers folder does not fit",
         [] { winsim::SetSystemDirectory("C:\\" + std::string(252, 's')); }},
        {"driver file path does not fit",
         [] { winsim::SetSystemDirectory("C:\\" + std::string(240, 's')); }},
    };
    for (const auto &c : cases) {
        winsim::Reset();
        c.arrange();
        char path[MAX_PATH];
        BuildDriversDir();
        EXPECT_EQ(BuildDriverFilePath("PartMgr", path), 0) << c.name;
    }
}

TEST_F(Checks, DriverFileExists)
{
    const std::string drivers = "C:\\WINDOWS\\system32\\drivers\\";
    winsim::SetFile(drivers + "partmgr.sys", "MZ");
    winsim::DenyFileOpen(drivers + "Locked.sys", ERROR_SHARING_VIOLATION);
    EXPECT_EQ(DriverFileExists((drivers + "PartMgr.sys").c_str()), 1);
    EXPECT_EQ(DriverFileExists((drivers + "Diskperf.sys").c_str()), 0);
    EXPECT_EQ(DriverFileExists((drivers + "Locked.sys").c_str()), 0);
    EXPECT_EQ(DriverFileExists("C:\\WINDOWS\\system32\\drivers"), 0);
    EXPECT_FALSE(winsim::FileBytes(drivers + "Diskperf.sys").has_value());
}

TEST_F(Checks, ServiceKeyOpensOnlyWithFullAccess)
{
    AddServices({"PartMgr", "Diskperf"});
    winsim::DenyKeyAccess(std::string(kServicesKey) + "\\Diskperf", KEY_SET_VALUE);
    EXPECT_EQ(ServiceKeyOpens("PartMgr"), 1);
    EXPECT_EQ(ServiceKeyOpens("partmgr"), 1);
    EXPECT_EQ(ServiceKeyOpens("Diskperf"), 0);
    EXPECT_EQ(ServiceKeyOpens("Missing"), 0);
    EXPECT_EQ(ServiceKeyOpens(std::string(300, 'x').c_str()), 0);
}

}  // namespace
