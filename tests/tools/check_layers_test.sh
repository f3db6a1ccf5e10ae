#!/bin/bash
# The layer check on small made-up trees: a clean one passes, an upward
# include, a tool including the GUI and a circle of two modules each fail
# with their own line.
set -euo pipefail
CHECK=$1
T=$(mktemp -d "${VELLUM_TEST_TMP:-/tmp}/layers.XXXXXX")
trap 'rm -rf "$T"' EXIT
tree() {
  rm -rf "$T/src"; mkdir -p "$T"/{Encoder,libAPI,tools/x}
  mkdir -p "$T"/src/{platform,image,doc,ui}
  echo '#include "Low.h"' > "$T/src/image/High.cpp"; : > "$T/src/image/High.h"
  : > "$T/src/platform/Low.h"
}
expect() { # expect STATUS PATTERN
  set +e; out=$(bash "$CHECK" "$T" 2>&1); rc=$?; set -e
  if [ "$rc" != "$1" ] || ! grep -q -- "$2" <<<"$out"; then
    echo "expected status $1 and '$2', got $rc:"; echo "$out"; exit 1
  fi
}
tree; expect 0 '0 problems'
tree; echo '#include "High.h"' > "$T/src/platform/Low.cpp"; expect 1 'src/platform/Low.cpp:1: includes src/image/High.h, a layer above'
tree; : > "$T/src/ui/View.h"; echo '#include "View.h"' > "$T/tools/x/Tool.cpp"; expect 1 'tools include src/ui/View.h'
tree; echo '#include "B.h"' > "$T/src/doc/A.cpp"; : > "$T/src/doc/A.h"
echo '#include "A.h"' > "$T/src/doc/B.cpp"; : > "$T/src/doc/B.h"; expect 1 'module circle: src/doc/A <-> src/doc/B'
echo "check-layers test: 4 cases passed"
