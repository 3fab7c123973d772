// The registry calls of the repair over the installation's SYSTEM hive.
// HKEY_LOCAL_MACHINE holds SYSTEM alone, and SYSTEM\CurrentControlSet, a
// link that Windows makes at boot and that a hive at rest lacks, stands for
// the chosen ControlSetNNN. Every change stays in memory until CommitHive.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "hiveseam/codepage.h"
#include "hiveseam/machine.h"

namespace hiveseam {
namespace {

const size_t kKeyNameMax = 255;

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::u16string HivexText(char *text)
{
    if (text == nullptr)
        return u"";
    std::u16string units = Utf8ToUtf16(text);
    std::free(text);
    return units;
}

bool SameName(const std::u16string &stored, const std::string &ansi)
{
    return CompareNamesIgnoringCase(stored, AnsiToUtf16(ansi)) == 0;
}

// String data is UTF-16LE in the hive and ANSI to the caller, one byte per
// code unit.
std::string AnsiData(const std::string &raw)
{
    return Utf16ToAnsi(Utf16Units(raw));
}

std::string StoredData(const std::string &ansi)
{
    std::string raw;
    for (char16_t unit : AnsiToUtf16(ansi)) {
        raw += static_cast<char>(unit & 0xFF);
        raw += static_cast<char>(unit >> 8);
    }
    return raw;
}

std::vector<std::string> SplitPath(const char *path)
{
    std::vector<std::string> parts;
    std::string text = path != nullptr ? path : "";
    size_t from = 0;
    for (size_t slash; (slash = text.find('\\', from)) != std::string::npos; from = slash + 1)
        parts.push_back(text.substr(from, slash - from));
    if (from < text.size())
        parts.push_back(text.substr(from));
    return parts;
}

OpenKey *Resolve(HKEY handle, OpenKey &machineKey)
{
    if (handle == HKEY_LOCAL_MACHINE) {
        machineKey = OpenKey{0, "HKLM", {}, 0};
        return &machineKey;
    }
    auto found = TheMachine().keys.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == TheMachine().keys.end() ? nullptr : &found->second;
}

// A hive as the calls walk it: the hive and the control set that
// CurrentControlSet stands for in it.
struct HiveView {
    hive_h *hive;
    hive_node_h controlSet;
};

HiveView MachineView()
{
    return HiveView{TheMachine().hive, TheMachine().controlSet};
}

// One step down from node (0: HKEY_LOCAL_MACHINE); 0 when there is no such key.
hive_node_h Step(const HiveView &view, hive_node_h node, const std::string &name)
{
    if (name.empty() || name.size() > kKeyNameMax)
        return 0;
    if (node == 0)
        return SameName(u"SYSTEM", name) ? hivex_root(view.hive) : 0;
    if (node == hivex_root(view.hive) && SameName(u"CurrentControlSet", name))
        return view.controlSet;
    return FindChild(view.hive, node, name);
}

// The key at a path below HKEY_LOCAL_MACHINE ("HKLM\..." or "..."), or 0.
hive_node_h Walk(const HiveView &view, const std::string &path)
{
    std::vector<std::string> parts = SplitPath(path.c_str());
    if (!parts.empty() && parts[0] == "HKLM")
        parts.erase(parts.begin());
    hive_node_h node = 0;
    for (const std::string &part : parts) {
        node = Step(view, node, part);
        if (node == 0)
            return 0;
    }
    return node;
}

HKEY NewKeyHandle(hive_node_h node, const std::string &path)
{
    std::uintptr_t value = NewHandleValue();
    TheMachine().keys[value] = OpenKey{node, path, {}, 0};
    return reinterpret_cast<HKEY>(value);
}

std::string JoinPath(const std::string &base, const char *subKey)
{
    return subKey == nullptr || *subKey == '\0' ? base : base + "\\" + subKey;
}

}  // namespace

std::u16string Utf16Units(const std::string &raw)
{
    std::u16string units;
    for (size_t at = 0; at + 1 < raw.size(); at += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(raw[at]) |
                                       static_cast<unsigned char>(raw[at + 1]) << 8);
    return units;
}

// The value of node whose name equals name ignoring case, or 0; the default
// value has the empty name.
hive_value_h FindValue(hive_h *hive, hive_node_h node, const std::string &name,
                       std::string *storedName)
{
    hive_value_h *values = node != 0 ? hivex_node_values(hive, node) : nullptr;
    hive_value_h found = 0;
    for (size_t i = 0; values != nullptr && values[i] != 0 && found == 0; ++i) {
        char *key = hivex_value_key(hive, values[i]);
        std::string utf8 = key != nullptr ? key : "";
        std::free(key);
        if (key != nullptr && SameName(Utf8ToUtf16(utf8), name)) {
            found = values[i];
            if (storedName != nullptr)
                *storedName = utf8;
        }
    }
    std::free(values);
    return found;
}

// A value's type is any 32-bit number, but hivex hands it over in its enum,
// which holds only the types it names: the bytes are taken as they are.
static_assert(sizeof(hive_type) == sizeof(DWORD), "hivex's type field is a DWORD");

bool RawValue(hive_h *hive, hive_value_h value, DWORD *type, std::string *raw)
{
    hive_type stored;
    size_t length = 0;
    char *data = hivex_value_value(hive, value, &stored, &length);
    if (data == nullptr)
        return false;
    raw->assign(data, length);
    std::free(data);
    std::memcpy(type, &stored, sizeof *type);
    return true;
}

std::u16string NodeName16(hive_h *hive, hive_node_h node)
{
    return HivexText(hivex_node_name(hive, node));
}

std::string NodeName(hive_h *hive, hive_node_h node)
{
    return Utf16ToAnsi(NodeName16(hive, node));
}

hive_node_h FindChild(hive_h *hive, hive_node_h node, const std::string &name)
{
    hive_node_h *children = hivex_node_children(hive, node);
    hive_node_h found = 0;
    std::u16string wanted = AnsiToUtf16(name);
    for (size_t i = 0; children != nullptr && children[i] != 0 && found == 0; ++i) {
        if (CompareNamesIgnoringCase(NodeName16(hive, children[i]), wanted) == 0)
            found = children[i];
    }
    std::free(children);
    return found;
}

// A value as it is stored, or none.
std::optional<Value> StoredValue(const HiveView &view, const std::string &keyPath, const char *name)
{
    hive_node_h node = Walk(view, keyPath);
    hive_value_h value =
        node != 0 ? FindValue(view.hive, node, name != nullptr ? name : "", nullptr) : 0;
    Value stored{};
    if (value == 0 || !RawValue(view.hive, value, &stored.type, &stored.bytes))
        return std::nullopt;
    return stored;
}

std::optional<Value> ReadValue(const std::string &keyPath, const char *name)
{
    if (TheMachine().hive == nullptr)
        return std::nullopt;
    std::optional<Value> read = StoredValue(MachineView(), keyPath, name);
    if (read && IsStringType(read->type))
        read->bytes = AnsiData(read->bytes);
    return read;
}

bool KeyExists(const std::string &keyPath)
{
    return TheMachine().hive != nullptr && Walk(MachineView(), keyPath) != 0;
}

bool HiveChanged()
{
    return TheMachine().changed;
}

std::string CommitHive(const std::string &path)
{
    if (TheMachine().hive == nullptr)
        return "no hive is open";
    if (hivex_commit(TheMachine().hive, path.c_str(), 0) != 0)
        return std::strerror(errno);
    return "";
}

std::string VerifyCommittedHive(const std::string &path)
{
    HiveHeader header;
    std::string problem = CheckHiveFile(path, &header);
    if (!problem.empty())
        return "the written hive " + problem;
    hive_h *written = hivex_open(path.c_str(), 0);
    if (written == nullptr)
        return "the written hive cannot be read: " + std::string(std::strerror(errno));
    HiveView view{written, FindChild(written, hivex_root(written), TheMachine().controlSetName)};
    for (const auto &value : TheMachine().written) {
        std::optional<Value> expected =
            StoredValue(MachineView(), value.first, value.second.c_str());
        std::optional<Value> found = StoredValue(view, value.first, value.second.c_str());
        if (!found || !expected || found->type != expected->type || found->bytes != expected->bytes)
            problem = "in the written hive, " + value.first + " " + value.second +
                      " does not read back as written";
    }
    hivex_close(written);
    return problem;
}

}  // namespace hiveseam

using hiveseam::OpenKey;
using hiveseam::TheMachine;

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result)
{
    OpenKey machineKey{};
    OpenKey *base = hiveseam::Resolve(key, machineKey);
    if (base == nullptr || result == nullptr || TheMachine().hive == nullptr)
        return base == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
    *result = nullptr;
    hive_node_h node = base->node;
    for (const std::string &part : hiveseam::SplitPath(subKey)) {
        node = hiveseam::Step(hiveseam::MachineView(), node, part);
        if (node == 0)
            return ERROR_FILE_NOT_FOUND;
    }
    if (node == 0)
        return ERROR_INVALID_PARAMETER;
    *result = hiveseam::NewKeyHandle(node, hiveseam::JoinPath(base->path, subKey));
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM,
                            LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition)
{
    OpenKey machineKey{};
    OpenKey *base = hiveseam::Resolve(key, machineKey);
    hiveseam::Machine &machine = TheMachine();
    if (base == nullptr || result == nullptr || machine.hive == nullptr)
        return base == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
    hive_node_h node = base->node;
    DWORD created = REG_OPENED_EXISTING_KEY;
    for (const std::string &part : hiveseam::SplitPath(subKey)) {
        if (part.empty() || part.size() > hiveseam::kKeyNameMax)
            return ERROR_INVALID_PARAMETER;
        hive_node_h next = hiveseam::Step(hiveseam::MachineView(), node, part);
        if (next == 0) {
            // Only SYSTEM lives below HKEY_LOCAL_MACHINE here.
            if (node == 0)
                return ERROR_ACCESS_DENIED;
            next = hivex_node_add_child(machine.hive, node, hiveseam::AnsiToUtf8(part).c_str());
            if (next == 0)
                return ERROR_ACCESS_DENIED;
            machine.changed = true;
            ++machine.keysGeneration;
            created = REG_CREATED_NEW_KEY;
        }
        node = next;
    }
    if (node == 0)
        return ERROR_INVALID_PARAMETER;
    *result = hiveseam::NewKeyHandle(node, hiveseam::JoinPath(base->path, subKey));
    if (disposition != nullptr)
        *disposition = created;
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD dataSize)
{
    OpenKey machineKey{};
    OpenKey *open = hiveseam::Resolve(key, machineKey);
    if (open == nullptr || open->node == 0)
        return open == nullptr ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND;
    if (data != nullptr && dataSize == nullptr)
        return ERROR_INVALID_PARAMETER;
    hive_h *hive = TheMachine().hive;
    hive_value_h value =
        hiveseam::FindValue(hive, open->node, valueName != nullptr ? valueName : "", nullptr);
    DWORD storedType = REG_NONE;
    std::string bytes;
    if (value == 0 || !hiveseam::RawValue(hive, value, &storedType, &bytes))
        return ERROR_FILE_NOT_FOUND;
    if (hiveseam::IsStringType(storedType))
        bytes = hiveseam::AnsiData(bytes);
    DWORD needed = static_cast<DWORD>(bytes.size());
    if (type != nullptr)
        *type = storedType;
    if (data != nullptr && *dataSize < needed) {
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr)
        std::memcpy(data, bytes.data(), needed);
    if (dataSize != nullptr)
        *dataSize = needed;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE *data,
                           DWORD dataSize)
{
    OpenKey machineKey{};
    OpenKey *open = hiveseam::Resolve(key, machineKey);
    hiveseam::Machine &machine = TheMachine();
    if (open == nullptr || open->node == 0)
        return open == nullptr ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED;
    if (data == nullptr && dataSize != 0)
        return ERROR_INVALID_PARAMETER;
    std::string given(reinterpret_cast<const char *>(data), dataSize);
    std::string raw = hiveseam::IsStringType(type) ? hiveseam::StoredData(given) : given;
    std::string name = valueName != nullptr ? valueName : "";
    // An existing value keeps its stored name, as Windows keeps it.
    std::string storedName = hiveseam::AnsiToUtf8(name);
    hive_value_h existing = hiveseam::FindValue(machine.hive, open->node, name, &storedName);
    DWORD oldType = REG_NONE;
    std::string oldRaw;
    if (existing != 0 && hiveseam::RawValue(machine.hive, existing, &oldType, &oldRaw) &&
        oldType == type && oldRaw == raw)
        return ERROR_SUCCESS;
    hive_set_value value{const_cast<char *>(storedName.c_str()), hive_t_none, raw.size(),
                         const_cast<char *>(raw.data())};
    std::memcpy(&value.t, &type, sizeof type);
    if (hivex_node_set_value(machine.hive, open->node, &value, 0) != 0)
        return ERROR_ACCESS_DENIED;
    machine.changed = true;
    machine.written.emplace_back(open->path, name);
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPSTR,
                          LPDWORD, PFILETIME lastWriteTime)
{
    OpenKey machineKey{};
    OpenKey *open = hiveseam::Resolve(key, machineKey);
    hiveseam::Machine &machine = TheMachine();
    if (open == nullptr)
        return ERROR_INVALID_HANDLE;
    if (name == nullptr || nameLength == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::string found;
    if (open->node == 0) {
        if (index > 0)
            return ERROR_NO_MORE_ITEMS;
        found = "SYSTEM";
    } else {
        if (open->childrenGeneration != machine.keysGeneration) {
            open->children.clear();
            hive_node_h *children = hivex_node_children(machine.hive, open->node);
            for (size_t i = 0; children != nullptr && children[i] != 0; ++i)
                open->children.push_back(children[i]);
            std::free(children);
            open->childrenGeneration = machine.keysGeneration;
        }
        if (index >= open->children.size())
            return ERROR_NO_MORE_ITEMS;
        found = hiveseam::NodeName(machine.hive, open->children[index]);
    }
    // The length goes in as the buffer's size in characters, terminator
    // included, and comes back without the terminator.
    if (found.size() >= *nameLength)
        return ERROR_MORE_DATA;
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameLength = static_cast<DWORD>(found.size());
    if (lastWriteTime != nullptr)
        *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    return TheMachine().keys.erase(reinterpret_cast<std::uintptr_t>(key)) == 1
               ? ERROR_SUCCESS
               : ERROR_INVALID_HANDLE;
}
