#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "text/text.h"

namespace {

struct FormatCase {
    const char *name;
    size_t size;
    const char *pattern;
    const char *argument;
    int fits;
    const char *expected;
};

const FormatCase kFormatCases[] = {
    {"argument replaces %s", 64, "Fail - Missing %s", "PartMgr", 1, "Fail - Missing PartMgr"},
    {"other percents stay literal", 64, "100% %d %s", "x", 1, "100% %d x"},
    {"exact fit", 4, "%s", "abc", 1, "abc"},
    {"one byte short is cut", 3, "%s", "abc", 0, "ab"},
    {"cut inside the pattern", 6, "Fail - %s", "x", 0, "Fail "},
    {"null argument is empty", 8, "<%s>", nullptr, 1, "<>"},
};

TEST(FormatText, Table)
{
    for (const FormatCase &c : kFormatCases) {
        char out[80];
        std::memset(out, 'Z', sizeof out);
        EXPECT_EQ(FormatText(out, c.size, c.pattern, c.argument), c.fits) << c.name;
        EXPECT_STREQ(out, c.expected) << c.name;
        EXPECT_EQ(out[c.size], 'Z') << c.name << ": wrote past the buffer";
    }
}

TEST(LowercaseAscii, FoldsOnlyAsciiLetters)
{
    char text[] = "PartMgr-AZaz@[\xC4\xD6";
    LowercaseAscii(text);
    EXPECT_STREQ(text, "partmgr-azaz@[\xC4\xD6");
}

}  // namespace
