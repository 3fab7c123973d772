#include <stdio.h>

#include "tests/contract/contract.h"

static char scratch[MAX_PATH];

int PrepareMachine(int, char **)
{
    UINT length = GetWindowsDirectoryA(scratch, sizeof scratch - 8);
    if (length == 0 || length >= sizeof scratch - 8)
        scratch[0] = '\0';
    else
        snprintf(scratch + length, sizeof scratch - length, "\\Temp");
    return 1;
}

const char *ScratchDirectory(void)
{
    return scratch;
}

const char *ScratchKey(void)
{
    return "SOFTWARE\\VerolundContract";
}
