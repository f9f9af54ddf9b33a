// The build-tree paths the tests use. Only this file sees them as macros, so every other test
// file compiles the same in any checkout and stays in the compiler cache.
#include "TestPaths.h"

namespace pelcrow::test {

const char* TestWorkDir() { return PELCROW_TEST_WORK_DIR; }
const char* CliPath() { return PELCROW_CLI_PATH; }

}  // namespace pelcrow::test
