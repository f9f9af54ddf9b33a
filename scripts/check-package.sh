#!/usr/bin/env bash
# The Debian package: lintian finds no error, and the programs run from the unpacked package.
# Usage: check-package.sh BUILD_DIR
set -euo pipefail
build=$1
deb=$(ls -t "$build"/package/pelcrow_*.deb | head -1)
echo "== $deb"
dpkg-deb -f "$deb" Package Version Architecture Depends
echo "== lintian"
# lintian exits non-zero on errors only (with this --fail-on); warnings are shown.
lintian --fail-on error --info --display-info "$deb"
echo "== unpacked"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/pelcrow-cli" --version
mkdir -p "$root/work"
echo same > "$root/work/1.txt"
echo same > "$root/work/2.txt"
out=$("$root/usr/bin/pelcrow-cli" scan --no-skip-temp "$root/work")
printf '%s\n' "$out"
[ "$(printf '%s\n' "$out" | grep -c '\.txt$')" = 2 ]
echo "package ok"
