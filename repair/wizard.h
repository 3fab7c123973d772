// The program's entry: the whole repair run, from the start question to the
// restart question.
#ifndef VEROLUND_REPAIR_WIZARD_H
#define VEROLUND_REPAIR_WIZARD_H

#include "seam/win32.h"

// Ignores its arguments and always returns 0, the process exit code.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand);

#endif
