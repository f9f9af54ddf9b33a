#pragma once

namespace pelcrow::test {

// A folder inside the build tree for the tests' files (default scans skip the temporary folder).
const char* TestWorkDir();
// The pelcrow-cli program of this build.
const char* CliPath();

}  // namespace pelcrow::test
