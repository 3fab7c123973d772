// The hive-backed seam on fixture installations made at test time: which
// control set CurrentControlSet is, names and data in the installation's
// code page, changes kept in memory until committed, and files found
// ignoring case and only staged.
#include <gtest/gtest.h>
#include <hivex.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hiveseam/codepage.h"
#include "hiveseam/hiveseam.h"
#include "log/runlog.h"
#include "repair/run.h"
#include "seam/win32.h"

namespace {

const char kClass[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";
const char kFixture[] = VEROLUND_SOURCE_DIR "/tests/offline/hivefixture.py";

std::string FileBytes(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh installation per test, made by the fixture generator and opened.
class HiveSeam : public ::testing::Test {
  protected:
    void TearDown() override
    {
        EXPECT_TRUE(hiveseam::OpenHandles().empty()) << "a handle stayed open";
        hiveseam::CloseInstallation();
        hiveseam::SelectCodePage(1252);
        if (!root.empty())
            std::system(("rm -rf '" + root + "'").c_str());
    }

    // Makes the installation from a REGEDIT4 fragment (strings in cp1252
    // unless the options say otherwise); "" when it opened.
    std::string Make(const std::string &fragment, const std::string &options = "",
                     int controlSet = 0)
    {
        char folder[] = "/tmp/verolund-hiveseam-XXXXXX";
        if (root.empty())
            root = mkdtemp(folder);
        WriteBytes(root + "/fragment.reg", fragment);
        std::string command = std::string("/usr/bin/python3 ") + kFixture + " installation '" +
                              root + "/machine' --reg '" + root + "/fragment.reg' " + options +
                              " >/dev/null";
        if (std::system(command.c_str()) != 0)
            return "the fixture generator failed";
        windows = root + "/machine/WINDOWS";
        return hiveseam::OpenInstallation({windows, controlSet}, &installation);
    }

    std::string root;
    std::string windows;
    hiveseam::Installation installation;
};

std::string Query(const char *key, const char *name, DWORD *type = nullptr)
{
    HKEY open;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &open) != ERROR_SUCCESS)
        return "(no key)";
    BYTE data[512];
    DWORD size = sizeof data;
    DWORD got = REG_NONE;
    LONG result = RegQueryValueExA(open, name, nullptr, &got, data, &size);
    RegCloseKey(open);
    if (type != nullptr)
        *type = got;
    return result == ERROR_SUCCESS ? std::string(reinterpret_cast<char *>(data), size)
                                   : "(error " + std::to_string(result) + ")";
}

TEST_F(HiveSeam, CurrentControlSetIsTheChosenSet)
{
    const std::string set1 =
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
        "{4D36E967-E325-11CE-BFC1-08002BE10318}]\n\"UpperFilters\"=multi:\"One\"\n";
    WriteBytes("/tmp/verolund-set1.reg", set1);
    struct {
        const char *name;
        int chosen;
        const char *expected;
        int controlSet;
    } const cases[] = {
        {"Select\\Default names the second set, not the first", 0, "Two", 2},
        {"--control-set 1", 1, "One", 1},
    };
    for (const auto &c : cases) {
        std::string fragment = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
                               "{4D36E967-E325-11CE-BFC1-08002BE10318}]\n"
                               "\"UpperFilters\"=multi:\"Two\"\n";
        ASSERT_EQ(Make(fragment, "--control-set 2 --other-set 1=/tmp/verolund-set1.reg", c.chosen),
                  "")
            << c.name;
        EXPECT_EQ(installation.controlSet, c.controlSet) << c.name;
        EXPECT_EQ(Query(kClass, "UpperFilters"), std::string(c.expected) + '\0' + '\0') << c.name;
        hiveseam::CloseInstallation();
    }
    std::string missing = Make("", "", 3);
    EXPECT_NE(missing.find("ControlSet003"), std::string::npos) << missing;
    std::remove("/tmp/verolund-set1.reg");
}

// Names and string data come out in the installation's code page; what it
// lacks comes out as '?'.
TEST_F(HiveSeam, AnsiTextIsInTheInstallationsCodePage)
{
    // The fragment is written in UTF-8 so that both pages' letters fit.
    const std::string fragment =
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Caf\xc3\xa9]\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
        "{4D36E967-E325-11CE-BFC1-08002BE10318}]\n"
        "\"UpperFilters\"=multi:\"Caf\xc3\xa9\",\"\xd0\x96\xd1\x83\xd0\xba\"\n";
    struct {
        const char *acp;
        std::string list;
        const char *service;
    } const cases[] = {
        {"1252", std::string("Caf\xe9\0???\0\0", 10),
         "SYSTEM\\CurrentControlSet\\Services\\CAF\xc9"},
        {"1251", std::string("Caf?\0\xc6\xf3\xea\0\0", 10), nullptr},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(Make(fragment, std::string("--codepage utf-8 --acp ") + c.acp), "") << c.acp;
        EXPECT_EQ(Query(kClass, "UpperFilters"), c.list) << c.acp;
        if (c.service != nullptr) {
            HKEY service;
            EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.service, 0, KEY_READ, &service),
                      ERROR_SUCCESS)
                << "names ignore case beyond ASCII";
            RegCloseKey(service);
        }
        hiveseam::CloseInstallation();
    }
}

TEST_F(HiveSeam, UnsupportedOrUnknownCodePageIsRefused)
{
    std::string problem = Make("", "--acp 932");
    EXPECT_NE(problem.find("932"), std::string::npos) << problem;
    hiveseam::CloseInstallation();
    problem = Make("[-HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls]\n");
    EXPECT_NE(problem.find("ACP"), std::string::npos) << problem;
}

// The hive on disk stays as it was until committed; a committed hive holds
// UTF-16LE data and is checked against what was written.
TEST_F(HiveSeam, ChangesStayInMemoryUntilCommitted)
{
    ASSERT_EQ(Make("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
                   "{4D36E967-E325-11CE-BFC1-08002BE10318}]\n"
                   "\"UpperFilters\"=multi:\"PartMgr\"\n"),
              "");
    std::string before = FileBytes(installation.systemHive);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClass, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const BYTE same[] = "PartMgr\0";
    EXPECT_EQ(RegSetValueExA(key, "upperfilters", 0, REG_MULTI_SZ, same, 9), ERROR_SUCCESS);
    EXPECT_FALSE(hiveseam::HiveChanged()) << "writing what is stored changes nothing";
    const BYTE list[] = "Caf\xe9\0PartMgr\0";
    EXPECT_EQ(RegSetValueExA(key, "upperfilters", 0, REG_MULTI_SZ, list, 14), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(hiveseam::HiveChanged());
    EXPECT_EQ(FileBytes(installation.systemHive), before);

    std::string written = root + "/written";
    ASSERT_EQ(hiveseam::CommitHive(written), "");
    EXPECT_EQ(hiveseam::VerifyCommittedHive(written), "");
    hive_h *hive = hivex_open(written.c_str(), 0);
    ASSERT_NE(hive, nullptr);
    hive_node_h node = hivex_root(hive);
    for (const char *name :
         {"ControlSet001", "Control", "Class", "{4D36E967-E325-11CE-BFC1-08002BE10318}"})
        node = node != 0 ? hivex_node_get_child(hive, node, name) : 0;
    ASSERT_NE(node, 0u);
    hive_value_h value = hivex_node_get_value(hive, node, "UpperFilters");
    ASSERT_NE(value, 0u);
    hive_type type;
    size_t length;
    char *data = hivex_value_value(hive, value, &type, &length);
    EXPECT_EQ(std::string(data, length),
              std::string("C\0a\0f\0\xe9\0\0\0P\0a\0r\0t\0M\0g\0r\0\0\0\0\0", 28));
    char *name = hivex_value_key(hive, value);
    EXPECT_STREQ(name, "UpperFilters") << "the stored name keeps its case";
    free(name);
    free(data);
    hivex_close(hive);

    // A written hive that lost its end does not pass the check.
    std::string bytes = FileBytes(written);
    WriteBytes(written, bytes.substr(0, bytes.size() / 3));
    EXPECT_NE(hiveseam::VerifyCommittedHive(written), "");
}

// A value's type is any 32-bit number, not only those hivex names.
TEST_F(HiveSeam, ValueTypesBeyondTheNamedOnesComeBack)
{
    ASSERT_EQ(Make("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
                   "{4D36E967-E325-11CE-BFC1-08002BE10318}]\n"),
              "");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClass, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    for (DWORD type : {DWORD{0x12345}, DWORD{0xFFFFFFFF}, DWORD{16}}) {
        EXPECT_EQ(RegSetValueExA(key, "Odd", 0, type, reinterpret_cast<const BYTE *>("ab"), 2),
                  ERROR_SUCCESS);
        DWORD read = 0;
        EXPECT_EQ(Query(kClass, "Odd", &read), "ab");
        EXPECT_EQ(read, type);
    }
    RegCloseKey(key);
}

TEST_F(HiveSeam, MissingKeysAreCreatedInMemory)
{
    ASSERT_EQ(Make("[-HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class]\n"), "");
    HKEY key;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClass, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    EXPECT_TRUE(hiveseam::HiveChanged());
    EXPECT_TRUE(hiveseam::KeyExists(kClass));
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Verolund", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_ACCESS_DENIED)
        << "only SYSTEM is below HKEY_LOCAL_MACHINE";
}

// Paths below the Windows directory are found ignoring case; what is
// written or deleted is staged, and the volume keeps its bytes.
TEST_F(HiveSeam, FilesAreFoundIgnoringCaseAndOnlyStaged)
{
    ASSERT_EQ(Make("", "--system32-name System32 --drivers-name DRIVERS --driver-files "
                       "partmgr.sys --temp-name TEMP --old-log 'old\\n'"),
              "");
    char directory[MAX_PATH];
    ASSERT_EQ(GetSystemDirectoryA(directory, sizeof directory), 19u);
    EXPECT_STREQ(directory, "C:\\WINDOWS\\system32");
    HANDLE driver = CreateFileA("C:\\WINDOWS\\system32\\drivers\\PartMgr.sys", GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(driver, INVALID_HANDLE_VALUE);
    CloseHandle(driver);

    const std::string logOnDisk = windows + "/TEMP/Verolund.log";
    EXPECT_EQ(hiveseam::VolumePath("c:\\windows\\temp\\VEROLUND.LOG"), logOnDisk);
    EXPECT_EQ(DeleteFileA("C:\\WINDOWS\\Temp\\Verolund.log"), TRUE);
    EXPECT_EQ(DeleteFileA("C:\\WINDOWS\\Temp\\Verolund.log"), FALSE) << "already gone";
    HANDLE log = CreateFileA("C:\\WINDOWS\\Temp\\Verolund.log", FILE_APPEND_DATA, FILE_SHARE_READ,
                             nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_EQ(::WriteFile(log, "new\r\n", 5, &written, nullptr), TRUE);
    CloseHandle(log);
    EXPECT_EQ(FileBytes(logOnDisk), "old\r\n") << "the volume keeps its bytes";
    std::vector<hiveseam::StagedFile> staged = hiveseam::StagedFiles();
    ASSERT_EQ(staged.size(), 1u);
    EXPECT_EQ(staged[0].path, logOnDisk);
    EXPECT_EQ(staged[0].bytes.value_or("(deleted)"), "new\r\n");

    for (const char *outside :
         {"C:\\WINDOWS\\..\\secret", "C:\\WINDOWS\\Temp\\..\\..\\x", "D:\\WINDOWS\\Temp\\x",
          "C:\\WINDOWSX\\Temp", "C:\\WINDOWS\\a/b", "C:\\WINDOWS\\NoSuchFolder\\x.log"}) {
        EXPECT_EQ(hiveseam::VolumePath(outside), "") << outside;
        EXPECT_EQ(CreateFileA(outside, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr),
                  INVALID_HANDLE_VALUE)
            << outside;
    }
}

// The wizard's own repair, through this seam: the list and the log bytes
// the wizard writes, kept in memory and staged.
TEST_F(HiveSeam, RunsTheWizardsRepair)
{
    ASSERT_EQ(Make("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\PartMgr]\n"
                   "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Foo]\n"
                   "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
                   "{4D36E967-E325-11CE-BFC1-08002BE10318}]\n"
                   "\"UpperFilters\"=multi:\"partmgr\",\"Foo\",\"ab\",\"B?r\"\n",
                   "--driver-files PartMgr.sys"),
              "");
    hiveseam::SetVersion(5, 1);
    EXPECT_EQ(RunRepair(), REPAIR_DONE);
    std::optional<hiveseam::Value> list = hiveseam::ReadValue(kClass, "UpperFilters");
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->bytes, std::string("Foo\0PartMgr\0\0", 13));
    std::vector<hiveseam::StagedFile> staged = hiveseam::StagedFiles();
    ASSERT_EQ(staged.size(), 1u);
    EXPECT_EQ(staged[0].path, hiveseam::VolumePath(logPath));
    EXPECT_EQ(staged[0].bytes.value_or(""),
              "Operating System = Windows XP\r\n"
              "Before create PartMgr in UpperFilters values: partmgr|Foo|ab|B?r\r\n"
              "After create PartMgr in UpperFilters values: Foo|PartMgr\r\n");
    EXPECT_TRUE(hiveseam::Boxes().empty());
}

}  // namespace
