// What a hive file's base block says about it, before hivex is let near it:
// hivex opens a hive cut to a fraction of its length without complaint, and
// committing such a hive would keep only that fraction.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "hiveseam/hiveseam.h"

namespace hiveseam {
namespace {

constexpr size_t kBaseBlock = 4096;
constexpr size_t kChecksumAt = 0x1FC;

std::uint32_t Dword(const unsigned char *at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// The XOR of the base block's first 127 double words; Windows keeps 0 and
// all ones out of the field.
std::uint32_t Checksum(const unsigned char *base)
{
    std::uint32_t sum = 0;
    for (size_t at = 0; at < kChecksumAt; at += 4)
        sum ^= Dword(base + at);
    if (sum == 0)
        return 1;
    return sum == 0xFFFFFFFFu ? 0xFFFFFFFEu : sum;
}

// Reads the start of the file into start; *got tells how much there was.
std::string ReadStart(const std::string &path, unsigned char *start, size_t size, size_t *got,
                      off_t *length)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "cannot be opened: " + std::string(std::strerror(errno));
    struct stat status {};
    std::string problem;
    if (fstat(fd, &status) != 0)
        problem = "cannot be examined: " + std::string(std::strerror(errno));
    else if (!S_ISREG(status.st_mode))
        problem = "is not a file";
    *length = status.st_size;
    ssize_t read = problem.empty() ? pread(fd, start, size, 0) : 0;
    if (read < 0)
        problem = "cannot be read: " + std::string(std::strerror(errno));
    *got = read > 0 ? static_cast<size_t>(read) : 0;
    close(fd);
    return problem;
}

}  // namespace

std::string CheckHiveFile(const std::string &path, HiveHeader *header)
{
    unsigned char start[kBaseBlock + 4];
    off_t length = 0;
    size_t got = 0;
    std::string problem = ReadStart(path, start, sizeof start, &got, &length);
    if (!problem.empty())
        return problem;
    if (got == 0)
        return "is empty";
    if (got < 4 || std::memcmp(start, "regf", 4) != 0)
        return "is not a registry hive (it does not start with \"regf\")";
    if (got < sizeof start)
        return "is too short to be a registry hive (" + std::to_string(length) + " bytes)";
    if (Checksum(start) != Dword(start + kChecksumAt))
        return "is corrupt: the checksum of its header is wrong";
    if (Dword(start + 0x1C) != 0 || Dword(start + 0x14) != 1)
        return "is not a primary hive of Windows 2000 or XP (a log, or another format)";
    std::uint64_t bins = Dword(start + 0x28);
    if (bins == 0 || bins % kBaseBlock != 0 || std::memcmp(start + kBaseBlock, "hbin", 4) != 0)
        return "is corrupt: its header does not describe its hive bins";
    if (static_cast<std::uint64_t>(length) < kBaseBlock + bins)
        return "is truncated: its header says " + std::to_string(kBaseBlock + bins) +
               " bytes, the file holds " + std::to_string(length);
    header->dirty = Dword(start + 4) != Dword(start + 8);
    return "";
}

}  // namespace hiveseam
