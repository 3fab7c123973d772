#include <stdio.h>

#include "tests/contract/contract.h"

static char scratch[MAX_PATH];

void PrepareMachine(void)
{
    UINT length = GetWindowsDirectoryA(scratch, sizeof scratch - 8);
    if (length == 0 || length >= sizeof scratch - 8)
        scratch[0] = '\0';
    else
        snprintf(scratch + length, sizeof scratch - length, "\\Temp");
}

const char *ScratchDirectory(void)
{
    return scratch;
}
