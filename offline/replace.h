// Writing the repair's result to the installation without ever losing the
// original: the changed SYSTEM hive replaces the old one only once it has been
// written, flushed and read back, and the old one stays beside it.
#ifndef VEROLUND_OFFLINE_REPLACE_H
#define VEROLUND_OFFLINE_REPLACE_H

#include <string>

// Writes the hive in memory over hivePath. "" on success, with *backup the
// path the original now has; else what failed, and hivePath is as it was.
std::string ReplaceHive(const std::string &hivePath, std::string *backup);

// Carries out the files the run wrote or deleted (the log). "" or what failed.
std::string WriteStagedFiles();

#endif
