// The other calls of the repair, offline: the version the installation was
// found to be, boxes recorded for the caller to show, and no restart.
#include <cstring>

#include "hiveseam/codepage.h"
#include "hiveseam/machine.h"

namespace hiveseam {

void SetVersion(DWORD major, DWORD minor)
{
    OSVERSIONINFOEXA &version = TheMachine().version;
    version = OSVERSIONINFOEXA{};
    version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
}

std::vector<std::string> Boxes()
{
    return TheMachine().boxes;
}

}  // namespace hiveseam

using hiveseam::TheMachine;

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info)
{
    if (info == nullptr)
        return FALSE;
    DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA))
        return FALSE;
    std::memcpy(info, &TheMachine().version, size);
    info->dwOSVersionInfoSize = size;
    return TRUE;
}

// The caller shows the text; no one is there to answer a question, so a
// question is answered No.
int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR, UINT type)
{
    TheMachine().boxes.push_back(text != nullptr ? text : "");
    return (type & 0xF) == MB_YESNO ? IDNO : IDOK;
}

HANDLE WINAPI GetCurrentProcess(void)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

// A rescue system is not restarted by the repair: the token calls and the
// shutdown fail.
BOOL WINAPI OpenProcessToken(HANDLE, DWORD, PHANDLE)
{
    return FALSE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR, LPCSTR, PLUID)
{
    return FALSE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD)
{
    return FALSE;
}

BOOL WINAPI ExitWindowsEx(UINT, DWORD)
{
    return FALSE;
}

// No WoW64 offline: the paths reach the volume's folders directly.
HMODULE WINAPI GetModuleHandleA(LPCSTR)
{
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR)
{
    return nullptr;
}

int WINAPI lstrcmpiA(LPCSTR first, LPCSTR second)
{
    int order =
        hiveseam::CompareNamesIgnoringCase(hiveseam::AnsiToUtf16(first != nullptr ? first : ""),
                                           hiveseam::AnsiToUtf16(second != nullptr ? second : ""));
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}
