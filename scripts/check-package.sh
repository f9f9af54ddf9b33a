#!/usr/bin/env bash
# The Debian package: lintian finds no error, and the programs run from the unpacked package.
# Usage: check-package.sh [--no-lintian] PACKAGE_DIR (the newest pelcrow_*.deb in it)
set -euo pipefail
lint=1
[ "$1" = --no-lintian ] && { lint=0; shift; }
deb=$(ls -t "$1"/pelcrow_*.deb | head -1)
echo "== $deb"
dpkg-deb -f "$deb" Package Version Architecture Depends
if [ $lint = 1 ]; then
  echo "== lintian"
  # Only errors fail; warnings and notes are shown.
  lintian --fail-on error --display-info "$deb"
fi
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
