#include "repair/passes.h"

#include "filters/filterlist.h"
#include "log/runlog.h"
#include "repair/checks.h"
#include "repair/version.h"
#include "text/text.h"

struct FilterPass {
    const char *valueName;
    const char *filterName;
    int onlyOnWin2000;
};

static const FilterPass filterPasses[] = {
    {"UpperFilters", "PartMgr", 0},
    {"UpperFilters", "Diskperf", 1},
};

const char classKeyPath[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";

int OpenClassKey(HKEY *classKey)
{
    DWORD disposition;

    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, classKeyPath, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, classKey, &disposition) == ERROR_SUCCESS)
        return 1;
    WriteLogLine("Fail - Cannot create HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
                 "{4D36E967-E325-11CE-BFC1-08002BE10318}");
    return 0;
}

static void LogPassFailure(const char *pattern, const char *filterName)
{
    char message[LOG_MESSAGE_SIZE];

    FormatText(message, sizeof message, pattern, filterName);
    WriteLogLine(message);
}

// 1 when the pass added its filter.
static int RunFilterPass(HKEY classKey, const FilterPass *pass)
{
    char driverPath[MAX_PATH];

    if (!BuildDriverFilePath(pass->filterName, driverPath) || !DriverFileExists(driverPath)) {
        LogPassFailure("Fail - Missing %s", pass->filterName);
        return 0;
    }
    if (!ServiceKeyOpens(pass->filterName)) {
        LogPassFailure("Fail - Missing Service Key for %s", pass->filterName);
        return 0;
    }
    if (!AddFilterToList(classKey, pass->valueName, pass->filterName)) {
        LogPassFailure("Fail - Cannot create %s in Filter", pass->filterName);
        return 0;
    }
    return 1;
}

int RunFilterPasses(HKEY classKey)
{
    size_t i;
    int everyPassAdded = 1;

    for (i = 0; i < sizeof filterPasses / sizeof filterPasses[0]; ++i) {
        if ((!filterPasses[i].onlyOnWin2000 || windowsVersion.isWin2000) &&
            !RunFilterPass(classKey, &filterPasses[i]))
            everyPassAdded = 0;
    }
    return everyPassAdded;
}
