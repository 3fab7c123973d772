// Small helpers shared by the host tests: a fresh simulated machine per test,
// multi-string literals, and checks that name the failing case.
#ifndef VEROLUND_TESTS_SUPPORT_H
#define VEROLUND_TESTS_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fixtures.h"
#include "winsim/winsim.h"

extern const char *const kClassKey;
extern const char *const kServicesKey;

// Registers services by creating their keys below the services key.
void AddServices(const std::vector<std::string> &names);

// Shows bytes with zeros and control characters escaped, for messages.
std::string Printable(const std::string &bytes);

// The log file's bytes, or "" when there is none.
std::string LogBytes();

// A fresh machine with the log path built; checks at the end that every
// handle the code under test opened was closed again.
class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

#endif
