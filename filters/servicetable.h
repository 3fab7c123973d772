// The sub-key names of the services key, read once within one rebuild and
// searched for every later entry. Enumerating the services key takes one
// registry call per service, and a list may hold a hundred entries that
// only the enumeration could find.
#ifndef VEROLUND_FILTERS_SERVICETABLE_H
#define VEROLUND_FILTERS_SERVICETABLE_H

#include "seam/win32.h"

enum {
    // Names back to back, each with its zero: a few thousand services. The
    // table lives on the rebuild's stack, 64 KiB of the 1 MiB that a
    // Windows program's main thread gets by default.
    SERVICE_TABLE_SIZE = 65536
};

enum ServiceTableState {
    TABLE_UNFILLED,  // not enumerated yet
    TABLE_NO_KEY,    // the services key would not open, so nothing is listed
    TABLE_WHOLE,     // every name the enumeration gave before it ended
    TABLE_FULL       // the first names only: the rest are searched entry by entry
};

struct ServiceTable {
    int state;
    DWORD used;
    char names[SERVICE_TABLE_SIZE];
};

// Makes the table empty and unfilled; to be called before the first lookup.
void StartServiceTable(ServiceTable *table);

// Answers as ServiceIsRegistered does, enumerating the services key into the
// table on the first name that its own key does not find.
int ServiceIsRegisteredIn(ServiceTable *table, const char *name);

#endif
