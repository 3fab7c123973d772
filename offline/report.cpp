#include "offline/report.h"

#include <algorithm>

#include "hiveseam/codepage.h"

namespace {

std::string Quoted(const std::string &ansi)
{
    return "\"" + hiveseam::AnsiToUtf8(ansi) + "\"";
}

// Every entry, the empty ones inside the list included; the zeros that end
// the list are no entries.
std::string Entries(const std::string &bytes)
{
    size_t used = bytes.find_last_not_of('\0');
    if (used == std::string::npos)
        return "(an empty list)";
    std::string shown;
    size_t at = 0;
    while (at <= used) {
        size_t end = std::min(bytes.find('\0', at), used + 1);
        shown += (at == 0 ? "" : " | ") + Quoted(bytes.substr(at, end - at));
        at = end + 1;
    }
    return shown;
}

}  // namespace

std::string DescribeList(const std::optional<hiveseam::Value> &value, bool classKeyExists)
{
    if (!classKeyExists)
        return "(no disk-drive class key)";
    if (!value)
        return "(no UpperFilters value)";
    std::string size = std::to_string(value->bytes.size()) + " bytes";
    if (value->type != REG_MULTI_SZ)
        return "(a value of type " + std::to_string(value->type) + ", " + size + ", not a list)";
    return Entries(value->bytes) + "   (REG_MULTI_SZ, " + size + ")";
}

std::string DescribeLog(const std::optional<std::string> &bytes)
{
    if (!bytes)
        return "    (no log is written: its folder is missing)\n";
    std::string shown;
    size_t at = 0;
    while (at < bytes->size()) {
        size_t end = bytes->find("\r\n", at);
        if (end == std::string::npos)
            end = bytes->size();
        shown += "    " + hiveseam::AnsiToUtf8(bytes->substr(at, end - at)) + "\n";
        at = end + 2;
    }
    return shown;
}
