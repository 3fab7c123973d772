// Whether a name in a filter list belongs to a registered service.
#ifndef VEROLUND_FILTERS_SERVICES_H
#define VEROLUND_FILTERS_SERVICES_H

// 1 if HKLM\SYSTEM\CurrentControlSet\services has a sub-key of that name,
// compared ignoring case; else 0. Names that cannot be a single key name
// (empty, longer than 255 characters, holding a backslash) answer 0.
int ServiceIsRegistered(const char *name);

#endif
