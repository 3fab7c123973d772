#include "tests/fixtures.h"

#include <cstdio>

std::string MultiSz(const std::vector<std::string> &entries)
{
    std::string bytes;
    for (const std::string &entry : entries)
        bytes += entry + std::string(1, '\0');
    return bytes + std::string(1, '\0');
}

std::vector<std::string> FullReadBufferEntries()
{
    std::vector<std::string> entries;
    for (int i = 0; i < 73; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "svc%03d", i);
        entries.push_back(name);
    }
    return entries;
}
