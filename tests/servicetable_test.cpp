#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "filters/filterlist.h"
#include "filters/services.h"
#include "filters/servicetable.h"
#include "log/runlog.h"
#include "tests/support.h"

namespace {

class ServiceTableLookup : public MachineTest {};

std::string ServicePath(const std::string &name)
{
    return std::string(kServicesKey) + "\\" + name;
}

// Services whose own keys refuse reading, so only the enumeration finds them.
void AddEnumeratedOnly(const std::vector<std::string> &names)
{
    AddServices(names);
    for (const std::string &name : names)
        winsim::DenyKeyAccess(ServicePath(name), KEY_READ);
}

// Names of 250 characters, more of them than the table holds.
std::vector<std::string> TableOverflow()
{
    std::vector<std::string> names;
    for (int i = 0; i < SERVICE_TABLE_SIZE / 251 + 40; ++i) {
        char prefix[8];
        std::snprintf(prefix, sizeof prefix, "b%03d", i);
        names.push_back(prefix + std::string(246, 'p'));
    }
    return names;
}

struct Asked {
    std::string name;
    int registered;
};

struct TableCase {
    const char *name;
    std::function<void()> arrange;
    std::vector<Asked> asked;  // in this order, through one table
};

TEST_F(ServiceTableLookup, AnswersAsTheSearchEntryByEntry)
{
    const std::vector<std::string> bulk = TableOverflow();
    const TableCase cases[] = {
        {"own key, enumeration ignoring case, absent",
         [] {
             AddServices({"Alpha"});
             AddEnumeratedOnly({"FOO"});
         },
         {{"foo", 1}, {"alpha", 1}, {"bar", 0}, {"FoO", 1}}},
        {"a name too long for the buffer ends the enumeration",
         [] {
             AddEnumeratedOnly({"Aaa", std::string(300, 'm'), "Zed"});
         },
         {{"zed", 0}, {"aaa", 1}, {"zed", 0}}},
        {"a name of 255 characters is listed",
         [] {
             AddEnumeratedOnly({std::string(255, 'n'), "Zed"});
         },
         {{std::string(255, 'n'), 1}, {"zed", 1}}},
        {"services key cannot be opened",
         [] {
             AddServices({"Own"});
             AddEnumeratedOnly({"Foo"});
             winsim::DenyKeyAccess(kServicesKey, KEY_READ);
         },
         {{"foo", 0}, {"own", 1}, {"foo", 0}}},
        {"no services key at all", [] {}, {{"foo", 0}, {"bar", 0}}},
        {"enumeration fails from the first call",
         [] {
             AddEnumeratedOnly({"Foo"});
             winsim::FailCall("RegEnumKeyExA", ERROR_ACCESS_DENIED);
         },
         {{"foo", 0}, {"foo", 0}}},
        {"names that cannot be a key name",
         [] {
             AddServices({"Foo\\Enum", std::string(300, 'n')});
         },
         {{"", 0}, {"foo\\enum", 0}, {std::string(300, 'n'), 0}, {"foo", 1}}},
        {"table full: the names beyond it are found entry by entry",
         [&bulk] { AddEnumeratedOnly(bulk); },
         {{bulk.front(), 1}, {bulk.back(), 1}, {"b000", 0}, {bulk[SERVICE_TABLE_SIZE / 251], 1}}},
    };
    for (const TableCase &c : cases) {
        SCOPED_TRACE(c.name);
        winsim::Reset();
        c.arrange();
        ServiceTable table;
        StartServiceTable(&table);
        for (const Asked &asked : c.asked) {
            SCOPED_TRACE(asked.name.substr(0, 40));
            EXPECT_EQ(ServiceIsRegisteredIn(&table, asked.name.c_str()), asked.registered);
            EXPECT_EQ(ServiceIsRegistered(asked.name.c_str()), asked.registered);
        }
        EXPECT_TRUE(winsim::OpenKeys().empty()) << "a key stayed open";
    }
}

TEST_F(ServiceTableLookup, EnumeratesOnlyOnFirstNeed)
{
    AddServices({"Own"});
    AddEnumeratedOnly({"Foo", "Bar"});
    ServiceTable table;
    StartServiceTable(&table);
    EXPECT_EQ(ServiceIsRegisteredIn(&table, "own"), 1);
    EXPECT_EQ(winsim::CallCount("RegEnumKeyExA"), 0) << "enumerated though the own key opened";
    EXPECT_EQ(ServiceIsRegisteredIn(&table, "foo"), 1);
    EXPECT_EQ(ServiceIsRegisteredIn(&table, "bar"), 1);
    EXPECT_EQ(ServiceIsRegisteredIn(&table, "baz"), 0);
    // Three sub-keys and the result that ends the enumeration.
    EXPECT_EQ(winsim::CallCount("RegEnumKeyExA"), 4);
}

TEST_F(ServiceTableLookup, FullTableEnumeratesAgainOnlyForNamesBeyondIt)
{
    const std::vector<std::string> bulk = TableOverflow();
    AddEnumeratedOnly(bulk);
    ServiceTable table;
    StartServiceTable(&table);
    ASSERT_EQ(ServiceIsRegisteredIn(&table, bulk.front().c_str()), 1);
    int filled = winsim::CallCount("RegEnumKeyExA");
    EXPECT_EQ(ServiceIsRegisteredIn(&table, bulk[1].c_str()), 1);
    EXPECT_EQ(winsim::CallCount("RegEnumKeyExA"), filled) << "a name in the table was enumerated";
    EXPECT_EQ(ServiceIsRegisteredIn(&table, bulk.back().c_str()), 1);
    EXPECT_EQ(winsim::CallCount("RegEnumKeyExA"), filled + static_cast<int>(bulk.size()));
}

class RebuildEnumeration : public MachineTest {
  protected:
    int Rebuild(const std::vector<std::string> &entries)
    {
        winsim::SetValue(kClassKey, "UpperFilters", REG_MULTI_SZ, MultiSz(entries));
        HKEY key;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassKey, 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        int result = AddFilterToList(key, "UpperFilters", "PartMgr");
        RegCloseKey(key);
        return result;
    }
};

TEST_F(RebuildEnumeration, ServicesKeyEnumeratedAtMostOncePerRebuild)
{
    std::vector<std::string> services;
    for (int i = 0; i < 10; ++i)
        services.push_back("Svc" + std::to_string(i));
    AddServices(services);
    AddEnumeratedOnly({"Hidden"});
    const std::vector<std::string> entries = {"Gone1", "Hidden", "Gone2", "Svc3", "Gone3"};

    ASSERT_EQ(Rebuild(entries), 1);
    // Eleven sub-keys and the result that ends the enumeration.
    EXPECT_EQ(winsim::CallCount("RegEnumKeyExA"), 12);
    EXPECT_EQ(Printable(winsim::GetValue(kClassKey, "UpperFilters")->bytes),
              Printable(MultiSz({"Hidden", "Svc3", "PartMgr"})));

    // Nothing carries over: the next rebuild enumerates again and sees a
    // service registered in between.
    AddEnumeratedOnly({"Gone2"});
    ASSERT_EQ(Rebuild(entries), 1);
    EXPECT_EQ(winsim::CallCount("RegEnumKeyExA"), 12 + 13);
    EXPECT_EQ(Printable(winsim::GetValue(kClassKey, "UpperFilters")->bytes),
              Printable(MultiSz({"Hidden", "Gone2", "Svc3", "PartMgr"})));
}

TEST_F(RebuildEnumeration, UnopenableServicesKeyIsTriedOncePerRebuild)
{
    AddEnumeratedOnly({"Foo"});
    winsim::DenyKeyAccess(kServicesKey, KEY_READ);
    winsim::AddKey(kClassKey);
    int before = winsim::CallCount("RegOpenKeyExA");
    ASSERT_EQ(Rebuild({"Foo", "Bar", "Baz"}), 1);
    // The class key, one probe per entry, and the services key once.
    EXPECT_EQ(winsim::CallCount("RegOpenKeyExA") - before, 1 + 3 + 1);
    EXPECT_EQ(winsim::CallCount("RegEnumKeyExA"), 0);
}

}  // namespace
