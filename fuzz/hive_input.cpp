#include "fuzz/hive_input.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fuzz::hive {
namespace {

std::string Printable(bool withBackslash)
{
    std::string chars;
    for (char c = 0x20; c < 0x7f; ++c) {
        if (c != '\\' || withBackslash)
            chars += c;
    }
    return chars;
}

// The bytes above 0x7F whose character in code page 1252 has no other case:
// winsim, which folds ASCII only, and the hive-backed seam, which folds as
// Windows does, then take the same names for equal. Left out: S, OE and Z
// with caron, Y with diaeresis and the letters from 0xC0 on, each of which
// has a partner in the other case.
std::string Caseless()
{
    std::string chars;
    for (int c = 0x80; c < 0xc0; ++c) {
        if (c != 0x8a && c != 0x8c && c != 0x8e && c != 0x9a && c != 0x9c && c != 0x9e && c != 0x9f)
            chars += static_cast<char>(c);
    }
    return chars + "\xd7\xdf\xf7";
}

class Reader {
  public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte()
    {
        return at_ < size_ ? data_[at_++] : 0;
    }
    bool AtEnd() const
    {
        return at_ >= size_;
    }
    std::string Text(size_t length, const std::string &alphabet)
    {
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text += alphabet[Byte() % alphabet.size()];
        return text;
    }
    std::string Bytes(size_t length)
    {
        std::string bytes;
        for (size_t i = 0; i < length; ++i)
            bytes += static_cast<char>(Byte());
        return bytes;
    }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

std::string Fresh(Reader &in, const std::string &alphabet)
{
    size_t length = 1 + in.Byte() % 40;
    return in.Text(length, alphabet);
}

std::string Long(Reader &in, size_t from, size_t spread)
{
    size_t length = from + in.Byte() % spread;
    return std::string(length, kPlainChars[in.Byte() % kPlainChars.size()]);
}

Name KeyName(Reader &in)
{
    uint8_t kind = in.Byte();
    Name name;
    name.trailingSlash = (kind & 8) != 0;
    name.fromMachine = (kind & 16) != 0;
    name.doubledSlash = (kind & 32) != 0;
    switch (kind % 8) {
    case 0:
    case 1:
    case 2:
        name.kind = NameKind::Fresh;
        name.text = Fresh(in, kind % 8 == 2 ? kPlainChars : kKeyChars);
        break;
    case 3:
        name.kind = NameKind::Known;
        name.pick = in.Byte();
        name.flips = in.Byte();
        break;
    case 4:
        name.kind = NameKind::Long;
        name.text = Long(in, 250, 60);
        break;
    case 5:
        name.kind = NameKind::Empty;
        break;
    case 6:
        name.kind = NameKind::Null;
        break;
    default:
        name.kind = NameKind::Nested;
        name.pick = in.Byte();
        name.flips = in.Byte();
        name.text = Fresh(in, kKeyChars);
        break;
    }
    return name;
}

Name ValueName(Reader &in)
{
    uint8_t kind = in.Byte();
    Name name;
    switch (kind % 8) {
    case 3:
        name.kind = NameKind::Known;
        name.pick = in.Byte();
        name.flips = in.Byte();
        break;
    case 4:
        name.kind = NameKind::Empty;
        break;
    case 5:
        name.kind = NameKind::Null;
        break;
    case 6:
        name.kind = NameKind::Long;
        name.text = Long(in, 250, 100);
        break;
    default:
        name.kind = NameKind::Fresh;
        name.text = Fresh(in, kind % 8 == 7 ? kPlainChars : kValueChars);
        break;
    }
    return name;
}

const DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_NONE};

DWORD Type(Reader &in)
{
    uint8_t kind = in.Byte() % 8;
    if (kind < 6)
        return kTypes[kind];
    if (kind == 6)
        return in.Byte();
    DWORD type = 0;
    for (int i = 0; i < 4; ++i)
        type |= static_cast<DWORD>(in.Byte()) << (8 * i);
    return type;
}

Data ValueData(Reader &in)
{
    uint8_t length = in.Byte();
    Data data;
    if (length >= 254) {
        data.null = true;
        data.size = length - 254;
        return data;
    }
    data.size = length < 192 ? length : 192 + 8 * (length - 192);
    data.bytes = in.Bytes(data.size);
    return data;
}

char Index(const std::string &alphabet, char c)
{
    size_t at = alphabet.find(c);
    if (at == std::string::npos) {
        std::fprintf(stderr, "hive input: character 0x%02x is not in the alphabet\n",
                     static_cast<unsigned char>(c));
        std::abort();
    }
    return static_cast<char>(at);
}

void PutFresh(std::string &out, const std::string &text, const std::string &alphabet)
{
    out += static_cast<char>(text.size() - 1);
    for (char c : text)
        out += Index(alphabet, c);
}

void PutLong(std::string &out, const std::string &text, size_t from)
{
    out += static_cast<char>(text.size() - from);
    out += Index(kPlainChars, text[0]);
}

void PutKeyName(std::string &out, const Name &name)
{
    char flags = static_cast<char>((name.trailingSlash ? 8 : 0) | (name.fromMachine ? 16 : 0) |
                                   (name.doubledSlash ? 32 : 0));
    switch (name.kind) {
    case NameKind::Fresh:
        out += flags;
        PutFresh(out, name.text, kKeyChars);
        break;
    case NameKind::Known:
        out += static_cast<char>(flags | 3);
        out += static_cast<char>(name.pick);
        out += static_cast<char>(name.flips);
        break;
    case NameKind::Long:
        out += static_cast<char>(flags | 4);
        PutLong(out, name.text, 250);
        break;
    case NameKind::Empty:
        out += static_cast<char>(flags | 5);
        break;
    case NameKind::Null:
        out += static_cast<char>(flags | 6);
        break;
    case NameKind::Nested:
        out += static_cast<char>(flags | 7);
        out += static_cast<char>(name.pick);
        out += static_cast<char>(name.flips);
        PutFresh(out, name.text, kKeyChars);
        break;
    }
}

void PutValueName(std::string &out, const Name &name)
{
    switch (name.kind) {
    case NameKind::Known:
        out += '\3';
        out += static_cast<char>(name.pick);
        out += static_cast<char>(name.flips);
        break;
    case NameKind::Empty:
        out += '\4';
        break;
    case NameKind::Null:
        out += '\5';
        break;
    case NameKind::Long:
        out += '\6';
        PutLong(out, name.text, 250);
        break;
    default:
        out += '\0';
        PutFresh(out, name.text, kValueChars);
        break;
    }
}

void PutType(std::string &out, DWORD type)
{
    const DWORD *known = std::find(std::begin(kTypes), std::end(kTypes), type);
    if (known != std::end(kTypes)) {
        out += static_cast<char>(known - std::begin(kTypes));
    } else if (type < 256) {
        out += '\6';
        out += static_cast<char>(type);
    } else {
        out += '\7';
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>(type >> (8 * i));
    }
}

void PutData(std::string &out, const Data &data)
{
    if (data.null) {
        out += static_cast<char>(254 + data.size);
        return;
    }
    out += static_cast<char>(data.size < 192 ? data.size : 192 + (data.size - 192) / 8);
    out += data.bytes;
}

std::string DescribeName(const Name &name)
{
    char text[64];
    std::string shown;
    switch (name.kind) {
    case NameKind::Fresh:
        shown = "\"" + Shown(name.text) + "\"";
        break;
    case NameKind::Known:
        std::snprintf(text, sizeof text, "known #%u case 0x%02x", name.pick, name.flips);
        shown = text;
        break;
    case NameKind::Long:
        std::snprintf(text, sizeof text, "%zu x '%c'", name.text.size(), name.text[0]);
        shown = text;
        break;
    case NameKind::Empty:
        shown = "\"\"";
        break;
    case NameKind::Null:
        shown = "NULL";
        break;
    case NameKind::Nested:
        std::snprintf(text, sizeof text, "known #%u case 0x%02x \\ ", name.pick, name.flips);
        shown = text + ("\"" + Shown(name.text) + "\"");
        break;
    }
    if (name.trailingSlash)
        shown += " + trailing \\";
    if (name.fromMachine)
        shown += " from HKLM";
    if (name.doubledSlash)
        shown += " doubled \\";
    return shown;
}

}  // namespace

std::string Shown(const std::string &text)
{
    std::string shown;
    for (unsigned char c : text) {
        char escaped[8];
        if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"')
            shown += static_cast<char>(c);
        else {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    return shown;
}

const std::string kKeyChars = Printable(false) + Caseless();
const std::string kValueChars = Printable(true) + Caseless();
const std::string kPlainChars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 -.{}";

std::vector<Step> Decode(const uint8_t *data, size_t size)
{
    Reader in(data, size);
    std::vector<Step> steps;
    while (!in.AtEnd() && steps.size() < kStepsMax) {
        uint8_t action = in.Byte();
        Step step;
        step.handle = action / 8;
        switch (action % 8) {
        case 0:
        case 1:
            step.action = action % 8 == 0 ? Action::Create : Action::Open;
            step.name = KeyName(in);
            break;
        case 2:
        case 7:
            step.action = Action::Set;
            step.name = ValueName(in);
            step.type = Type(in);
            step.data = ValueData(in);
            break;
        case 3:
            step.action = Action::Query;
            step.name = ValueName(in);
            step.buffer = in.Byte();
            break;
        case 4:
            step.action = Action::Enumerate;
            step.buffer = in.Byte();
            step.order = in.Byte() % 3;
            break;
        case 5:
            step.action = Action::Step;
            step.buffer = in.Byte();
            break;
        default:
            step.action = Action::Close;
            break;
        }
        steps.push_back(step);
    }
    return steps;
}

std::string Encode(const std::vector<Step> &steps)
{
    std::string out;
    for (const Step &step : steps) {
        out += static_cast<char>(static_cast<int>(step.action) + 8 * step.handle);
        switch (step.action) {
        case Action::Create:
        case Action::Open:
            PutKeyName(out, step.name);
            break;
        case Action::Set:
            PutValueName(out, step.name);
            PutType(out, step.type);
            PutData(out, step.data);
            break;
        case Action::Query:
            PutValueName(out, step.name);
            out += static_cast<char>(step.buffer);
            break;
        case Action::Enumerate:
            out += static_cast<char>(step.buffer);
            out += static_cast<char>(step.order);
            break;
        case Action::Step:
            out += static_cast<char>(step.buffer);
            break;
        case Action::Close:
            break;
        }
    }
    return out;
}

std::string Describe(const Step &step)
{
    static const char *const kNames[] = {"create",    "open", "set",  "query",
                                         "enumerate", "step", "close"};
    char text[96];
    std::snprintf(text, sizeof text, "%s [handle %u]", kNames[static_cast<int>(step.action)],
                  step.handle);
    std::string shown = text;
    switch (step.action) {
    case Action::Create:
    case Action::Open:
        return shown + " " + DescribeName(step.name);
    case Action::Set:
        std::snprintf(text, sizeof text, " type 0x%x, %s%u bytes", static_cast<unsigned>(step.type),
                      step.data.null ? "NULL, " : "", static_cast<unsigned>(step.data.size));
        return shown + " " + DescribeName(step.name) + text +
               (step.data.null ? "" : " \"" + Shown(step.data.bytes) + "\"");
    case Action::Query:
        std::snprintf(text, sizeof text, " buffer 0x%02x", step.buffer);
        return shown + " " + DescribeName(step.name) + text;
    case Action::Enumerate:
        std::snprintf(text, sizeof text, " buffer 0x%02x order %u", step.buffer, step.order);
        return shown + text;
    case Action::Step:
        std::snprintf(text, sizeof text, " buffer 0x%02x", step.buffer);
        return shown + text;
    case Action::Close:
        break;
    }
    return shown;
}

}  // namespace fuzz::hive
