// One input of the hive fuzzer, decoded: registry calls to make, in order,
// on winsim and on the hive-backed seam, below the scratch key
// SYSTEM\CurrentControlSet\Control\Fuzz.
//
// Layout of the input bytes (missing bytes read as zero), at most kStepsMax
// steps, each:
//   action   % 8: 0 create a key, 1 open a key, 2 and 7 set a value,
//            3 query a value, 4 enumerate the sub-keys, 5 one enumeration
//            call at the handle's next index, 6 close;
//            / 8: the handle (Run::Pick in hive_fuzzer.cpp)
//   create, open: a key name, below
//   set:     a value name, a type, the data
//   query:   a value name, a buffer byte (Run::Query in hive_fuzzer.cpp)
//   enumerate: a name buffer byte (Run::BufferFor), an order (% 3:
//            ascending, descending, each index twice)
//   step:    a name buffer byte
//
// A key name: a kind byte, % 8: 0-1 fresh, 2 fresh from letters, digits and
// " -.{}", 3 a known path, 4 long, 5 empty, 6 NULL, 7 a known path and a fresh
// name below it. Bit 3: a trailing backslash; bit 4: the open goes from
// HKEY_LOCAL_MACHINE with the scratch key's full path; bit 5: the nested
// name's backslash is doubled. Then: fresh, a length byte (1 + % 40) and that
// many characters, each byte % the alphabet; known, a pick byte and a case
// byte (character i, a letter, changes case when bit i % 8 is set); long, a
// length byte (250 + % 60) and a fill character; nested, pick, case, and a
// fresh name.
// A value name: a kind byte, % 8: 0-2 fresh, 3 a known name, 4 empty, 5 NULL,
// 6 long (a length byte, 250 + % 100, and a fill character), 7 fresh from
// letters, digits and " -.{}"; fresh and known as for keys.
// A type: a byte, % 8: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY,
// REG_DWORD, REG_NONE, 6 the next byte, 7 the next four bytes (LE).
// Data: a length byte, < 192 that many bytes, < 254 192 + 8 * (byte - 192)
// bytes (at most kDataMax), 254 NULL and size 0, 255 NULL and size 1; then
// the bytes.
#ifndef VEROLUND_FUZZ_HIVE_INPUT_H
#define VEROLUND_FUZZ_HIVE_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "seam/win32.h"

namespace fuzz::hive {

constexpr size_t kStepsMax = 64;
constexpr size_t kDataMax = 680;

enum class Action : uint8_t { Create, Open, Set, Query, Enumerate, Step, Close };

enum class NameKind : uint8_t { Fresh, Known, Long, Empty, Null, Nested };

struct Name {
    NameKind kind = NameKind::Empty;
    std::string text;  // Fresh, Nested: the fresh name; Long: the whole name
    uint8_t pick = 0;  // Known, Nested
    uint8_t flips = 0;
    bool trailingSlash = false;
    bool fromMachine = false;
    bool doubledSlash = false;
};

struct Data {
    bool null = false;
    DWORD size = 0;
    std::string bytes;  // size of them unless null
};

struct Step {
    Action action = Action::Close;
    uint8_t handle = 0;
    Name name;
    DWORD type = REG_NONE;
    Data data;
    uint8_t buffer = 0;
    uint8_t order = 0;
};

// Characters of fresh names. Key names: printable ASCII but the backslash,
// and the bytes above 0x7F that code page 1252 gives no other case (see
// kCaseless in hive_input.cpp); value names may also hold the backslash.
extern const std::string kKeyChars;
extern const std::string kValueChars;
extern const std::string kPlainChars;  // letters, digits and " -.{}"

std::vector<Step> Decode(const uint8_t *data, size_t size);
// The bytes that decode to these steps; the seed writer checks the way back.
std::string Encode(const std::vector<Step> &steps);
std::string Describe(const Step &step);
// Bytes for a message: printable ASCII as it is, the rest as \xNN.
std::string Shown(const std::string &text);

}  // namespace fuzz::hive

#endif
