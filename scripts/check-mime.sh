#!/usr/bin/env bash
# The .dup type definition is well-formed and shared-mime-info takes it: a throw-away MIME
# database built from it alone knows the glob and the magic.
set -euo pipefail
xml=$1
xmllint --noout "$xml"
db=$(mktemp -d)
trap 'rm -rf "$db"' EXIT
mkdir -p "$db/packages"
cp "$xml" "$db/packages/"
# (It warns that the folder is not in XDG_DATA_DIRS: so it is meant.)
XDG_DATA_DIRS="$(dirname "$db")" XDG_DATA_HOME="$(dirname "$db")" update-mime-database "$db"
grep -qx '50:application/x-pelcrow-dup:\*\.dup' "$db/globs2"
grep -q 'application/x-pelcrow-dup' "$db/magic"
echo "mime ok"
