#include "repair/wizard.h"

#include "log/runlog.h"
#include "repair/checks.h"
#include "repair/passes.h"
#include "repair/restart.h"
#include "repair/version.h"

static const char wizardCaption[] = "Verolund Wizard";

static const char startQuestion[] =
    "Verolund is ready to perform the registry checking and repair.\n\n\t Would you like to "
    "continue.?";
static const char versionRefusal[] = "This utility will run only in Windows 2000 and in Windows XP";
static const char classKeyFailure[] = "Cannot open the Filter Key";
static const char restartQuestion[] =
    "You must restart your system for the configuration changes made to UpperFilter & "
    "LowerFilter to take effect.\n\n\t\tClick Yes to restart now or No if you plan to restart "
    "later";

// The boxes have no owner: the wizard has no window of its own.
static int Ask(const char *text, UINT type)
{
    return MessageBoxA(NULL, text, wizardCaption, type);
}

// Starts the log afresh and records which Windows was found.
static void PrepareRun(void)
{
    BuildLogPath();
    ResetLog();
    BuildDriversDir();
    WriteLogLine(windowsVersion.isWin2000 ? "Operating System = Windows 2K"
                                          : "Operating System = Windows XP");
}

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/)
{
    HKEY classKey;

    // A box that cannot be shown is no No: the run goes on.
    if (Ask(startQuestion, MB_YESNO | MB_ICONQUESTION) == IDNO)
        return 0;
    ClassifyWindowsVersion();
    if (windowsVersion.isWin9x || windowsVersion.isOtherNt) {
        Ask(versionRefusal, MB_OK | MB_ICONERROR);
        return 0;
    }
    PrepareRun();
    if (!OpenClassKey(&classKey)) {
        Ask(classKeyFailure, MB_OK | MB_ICONERROR);
        return 0;
    }
    RunFilterPasses(classKey);
    RegCloseKey(classKey);
    if (Ask(restartQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES)
        RestartSystem();
    return 0;
}
