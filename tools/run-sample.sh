#!/bin/bash
# Opens the viewer on a sample page; without a display, converts one headlessly.
set -euo pipefail
BUILD=${1:-build}
CORPUS=${VELLUM_CORPUS:-$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus}
SAMPLE="$CORPUS/djvu/compound-flower-fg44-bg44.djvu"
if [ -n "${DISPLAY:-}" ] && [ -x "$BUILD/src/ui/vellum" ]; then
  exec "$BUILD/src/ui/vellum" "$SAMPLE"
fi
OUT=${VELLUM_RUN_OUT:-$(mktemp -d)}
if [ -x "$BUILD/tools/vellum-convert" ]; then
  [ -n "${DISPLAY:-}" ] || echo "No display: converting a sample page instead of opening the viewer."
  "$BUILD/tools/vellum-convert" -f "$SAMPLE" -o "$OUT/sample.bmp"
  echo "Wrote $OUT/sample.bmp"
else
  echo "The viewer and the converter are not built yet; the libraries and tests are (make test)."
fi
