// The command line of verolund-offline.
#ifndef VEROLUND_OFFLINE_OPTIONS_H
#define VEROLUND_OFFLINE_OPTIONS_H

#include <string>

struct OfflineOptions {
    bool dryRun = false;
    bool yes = false;
    bool force = false;
    bool help = false;
    std::string windows;  // "2000", "xp" or "" when not given
    int controlSet = 0;   // 0 when not given
    std::string windowsDir;
};

// "" when the arguments make sense, else what is wrong with them.
std::string ParseOptions(int argc, char **argv, OfflineOptions *options);

extern const char kUsage[];

#endif
