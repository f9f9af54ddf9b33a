#!/usr/bin/env bash
# Builds the Debian package of a build tree into a throw-away folder and runs pelcrow-cli from the
# unpacked package (lintian is left to `make package-check`).
# Usage: test-package.sh BUILD_DIR
set -euo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$1/CPackConfig.cmake" -B "$out" > "$out/cpack.log" || { cat "$out/cpack.log" >&2; exit 1; }
"$(dirname "$0")/check-package.sh" --no-lintian "$out"
