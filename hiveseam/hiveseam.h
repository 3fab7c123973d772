// The Windows seam of the offline repair: the Win32 calls of the repair,
// served from one Windows 2000 or XP installation that is not running, on a
// volume mounted by a Linux rescue system.
//
// - HKEY_LOCAL_MACHINE\SYSTEM is the installation's SYSTEM hive, opened with
//   hivex and changed in memory only; SYSTEM\CurrentControlSet is the control
//   set that the next start will use (Select\Default) or the one chosen.
//   Access rights are not enforced: the rescue system reads every key.
// - GetWindowsDirectoryA and GetSystemDirectoryA name the installation's
//   folders as Windows would (C:\WINDOWS, C:\WINDOWS\system32); CreateFileA
//   and DeleteFileA find paths below them case-insensitively on the volume.
//   Files are read from the volume, but what the repair writes or deletes is
//   only staged, to be carried out when the caller commits.
// - Names and string data come out in the installation's ANSI code page
//   (Control\Nls\CodePage ACP), converted as the ANSI registry calls do.
// - Message boxes are recorded for the caller to show; a restart is refused.
#ifndef VEROLUND_HIVESEAM_HIVESEAM_H
#define VEROLUND_HIVESEAM_HIVESEAM_H

#include <optional>
#include <string>
#include <vector>

#include "seam/win32.h"

namespace hiveseam {

// What the caller chose.
struct Choices {
    std::string windowsDir;  // the installation's Windows directory, e.g. /mnt/WINDOWS
    int controlSet = 0;      // 0: the one Select\Default names
};

// What was found below the Windows directory.
struct Installation {
    std::string windowsDir;         // as given
    std::string systemHive;         // .../system32/config/SYSTEM as it is spelt on disk
    std::string softwareHive;       // .../config/SOFTWARE, or "" when there is none
    int controlSet = 0;             // the set CurrentControlSet stands for
    bool controlSetChosen = false;  // given by the caller, not Select\Default
    unsigned codePage = 0;          // the ANSI code page, from ACP
    bool dirty = false;             // Windows did not close the hive cleanly
};

// The header of a hive file: whether it is a primary hive, whole, and clean.
struct HiveHeader {
    bool dirty = false;  // the two sequence numbers differ
};
// "" when path holds a hive whose header is sound and whose file is as long
// as the header says; else what is wrong with it, for the user.
std::string CheckHiveFile(const std::string &path, HiveHeader *header);

// Finds and checks the installation's hives, opens SYSTEM for the calls and
// selects the code page. "" on success, else why the installation cannot be
// used. A dirty hive is opened too (installation->dirty tells).
std::string OpenInstallation(const Choices &choices, Installation *installation);
void CloseInstallation();

// CurrentVersion of the installation's SOFTWARE hive ("5.1"), or "" when the
// hive or the value cannot be read.
std::string ReadCurrentVersion(const std::string &softwareHive);

// What GetVersionExA reports: an NT system of this version.
void SetVersion(DWORD major, DWORD minor);

// A value below HKEY_LOCAL_MACHINE as the ANSI calls see it, read from the
// hive in memory; none when the key or the value is missing.
struct Value {
    DWORD type;
    std::string bytes;
};
std::optional<Value> ReadValue(const std::string &keyPath, const char *name);
bool KeyExists(const std::string &keyPath);

// Whether the run changed the hive (created a key, or wrote a value other
// than the one stored), and writing it to a file. CommitHive answers "" or
// what failed.
bool HiveChanged();
std::string CommitHive(const std::string &path);
// "" when the hive written to path is sound, opens, and holds every value
// the run wrote as it was written; else what is wrong.
std::string VerifyCommittedHive(const std::string &path);

// The files the run wrote or deleted, by their path on the volume, with the
// bytes they are to hold (none: to be deleted).
struct StagedFile {
    std::string path;
    std::optional<std::string> bytes;
};
std::vector<StagedFile> StagedFiles();
// The path on the volume of a path as the repair names it, or "" when it is
// outside the Windows directory or its folder does not exist.
std::string VolumePath(const char *windowsPath);

// The texts of the message boxes shown, in order.
std::vector<std::string> Boxes();

// What is still open: keys and files, one entry per handle.
std::vector<std::string> OpenHandles();

}  // namespace hiveseam

#endif
