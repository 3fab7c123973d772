#include "repair/version.h"

#include <string.h>

#include "seam/win32.h"

WindowsVersionFlags windowsVersion;

void ClassifyWindowsVersion(void)
{
    OSVERSIONINFOEXA info;
    LPOSVERSIONINFOA basic = reinterpret_cast<LPOSVERSIONINFOA>(&info);

    // Zeroed first, so that a failed query reads as platform 0: no flag.
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    GetVersionExA(basic);
    windowsVersion.isWin9x = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    windowsVersion.isOtherNt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
    windowsVersion.isWin2000 = 0;
    windowsVersion.isWinXP = 0;
    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return;

    // The first query read the size through basic, which cppcheck misses.
    // cppcheck-suppress redundantAssignment
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!GetVersionExA(basic) || info.dwMajorVersion != 5)
        return;
    windowsVersion.isOtherNt = 0;
    windowsVersion.isWin2000 = info.dwMinorVersion == 0;
    windowsVersion.isWinXP = info.dwMinorVersion != 0;
}
