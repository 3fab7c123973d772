#include <gtest/gtest.h>

#include <dlfcn.h>
#include <iconv.h>

#include <cerrno>
#include <string>
#include <vector>

#include "hiveseam/codepage.h"

namespace {

using hiveseam::AnsiToUtf16;
using hiveseam::AnsiToUtf8;
using hiveseam::CompareNamesIgnoringCase;
using hiveseam::SelectCodePage;
using hiveseam::SelectedCodePage;
using hiveseam::UpcaseName;
using hiveseam::Utf16ToAnsi;
using hiveseam::Utf16ToUtf8;
using hiveseam::Utf8ToUtf16;

const unsigned kSupported[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

// Every test starts and ends on the default page.
class CodePage : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(SelectCodePage(1252));
    }
    void TearDown() override
    {
        SelectCodePage(1252);
    }
};

TEST_F(CodePage, DefaultIs1252)
{
    EXPECT_EQ(SelectedCodePage(), 1252u);
}

struct ByteCase {
    unsigned codePage;
    unsigned char byte;
    char16_t unit;
};

const ByteCase kByteCases[] = {
    {1252, 0x41, u'A'},
    {1252, 0x00, 0x0000},
    {1252, 0x80, 0x20AC},
    {1252, 0x9F, 0x0178},
    {1252, 0xE9, 0x00E9},
    {1250, 0x8A, 0x0160},
    {1250, 0xB9, 0x0105},
    {1251, 0xC0, 0x0410},
    {1251, 0xFF, 0x044F},
    {1251, 0x88, 0x20AC},
    {1253, 0xC1, 0x0391},
    {1253, 0xA2, 0x0386},
    {1254, 0xD0, 0x011E},
    {1254, 0xFD, 0x0131},
    {1254, 0xDD, 0x0130},
    {1255, 0xE0, 0x05D0},
    {1255, 0xA4, 0x20AA},
    {1256, 0xC7, 0x0627},
    {1256, 0x81, 0x067E},
    {1257, 0xC0, 0x0104},
    {1257, 0xB8, 0x00F8},
    {1258, 0xC3, 0x0102},
    {1258, 0xD2, 0x0309},
    {1258, 0xFE, 0x20AB},
    {874, 0xA1, 0x0E01},
    {874, 0x80, 0x20AC},
    // Bytes the page leaves undefined pass through as U+0000 + byte.
    {1252, 0x81, 0x0081},
    {1252, 0x8D, 0x008D},
    {1252, 0x8F, 0x008F},
    {1252, 0x90, 0x0090},
    {1252, 0x9D, 0x009D},
    {1250, 0x83, 0x0083},
    {1251, 0x98, 0x0098},
    {1253, 0xAA, 0x00AA},
    {1257, 0xA1, 0x00A1},
    {874, 0xDB, 0x00DB},
    {874, 0xFF, 0x00FF},
};

TEST_F(CodePage, BytesStandForTheirPagesCharacters)
{
    for (const ByteCase &c : kByteCases) {
        ASSERT_TRUE(SelectCodePage(c.codePage)) << c.codePage;
        const std::string ansi(1, static_cast<char>(c.byte));
        EXPECT_EQ(AnsiToUtf16(ansi), std::u16string(1, c.unit))
            << "cp" << c.codePage << " byte " << int(c.byte);
        EXPECT_EQ(Utf16ToAnsi(std::u16string(1, c.unit)), ansi)
            << "cp" << c.codePage << " unit " << int(c.unit);
    }
}

TEST_F(CodePage, EveryByteOfEveryPageComesBackUnchanged)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    for (unsigned page : kSupported) {
        ASSERT_TRUE(SelectCodePage(page)) << page;
        const std::u16string text = AnsiToUtf16(all);
        ASSERT_EQ(text.size(), 256u) << page;
        EXPECT_EQ(Utf16ToAnsi(text), all) << page;
    }
}

TEST_F(CodePage, UnsupportedPagesAreRefusedAndLeaveTheSelection)
{
    ASSERT_TRUE(SelectCodePage(1251));
    for (unsigned page : {932u, 936u, 949u, 950u, 65001u, 437u, 850u, 1200u, 0u, 1259u}) {
        EXPECT_FALSE(SelectCodePage(page)) << page;
        EXPECT_EQ(SelectedCodePage(), 1251u) << page;
    }
    EXPECT_EQ(AnsiToUtf16("\xCF\xF0\xE8"), u"При");
}

struct ToAnsiCase {
    const char *name;
    unsigned codePage;
    std::u16string text;
    std::string ansi;
};

const ToAnsiCase kToAnsiCases[] = {
    {"a character the page lacks", 1252, u"A\u0100B", "A?B"},
    {"a CJK character", 1252, u"\u4E2D", "?"},
    {"e acute is not Cyrillic", 1251, u"\u00E9\u0436", "?\xE6"},
    {"a real question mark stays", 1252, u"Vol?Snap", "Vol?Snap"},
    // One '?' per code unit, as Windows converts a single-byte page.
    {"a pair outside the BMP", 1252, u"a\U0001F600b", "a??b"},
    {"a lone high surrogate", 1252, std::u16string{u'a', char16_t(0xD83D), u'b'}, "a?b"},
    {"a lone low surrogate", 1252, std::u16string{char16_t(0xDE00)}, "?"},
    {"zeros stay zeros", 1252, std::u16string(u"a\0b\0", 4), std::string("a\0b\0", 4)},
};

TEST_F(CodePage, Utf16ToAnsiKeepsOneBytePerCodeUnit)
{
    for (const ToAnsiCase &c : kToAnsiCases) {
        ASSERT_TRUE(SelectCodePage(c.codePage)) << c.name;
        EXPECT_EQ(Utf16ToAnsi(c.text), c.ansi) << c.name;
    }
}

TEST_F(CodePage, AnsiToUtf16KeepsZeros)
{
    EXPECT_EQ(AnsiToUtf16(std::string("Disk\0\x80\0", 7)), std::u16string(u"Disk\0\u20AC\0", 7));
    EXPECT_EQ(AnsiToUtf16(""), u"");
}

TEST_F(CodePage, AnsiToUtf8FollowsTheSelectedPage)
{
    EXPECT_EQ(AnsiToUtf8("\x80\xE9"), "\u20AC\u00E9");
    ASSERT_TRUE(SelectCodePage(1251));
    EXPECT_EQ(AnsiToUtf8("\x80\xE9"), "\u0402\u0439");
}

struct Utf8Case {
    const char *name;
    std::string utf8;
    std::u16string text;
};

const Utf8Case kUtf8Cases[] = {
    {"ASCII", "PartMgr", u"PartMgr"},
    {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
     u"\u00E9\u20AC\U0001F600"},
    {"a zero inside", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    {"a stray continuation byte",
     "a\x80"
     "b",
     u"a\uFFFD"
     "b"},
    {"a bad continuation keeps the next character",
     "\xC3"
     "A",
     u"\uFFFD"
     "A"},
    {"a truncated sequence is one replacement",
     "\xE2\x82"
     "A",
     u"\uFFFD"
     "A"},
    {"truncated at the end", "x\xF0\x9F\x98", u"x\uFFFD"},
    {"overlong two bytes", "\xC0\xAF", u"\uFFFD\uFFFD"},
    {"overlong three bytes", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"an encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"a byte that never starts a sequence",
     "\xF5"
     "a\xFF",
     u"\uFFFD"
     "a\uFFFD"},
    {"the last characters of each length", "\x7F\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF",
     u"\u007F\u07FF\uFFFF\U0010FFFF"},
};

TEST(Utf8, DecodesAndReplacesEachBadSequence)
{
    for (const Utf8Case &c : kUtf8Cases)
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.text) << c.name;
}

TEST(Utf8, EncodesAndReplacesLoneSurrogates)
{
    EXPECT_EQ(Utf16ToUtf8(u"\u00E9\u20AC\U0001F600\U0010FFFF"),
              "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    const std::u16string loneHigh{u'a', char16_t(0xD800), u'b'};
    const std::u16string loneHighAtEnd{u'a', char16_t(0xDBFF)};
    const std::u16string reversed{char16_t(0xDE00), char16_t(0xD83D)};
    EXPECT_EQ(Utf16ToUtf8(loneHigh), "a\xEF\xBF\xBD"
                                     "b");
    EXPECT_EQ(Utf16ToUtf8(loneHighAtEnd), "a\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(u"\0", 1)), std::string("\0", 1));
}

struct UpcaseCase {
    char16_t small;
    char16_t capital;
};

const UpcaseCase kUpcaseCases[] = {
    {u'a', u'A'},     {u'z', u'Z'},     {u'A', u'A'},     {u'`', u'`'},     {u'{', u'{'},
    {u'_', u'_'},     {0x00E0, 0x00C0}, {0x00FE, 0x00DE}, {0x00F7, 0x00F7}, {0x00FF, 0x0178},
    {0x00B5, 0x00B5}, {0x00DF, 0x00DF}, {0x0101, 0x0100}, {0x0100, 0x0100}, {0x012F, 0x012E},
    {0x0130, 0x0130}, {0x0131, 0x0131}, {0x0133, 0x0132}, {0x0137, 0x0136}, {0x0138, 0x0138},
    {0x0139, 0x0139}, {0x013A, 0x0139}, {0x0148, 0x0147}, {0x0149, 0x0149}, {0x014B, 0x014A},
    {0x0177, 0x0176}, {0x0178, 0x0178}, {0x017A, 0x0179}, {0x017E, 0x017D}, {0x017F, 0x017F},
    {0x03AC, 0x0386}, {0x03AD, 0x0388}, {0x03AF, 0x038A}, {0x03B0, 0x03B0}, {0x03B1, 0x0391},
    {0x03C1, 0x03A1}, {0x03C2, 0x03C2}, {0x03C3, 0x03A3}, {0x03C9, 0x03A9}, {0x03CA, 0x03AA},
    {0x03CB, 0x03AB}, {0x03CC, 0x038C}, {0x03CD, 0x038E}, {0x03CE, 0x038F}, {0x0430, 0x0410},
    {0x044F, 0x042F}, {0x0450, 0x0400}, {0x0451, 0x0401}, {0x045F, 0x040F}, {0x0460, 0x0460},
    {0x0180, 0x0180}, {0xFF41, 0xFF41}, {0x0192, 0x0191}, {0x0191, 0x0191}, {0x01A1, 0x01A0},
    {0x01B0, 0x01AF}, {0x0491, 0x0490}, {0x0490, 0x0490}, {0x0193, 0x0193}, {0x0492, 0x0492},
};

TEST(UpcaseName, Table)
{
    for (const UpcaseCase &c : kUpcaseCases)
        EXPECT_EQ(int(UpcaseName(c.small)), int(c.capital)) << std::hex << int(c.small);
}

// Names that differ only in case must be one name, and no two different
// small letters may become one capital: dotless i, long s and final sigma
// would otherwise make three names of "I", "S" and Sigma.
TEST(UpcaseName, IsIdempotentAndPairsOneSmallLetterWithEachCapital)
{
    std::vector<char16_t> smallOf(0x10000, 0);
    for (unsigned c = 0; c < 0x10000; ++c) {
        const char16_t capital = UpcaseName(char16_t(c));
        ASSERT_EQ(UpcaseName(capital), capital) << std::hex << c;
        if (capital == c)
            continue;
        ASSERT_EQ(smallOf[capital], 0) << std::hex << c << " and " << int(smallOf[capital]);
        smallOf[capital] = char16_t(c);
    }
}

struct CompareCase {
    std::u16string a;
    std::u16string b;
    int sign;
};

const CompareCase kCompareCases[] = {
    {u"PartMgr", u"PARTMGR", 0},
    {u"partmgr", u"PartMgs", -1},
    {u"Disk", u"DiskPerf", -1},
    {u"DiskPerf", u"disk", 1},
    {u"", u"", 0},
    {u"", u"a", -1},
    // Upcased, '_' (0x5F) sorts after every letter.
    {u"_x", u"ax", 1},
    {u"\u00FFber", u"\u0178BER", 0},
    {u"\u041A\u043E\u043D\u0442\u0440\u043E\u043B\u044C",
     u"\u041A\u041E\u041D\u0422\u0420\u041E\u041B\u042C", 0},
    {u"\u0131", u"I", 1},
    {u"\u03C2", u"\u03A3", 1},
    {u"stra\u00DFe", u"STRASSE", 1},
};

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(CompareNamesIgnoringCase, Table)
{
    for (const CompareCase &c : kCompareCases) {
        const std::string names = Utf16ToUtf8(c.a) + " / " + Utf16ToUtf8(c.b);
        EXPECT_EQ(Sign(CompareNamesIgnoringCase(c.a, c.b)), c.sign) << names;
        EXPECT_EQ(Sign(CompareNamesIgnoringCase(c.b, c.a)), -c.sign) << names;
    }
}

// iconv, as hivex calls it.

struct Converted {
    size_t result;
    int error;
    std::string out;
    size_t inLeft;
};

Converted Convert(const char *to, const char *from, const std::string &input, size_t room = 256)
{
    iconv_t cd = iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << from << " to " << to;
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {0, 0, "", 0};
    std::string in = input;
    std::string out(room, '\x5A');
    char *inp = in.data();
    size_t inLeft = in.size();
    char *outp = out.data();
    size_t outLeft = room;
    errno = 0;
    const size_t result = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    const int error = result == static_cast<size_t>(-1) ? errno : 0;
    EXPECT_EQ(inp, in.data() + (in.size() - inLeft)) << "input pointer and count disagree";
    EXPECT_EQ(outp, out.data() + (room - outLeft)) << "output pointer and count disagree";
    EXPECT_EQ(iconv_close(cd), 0);
    out.resize(room - outLeft);
    return {result, error, out, inLeft};
}

const char *const kEncodings[] = {"UTF-8", "UTF-16LE", "LATIN1"};

TEST(Iconv, ConvertsBetweenEachPairOfEncodings)
{
    // One text in each encoding: A, a zero, A umlaut, y diaeresis, a no-break space.
    const std::string samples[] = {
        std::string("A\0\xC3\x84\xC3\xBF\xC2\xA0", 8),
        std::string("A\0\0\0\xC4\0\xFF\0\xA0\0", 10),
        std::string("A\0\xC4\xFF\xA0", 5),
    };
    for (int from = 0; from < 3; ++from) {
        for (int to = 0; to < 3; ++to) {
            const Converted c = Convert(kEncodings[to], kEncodings[from], samples[from]);
            EXPECT_EQ(c.result, 0u) << kEncodings[from] << " to " << kEncodings[to];
            EXPECT_EQ(c.out, samples[to]) << kEncodings[from] << " to " << kEncodings[to];
            EXPECT_EQ(c.inLeft, 0u);
        }
    }
}

TEST(Iconv, Utf8AndUtf16LeCarryCharactersBeyondLatin1)
{
    const std::string utf8 = "\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBF";
    const std::string utf16("\xAC\x20\x3D\xD8\x00\xDE\xFF\xFF", 8);
    EXPECT_EQ(Convert("UTF-16LE", "UTF-8", utf8).out, utf16);
    EXPECT_EQ(Convert("UTF-8", "UTF-16LE", utf16).out, utf8);
}

TEST(Iconv, Utf16LeHasNoByteOrderMark)
{
    EXPECT_EQ(Convert("UTF-16LE", "UTF-8", "A").out, std::string("A\0", 2));
    // A leading FF FE is U+FEFF, an ordinary character, not a mark to drop.
    EXPECT_EQ(Convert("UTF-8", "UTF-16LE",
                      std::string("\xFF\xFE"
                                  "A\0",
                                  4))
                  .out,
              "\xEF\xBB\xBF"
              "A");
    EXPECT_EQ(Convert("UTF-8", "UTF-16LE", std::string("\xFE\xFF", 2)).out, "\xEF\xBF\xBE");
}

TEST(Iconv, AcceptsTheUsualNamesInAnyCase)
{
    const struct {
        const char *to;
        const char *from;
        std::string expected;
    } cases[] = {
        {"utf-16le", "utf8", std::string("A\0", 2)},
        {"UTF16LE", "Utf-8", std::string("A\0", 2)},
        {"latin1", "UTF-8", "A"},
        {"ISO-8859-1", "UTF-8", "A"},
        {"iso_8859-1", "UTF-8", "A"},
        {"ISO8859-1", "UTF-8", "A"},
        {"l1", "UTF-8", "A"},
        {"LATIN1//TRANSLIT", "UTF-8", "A"},
        {"UTF-8//IGNORE", "LATIN1", "A"},
        {"LATIN1//TRANSLIT//IGNORE", "UTF-8", "A"},
        {"LATIN1//TRANSLIT,IGNORE", "UTF-8", "A"},
        {"UTF-8", "ISO-8859-1", "A"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Convert(c.to, c.from, "A").out, c.expected) << c.from << " to " << c.to;
}

TEST(Iconv, RefusesOtherEncodings)
{
    const char *const names[] = {"UTF-16", "UTF-16BE", "UCS-2",  "CP1252",        "WINDOWS-1252",
                                 "ASCII",  "",         "UTF-8X", "LATIN1//BOGUS", "LATIN-1"};
    for (const char *name : names) {
        for (const char *other : {"UTF-8", "LATIN1"}) {
            errno = 0;
            EXPECT_EQ(iconv_open(name, other), reinterpret_cast<iconv_t>(-1)) << name;
            EXPECT_EQ(errno, EINVAL) << name;
            errno = 0;
            EXPECT_EQ(iconv_open(other, name), reinterpret_cast<iconv_t>(-1)) << name;
            EXPECT_EQ(errno, EINVAL) << name;
        }
    }
}

struct FailureCase {
    const char *name;
    const char *to;
    const char *from;
    std::string input;
    int error;
    std::string out;  // what came before the failure
    size_t inLeft;    // from the character that stopped it
};

const FailureCase kFailureCases[] = {
    {"invalid UTF-8 byte", "UTF-16LE", "UTF-8",
     "a\xFF"
     "b",
     EILSEQ, std::string("a\0", 2), 2},
    {"bad continuation", "UTF-16LE", "UTF-8", "a\xC3(", EILSEQ, std::string("a\0", 2), 2},
    {"encoded surrogate", "UTF-16LE", "UTF-8", "\xED\xA0\x80", EILSEQ, "", 3},
    {"overlong", "LATIN1", "UTF-8", "a\xC1\x81", EILSEQ, "a", 2},
    {"above U+10FFFF", "UTF-16LE", "UTF-8", "\xF4\x90\x80\x80", EILSEQ, "", 4},
    {"lone low surrogate", "UTF-8", "UTF-16LE", std::string("a\0\x00\xDC", 4), EILSEQ, "a", 2},
    {"high surrogate without its low", "UTF-8", "UTF-16LE",
     std::string("\x3D\xD8"
                 "A\0",
                 4),
     EILSEQ, "", 4},
    {"euro into LATIN1", "LATIN1", "UTF-8", "a\xE2\x82\xAC", EILSEQ, "a", 3},
    {"U+0100 into LATIN1", "LATIN1", "UTF-16LE", std::string("\xFF\0\0\x01", 4), EILSEQ, "\xFF", 2},
    {"UTF-8 cut at the end", "UTF-16LE", "UTF-8", "a\xE2\x82", EINVAL, std::string("a\0", 2), 2},
    {"UTF-8 lead byte at the end", "LATIN1", "UTF-8", "ab\xF0", EINVAL, "ab", 1},
    {"odd byte of UTF-16LE", "UTF-8", "UTF-16LE", std::string("A\0B", 3), EINVAL, "A", 1},
    {"high surrogate at the end", "UTF-8", "UTF-16LE", std::string("A\0\x3D\xD8", 4), EINVAL, "A",
     2},
    {"half a pair into LATIN1 is still incomplete", "LATIN1", "UTF-16LE",
     std::string("\x3D\xD8\x00", 3), EINVAL, "", 3},
};

TEST(Iconv, StopsAtTheCharacterThatCannotBeConverted)
{
    for (const FailureCase &c : kFailureCases) {
        const Converted r = Convert(c.to, c.from, c.input);
        EXPECT_EQ(r.result, static_cast<size_t>(-1)) << c.name;
        EXPECT_EQ(r.error, c.error) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
        EXPECT_EQ(r.inLeft, c.inLeft) << c.name;
    }
}

TEST(Iconv, FullOutputStopsBeforeTheCharacterThatDoesNotFit)
{
    // 'a' and 'b' fit in five bytes of UTF-16LE, the euro sign does not.
    const Converted r = Convert("UTF-16LE", "UTF-8", "ab\xE2\x82\xAC", 5);
    EXPECT_EQ(r.result, static_cast<size_t>(-1));
    EXPECT_EQ(r.error, E2BIG);
    EXPECT_EQ(r.out, std::string("a\0b\0", 4));
    EXPECT_EQ(r.inLeft, 3u);

    const Converted none = Convert("UTF-16LE", "UTF-8", "\xF0\x9F\x98\x80", 3);
    EXPECT_EQ(none.error, E2BIG);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.inLeft, 4u);
}

TEST(Iconv, ResumesAfterFullOutputWithATinyBuffer)
{
    const struct {
        const char *to;
        const char *from;
        std::string input;
        std::string expected;
    } cases[] = {
        {"UTF-16LE", "UTF-8",
         "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
         "b",
         std::string("a\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE"
                     "b\0",
                     12)},
        {"UTF-8", "UTF-16LE",
         std::string("a\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE"
                     "b\0",
                     12),
         "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
         "b"},
        {"UTF-8", "LATIN1",
         "\xE9\xFF"
         "a\xC4",
         "\xC3\xA9\xC3\xBF"
         "a\xC3\x84"},
    };
    for (const auto &c : cases) {
        for (size_t room : {4u, 5u, 7u}) {
            iconv_t cd = iconv_open(c.to, c.from);
            ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
            std::string in = c.input;
            char *inp = in.data();
            size_t inLeft = in.size();
            std::string all;
            for (int calls = 0; calls < 20; ++calls) {
                char out[8];
                char *outp = out;
                size_t outLeft = room;
                const size_t result = iconv(cd, &inp, &inLeft, &outp, &outLeft);
                all.append(out, room - outLeft);
                if (result != static_cast<size_t>(-1))
                    break;
                ASSERT_EQ(errno, E2BIG) << c.from << " room " << room;
                ASSERT_LT(outLeft, room) << "no progress, room " << room;
            }
            EXPECT_EQ(inLeft, 0u) << c.from << " room " << room;
            EXPECT_EQ(all, c.expected) << c.from << " room " << room;
            iconv_close(cd);
        }
    }
}

TEST(Iconv, NullInputResetsAndWritesNothing)
{
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in = "ab\xE2";
    char *inp = in.data();
    size_t inLeft = in.size();
    char out[16];
    char *outp = out;
    size_t outLeft = sizeof out;
    EXPECT_EQ(iconv(cd, &inp, &inLeft, &outp, &outLeft), static_cast<size_t>(-1));
    EXPECT_EQ(errno, EINVAL);

    EXPECT_EQ(iconv(cd, nullptr, nullptr, nullptr, nullptr), 0u);
    char *const before = outp;
    EXPECT_EQ(iconv(cd, nullptr, nullptr, &outp, &outLeft), 0u);
    EXPECT_EQ(outp, before);
    EXPECT_EQ(outLeft, sizeof out - 4);

    std::string rest = "\xC3\xA9";
    inp = rest.data();
    inLeft = rest.size();
    EXPECT_EQ(iconv(cd, &inp, &inLeft, &outp, &outLeft), 0u);
    EXPECT_EQ(std::string(out, outp), std::string("a\0b\0\xE9\0", 6));
    EXPECT_EQ(iconv_close(cd), 0);
}

TEST(Iconv, EmptyInputConvertsToNothing)
{
    const Converted r = Convert("UTF-8", "UTF-16LE", "");
    EXPECT_EQ(r.result, 0u);
    EXPECT_EQ(r.out, "");
}

TEST(Iconv, TranslitReplacesWhatLatin1CannotHold)
{
    const Converted r = Convert("LATIN1//TRANSLIT", "UTF-8",
                                "a\xE2\x82\xAC"
                                "b\xF0\x9F\x98\x80");
    EXPECT_EQ(r.result, 2u);
    EXPECT_EQ(r.out, "a?b?");
    // Invalid input is still invalid.
    EXPECT_EQ(Convert("LATIN1//TRANSLIT", "UTF-8", "a\xFF").error, EILSEQ);
}

TEST(Iconv, IgnoreSkipsAndReportsAtTheEnd)
{
    const struct {
        const char *to;
        const char *from;
        std::string input;
        std::string out;
    } cases[] = {
        {"LATIN1//IGNORE", "UTF-8",
         "a\xE2\x82\xAC"
         "b",
         "ab"},
        {"UTF-16LE//IGNORE", "UTF-8",
         "a\xFF\xE2\x82"
         "b",
         std::string("a\0b\0", 4)},
        {"UTF-8//IGNORE", "UTF-16LE",
         std::string("a\0\x00\xDC"
                     "b\0",
                     6),
         "ab"},
    };
    for (const auto &c : cases) {
        const Converted r = Convert(c.to, c.from, c.input);
        EXPECT_EQ(r.error, EILSEQ) << c.to;
        EXPECT_EQ(r.out, c.out) << c.to;
        EXPECT_EQ(r.inLeft, 0u) << c.to;
    }
}

// hivex must get this iconv, not glibc's: both come from the same file.
TEST(Iconv, IsTheOneLinkedIn)
{
    Dl_info shim{}, codepage{};
    ASSERT_NE(dladdr(reinterpret_cast<void *>(&iconv_open), &shim), 0);
    ASSERT_NE(dladdr(reinterpret_cast<void *>(&SelectCodePage), &codepage), 0);
    EXPECT_STREQ(shim.dli_fname, codepage.dli_fname);
}

}  // namespace
