#include "fuzz/model.h"

#include "filters/servicetable.h"

namespace fuzz {
namespace {

std::string Upper(std::string text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// The enumeration announces a buffer of 256 characters, terminator included.
bool TooLongToEnumerate(const std::string &name)
{
    return name.size() >= 256;
}

bool IsKeyName(const std::string &name)
{
    return !name.empty() && name.size() <= 255 && name.find('\\') == std::string::npos;
}

}  // namespace

std::string Lowered(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

ServicesModel::ServicesModel(const Scenario &scenario)
    : servicesKeyRefusesRead_(scenario.servicesKeyRefusesRead)
{
    for (const Service &service : scenario.services) {
        size_t slash = service.name.find('\\');
        std::string head = service.name.substr(0, slash);
        auto [at, added] = keys_.emplace(Upper(head), SubKey{head, false});
        // For head\tail the refusal belongs to the deeper key.
        if (slash == std::string::npos && service.ownKeyRefusesRead)
            at->second.ownKeyRefusesRead = true;
        (void)added;
    }
}

bool ServicesModel::OwnKeyOpens(const std::string &name) const
{
    auto found = keys_.find(Upper(name));
    return found != keys_.end() && !found->second.ownKeyRefusesRead;
}

bool ServicesModel::Listed(const std::string &name, size_t failsAt) const
{
    if (servicesKeyRefusesRead_)
        return false;
    std::string wanted = Upper(name);
    size_t index = 0;
    for (const auto &[upper, key] : keys_) {
        if (index++ >= failsAt || TooLongToEnumerate(key.name))
            return false;
        if (upper == wanted)
            return true;
    }
    return false;
}

bool ServicesModel::Registered(const std::string &name, size_t failsAt) const
{
    return IsKeyName(name) && (OwnKeyOpens(name) || Listed(name, failsAt));
}

bool ServicesModel::FitsTable() const
{
    size_t used = 0;
    for (const auto &entry : keys_) {
        if (TooLongToEnumerate(entry.second.name))
            break;
        used += entry.second.name.size() + 1;
    }
    return used <= SERVICE_TABLE_SIZE;
}

bool EntryLooksSound(const std::string &entry, const std::string &filter)
{
    std::string lowered = Lowered(entry);
    return lowered.find('?') == std::string::npos &&
           lowered.find(Lowered(filter)) == std::string::npos && lowered.size() > 2;
}

std::string Rendered(const std::string &list)
{
    std::string text;
    for (size_t at = 0; at < list.size() && text.size() < 259; ++at) {
        char next = at + 1 < list.size() ? list[at + 1] : '\0';
        if (list[at] != '\0')
            text += list[at];
        else if (next != '\0')
            text += '|';
        else
            break;
    }
    return text;
}

std::string LogLine(const std::string &message)
{
    std::string line;
    for (char c : message) {
        if (c == '\n')
            line += '\r';
        line += c;
    }
    return line + "\r\n";
}

}  // namespace fuzz
