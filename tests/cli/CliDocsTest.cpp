// The manual page, the completions and --version: made from the option table, so each must name
// what the parser takes and nothing it refuses.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/Cli.h"
#include "cli/CliOptions.h"

namespace pelcrow::cli {
namespace {

// The man page writes "-" as "\-".
std::string RoffName(const std::string& name) {
  std::string out;
  for (char c : name) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

TEST(CliDocsTest, VersionPrintsTheBuildsVersion) {
  std::ostringstream out, err;
  EXPECT_EQ(RunCli({"--version"}, out, err), 0);
  EXPECT_EQ(out.str(), std::string("pelcrow-cli ") + PELCROW_VERSION + "\n");
  EXPECT_EQ(err.str(), "");
  EXPECT_NE(UsageText().find("  --version\n      Shows the version.\n"), std::string::npos);
}

TEST(CliDocsTest, HelpKeepsItsCommandLayout) {
  const std::string help = UsageText();
  EXPECT_EQ(help.rfind("Usage: pelcrow-cli COMMAND [OPTIONS] ...\n\nCommands:\n  scan [OPTIONS] FOLDER...\n"
                       "      Finds duplicate files below the folders and prints the duplicate groups.\n",
                       0),
            0u);
  EXPECT_NE(help.find("       [--select RULE [--action ACTION ...]] FILE.dup\n"
                      "      Prints the duplicate groups of a list saved by scan --save (same formats), only the\n"),
            std::string::npos);
  EXPECT_NE(help.find("      Shows the version.\n\nScan options:\n"), std::string::npos);
}

TEST(CliDocsTest, ManualPageNamesEveryOption) {
  const std::string man = ManPage(PELCROW_VERSION);
  EXPECT_EQ(man.rfind(".TH PELCROW\\-CLI 1 \"\" \"Pelcrow " + RoffName(PELCROW_VERSION) + "\"", 0), 0u);
  for (TCommand command : {ccScan, ccLoad, ccUndo})
    for (const TOptionCompletion& o : CompletionOptions(command)) {
      // The scan switches are listed by their bare name under --[no-]OPTION; the options of load
      // and undo in their synopsis, as --help shows them.
      const std::string bare = o.Name.substr(o.Name.rfind("--no-", 0) == 0 ? 5 : 2);
      EXPECT_TRUE(man.find(RoffName(o.Name)) != std::string::npos ||
                  man.find("\\fB" + RoffName(bare) + "\\fR") != std::string::npos)
          << o.Name;
    }
  for (const std::string& c : CommandNames()) EXPECT_NE(man.find("\\fB" + RoffName(c) + "\\fR"), std::string::npos) << c;
  // No line may start with a dot or quote that roff would read as a request by mistake.
  std::istringstream lines(man);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || (line[0] != '.' && line[0] != '\'')) continue;
    EXPECT_TRUE(line.rfind(".TH ", 0) == 0 || line.rfind(".SH ", 0) == 0 || line == ".TP" || line == ".PP" ||
                line == ".RS" || line == ".nh" || line == ".RE" || line == ".br")
        << line;
  }
}

// Every option completion offers is one the parser takes, with a value it takes.
TEST(CliDocsTest, CompletionsOfferOnlyWhatTheParserTakes) {
  struct TCase {
    TCommand Command;
    const char* Option;
    TOptionCompletion::TValue Value;
  };
  const TCase cases[] = {
      {ccScan, "--mode", TOptionCompletion::cvChoice},      {ccScan, "--exclude", TOptionCompletion::cvFolder},
      {ccScan, "--save", TOptionCompletion::cvFile},        {ccScan, "--min-size", TOptionCompletion::cvText},
      {ccScan, "--max-size", TOptionCompletion::cvText},    {ccScan, "--no-skip-temp", TOptionCompletion::cvNone},
      {ccScan, "--action", TOptionCompletion::cvChoice},    {ccLoad, "--groups", TOptionCompletion::cvText},
      {ccUndo, "--list", TOptionCompletion::cvNone},        {ccUndo, "--action", TOptionCompletion::cvText},
      {ccUndo, "--sync", TOptionCompletion::cvChoice},      {ccMedialib, "--dry-run", TOptionCompletion::cvNone},
      {ccScan, "--ignore-list", TOptionCompletion::cvFile}, {ccScan, "--no-ignore-list", TOptionCompletion::cvNone},
      {ccScan, "--reference", TOptionCompletion::cvFolder},
  };
  for (const TCase& c : cases) {
    bool found = false;
    for (const TOptionCompletion& o : CompletionOptions(c.Command))
      if (o.Name == c.Option) {
        found = true;
        EXPECT_EQ(o.Value, c.Value) << c.Option;
      }
    EXPECT_TRUE(found) << c.Option;
  }
  for (TCommand command : {ccScan, ccLoad, ccUndo, ccMedialib})
    for (const TOptionCompletion& o : CompletionOptions(command)) {
      std::vector<std::vector<std::string>> tries;
      if (o.Value == TOptionCompletion::cvChoice)
        for (const std::string& choice : o.Choices) {
          // An action's second value (move DIR, rename TEXT).
          if (o.Name == "--action") tries.push_back({o.Name, choice, "TEXT"});
          else tries.push_back({o.Name, choice});
        }
      else if (o.Value == TOptionCompletion::cvNone)
        tries.push_back({o.Name});
      else
        tries.push_back({o.Name, o.Name == "--export"    ? "list.csv"
                                 : o.Name == "--groups"  ? "1-2"
                                 : o.Name == "--compare" ? "name,size"
                                 : o.Name == "--tags"    ? "title,year"
                                 : o.Name == "--similarity" ? "90"
                                                         : "10"});
      for (const std::vector<std::string>& args : tries) {
        TCliArgs parsed;
        std::string error;
        EXPECT_TRUE(ParseArgs(command, args, parsed, error)) << o.Name << " " << (args.size() > 1 ? args[1] : "")
                                                             << ": " << error;
      }
    }
}

}  // namespace
}  // namespace pelcrow::cli
