#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "filters/filterlist.h"
#include "log/runlog.h"
#include "tests/support.h"

namespace {

struct RebuildCase {
    const char *name;
    std::optional<winsim::Value> stored;      // none: no UpperFilters value
    std::vector<std::string> services;        // registered, keys readable
    std::vector<std::string> enumeratedOnly;  // registered, keys refuse KEY_READ
    void (*arrange)();                        // further set-up, or nullptr
    const char *filter;
    int result;
    std::optional<std::string> written;  // none: the stored value stays as it was
    std::string log;
};

winsim::Value List(const std::string &bytes)
{
    return winsim::Value{REG_MULTI_SZ, bytes};
}

std::string Before(const std::string &values)
{
    return "Before create PartMgr in UpperFilters values: " + values + "\r\n";
}

std::string After(const std::string &values)
{
    return "After create PartMgr in UpperFilters values: " + values + "\r\n";
}

std::string Joined(const std::vector<std::string> &entries)
{
    std::string text;
    for (const std::string &entry : entries)
        text += (text.empty() ? "" : "|") + entry;
    return text;
}

void RunCase(const RebuildCase &c)
{
    SCOPED_TRACE(c.name);
    winsim::Reset();
    ASSERT_EQ(BuildLogPath(), 1);
    winsim::AddKey(kClassKey);
    if (c.stored)
        winsim::SetValue(kClassKey, "UpperFilters", c.stored->type, c.stored->bytes);
    AddServices(c.services);
    AddServices(c.enumeratedOnly);
    for (const std::string &name : c.enumeratedOnly)
        winsim::DenyKeyAccess(std::string(kServicesKey) + "\\" + name, KEY_READ);
    if (c.arrange != nullptr)
        c.arrange();

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(AddFilterToList(key, "UpperFilters", c.filter), c.result);
    RegCloseKey(key);

    std::optional<winsim::Value> after = winsim::GetValue(kClassKey, "UpperFilters");
    if (c.written) {
        ASSERT_TRUE(after.has_value());
        EXPECT_EQ(after->type, static_cast<DWORD>(REG_MULTI_SZ));
        EXPECT_EQ(Printable(after->bytes), Printable(*c.written));
    } else if (c.stored) {
        ASSERT_TRUE(after.has_value());
        EXPECT_EQ(after->type, c.stored->type);
        EXPECT_EQ(Printable(after->bytes), Printable(c.stored->bytes));
    } else {
        EXPECT_FALSE(after.has_value());
    }
    EXPECT_EQ(LogBytes(), c.log);
    EXPECT_TRUE(winsim::OpenHandles().empty()) << "a handle stayed open";
}

const std::string kPartMgrOnly = MultiSz({"PartMgr"});

TEST(AddFilterToList, RebuildsAsSpecifiedToTheByte)
{
    // clang-format off
    const RebuildCase cases[] = {
        {"worked example", List(MultiSz({"partmgr", "Foo", "ab", "B?r"})), {"Foo", "ab", "B?r"}, {},
         nullptr, "PartMgr", 1, MultiSz({"Foo", "PartMgr"}),
         Before("partmgr|Foo|ab|B?r") + After("Foo|PartMgr")},
        {"typical machine: unregistered entry and old copy dropped",
         List(MultiSz({"Foo", "PartMgr"})), {"PartMgr"}, {}, nullptr, "PartMgr", 1, kPartMgrOnly,
         Before("Foo|PartMgr") + After("PartMgr")},
        {"value absent: fresh list, After line only", std::nullopt, {}, {}, nullptr, "PartMgr", 1,
         Bytes("PartMgr\0\0"), After("PartMgr")},
        {"REG_SZ value replaced by the fresh list", winsim::Value{REG_SZ, Bytes("abcdefghij\0")},
         {"abcdefghij"}, {}, nullptr, "PartMgr", 1, kPartMgrOnly, After("PartMgr")},
        {"REG_BINARY value replaced by the fresh list", winsim::Value{REG_BINARY, MultiSz({"Foo"})},
         {"Foo"}, {}, nullptr, "PartMgr", 1, kPartMgrOnly, After("PartMgr")},
        {"size 0", List(""), {}, {}, nullptr, "PartMgr", 1, kPartMgrOnly, Before("") + After("PartMgr")},
        {"size 1, a zero", List(Bytes("\0")), {}, {}, nullptr, "PartMgr", 1, kPartMgrOnly,
         Before("") + After("PartMgr")},
        {"size 2, zeros", List(Bytes("\0\0")), {}, {}, nullptr, "PartMgr", 1, kPartMgrOnly,
         Before("") + After("PartMgr")},
        {"size 1, a letter, shown but not scanned", List("x"), {"x"}, {}, nullptr, "PartMgr", 1,
         kPartMgrOnly, Before("x") + After("PartMgr")},
        {"PartMgr alone stays as it was", List(kPartMgrOnly), {"PartMgr"}, {}, nullptr, "PartMgr", 1,
         kPartMgrOnly, Before("PartMgr") + After("PartMgr")},
        {"entry containing the filter name is dropped though registered",
         List(MultiSz({"xPARTMGRx"})), {"xPARTMGRx"}, {}, nullptr, "PartMgr", 1, kPartMgrOnly,
         Before("xPARTMGRx") + After("PartMgr")},
        {"two letters dropped, three kept", List(MultiSz({"ab", "abc"})), {"ab", "abc"}, {}, nullptr,
         "PartMgr", 1, MultiSz({"abc", "PartMgr"}), Before("ab|abc") + After("abc|PartMgr")},
        {"empty entry in the middle is stepped over", List(Bytes("Foo\0\0Bar\0\0")), {"Foo", "Bar"}, {},
         nullptr, "PartMgr", 1, MultiSz({"Foo", "Bar", "PartMgr"}),
         Before("Foo") + After("Foo|Bar|PartMgr")},
        {"single terminating zero", List(Bytes("Foo\0")), {"Foo"}, {}, nullptr, "PartMgr", 1,
         MultiSz({"Foo", "PartMgr"}), Before("Foo") + After("Foo|PartMgr")},
        {"kept entries keep their stored case", List(MultiSz({"SomeFilter"})), {"somefilter"}, {},
         nullptr, "PartMgr", 1, MultiSz({"SomeFilter", "PartMgr"}),
         Before("SomeFilter") + After("SomeFilter|PartMgr")},
        {"no other de-duplication", List(MultiSz({"Foo", "Foo"})), {"Foo"}, {}, nullptr, "PartMgr", 1,
         MultiSz({"Foo", "Foo", "PartMgr"}), Before("Foo|Foo") + After("Foo|Foo|PartMgr")},
        {"first entry empty renders as a leading separator", List(Bytes("\0Foo\0\0")), {"Foo"}, {},
         nullptr, "PartMgr", 1, MultiSz({"Foo", "PartMgr"}), Before("|Foo") + After("Foo|PartMgr")},
        {"registered only by enumeration, ignoring case", List(MultiSz({"Foo"})), {}, {"FOO"}, nullptr,
         "PartMgr", 1, MultiSz({"Foo", "PartMgr"}), Before("Foo") + After("Foo|PartMgr")},
        {"Diskperf appended behind PartMgr", List(MultiSz({"Foo", "PartMgr"})), {"Foo", "PartMgr"}, {},
         nullptr, "Diskperf", 1, MultiSz({"Foo", "PartMgr", "Diskperf"}),
         "Before create Diskperf in UpperFilters values: Foo|PartMgr\r\n"
         "After create Diskperf in UpperFilters values: Foo|PartMgr|Diskperf\r\n"},
    };
    // clang-format on
    for (const RebuildCase &c : cases)
        RunCase(c);
}

TEST(AddFilterToList, FailuresKeepTheStoredListOrDropEntries)
{
    const std::string oversized = MultiSz({std::string(300, 'a'), std::string(300, 'b')});
    // clang-format off
    const RebuildCase cases[] = {
        {"write fails: 0, no After line, value as it was", List(MultiSz({"Foo"})), {"Foo"}, {},
         [] { winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED); }, "PartMgr", 0, std::nullopt,
         Before("Foo")},
        {"write fails on an absent value: nothing logged", std::nullopt, {}, {},
         [] { winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED); }, "PartMgr", 0, std::nullopt,
         ""},
        {"services key cannot be opened: entry not registered", List(MultiSz({"Foo"})), {}, {"Foo"},
         [] { winsim::DenyKeyAccess(kServicesKey, KEY_READ); }, "PartMgr", 1, kPartMgrOnly,
         Before("Foo") + After("PartMgr")},
        {"enumeration fails: entry not registered", List(MultiSz({"Foo"})), {}, {"Foo"},
         [] { winsim::FailCall("RegEnumKeyExA", ERROR_ACCESS_DENIED); }, "PartMgr", 1, kPartMgrOnly,
         Before("Foo") + After("PartMgr")},
        {"list larger than the read buffer is kept whole", List(oversized), {}, {}, nullptr, "PartMgr",
         0, std::nullopt, ""},
        {"REG_SZ larger than the read buffer is kept whole",
         winsim::Value{REG_SZ, std::string(600, 's') + std::string(1, '\0')}, {}, {}, nullptr,
         "PartMgr", 0, std::nullopt, ""},
        {"empty filter name is refused", List(MultiSz({"Foo"})), {"Foo"}, {}, nullptr, "", 0,
         std::nullopt, ""},
    };
    // clang-format on
    for (const RebuildCase &c : cases)
        RunCase(c);
}

TEST(AddFilterToList, HostileListsStayInsideTheBuffers)
{
    const std::vector<std::string> full = FullReadBufferEntries();
    std::vector<std::string> fullWritten = full;
    fullWritten.push_back("PartMgr");
    const std::string entry255(255, 'n');
    const std::string entry300(300, 'n');
    // clang-format off
    const RebuildCase cases[] = {
        {"full read buffer of registered entries: filter still appended", List(MultiSz(full)), full,
         {}, nullptr, "PartMgr", 1, MultiSz(fullWritten),
         Before(Joined(full).substr(0, 259)) + After(Joined(fullWritten).substr(0, 259))},
        {"entry of 255 characters can be registered", List(MultiSz({entry255})), {entry255}, {},
         nullptr, "PartMgr", 1, MultiSz({entry255, "PartMgr"}),
         Before(entry255) + After((entry255 + "|PartMgr").substr(0, 259))},
        {"entry longer than any key name is not registered", List(MultiSz({entry300})), {entry300},
         {}, nullptr, "PartMgr", 1, kPartMgrOnly, Before(entry300.substr(0, 259)) + After("PartMgr")},
        {"long sub-key name does not hide a filter found by enumeration", List(MultiSz({"Foo"})),
         {std::string(200, 'a')}, {"Foo"}, nullptr, "PartMgr", 1, MultiSz({"Foo", "PartMgr"}),
         Before("Foo") + After("Foo|PartMgr")},
        {"path-like entry is not a service", List(MultiSz({"Foo\\Enum"})), {"Foo\\Enum"}, {}, nullptr,
         "PartMgr", 1, kPartMgrOnly, Before("Foo\\Enum") + After("PartMgr")},
        {"size 2 holding two letters, no terminator", List("ab"), {"ab"}, {}, nullptr, "PartMgr", 1,
         kPartMgrOnly, Before("ab") + After("PartMgr")},
        {"dropped last entry without terminator ends the scan", List(Bytes("Foo\0xy")), {"Foo", "xy"},
         {}, nullptr, "PartMgr", 1, MultiSz({"Foo", "PartMgr"}), Before("Foo|xy") + After("Foo|PartMgr")},
        {"kept last entry without terminator gains its zero", List(Bytes("Foo\0Bar")), {"Foo", "Bar"},
         {}, nullptr, "PartMgr", 1, MultiSz({"Foo", "Bar", "PartMgr"}),
         Before("Foo|Bar") + After("Foo|Bar|PartMgr")},
        {"512 bytes with no zero at all", List(std::string(512, 'q')), {}, {}, nullptr, "PartMgr", 1,
         kPartMgrOnly, Before(std::string(259, 'q')) + After("PartMgr")},
    };
    // clang-format on
    for (const RebuildCase &c : cases)
        RunCase(c);
}

TEST(AddFilterToList, LeavesTheCallersFilterNameAlone)
{
    winsim::Reset();
    ASSERT_EQ(BuildLogPath(), 1);
    winsim::AddKey(kClassKey);
    winsim::SetValue(kClassKey, "UpperFilters", REG_MULTI_SZ, MultiSz({"PartMgr"}));
    char filter[] = "PartMgr";
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(AddFilterToList(key, "UpperFilters", filter), 1);
    RegCloseKey(key);
    EXPECT_STREQ(filter, "PartMgr");
}

}  // namespace
