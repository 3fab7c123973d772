// The UTF-8 steps on their own, so that the iconv for hivex (iconv.cpp) links
// into a program without the C++ library.
#include "hiveseam/codepage.h"

namespace hiveseam {

namespace {

struct Utf8Lead {
    size_t length;  // 0: the byte starts no sequence
    char32_t bits;
    unsigned char low;   // the range of the first continuation byte, narrower
    unsigned char high;  // where it would be overlong, a surrogate or past U+10FFFF
};

Utf8Lead ReadLead(unsigned char lead)
{
    if (lead < 0x80)
        return {1, lead, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2, lead & 0x1FU, 0x80, 0xBF};
    if (lead >= 0xE0 && lead <= 0xEF)
        return {3, lead & 0x0FU, static_cast<unsigned char>(lead == 0xE0 ? 0xA0 : 0x80),
                static_cast<unsigned char>(lead == 0xED ? 0x9F : 0xBF)};
    if (lead >= 0xF0 && lead <= 0xF4)
        return {4, lead & 0x07U, static_cast<unsigned char>(lead == 0xF0 ? 0x90 : 0x80),
                static_cast<unsigned char>(lead == 0xF4 ? 0x8F : 0xBF)};
    return {0, 0, 0, 0};
}

}  // namespace

Decoded DecodeUtf8(std::string_view text, char32_t *c, size_t *used)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const Utf8Lead lead = ReadLead(byte(0));
    *used = 1;
    if (lead.length == 0)
        return Decoded::Invalid;
    char32_t value = lead.bits;
    unsigned char low = lead.low;
    unsigned char high = lead.high;
    for (size_t k = 1; k < lead.length; ++k) {
        if (k >= text.size()) {
            *used = text.size();
            return Decoded::Incomplete;
        }
        if (byte(k) < low || byte(k) > high) {
            *used = k;
            return Decoded::Invalid;
        }
        value = (value << 6) | (byte(k) & 0x3FU);
        low = 0x80;
        high = 0xBF;
    }
    *c = value;
    *used = lead.length;
    return Decoded::Character;
}

size_t EncodeUtf8(char32_t c, char *out)
{
    const auto put = [&](size_t i, char32_t bits) { out[i] = static_cast<char>(bits); };
    if (c < 0x80) {
        put(0, c);
        return 1;
    }
    if (c < 0x800) {
        put(0, 0xC0 | (c >> 6));
        put(1, 0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        put(0, 0xE0 | (c >> 12));
        put(1, 0x80 | ((c >> 6) & 0x3F));
        put(2, 0x80 | (c & 0x3F));
        return 3;
    }
    put(0, 0xF0 | (c >> 18));
    put(1, 0x80 | ((c >> 12) & 0x3F));
    put(2, 0x80 | ((c >> 6) & 0x3F));
    put(3, 0x80 | (c & 0x3F));
    return 4;
}

}  // namespace hiveseam
