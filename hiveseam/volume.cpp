#include "hiveseam/volume.h"

#include <dirent.h>

#include <cstring>

#include "hiveseam/codepage.h"

namespace hiveseam {

// Names on the volume are taken as UTF-8, as ntfs-3g shows NTFS names.
std::string FindEntry(const std::string &directory, std::u16string_view name)
{
    DIR *listing = opendir(directory.c_str());
    if (listing == nullptr)
        return "";
    std::string found;
    while (const dirent *entry = readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        std::u16string spelt = Utf8ToUtf16(entry->d_name);
        if (spelt == name) {
            found = entry->d_name;
            break;
        }
        if (CompareNamesIgnoringCase(spelt, name) == 0 && (found.empty() || entry->d_name < found))
            found = entry->d_name;
    }
    closedir(listing);
    return found;
}

}  // namespace hiveseam
