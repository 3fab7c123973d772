// The wizard's message boxes: all with the caption "Verolund Wizard" and no
// owner window, since the wizard has no window of its own.
#ifndef VEROLUND_REPAIR_BOXES_H
#define VEROLUND_REPAIR_BOXES_H

#include "seam/win32.h"

// Shows the box and answers what MessageBoxA answered (0 when it failed).
int Ask(const char *text, UINT type);

#endif
