#include "fuzz/scenario.h"

#include <algorithm>
#include <cstdio>

#include "filters/servicetable.h"

namespace fuzz {
namespace {

const char *const kNames[] = {"PartMgr", "Diskperf", "Foo",       "Bar", "SomeFilter", "ab",
                              "abc",     "Zed",      "xPARTMGRx", "B?r", "Foo\\Enum",  "aaa"};
const char *const kFilters[] = {"Foo", "ab", "x", "PARTMGR", "disk", "B?r", "SomeFilterName", ""};

class Reader {
  public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte()
    {
        return at_ < size_ ? data_[at_++] : 0;
    }
    std::string Rest(size_t most)
    {
        size_t from = std::min(at_, size_);
        at_ = size_;
        return std::string(reinterpret_cast<const char *>(data_) + from,
                           std::min(size_ - from, most));
    }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

std::string Upper(std::string text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// A name as the registry can hold it below the services key: no empty
// parts, at most one backslash.
std::string KeyName(std::string name)
{
    size_t slash = name.find('\\');
    if (slash == std::string::npos)
        return name;
    std::string head = name.substr(0, slash);
    std::string tail = name.substr(slash + 1);
    std::replace(tail.begin(), tail.end(), '\\', '_');
    return (head.empty() ? "_" : head) + "\\" + (tail.empty() ? "_" : tail);
}

// Kind % 8: 0-2 a stored entry as stored, 3 one upper-cased, 4 a name from
// kNames, 5 a name too long for the enumeration's buffer, 6 a long name that
// still fits, 7 a stored entry with one letter more. Bit 3: the service's
// own key refuses KEY_READ.
std::string ServiceName(uint8_t kind, uint8_t parameter, const std::vector<std::string> &entries)
{
    int source = kind % 8;
    bool fromEntry = source <= 3 || source == 7;
    if (fromEntry && entries.empty())
        source = 4;
    const std::string &entry = entries.empty() ? "" : entries[parameter % entries.size()];
    switch (source) {
    case 3:
        return Upper(entry);
    case 4:
        return kNames[parameter % std::size(kNames)];
    case 5:
        return std::string(256 + parameter % 45, static_cast<char>('a' + parameter % 26));
    case 6:
        return std::string(200 + parameter % 56, static_cast<char>('a' + parameter % 26));
    case 7:
        return entry + "x";
    default:
        return entry;
    }
}

std::optional<StoredValue> Stored(uint8_t kind, std::string bytes)
{
    switch (kind % 8) {
    case 0:
        return std::nullopt;
    case 5:
        return StoredValue{REG_SZ, bytes};
    case 6:
        return StoredValue{REG_BINARY, bytes};
    case 7:
        return StoredValue{REG_EXPAND_SZ, bytes};
    default:
        return StoredValue{REG_MULTI_SZ, bytes};
    }
}

std::string Filter(uint8_t choice, const std::vector<std::string> &entries)
{
    if (choice < 128)
        return "PartMgr";
    if (choice < 200)
        return "Diskperf";
    if (choice < 232)
        return kFilters[choice % std::size(kFilters)];
    if (entries.empty())
        return "PartMgr";
    return entries[choice % entries.size()].substr(0, 40);
}

}  // namespace

std::vector<std::string> ScannedEntries(const std::string &bytes)
{
    std::vector<std::string> entries;
    size_t size = bytes.size();
    if (size < 2)
        return entries;
    size_t at = 0;
    do {
        size_t end = std::min(bytes.find('\0', at), size);
        entries.push_back(bytes.substr(at, end - at));
        at = end + 1;
    } while (at < size - 1);
    return entries;
}

std::vector<std::string> TableFillers()
{
    std::vector<std::string> names;
    for (int i = 0; i < SERVICE_TABLE_SIZE / 251 + 10; ++i) {
        char head[8];
        std::snprintf(head, sizeof head, "bulk%03d", i);
        names.push_back(head + std::string(243, 'p'));
    }
    return names;
}

Scenario Decode(const uint8_t *data, size_t size)
{
    Reader in(data, size);
    Scenario s;
    uint8_t valueKind = in.Byte();
    uint8_t machine = in.Byte();
    s.callsBeforeFailure = in.Byte();
    uint8_t filterChoice = in.Byte();
    size_t count = in.Byte() % (kDescriptorsMax + 1);
    std::vector<std::pair<uint8_t, uint8_t>> descriptors;
    for (size_t i = 0; i < count; ++i) {
        uint8_t kind = in.Byte();
        descriptors.emplace_back(kind, in.Byte());
    }
    s.stored = Stored(valueKind, in.Rest(kStoredMax));

    s.servicesKeyRefusesRead = machine & 1;
    s.writeFails = machine & 2;
    int enumeration = (machine >> 2) & 3;
    s.enumeration = enumeration == 1   ? Enumeration::FailsAtOnce
                    : enumeration == 2 ? Enumeration::FailsAfterCalls
                                       : Enumeration::Works;
    std::vector<std::string> entries;
    if (s.stored && s.stored->type == REG_MULTI_SZ)
        entries = ScannedEntries(s.stored->bytes);
    if (machine & 16) {
        for (const std::string &name : TableFillers())
            s.services.push_back({name, true, true});
    }
    if (machine & (32 | 64)) {
        for (const std::string &entry : entries)
            s.services.push_back({entry, (machine & 64) != 0});
    }
    for (const auto &[kind, parameter] : descriptors)
        s.services.push_back({ServiceName(kind, parameter, entries), (kind & 8) != 0});
    for (Service &service : s.services)
        service.name = KeyName(service.name);
    s.services.erase(std::remove_if(s.services.begin(), s.services.end(),
                                    [](const Service &service) { return service.name.empty(); }),
                     s.services.end());
    s.filter = Filter(filterChoice, entries);
    return s;
}

}  // namespace fuzz
