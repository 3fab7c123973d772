// Writes the seed corpus: the unit tests' fixtures in the fuzz input layout
// of scenario.h. Run by scripts/fuzz --seeds; the files are kept in the
// repository so that every fuzz run starts from the same inputs.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/scenario.h"
#include "tests/fixtures.h"

namespace {

// Value kinds, machine bits, filter choices and descriptor kinds of scenario.h.
enum : uint8_t { ABSENT = 0, MULTI_SZ = 1, SZ = 5, BINARY = 6 };
enum : uint8_t {
    SERVICES_REFUSE = 1,
    WRITE_FAILS = 2,
    ENUM_FAILS = 4,
    ENUM_FAILS_LATER = 8,
    TABLE_FILLED = 16,
    ENTRIES_SERVICES = 32,
    ENTRIES_HIDDEN = 64
};
enum : uint8_t { PARTMGR = 0, DISKPERF = 128, EMPTY_FILTER = 207 };
enum : uint8_t { ENTRY = 0, UPPER_ENTRY = 3, NAMED = 4, TOO_LONG = 5, LONG_NAME = 6, HIDDEN = 8 };

struct Seed {
    const char *name;
    uint8_t value;
    uint8_t machine;
    uint8_t calls;
    uint8_t filter;
    std::vector<std::pair<uint8_t, uint8_t>> services;
    std::string stored;
};

std::string Encoded(const Seed &seed)
{
    std::string bytes;
    bytes += static_cast<char>(seed.value);
    bytes += static_cast<char>(seed.machine);
    bytes += static_cast<char>(seed.calls);
    bytes += static_cast<char>(seed.filter);
    bytes += static_cast<char>(seed.services.size());
    for (const auto &[kind, parameter] : seed.services) {
        bytes += static_cast<char>(kind);
        bytes += static_cast<char>(parameter);
    }
    return bytes + seed.stored;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string oversized = MultiSz({std::string(300, 'a'), std::string(300, 'b')});
    const std::vector<Seed> seeds = {
        {"worked-example",
         MULTI_SZ,
         0,
         0,
         PARTMGR,
         {{ENTRY, 1}, {ENTRY, 2}, {ENTRY, 3}},
         MultiSz({"partmgr", "Foo", "ab", "B?r"})},
        {"typical-machine", MULTI_SZ, 0, 0, PARTMGR, {{ENTRY, 1}}, MultiSz({"Foo", "PartMgr"})},
        {"value-absent", ABSENT, 0, 0, PARTMGR, {{NAMED, 0}}, ""},
        {"reg-sz", SZ, 0, 0, PARTMGR, {}, Bytes("abcdefghij\0")},
        {"reg-binary", BINARY, 0, 0, PARTMGR, {}, MultiSz({"Foo"})},
        {"size-0", MULTI_SZ, 0, 0, PARTMGR, {}, ""},
        {"size-1-zero", MULTI_SZ, 0, 0, PARTMGR, {}, Bytes("\0")},
        {"size-2-zeros", MULTI_SZ, 0, 0, PARTMGR, {}, Bytes("\0\0")},
        {"size-1-letter", MULTI_SZ, 0, 0, PARTMGR, {}, "x"},
        {"partmgr-alone", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, MultiSz({"PartMgr"})},
        {"contains-filter", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, MultiSz({"xPARTMGRx"})},
        {"two-and-three-letters",
         MULTI_SZ,
         ENTRIES_SERVICES,
         0,
         PARTMGR,
         {},
         MultiSz({"ab", "abc"})},
        {"empty-entry-inside", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, Bytes("Foo\0\0Bar\0\0")},
        {"single-terminator", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, Bytes("Foo\0")},
        {"stored-case", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, MultiSz({"SomeFilter"})},
        {"twice", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, MultiSz({"Foo", "Foo"})},
        {"first-entry-empty", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, Bytes("\0Foo\0\0")},
        {"enumeration-only",
         MULTI_SZ,
         0,
         0,
         PARTMGR,
         {{UPPER_ENTRY | HIDDEN, 0}},
         MultiSz({"Foo"})},
        {"diskperf-behind-partmgr",
         MULTI_SZ,
         ENTRIES_SERVICES,
         0,
         DISKPERF,
         {},
         MultiSz({"Foo", "PartMgr"})},
        {"write-fails", MULTI_SZ, ENTRIES_SERVICES | WRITE_FAILS, 0, PARTMGR, {}, MultiSz({"Foo"})},
        {"write-fails-absent", ABSENT, WRITE_FAILS, 0, PARTMGR, {}, ""},
        {"services-key-refuses",
         MULTI_SZ,
         ENTRIES_HIDDEN | SERVICES_REFUSE,
         0,
         PARTMGR,
         {},
         MultiSz({"Foo"})},
        {"enumeration-fails",
         MULTI_SZ,
         ENTRIES_HIDDEN | ENUM_FAILS,
         0,
         PARTMGR,
         {},
         MultiSz({"Foo"})},
        {"enumeration-fails-later",
         MULTI_SZ,
         ENTRIES_HIDDEN | ENUM_FAILS_LATER,
         2,
         PARTMGR,
         {},
         MultiSz({"Aaa", "Bbb", "Ccc", "Ddd"})},
        {"oversized-list", MULTI_SZ, 0, 0, PARTMGR, {}, oversized},
        {"oversized-reg-sz", SZ, 0, 0, PARTMGR, {}, std::string(600, 's') + '\0'},
        {"empty-filter", MULTI_SZ, ENTRIES_SERVICES, 0, EMPTY_FILTER, {}, MultiSz({"Foo"})},
        {"full-read-buffer",
         MULTI_SZ,
         ENTRIES_SERVICES,
         0,
         PARTMGR,
         {},
         MultiSz(FullReadBufferEntries())},
        {"entry-255", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, MultiSz({std::string(255, 'n')})},
        {"entry-300", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, MultiSz({std::string(300, 'n')})},
        {"long-sub-key-before",
         MULTI_SZ,
         ENTRIES_HIDDEN,
         0,
         PARTMGR,
         {{LONG_NAME, 0}},
         MultiSz({"Foo"})},
        {"too-long-sub-key-before",
         MULTI_SZ,
         ENTRIES_HIDDEN,
         0,
         PARTMGR,
         {{TOO_LONG, 0}},
         MultiSz({"Foo"})},
        {"path-like-entry", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, MultiSz({"Foo\\Enum"})},
        {"two-letters-no-terminator", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, "ab"},
        {"dropped-last-no-terminator",
         MULTI_SZ,
         ENTRIES_SERVICES,
         0,
         PARTMGR,
         {},
         Bytes("Foo\0xy")},
        {"kept-last-no-terminator", MULTI_SZ, ENTRIES_SERVICES, 0, PARTMGR, {}, Bytes("Foo\0Bar")},
        {"no-zero-at-all", MULTI_SZ, 0, 0, PARTMGR, {}, std::string(512, 'q')},
        {"table-full",
         MULTI_SZ,
         TABLE_FILLED | ENTRIES_HIDDEN,
         0,
         PARTMGR,
         {{ENTRY, 0}},
         MultiSz({"Foo", "Zed", "bulk000"})},
    };
    for (const Seed &seed : seeds) {
        std::string path = std::string(argv[1]) + "/" + seed.name;
        std::ofstream out(path, std::ios::binary);
        out << Encoded(seed);
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
