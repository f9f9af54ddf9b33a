#!/usr/bin/env bash
# The .dup type definition is well-formed, shared-mime-info takes it, and a database built from it
# names a list by its .dup name and, without one, by its first line (with or without a BOM).
set -euo pipefail
xml=$1
xmllint --noout "$xml"
d=$(mktemp -d)
trap 'rm -rf "$d"' EXIT
mkdir -p "$d/mime/packages"
cp "$xml" "$d/mime/packages/"
XDG_DATA_DIRS=$d update-mime-database "$d/mime"
grep -qx '50:application/x-pelcrow-dup:\*\.dup' "$d/mime/globs2"
printf '\357\273\277[Version 1]\nname[,]/a\n' > "$d/with-bom"
printf '[Version 1]\nname[,]/a\n' > "$d/without-bom"
printf 'just text\n' > "$d/list.dup"
printf 'just text\n' > "$d/other"
for f in with-bom:application/x-pelcrow-dup without-bom:application/x-pelcrow-dup \
         list.dup:application/x-pelcrow-dup other:text/plain; do
  type=$(XDG_DATA_HOME=$d XDG_DATA_DIRS=/usr/share gio info -a standard::content-type "$d/${f%%:*}" |
         sed -n 's/.*standard::content-type: //p')
  [ "$type" = "${f#*:}" ] || { echo "${f%%:*}: $type, not ${f#*:}" >&2; exit 1; }
done
echo "mime ok"
