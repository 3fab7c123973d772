// Names on the mounted volume, found as Windows finds them: ignoring case.
#ifndef VEROLUND_HIVESEAM_VOLUME_H
#define VEROLUND_HIVESEAM_VOLUME_H

#include <string>
#include <string_view>

namespace hiveseam {

// The name of the entry of directory that equals name ignoring case, as it
// is spelt on disk: the exact spelling when there is one, else the first in
// sorted order. "" when there is none or the directory cannot be read.
std::string FindEntry(const std::string &directory, std::u16string_view name);

}  // namespace hiveseam

#endif
