#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// A 32-bit program on 64-bit Windows looks past the redirection to
// SysWOW64, for the driver check alone; where it cannot, the check is made as
// it always was.
TEST_F(Checks, DriverCheckOnWow64)
{
    const std::string real = "C:\\WINDOWS\\system32\\drivers\\PartMgr.sys";
    const std::string redirected = "C:\\WINDOWS\\SysWOW64\\drivers\\PartMgr.sys";
    const std::vector<std::string> lookedPast = {"redirection off", "open " + real,
                                                 "redirection on"};
    struct {
        const char *name;
        bool wow64;
        void (*arrange)();
        int found;
        std::vector<std::string> events;
    } const cases[] = {
        // clang-format off
        {"32-bit Windows: redirection left alone", false, [] {}, 1, {"open " + real}},
        {"Windows 2000: no IsWow64Process", false, [] { winsim::RemoveExport("IsWow64Process"); },
         1, {"open " + real}},
        {"WoW64: turned off for the check and on again", true, [] {}, 1, lookedPast},
        {"WoW64 without IsWow64Process: checked as always", true,
         [] { winsim::RemoveExport("IsWow64Process"); }, 0, {"open " + redirected}},
        {"WoW64, IsWow64Process fails: checked as always", true,
         [] { winsim::FailCall("IsWow64Process", 0); }, 0, {"open " + redirected}},
        {"WoW64 without the disabling function", true,
         [] { winsim::RemoveExport("Wow64DisableWow64FsRedirection"); }, 0, {"open " + redirected}},
        {"WoW64 without the reverting function: never turned off", true,
         [] { winsim::RemoveExport("Wow64RevertWow64FsRedirection"); }, 0, {"open " + redirected}},
        {"WoW64, turning off fails: checked as always", true,
         [] { winsim::FailCall("Wow64DisableWow64FsRedirection", 0); }, 0, {"open " + redirected}},
        // clang-format on
    };
    for (const auto &c : cases) {
        winsim::Reset();
        winsim::SetWow64(c.wow64);
        c.arrange();
        winsim::SetFile(real, "MZ");
        EXPECT_EQ(DriverFileExists(real.c_str()), c.found) << c.name;
        EXPECT_EQ(winsim::FileEvents(), c.events) << c.name;
        EXPECT_FALSE(winsim::RedirectionIsOff()) << c.name;
    }
}

TEST_F(Checks, Wow64DriverOnlyInSysWow64CountsAsMissing)
{
    winsim::SetWow64(true);
    winsim::SetFile("C:\\WINDOWS\\SysWOW64\\drivers\\PartMgr.sys", "MZ");
    EXPECT_EQ(DriverFileExists("C:\\WINDOWS\\system32\\drivers\\PartMgr.sys"), 0);
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
