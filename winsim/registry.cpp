// The simulated registry: keys below HKEY_LOCAL_MACHINE, opened through
// handles that carry the rights they were granted.
#include <cstring>

#include "winsim/machine.h"

namespace winsim {
namespace {

std::vector<std::string> SplitPath(const std::string &path)
{
    std::vector<std::string> parts;
    if (path.empty())
        return parts;
    size_t from = 0;
    for (size_t slash; (slash = path.find('\\', from)) != std::string::npos; from = slash + 1)
        parts.push_back(path.substr(from, slash - from));
    if (from < path.size())
        parts.push_back(path.substr(from));
    return parts;
}

Key *FindKey(Key *from, const std::vector<std::string> &parts)
{
    for (const std::string &part : parts) {
        auto found = from->subKeys.find(part);
        if (part.empty() || found == from->subKeys.end())
            return nullptr;
        from = found->second.get();
    }
    return from;
}

Key *FindKey(const std::string &path)
{
    return FindKey(&TheMachine().root, SplitPath(path));
}

// The key and path a handle stands for; HKEY_LOCAL_MACHINE has every right.
OpenKey *Resolve(HKEY handle, OpenKey &root)
{
    if (handle == HKEY_LOCAL_MACHINE) {
        root = OpenKey{&TheMachine().root, KEY_ALL_ACCESS, "HKLM"};
        return &root;
    }
    auto found = TheMachine().keys.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == TheMachine().keys.end() ? nullptr : &found->second;
}

HKEY NewKeyHandle(Key *key, REGSAM granted, const std::string &path)
{
    std::uintptr_t value = NewHandleValue();
    TheMachine().keys[value] = OpenKey{key, granted, path};
    return reinterpret_cast<HKEY>(value);
}

std::string JoinPath(const std::string &base, const char *subKey)
{
    if (subKey == nullptr || *subKey == '\0')
        return base;
    return base + "\\" + subKey;
}

}  // namespace

void AddKey(const std::string &path)
{
    Key *key = &TheMachine().root;
    for (const std::string &part : SplitPath(path)) {
        auto &slot = key->subKeys[part];
        if (!slot) {
            slot = std::make_unique<Key>();
            ++TheMachine().keysGeneration;
        }
        key = slot.get();
    }
}

void RemoveKey(const std::string &path)
{
    std::vector<std::string> parts = SplitPath(path);
    if (parts.empty())
        return;
    std::string last = parts.back();
    parts.pop_back();
    if (Key *parent = FindKey(&TheMachine().root, parts)) {
        parent->subKeys.erase(last);
        ++TheMachine().keysGeneration;
    }
}

bool KeyExists(const std::string &path)
{
    return FindKey(path) != nullptr;
}

void SetValue(const std::string &key, const std::string &name, DWORD type, const std::string &bytes)
{
    AddKey(key);
    Key *found = FindKey(key);
    auto existing = found->values.find(name);
    if (existing != found->values.end())
        existing->second = Value{type, bytes};
    else
        found->values.emplace(name, Value{type, bytes});
}

std::optional<Value> GetValue(const std::string &key, const std::string &name)
{
    Key *found = FindKey(key);
    if (found == nullptr)
        return std::nullopt;
    auto value = found->values.find(name);
    if (value == found->values.end())
        return std::nullopt;
    return value->second;
}

void DenyKeyAccess(const std::string &key, REGSAM rights)
{
    AddKey(key);
    FindKey(key)->denied |= rights;
}

std::vector<std::string> OpenKeys()
{
    std::vector<std::string> open;
    for (const auto &key : TheMachine().keys)
        open.push_back(key.second.path);
    return open;
}

}  // namespace winsim

using winsim::Injected;
using winsim::OpenKey;

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result)
{
    if (auto error = Injected("RegOpenKeyExA"))
        return *error;
    OpenKey root{};
    OpenKey *base = winsim::Resolve(key, root);
    if (base == nullptr || result == nullptr)
        return base == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
    *result = nullptr;
    winsim::Key *target =
        winsim::FindKey(base->key, winsim::SplitPath(subKey != nullptr ? subKey : ""));
    if (target == nullptr)
        return ERROR_FILE_NOT_FOUND;
    if ((desired & target->denied) != 0)
        return ERROR_ACCESS_DENIED;
    *result = winsim::NewKeyHandle(target, desired, winsim::JoinPath(base->path, subKey));
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM desired,
                            LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition)
{
    if (auto error = Injected("RegCreateKeyExA"))
        return *error;
    OpenKey root{};
    OpenKey *base = winsim::Resolve(key, root);
    if (base == nullptr || result == nullptr)
        return base == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
    winsim::Key *at = base->key;
    DWORD created = REG_OPENED_EXISTING_KEY;
    for (const std::string &part : winsim::SplitPath(subKey != nullptr ? subKey : "")) {
        if (part.empty())
            return ERROR_INVALID_PARAMETER;
        auto &slot = at->subKeys[part];
        if (!slot) {
            ++winsim::TheMachine().keysGeneration;
            if ((at->denied & KEY_CREATE_SUB_KEY) != 0) {
                at->subKeys.erase(part);
                return ERROR_ACCESS_DENIED;
            }
            slot = std::make_unique<winsim::Key>();
            created = REG_CREATED_NEW_KEY;
        }
        at = slot.get();
    }
    if ((desired & at->denied) != 0)
        return ERROR_ACCESS_DENIED;
    *result = winsim::NewKeyHandle(at, desired, winsim::JoinPath(base->path, subKey));
    if (disposition != nullptr)
        *disposition = created;
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD dataSize)
{
    if (auto error = Injected("RegQueryValueExA"))
        return *error;
    OpenKey root{};
    OpenKey *open = winsim::Resolve(key, root);
    if (open == nullptr)
        return ERROR_INVALID_HANDLE;
    if ((open->granted & KEY_QUERY_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    if (data != nullptr && dataSize == nullptr)
        return ERROR_INVALID_PARAMETER;
    auto found = open->key->values.find(valueName != nullptr ? valueName : "");
    if (found == open->key->values.end())
        return ERROR_FILE_NOT_FOUND;
    const winsim::Value &value = found->second;
    DWORD needed = static_cast<DWORD>(value.bytes.size());
    if (type != nullptr)
        *type = value.type;
    if (data != nullptr && *dataSize < needed) {
        // The buffer's contents are undefined after ERROR_MORE_DATA.
        std::memset(data, 0xCC, *dataSize);
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr)
        std::memcpy(data, value.bytes.data(), needed);
    if (dataSize != nullptr)
        *dataSize = needed;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE *data,
                           DWORD dataSize)
{
    if (auto error = Injected("RegSetValueExA"))
        return *error;
    OpenKey root{};
    OpenKey *open = winsim::Resolve(key, root);
    if (open == nullptr)
        return ERROR_INVALID_HANDLE;
    if ((open->granted & KEY_SET_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    if (data == nullptr && dataSize != 0)
        return ERROR_INVALID_PARAMETER;
    std::string bytes(reinterpret_cast<const char *>(data), dataSize);
    std::string name = valueName != nullptr ? valueName : "";
    auto existing = open->key->values.find(name);
    if (existing != open->key->values.end())
        existing->second = winsim::Value{type, bytes};
    else
        open->key->values.emplace(name, winsim::Value{type, bytes});
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPSTR,
                          LPDWORD, PFILETIME lastWriteTime)
{
    if (auto error = Injected("RegEnumKeyExA"))
        return *error;
    OpenKey root{};
    OpenKey *open = winsim::Resolve(key, root);
    if (open == nullptr)
        return ERROR_INVALID_HANDLE;
    if ((open->granted & KEY_ENUMERATE_SUB_KEYS) == 0)
        return ERROR_ACCESS_DENIED;
    if (name == nullptr || nameLength == nullptr)
        return ERROR_INVALID_PARAMETER;
    auto &subKeys = open->key->subKeys;
    if (index >= subKeys.size())
        return ERROR_NO_MORE_ITEMS;
    std::uint64_t generation = winsim::TheMachine().keysGeneration;
    if (open->cursorGeneration != generation || index < open->cursorIndex) {
        open->cursor = subKeys.begin();
        open->cursorIndex = 0;
        open->cursorGeneration = generation;
    }
    std::advance(open->cursor, index - open->cursorIndex);
    open->cursorIndex = index;
    const std::string &found = open->cursor->first;
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
    if (auto error = Injected("RegCloseKey"))
        return *error;
    if (key == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    return winsim::TheMachine().keys.erase(reinterpret_cast<std::uintptr_t>(key)) == 1
               ? ERROR_SUCCESS
               : ERROR_INVALID_HANDLE;
}
