// Rebuilds a filter list value of the disk-drive class key.
#ifndef VEROLUND_FILTERS_FILTERLIST_H
#define VEROLUND_FILTERS_FILTERLIST_H

#include "seam/win32.h"

enum {
    LIST_READ_SIZE = 512,
    LIST_NAME_SIZE = 512,
    // Every kept entry comes from the stored list (a last entry may gain its
    // zero), then the filter with its zero and the closing zero.
    LIST_NEW_SIZE = LIST_READ_SIZE + 1 + LIST_NAME_SIZE + 1
};

// Reads the multi-string valueName of key, keeps the sound entries in their
// stored order, appends filterName last and writes the list back, logging
// the list before and after. 1 when the new list was written; 0 when it was
// not: the write failed, or the stored value was too large to read whole and
// was left as it is.
int AddFilterToList(HKEY key, const char *valueName, const char *filterName);

#endif
