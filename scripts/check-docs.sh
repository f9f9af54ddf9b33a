#!/usr/bin/env bash
# The manual pages and completions the build generated: the roff is clean, the scripts parse, and
# every option --help names is in the manual page and offered by the completions.
# Usage: check-docs.sh PELCROW_CLI GENERATED_DIR
set -euo pipefail
cli=$1 gen=$2
fail=0
for page in "$gen/pelcrow-cli.1" "$gen/pelcrow.1"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=all -l -Tutf8 "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || { echo "$page: $warnings" >&2; fail=1; }
done
manual=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$gen/pelcrow-cli.1" 2>/dev/null | col -b)
bash -n "$gen/pelcrow-cli.bash"
if command -v zsh > /dev/null; then zsh -n "$gen/_pelcrow-cli"; fi
if command -v fish > /dev/null; then fish -n "$gen/pelcrow-cli.fish"; fi
# The options --help names ("--[no-]OPTION" stands for the switches listed below it).
options=$("$cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
switches=$("$cli" --help | sed -n '/--\[no-\]OPTION/,/^Exit status/p' | sed -n 's/^      \([a-z][a-z-]*\) .*/\1/p')
for s in $switches; do options+=$'\n'"--$s"$'\n'"--no-$s"; done
for o in $options; do
  case $o in --no-*) in_manual=${o#--no-} ;; *) in_manual=${o#--} ;; esac
  grep -q -- "$in_manual" <<< "$manual" || { echo "manual page lacks $o" >&2; fail=1; }
  case $o in --help|--version) continue ;; esac
  for c in "$gen/pelcrow-cli.bash" "$gen/_pelcrow-cli"; do
    grep -q -- "$o\b" "$c" || { echo "$(basename "$c") lacks $o" >&2; fail=1; }
  done
  grep -q -- "-l ${o#--}\b" "$gen/pelcrow-cli.fish" || { echo "fish completion lacks $o" >&2; fail=1; }
done
[ "$(grep -c . <<< "$options")" -gt 20 ] || { echo "too few options read from --help" >&2; fail=1; }
[ $fail = 0 ] && echo "docs ok: $(grep -c . <<< "$options") options"
exit $fail
