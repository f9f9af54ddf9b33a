// The one CSV quoter of every CSV this program writes.
#pragma once

#include <string>
#include <string_view>

namespace pelcrow {

// Text as one CSV field: in double quotes with each quote doubled. Always quotes every field;
// otherwise only a field holding the separator, a quote or a line break is quoted.
std::string CsvField(std::string_view Text, std::string_view Separator, bool Always);

}  // namespace pelcrow
