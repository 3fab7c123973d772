#include "offline/replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "hiveseam/hiveseam.h"

namespace {

std::string Failure(const std::string &what, const std::string &path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

std::string DirectoryOf(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// Flushes a file, or a directory's entries, to the disk.
std::string Flush(const std::string &path, int flags)
{
    int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return Failure("cannot open", path);
    int synced = fsync(fd);
    close(fd);
    return synced == 0 ? "" : Failure("cannot flush", path);
}

std::string WriteAll(int fd, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return std::strerror(errno != 0 ? errno : EIO);
        done += static_cast<size_t>(wrote);
    }
    return "";
}

// A copy for a volume that cannot hold a second name for the same file.
std::string CopyFile(const std::string &from, const std::string &to)
{
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return Failure("cannot read", from);
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        int error = errno;
        close(in);
        errno = error;
        return error == EEXIST ? "exists" : Failure("cannot create", to);
    }
    std::string problem;
    char buffer[1 << 16];
    for (ssize_t got; problem.empty() && (got = read(in, buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR)
            continue;
        problem = got < 0 ? std::strerror(errno) : WriteAll(out, std::string(buffer, got));
    }
    if (problem.empty() && fsync(out) != 0)
        problem = std::strerror(errno);
    close(in);
    close(out);
    if (!problem.empty())
        unlink(to.c_str());
    return problem.empty() ? "" : "cannot copy " + from + " to " + to + ": " + problem;
}

// Keeps the original under the first free name SYSTEM.verolund-N.bak: a
// second name for the same file where the volume allows it, else a copy.
// An earlier backup is never overwritten.
std::string KeepOriginal(const std::string &hivePath, std::string *backup)
{
    for (int number = 1; number < 10000; ++number) {
        std::string name = hivePath + ".verolund-" + std::to_string(number) + ".bak";
        if (link(hivePath.c_str(), name.c_str()) == 0) {
            *backup = name;
            return "";
        }
        if (errno == EEXIST)
            continue;
        std::string problem = CopyFile(hivePath, name);
        if (problem == "exists")
            continue;
        if (problem.empty())
            *backup = name;
        return problem;
    }
    return "no free backup name beside " + hivePath;
}

bool NotKept(int error)
{
    return error == EPERM || error == ENOTSUP || error == ENOSYS;
}

// The written hive takes the original's permissions and owner.
std::string TakeAttributes(const std::string &from, const std::string &to)
{
    struct stat status {};
    if (stat(from.c_str(), &status) != 0)
        return Failure("cannot examine", from);
    // A volume that keeps no Unix permissions or owners (ntfs-3g without its
    // permissions option) may refuse to be asked; only root may give a file
    // away.
    if (chmod(to.c_str(), status.st_mode & 07777) != 0 && !NotKept(errno))
        return Failure("cannot set the permissions of", to);
    if (chown(to.c_str(), status.st_uid, status.st_gid) != 0 && !NotKept(errno))
        return Failure("cannot set the owner of", to);
    return "";
}

std::string WriteNewHive(const std::string &temporary)
{
    struct stat status {};
    // A file of that name is a leftover of an earlier run; anything else is
    // not ours to remove.
    if (lstat(temporary.c_str(), &status) == 0 &&
        (!S_ISREG(status.st_mode) || unlink(temporary.c_str()) != 0))
        return "cannot use " + temporary + ": something else is in the way";
    std::string problem = hiveseam::CommitHive(temporary);
    if (!problem.empty())
        return "cannot write " + temporary + ": " + problem;
    problem = Flush(temporary, O_RDONLY);
    if (problem.empty())
        problem = hiveseam::VerifyCommittedHive(temporary);
    return problem;
}

}  // namespace

std::string ReplaceHive(const std::string &hivePath, std::string *backup)
{
    std::string temporary = hivePath + ".verolund-new";
    std::string problem = WriteNewHive(temporary);
    if (problem.empty())
        problem = TakeAttributes(hivePath, temporary);
    if (problem.empty())
        problem = KeepOriginal(hivePath, backup);
    if (problem.empty() && rename(temporary.c_str(), hivePath.c_str()) != 0)
        problem = Failure("cannot put the new hive in place of", hivePath);
    if (!problem.empty()) {
        unlink(temporary.c_str());
        return problem;
    }
    // The new name is in place; flushing the folder only hastens it to disk,
    // and some volumes refuse that for folders.
    Flush(DirectoryOf(hivePath), O_RDONLY | O_DIRECTORY);
    return "";
}

std::string WriteStagedFiles()
{
    for (const hiveseam::StagedFile &file : hiveseam::StagedFiles()) {
        if (!file.bytes) {
            if (unlink(file.path.c_str()) != 0 && errno != ENOENT)
                return Failure("cannot delete", file.path);
            continue;
        }
        int fd = open(file.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return Failure("cannot write", file.path);
        std::string problem = WriteAll(fd, *file.bytes);
        if (problem.empty() && fsync(fd) != 0)
            problem = std::strerror(errno);
        close(fd);
        if (!problem.empty())
            return "cannot write " + file.path + ": " + problem;
    }
    return "";
}
