// Finding an installation's hives below its Windows directory, and opening
// SYSTEM for the calls of the repair.
#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hiveseam/codepage.h"
#include "hiveseam/machine.h"
#include "hiveseam/volume.h"

namespace hiveseam {
namespace {

std::string Join(const std::string &directory, const std::string &name)
{
    return directory.empty() || directory.back() == '/' ? directory + name : directory + "/" + name;
}

// The path of directory/name as it is spelt on disk, or "".
std::string Found(const std::string &directory, const char *name)
{
    std::string entry = FindEntry(directory, Utf8ToUtf16(name));
    return entry.empty() ? "" : Join(directory, entry);
}

// A value's bytes as stored, or none.
std::optional<std::string> ValueBytes(hive_h *hive, hive_node_h node, const char *name)
{
    hive_value_h value = FindValue(hive, node, name, nullptr);
    DWORD type = REG_NONE;
    std::string bytes;
    if (value == 0 || !RawValue(hive, value, &type, &bytes))
        return std::nullopt;
    return bytes;
}

// A REG_SZ value's text up to its terminator, in UTF-8.
std::optional<std::string> TextValue(hive_h *hive, hive_node_h node, const char *name)
{
    std::optional<std::string> raw = ValueBytes(hive, node, name);
    if (!raw)
        return std::nullopt;
    std::u16string text = Utf16Units(*raw);
    return Utf16ToUtf8(text.substr(0, text.find(u'\0')));
}

hive_node_h Walk(hive_h *hive, hive_node_h node, const std::vector<const char *> &names)
{
    for (const char *name : names) {
        if (node == 0)
            return 0;
        node = FindChild(hive, node, name);
    }
    return node;
}

std::string ControlSetName(int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "ControlSet%03d", number);
    return name;
}

// The set that Select\Default names, or 0.
int DefaultControlSet(hive_h *hive)
{
    hive_node_h select = FindChild(hive, hivex_root(hive), "Select");
    std::optional<std::string> raw =
        select != 0 ? ValueBytes(hive, select, "Default") : std::nullopt;
    if (!raw || raw->size() != 4)
        return 0;
    auto byte = [&](int at) {
        return static_cast<unsigned>(static_cast<unsigned char>((*raw)[at]));
    };
    unsigned number = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
    return number >= 1 && number <= 999 ? static_cast<int>(number) : 0;
}

std::string ChooseControlSet(hive_h *hive, const Choices &choices, Installation *installation)
{
    installation->controlSetChosen = choices.controlSet != 0;
    installation->controlSet =
        choices.controlSet != 0 ? choices.controlSet : DefaultControlSet(hive);
    if (installation->controlSet == 0)
        return "its SYSTEM hive has no Select\\Default naming the control set Windows starts "
               "with; choose one with --control-set";
    TheMachine().controlSetName = ControlSetName(installation->controlSet);
    TheMachine().controlSet = FindChild(hive, hivex_root(hive), TheMachine().controlSetName);
    if (TheMachine().controlSet == 0)
        return "its SYSTEM hive has no " + ControlSetName(installation->controlSet) +
               (installation->controlSetChosen ? "" : ", which Select\\Default names");
    return "";
}

std::string SelectAnsiCodePage(hive_h *hive, Installation *installation)
{
    hive_node_h codePages = Walk(hive, TheMachine().controlSet, {"Control", "Nls", "CodePage"});
    std::optional<std::string> acp =
        codePages != 0 ? TextValue(hive, codePages, "ACP") : std::nullopt;
    char *end = nullptr;
    unsigned long number = acp ? std::strtoul(acp->c_str(), &end, 10) : 0;
    if (!acp || acp->empty() || *end != '\0')
        return "its control set does not say which ANSI code page it uses (Control\\Nls\\CodePage "
               "ACP)";
    if (!SelectCodePage(static_cast<unsigned>(number)))
        return "it uses the ANSI code page " + *acp +
               ", which this program cannot convert (it knows 874 and 1250 to 1258)";
    installation->codePage = static_cast<unsigned>(number);
    return "";
}

// What GetWindowsDirectoryA answers: the folder's own name on drive C:.
std::string ReportedWindowsDir(const std::string &windowsDir)
{
    std::string name = windowsDir;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    name = name.substr(name.find_last_of('/') + 1);
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-')
            return "C:\\WINDOWS";
    }
    return name.empty() ? "C:\\WINDOWS" : "C:\\" + name;
}

}  // namespace

std::string OpenInstallation(const Choices &choices, Installation *installation)
{
    CloseInstallation();
    struct stat status {};
    if (stat(choices.windowsDir.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return choices.windowsDir + " is not a folder";
    installation->windowsDir = choices.windowsDir;
    std::string system32 = Found(choices.windowsDir, "system32");
    std::string config = system32.empty() ? "" : Found(system32, "config");
    installation->systemHive = config.empty() ? "" : Found(config, "SYSTEM");
    if (installation->systemHive.empty())
        return choices.windowsDir + " holds no system32/config/SYSTEM: is it the Windows folder?";
    installation->softwareHive = Found(config, "SOFTWARE");

    HiveHeader header;
    std::string problem = CheckHiveFile(installation->systemHive, &header);
    if (!problem.empty())
        return "the SYSTEM hive " + installation->systemHive + " " + problem;
    installation->dirty = header.dirty;
    hive_h *hive = hivex_open(installation->systemHive.c_str(), HIVEX_OPEN_WRITE);
    if (hive == nullptr)
        return "the SYSTEM hive " + installation->systemHive +
               " cannot be read: " + std::strerror(errno);
    TheMachine().hive = hive;
    problem = ChooseControlSet(hive, choices, installation);
    if (problem.empty())
        problem = SelectAnsiCodePage(hive, installation);
    if (!problem.empty()) {
        CloseInstallation();
        return "the installation cannot be repaired: " + problem;
    }
    Machine &machine = TheMachine();
    machine.windowsDir = choices.windowsDir;
    machine.reportedWindowsDir = ReportedWindowsDir(choices.windowsDir);
    machine.reportedSystemDir = machine.reportedWindowsDir + "\\system32";
    return "";
}

void CloseInstallation()
{
    Machine &machine = TheMachine();
    if (machine.hive != nullptr)
        hivex_close(machine.hive);
    machine = Machine();
}

std::string ReadCurrentVersion(const std::string &softwareHive)
{
    HiveHeader header;
    if (softwareHive.empty() || !CheckHiveFile(softwareHive, &header).empty())
        return "";
    hive_h *hive = hivex_open(softwareHive.c_str(), 0);
    if (hive == nullptr)
        return "";
    hive_node_h key = Walk(hive, hivex_root(hive), {"Microsoft", "Windows NT", "CurrentVersion"});
    std::optional<std::string> version =
        key != 0 ? TextValue(hive, key, "CurrentVersion") : std::nullopt;
    hivex_close(hive);
    return version.value_or("");
}

}  // namespace hiveseam
