#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need; does nothing when all are present.
# Usage: install-deps.sh [build|bench|package]
set -euo pipefail
pkgs=(cmake ninja-build g++ ccache pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-svg-dev qt6-charts-dev libqt6opengl6-dev qt6-pdf-dev libgl1-mesa-dev libxkbcommon-dev
      googletest libgtest-dev libbenchmark-dev libxxhash-dev zlib1g-dev
      clang libclang-rt-14-dev trash-cli e2fsprogs libtag1-dev python3 desktop-file-utils
      mpd mpc rhythmbox xvfb xauth dbus-daemon tumbler
      appstream libxml2-utils shared-mime-info libglib2.0-bin man-db bsdextrautils dpkg-dev file
      mblaze khard vdirsyncer python3-vobject shotwell sqlite3 openssl qt6-translations-l10n
      btrfs-progs xfsprogs)
if [ "${1:-build}" = package ]; then
  pkgs+=(lintian)
fi
if [ "${1:-build}" = bench ]; then
  pkgs+=(jdupes rdfind rmlint fdupes duff hyperfine python3 time)
fi
missing=()
for p in "${pkgs[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
