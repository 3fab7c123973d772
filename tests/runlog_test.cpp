#include <gtest/gtest.h>

#include <string>

#include "log/runlog.h"
#include "tests/support.h"

namespace {

class RunLog : public MachineTest {};

TEST_F(RunLog, PathIsBelowTheWindowsDirectory)
{
    winsim::SetWindowsDirectory("D:\\WINNT");
    ASSERT_EQ(BuildLogPath(), 1);
    EXPECT_STREQ(logPath, "D:\\WINNT\\Temp\\Verolund.log");
}

TEST_F(RunLog, UnknownOrOverlongWindowsDirectoryLeavesNoPath)
{
    struct {
        const char *name;
        void (*arrange)();
    } const cases[] = {
        {"GetWindowsDirectoryA fails", [] { winsim::FailCall("GetWindowsDirectoryA", 0); }},
        {"directory longer than MAX_PATH",
         [] { winsim::SetWindowsDirectory("C:\\" + std::string(270, 'W')); }},
        {"path too long for the log path buffer",
         [] { winsim::SetWindowsDirectory("C:\\" + std::string(250, 'W')); }},
    };
    for (const auto &c : cases) {
        winsim::Reset();
        c.arrange();
        EXPECT_EQ(BuildLogPath(), 0) << c.name;
        EXPECT_STREQ(logPath, "") << c.name;
        WriteLogLine("dropped");
        EXPECT_EQ(winsim::CallCount("CreateFileA"), 0) << c.name;
    }
}

TEST_F(RunLog, LinesEndInCrLfAndStandLiterally)
{
    WriteLogLine("Operating System = Windows XP");
    WriteLogLine("100% done %s %d");
    WriteLogLine("two\nlines");
    EXPECT_EQ(LogBytes(), "Operating System = Windows XP\r\n100% done %s %d\r\ntwo\r\nlines\r\n");
}

TEST_F(RunLog, ResetLeavesOnlyTheSecondRunsLines)
{
    WriteLogLine("first run");
    ResetLog();
    WriteLogLine("second run");
    EXPECT_EQ(LogBytes(), "second run\r\n");
}

TEST_F(RunLog, LinesAreAppendedToAnExistingFile)
{
    winsim::SetFile(logPath, "earlier\r\n");
    WriteLogLine("later");
    EXPECT_EQ(LogBytes(), "earlier\r\nlater\r\n");
}

TEST_F(RunLog, ResetWithoutAFileIsHarmless)
{
    ResetLog();
    EXPECT_FALSE(winsim::FileBytes(logPath).has_value());
}

TEST_F(RunLog, NoTempFolderDropsTheLine)
{
    winsim::RemoveDirectory("C:\\WINDOWS\\Temp");
    WriteLogLine("nowhere to go");
    EXPECT_FALSE(winsim::FileBytes(logPath).has_value());
}

TEST_F(RunLog, OverlongMessageIsCutToTheLineBuffer)
{
    WriteLogLine(std::string(3000, 'x').c_str());
    std::string written = LogBytes();
    ASSERT_EQ(written.size(), static_cast<size_t>(LOG_LINE_SIZE));
    EXPECT_EQ(written.substr(written.size() - 2), "\r\n");
    EXPECT_EQ(written.find_first_not_of('x'), written.size() - 2);
}

TEST_F(RunLog, CutNeverSplitsALineEnd)
{
    WriteLogLine(std::string(2000, '\n').c_str());
    std::string written = LogBytes();
    ASSERT_LE(written.size(), static_cast<size_t>(LOG_LINE_SIZE));
    for (size_t at = 0; at < written.size(); at += 2)
        ASSERT_EQ(written.substr(at, 2), "\r\n") << "at byte " << at;
}

}  // namespace
