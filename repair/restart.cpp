#include "repair/restart.h"

#include "repair/version.h"
#include "seam/win32.h"

// A reboot needs the shutdown privilege enabled in the process's own token.
static int EnableShutdownPrivilege(void)
{
    HANDLE token;
    TOKEN_PRIVILEGES privileges;
    int enabled;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return 0;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    enabled = LookupPrivilegeValueA(NULL, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
    CloseHandle(token);
    return enabled;
}

int RestartSystem(void)
{
    int isNt = windowsVersion.isOtherNt || windowsVersion.isWin2000 || windowsVersion.isWinXP;

    if (isNt && !EnableShutdownPrivilege())
        return 0;
    return ExitWindowsEx(EWX_REBOOT, 0) ? 1 : 0;
}
