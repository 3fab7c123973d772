// One fuzz input, decoded: the stored filter list, the services below the
// services key, the failures the simulated Windows injects, and the filter.
//
// Layout of the input bytes (missing bytes read as zero):
//   0      value: % 8 = 0 absent, 1-4 REG_MULTI_SZ, 5 REG_SZ, 6 REG_BINARY,
//          7 REG_EXPAND_SZ
//   1      machine: bit 0 the services key refuses KEY_READ; bit 1
//          RegSetValueExA fails; bits 2-3 RegEnumKeyExA: 1 fails from the
//          first call, 2 fails after `calls` calls, else never; bit 4 enough
//          long-named services to fill the services table; bit 5 every
//          stored entry is a service; bit 6 every stored entry is a service
//          whose own key refuses KEY_READ
//   2      calls: RegEnumKeyExA calls that succeed before it fails
//   3      filter: < 128 PartMgr, < 200 Diskperf, < 232 one of a few other
//          names, else made from a stored entry
//   4      number of service descriptors, % 17
//   5...   two bytes per descriptor: kind, parameter (see ServiceName)
//   rest   the stored value's bytes, at most kStoredMax of them
#ifndef VEROLUND_FUZZ_SCENARIO_H
#define VEROLUND_FUZZ_SCENARIO_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "seam/win32.h"

namespace fuzz {

constexpr size_t kStoredMax = 700;
constexpr size_t kDescriptorsMax = 16;

enum class Enumeration { Works, FailsAtOnce, FailsAfterCalls };

struct StoredValue {
    DWORD type;
    std::string bytes;
};

// A sub-key to create below the services key: a name without a backslash,
// or head\tail, which creates head with a deeper key tail below it.
struct Service {
    std::string name;
    bool ownKeyRefusesRead;
    bool fillsTable = false;  // one of TableFillers
};

struct Scenario {
    std::optional<StoredValue> stored;
    std::vector<Service> services;
    bool servicesKeyRefusesRead = false;
    bool writeFails = false;
    Enumeration enumeration = Enumeration::Works;
    int callsBeforeFailure = 0;
    std::string filter;
};

// The entries the rebuild scans in a list of that many bytes: each starts
// behind the previous one's zero, the first at 0; a scan needs two bytes.
std::vector<std::string> ScannedEntries(const std::string &bytes);

Scenario Decode(const uint8_t *data, size_t size);

// Sub-key names of 250 characters, more than the services table holds.
std::vector<std::string> TableFillers();

}  // namespace fuzz

#endif
