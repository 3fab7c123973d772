// What the fuzzer expects, worked out from the scenario alone: which names
// count as registered services, which stored entries the rebuild keeps, and
// the log lines it writes. Nothing here calls the code under test.
#ifndef VEROLUND_FUZZ_MODEL_H
#define VEROLUND_FUZZ_MODEL_H

#include <cstddef>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "fuzz/scenario.h"

namespace fuzz {

constexpr size_t kNeverFails = std::numeric_limits<size_t>::max();

std::string Lowered(std::string text);

class ServicesModel {
  public:
    explicit ServicesModel(const Scenario &scenario);

    // The service's own key opens for reading.
    bool OwnKeyOpens(const std::string &name) const;
    // An enumeration whose call for index failsAt (and beyond) fails meets
    // the name before it ends.
    bool Listed(const std::string &name, size_t failsAt) const;
    bool Registered(const std::string &name, size_t failsAt) const;

    // Every name up to the enumeration's end fits the services table.
    bool FitsTable() const;
    size_t SubKeys() const
    {
        return keys_.size();
    }

  private:
    struct SubKey {
        std::string name;  // as first created
        bool ownKeyRefusesRead;
    };
    std::map<std::string, SubKey> keys_;  // by upper-cased name: enumeration order
    bool servicesKeyRefusesRead_;
};

// The first three keep conditions, which need no registry.
bool EntryLooksSound(const std::string &entry, const std::string &filter);

// How the log shows a multi-string (bytes beyond the end count as zeros).
std::string Rendered(const std::string &list);

// A message as the log file holds it: line feeds as CR LF, then CR LF.
std::string LogLine(const std::string &message);

}  // namespace fuzz

#endif
