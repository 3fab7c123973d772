// The file calls of the repair on the mounted volume. Paths below the
// Windows directory are found ignoring case, as Windows finds them. Reads go
// to the volume; what the repair writes or deletes is staged in memory and
// reaches the volume only when the caller carries it out.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "hiveseam/codepage.h"
#include "hiveseam/machine.h"
#include "hiveseam/volume.h"

namespace hiveseam {
namespace {

bool IsDirectory(const std::string &path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool IsFile(const std::string &path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::optional<std::string> VolumeBytes(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The rest of path behind the reported Windows directory, or none.
std::optional<std::string> BelowWindowsDir(const std::string &path)
{
    const std::string &windows = TheMachine().reportedWindowsDir;
    if (windows.empty() || path.size() < windows.size() ||
        CompareNamesIgnoringCase(AnsiToUtf16(path.substr(0, windows.size())),
                                 AnsiToUtf16(windows)) != 0)
        return std::nullopt;
    if (path.size() == windows.size())
        return std::string();
    if (path[windows.size()] != '\\')
        return std::nullopt;
    return path.substr(windows.size() + 1);
}

std::vector<std::string> Components(const std::string &rest)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t slash; (slash = rest.find('\\', from)) != std::string::npos; from = slash + 1)
        parts.push_back(rest.substr(from, slash - from));
    parts.push_back(rest.substr(from));
    return parts;
}

// A name that could leave the folder it is looked up in, or that Windows
// would not take as a plain name.
bool IsPlainName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/:") == std::string::npos;
}

// A file of the run in directory whose name equals name ignoring case.
std::string StagedIn(const std::string &directory, const std::u16string &name)
{
    for (const auto &staged : TheMachine().staged) {
        size_t slash = staged.first.find_last_of('/');
        if (staged.first.compare(0, slash, directory) == 0 && slash == directory.size() &&
            CompareNamesIgnoringCase(Utf8ToUtf16(staged.first.substr(slash + 1)), name) == 0)
            return staged.first;
    }
    return "";
}

UINT ReportDirectory(const std::string &directory, LPSTR buffer, UINT size)
{
    if (directory.empty())
        return 0;
    // Too small a buffer: nothing is copied and the size needed, terminator
    // included, is returned.
    if (buffer == nullptr || directory.size() + 1 > size)
        return static_cast<UINT>(directory.size() + 1);
    std::memcpy(buffer, directory.c_str(), directory.size() + 1);
    return static_cast<UINT>(directory.size());
}

bool IsOpen(const std::string &path)
{
    const auto &files = TheMachine().files;
    return std::any_of(files.begin(), files.end(),
                       [&](const auto &open) { return open.second.path == path; });
}

// Whether the file exists now, the run's writes and deletions included.
bool Exists(const std::string &path)
{
    auto staged = TheMachine().staged.find(path);
    return staged != TheMachine().staged.end() ? staged->second.has_value() : IsFile(path);
}

// What the file holds now, the run's writes included; none when it does not exist.
std::optional<std::string> Current(const std::string &path)
{
    auto staged = TheMachine().staged.find(path);
    if (staged != TheMachine().staged.end())
        return staged->second;
    return IsFile(path) ? VolumeBytes(path) : std::nullopt;
}

}  // namespace

std::string VolumePath(const char *windowsPath)
{
    std::optional<std::string> rest = BelowWindowsDir(windowsPath != nullptr ? windowsPath : "");
    if (!rest || rest->empty())
        return "";
    std::vector<std::string> parts = Components(*rest);
    std::string at = TheMachine().windowsDir;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!IsPlainName(parts[i]))
            return "";
        std::u16string name = AnsiToUtf16(parts[i]);
        std::string entry = FindEntry(at, name);
        bool last = i + 1 == parts.size();
        if (!last && (entry.empty() || !IsDirectory(at + "/" + entry)))
            return "";
        if (last && entry.empty()) {
            std::string staged = StagedIn(at, name);
            return staged.empty() ? at + "/" + Utf16ToUtf8(name) : staged;
        }
        at += "/" + entry;
    }
    return at;
}

std::vector<StagedFile> StagedFiles()
{
    std::vector<StagedFile> files;
    for (const auto &staged : TheMachine().staged)
        files.push_back(StagedFile{staged.first, staged.second});
    return files;
}

}  // namespace hiveseam

using hiveseam::TheMachine;

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    return hiveseam::ReportDirectory(TheMachine().reportedWindowsDir, buffer, size);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    return hiveseam::ReportDirectory(TheMachine().reportedSystemDir, buffer, size);
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD, HANDLE)
{
    std::string volume = hiveseam::VolumePath(path);
    if (volume.empty() || hiveseam::IsDirectory(volume))
        return INVALID_HANDLE_VALUE;
    bool exists = hiveseam::Exists(volume);
    bool writes = (access & (GENERIC_WRITE | FILE_APPEND_DATA)) != 0;
    if (!exists && disposition == OPEN_EXISTING)
        return INVALID_HANDLE_VALUE;
    // Only a file that is written, or made, is staged: a read leaves it where it is.
    if (!exists || disposition == CREATE_ALWAYS)
        TheMachine().staged[volume] = std::string();
    else if (writes)
        TheMachine().staged[volume] = hiveseam::Current(volume).value_or(std::string());
    std::uintptr_t value = hiveseam::NewHandleValue();
    TheMachine().files[value] = hiveseam::OpenFile{volume, access, 0};
    return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED)
{
    if (written != nullptr)
        *written = 0;
    auto open = TheMachine().files.find(reinterpret_cast<std::uintptr_t>(file));
    if (open == TheMachine().files.end() ||
        (open->second.access & (GENERIC_WRITE | FILE_APPEND_DATA)) == 0 ||
        (data == nullptr && size))
        return FALSE;
    hiveseam::OpenFile &handle = open->second;
    std::optional<std::string> &staged = TheMachine().staged[handle.path];
    if (!staged)
        return FALSE;
    // Append access without write access puts every write at the end.
    if ((handle.access & GENERIC_WRITE) == 0)
        handle.position = staged->size();
    if (handle.position > staged->size())
        staged->resize(handle.position, '\0');
    staged->replace(handle.position, std::min<size_t>(size, staged->size() - handle.position),
                    static_cast<const char *>(data), size);
    handle.position += size;
    if (written != nullptr)
        *written = size;
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED)
{
    if (read != nullptr)
        *read = 0;
    auto open = TheMachine().files.find(reinterpret_cast<std::uintptr_t>(file));
    if (open == TheMachine().files.end() || (open->second.access & GENERIC_READ) == 0)
        return FALSE;
    hiveseam::OpenFile &handle = open->second;
    std::optional<std::string> bytes = hiveseam::Current(handle.path);
    if (!bytes)
        return FALSE;
    size_t count = handle.position < bytes->size()
                       ? std::min<size_t>(size, bytes->size() - handle.position)
                       : 0;
    std::memcpy(data, bytes->data() + handle.position, count);
    handle.position += count;
    if (read != nullptr)
        *read = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR path)
{
    std::string volume = hiveseam::VolumePath(path);
    if (volume.empty() || hiveseam::IsOpen(volume) || !hiveseam::Exists(volume))
        return FALSE;
    TheMachine().staged[volume] = std::nullopt;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    return TheMachine().files.erase(reinterpret_cast<std::uintptr_t>(handle)) == 1 ? TRUE : FALSE;
}
