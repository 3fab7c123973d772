// Writes the hive fuzzer's seed corpus: short step lists in the layout of
// hive_input.h, one file per case. Run by scripts/fuzz --hive --seeds.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/hive_input.h"

namespace {

using fuzz::hive::Action;
using fuzz::hive::Name;
using fuzz::hive::NameKind;
using fuzz::hive::Step;

// Handles: 0 the scratch key, then the pairs in the order they were opened;
// 28 and up a closed pair.
const uint8_t kClosed = 28;

// Query buffers (hive_fuzzer.cpp's Query) and enumeration buffers (BufferFor).
enum : uint8_t { SIZE_ONLY = 0, NOTHING = 1, TINY = 2, EXACT = 3, EXACT_LESS_ONE = 4, ROOMY = 5 };
enum : uint8_t { NO_ROOM = 0, FITS_PICKED = 2, PICKED_LESS_ONE = 3, ROOM_256 = 4, ROOM_41 = 7 };

Name Fresh(const std::string &text)
{
    Name name;
    name.kind = NameKind::Fresh;
    name.text = text;
    return name;
}

Name Known(uint8_t pick, uint8_t flips = 0)
{
    Name name;
    name.kind = NameKind::Known;
    name.pick = pick;
    name.flips = flips;
    return name;
}

Name Of(NameKind kind)
{
    Name name;
    name.kind = kind;
    return name;
}

Name Long(size_t length, char fill)
{
    Name name;
    name.kind = NameKind::Long;
    name.text = std::string(length, fill);
    return name;
}

Step Create(Name name, uint8_t handle = 0)
{
    Step step;
    step.action = Action::Create;
    step.handle = handle;
    step.name = name;
    return step;
}

Step Open(Name name, uint8_t handle = 0)
{
    Step step = Create(name, handle);
    step.action = Action::Open;
    return step;
}

Step Set(Name name, DWORD type, const std::string &bytes, uint8_t handle = 0)
{
    Step step;
    step.action = Action::Set;
    step.handle = handle;
    step.name = name;
    step.type = type;
    step.data.size = static_cast<DWORD>(bytes.size());
    step.data.bytes = bytes;
    return step;
}

Step SetNull(Name name, DWORD size)
{
    Step step = Set(name, REG_BINARY, "");
    step.data.null = true;
    step.data.size = size;
    return step;
}

Step Query(Name name, uint8_t buffer, uint8_t handle = 0)
{
    Step step;
    step.action = Action::Query;
    step.handle = handle;
    step.name = name;
    step.buffer = buffer;
    return step;
}

Step Enumerate(uint8_t buffer, uint8_t order = 0, uint8_t handle = 0)
{
    Step step;
    step.action = Action::Enumerate;
    step.handle = handle;
    step.buffer = buffer;
    step.order = order;
    return step;
}

Step EnumerateStep(uint8_t buffer, uint8_t handle = 0)
{
    Step step = Enumerate(buffer, 0, handle);
    step.action = Action::Step;
    return step;
}

Step Close(uint8_t handle)
{
    Step step;
    step.action = Action::Close;
    step.handle = handle;
    return step;
}

std::string AllHighBytes()
{
    std::string bytes;
    for (int c = 0x80; c < 0x100; ++c)
        bytes += static_cast<char>(c);
    return bytes;
}

struct Seed {
    const char *name;
    std::vector<Step> steps;
};

std::vector<Seed> Seeds()
{
    Name alpha = Fresh("Alpha");
    Name trailing = Fresh("Trailing");
    trailing.trailingSlash = true;
    Name fromMachine = Known(0, 0x55);
    fromMachine.fromMachine = true;
    Name nested = Known(0, 0x0f);
    nested.kind = NameKind::Nested;
    nested.text = "Child";
    Name doubled = nested;
    doubled.doubledSlash = true;
    Name backslash = Of(NameKind::Empty);
    backslash.trailingSlash = true;
    std::string multi = std::string("one\0two\0\0", 9);
    return {
        {"create-one", {Create(alpha)}},
        {"create-and-list",
         {Create(alpha), Create(Fresh("bravo")), Create(Fresh("Charlie 3")), Enumerate(ROOM_256)}},
        {"list-descending-and-twice",
         {Create(alpha), Create(Fresh("bravo")), Enumerate(ROOM_41, 1), Enumerate(ROOM_41, 2)}},
        {"list-cramped",
         {Create(Fresh("Alphabet")), Create(Fresh("b")), Enumerate(FITS_PICKED),
          Enumerate(PICKED_LESS_ONE), Enumerate(NO_ROOM), Enumerate(1 | 3 << 3)}},
        {"list-null-buffer", {Create(alpha), Enumerate(6)}},
        {"create-other-case",
         {Create(alpha), Create(Fresh("ALPHA")), Create(Known(0, 0xff)), Enumerate(ROOM_256)}},
        {"name-255", {Create(Long(255, 'n')), Enumerate(FITS_PICKED), Enumerate(PICKED_LESS_ONE)}},
        {"name-256", {Create(Long(256, 'n')), Open(Long(256, 'n')), Enumerate(ROOM_256)}},
        {"name-300-nested", {Create(alpha), Create(Long(300, 'x'), 1), Enumerate(ROOM_256, 0, 1)}},
        {"brackets-order",
         {Create(Fresh("a_b")), Create(Fresh("A[")), Create(Fresh("Z")), Create(Fresh("`q")),
          Create(Fresh("^")), Enumerate(ROOM_41), EnumerateStep(ROOM_41), EnumerateStep(ROOM_41)}},
        {"caseless-high-names",
         {Create(Fresh("Caf\xb5")), Create(Fresh("\x80uro")), Create(Fresh("\xdf")),
          Open(Fresh("caf\xb5")), Enumerate(ROOM_256)}},
        {"reg-sz-buffers",
         {Set(Fresh("Text"), REG_SZ, std::string("hello\0", 6)), Query(Fresh("Text"), SIZE_ONLY),
          Query(Fresh("text"), NOTHING), Query(Fresh("TEXT"), TINY | 2 << 4),
          Query(Fresh("Text"), EXACT), Query(Fresh("Text"), EXACT_LESS_ONE),
          Query(Fresh("Text"), ROOMY), Query(Fresh("Text"), 6), Query(Fresh("Text"), 7)}},
        {"reg-sz-unterminated", {Set(Fresh("Odd"), REG_SZ, "abc"), Query(Known(0, 0x07), EXACT)}},
        {"multi-sz-high-bytes",
         {Set(Fresh("List"), REG_MULTI_SZ, AllHighBytes() + std::string("\0\0", 2)),
          Query(Known(0), ROOMY)}},
        {"expand-sz",
         {Set(Fresh("Path"), REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15)),
          Query(Known(0), EXACT | 8)}},
        {"binary-large",
         {Set(Fresh("Blob"), REG_BINARY, std::string(680, '\xfe')), Query(Known(0), ROOMY),
          Query(Known(0), 6)}},
        {"binary-high-bytes",
         {Set(Fresh("Bytes"), REG_BINARY, AllHighBytes()), Query(Known(0), EXACT)}},
        {"dword",
         {Set(Fresh("Number"), REG_DWORD, std::string("\x01\x02\x03\x04", 4)),
          Query(Known(0), EXACT), Query(Known(0), TINY | 3 << 4)}},
        {"odd-types",
         {Set(Fresh("Eleven"), 11, "12345678"), Set(Fresh("Big"), 0x12345, "x"),
          Set(Fresh("None"), REG_NONE, ""), Query(Known(0), EXACT), Query(Known(1), EXACT),
          Query(Known(2), SIZE_ONLY)}},
        {"default-value",
         {Set(Of(NameKind::Empty), REG_SZ, std::string("d\0", 2)), Query(Of(NameKind::Null), EXACT),
          Set(Of(NameKind::Null), REG_SZ, ""), Query(Of(NameKind::Empty), EXACT)}},
        {"null-data",
         {SetNull(Fresh("Empty"), 0), SetNull(Fresh("Refused"), 1), Query(Known(0), EXACT),
          Query(Fresh("Refused"), SIZE_ONLY)}},
        {"retyped",
         {Set(Fresh("Value"), REG_SZ, std::string("ab\0", 3)),
          Set(Fresh("VALUE"), REG_BINARY, std::string("ab\0", 3)),
          Set(Fresh("value"), REG_BINARY, std::string("ab\0", 3)), Query(Known(0), EXACT)}},
        {"long-value-name",
         {Set(Long(300, 'v'), REG_SZ, std::string("v\0", 2)), Query(Long(300, 'V'), EXACT)}},
        {"missing-value", {Query(Fresh("Nothing"), EXACT), Query(Fresh("Nothing"), SIZE_ONLY)}},
        {"open-from-machine",
         {Create(alpha), Open(fromMachine), Query(Fresh("x"), EXACT, 1),
          Enumerate(ROOM_256, 0, 1)}},
        {"nested",
         {Create(alpha), Create(nested), Create(doubled), Open(nested, 1),
          Enumerate(ROOM_256, 0, 1), Open(Known(1, 0xaa))}},
        {"trailing-backslash", {Create(trailing), Open(Fresh("trailing")), Enumerate(ROOM_256)}},
        {"self",
         {Create(Of(NameKind::Empty)), Open(Of(NameKind::Null)), Create(Of(NameKind::Null)),
          Set(Fresh("v"), REG_SZ, "", 1), Query(Fresh("V"), EXACT, 2)}},
        {"lone-backslash",
         {Create(alpha), Open(backslash, 1), Create(backslash, 1), Enumerate(ROOM_256, 0, 1)}},
        {"closed-handle",
         {Create(alpha), Close(1), Query(Fresh("x"), EXACT, kClosed),
          Set(Fresh("x"), REG_SZ, "", kClosed), Enumerate(ROOM_256, 0, kClosed),
          Create(alpha, kClosed), Close(kClosed)}},
        {"many-handles",
         {Create(Fresh("k1")), Create(Fresh("k2")), Create(Fresh("k3")), Create(Fresh("k4")),
          Create(Fresh("k5")), Create(Fresh("k6")), Create(Fresh("k7")), Create(Fresh("k8")),
          Create(Fresh("k9")), Close(3), Enumerate(ROOM_41)}},
        {"enumerate-while-creating",
         {Create(Fresh("b")), EnumerateStep(ROOM_41), Create(Fresh("a")), EnumerateStep(ROOM_41),
          Create(Fresh("c")), EnumerateStep(ROOM_41), EnumerateStep(ROOM_41),
          EnumerateStep(ROOM_41)}},
        {"values-below",
         {Create(alpha), Set(Fresh("List"), REG_MULTI_SZ, multi, 1), Open(Known(0, 0x03)),
          Query(Known(0, 0x21), EXACT, 2), Query(Known(0), EXACT_LESS_ONE, 1)}},
    };
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIRECTORY\n", argv[0]);
        return 2;
    }
    for (const Seed &seed : Seeds()) {
        std::string bytes = fuzz::hive::Encode(seed.steps);
        std::vector<Step> back =
            fuzz::hive::Decode(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
        bool same = back.size() == seed.steps.size();
        for (size_t i = 0; same && i < back.size(); ++i)
            same = fuzz::hive::Describe(back[i]) == fuzz::hive::Describe(seed.steps[i]);
        if (!same) {
            std::fprintf(stderr, "seed %s does not decode to its steps\n", seed.name);
            return 1;
        }
        std::ofstream(std::string(argv[1]) + "/" + seed.name, std::ios::binary) << bytes;
    }
    return 0;
}
