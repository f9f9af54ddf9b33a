// pelcrow-cli: the headless front end to the engine.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "export/PathListing.h"

namespace pelcrow::cli {

// Exit codes: 0 success (groups found, every action done), 1 no duplicates or a file failed,
// 2 bad arguments, 3 an --action left selected files unprocessed.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// JSON string literal for bytes that may not be valid UTF-8 (the listings write it).
using pelcrow::JsonString;

}  // namespace pelcrow::cli
