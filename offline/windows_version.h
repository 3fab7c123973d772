// Which Windows an installation is: what its SOFTWARE hive says, or what the
// user says when that hive cannot be read.
#ifndef VEROLUND_OFFLINE_WINDOWS_VERSION_H
#define VEROLUND_OFFLINE_WINDOWS_VERSION_H

#include <string>

struct WindowsVersion {
    unsigned long major = 0;
    unsigned long minor = 0;
    std::string source;  // where it was read
};

// given is --windows ("2000", "xp" or ""). "" on success, else why the
// version cannot be told.
std::string ChooseWindowsVersion(const std::string &softwareHive, const std::string &given,
                                 WindowsVersion *version);

// "Windows XP (5.1)", for the user.
std::string WindowsName(const WindowsVersion &version);

#endif
