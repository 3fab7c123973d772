#include "offline/windows_version.h"

#include <cstdlib>

#include "hiveseam/hiveseam.h"

namespace {

// "5.1" as 5 and 1; false for anything else.
bool ParseVersion(const std::string &text, WindowsVersion *version)
{
    char *end = nullptr;
    const char *start = text.c_str();
    version->major = std::strtoul(start, &end, 10);
    if (end == start || *end != '.')
        return false;
    start = end + 1;
    version->minor = std::strtoul(start, &end, 10);
    return end != start && *end == '\0';
}

void GivenVersion(const std::string &given, WindowsVersion *version)
{
    version->major = 5;
    version->minor = given == "2000" ? 0 : 1;
    version->source = "--windows " + given;
}

bool Agrees(const std::string &given, const WindowsVersion &version)
{
    bool isWin2000 = version.major == 5 && version.minor == 0;
    bool isWinXP = version.major == 5 && version.minor >= 1;
    return given == "2000" ? isWin2000 : isWinXP;
}

}  // namespace

std::string ChooseWindowsVersion(const std::string &softwareHive, const std::string &given,
                                 WindowsVersion *version)
{
    std::string stored = hiveseam::ReadCurrentVersion(softwareHive);
    if (!stored.empty() && ParseVersion(stored, version)) {
        version->source = "SOFTWARE: CurrentVersion " + stored;
        if (!given.empty() && !Agrees(given, *version))
            return "the SOFTWARE hive says CurrentVersion " + stored + ", not Windows " +
                   (given == "2000" ? "2000" : "XP") + " as --windows says; leave --windows out";
        return "";
    }
    if (given.empty())
        return "the Windows version cannot be told: the SOFTWARE hive " +
               (softwareHive.empty() ? std::string("is missing")
                                     : softwareHive + " cannot be read") +
               "; say it with --windows 2000 or --windows xp";
    GivenVersion(given, version);
    return "";
}

std::string WindowsName(const WindowsVersion &version)
{
    std::string number = std::to_string(version.major) + "." + std::to_string(version.minor);
    if (version.major == 5 && version.minor == 0)
        return "Windows 2000 (" + number + ")";
    if (version.major == 5 && version.minor == 1)
        return "Windows XP (" + number + ")";
    if (version.major == 5)
        return "Windows XP x64 or Server 2003 (" + number + "), repaired as XP";
    return "Windows NT " + number;
}
