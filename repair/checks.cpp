#include "repair/checks.h"

#include <string.h>

#include "repair/redirection.h"
#include "seam/win32.h"
#include "text/text.h"

char driversDir[DRIVERS_DIR_SIZE];

int BuildDriversDir(void)
{
    char systemDir[MAX_PATH];
    UINT reported = GetSystemDirectoryA(systemDir, sizeof systemDir);

    return BuildPathBelow(driversDir, sizeof driversDir, systemDir, reported, sizeof systemDir,
                          "\\drivers");
}

int BuildDriverFilePath(const char *filterName, char *path)
{
    memset(path, 0, MAX_PATH);
    if (driversDir[0] == '\0')
        return 0;
    return FormatText(path, MAX_PATH, "%s\\%s.sys", driversDir, filterName);
}

int DriverFileExists(const char *path)
{
    PVOID redirection = NULL;
    int turnedOff = TurnOffFileRedirection(&redirection);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);

    if (turnedOff)
        RestoreFileRedirection(redirection);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    return 1;
}

int ServiceKeyOpens(const char *name)
{
    char path[MAX_PATH];
    HKEY service;

    if (!FormatText(path, sizeof path, "System\\CurrentControlSet\\Services\\%s", name))
        return 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &service) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(service);
    return 1;
}
