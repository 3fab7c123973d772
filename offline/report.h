// What verolund-offline shows on the terminal, in UTF-8.
#ifndef VEROLUND_OFFLINE_REPORT_H
#define VEROLUND_OFFLINE_REPORT_H

#include <optional>
#include <string>

#include "hiveseam/hiveseam.h"

// The disk-drive class key's UpperFilters value for a person: its entries
// joined by " | ", or what it is when it is no list.
std::string DescribeList(const std::optional<hiveseam::Value> &value, bool classKeyExists);

// The run log's lines, as the run would write them, each with an indent.
std::string DescribeLog(const std::optional<std::string> &bytes);

#endif
