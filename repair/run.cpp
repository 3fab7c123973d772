#include "repair/run.h"

#include "log/runlog.h"
#include "repair/boxes.h"
#include "repair/checks.h"
#include "repair/passes.h"
#include "repair/version.h"

static const char versionRefusal[] = "This utility will run only in Windows 2000 and in Windows XP";
static const char classKeyFailure[] = "Cannot open the Filter Key";

// Starts the log afresh and records which Windows was found.
static void PrepareRun(void)
{
    BuildLogPath();
    ResetLog();
    BuildDriversDir();
    WriteLogLine(windowsVersion.isWin2000 ? "Operating System = Windows 2K"
                                          : "Operating System = Windows XP");
}

RepairOutcome RunRepair(void)
{
    HKEY classKey;
    int everyPassAdded;

    ClassifyWindowsVersion();
    if (windowsVersion.isWin9x || windowsVersion.isOtherNt) {
        Ask(versionRefusal, MB_OK | MB_ICONERROR);
        return REPAIR_REFUSED;
    }
    PrepareRun();
    if (!OpenClassKey(&classKey)) {
        Ask(classKeyFailure, MB_OK | MB_ICONERROR);
        return REPAIR_NO_CLASS_KEY;
    }
    everyPassAdded = RunFilterPasses(classKey);
    RegCloseKey(classKey);
    return everyPassAdded ? REPAIR_DONE : REPAIR_INCOMPLETE;
}
