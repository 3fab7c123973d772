// The list fixtures that the unit tests and the fuzzer's seed corpus share.
#ifndef VEROLUND_TESTS_FIXTURES_H
#define VEROLUND_TESTS_FIXTURES_H

#include <cstddef>
#include <string>
#include <vector>

// Bytes of a literal, embedded zeros included: Bytes("Foo\0\0").
template <size_t N> std::string Bytes(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

// The REG_MULTI_SZ bytes of these entries: each with its zero, then one more.
std::string MultiSz(const std::vector<std::string> &entries);

// Entries svc000, svc001, ... whose list fills the 512-byte read buffer exactly.
std::vector<std::string> FullReadBufferEntries();

#endif
