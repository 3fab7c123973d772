// The simulated version report, message boxes, process token and shutdown.
#include <cstdio>
#include <cstring>

#include "winsim/machine.h"

namespace winsim {
namespace {

const LUID kShutdownLuid = {19, 0};
const std::uintptr_t kCurrentProcess = static_cast<std::uintptr_t>(-1);

void Record(const std::string &call)
{
    TheMachine().systemCalls.push_back(call);
}

std::string Hex(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

}  // namespace

void SetVersion(DWORD platform, DWORD major, DWORD minor)
{
    OSVERSIONINFOEXA &version = TheMachine().version;
    version.dwPlatformId = platform;
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.dwBuildNumber = major == 5 && minor == 0 ? 2195 : 2600;
}

void AnswerBoxes(const std::vector<int> &answers)
{
    TheMachine().answers = answers;
}

std::vector<Box> Boxes()
{
    return TheMachine().boxes;
}

std::vector<std::string> SystemCalls()
{
    return TheMachine().systemCalls;
}

}  // namespace winsim

using winsim::Injected;
using winsim::TheMachine;

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info)
{
    if (Injected("GetVersionExA") || info == nullptr)
        return FALSE;
    // The size field picks the structure; any other size is refused.
    DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA))
        return FALSE;
    std::memcpy(info, &TheMachine().version, size);
    info->dwOSVersionInfoSize = size;
    return TRUE;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    auto &machine = TheMachine();
    machine.boxes.push_back(
        winsim::Box{owner, text != nullptr ? text : "", caption != nullptr ? caption : "", type});
    if (Injected("MessageBoxA") || machine.answers.empty())
        return 0;
    int answer = machine.answers.front();
    machine.answers.erase(machine.answers.begin());
    return answer;
}

HANDLE WINAPI GetCurrentProcess(void)
{
    return reinterpret_cast<HANDLE>(winsim::kCurrentProcess);
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desired, PHANDLE token)
{
    winsim::Record("OpenProcessToken " + winsim::Hex(desired));
    if (Injected("OpenProcessToken") || token == nullptr ||
        reinterpret_cast<std::uintptr_t>(process) != winsim::kCurrentProcess)
        return FALSE;
    std::uintptr_t value = winsim::NewHandleValue();
    TheMachine().otherHandles[value] = "process token";
    *token = reinterpret_cast<HANDLE>(value);
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid)
{
    std::string privilege = name != nullptr ? name : "";
    winsim::Record("LookupPrivilegeValueA " + privilege);
    if (Injected("LookupPrivilegeValueA") || systemName != nullptr || luid == nullptr ||
        privilege != SE_SHUTDOWN_NAME)
        return FALSE;
    *luid = winsim::kShutdownLuid;
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD,
                                  PTOKEN_PRIVILEGES previousState, PDWORD)
{
    std::string call = "AdjustTokenPrivileges";
    if (newState != nullptr) {
        call += " " + std::to_string(newState->PrivilegeCount);
        for (DWORD i = 0; i < newState->PrivilegeCount && i < 1; ++i) {
            call += " " + std::to_string(newState->Privileges[i].Luid.LowPart) + " " +
                    winsim::Hex(newState->Privileges[i].Attributes);
        }
    }
    if (disableAll)
        call += " disable-all";
    if (previousState != nullptr)
        call += " previous-state";
    winsim::Record(call);
    if (Injected("AdjustTokenPrivileges") ||
        TheMachine().otherHandles.count(reinterpret_cast<std::uintptr_t>(token)) == 0)
        return FALSE;
    return TRUE;
}

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason)
{
    winsim::Record("ExitWindowsEx " + winsim::Hex(flags) + " " + std::to_string(reason));
    return Injected("ExitWindowsEx") ? FALSE : TRUE;
}
