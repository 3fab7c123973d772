#include "tests/contract/contract.h"
#include "winsim/winsim.h"

void PrepareMachine(void)
{
    winsim::Reset();
}

const char *ScratchDirectory(void)
{
    return "C:\\WINDOWS\\Temp";
}
