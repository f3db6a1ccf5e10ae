#!/bin/bash
# Runs the CTest suite of a build folder; GUI tests get a virtual display.
set -euo pipefail
BUILD=${1:-build}; shift || true
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$BUILD" --output-on-failure -j2 "$@"
fi
exec ctest --test-dir "$BUILD" --output-on-failure -j2 "$@"
