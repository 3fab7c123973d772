#include "repair/wizard.h"

#include "repair/boxes.h"
#include "repair/restart.h"
#include "repair/run.h"

static const char startQuestion[] =
    "Verolund is ready to perform the registry checking and repair.\n\n\t Would you like to "
    "continue.?";
static const char restartQuestion[] =
    "You must restart your system for the configuration changes made to UpperFilter & "
    "LowerFilter to take effect.\n\n\t\tClick Yes to restart now or No if you plan to restart "
    "later";

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/)
{
    RepairOutcome outcome;

    // A box that cannot be shown is no No: the run goes on.
    if (Ask(startQuestion, MB_YESNO | MB_ICONQUESTION) == IDNO)
        return 0;
    outcome = RunRepair();
    if (outcome == REPAIR_REFUSED || outcome == REPAIR_NO_CLASS_KEY)
        return 0;
    if (Ask(restartQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES)
        RestartSystem();
    return 0;
}
