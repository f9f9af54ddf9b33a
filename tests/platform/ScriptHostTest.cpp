#include <gtest/gtest.h>

#include <cerrno>

#include "TestUtil.h"
#include "platform/ScriptHost.h"

namespace pelcrow::platform {
namespace {

// Arguments reach the script as they are (no shell reads them), the environment is handed over,
// the exit status is a failure, and a name never leaves the folder.
TEST(ScriptHost, RunsNamedScriptsWithTheirArgumentsAndEnvironment) {
  test::TTempDir dir;
  dir.Write("scripts/echo.txt", "printf '%s|' \"$@\"; printf '%s\\n' \"$PELCROW_TEST_VALUE\"\n");
  dir.Write("scripts/fail.txt", "echo partial; exit 3\n");
  dir.Write("outside.txt", "echo escaped\n");
  const TScriptHost host(dir / "scripts/", {{"PELCROW_TEST_VALUE", "a b'c"}});
  std::string out;
  EXPECT_EQ(host.Run("echo", {"one two", "$(touch x)", "'q\"", ""}, out), 0);
  EXPECT_EQ(out, "one two|$(touch x)|'q\"||a b'c\n");
  EXPECT_EQ(host.Run("fail", {}, out), 1003);
  EXPECT_EQ(out, "partial\n");
  EXPECT_EQ(ScriptErrorText("fail", 1003), "cannot run script fail: it failed with exit status 3");
  for (const char* name : {"missing", "../outside", ".hidden", ""}) {
    EXPECT_EQ(host.Run(name, {}, out), ENOENT) << name;
    EXPECT_EQ(out, "");
  }
}

}  // namespace
}  // namespace pelcrow::platform
