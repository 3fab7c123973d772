// The disk-drive class key and the filter passes made on it.
#ifndef VEROLUND_REPAIR_PASSES_H
#define VEROLUND_REPAIR_PASSES_H

#include "seam/win32.h"

// The disk-drive class key, below HKEY_LOCAL_MACHINE.
extern const char classKeyPath[];

// Opens the disk-drive class key with full access, creating it when it is
// missing. 0, after logging the failure, when it can be neither.
int OpenClassKey(HKEY *classKey);

// Makes each filter pass this Windows needs: PartMgr always, Diskperf on
// Windows 2000 too. A pass whose driver file or service key is missing, or
// whose list cannot be written, is logged and the next pass goes on. 1 when
// every pass made added its filter, else 0.
int RunFilterPasses(HKEY classKey);

#endif
