#include "hiveseam/codepage.h"

#include <algorithm>
#include <iterator>

namespace hiveseam {

namespace {

struct UnitToByte {
    char16_t unit;
    unsigned char byte;
};

struct CodePageTable {
    unsigned codePage;
    char16_t toUnicode[256];
    UnitToByte fromUnicode[256];  // sorted by unit
};

#include "codepage_tables.inc"

constexpr const CodePageTable *FindCodePage(unsigned codePage) noexcept
{
    // std::find_if is not constexpr before C++20.
    for (const CodePageTable &table : kCodePages)
        // cppcheck-suppress useStlAlgorithm
        if (table.codePage == codePage)
            return &table;
    return nullptr;
}

// Constant-initialized, so that it is set before any other file's start-up
// code can ask.
const CodePageTable *selected = FindCodePage(1252);

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf16(std::u16string &out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (c >> 10));
    out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
}

char16_t UpcaseLatin(char16_t c)
{
    const bool odd = (c & 1) != 0;
    if (c >= 'a' && c <= 'z')
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return odd ? static_cast<char16_t>(c - 1) : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return odd ? c : static_cast<char16_t>(c - 1);
    // The other small letters of the supported code pages: f with hook (1252
    // and others), o and u with horn (1258).
    if (c == 0x192 || c == 0x1A1 || c == 0x1B0)
        return static_cast<char16_t>(c - 1);
    return c;
}

char16_t UpcaseGreek(char16_t c)
{
    if (c == 0x3AC)
        return 0x386;
    if (c >= 0x3AD && c <= 0x3AF)
        return static_cast<char16_t>(c - 37);
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2)
        return static_cast<char16_t>(c - 0x20);
    if (c == 0x3CC)
        return 0x38C;
    if (c == 0x3CD || c == 0x3CE)
        return static_cast<char16_t>(c - 63);
    return c;
}

char16_t UpcaseCyrillic(char16_t c)
{
    if (c >= 0x430 && c <= 0x44F)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    if (c == 0x491)  // ghe with upturn, 1251
        return 0x490;
    return c;
}

}  // namespace

bool SelectCodePage(unsigned codePage)
{
    const CodePageTable *table = FindCodePage(codePage);
    if (table == nullptr)
        return false;
    selected = table;
    return true;
}

unsigned SelectedCodePage()
{
    return selected->codePage;
}

std::u16string AnsiToUtf16(std::string_view ansi)
{
    std::u16string out;
    out.reserve(ansi.size());
    for (char c : ansi)
        out += selected->toUnicode[static_cast<unsigned char>(c)];
    return out;
}

// Windows converts a single-byte page one UTF-16 code unit at a time, so a
// character outside the BMP, a surrogate pair, comes out as two '?', and the
// ANSI text keeps one byte per code unit.
std::string Utf16ToAnsi(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    const UnitToByte *begin = std::begin(selected->fromUnicode);
    const UnitToByte *end = std::end(selected->fromUnicode);
    for (char16_t unit : text) {
        const UnitToByte *found = std::lower_bound(
            begin, end, unit, [](const UnitToByte &entry, char16_t u) { return entry.unit < u; });
        out += (found != end && found->unit == unit) ? static_cast<char>(found->byte) : '?';
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (IsHighSurrogate(c) || IsLowSurrogate(c))
            c = kReplacement;
        char bytes[4];
        out.append(bytes, EncodeUtf8(c, bytes));
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    while (!text.empty()) {
        char32_t c = kReplacement;
        size_t used = 0;
        if (DecodeUtf8(text, &c, &used) != Decoded::Character)
            c = kReplacement;
        AppendUtf16(out, c);
        text.remove_prefix(used);
    }
    return out;
}

std::string AnsiToUtf8(std::string_view ansi)
{
    return Utf16ToUtf8(AnsiToUtf16(ansi));
}

// Each capital here is the upcase of exactly one small letter, as in the
// registry's own table: 'i' alone becomes 'I' (dotless U+0131 stays), 's'
// alone 'S' (long s U+017F stays), sigma alone Sigma (final sigma U+03C2
// stays). Letters whose capital is two characters (sharp s U+00DF, U+0149,
// U+0390, U+03B0) or none (U+0138) stay too, and so does the micro sign U+00B5.
char16_t UpcaseName(char16_t c)
{
    if (c < 0x250)
        return UpcaseLatin(c);
    if (c >= 0x370 && c < 0x400)
        return UpcaseGreek(c);
    if (c >= 0x400 && c < 0x500)
        return UpcaseCyrillic(c);
    return c;
}

int CompareNamesIgnoringCase(std::u16string_view a, std::u16string_view b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const int difference = static_cast<int>(UpcaseName(a[i])) - UpcaseName(b[i]);
        if (difference != 0)
            return difference;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace hiveseam
