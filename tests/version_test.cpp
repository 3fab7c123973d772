#include <gtest/gtest.h>

#include "repair/version.h"
#include "tests/support.h"

namespace {

struct VersionCase {
    const char *name;
    DWORD platform;
    DWORD major;
    DWORD minor;
    int failingQuery;  // 0: none, 1: the first, 2: the second
    WindowsVersionFlags expected;
};

// clang-format off
const VersionCase kVersionCases[] = {
    //                                                           9x NT 2K XP
    {"Windows 95/98/Me",            VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0, {1, 0, 0, 0}},
    {"Windows NT 4",                VER_PLATFORM_WIN32_NT,      4, 0,  0, {0, 1, 0, 0}},
    {"Windows 2000",                VER_PLATFORM_WIN32_NT,      5, 0,  0, {0, 0, 1, 0}},
    {"Windows XP",                  VER_PLATFORM_WIN32_NT,      5, 1,  0, {0, 0, 0, 1}},
    {"Windows Server 2003 as XP",   VER_PLATFORM_WIN32_NT,      5, 2,  0, {0, 0, 0, 1}},
    {"Vista is other NT",           VER_PLATFORM_WIN32_NT,      6, 0,  0, {0, 1, 0, 0}},
    {"Win32s sets no flag",         VER_PLATFORM_WIN32s,        3, 10, 0, {0, 0, 0, 0}},
    {"unknown platform",            7,                          5, 1,  0, {0, 0, 0, 0}},
    {"second query fails on 5.1",   VER_PLATFORM_WIN32_NT,      5, 1,  2, {0, 1, 0, 0}},
    {"first query fails",           VER_PLATFORM_WIN32_NT,      5, 1,  1, {0, 0, 0, 0}},
};
// clang-format on

TEST(ClassifyWindowsVersion, Table)
{
    for (const VersionCase &c : kVersionCases) {
        winsim::Reset();
        winsim::SetVersion(c.platform, c.major, c.minor);
        if (c.failingQuery != 0)
            winsim::FailCall("GetVersionExA", 0, c.failingQuery - 1);
        windowsVersion = WindowsVersionFlags{9, 9, 9, 9};
        ClassifyWindowsVersion();
        EXPECT_EQ(windowsVersion.isWin9x, c.expected.isWin9x) << c.name;
        EXPECT_EQ(windowsVersion.isOtherNt, c.expected.isOtherNt) << c.name;
        EXPECT_EQ(windowsVersion.isWin2000, c.expected.isWin2000) << c.name;
        EXPECT_EQ(windowsVersion.isWinXP, c.expected.isWinXP) << c.name;
        int secondQuery = c.platform == VER_PLATFORM_WIN32_NT && c.failingQuery != 1;
        EXPECT_EQ(winsim::CallCount("GetVersionExA"), 1 + secondQuery) << c.name;
    }
}

}  // namespace
