// The simulated file system: directories and files as bytes, full paths,
// names compared ignoring case.
#include <algorithm>
#include <cstring>

#include "winsim/machine.h"

namespace winsim {
namespace {

std::string ParentOf(const std::string &upperPath)
{
    size_t slash = upperPath.find_last_of('\\');
    if (slash == std::string::npos)
        return "";
    // The parent of C:\X is the root directory C:\ itself.
    return slash == 2 ? upperPath.substr(0, 3) : upperPath.substr(0, slash);
}

bool DirectoryExists(const std::string &upperPath)
{
    return TheMachine().directories.count(upperPath) != 0;
}

bool FileIsOpen(const std::string &upperPath)
{
    for (const auto &open : TheMachine().openFiles) {
        if (open.second.path == upperPath)
            return true;
    }
    return false;
}

UINT ReportDirectory(const char *function, const std::string &directory, LPSTR buffer, UINT size)
{
    if (Injected(function))
        return 0;
    // Too small a buffer: nothing is copied and the size needed, terminator
    // included, is returned.
    if (buffer == nullptr || directory.size() + 1 > size)
        return static_cast<UINT>(directory.size() + 1);
    std::memcpy(buffer, directory.c_str(), directory.size() + 1);
    return static_cast<UINT>(directory.size());
}

}  // namespace

void SetWindowsDirectory(const std::string &path)
{
    TheMachine().windowsDir = path;
    AddDirectory(path);
}

void SetSystemDirectory(const std::string &path)
{
    TheMachine().systemDir = path;
    AddDirectory(path);
}

void AddDirectory(const std::string &path)
{
    std::string upper = Upper(path);
    while (!upper.empty() && !DirectoryExists(upper)) {
        TheMachine().directories.insert(upper);
        std::string parent = ParentOf(upper);
        if (parent == upper)
            break;
        upper = parent;
    }
}

void RemoveDirectory(const std::string &path)
{
    std::string upper = Upper(path);
    std::string below = upper + "\\";
    auto &directories = TheMachine().directories;
    auto &files = TheMachine().files;
    for (auto at = directories.begin(); at != directories.end();)
        at = (*at == upper || at->rfind(below, 0) == 0) ? directories.erase(at) : std::next(at);
    for (auto at = files.begin(); at != files.end();)
        at = at->first.rfind(below, 0) == 0 ? files.erase(at) : std::next(at);
}

void SetFile(const std::string &path, const std::string &bytes)
{
    std::string upper = Upper(path);
    AddDirectory(ParentOf(upper));
    TheMachine().files[upper].bytes = bytes;
}

void RemoveFile(const std::string &path)
{
    TheMachine().files.erase(Upper(path));
}

std::optional<std::string> FileBytes(const std::string &path)
{
    auto found = TheMachine().files.find(Upper(path));
    if (found == TheMachine().files.end())
        return std::nullopt;
    return found->second.bytes;
}

void DenyFileOpen(const std::string &path, DWORD error)
{
    std::string upper = Upper(path);
    AddDirectory(ParentOf(upper));
    TheMachine().files[upper].deniedWith = error;
}

std::vector<std::string> OpenFiles()
{
    std::vector<std::string> open;
    for (const auto &file : TheMachine().openFiles)
        open.push_back(file.second.path);
    return open;
}

}  // namespace winsim

using winsim::Injected;
using winsim::TheMachine;

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    return winsim::ReportDirectory("GetWindowsDirectoryA", TheMachine().windowsDir, buffer, size);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    return winsim::ReportDirectory("GetSystemDirectoryA", TheMachine().systemDir, buffer, size);
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD, HANDLE)
{
    if (Injected("CreateFileA") || path == nullptr)
        return INVALID_HANDLE_VALUE;
    std::string opened = winsim::RedirectedPath(path);
    TheMachine().fileEvents.push_back("open " + opened);
    std::string upper = winsim::Upper(opened);
    auto &files = TheMachine().files;
    auto found = files.find(upper);
    if (found != files.end() && found->second.deniedWith != 0)
        return INVALID_HANDLE_VALUE;
    // Open handles here never share with another writer of the same file.
    if (found != files.end() && winsim::FileIsOpen(upper))
        return INVALID_HANDLE_VALUE;
    if (found == files.end()) {
        if (disposition == OPEN_EXISTING || !winsim::DirectoryExists(winsim::ParentOf(upper)) ||
            winsim::DirectoryExists(upper))
            return INVALID_HANDLE_VALUE;
        files[upper] = winsim::File{};
    } else if (disposition == CREATE_ALWAYS) {
        found->second.bytes.clear();
    }
    std::uintptr_t value = winsim::NewHandleValue();
    TheMachine().openFiles[value] = winsim::OpenFile{upper, access, 0};
    return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED)
{
    if (written != nullptr)
        *written = 0;
    if (Injected("WriteFile"))
        return FALSE;
    auto open = TheMachine().openFiles.find(reinterpret_cast<std::uintptr_t>(file));
    if (open == TheMachine().openFiles.end())
        return FALSE;
    winsim::OpenFile &handle = open->second;
    if ((handle.access & (GENERIC_WRITE | FILE_APPEND_DATA)) == 0)
        return FALSE;
    std::string &bytes = TheMachine().files[handle.path].bytes;
    // Append access without write access puts every write at the end.
    if ((handle.access & GENERIC_WRITE) == 0)
        handle.position = bytes.size();
    std::string chunk(static_cast<const char *>(data), size);
    if (handle.position > bytes.size())
        bytes.resize(handle.position, '\0');
    bytes.replace(handle.position, std::min(chunk.size(), bytes.size() - handle.position), chunk);
    handle.position += size;
    if (written != nullptr)
        *written = size;
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED)
{
    if (read != nullptr)
        *read = 0;
    if (Injected("ReadFile"))
        return FALSE;
    auto open = TheMachine().openFiles.find(reinterpret_cast<std::uintptr_t>(file));
    if (open == TheMachine().openFiles.end() || (open->second.access & GENERIC_READ) == 0)
        return FALSE;
    winsim::OpenFile &handle = open->second;
    const std::string &bytes = TheMachine().files[handle.path].bytes;
    size_t count =
        handle.position < bytes.size() ? std::min<size_t>(size, bytes.size() - handle.position) : 0;
    std::memcpy(data, bytes.data() + handle.position, count);
    handle.position += count;
    if (read != nullptr)
        *read = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR path)
{
    if (Injected("DeleteFileA") || path == nullptr)
        return FALSE;
    std::string upper = winsim::Upper(path);
    auto found = TheMachine().files.find(upper);
    if (found == TheMachine().files.end() || found->second.deniedWith != 0 ||
        winsim::FileIsOpen(upper))
        return FALSE;
    TheMachine().files.erase(found);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    if (Injected("CloseHandle"))
        return FALSE;
    auto value = reinterpret_cast<std::uintptr_t>(handle);
    return TheMachine().openFiles.erase(value) == 1 || TheMachine().otherHandles.erase(value) == 1
               ? TRUE
               : FALSE;
}
