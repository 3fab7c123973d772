// Text as the offline repair sees it: the wizard's ANSI registry calls hand it
// 8-bit text in the installation's ANSI code page, the hive stores UTF-16LE,
// hivex speaks UTF-8, and the terminal shows UTF-8.
#ifndef VEROLUND_HIVESEAM_CODEPAGE_H
#define VEROLUND_HIVESEAM_CODEPAGE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace hiveseam {

// The single-byte ANSI code pages of Windows 2000/XP: 874 and 1250 to 1258.
// Anything else, the double-byte pages 932, 936, 949 and 950 among them, is
// refused and the selection stays as it was. The default is 1252.
bool SelectCodePage(unsigned codePage);
unsigned SelectedCodePage();

// One code unit per byte and one byte per code unit, as the ANSI registry
// calls convert: a zero stays a zero, and a code unit the page lacks
// becomes '?'.
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view text);

// Each ill-formed UTF-8 sequence, and each lone surrogate, becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
std::string AnsiToUtf8(std::string_view ansi);

// The registry matches key and value names ignoring case by upcasing each
// UTF-16 code unit; the comparison orders like one of the upcased names
// (negative, zero or positive).
char16_t UpcaseName(char16_t c);
int CompareNamesIgnoringCase(std::u16string_view a, std::u16string_view b);

// Single characters, for the iconv that hivex calls (iconv.cpp); in utf8.cpp,
// which needs no C++ library.
enum class Decoded { Character, Invalid, Incomplete };
// One character of UTF-8 from the start of text, which is not empty. *used is
// the bytes it takes up: for an invalid sequence the longest start of a
// sequence that cannot be completed (Unicode's "maximal subpart"), so that a
// bad byte never swallows the good character after it; for a sequence that
// the end of text cuts short, the rest of text.
Decoded DecodeUtf8(std::string_view text, char32_t *c, size_t *used);
// The UTF-8 bytes of c, a character (no surrogate), into out: 1 to 4.
size_t EncodeUtf8(char32_t c, char *out);

}  // namespace hiveseam

#endif
