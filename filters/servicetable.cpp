#include "filters/servicetable.h"

#include <string.h>

#include "filters/services.h"

void StartServiceTable(ServiceTable *table)
{
    table->state = TABLE_UNFILLED;
    table->used = 0;
}

static int KeepName(ServiceTable *table, const char *name)
{
    DWORD size = (DWORD)strlen(name) + 1;

    if (size > SERVICE_TABLE_SIZE - table->used)
        return 0;
    memcpy(table->names + table->used, name, size);
    table->used += size;
    return 1;
}

// Reads the names up to the enumeration's first result other than success,
// which ends the search entry by entry as well.
static void FillServiceTable(ServiceTable *table)
{
    HKEY services;
    DWORD index;

    if (!OpenServicesKey(&services)) {
        table->state = TABLE_NO_KEY;
        return;
    }
    table->state = TABLE_WHOLE;
    for (index = 0;; ++index) {
        char name[SERVICE_NAME_SIZE];
        if (!ReadServiceName(services, index, name))
            break;
        if (!KeepName(table, name)) {
            table->state = TABLE_FULL;
            break;
        }
    }
    RegCloseKey(services);
}

static int TableHolds(const ServiceTable *table, const char *name)
{
    DWORD at = 0;

    while (at < table->used) {
        const char *listed = table->names + at;
        if (lstrcmpiA(name, listed) == 0)
            return 1;
        at += (DWORD)strlen(listed) + 1;
    }
    return 0;
}

static int ServiceInTable(ServiceTable *table, const char *name)
{
    if (table->state == TABLE_UNFILLED)
        FillServiceTable(table);
    if (table->state == TABLE_NO_KEY)
        return 0;
    if (TableHolds(table, name))
        return 1;
    return table->state == TABLE_FULL && ServiceListed(name);
}

int ServiceIsRegisteredIn(ServiceTable *table, const char *name)
{
    if (!IsServiceKeyName(name))
        return 0;
    return ServiceKeyReadable(name) || ServiceInTable(table, name);
}
