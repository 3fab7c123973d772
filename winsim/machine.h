// The simulated machine's state, shared by the files that implement its calls.
#ifndef VEROLUND_WINSIM_MACHINE_H
#define VEROLUND_WINSIM_MACHINE_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "seam/win32.h"
#include "winsim/winsim.h"

namespace winsim {

// Case-insensitive ordering for ASCII names, as registry and file names compare.
struct CaseLess {
    bool operator()(const std::string &a, const std::string &b) const;
};
std::string Upper(const std::string &text);
int CompareIgnoringCase(std::string_view first, std::string_view second);

struct Key {
    std::map<std::string, Value, CaseLess> values;
    std::map<std::string, std::unique_ptr<Key>, CaseLess> subKeys;
    REGSAM denied = 0;
};

struct OpenKey {
    Key *key;
    REGSAM granted;
    std::string path;
    // Where the last enumeration through this handle stood, so that
    // enumerating index after index does not walk the sub-keys from the
    // start each time; valid while no key was added or removed since.
    std::map<std::string, std::unique_ptr<Key>, CaseLess>::iterator cursor{};
    DWORD cursorIndex = 0;
    std::uint64_t cursorGeneration = 0;
};

struct File {
    std::string bytes;
    DWORD deniedWith = 0;
};

struct OpenFile {
    std::string path;  // upper case, as the files map keys it
    DWORD access;
    size_t position;
};

struct Failure {
    LONG error;
    int succeedFirst;
};

struct Machine {
    Key root;
    std::map<std::uintptr_t, OpenKey> keys;
    std::string windowsDir;
    std::string systemDir;
    std::set<std::string> directories;  // upper case
    std::map<std::string, File> files;  // upper case path
    std::map<std::uintptr_t, OpenFile> openFiles;
    std::map<std::uintptr_t, std::string> otherHandles;  // what each one is
    OSVERSIONINFOEXA version{};
    std::vector<int> answers;
    std::vector<Box> boxes;
    std::vector<std::string> systemCalls;
    std::map<std::string, Failure> failures;
    std::map<std::string, int> calls;
    bool wow64 = false;
    bool redirectionOff = false;
    std::set<std::string> removedExports;
    std::vector<std::string> fileEvents;
    std::uintptr_t nextHandle = 0x1000;
    std::uint64_t keysGeneration = 1;  // grows whenever a key is added or removed
};

Machine &TheMachine();

// Counts the call and answers whether an injected failure applies to it.
std::optional<LONG> Injected(const char *function);

std::uintptr_t NewHandleValue();

// The path an open of this path reaches: under WoW64 with redirection on,
// the system directory stands for SysWOW64.
std::string RedirectedPath(const std::string &path);

}  // namespace winsim

#endif
