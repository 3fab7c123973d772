#include "tests/support.h"

#include <cstdio>

#include "log/runlog.h"

const char *const kClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";
const char *const kServicesKey = "SYSTEM\\CurrentControlSet\\services";

void AddServices(const std::vector<std::string> &names)
{
    for (const std::string &name : names)
        winsim::AddKey(std::string(kServicesKey) + "\\" + name);
}

std::string Printable(const std::string &bytes)
{
    std::string shown;
    for (unsigned char c : bytes) {
        if (c == '\\') {
            shown += "\\\\";
        } else if (c >= 0x20 && c < 0x7f) {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    return shown;
}

std::string LogBytes()
{
    return winsim::FileBytes("C:\\WINDOWS\\Temp\\Verolund.log").value_or("");
}

void MachineTest::SetUp()
{
    winsim::Reset();
    ASSERT_EQ(BuildLogPath(), 1);
}

void MachineTest::TearDown()
{
    std::vector<std::string> open = winsim::OpenHandles();
    std::string listed;
    for (const std::string &handle : open)
        listed += " " + handle;
    EXPECT_TRUE(open.empty()) << "handles left open:" << listed;
}
