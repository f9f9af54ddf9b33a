#!/usr/bin/env bash
# Fails when any source outside src/ui includes a Qt header: the core stays toolkit-free. The one
# exception is src/pictures, the picture decoder of the similar-pictures mode, until it has a
# decoder of its own.
set -u
src=${1:?source dir}
hits=$(grep -rn -E '^\s*#\s*include\s*[<"](Q[A-Za-z]+|Qt[A-Za-z]+/)' "$src" --include='*.h' --include='*.cpp' | grep -v -e "^$src/ui/" -e "^$src/pictures/" || true)
if [ -n "$hits" ]; then
  echo "Qt headers outside src/ui:"; echo "$hits"; exit 1
fi
echo "core is Qt-free"
