// What must exist before a filter may be listed: its driver file and its
// service key.
#ifndef VEROLUND_REPAIR_CHECKS_H
#define VEROLUND_REPAIR_CHECKS_H

enum { DRIVERS_DIR_SIZE = 260 };

// The system directory followed by \drivers; empty when it is not known.
extern char driversDir[DRIVERS_DIR_SIZE];

// 1 when driversDir was built; 0 (driversDir empty) when the system
// directory is unknown or the path does not fit.
int BuildDriversDir(void);

// Writes driversDir\<filter>.sys into path (260 bytes). 0 when it does not fit.
int BuildDriverFilePath(const char *filterName, char *path);

// 1 if the file can be opened for reading, else 0.
int DriverFileExists(const char *path);

// 1 if the service's key opens with full access, else 0.
int ServiceKeyOpens(const char *name);

#endif
