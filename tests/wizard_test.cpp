// Whole runs of the wizard, WinMain called as Windows calls it, against a
// simulated machine: the boxes shown, the log's bytes, the final filter list,
// whether a reboot was asked for, and no handle left open.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "repair/run.h"
#include "repair/wizard.h"
#include "tests/support.h"

namespace {

const char *const kDrivers = "C:\\WINDOWS\\system32\\drivers\\";
const char *const kLogFile = "C:\\WINDOWS\\Temp\\Verolund.log";
const std::string kOldLog = "Operating System = Windows XP\r\nfrom an earlier run\r\n";

struct ExpectedBox {
    const char *text;
    UINT type;
};
const ExpectedBox kStart = {
    "Verolund is ready to perform the registry checking and repair.\n\n\t Would you like to "
    "continue.?",
    0x24};
const ExpectedBox kRefusal = {"This utility will run only in Windows 2000 and in Windows XP", 0x10};
const ExpectedBox kKeyFailure = {"Cannot open the Filter Key", 0x10};
const ExpectedBox kRestart = {
    "You must restart your system for the configuration changes made to UpperFilter & "
    "LowerFilter to take effect.\n\n\t\tClick Yes to restart now or No if you plan to restart "
    "later",
    0x24};

struct Version {
    DWORD platform;
    DWORD major;
    DWORD minor;
};
const Version kWin98 = {VER_PLATFORM_WIN32_WINDOWS, 4, 10};
const Version kNt4 = {VER_PLATFORM_WIN32_NT, 4, 0};
const Version kWin2000 = {VER_PLATFORM_WIN32_NT, 5, 0};
const Version kWinXP = {VER_PLATFORM_WIN32_NT, 5, 1};
const Version kWin2003 = {VER_PLATFORM_WIN32_NT, 5, 2};
const Version kVista = {VER_PLATFORM_WIN32_NT, 6, 0};
const Version kWin32s = {VER_PLATFORM_WIN32s, 3, 10};

struct RunCase {
    const char *name;
    Version version;
    void (*arrange)();  // changes to the healthy machine, or nullptr
    std::vector<int> answers;
    std::vector<ExpectedBox> boxes;
    std::optional<std::string> log;           // none: no log file at all
    std::optional<std::string> upperFilters;  // none: no value
    bool reboot;
};

const std::string kStored = MultiSz({"Foo", "PartMgr"});

std::string Lines(const std::vector<std::string> &lines)
{
    std::string bytes;
    for (const std::string &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// Windows XP or 2000 with both filter drivers and their services in place,
// an UpperFilters list holding Foo (no such service) and PartMgr, and the
// log of an earlier run.
void HealthyMachine(const Version &version)
{
    winsim::Reset();
    winsim::SetVersion(version.platform, version.major, version.minor);
    winsim::SetValue(kClassKey, "UpperFilters", REG_MULTI_SZ, kStored);
    AddServices({"PartMgr", "Diskperf", "Disk"});
    winsim::SetFile(std::string(kDrivers) + "PartMgr.sys", "MZ");
    winsim::SetFile(std::string(kDrivers) + "Diskperf.sys", "MZ");
    winsim::SetFile(kLogFile, kOldLog);
}

void RunWizard(const RunCase &c)
{
    SCOPED_TRACE(c.name);
    HealthyMachine(c.version);
    if (c.arrange != nullptr)
        c.arrange();
    winsim::AnswerBoxes(c.answers);

    EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<LPSTR>("/ignored"), 1), 0);

    std::vector<winsim::Box> boxes = winsim::Boxes();
    ASSERT_EQ(boxes.size(), c.boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].text, c.boxes[i].text) << "box " << i;
        EXPECT_EQ(boxes[i].type, c.boxes[i].type) << "box " << i;
        EXPECT_EQ(boxes[i].caption, "Verolund Wizard") << "box " << i;
        EXPECT_EQ(boxes[i].owner, nullptr) << "box " << i;
    }
    std::optional<std::string> log = winsim::FileBytes(kLogFile);
    EXPECT_EQ(log.has_value(), c.log.has_value());
    if (log && c.log) {
        EXPECT_EQ(*log, *c.log);
    }
    std::optional<winsim::Value> value = winsim::GetValue(kClassKey, "UpperFilters");
    EXPECT_EQ(value.has_value(), c.upperFilters.has_value());
    if (value && c.upperFilters) {
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_MULTI_SZ));
        EXPECT_EQ(Printable(value->bytes), Printable(*c.upperFilters));
    }
    std::vector<std::string> calls = winsim::SystemCalls();
    bool rebooted = !calls.empty() && calls.back() == "ExitWindowsEx 0x2 0";
    EXPECT_EQ(rebooted, c.reboot);
    EXPECT_TRUE(winsim::OpenHandles().empty()) << "a handle stayed open";
}

const std::string kXpLine = "Operating System = Windows XP";
const std::string k2kLine = "Operating System = Windows 2K";
const std::string kBeforeTypical = "Before create PartMgr in UpperFilters values: Foo|PartMgr";
const std::string kAfterPartMgr = "After create PartMgr in UpperFilters values: PartMgr";
const std::string kTypicalLog = Lines({kXpLine, kBeforeTypical, kAfterPartMgr});
const std::string kPartMgrOnly = MultiSz({"PartMgr"});

TEST(Wizard, StatesAndAnswers)
{
    // clang-format off
    const RunCase cases[] = {
        {"No at the start changes nothing and keeps the old log", kWinXP, nullptr,
         {IDNO}, {kStart}, kOldLog, kStored, false},
        {"typical XP run, restart accepted", kWinXP, nullptr,
         {IDYES, IDYES}, {kStart, kRestart}, kTypicalLog, kPartMgrOnly, true},
        {"restart declined", kWinXP, nullptr,
         {IDYES, IDNO}, {kStart, kRestart}, kTypicalLog, kPartMgrOnly, false},
        {"boxes cannot be shown: the run goes on, no restart", kWinXP, nullptr,
         {}, {kStart, kRestart}, kTypicalLog, kPartMgrOnly, false},
        {"Windows 98 is refused, log untouched", kWin98, nullptr,
         {IDYES}, {kStart, kRefusal}, kOldLog, kStored, false},
        {"NT 4 is refused", kNt4, nullptr,
         {IDYES}, {kStart, kRefusal}, kOldLog, kStored, false},
        {"Vista is refused", kVista, nullptr,
         {IDYES}, {kStart, kRefusal}, kOldLog, kStored, false},
        {"failed second version query is other NT", kWinXP,
         [] { winsim::FailCall("GetVersionExA", 0, 1); },
         {IDYES}, {kStart, kRefusal}, kOldLog, kStored, false},
        {"Windows 2003 counts as XP", kWin2003, nullptr,
         {IDYES, IDNO}, {kStart, kRestart}, kTypicalLog, kPartMgrOnly, false},
        {"64-bit XP or 2003: the driver is found past the redirection", kWin2003,
         [] { winsim::SetWow64(true); },
         {IDYES, IDNO}, {kStart, kRestart}, kTypicalLog, kPartMgrOnly, false},
        {"platform 0 goes on as XP", kWin32s, nullptr,
         {IDYES, IDYES}, {kStart, kRestart}, kTypicalLog, kPartMgrOnly, true},
        {"failed first version query goes on as XP", kWinXP,
         [] { winsim::FailCall("GetVersionExA", 0); },
         {IDYES, IDNO}, {kStart, kRestart}, kTypicalLog, kPartMgrOnly, false},
        {"Windows 2000 makes both passes", kWin2000, nullptr,
         {IDYES, IDNO}, {kStart, kRestart},
         Lines({k2kLine, kBeforeTypical, kAfterPartMgr,
                "Before create Diskperf in UpperFilters values: PartMgr",
                "After create Diskperf in UpperFilters values: PartMgr|Diskperf"}),
         MultiSz({"PartMgr", "Diskperf"}), false},
    };
    // clang-format on
    for (const RunCase &c : cases)
        RunWizard(c);
}

TEST(Wizard, FailedChecksAndRegistryFailures)
{
    // clang-format off
    const RunCase cases[] = {
        {"missing class key is created: XP", kWinXP,
         [] { winsim::RemoveKey(kClassKey); },
         {IDYES, IDNO}, {kStart, kRestart}, Lines({kXpLine, kAfterPartMgr}), kPartMgrOnly, false},
        {"missing class key is created: 2000", kWin2000,
         [] { winsim::RemoveKey(kClassKey); },
         {IDYES, IDNO}, {kStart, kRestart},
         Lines({k2kLine, kAfterPartMgr,
                "Before create Diskperf in UpperFilters values: PartMgr",
                "After create Diskperf in UpperFilters values: PartMgr|Diskperf"}),
         MultiSz({"PartMgr", "Diskperf"}), false},
        {"class key can be neither opened nor created", kWinXP,
         [] { winsim::FailCall("RegCreateKeyExA", ERROR_ACCESS_DENIED); },
         {IDYES, IDYES}, {kStart, kKeyFailure},
         Lines({kXpLine, "Fail - Cannot create HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
                         "{4D36E967-E325-11CE-BFC1-08002BE10318}"}),
         kStored, false},
        {"PartMgr driver file missing: list untouched, restart still asked", kWinXP,
         [] { winsim::RemoveFile(std::string(kDrivers) + "PartMgr.sys"); },
         {IDYES, IDYES}, {kStart, kRestart}, Lines({kXpLine, "Fail - Missing PartMgr"}),
         kStored, true},
        {"PartMgr driver file not readable", kWinXP,
         [] { winsim::DenyFileOpen(std::string(kDrivers) + "PartMgr.sys", ERROR_SHARING_VIOLATION); },
         {IDYES, IDNO}, {kStart, kRestart}, Lines({kXpLine, "Fail - Missing PartMgr"}),
         kStored, false},
        {"64-bit Windows that cannot turn redirection off: driver counts as missing", kWin2003,
         [] {
             winsim::SetWow64(true);
             winsim::RemoveExport("Wow64DisableWow64FsRedirection");
         },
         {IDYES, IDNO}, {kStart, kRestart}, Lines({kXpLine, "Fail - Missing PartMgr"}),
         kStored, false},
        {"system directory unknown: driver counts as missing", kWinXP,
         [] { winsim::FailCall("GetSystemDirectoryA", 0); },
         {IDYES, IDNO}, {kStart, kRestart}, Lines({kXpLine, "Fail - Missing PartMgr"}),
         kStored, false},
        {"PartMgr service key missing", kWinXP,
         [] { winsim::RemoveKey(std::string(kServicesKey) + "\\PartMgr"); },
         {IDYES, IDNO}, {kStart, kRestart},
         Lines({kXpLine, "Fail - Missing Service Key for PartMgr"}), kStored, false},
        {"PartMgr service key refuses full access", kWinXP,
         [] { winsim::DenyKeyAccess(std::string(kServicesKey) + "\\PartMgr", KEY_SET_VALUE); },
         {IDYES, IDNO}, {kStart, kRestart},
         Lines({kXpLine, "Fail - Missing Service Key for PartMgr"}), kStored, false},
        {"2000 without a Diskperf service key: pass 1 still adds PartMgr", kWin2000,
         [] { winsim::RemoveKey(std::string(kServicesKey) + "\\Diskperf"); },
         {IDYES, IDNO}, {kStart, kRestart},
         Lines({k2kLine, kBeforeTypical, kAfterPartMgr, "Fail - Missing Service Key for Diskperf"}),
         kPartMgrOnly, false},
        {"2000 without the Diskperf driver file", kWin2000,
         [] { winsim::RemoveFile(std::string(kDrivers) + "Diskperf.sys"); },
         {IDYES, IDNO}, {kStart, kRestart},
         Lines({k2kLine, kBeforeTypical, kAfterPartMgr, "Fail - Missing Diskperf"}),
         kPartMgrOnly, false},
        {"every pass fails: restart question still asked", kWin2000,
         [] {
             winsim::RemoveFile(std::string(kDrivers) + "PartMgr.sys");
             winsim::RemoveKey(std::string(kServicesKey) + "\\Diskperf");
         },
         {IDYES, IDYES}, {kStart, kRestart},
         Lines({k2kLine, "Fail - Missing PartMgr", "Fail - Missing Service Key for Diskperf"}),
         kStored, true},
        {"write of pass 1 fails", kWinXP,
         [] { winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED); },
         {IDYES, IDNO}, {kStart, kRestart},
         Lines({kXpLine, kBeforeTypical, "Fail - Cannot create PartMgr in Filter"}), kStored, false},
        {"oversized list is kept whole", kWinXP,
         [] { winsim::SetValue(kClassKey, "UpperFilters", REG_MULTI_SZ,
                               MultiSz({std::string(400, 'a'), std::string(400, 'b')})); },
         {IDYES, IDNO}, {kStart, kRestart},
         Lines({kXpLine, "Fail - Cannot create PartMgr in Filter"}),
         MultiSz({std::string(400, 'a'), std::string(400, 'b')}), false},
        {"no Temp folder: repaired without a log", kWinXP,
         [] { winsim::RemoveDirectory("C:\\WINDOWS\\Temp"); },
         {IDYES, IDNO}, {kStart, kRestart}, std::nullopt, kPartMgrOnly, false},
        {"Windows directory unknown: repaired, old log left alone", kWinXP,
         [] { winsim::FailCall("GetWindowsDirectoryA", 0); },
         {IDYES, IDNO}, {kStart, kRestart}, kOldLog, kPartMgrOnly, false},
    };
    // clang-format on
    for (const RunCase &c : cases)
        RunWizard(c);
}

// What the repair between the two questions tells its caller: the wizard
// asks the restart question after the last two, the offline repair turns
// them into its exit code.
TEST(RunRepair, Outcomes)
{
    struct {
        const char *name;
        Version version;
        void (*arrange)();
        RepairOutcome outcome;
        size_t boxes;
    } const cases[] = {
        {"healthy XP", kWinXP, [] {}, REPAIR_DONE, 0},
        {"healthy 2000: both passes", kWin2000, [] {}, REPAIR_DONE, 0},
        {"Windows 98", kWin98, [] {}, REPAIR_REFUSED, 1},
        {"Vista", kVista, [] {}, REPAIR_REFUSED, 1},
        {"class key failure", kWinXP,
         [] { winsim::FailCall("RegCreateKeyExA", ERROR_ACCESS_DENIED); }, REPAIR_NO_CLASS_KEY, 1},
        {"PartMgr driver missing", kWinXP,
         [] { winsim::RemoveFile(std::string(kDrivers) + "PartMgr.sys"); }, REPAIR_INCOMPLETE, 0},
        {"2000: only the Diskperf pass fails", kWin2000,
         [] { winsim::RemoveKey(std::string(kServicesKey) + "\\Diskperf"); }, REPAIR_INCOMPLETE, 0},
        {"write fails", kWinXP, [] { winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED); },
         REPAIR_INCOMPLETE, 0},
    };
    for (const auto &c : cases) {
        HealthyMachine(c.version);
        c.arrange();
        EXPECT_EQ(RunRepair(), c.outcome) << c.name;
        EXPECT_EQ(winsim::Boxes().size(), c.boxes) << c.name;
        EXPECT_TRUE(winsim::OpenHandles().empty()) << c.name;
    }
}

}  // namespace
