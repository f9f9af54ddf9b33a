// The build-tree paths the tests use. Only this file sees them as macros, so every other test
// file compiles the same in any checkout and stays in the compiler cache.
#include "TestPaths.h"

#include <stdlib.h>

#include <string>

namespace pelcrow::test {

const char* TestWorkDir() { return PELCROW_TEST_WORK_DIR; }
const char* CliPath() { return PELCROW_CLI_PATH; }

namespace {

// Processing in a test (and in the programs it starts) writes its action journal here, never
// into the journal of the user who runs the tests.
const bool kOwnStateHome = [] {
  const std::string state = std::string(PELCROW_TEST_WORK_DIR) + "/state";
  return ::setenv("XDG_STATE_HOME", state.c_str(), 1) == 0;
}();

// Nor its checksum cache.
const bool kOwnCacheHome = [] {
  const std::string cache = std::string(PELCROW_TEST_WORK_DIR) + "/cache";
  return ::setenv("XDG_CACHE_HOME", cache.c_str(), 1) == 0;
}();

}  // namespace

}  // namespace pelcrow::test
