#!/bin/bash
# Opens the viewer on a sample page; without a display, converts one headlessly.
set -euo pipefail
BUILD=${1:-build}
SAMPLES=$(cd "$(dirname "$0")/../res/samples" && pwd)
SAMPLE="$SAMPLES/compound-flower-fg44-bg44.djvu"
if [ -n "${DISPLAY:-}" ] && [ -x "$BUILD/src/ui/vellum" ]; then
  exec "$BUILD/src/ui/vellum" "$SAMPLE"
fi
OUT=${VELLUM_RUN_OUT:-$(mktemp -d)}
CONVERT="$BUILD/tools/vellum-convert/vellum-convert"
if [ -f "$CONVERT" ] && [ -x "$CONVERT" ]; then
  [ -n "${DISPLAY:-}" ] || echo "No display: converting a sample scan to a compound DjVu page instead of opening the viewer."
  SCAN="$SAMPLES/composed-article-scan-q80.jpg"
  "$CONVERT" -f "$SCAN" -o "$OUT/sample.djvu"
  "$CONVERT" -f "$SAMPLE" -o "$OUT/sample.bmp"
  echo "Wrote $OUT/sample.djvu ($(stat -c %s "$OUT/sample.djvu") bytes, from $(basename "$SCAN"))"
  echo "Wrote $OUT/sample.bmp ($(stat -c %s "$OUT/sample.bmp") bytes, from $(basename "$SAMPLE"))"
else
  echo "The converter is not built: run make test or cmake --build $BUILD." >&2
  exit 1
fi
