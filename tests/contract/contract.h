// The Win32 behaviours the wizard relies on, checked through the Win32 API
// alone, so that the same checks run against the simulated Windows on the
// host and against a real implementation (Wine) in the win64 build.
#ifndef VEROLUND_TESTS_CONTRACT_CONTRACT_H
#define VEROLUND_TESTS_CONTRACT_CONTRACT_H

#include "seam/win32.h"

// Supplied per platform: makes the machine ready (the simulated one is reset;
// the hive-backed one opens the installation its arguments name, 0 when it
// cannot), and answers where scratch files may go (a directory that exists)
// and below which key of HKEY_LOCAL_MACHINE scratch keys may go.
int PrepareMachine(int argc, char **argv);
const char *ScratchDirectory(void);
const char *ScratchKey(void);

// Records one check; prints a line only when it fails.
void Check(const char *name, int holds, const char *detail, long got, long expected);
void CheckEqual(const char *name, long got, long expected);

int RunContractChecks(void);  // 0 when every check held

#endif
