#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "filters/multistring.h"
#include "tests/support.h"

namespace {

struct RenderCase {
    const char *name;
    std::string list;
    std::string expected;
};

std::string Render(const std::string &list)
{
    char text[RENDER_SIZE + 16];
    std::memset(text, 'Z', sizeof text);
    RenderMultiString(reinterpret_cast<const unsigned char *>(list.data()), list.size(), text);
    EXPECT_EQ(text[RENDER_SIZE], 'Z') << "rendering wrote past its buffer";
    return text;
}

TEST(RenderMultiString, Table)
{
    const RenderCase cases[] = {
        {"two entries", MultiSz({"Foo", "Bar"}), "Foo|Bar"},
        {"starts with two zeros", Bytes("\0\0"), ""},
        {"no bytes at all", "", ""},
        {"first entry empty", Bytes("\0Foo\0\0"), "|Foo"},
        {"empty entry in the middle ends it", Bytes("Foo\0\0Bar\0\0"), "Foo"},
        {"bytes beyond the size count as zeros", "Foo", "Foo"},
        {"one letter, no terminator", "x", "x"},
        {"cut after 259 characters", std::string(300, 'a'), std::string(259, 'a')},
        {"cut right behind a separator keeps it", MultiSz({std::string(258, 'a'), "Bar"}),
         std::string(258, 'a') + "|"},
    };
    for (const RenderCase &c : cases)
        EXPECT_EQ(Render(c.list), c.expected) << c.name;
}

}  // namespace
