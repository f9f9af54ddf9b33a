// pelcrow-cli: the headless front end to the engine.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pelcrow::cli {

// Exit codes: 0 success (groups found, every action done), 1 no duplicates or a file failed,
// 2 bad arguments, 3 an --action left selected files unprocessed.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// JSON string literal for bytes that may not be valid UTF-8: invalid bytes become lone
// surrogates \udc80..\udcff (what Python's "surrogateescape" reads back as the same bytes).
std::string JsonString(std::string_view bytes);

}  // namespace pelcrow::cli
