#include "offline/options.h"

#include <cstdlib>
#include <cstring>

const char kUsage[] =
    "usage: verolund-offline [--dry-run] [--yes] [--windows 2000|xp] [--control-set N] [--force]\n"
    "                        WINDOWS_DIR\n"
    "\n"
    "Repairs the UpperFilters list of the disk-drive class in a Windows 2000 or XP installation\n"
    "that does not start, as the Verolund Wizard would on the running system: the same checks,\n"
    "the same list, the same log. WINDOWS_DIR is the installation's Windows folder on a volume\n"
    "mounted read-write, for example /mnt/WINDOWS or /mnt/WINNT.\n"
    "\n"
    "It shows the list as it is and as it would be written, and the log, then asks before it\n"
    "writes anything. The original SYSTEM hive is kept beside it as SYSTEM.verolund-N.bak.\n"
    "\n"
    "  --dry-run          show what would be done; write nothing at all (no hive, no backup,\n"
    "                     no log)\n"
    "  --yes              write without asking (needed when there is no terminal to ask on)\n"
    "  --windows 2000|xp  the Windows version, for an installation whose SOFTWARE hive is\n"
    "                     missing or unreadable (otherwise its CurrentVersion decides)\n"
    "  --control-set N    repair ControlSet00N instead of the set that Select\\Default names\n"
    "                     (the one Windows starts with next)\n"
    "  --force            write even though Windows did not close the SYSTEM hive cleanly; the\n"
    "                     changes still waiting in its .LOG file are then lost\n"
    "  --help             show this text\n"
    "\n"
    "Exit status: 0 every filter was added (or would be, with --dry-run); 1 the Windows version\n"
    "was refused or a filter could not be added; 2 the installation or the arguments could not\n"
    "be used, or the writing was not confirmed; 3 the result could not be written (the\n"
    "original hive is untouched).\n";

namespace {

std::string ParseControlSet(const char *text, int *controlSet)
{
    char *end = nullptr;
    long number = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || number < 1 || number > 999)
        return std::string("--control-set takes a number from 1 to 999, not '") + text + "'";
    *controlSet = static_cast<int>(number);
    return "";
}

}  // namespace

std::string ParseOptions(int argc, char **argv, OfflineOptions *options)
{
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        if (argument == "--dry-run") {
            options->dryRun = true;
        } else if (argument == "--yes") {
            options->yes = true;
        } else if (argument == "--force") {
            options->force = true;
        } else if (argument == "--help" || argument == "-h") {
            options->help = true;
        } else if (argument == "--windows") {
            if (!hasValue ||
                (std::strcmp(argv[i + 1], "2000") != 0 && std::strcmp(argv[i + 1], "xp") != 0))
                return "--windows takes 2000 or xp";
            options->windows = argv[++i];
        } else if (argument == "--control-set") {
            if (!hasValue)
                return "--control-set takes a number";
            std::string problem = ParseControlSet(argv[++i], &options->controlSet);
            if (!problem.empty())
                return problem;
        } else if (argument.rfind("-", 0) == 0 && argument != "-") {
            return "unknown option " + argument;
        } else if (!options->windowsDir.empty()) {
            return "one Windows folder only, not also " + argument;
        } else {
            options->windowsDir = argument;
        }
    }
    if (options->windowsDir.empty() && !options->help)
        return "the installation's Windows folder is missing";
    return "";
}
