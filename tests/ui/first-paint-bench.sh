#!/bin/bash
# Start-to-first-paint of the whole program on a 300-dpi DjVu page, warm:
# the program prints the time from its start to the first paint and quits.
# Usage: first-paint-bench.sh BUILD_DIR [page.djvu] (starts xvfb-run itself
# when there is no display)
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
PAGE=${2:-${VELLUM_CORPUS:-$(cd "$(dirname "$0")/../corpus" && pwd)}/djvu/compound-flower-fg44-bg44.djvu}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$BUILD" "$PAGE"
fi
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
export HOME=$TMP XDG_CONFIG_HOME=$TMP/config XDG_CACHE_HOME=$TMP/cache XDG_DATA_HOME=$TMP/data
for i in 1 2 3 4 5 6; do
  VELLUM_BENCH_FIRST_PAINT=1 "$BUILD/src/ui/vellum" "$PAGE"
done
