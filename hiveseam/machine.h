// The offline machine's state, shared by the files that implement its calls.
#ifndef VEROLUND_HIVESEAM_MACHINE_H
#define VEROLUND_HIVESEAM_MACHINE_H

#include <hivex.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hiveseam/hiveseam.h"

namespace hiveseam {

struct OpenKey {
    hive_node_h node;  // 0 for HKEY_LOCAL_MACHINE itself
    std::string path;
    // The sub-keys as the last enumeration through this handle read them,
    // valid while no key was added since.
    std::vector<hive_node_h> children;
    std::uint64_t childrenGeneration = 0;
};

struct OpenFile {
    std::string path;  // on the volume
    DWORD access;
    size_t position = 0;
};

struct Machine {
    hive_h *hive = nullptr;
    hive_node_h controlSet = 0;
    std::string controlSetName;      // ControlSet001
    std::string windowsDir;          // on the volume, as given
    std::string reportedWindowsDir;  // C:\WINDOWS
    std::string reportedSystemDir;   // C:\WINDOWS\system32
    OSVERSIONINFOEXA version{};
    bool changed = false;
    // The values the run wrote: the key's path as it was opened, the name.
    std::vector<std::pair<std::string, std::string>> written;
    std::uint64_t keysGeneration = 1;
    std::map<std::uintptr_t, OpenKey> keys;
    std::map<std::uintptr_t, OpenFile> files;
    // What the run wrote or deleted, by path on the volume: the bytes the
    // file holds now, or none once it was deleted.
    std::map<std::string, std::optional<std::string>> staged;
    std::vector<std::string> boxes;
    std::uintptr_t nextHandle = 0x1000;
};

Machine &TheMachine();
std::uintptr_t NewHandleValue();

// The child of node whose name equals name (ANSI) ignoring case, or 0.
hive_node_h FindChild(hive_h *hive, hive_node_h node, const std::string &name);
// UTF-16LE bytes as code units; an odd last byte is no code unit and is left
// out.
std::u16string Utf16Units(const std::string &raw);

// The value of node whose name equals name (ANSI) ignoring case, or 0; the
// default value has the empty name. *storedName, when asked for, receives the
// name as stored, in UTF-8.
hive_value_h FindValue(hive_h *hive, hive_node_h node, const std::string &name,
                       std::string *storedName);
// The value's type and its bytes as stored; false when hivex cannot read them.
bool RawValue(hive_h *hive, hive_value_h value, DWORD *type, std::string *raw);

// The node's name as stored, and in the installation's code page.
std::u16string NodeName16(hive_h *hive, hive_node_h node);
std::string NodeName(hive_h *hive, hive_node_h node);

}  // namespace hiveseam

#endif
