#!/usr/bin/env bash
# Installs the build into a throw-away prefix and checks that exactly the expected files land
# there and that the installed programs run from it.
# Usage: check-install.sh BUILD_DIR EXPECTED_LIST
set -euo pipefail
build=$1 expected=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cmake --install "$build" --prefix "$root/usr" > /dev/null
# The app is optional in the build (PELCROW_BUILD_APP=OFF): compare only what was built.
filter=cat
[ -x "$build/pelcrow" ] || filter="grep -vx usr/bin/pelcrow"
if ! diff -u <($filter "$expected" | sort) <(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort); then
  echo "the installed files differ from $expected (- expected, + installed)" >&2
  exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$("$root/usr/bin/pelcrow-cli" --version)" = "pelcrow-cli $version" ]
# Two equal files found by the installed program.
mkdir -p "$root/work/a"
echo same > "$root/work/a/1.txt"
echo same > "$root/work/a/2.txt"
out=$("$root/usr/bin/pelcrow-cli" scan --no-skip-temp "$root/work")
[ "$(printf '%s\n' "$out" | grep -c '\.txt$')" = 2 ] || { echo "installed scan found: $out" >&2; exit 1; }
desktop-file-validate "$root/usr/share/applications/org.pelcrow.Pelcrow.desktop"
gzip -t "$root"/usr/share/man/man1/*.gz
echo "install ok: $(wc -l < "$expected") files"
