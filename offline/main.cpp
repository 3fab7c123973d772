// verolund-offline: the wizard's repair on a Windows 2000 or XP installation
// that does not start, from a Linux rescue system. The repair is the
// wizard's own code (RunRepair), run against the installation's hives and
// files through the hive-backed seam; nothing reaches the volume before the
// user has seen the result and agreed.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "hiveseam/hiveseam.h"
#include "log/runlog.h"
#include "offline/options.h"
#include "offline/replace.h"
#include "offline/report.h"
#include "offline/windows_version.h"
#include "repair/passes.h"
#include "repair/run.h"

namespace {

enum ExitStatus {
    EXIT_REPAIRED = 0,
    EXIT_NOT_REPAIRED = 1,  // the version was refused, or a filter could not be added
    EXIT_UNUSABLE = 2,      // the arguments or the installation, or no confirmation
    EXIT_NOT_WRITTEN = 3    // the result could not be written; the original is untouched
};

int Stop(const std::string &why, int status)
{
    std::cerr << "verolund-offline: " << why << "\n";
    return status;
}

std::string Describe(const hiveseam::Installation &installation, const WindowsVersion &version)
{
    char set[32];
    std::snprintf(set, sizeof set, "ControlSet%03d", installation.controlSet);
    return "installation: " + installation.windowsDir + "\n" +
           "  Windows:     " + WindowsName(version) + ", from " + version.source + "\n" +
           "  SYSTEM hive: " + installation.systemHive + "\n" +
           "  control set: " + std::string(set) +
           (installation.controlSetChosen ? " (--control-set)" : " (Select\\Default)") + "\n" +
           "  code page:   " + std::to_string(installation.codePage) + "\n";
}

// Asks on the terminal; false without one, at the end of input, or for
// anything but yes.
bool Confirmed(bool *asked)
{
    *asked = isatty(STDIN_FILENO) != 0;
    if (!*asked)
        return false;
    std::cout << "Write the repaired list? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

void ShowRun(bool classKeyBefore, const std::optional<hiveseam::Value> &before)
{
    std::cout << "UpperFilters now:      " << DescribeList(before, classKeyBefore) << "\n";
    std::optional<hiveseam::Value> after = hiveseam::ReadValue(classKeyPath, "UpperFilters");
    std::cout << "UpperFilters repaired: "
              << (hiveseam::HiveChanged() ? DescribeList(after, hiveseam::KeyExists(classKeyPath))
                                          : "(unchanged)")
              << "\n";
    std::string log = hiveseam::VolumePath(logPath);
    std::optional<std::string> bytes;
    for (const hiveseam::StagedFile &file : hiveseam::StagedFiles()) {
        if (!log.empty() && file.path == log)
            bytes = file.bytes;
    }
    std::cout << "log " << (log.empty() ? std::string("Temp\\Verolund.log") : log) << ":\n"
              << DescribeLog(bytes);
}

int Write(const hiveseam::Installation &installation, RepairOutcome outcome)
{
    if (hiveseam::HiveChanged()) {
        std::string backup;
        std::string problem = ReplaceHive(installation.systemHive, &backup);
        if (!problem.empty())
            return Stop(problem + "; the original hive is untouched", EXIT_NOT_WRITTEN);
        std::cout << "Written: " << installation.systemHive << " (the original is now " << backup
                  << ")\n";
    } else {
        std::cout << "The list stays as it is; the hive is not written.\n";
    }
    std::string problem = WriteStagedFiles();
    if (!problem.empty())
        std::cerr << "verolund-offline: warning: the log was not written: " << problem << "\n";
    std::cout << "Shut the rescue system down and start Windows: the list takes effect at that "
                 "start.\n";
    return outcome == REPAIR_DONE ? EXIT_REPAIRED : EXIT_NOT_REPAIRED;
}

int Repair(const OfflineOptions &options)
{
    hiveseam::Installation installation;
    std::string problem =
        hiveseam::OpenInstallation({options.windowsDir, options.controlSet}, &installation);
    if (!problem.empty())
        return Stop(problem, EXIT_UNUSABLE);
    if (installation.dirty && !options.force)
        return Stop("Windows did not close the SYSTEM hive cleanly (" + installation.systemHive +
                        "): changes still wait in its .LOG file. Start Windows once, if it gets "
                        "that far, or use --force to repair it all the same and lose them",
                    EXIT_UNUSABLE);
    WindowsVersion version;
    problem = ChooseWindowsVersion(installation.softwareHive, options.windows, &version);
    if (!problem.empty())
        return Stop(problem, EXIT_UNUSABLE);
    hiveseam::SetVersion(version.major, version.minor);
    std::cout << Describe(installation, version);

    bool classKeyBefore = hiveseam::KeyExists(classKeyPath);
    std::optional<hiveseam::Value> before = hiveseam::ReadValue(classKeyPath, "UpperFilters");
    RepairOutcome outcome = RunRepair();
    for (const std::string &box : hiveseam::Boxes())
        std::cerr << "Verolund Wizard: " << box << "\n";
    if (outcome == REPAIR_REFUSED)
        return Stop("nothing was changed", EXIT_NOT_REPAIRED);
    if (outcome == REPAIR_NO_CLASS_KEY)
        return Stop("the disk-drive class key cannot be made in the hive; nothing was written",
                    EXIT_NOT_WRITTEN);
    ShowRun(classKeyBefore, before);
    if (options.dryRun) {
        std::cout << "Dry run: nothing was written.\n";
        return outcome == REPAIR_DONE ? EXIT_REPAIRED : EXIT_NOT_REPAIRED;
    }
    bool asked = false;
    if (!options.yes && !Confirmed(&asked))
        return Stop(asked ? "not confirmed: nothing was written"
                          : "no terminal to ask on, and no --yes: nothing was written",
                    EXIT_UNUSABLE);
    return Write(installation, outcome);
}

}  // namespace

int main(int argc, char **argv)
{
    OfflineOptions options;
    std::string problem = ParseOptions(argc, argv, &options);
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }
    if (!problem.empty()) {
        std::cerr << "verolund-offline: " << problem << "\n\n" << kUsage;
        return EXIT_UNUSABLE;
    }
    int status = Repair(options);
    hiveseam::CloseInstallation();
    return status;
}
