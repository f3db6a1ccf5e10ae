#!/bin/bash
# Renders the PNG sizes of the icons from their SVG sources
# (res/icons/hicolor/scalable/*/*.svg) into res/icons/hicolor/NxN/. The PNGs
# are committed, so building and installing need no SVG renderer; run this
# after changing an SVG (needs rsvg-convert, Debian librsvg2-bin). The
# install test checks that the committed PNGs match their SVGs.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)/res/icons/hicolor
SIZES=(16 22 24 32 48 64 128 256)
for svg in "$ROOT"/scalable/*/*.svg; do
  context=$(basename "$(dirname "$svg")")
  name=$(basename "$svg" .svg)
  for n in "${SIZES[@]}"; do
    mkdir -p "$ROOT/${n}x${n}/$context"
    rsvg-convert -w "$n" -h "$n" "$svg" -o "$ROOT/${n}x${n}/$context/$name.png"
  done
done
