#include <stdio.h>

#include "hiveseam/hiveseam.h"
#include "tests/contract/contract.h"

static char scratch[MAX_PATH];

// argv[1]: the Windows folder of a fixture installation.
int PrepareMachine(int argc, char **argv)
{
    hiveseam::Installation installation;
    if (argc != 2) {
        printf("usage: contract_tests_hive WINDOWS_DIR\n");
        return 0;
    }
    std::string problem = hiveseam::OpenInstallation({argv[1], 0}, &installation);
    if (!problem.empty()) {
        printf("cannot open the installation: %s\n", problem.c_str());
        return 0;
    }
    hiveseam::SetVersion(5, 1);
    UINT length = GetWindowsDirectoryA(scratch, sizeof scratch - 8);
    if (length == 0 || length >= sizeof scratch - 8)
        return 0;
    snprintf(scratch + length, sizeof scratch - length, "\\Temp");
    return 1;
}

const char *ScratchDirectory(void)
{
    return scratch;
}

// HKEY_LOCAL_MACHINE holds the SYSTEM hive alone here.
const char *ScratchKey(void)
{
    return "SYSTEM\\VerolundContract";
}
