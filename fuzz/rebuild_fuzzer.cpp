// Drives AddFilterToList through the simulated Windows with arbitrary stored
// lists, services and failures, and aborts on the first broken promise.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filters/filterlist.h"
#include "filters/services.h"
#include "filters/servicetable.h"
#include "fuzz/model.h"
#include "fuzz/scenario.h"
#include "log/runlog.h"
#include "winsim/winsim.h"

namespace fuzz {
namespace {

const char kClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";
const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\services";
const char kLogFile[] = "C:\\WINDOWS\\Temp\\Verolund.log";

std::string Shown(const std::string &bytes)
{
    std::string shown;
    for (unsigned char c : bytes) {
        char escaped[8];
        if (c >= 0x20 && c < 0x7f && c != '\\')
            shown += static_cast<char>(c);
        else {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    return shown;
}

[[noreturn]] void Fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "rebuild check failed: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}

void Check(bool holds, const char *what)
{
    if (!holds)
        Fail("%s", what);
}

void Arrange(const Scenario &s)
{
    winsim::Reset();
    Check(BuildLogPath() == 1, "the log path builds");
    winsim::AddKey(kClassKey);
    if (s.stored)
        winsim::SetValue(kClassKey, "UpperFilters", s.stored->type, s.stored->bytes);
    for (const Service &service : s.services) {
        std::string path = std::string(kServicesKey) + "\\" + service.name;
        winsim::AddKey(path);
        if (service.ownKeyRefusesRead)
            winsim::DenyKeyAccess(path, KEY_READ);
    }
    if (s.servicesKeyRefusesRead)
        winsim::DenyKeyAccess(kServicesKey, KEY_READ);
    if (s.enumeration == Enumeration::FailsAtOnce)
        winsim::FailCall("RegEnumKeyExA", ERROR_ACCESS_DENIED);
}

// The table must answer every name as the search entry by entry does, and
// both as the model does, while the registry stays as it is.
void CompareLookups(const Scenario &s, const ServicesModel &model)
{
    size_t failsAt = s.enumeration == Enumeration::FailsAtOnce ? 0 : kNeverFails;
    // The rebuild asks lowered entries; a name asked twice costs a second
    // enumeration entry by entry and shows nothing new.
    std::vector<std::string> asked;
    auto ask = [&asked](const std::string &name) {
        if (std::find(asked.begin(), asked.end(), name) == asked.end())
            asked.push_back(name);
    };
    if (s.stored && s.stored->type == REG_MULTI_SZ) {
        for (const std::string &entry : ScannedEntries(s.stored->bytes))
            ask(Lowered(entry));
    }
    for (const Service &service : s.services) {
        if (!service.fillsTable)
            ask(service.name);
    }
    static ServiceTable table;
    StartServiceTable(&table);
    for (const std::string &name : asked) {
        int fromTable = ServiceIsRegisteredIn(&table, name.c_str());
        int perEntry = ServiceIsRegistered(name.c_str());
        int expected = model.Registered(name, failsAt) ? 1 : 0;
        if (fromTable != perEntry || perEntry != expected)
            Fail("lookup of \"%s\": table %d, entry by entry %d, expected %d", Shown(name).c_str(),
                 fromTable, perEntry, expected);
    }
    if (!winsim::OpenHandles().empty())
        Fail("a lookup left %zu handles open", winsim::OpenHandles().size());
}

// Splits a written list into its entries; aborts unless it is entries that
// are not empty, each with its zero, then one more zero.
std::vector<std::string> WrittenEntries(const std::string &bytes)
{
    if (bytes.size() < 2 || bytes[bytes.size() - 1] != '\0' || bytes[bytes.size() - 2] != '\0')
        Fail("written list \"%s\" does not end in two zeros", Shown(bytes).c_str());
    std::vector<std::string> entries;
    size_t at = 0;
    while (at < bytes.size() - 1) {
        size_t end = bytes.find('\0', at);
        if (end == at)
            Fail("written list \"%s\" holds an empty entry", Shown(bytes).c_str());
        entries.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    return entries;
}

struct Kept {
    bool exact;                        // else only the bounds below hold
    std::vector<std::string> entries;  // exact: what is kept
    std::vector<std::string> sound;    // bounds: the candidates, in order
    std::vector<bool> required;        // bounds: registered by the own key
    std::vector<bool> possible;        // bounds: registered at all
};

// An enumeration that fails after some calls is exact only while the
// rebuild enumerates once; with a full table it enumerates again.
Kept KeptEntries(const Scenario &s, const ServicesModel &model, const std::string &stored)
{
    Kept kept{};
    size_t failsAt = kNeverFails;
    if (s.enumeration == Enumeration::FailsAtOnce)
        failsAt = 0;
    if (s.enumeration == Enumeration::FailsAfterCalls)
        failsAt = static_cast<size_t>(s.callsBeforeFailure);
    kept.exact = s.enumeration != Enumeration::FailsAfterCalls || model.FitsTable();
    for (const std::string &entry : ScannedEntries(stored)) {
        if (!EntryLooksSound(entry, s.filter))
            continue;
        std::string lowered = Lowered(entry);
        if (model.Registered(lowered, failsAt))
            kept.entries.push_back(entry);
        kept.sound.push_back(entry);
        kept.required.push_back(model.Registered(lowered, 0));
        kept.possible.push_back(model.Registered(lowered, kNeverFails));
    }
    return kept;
}

void CheckKept(const Kept &kept, const std::vector<std::string> &others)
{
    if (kept.exact) {
        if (others != kept.entries)
            Fail("kept %zu entries, expected %zu", others.size(), kept.entries.size());
        return;
    }
    // Equal entries share their answers, so matching greedily is enough.
    size_t next = 0;
    for (size_t i = 0; i < kept.sound.size(); ++i) {
        if (!kept.possible[i])
            continue;
        if (next < others.size() && others[next] == kept.sound[i])
            ++next;
        else if (kept.required[i])
            Fail("entry \"%s\" with a readable key was dropped", Shown(kept.sound[i]).c_str());
    }
    if (next != others.size())
        Fail("written entry \"%s\" is not a sound stored entry in its place",
             Shown(others[next]).c_str());
}

void CheckWrittenList(const Scenario &s, const Kept &kept, const std::string &bytes)
{
    std::vector<std::string> entries = WrittenEntries(bytes);
    if (entries.empty() || entries.back() != s.filter)
        Fail("the last written entry is not the filter \"%s\"", Shown(s.filter).c_str());
    entries.pop_back();
    for (const std::string &entry : entries) {
        if (Lowered(entry).find(Lowered(s.filter)) != std::string::npos)
            Fail("written entry \"%s\" names the filter", Shown(entry).c_str());
        if (!EntryLooksSound(entry, s.filter))
            Fail("written entry \"%s\" is malformed", Shown(entry).c_str());
    }
    CheckKept(kept, entries);
}

void CheckRebuild(const Scenario &s, const ServicesModel &model)
{
    HKEY key;
    Check(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS,
          "the class key opens");
    if (s.enumeration == Enumeration::FailsAfterCalls)
        winsim::FailCall("RegEnumKeyExA", ERROR_ACCESS_DENIED, s.callsBeforeFailure);
    if (s.writeFails)
        winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED);
    int queries = winsim::CallCount("RegQueryValueExA");
    int writes = winsim::CallCount("RegSetValueExA");
    int enumerations = winsim::CallCount("RegEnumKeyExA");

    char filter[64];
    std::memcpy(filter, s.filter.c_str(), s.filter.size() + 1);
    int result = AddFilterToList(key, "UpperFilters", filter);
    RegCloseKey(key);

    queries = winsim::CallCount("RegQueryValueExA") - queries;
    writes = winsim::CallCount("RegSetValueExA") - writes;
    enumerations = winsim::CallCount("RegEnumKeyExA") - enumerations;
    Check(s.filter == filter, "the caller's filter name is unchanged");
    if (!winsim::OpenHandles().empty())
        Fail("the rebuild left %zu handles open", winsim::OpenHandles().size());
    Check(queries <= 1 && writes <= 1, "the list is read once and written at most once");
    if (model.FitsTable() && static_cast<size_t>(enumerations) > model.SubKeys() + 1)
        Fail("%d enumeration calls for %zu sub-keys", enumerations, model.SubKeys());

    bool refused = s.filter.empty();
    bool oversized = s.stored && s.stored->bytes.size() > LIST_READ_SIZE;
    bool isList = s.stored && s.stored->type == REG_MULTI_SZ && !oversized;
    bool written = writes == 1 && !s.writeFails;
    Check(result == (written ? 1 : 0), "the result is 1 exactly when a list was written");
    Check(written == (!refused && !oversized && !s.writeFails), "a list is written when it can be");

    std::optional<winsim::Value> after = winsim::GetValue(kClassKey, "UpperFilters");
    if (written) {
        Check(after && after->type == REG_MULTI_SZ, "the written list is a REG_MULTI_SZ");
        Kept kept = KeptEntries(s, model, isList ? s.stored->bytes : std::string());
        CheckWrittenList(s, kept, after->bytes);
        if (kept.exact) {
            std::string expected;
            for (const std::string &entry : kept.entries)
                expected += entry + '\0';
            expected += s.filter + '\0' + '\0';
            if (after->bytes != expected)
                Fail("wrote \"%s\", expected \"%s\"", Shown(after->bytes).c_str(),
                     Shown(expected).c_str());
        }
    } else if (s.stored) {
        Check(after && after->type == s.stored->type && after->bytes == s.stored->bytes,
              "a value that was not written stays as it was");
    } else {
        Check(!after, "no value appears when none was written");
    }

    std::string log;
    if (isList && !refused)
        log += LogLine("Before create " + s.filter +
                       " in UpperFilters values: " + Rendered(s.stored->bytes));
    if (written)
        log += LogLine("After create " + s.filter +
                       " in UpperFilters values: " + Rendered(after->bytes));
    std::string logged = winsim::FileBytes(kLogFile).value_or("");
    if (logged != log)
        Fail("log holds \"%s\", expected \"%s\"", Shown(logged).c_str(), Shown(log).c_str());
}

}  // namespace
}  // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Scenario scenario = fuzz::Decode(data, size);
    fuzz::Arrange(scenario);
    fuzz::ServicesModel model(scenario);
    fuzz::CompareLookups(scenario, model);
    fuzz::CheckRebuild(scenario, model);
    return 0;
}
