// The yardstick for scripts/cost: a Windows program that imports what the
// wizard imports, so that Wine loads and binds the same DLLs, and does
// nothing else. Built the way the wizard is: no C runtime start-up, static.
#include <string.h>
#include <windows.h>

extern "C" void WINAPI MinimalStart(void);

// Taken through a volatile table so that none of them is dropped.
static void *volatile imports[] = {(void *)AdjustTokenPrivileges,
                                   (void *)LookupPrivilegeValueA,
                                   (void *)OpenProcessToken,
                                   (void *)RegCloseKey,
                                   (void *)RegCreateKeyExA,
                                   (void *)RegEnumKeyExA,
                                   (void *)RegOpenKeyExA,
                                   (void *)RegQueryValueExA,
                                   (void *)RegSetValueExA,
                                   (void *)CloseHandle,
                                   (void *)CreateFileA,
                                   (void *)DeleteFileA,
                                   (void *)GetCommandLineA,
                                   (void *)GetCurrentProcess,
                                   (void *)GetModuleHandleA,
                                   (void *)GetSystemDirectoryA,
                                   (void *)GetVersionExA,
                                   (void *)GetWindowsDirectoryA,
                                   (void *)WriteFile,
                                   (void *)lstrcmpiA,
                                   (void *)ExitWindowsEx,
                                   (void *)MessageBoxA,
                                   (void *)strchr,
                                   (void *)strlen,
                                   (void *)strstr};

void WINAPI MinimalStart(void)
{
    ExitProcess(imports[0] != NULL ? 0 : 1);
}
