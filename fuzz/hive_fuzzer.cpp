// Makes the same registry calls on winsim and on the hive-backed seam (over a
// fixture installation in code page 1252) and aborts on the first answer in
// which they differ where both are defined.
#include <stdlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz/hive_input.h"
#include "fuzz/hive_winsim.h"
#include "hiveseam/hiveseam.h"

namespace fuzz::hive {
namespace {

const char kScratchKey[] = "SYSTEM\\CurrentControlSet\\Control\\Fuzz";
const size_t kScratchDepth = 4;
const char kFixture[] = VEROLUND_SOURCE_DIR "/tests/offline/hivefixture.py";
const size_t kOpenMax = 8;
const size_t kStaleMax = 4;
const size_t kKeyNameMax = 255;
const BYTE kUnwritten = 0xA5;

std::string fixtureRoot;
std::string windowsDir;
const std::vector<Step> *running = nullptr;
size_t runningStep = 0;

void RemoveFixture()
{
    if (!fixtureRoot.empty() && std::system(("rm -rf '" + fixtureRoot + "'").c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", fixtureRoot.c_str());
    fixtureRoot.clear();
}

// Where two byte strings part, and a few bytes from there.
std::string Difference(const std::string &sim, const std::string &hive)
{
    size_t common = std::min(sim.size(), hive.size());
    size_t at = std::mismatch(sim.begin(), sim.begin() + common, hive.begin()).first - sim.begin();
    size_t from = at > 8 ? at - 8 : 0;
    char text[96];
    std::snprintf(text, sizeof text, "%zu and %zu bytes, from byte %zu on: winsim \"", sim.size(),
                  hive.size(), from);
    return text + Shown(sim.substr(std::min(from, sim.size()), 40)) + "\", hive \"" +
           Shown(hive.substr(std::min(from, hive.size()), 40)) + "\"";
}

[[noreturn]] void Fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "hive check failed: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    if (running != nullptr) {
        std::fprintf(stderr, "steps:\n");
        for (size_t i = 0; i < running->size() && i <= runningStep; ++i)
            std::fprintf(stderr, "  %2zu %s\n", i, Describe((*running)[i]).c_str());
    }
    RemoveFixture();
    std::abort();
}

void Same(const char *what, long sim, long hive)
{
    if (sim != hive)
        Fail("%s: winsim %ld, hive %ld", what, sim, hive);
}

char Folded(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Names here hold ASCII and caseless characters only, so folding ASCII
// compares them as both seams do.
bool SameName(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Folded(x) == Folded(y);
           });
}

std::string Flipped(std::string text, uint8_t flips)
{
    for (size_t i = 0; i < text.size(); ++i) {
        char &c = text[i];
        if ((flips >> (i % 8) & 1) == 0)
            continue;
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string Joined(const std::vector<std::string> &parts, size_t from = 0)
{
    std::string text;
    for (size_t i = from; i < parts.size(); ++i)
        text += (i > from ? "\\" : "") + parts[i];
    return text;
}

// A path split as both seams split it: at every backslash, a trailing one
// ending no part.
std::vector<std::string> Parts(const std::string &path)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t slash; (slash = path.find('\\', from)) != std::string::npos; from = slash + 1)
        parts.push_back(path.substr(from, slash - from));
    if (from < path.size())
        parts.push_back(path.substr(from));
    return parts;
}

// Both list sub-keys in the order of their upper-cased names, as Windows
// keeps them, but a character above 0x7F sorts by its UTF-16 code unit in the
// hive and by its byte in winsim ("\x80" is U+20AC, behind "\xdf", U+00DF).
// Only where every name is ASCII is the order of enumeration the same on both.
bool OrderIsShared(const std::vector<std::string> &names)
{
    for (const std::string &name : names) {
        for (unsigned char c : name) {
            if (c > 0x7f)
                return false;
        }
    }
    return true;
}

struct Handles {
    HKEY sim;
    HKEY hive;
};

struct OpenPair {
    Handles handles;
    std::vector<std::string> path;  // below the scratch key
    DWORD nextIndex = 0;
};

// One RegEnumKeyExA answer.
struct Listed {
    LONG result;
    std::string name;  // on success
    DWORD length;
    DWORD timeLow, timeHigh;
    bool operator<(const Listed &other) const
    {
        return std::tie(result, name, length, timeLow, timeHigh) <
               std::tie(other.result, other.name, other.length, other.timeLow, other.timeHigh);
    }
    bool operator==(const Listed &other) const
    {
        return std::tie(result, name, length, timeLow, timeHigh) ==
               std::tie(other.result, other.name, other.length, other.timeLow, other.timeHigh);
    }
};

std::string ShownListing(const std::vector<Listed> &listing)
{
    std::string shown;
    for (const Listed &entry : listing) {
        char text[64];
        std::snprintf(text, sizeof text, "%s(%ld, %lu)", shown.empty() ? "" : " ",
                      static_cast<long>(entry.result), static_cast<unsigned long>(entry.length));
        shown += text + ("\"" + Shown(entry.name) + "\"");
    }
    return shown;
}

// A name buffer of `size` characters, or none.
struct NameBuffer {
    bool null;
    DWORD size;
};

class Run {
  public:
    void Start();
    void Apply(const Step &step);
    void Finish();

  private:
    struct Target {
        Handles handles;
        OpenPair *open;  // null for a closed pair
    };
    Target Pick(uint8_t handle, bool forClose);
    std::string KnownPath(const Name &name, const OpenPair *base);
    void OpenOrCreate(const Step &step, bool create);
    void Adopt(Handles handles, std::vector<std::string> path);
    void Set(const Step &step);
    void Query(const Step &step);
    std::vector<std::string> Names(HKEY sim);
    NameBuffer BufferFor(uint8_t choice, const std::vector<std::string> &names);
    Listed EnumerateOne(bool onHive, HKEY key, DWORD index, NameBuffer buffer, bool withTime);
    void Enumerate(const Step &step);
    void StepOnce(const Step &step);
    void Close(const Step &step);
    const char *ValueName(const Name &name, std::string *text);
    void CompareValues(Handles handles, const std::string &where);
    void CompareTree(Handles handles, const std::string &where, size_t depth);
    void CheckHandleCounts(const char *when);

    std::vector<OpenPair> open_;
    std::vector<Handles> closed_;
    std::vector<std::vector<std::string>> paths_;
    std::vector<std::string> values_;
};

void Run::CheckHandleCounts(const char *when)
{
    size_t sim = winsim::OpenHandles().size();
    size_t hive = hiveseam::OpenHandles().size();
    if (sim != open_.size() || hive != open_.size())
        Fail("%s: %zu handles open on winsim and %zu on the hive, the steps opened %zu", when, sim,
             hive, open_.size());
}

void Run::Start()
{
    hiveseam::Installation installation;
    std::string problem = hiveseam::OpenInstallation({windowsDir, 0}, &installation);
    if (!problem.empty())
        Fail("the fixture installation does not open: %s", problem.c_str());
    if (installation.codePage != 1252)
        Fail("the fixture installation's code page is %u, not 1252", installation.codePage);
    winsim::Reset();
    winsim::AddKey("SYSTEM\\CurrentControlSet\\Control");
    Handles scratch{};
    DWORD simCreated = 0, hiveCreated = 0;
    LONG sim = winsim_RegCreateKeyExA(HKEY_LOCAL_MACHINE, kScratchKey, 0, nullptr, 0,
                                      KEY_ALL_ACCESS, nullptr, &scratch.sim, &simCreated);
    LONG hive = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &scratch.hive, &hiveCreated);
    if (sim != ERROR_SUCCESS || hive != ERROR_SUCCESS || simCreated != REG_CREATED_NEW_KEY ||
        hiveCreated != REG_CREATED_NEW_KEY)
        Fail("the scratch key is not created on both: winsim %ld (%lu), hive %ld (%lu)",
             static_cast<long>(sim), static_cast<unsigned long>(simCreated),
             static_cast<long>(hive), static_cast<unsigned long>(hiveCreated));
    open_.push_back(OpenPair{scratch, {}});
}

// Any open pair; a high handle byte picks a closed pair instead, when there
// is one. The scratch key's pair is never closed before the end.
Run::Target Run::Pick(uint8_t handle, bool forClose)
{
    if (handle >= 28 && !closed_.empty())
        return Target{closed_[handle % closed_.size()], nullptr};
    if (forClose) {
        if (open_.size() < 2)
            return Target{{nullptr, nullptr}, nullptr};
        OpenPair &pair = open_[1 + handle % (open_.size() - 1)];
        return Target{pair.handles, &pair};
    }
    OpenPair &pair = open_[handle % open_.size()];
    return Target{pair.handles, &pair};
}

// A known key's path, relative to base when it lies below base's key, in the
// case the name asks for; "" when no key is known yet.
std::string Run::KnownPath(const Name &name, const OpenPair *base)
{
    if (paths_.empty())
        return "";
    const std::vector<std::string> &path = paths_[name.pick % paths_.size()];
    size_t from = 0;
    if (base != nullptr && !name.fromMachine && base->path.size() <= path.size() &&
        std::equal(base->path.begin(), base->path.end(), path.begin(), SameName))
        from = base->path.size();
    return Flipped(Joined(path, from), name.flips);
}

void Run::Adopt(Handles handles, std::vector<std::string> path)
{
    if (!path.empty() &&
        std::none_of(paths_.begin(), paths_.end(), [&path](const std::vector<std::string> &known) {
            return known.size() == path.size() &&
                   std::equal(known.begin(), known.end(), path.begin(), SameName);
        }))
        paths_.push_back(path);
    if (open_.size() < kOpenMax) {
        open_.push_back(OpenPair{handles, path});
        return;
    }
    Same("closing a handle beyond the steps' room", winsim_RegCloseKey(handles.sim),
         RegCloseKey(handles.hive));
    closed_.push_back(handles);
    if (closed_.size() > kStaleMax)
        closed_.erase(closed_.begin());
}

void Run::OpenOrCreate(const Step &step, bool create)
{
    Target target = Pick(step.handle, false);
    const Name &name = step.name;
    std::string text;
    switch (name.kind) {
    case NameKind::Fresh:
    case NameKind::Long:
        text = name.text;
        break;
    case NameKind::Known:
        text = KnownPath(name, target.open);
        break;
    case NameKind::Nested: {
        std::string known = KnownPath(name, target.open);
        text = known.empty() ? name.text : known + (name.doubledSlash ? "\\\\" : "\\") + name.text;
        break;
    }
    default:
        break;
    }
    bool null = name.kind == NameKind::Null && !name.fromMachine;
    if (name.trailingSlash && !null)
        text += "\\";
    Handles from = target.handles;
    std::vector<std::string> path;
    if (name.fromMachine) {
        text = Flipped(kScratchKey, name.flips) + (text.empty() ? "" : "\\" + text);
        from = Handles{HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE};
        std::vector<std::string> parts = Parts(text);
        path.assign(parts.begin() + kScratchDepth, parts.end());
    } else {
        if (target.open != nullptr)
            path = target.open->path;
        for (const std::string &part : Parts(text))
            path.push_back(part);
    }
    const char *subKey = null ? nullptr : text.c_str();

    std::vector<std::string> parts = Parts(text);
    auto bad = std::find_if(parts.begin(), parts.end(), [](const std::string &part) {
        return part.empty() || part.size() > kKeyNameMax;
    });
    bool through = name.fromMachine || target.open != nullptr;
    if (create && through && bad != parts.end() && !bad->empty()) {
        // winsim puts no bound on the length of a key name (the unit tests
        // seed names of 256 to 300 characters to see the wizard cope), the
        // hive-backed seam refuses a name longer than Windows' 255. Both
        // create the keys before the long name, so winsim is only asked for
        // those, and the end's comparison of the trees sees that the hive
        // made no more.
        HKEY hive = nullptr;
        if (RegCreateKeyExA(from.hive, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hive,
                            nullptr) == ERROR_SUCCESS)
            Fail("the hive creates a key named with %zu characters", bad->size());
        std::string before = Joined(std::vector<std::string>(parts.begin(), bad));
        if (!before.empty()) {
            HKEY sim = nullptr;
            if (winsim_RegCreateKeyExA(from.sim, before.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                       nullptr, &sim, nullptr) != ERROR_SUCCESS ||
                winsim_RegCloseKey(sim) != ERROR_SUCCESS)
                Fail("winsim does not create \"%s\"", Shown(before).c_str());
        }
        return;
    }

    // All rights, always: the hive-backed seam grants every right to every
    // handle, winsim only those asked for.
    HKEY unset = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x5a5a));
    Handles made{unset, unset};
    DWORD simCreated = 0x5a5a, hiveCreated = 0x5a5a;
    LONG sim, hive;
    if (create) {
        sim = winsim_RegCreateKeyExA(from.sim, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     &made.sim, &simCreated);
        hive = RegCreateKeyExA(from.hive, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &made.hive, &hiveCreated);
    } else {
        sim = winsim_RegOpenKeyExA(from.sim, subKey, 0, KEY_ALL_ACCESS, &made.sim);
        hive = RegOpenKeyExA(from.hive, subKey, 0, KEY_ALL_ACCESS, &made.hive);
    }
    const char *call = create ? "RegCreateKeyExA" : "RegOpenKeyExA";
    if (sim != hive)
        Fail("%s \"%s\": winsim %ld, hive %ld", call, Shown(subKey ? subKey : "(NULL)").c_str(),
             static_cast<long>(sim), static_cast<long>(hive));
    if (!through && sim != ERROR_INVALID_HANDLE)
        Fail("%s through a closed handle: %ld, not ERROR_INVALID_HANDLE", call,
             static_cast<long>(sim));
    Same("disposition", simCreated, hiveCreated);
    if (sim != ERROR_SUCCESS) {
        Same("the handle left after a failure is untouched", made.sim == unset, made.hive == unset);
        Same("the handle left after a failure is NULL", made.sim == nullptr, made.hive == nullptr);
        return;
    }
    if (made.sim == nullptr || made.hive == nullptr || made.sim == unset || made.hive == unset)
        Fail("%s succeeded without a handle", call);
    Adopt(made, path);
}

const char *Run::ValueName(const Name &name, std::string *text)
{
    switch (name.kind) {
    case NameKind::Null:
        return nullptr;
    case NameKind::Known:
        *text = values_.empty() ? "" : Flipped(values_[name.pick % values_.size()], name.flips);
        break;
    case NameKind::Empty:
        text->clear();
        break;
    default:
        *text = name.text;
        break;
    }
    return text->c_str();
}

// RegSetValueExA reads size bytes and not one more, which an exact heap
// block lets AddressSanitizer see; string data without its terminator is
// stored as given by both (Windows may take in a zero behind it).
void Run::Set(const Step &step)
{
    Target target = Pick(step.handle, false);
    std::string name;
    const char *valueName = ValueName(step.name, &name);
    std::unique_ptr<BYTE[]> bytes(new BYTE[step.data.size]);
    if (!step.data.null)
        std::memcpy(bytes.get(), step.data.bytes.data(), step.data.size);
    const BYTE *data = step.data.null ? nullptr : bytes.get();
    DWORD type = step.type;
    LONG sim = winsim_RegSetValueExA(target.handles.sim, valueName, 0, type, data, step.data.size);
    LONG hive = RegSetValueExA(target.handles.hive, valueName, 0, type, data, step.data.size);
    if (sim != hive)
        Fail("RegSetValueExA \"%s\" type 0x%lx, %lu bytes: winsim %ld, hive %ld",
             Shown(name).c_str(), static_cast<unsigned long>(type),
             static_cast<unsigned long>(step.data.size), static_cast<long>(sim),
             static_cast<long>(hive));
    if (sim == ERROR_SUCCESS && !name.empty() &&
        std::none_of(values_.begin(), values_.end(),
                     [&name](const std::string &known) { return SameName(known, name); }))
        values_.push_back(name);
}

// The buffer byte of a query: % 8 picks the buffer (0 none, with the size
// asked; 1 none and no size; 2 a tiny one of 0 to 3 bytes, by bits 4-5;
// 3 exactly the value's size; 4 one byte less; 5 512 bytes; 6 4096 bytes;
// 7 a buffer but no size); bit 3 asks no type.
void Run::Query(const Step &step)
{
    Target target = Pick(step.handle, false);
    std::string name;
    const char *valueName = ValueName(step.name, &name);
    DWORD needed = 0;
    if (winsim_RegQueryValueExA(target.handles.sim, valueName, nullptr, nullptr, nullptr,
                                &needed) != ERROR_SUCCESS)
        needed = 0;
    uint8_t choice = step.buffer % 8;
    bool withType = (step.buffer & 8) == 0;
    static const DWORD kFixedSizes[] = {0, 0, 0, 0, 0, 512, 4096, 0};
    DWORD size = kFixedSizes[choice];
    if (choice == 2)
        size = (step.buffer >> 4) % 4;
    if (choice == 3 || choice == 7)
        size = needed;
    if (choice == 4)
        size = needed > 0 ? needed - 1 : 0;
    bool withData = choice >= 2;
    bool withSize = choice != 1 && choice != 7;

    struct Answer {
        LONG result;
        DWORD type = 0xdeadbeef;
        DWORD size;
        std::unique_ptr<BYTE[]> data;
    } answers[2];
    for (int onHive = 0; onHive < 2; ++onHive) {
        Answer &answer = answers[onHive];
        answer.size = size;
        answer.data.reset(new BYTE[size]);
        std::memset(answer.data.get(), kUnwritten, size);
        HKEY key = onHive ? target.handles.hive : target.handles.sim;
        auto query = onHive ? RegQueryValueExA : winsim_RegQueryValueExA;
        answer.result =
            query(key, valueName, nullptr, withType ? &answer.type : nullptr,
                  withData ? answer.data.get() : nullptr, withSize ? &answer.size : nullptr);
    }
    const Answer &sim = answers[0], &hive = answers[1];
    char what[128];
    std::snprintf(what, sizeof what, "RegQueryValueExA \"%.40s\" (buffer %s%lu)",
                  Shown(name).c_str(), withData ? "" : "none, ", static_cast<unsigned long>(size));
    if (sim.result != hive.result)
        Fail("%s: winsim %ld, hive %ld", what, static_cast<long>(sim.result),
             static_cast<long>(hive.result));
    if (target.open == nullptr && sim.result != ERROR_INVALID_HANDLE)
        Fail("%s through a closed handle: %ld", what, static_cast<long>(sim.result));
    if (sim.type != hive.type)
        Fail("%s: type winsim 0x%lx, hive 0x%lx", what, static_cast<unsigned long>(sim.type),
             static_cast<unsigned long>(hive.type));
    if (sim.size != hive.size)
        Fail("%s: size winsim %lu, hive %lu", what, static_cast<unsigned long>(sim.size),
             static_cast<unsigned long>(hive.size));
    // The buffer's contents are undefined after ERROR_MORE_DATA. Elsewhere
    // the whole buffer counts, the bytes behind the data included.
    if (sim.result == ERROR_MORE_DATA)
        return;
    std::string simData(reinterpret_cast<const char *>(sim.data.get()), size);
    std::string hiveData(reinterpret_cast<const char *>(hive.data.get()), size);
    if (simData != hiveData)
        Fail("%s: %lu bytes; %s", what, static_cast<unsigned long>(sim.size),
             Difference(simData, hiveData).c_str());
}

// The sub-key names of the key, as winsim lists them through a handle of
// its own, so that the pair's enumeration state stays as the steps left it.
std::vector<std::string> Run::Names(HKEY sim)
{
    std::vector<std::string> names;
    HKEY own = nullptr;
    if (winsim_RegOpenKeyExA(sim, "", 0, KEY_ALL_ACCESS, &own) != ERROR_SUCCESS)
        return names;
    char name[kKeyNameMax * 2 + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (winsim_RegEnumKeyExA(own, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    winsim_RegCloseKey(own);
    return names;
}

// The name buffer byte of an enumeration: % 8 picks its size (0 none at
// all; 1 1 to 8 characters, by bits 3-5; 2 just enough for a sub-key's name,
// picked by bits 3-6; 3 one less; 4 256; 5 1024; 6 a NULL buffer; 7 41);
// bit 7 asks no last-write time.
NameBuffer Run::BufferFor(uint8_t choice, const std::vector<std::string> &names)
{
    size_t picked = names.empty() ? 0 : names[(choice >> 3) % 16 % names.size()].size();
    switch (choice % 8) {
    case 0:
        return {false, 0};
    case 1:
        return {false, static_cast<DWORD>(1 + (choice >> 3) % 8)};
    case 2:
        return {false, static_cast<DWORD>(picked + 1)};
    case 3:
        return {false, static_cast<DWORD>(picked)};
    case 4:
        return {false, 256};
    case 5:
        return {false, 1024};
    case 6:
        return {true, 16};
    default:
        return {false, 41};
    }
}

Listed Run::EnumerateOne(bool onHive, HKEY key, DWORD index, NameBuffer buffer, bool withTime)
{
    std::unique_ptr<char[]> name(new char[buffer.size]);
    std::memset(name.get(), kUnwritten, buffer.size);
    FILETIME time{0x5a5a5a5a, 0x5a5a5a5a};
    Listed listed{};
    listed.length = buffer.size;
    auto enumerate = onHive ? RegEnumKeyExA : winsim_RegEnumKeyExA;
    listed.result = enumerate(key, index, buffer.null ? nullptr : name.get(), &listed.length,
                              nullptr, nullptr, nullptr, withTime ? &time : nullptr);
    if (listed.result == ERROR_SUCCESS) {
        if (listed.length >= buffer.size || strnlen(name.get(), buffer.size) != listed.length)
            Fail("RegEnumKeyExA on %s answered length %lu for a name of %zu in room for %lu",
                 onHive ? "the hive" : "winsim", static_cast<unsigned long>(listed.length),
                 strnlen(name.get(), buffer.size), static_cast<unsigned long>(buffer.size));
        listed.name.assign(name.get(), listed.length);
        listed.timeLow = time.dwLowDateTime;
        listed.timeHigh = time.dwHighDateTime;
    }
    return listed;
}

// The buffer, and (% 3 of the order byte) ascending, descending or each
// index twice. Where the order is not shared (OrderIsShared), the answers
// are compared as a multiset: every index is asked equally often.
void Run::Enumerate(const Step &step)
{
    Target target = Pick(step.handle, false);
    std::vector<std::string> names = Names(target.handles.sim);
    NameBuffer buffer = BufferFor(step.buffer, names);
    bool withTime = (step.buffer & 0x80) == 0;
    std::vector<DWORD> indexes;
    for (DWORD index = 0; index < names.size() + 2; ++index) {
        indexes.push_back(index);
        if (step.order == 2)
            indexes.push_back(index);
    }
    if (step.order == 1)
        std::reverse(indexes.begin(), indexes.end());
    std::vector<Listed> sim, hive;
    for (DWORD index : indexes) {
        sim.push_back(EnumerateOne(false, target.handles.sim, index, buffer, withTime));
        hive.push_back(EnumerateOne(true, target.handles.hive, index, buffer, withTime));
    }
    if (!OrderIsShared(names)) {
        std::sort(sim.begin(), sim.end());
        std::sort(hive.begin(), hive.end());
    }
    if (sim != hive)
        Fail("RegEnumKeyExA with room for %lu%s:\n  winsim %s\n  hive   %s",
             static_cast<unsigned long>(buffer.size), buffer.null ? " (NULL)" : "",
             ShownListing(sim).c_str(), ShownListing(hive).c_str());
    if (target.open == nullptr && sim[0].result != ERROR_INVALID_HANDLE)
        Fail("RegEnumKeyExA through a closed handle: %ld", static_cast<long>(sim[0].result));
}

// One call at the pair's next index, as a caller that enumerates while it
// creates keys makes it. Where the order is not shared only what does not
// depend on it is compared: whether the index is past the end, and that a
// name found is one of the key's.
void Run::StepOnce(const Step &step)
{
    Target target = Pick(step.handle, false);
    DWORD index = target.open != nullptr ? target.open->nextIndex : 0;
    std::vector<std::string> names = Names(target.handles.sim);
    NameBuffer buffer = BufferFor(step.buffer, names);
    bool withTime = (step.buffer & 0x80) == 0;
    Listed sim = EnumerateOne(false, target.handles.sim, index, buffer, withTime);
    Listed hive = EnumerateOne(true, target.handles.hive, index, buffer, withTime);
    bool shared = OrderIsShared(names);
    if (shared || buffer.null || index >= names.size() || target.open == nullptr) {
        if (!(sim == hive))
            Fail("RegEnumKeyExA index %lu with room for %lu:\n  winsim %s\n  hive   %s",
                 static_cast<unsigned long>(index), static_cast<unsigned long>(buffer.size),
                 ShownListing({sim}).c_str(), ShownListing({hive}).c_str());
    } else {
        for (const Listed *listed : {&sim, &hive}) {
            if (listed->result == ERROR_SUCCESS &&
                std::find(names.begin(), names.end(), listed->name) == names.end())
                Fail("RegEnumKeyExA index %lu found \"%s\", not a sub-key",
                     static_cast<unsigned long>(index), Shown(listed->name).c_str());
        }
    }
    if (target.open != nullptr)
        target.open->nextIndex = sim.result == ERROR_NO_MORE_ITEMS ? 0 : index + 1;
}

void Run::Close(const Step &step)
{
    Target target = Pick(step.handle, true);
    if (target.handles.sim == nullptr)
        return;
    LONG sim = winsim_RegCloseKey(target.handles.sim);
    LONG hive = RegCloseKey(target.handles.hive);
    Same("RegCloseKey", sim, hive);
    if (target.open == nullptr) {
        Same("RegCloseKey of a closed handle", sim, ERROR_INVALID_HANDLE);
        return;
    }
    Same("RegCloseKey of an open handle", sim, ERROR_SUCCESS);
    closed_.push_back(target.handles);
    if (closed_.size() > kStaleMax)
        closed_.erase(closed_.begin());
    open_.erase(open_.begin() + (target.open - open_.data()));
}

void Run::Apply(const Step &step)
{
    switch (step.action) {
    case Action::Create:
    case Action::Open:
        OpenOrCreate(step, step.action == Action::Create);
        break;
    case Action::Set:
        Set(step);
        break;
    case Action::Query:
        Query(step);
        break;
    case Action::Enumerate:
        Enumerate(step);
        break;
    case Action::Step:
        StepOnce(step);
        break;
    case Action::Close:
        Close(step);
        break;
    }
    CheckHandleCounts("after the step");
}

// Every value name the steps set, and the default value, read in full.
void Run::CompareValues(Handles handles, const std::string &where)
{
    std::vector<std::string> names = values_;
    names.push_back("");
    for (const std::string &name : names) {
        DWORD simType = 0, hiveType = 0;
        BYTE sim[1024], hive[1024];
        DWORD simSize = sizeof sim, hiveSize = sizeof hive;
        LONG simResult =
            winsim_RegQueryValueExA(handles.sim, name.c_str(), nullptr, &simType, sim, &simSize);
        LONG hiveResult =
            RegQueryValueExA(handles.hive, name.c_str(), nullptr, &hiveType, hive, &hiveSize);
        std::string simData(reinterpret_cast<char *>(sim),
                            simResult == ERROR_SUCCESS ? simSize : 0);
        std::string hiveData(reinterpret_cast<char *>(hive),
                             hiveResult == ERROR_SUCCESS ? hiveSize : 0);
        if (simResult != hiveResult || simType != hiveType || simData != hiveData)
            Fail("at the end, value \"%s\" of \"%s\": winsim %ld type 0x%lx, hive %ld type "
                 "0x%lx; %s",
                 Shown(name).c_str(), Shown(where).c_str(), static_cast<long>(simResult),
                 static_cast<unsigned long>(simType), static_cast<long>(hiveResult),
                 static_cast<unsigned long>(hiveType), Difference(simData, hiveData).c_str());
    }
}

// Both trees below the scratch key hold the same keys and values.
void Run::CompareTree(Handles handles, const std::string &where, size_t depth)
{
    CompareValues(handles, where);
    std::vector<std::string> names = Names(handles.sim);
    std::vector<std::string> hiveNames;
    char name[kKeyNameMax + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(handles.hive, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        hiveNames.emplace_back(name, length);
    }
    std::vector<std::string> simSorted = names, hiveSorted = hiveNames;
    std::sort(simSorted.begin(), simSorted.end());
    std::sort(hiveSorted.begin(), hiveSorted.end());
    if (simSorted != hiveSorted || (OrderIsShared(names) && names != hiveNames))
        Fail("at the end, \"%s\" has %zu sub-keys on winsim and %zu on the hive, or others",
             Shown(where).c_str(), names.size(), hiveNames.size());
    if (depth > kStepsMax)
        Fail("the scratch tree is deeper than the steps can make it");
    for (const std::string &child : names) {
        Handles below{};
        if (winsim_RegOpenKeyExA(handles.sim, child.c_str(), 0, KEY_ALL_ACCESS, &below.sim) !=
                ERROR_SUCCESS ||
            RegOpenKeyExA(handles.hive, child.c_str(), 0, KEY_ALL_ACCESS, &below.hive) !=
                ERROR_SUCCESS)
            Fail("at the end, \"%s\" below \"%s\" does not open on both", Shown(child).c_str(),
                 Shown(where).c_str());
        CompareTree(below, where + "\\" + child, depth + 1);
        winsim_RegCloseKey(below.sim);
        RegCloseKey(below.hive);
    }
}

void Run::Finish()
{
    CompareTree(open_[0].handles, kScratchKey, 0);
    while (!open_.empty()) {
        Same("RegCloseKey at the end", winsim_RegCloseKey(open_.back().handles.sim), ERROR_SUCCESS);
        Same("RegCloseKey at the end", RegCloseKey(open_.back().handles.hive), ERROR_SUCCESS);
        open_.pop_back();
    }
    if (!winsim::OpenHandles().empty() || !hiveseam::OpenHandles().empty())
        Fail("%zu handles left open on winsim, %zu on the hive", winsim::OpenHandles().size(),
             hiveseam::OpenHandles().size());
}

}  // namespace
}  // namespace fuzz::hive

// One fixture installation for the whole run: each input re-opens it, and the
// hive is changed in memory only, so every input starts from the same file.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    using namespace fuzz::hive;
    // A sanitizer's report ends the process without the clean-up below:
    // scripts/fuzz points TMPDIR into the build tree for that.
    const char *temporary = std::getenv("TMPDIR");
    std::string folder =
        std::string(temporary != nullptr ? temporary : "/tmp") + "/verolund-hive-fuzz-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr)
        Fail("no temporary folder for the fixture in %s", folder.c_str());
    fixtureRoot = folder;
    std::atexit(RemoveFixture);
    std::string command = std::string("/usr/bin/python3 ") + kFixture + " installation '" +
                          fixtureRoot + "' --driver-files none >/dev/null";
    if (std::system(command.c_str()) != 0)
        Fail("the fixture generator failed: %s", command.c_str());
    windowsDir = fixtureRoot + "/WINDOWS";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace fuzz::hive;
    std::vector<Step> steps = Decode(data, size);
    Run run;
    run.Start();
    running = &steps;
    for (runningStep = 0; runningStep < steps.size(); ++runningStep)
        run.Apply(steps[runningStep]);
    run.Finish();
    running = nullptr;
    hiveseam::CloseInstallation();
    return 0;
}
