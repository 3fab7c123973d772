#include "tests/contract/contract.h"
#include "winsim/winsim.h"

int PrepareMachine(int, char **)
{
    winsim::Reset();
    return 1;
}

const char *ScratchDirectory(void)
{
    return "C:\\WINDOWS\\Temp";
}

const char *ScratchKey(void)
{
    return "SOFTWARE\\VerolundContract";
}
