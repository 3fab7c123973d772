// The simulated Windows that host builds link against: a registry below
// HKEY_LOCAL_MACHINE and a file system, each behaving as the Win32 calls are
// documented to. Tests seed its state here, make chosen calls fail, and read
// back what the system left behind.
#ifndef VEROLUND_WINSIM_WINSIM_H
#define VEROLUND_WINSIM_WINSIM_H

#include <optional>
#include <string>
#include <vector>

#include "seam/win32.h"

namespace winsim {

// A fresh machine: an empty registry, the directories C:\WINDOWS,
// C:\WINDOWS\Temp, C:\WINDOWS\system32 and C:\WINDOWS\system32\drivers, no
// files, no failures, no open handles and all call counts at zero.
void Reset();

// --- Registry; key paths are below HKEY_LOCAL_MACHINE, names ignore case.
struct Value {
    DWORD type;
    std::string bytes;
};
void AddKey(const std::string &path);  // with any missing parents
void RemoveKey(const std::string &path);
bool KeyExists(const std::string &path);
void SetValue(const std::string &key, const std::string &name, DWORD type,
              const std::string &bytes);
std::optional<Value> GetValue(const std::string &key, const std::string &name);
// Opening the key with any of these rights fails with ERROR_ACCESS_DENIED.
void DenyKeyAccess(const std::string &key, REGSAM rights);

// --- Files; full paths such as C:\WINDOWS\Temp\Verolund.log, names ignore case.
void SetWindowsDirectory(const std::string &path);  // reported, and created
void SetSystemDirectory(const std::string &path);   // reported, and created
void AddDirectory(const std::string &path);
void RemoveDirectory(const std::string &path);  // with everything below it
void SetFile(const std::string &path, const std::string &bytes);
void RemoveFile(const std::string &path);
std::optional<std::string> FileBytes(const std::string &path);
// Every later open of the file fails with this error (another program holds it).
void DenyFileOpen(const std::string &path, DWORD error);

// --- Version, message boxes, the process token and shutdown.
// What GetVersionExA reports; the default machine is Windows XP (NT 5.1).
void SetVersion(DWORD platform, DWORD major, DWORD minor);
struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
// Each message box takes the next answer; once they run out a box fails
// (returns 0), as it does on a machine with no desktop to show it on.
void AnswerBoxes(const std::vector<int> &answers);
std::vector<Box> Boxes();
// The token and shutdown calls made, in order, each with its arguments:
// "OpenProcessToken 0x28", "LookupPrivilegeValueA SeShutdownPrivilege",
// "AdjustTokenPrivileges 1 19 0x2", "ExitWindowsEx 0x2 0".
std::vector<std::string> SystemCalls();

// --- 64-bit Windows. A WoW64 machine runs the program as a 32-bit process on
// 64-bit Windows: its opens below the system directory land in
// <Windows directory>\SysWOW64 unless it turned redirection off. kernel32
// exports IsWow64Process and the two redirection functions (the default, as
// on XP SP2 and later) unless RemoveExport takes one away, as on Windows 2000.
void SetWow64(bool wow64);
void RemoveExport(const std::string &function);
bool RedirectionIsOff();
// In order: "redirection off", "redirection on" and "open <path as opened>"
// for every CreateFileA.
std::vector<std::string> FileEvents();

// --- Failures and accounting, by Win32 function name ("RegSetValueExA").
// After `succeedFirst` more calls that succeed, every call of the function
// fails: registry calls return `error`, the others their documented failure
// value (FALSE, 0, NULL or INVALID_HANDLE_VALUE).
void FailCall(const std::string &function, LONG error, int succeedFirst = 0);
int CallCount(const std::string &function);

// What is still open: key paths and file paths, one entry per handle.
std::vector<std::string> OpenKeys();
std::vector<std::string> OpenFiles();
std::vector<std::string> OpenHandles();  // keys, files and any other handle

}  // namespace winsim

#endif
