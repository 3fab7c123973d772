#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "repair/restart.h"
#include "repair/version.h"
#include "tests/support.h"

namespace {

const char *const kOpenToken = "OpenProcessToken 0x28";
const char *const kLookup = "LookupPrivilegeValueA SeShutdownPrivilege";
const char *const kAdjust = "AdjustTokenPrivileges 1 19 0x2";
const char *const kReboot = "ExitWindowsEx 0x2 0";

struct RestartCase {
    const char *name;
    WindowsVersionFlags flags;
    const char *failing;  // a call that fails, or nullptr
    int result;
    std::vector<std::string> calls;
};

TEST(RestartSystem, Table)
{
    const WindowsVersionFlags xp = {0, 0, 0, 1};
    // clang-format off
    const RestartCase cases[] = {
        {"Windows XP",  xp, nullptr, 1, {kOpenToken, kLookup, kAdjust, kReboot}},
        {"Windows 2000", {0, 0, 1, 0}, nullptr, 1, {kOpenToken, kLookup, kAdjust, kReboot}},
        {"other NT", {0, 1, 0, 0}, nullptr, 1, {kOpenToken, kLookup, kAdjust, kReboot}},
        {"all flags clear: no token touched", {0, 0, 0, 0}, nullptr, 1, {kReboot}},
        {"Windows 9x: no token touched", {1, 0, 0, 0}, nullptr, 1, {kReboot}},
        {"token cannot be opened", xp, "OpenProcessToken", 0, {kOpenToken}},
        {"lookup fails: no adjustment, no reboot", xp, "LookupPrivilegeValueA", 0, {kOpenToken, kLookup}},
        {"adjustment fails: no reboot", xp, "AdjustTokenPrivileges", 0, {kOpenToken, kLookup, kAdjust}},
        {"reboot refused", xp, "ExitWindowsEx", 0, {kOpenToken, kLookup, kAdjust, kReboot}},
    };
    // clang-format on
    for (const RestartCase &c : cases) {
        winsim::Reset();
        if (c.failing != nullptr)
            winsim::FailCall(c.failing, 0);
        windowsVersion = c.flags;
        EXPECT_EQ(RestartSystem(), c.result) << c.name;
        EXPECT_EQ(winsim::SystemCalls(), c.calls) << c.name;
        EXPECT_TRUE(winsim::OpenHandles().empty()) << c.name << ": the token stayed open";
    }
}

}  // namespace
