#!/usr/bin/env bash
# Fails when any source outside src/ui includes a Qt header: the core and the CLI stay toolkit-free.
set -u
src=${1:?source dir}
hits=$(grep -rn -E '^\s*#\s*include\s*[<"](Q[A-Za-z]+|Qt[A-Za-z]+/)' "$src" --include='*.h' --include='*.cpp' | grep -v "^$src/ui/" || true)
if [ -n "$hits" ]; then
  echo "Qt headers outside src/ui:"; echo "$hits"; exit 1
fi
echo "core is Qt-free"
