#include "winsim/machine.h"

#include <algorithm>
#include <cctype>

namespace winsim {

bool CaseLess::operator()(const std::string &a, const std::string &b) const
{
    return CompareIgnoringCase(a, b) < 0;
}

// Orders as the upper-cased texts would, byte by byte, without copying them.
int CompareIgnoringCase(std::string_view first, std::string_view second)
{
    auto upper = [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte >= 'a' && byte <= 'z' ? byte - 'a' + 'A' : byte;
    };
    size_t common = std::min(first.size(), second.size());
    for (size_t at = 0; at < common; ++at) {
        if (upper(first[at]) != upper(second[at]))
            return upper(first[at]) - upper(second[at]);
    }
    return first.size() < second.size() ? -1 : (first.size() > second.size() ? 1 : 0);
}

std::string Upper(const std::string &text)
{
    std::string upper = text;
    for (char &c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

Machine &TheMachine()
{
    static Machine machine;
    return machine;
}

void Reset()
{
    Machine &machine = TheMachine();
    machine.root = Key();
    ++machine.keysGeneration;
    machine.keys.clear();
    machine.directories.clear();
    machine.files.clear();
    machine.openFiles.clear();
    machine.otherHandles.clear();
    machine.version = OSVERSIONINFOEXA{};
    SetVersion(VER_PLATFORM_WIN32_NT, 5, 1);
    machine.answers.clear();
    machine.boxes.clear();
    machine.systemCalls.clear();
    machine.failures.clear();
    machine.calls.clear();
    machine.nextHandle = 0x1000;
    machine.wow64 = false;
    machine.redirectionOff = false;
    machine.removedExports.clear();
    machine.fileEvents.clear();
    AddDirectory("C:\\");
    SetWindowsDirectory("C:\\WINDOWS");
    AddDirectory("C:\\WINDOWS\\Temp");
    SetSystemDirectory("C:\\WINDOWS\\system32");
    AddDirectory("C:\\WINDOWS\\system32\\drivers");
}

void FailCall(const std::string &function, LONG error, int succeedFirst)
{
    TheMachine().failures[function] = Failure{error, succeedFirst};
}

int CallCount(const std::string &function)
{
    auto &calls = TheMachine().calls;
    auto found = calls.find(function);
    return found == calls.end() ? 0 : found->second;
}

std::optional<LONG> Injected(const char *function)
{
    Machine &machine = TheMachine();
    ++machine.calls[function];
    auto found = machine.failures.find(function);
    if (found == machine.failures.end())
        return std::nullopt;
    if (found->second.succeedFirst > 0) {
        --found->second.succeedFirst;
        return std::nullopt;
    }
    return found->second.error;
}

std::uintptr_t NewHandleValue()
{
    Machine &machine = TheMachine();
    machine.nextHandle += 4;
    return machine.nextHandle;
}

std::vector<std::string> OpenHandles()
{
    std::vector<std::string> open = OpenKeys();
    std::vector<std::string> files = OpenFiles();
    open.insert(open.end(), files.begin(), files.end());
    for (const auto &other : TheMachine().otherHandles)
        open.push_back(other.second);
    return open;
}

}  // namespace winsim

int WINAPI lstrcmpiA(LPCSTR first, LPCSTR second)
{
    ++winsim::TheMachine().calls["lstrcmpiA"];
    int order =
        winsim::CompareIgnoringCase(first != nullptr ? first : "", second != nullptr ? second : "");
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}
