// The program's own start-up, in place of the C runtime's: the wizard needs
// no runtime initialisation (no arguments, no constructors, no heap), and the
// runtime's start-up code is built for newer processors than the wizard
// supports. msvcrt.dll initialises itself when it loads.
#include "repair/wizard.h"

extern "C" void WINAPI VerolundStart(void);

void WINAPI VerolundStart(void)
{
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, GetCommandLineA(), SW_SHOWDEFAULT));
}
