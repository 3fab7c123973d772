// Which Windows the wizard runs on: it repairs Windows 2000 and XP only.
#ifndef VEROLUND_REPAIR_VERSION_H
#define VEROLUND_REPAIR_VERSION_H

// At most one flag is 1; all are 0 for a platform that is neither the
// Windows 95/98/Me family nor NT.
struct WindowsVersionFlags {
    int isWin9x;
    int isOtherNt;  // NT, but neither 5.0 nor 5.x
    int isWin2000;  // NT 5.0
    int isWinXP;    // NT 5.1 and any later 5.x
};

// Written once by ClassifyWindowsVersion, read-only afterwards.
extern WindowsVersionFlags windowsVersion;

void ClassifyWindowsVersion(void);

#endif
