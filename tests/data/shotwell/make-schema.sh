#!/usr/bin/env bash
# Makes schema.sql, the tables of an empty Shotwell library, by starting the real Shotwell once
# headless with a throw-away data folder and dumping the photo.db it creates. The file is
# committed; run this again only after a Shotwell upgrade changes its tables.
# Needs: shotwell sqlite3 xvfb xauth dbus-daemon
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
pid=
cleanup() {
  # Shotwell, its D-Bus session and the X server: the whole process group started below.
  if [ -n "$pid" ]; then kill -- "-$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$tmp/home"
HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share" \
  setsid xvfb-run -a dbus-run-session -- shotwell -d "$tmp/data" --no-startup-progress >"$tmp/log" 2>&1 &
pid=$!
db="$tmp/data/data/photo.db"
for _ in $(seq 1 60); do
  if [ -f "$db" ] && sqlite3 -readonly "$db" "select count(*) from VersionTable" >/dev/null 2>&1; then break; fi
  sleep 1
done
sleep 2  # the last tables come right after the version row
version=$(sqlite3 -readonly "$db" "select app_version || ' (schema ' || schema_version || ')' from VersionTable")
{
  echo "-- The tables of an empty Shotwell $version library: written by make-schema.sh,"
  echo "-- which started the real Shotwell headless and dumped its photo.db."
  sqlite3 -readonly "$db" .dump
} > schema.sql
echo "schema.sql: Shotwell $version"
