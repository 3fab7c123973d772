// iconv for hivex, without glibc's gconv. glibc's iconv loads its converters
// and their configuration from the build machine's files at run time; a
// static program on a rescue system has none of them, and hivex then matches
// no key name at all. Linked ahead of libc, these three definitions take the
// place of glibc's, and know exactly the encodings hivex opens: UTF-8,
// UTF-16LE (no byte order mark, U+FEFF is an ordinary character) and LATIN1.
//
// The contract is iconv's: convert as much as fits and advance the pointers
// and counts past it, then fail with E2BIG (output full), EILSEQ (invalid
// input, or a character LATIN1 cannot hold) or EINVAL (input ends inside a
// character), leaving the input at the character that stopped it.
// "//TRANSLIT" on the target turns a character LATIN1 cannot hold into '?',
// counted as an irreversible conversion; "//IGNORE" skips what cannot be
// converted and reports EILSEQ once the whole input is done, as glibc does.

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "hiveseam/codepage.h"

namespace {

enum class Encoding { Utf8, Utf16Le, Latin1 };

struct Converter {
    Encoding from;
    Encoding to;
    bool translit;
    bool ignore;
};

struct KnownName {
    const char *name;
    Encoding encoding;
};

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameIgnoringCase(const char *a, size_t length, const char *b)
{
    if (std::strlen(b) != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (Upper(a[i]) != b[i])
            return false;
    return true;
}

// Names as glibc spells them, compared ignoring case, with any of the
// suffixes "//TRANSLIT" and "//IGNORE" (also as "//TRANSLIT,IGNORE").
bool ParseEncoding(const char *name, Encoding *encoding, bool *translit, bool *ignore)
{
    static const KnownName kNames[] = {
        {"UTF-8", Encoding::Utf8},
        {"UTF8", Encoding::Utf8},
        {"UTF-16LE", Encoding::Utf16Le},
        {"UTF16LE", Encoding::Utf16Le},
        {"LATIN1", Encoding::Latin1},
        {"L1", Encoding::Latin1},
        {"ISO-8859-1", Encoding::Latin1},
        {"ISO_8859-1", Encoding::Latin1},
        {"ISO8859-1", Encoding::Latin1},
        {"ISO88591", Encoding::Latin1},
        {"ISO_8859-1:1987", Encoding::Latin1},
        {"ISO-IR-100", Encoding::Latin1},
        {"CP819", Encoding::Latin1},
        {"IBM819", Encoding::Latin1},
        {"CSISOLATIN1", Encoding::Latin1},
    };
    const char *suffix = std::strstr(name, "//");
    const size_t length =
        suffix != nullptr ? static_cast<size_t>(suffix - name) : std::strlen(name);
    bool known = false;
    for (const KnownName &entry : kNames) {
        // cppcheck-suppress useStlAlgorithm
        if (SameIgnoringCase(name, length, entry.name)) {
            *encoding = entry.encoding;
            known = true;
            break;
        }
    }
    if (!known)
        return false;
    *translit = *ignore = false;
    const char *at = suffix != nullptr ? suffix : "";
    while (*at != '\0') {
        if (at[0] == '/' && at[1] == '/')
            at += 2;
        else if (at[0] == ',')
            at += 1;
        else
            return false;
        const char *end = at + std::strcspn(at, "/,");
        const size_t word = static_cast<size_t>(end - at);
        if (SameIgnoringCase(at, word, "TRANSLIT"))
            *translit = true;
        else if (SameIgnoringCase(at, word, "IGNORE"))
            *ignore = true;
        else if (word != 0)
            return false;
        at = end;
    }
    return true;
}

using hiveseam::Decoded;

Decoded DecodeUtf16Le(const char *in, size_t left, char32_t *c, size_t *used)
{
    const auto unit = [&](size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(in[i]) |
                                     (static_cast<unsigned char>(in[i + 1]) << 8));
    };
    if (left < 2)
        return Decoded::Incomplete;
    const char32_t first = unit(0);
    *used = 2;
    if (first >= 0xDC00 && first <= 0xDFFF)
        return Decoded::Invalid;
    if (first < 0xD800 || first > 0xDBFF) {
        *c = first;
        return Decoded::Character;
    }
    if (left < 4)
        return Decoded::Incomplete;
    const char32_t second = unit(2);
    if (second < 0xDC00 || second > 0xDFFF)
        return Decoded::Invalid;
    *c = 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
    *used = 4;
    return Decoded::Character;
}

// One character from in, which is not empty; *used is its length, or for an
// invalid sequence the bytes to skip.
Decoded Decode(Encoding encoding, const char *in, size_t left, char32_t *c, size_t *used)
{
    if (encoding == Encoding::Utf8)
        return hiveseam::DecodeUtf8(std::string_view(in, left), c, used);
    if (encoding == Encoding::Utf16Le)
        return DecodeUtf16Le(in, left, c, used);
    *c = static_cast<unsigned char>(in[0]);
    *used = 1;
    return Decoded::Character;
}

size_t EncodeUtf16Le(char32_t c, char *out)
{
    const auto put = [&](size_t i, char32_t unit) {
        out[i] = static_cast<char>(unit & 0xFF);
        out[i + 1] = static_cast<char>(unit >> 8);
    };
    if (c < 0x10000) {
        put(0, c);
        return 2;
    }
    put(0, 0xD800 + ((c - 0x10000) >> 10));
    put(2, 0xDC00 + ((c - 0x10000) & 0x3FF));
    return 4;
}

// The bytes of c in encoding, or 0 when the encoding cannot hold it.
size_t Encode(Encoding encoding, char32_t c, char *out)
{
    if (encoding == Encoding::Utf8)
        return hiveseam::EncodeUtf8(c, out);
    if (encoding == Encoding::Utf16Le)
        return EncodeUtf16Le(c, out);
    if (c > 0xFF)
        return 0;
    out[0] = static_cast<char>(c);
    return 1;
}

// One character from in into bytes: *length bytes of output (0 when
// "//IGNORE" skips it), *used bytes of input; or the error that stops the
// conversion.
int ConvertOne(const Converter &pair, const char *in, size_t left, char *bytes, size_t *length,
               size_t *used, bool *replaced)
{
    char32_t c = 0;
    *length = 0;
    *replaced = false;
    const Decoded decoded = Decode(pair.from, in, left, &c, used);
    if (decoded == Decoded::Incomplete)
        return EINVAL;
    if (decoded == Decoded::Character)
        *length = Encode(pair.to, c, bytes);
    if (decoded == Decoded::Character && *length == 0 && pair.translit) {
        bytes[0] = '?';
        *length = 1;
        *replaced = true;
    }
    if (*length == 0 && !pair.ignore)
        return EILSEQ;
    return 0;
}

size_t Fail(int error)
{
    errno = error;
    return static_cast<size_t>(-1);
}

}  // namespace

extern "C" iconv_t iconv_open(const char *tocode, const char *fromcode)
{
    Converter pair{};
    // Suffixes on the source name change nothing, as in glibc.
    bool sourceTranslit = false;
    bool sourceIgnore = false;
    if (tocode == nullptr || fromcode == nullptr ||
        !ParseEncoding(tocode, &pair.to, &pair.translit, &pair.ignore) ||
        !ParseEncoding(fromcode, &pair.from, &sourceTranslit, &sourceIgnore)) {
        errno = EINVAL;
        return reinterpret_cast<iconv_t>(-1);
    }
    auto *converter = static_cast<Converter *>(std::malloc(sizeof(Converter)));
    if (converter == nullptr) {
        errno = ENOMEM;
        return reinterpret_cast<iconv_t>(-1);
    }
    *converter = pair;
    return converter;
}

extern "C" size_t iconv(iconv_t cd, char **inbuf, size_t *inbytesleft, char **outbuf,
                        size_t *outbytesleft)
{
    if (cd == nullptr || cd == reinterpret_cast<iconv_t>(-1))
        return Fail(EBADF);
    // All three encodings are stateless: the reset has nothing to undo and
    // nothing to write.
    if (inbuf == nullptr || *inbuf == nullptr)
        return 0;
    if (inbytesleft == nullptr)
        return Fail(EINVAL);
    const Converter &pair = *static_cast<const Converter *>(cd);
    const bool haveOutput = outbuf != nullptr && *outbuf != nullptr && outbytesleft != nullptr;
    const size_t room = haveOutput ? *outbytesleft : 0;
    size_t read = 0;
    size_t written = 0;
    size_t irreversible = 0;
    bool skipped = false;
    int error = 0;
    while (read < *inbytesleft) {
        char bytes[4];
        size_t length = 0;
        size_t used = 0;
        bool replaced = false;
        error =
            ConvertOne(pair, *inbuf + read, *inbytesleft - read, bytes, &length, &used, &replaced);
        if (error == 0 && length > room - written)
            error = E2BIG;
        if (error != 0)
            break;
        if (length != 0)
            std::memcpy(*outbuf + written, bytes, length);
        written += length;
        read += used;
        skipped = skipped || length == 0;
        irreversible += replaced ? 1 : 0;
    }
    *inbuf += read;
    *inbytesleft -= read;
    if (haveOutput) {
        *outbuf += written;
        *outbytesleft -= written;
    }
    if (error == 0 && skipped)
        error = EILSEQ;
    return error != 0 ? Fail(error) : irreversible;
}

extern "C" int iconv_close(iconv_t cd)
{
    if (cd == nullptr || cd == reinterpret_cast<iconv_t>(-1)) {
        errno = EBADF;
        return -1;
    }
    std::free(cd);
    return 0;
}
