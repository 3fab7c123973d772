#include <gtest/gtest.h>

#include <string>

#include "filters/services.h"
#include "tests/support.h"

namespace {

class ServiceLookup : public MachineTest {};

std::string ServicePath(const std::string &name)
{
    return std::string(kServicesKey) + "\\" + name;
}

TEST_F(ServiceLookup, Table)
{
    struct Case {
        const char *name;
        void (*arrange)();
        std::string asked;
        int registered;
    };
    const Case cases[] = {
        {"key opens directly", [] { AddServices({"PartMgr"}); }, "partmgr", 1},
        {"no such key", [] { AddServices({"PartMgr"}); }, "foo", 0},
        {"unreadable key found by enumeration, ignoring case",
         [] {
             AddServices({"Alpha", "FOO"});
             winsim::DenyKeyAccess(ServicePath("FOO"), KEY_READ);
         },
         "foo", 1},
        {"a long sub-key name does not end the enumeration",
         [] {
             AddServices({std::string(200, 'a'), "Foo"});
             winsim::DenyKeyAccess(ServicePath("Foo"), KEY_READ);
         },
         "foo", 1},
        {"services key cannot be opened",
         [] {
             AddServices({"Foo"});
             winsim::DenyKeyAccess(ServicePath("Foo"), KEY_READ);
             winsim::DenyKeyAccess(kServicesKey, KEY_READ);
         },
         "foo", 0},
        {"enumeration fails",
         [] {
             AddServices({"Foo"});
             winsim::DenyKeyAccess(ServicePath("Foo"), KEY_READ);
             winsim::FailCall("RegEnumKeyExA", ERROR_ACCESS_DENIED);
         },
         "foo", 0},
        {"path to a deeper key is not a service", [] { AddServices({"Foo\\Enum"}); }, "foo\\enum",
         0},
        {"empty name", [] { AddServices({"Foo"}); }, "", 0},
        {"name of 255 characters fits the path", [] { AddServices({std::string(255, 'n')}); },
         std::string(255, 'n'), 1},
        {"name longer than any key name", [] { AddServices({std::string(300, 'n')}); },
         std::string(300, 'n'), 0},
    };
    for (const Case &c : cases) {
        winsim::Reset();
        c.arrange();
        EXPECT_EQ(ServiceIsRegistered(c.asked.c_str()), c.registered) << c.name;
        EXPECT_TRUE(winsim::OpenKeys().empty()) << c.name << ": a key stayed open";
    }
}

TEST_F(ServiceLookup, RefusedNamesOpenNothing)
{
    AddServices({"Foo\\Enum"});
    EXPECT_EQ(ServiceIsRegistered("foo\\enum"), 0);
    EXPECT_EQ(ServiceIsRegistered(""), 0);
    EXPECT_EQ(winsim::CallCount("RegOpenKeyExA"), 0);
}

}  // namespace
