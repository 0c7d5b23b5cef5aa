#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG. Run after changing
# data/icons/org.kelvane.Kelvane.svg and commit the PNGs it writes (the build
# does not need the SVG renderer). Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
svg=org.kelvane.Kelvane.svg
for size in 48 128 256; do
  mkdir -p "$size"
  rsvg-convert --width "$size" --height "$size" --format png --output "$size/org.kelvane.Kelvane.png" "$svg"
  echo "data/icons/$size/org.kelvane.Kelvane.png"
done
