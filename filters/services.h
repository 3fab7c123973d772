// Whether a name in a filter list belongs to a registered service.
#ifndef VEROLUND_FILTERS_SERVICES_H
#define VEROLUND_FILTERS_SERVICES_H

#include "seam/win32.h"

enum { SERVICE_NAME_MAX = 255, SERVICE_NAME_SIZE = SERVICE_NAME_MAX + 1 };

// 1 if HKLM\SYSTEM\CurrentControlSet\services has a sub-key of that name,
// compared ignoring case; else 0. Names that cannot be a single key name
// (empty, longer than 255 characters, holding a backslash) answer 0.
int ServiceIsRegistered(const char *name);

// The steps of ServiceIsRegistered, shared with the services table.

// 1 if the name can be a single key name below the services key.
int IsServiceKeyName(const char *name);

// 1 if the service's own key opens for reading.
int ServiceKeyReadable(const char *name);

// 1 if the services key opens for reading; services is then to be closed.
int OpenServicesKey(HKEY *services);

// Puts the sub-key name at index into name (SERVICE_NAME_SIZE bytes). 0 for
// any result other than success: no more sub-keys, or a name too long.
int ReadServiceName(HKEY services, DWORD index, char *name);

// 1 if an enumeration of the services key meets the name, ignoring case,
// before its first result other than success.
int ServiceListed(const char *name);

#endif
