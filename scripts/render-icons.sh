#!/usr/bin/env bash
# Renders the program icon's PNG sizes from its SVG (the PNGs are committed; run after editing it).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for s in 16 24 32 48 64 128 256 512; do
  rsvg-convert -w "$s" -h "$s" org.pelcrow.Pelcrow.svg -o "hicolor/$s.png"
done
