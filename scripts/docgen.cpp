// Writes the manual pages and the shell completions at build time from the command line's
// option table, so that none of them can list an option the parser does not take.
// Usage: pelcrow-docgen man-cli|man-app|bash|zsh|fish
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"

using namespace pelcrow::cli;

namespace {

struct TCommandOptions {
  const char* Name;
  TCommand Command;
};
constexpr TCommandOptions kCommandsWithOptions[] = {{"scan", ccScan}, {"load", ccLoad}, {"undo", ccUndo}, {"medialib", ccMedialib}};

std::string Join(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

std::string Names(TCommand command) {
  std::vector<std::string> names;
  for (const TOptionCompletion& o : CompletionOptions(command)) names.push_back(o.Name);
  return Join(names);
}

// Single-quoted for the shells; help texts hold no single quote, but stay safe if one comes.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Bash() {
  std::string out =
      "# bash completion for pelcrow-cli (generated from its option table)\n"
      "_pelcrow_cli() {\n"
      "  local cur prev cmd\n"
      "  cur=\"${COMP_WORDS[COMP_CWORD]}\"\n"
      "  prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
      "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
      "    COMPREPLY=($(compgen -W " + Quoted(Join(CommandNames())) + " -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  cmd=\"${COMP_WORDS[1]}\"\n"
      "  case \"$cmd $prev\" in\n";
  for (const TCommandOptions& c : kCommandsWithOptions)
    for (const TOptionCompletion& o : CompletionOptions(c.Command)) {
      const std::string pattern = std::string("    \"") + c.Name + " " + o.Name + "\") ";
      switch (o.Value) {
        case TOptionCompletion::cvChoice:
          out += pattern + "COMPREPLY=($(compgen -W " + Quoted(Join(o.Choices)) + " -- \"$cur\")); return ;;\n";
          break;
        case TOptionCompletion::cvFolder: out += pattern + "COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n"; break;
        case TOptionCompletion::cvFile: out += pattern + "COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"; break;
        case TOptionCompletion::cvText: out += pattern + "COMPREPLY=(); return ;;\n"; break;
        case TOptionCompletion::cvNone: break;
      }
    }
  out += "  esac\n  case \"$cmd\" in\n";
  for (const TCommandOptions& c : kCommandsWithOptions) {
    out += std::string("    ") + c.Name + ")\n";
    out += "      if [[ \"$cur\" == -* ]]; then\n";
    out += "        COMPREPLY=($(compgen -W " + Quoted(Names(c.Command)) + " -- \"$cur\"))\n";
    if (c.Command == ccScan) out += "      else\n        COMPREPLY=($(compgen -d -- \"$cur\"))\n";
    if (c.Command == ccLoad) out += "      else\n        COMPREPLY=($(compgen -f -X '!*.dup' -- \"$cur\") $(compgen -d -- \"$cur\"))\n";
    out += "      fi ;;\n";
  }
  out += "    crc32) COMPREPLY=($(compgen -f -- \"$cur\")) ;;\n  esac\n}\n";
  out += "complete -o filenames -F _pelcrow_cli pelcrow-cli\n";
  return out;
}

// zsh's _arguments spec: help in brackets, ":" then the value's completer.
std::string ZshSpec(const TOptionCompletion& o) {
  std::string help = o.Help;
  for (char& c : help)
    if (c == '[' || c == ']' || c == ':') c = ' ';
  std::string spec = o.Name + "[" + help + "]";
  switch (o.Value) {
    case TOptionCompletion::cvChoice: spec += ":value:(" + Join(o.Choices) + ")"; break;
    case TOptionCompletion::cvFolder: spec += ":folder:_files -/"; break;
    case TOptionCompletion::cvFile: spec += ":file:_files"; break;
    case TOptionCompletion::cvText: spec += ":value: "; break;
    case TOptionCompletion::cvNone: break;
  }
  return Quoted(spec);
}

std::string Zsh() {
  std::string out =
      "#compdef pelcrow-cli\n"
      "# zsh completion for pelcrow-cli (generated from its option table)\n"
      "_pelcrow_cli() {\n"
      "  if (( CURRENT == 2 )); then\n"
      "    compadd -- " + Join(CommandNames()) + "\n"
      "    return\n"
      "  fi\n"
      "  local cmd=$words[2]\n"
      "  shift words; (( CURRENT-- ))\n"
      "  case $cmd in\n";
  for (const TCommandOptions& c : kCommandsWithOptions) {
    out += std::string("    ") + c.Name + ")\n      _arguments -s";
    // --action (and --exclude, --master) may be given more than once: "*" lets them repeat.
    for (const TOptionCompletion& o : CompletionOptions(c.Command)) out += " \\\n        '*'" + ZshSpec(o);
    if (c.Command == ccScan) out += " \\\n        '*:folder:_files -/'";
    if (c.Command == ccLoad) out += " \\\n        '*:list file:_files -g \"*.dup\"'";
    out += " ;;\n";
  }
  out += "    crc32) _files ;;\n  esac\n}\n_pelcrow_cli \"$@\"\n";
  return out;
}

std::string Fish() {
  std::string out =
      "# fish completion for pelcrow-cli (generated from its option table)\n"
      "complete -c pelcrow-cli -f\n"
      "complete -c pelcrow-cli -n __fish_use_subcommand -a " + Quoted(Join(CommandNames())) + "\n";
  for (const TCommandOptions& c : kCommandsWithOptions) {
    const std::string when = std::string(" -n '__fish_seen_subcommand_from ") + c.Name + "'";
    for (const TOptionCompletion& o : CompletionOptions(c.Command)) {
      out += "complete -c pelcrow-cli" + when + " -l " + o.Name.substr(2);
      if (!o.Help.empty()) out += " -d " + Quoted(o.Help);
      switch (o.Value) {
        case TOptionCompletion::cvChoice: out += " -x -a " + Quoted(Join(o.Choices)); break;
        case TOptionCompletion::cvFolder: out += " -x -a '(__fish_complete_directories)'"; break;
        case TOptionCompletion::cvFile: out += " -r -F"; break;
        case TOptionCompletion::cvText: out += " -x"; break;
        case TOptionCompletion::cvNone: break;
      }
      out += "\n";
    }
  }
  out += "complete -c pelcrow-cli -n '__fish_seen_subcommand_from scan' -a '(__fish_complete_directories)'\n";
  out += "complete -c pelcrow-cli -n '__fish_seen_subcommand_from load crc32' -F\n";
  return out;
}

std::string AppManPage() {
  return ".TH PELCROW 1 \"\" \"Pelcrow " PELCROW_VERSION "\" \"User Commands\"\n.nh\n"
         ".SH NAME\npelcrow \\- find and remove duplicate files\n"
         ".SH SYNOPSIS\n\\fBpelcrow\\fR [\\fIFOLDER\\fR|\\fIFILE.dup\\fR]...\n"
         ".SH DESCRIPTION\n"
         "Pelcrow finds duplicate files in the folders you include and helps you get rid of them. It\n"
         "compares by CRC32 checksum plus size (confirmed by a 128\\-bit content hash), byte by byte, by\n"
         "file name, or by music tags, shows the results as numbered duplicate groups, and selects,\n"
         "moves, renames, links or deletes the copies you do not need; every action can be undone.\n"
         ".PP\n"
         "Each \\fIFOLDER\\fR given is added to the folders to scan; a duplicate list \\fIFILE.dup\\fR\n"
         "(saved by the program or by \\fBpelcrow\\-cli scan \\-\\-save\\fR) is loaded. When Pelcrow\n"
         "is already running, the folders are handed over to the running window.\n"
         ".PP\n"
         "The usual Qt options (such as \\fB\\-platform\\fR and \\fB\\-style\\fR) are accepted.\n"
         ".SH FILES\n"
         ".TP\n\\fI$XDG_STATE_HOME/pelcrow/journal/\\fR\nthe action journal that undo reads\n"
         ".SH SEE ALSO\n\\fBpelcrow\\-cli\\fR(1)\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc == 2 ? argv[1] : "";
  if (what == "man-cli") std::cout << ManPage(PELCROW_VERSION);
  else if (what == "man-app") std::cout << AppManPage();
  else if (what == "bash") std::cout << Bash();
  else if (what == "zsh") std::cout << Zsh();
  else if (what == "fish") std::cout << Fish();
  else {
    std::cerr << "usage: pelcrow-docgen man-cli|man-app|bash|zsh|fish\n";
    return 2;
  }
  return 0;
}
