// The simulated kernel32 exports that are looked up at run time, and the
// file system redirection of a 32-bit process on 64-bit Windows.
#include "winsim/machine.h"

namespace winsim {
namespace {

// What kernel32.dll's module handle is here: any value that is not NULL.
HMODULE const kKernel32 = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x7b800000));
// The value Wow64DisableWow64FsRedirection hands out, to be given back.
PVOID const kRedirectionCookie = reinterpret_cast<PVOID>(static_cast<std::uintptr_t>(0x5eed));

BOOL WINAPI IsWow64Process(HANDLE, PBOOL isWow64)
{
    if (Injected("IsWow64Process") || isWow64 == nullptr)
        return FALSE;
    *isWow64 = TheMachine().wow64 ? TRUE : FALSE;
    return TRUE;
}

// On 32-bit Windows the call exists but fails: there is nothing to turn off.
BOOL WINAPI Wow64DisableWow64FsRedirection(PVOID *previous)
{
    if (Injected("Wow64DisableWow64FsRedirection") || previous == nullptr || !TheMachine().wow64)
        return FALSE;
    TheMachine().redirectionOff = true;
    TheMachine().fileEvents.push_back("redirection off");
    *previous = kRedirectionCookie;
    return TRUE;
}

BOOL WINAPI Wow64RevertWow64FsRedirection(PVOID previous)
{
    if (Injected("Wow64RevertWow64FsRedirection") || previous != kRedirectionCookie ||
        !TheMachine().redirectionOff)
        return FALSE;
    TheMachine().redirectionOff = false;
    TheMachine().fileEvents.push_back("redirection on");
    return TRUE;
}

struct Export {
    const char *name;
    FARPROC function;
};

FARPROC Untyped(void (*function)(void))
{
    return reinterpret_cast<FARPROC>(function);
}

}  // namespace

void SetWow64(bool wow64)
{
    TheMachine().wow64 = wow64;
}

void RemoveExport(const std::string &function)
{
    TheMachine().removedExports.insert(function);
}

bool RedirectionIsOff()
{
    return TheMachine().redirectionOff;
}

std::vector<std::string> FileEvents()
{
    return TheMachine().fileEvents;
}

std::string RedirectedPath(const std::string &path)
{
    const Machine &machine = TheMachine();
    const std::string &system = machine.systemDir;
    if (!machine.wow64 || machine.redirectionOff || system.empty() ||
        CompareIgnoringCase(std::string_view(path).substr(0, system.size()), system) != 0 ||
        (path.size() > system.size() && path[system.size()] != '\\'))
        return path;
    return machine.windowsDir + "\\SysWOW64" + path.substr(system.size());
}

}  // namespace winsim

using winsim::Injected;

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName)
{
    if (Injected("GetModuleHandleA") || moduleName == nullptr ||
        winsim::CompareIgnoringCase(moduleName, "kernel32.dll") != 0)
        return nullptr;
    return winsim::kKernel32;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName)
{
    using winsim::Untyped;
    const winsim::Export exports[] = {
        {"IsWow64Process", Untyped(reinterpret_cast<void (*)(void)>(&winsim::IsWow64Process))},
        {"Wow64DisableWow64FsRedirection",
         Untyped(reinterpret_cast<void (*)(void)>(&winsim::Wow64DisableWow64FsRedirection))},
        {"Wow64RevertWow64FsRedirection",
         Untyped(reinterpret_cast<void (*)(void)>(&winsim::Wow64RevertWow64FsRedirection))},
    };
    if (Injected("GetProcAddress") || module != winsim::kKernel32 || procName == nullptr)
        return nullptr;
    for (const winsim::Export &known : exports) {
        if (std::string(known.name) == procName &&
            winsim::TheMachine().removedExports.count(procName) == 0)
            return known.function;
    }
    return nullptr;
}
