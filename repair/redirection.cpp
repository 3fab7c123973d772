#include "repair/redirection.h"

typedef BOOL(WINAPI *IsWow64ProcessCall)(HANDLE process, PBOOL isWow64);
typedef BOOL(WINAPI *DisableRedirectionCall)(PVOID *previous);
typedef BOOL(WINAPI *RevertRedirectionCall)(PVOID previous);

// Windows 2000 and XP before SP2 lack these functions, and importing them
// would keep the program from loading there: they are looked up at run time.
static FARPROC Kernel32Function(const char *name)
{
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");

    return kernel32 != NULL ? GetProcAddress(kernel32, name) : NULL;
}

// GetProcAddress answers an untyped function; going through void (*)(void)
// says that its real type is known here.
template <typename Call> static Call Kernel32Call(const char *name)
{
    return reinterpret_cast<Call>(reinterpret_cast<void (*)(void)>(Kernel32Function(name)));
}

static int RunsUnderWow64(void)
{
    IsWow64ProcessCall isWow64Process = Kernel32Call<IsWow64ProcessCall>("IsWow64Process");
    BOOL isWow64 = FALSE;

    return isWow64Process != NULL && isWow64Process(GetCurrentProcess(), &isWow64) && isWow64;
}

int TurnOffFileRedirection(PVOID *previous)
{
    DisableRedirectionCall disable;

    if (!RunsUnderWow64())
        return 0;
    disable = Kernel32Call<DisableRedirectionCall>("Wow64DisableWow64FsRedirection");
    // Never turned off without the means to turn it on again.
    if (disable == NULL ||
        Kernel32Call<RevertRedirectionCall>("Wow64RevertWow64FsRedirection") == NULL)
        return 0;
    return disable(previous) ? 1 : 0;
}

void RestoreFileRedirection(PVOID previous)
{
    RevertRedirectionCall revert =
        Kernel32Call<RevertRedirectionCall>("Wow64RevertWow64FsRedirection");

    if (revert != NULL)
        revert(previous);
}
