// File system redirection of a 32-bit program on 64-bit Windows (WoW64).
// There, Windows shows a 32-bit process SysWOW64 wherever it names the
// system directory, and no driver lives in SysWOW64\drivers: the driver
// file check must look past the redirection.
#ifndef VEROLUND_REPAIR_REDIRECTION_H
#define VEROLUND_REPAIR_REDIRECTION_H

#include "seam/win32.h"

// Turns redirection off for this thread when the program runs under WoW64.
// 1 when it was turned off: *previous is then to be handed to
// RestoreFileRedirection. 0 when there is none to turn off (32-bit Windows,
// or a Windows without the WoW64 functions) or turning it off failed.
int TurnOffFileRedirection(PVOID *previous);

// Turns redirection back on after TurnOffFileRedirection answered 1.
void RestoreFileRedirection(PVOID previous);

#endif
