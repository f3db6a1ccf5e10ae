#!/bin/bash
# Fails when a product or test source differs from what clang-format makes
# of it under the committed .clang-format (nothing is rewritten).
#   usage: tools/check-format.sh [SOURCE_DIR]
set -euo pipefail
ROOT=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$ROOT"
FORMAT=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$FORMAT" ]; then
  echo "check-format: clang-format not found (Debian package clang-format-14)" >&2
  exit 2
fi
# The tracked sources; every source below the folders outside a checkout.
list_sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -- Encoder libAPI src tools tests bench
  else
    find Encoder libAPI src tools tests bench -type f
  fi
}
mapfile -t files < <(list_sources | grep -E '\.(c|cc|cpp|h|hpp)$' | grep -v '^tests/corpus/')
"$FORMAT" --dry-run -Werror "${files[@]}"
echo "check-format: ${#files[@]} files formatted"
