#!/bin/bash
# Books: vellum-convert against minidjvu (shared dictionaries, lossy and
# lossless) and per-page cjb2 -lossy bundled with djvm -c, side by side in
# one run, on two page sets:
#   scans  the bitonal scans of the corpus, as PBM
#   book   12 consecutive text pages of the DjVuLibre library manual
#          (libdjvulibre-dev's djvulibre-book-en.djvu), rendered to PBM
# Reported: document size, fidelity (pixels changed against the input
# pages, from ddjvu renderings), wall time of vellum-convert with -j1 and
# -j2, and its peak memory (largest process: one page is encoded per worker).
#
# Usage: bench/book_bench.sh [BUILD_DIR]   (needs minidjvu, djvulibre-bin,
# netpbm, libtiff-tools, python3)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
CONVERT=$BUILD/tools/vellum-convert/vellum-convert
CORPUS=$ROOT/tests/corpus
MANUAL=/usr/share/doc/libdjvulibre-dev/djvulibre-book-en.djvu
for tool in minidjvu cjb2 djvm ddjvu tifftopnm python3 "$CONVERT"; do
  command -v "$tool" >/dev/null || { echo "book_bench: $tool is missing" >&2; exit 1; }
done
[ -f "$MANUAL" ] || { echo "book_bench: $MANUAL is missing (libdjvulibre-dev)" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export HOME=$WORK/home # the default settings, not the user's
mkdir -p "$HOME" "$WORK/scans" "$WORK/book"

# Page sets.
n=0
for f in page/text-bitonal-400dpi.tif page/form-scan-bitonal-200dpi.tif tiff/form-fax-g4-300dpi.tif \
  tiff/drawing-bitonal-lzw-400dpi.tif tiff/text-bitonal-packbits-300dpi.tif page/text-diagram-bitonal-300dpi.tif \
  pnm/text-bitonal-300dpi.pbm; do
  n=$((n + 1))
  out=$WORK/scans/$(printf 'p%02d' $n).pbm
  case $f in
  *.pbm) cp "$CORPUS/$f" "$out" ;;
  *) tifftopnm "$CORPUS/$f" 2>/dev/null >"$out" ;;
  esac
done
for p in $(seq 10 21); do
  ddjvu -format=pbm -page=$p "$MANUAL" "$WORK/book/$(printf 'p%02d' $p).pbm"
done

cat >"$WORK/changed.py" <<'EOF'
import sys
# Pixels that differ between two P4 files of the same size.
def load(path):
    d = open(path, 'rb').read()
    fields, i = [], 2
    while len(fields) < 2:
        while d[i:i + 1].isspace():
            i += 1
        if d[i:i + 1] == b'#':
            i = d.index(b'\n', i)
            continue
        j = i
        while not d[j:j + 1].isspace():
            j += 1
        fields.append(int(d[i:j]))
        i = j
    return fields[0], fields[1], d[i + 1:]
wa, ha, a = load(sys.argv[1])
wb, hb, b = load(sys.argv[2])
if (wa, ha) != (wb, hb):
    print(-1)
else:
    print((int.from_bytes(a, 'big') ^ int.from_bytes(b, 'big')).bit_count())
EOF

# Pixels changed in a document against the set's pages, summed.
changed() {
  local doc=$1 set=$2 k=0 total=0
  for page in "$WORK/$set"/*.pbm; do
    k=$((k + 1))
    ddjvu -format=pbm -page=$k "$doc" "$WORK/render.pbm"
    c=$(python3 "$WORK/changed.py" "$page" "$WORK/render.pbm")
    [ "$c" -lt 0 ] && { echo "size differs"; return; }
    total=$((total + c))
  done
  echo $total
}

# Wall seconds and peak resident KB of a command.
timed() {
  /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" >/dev/null 2>&1
  cat "$WORK/time"
}

row() { printf '%-7s %-34s %10s %12s %8s %9s\n' "$@"; }

for set in book scans; do
  pages=("$WORK/$set"/*.pbm)
  pixels=0
  for p in "${pages[@]}"; do
    read -r w h < <(head -c 64 "$p" | sed -n 2p)
    pixels=$((pixels + w * h))
  done
  echo
  echo "$set: ${#pages[@]} pages, $pixels pixels"
  row set method bytes changed-px time-s peak-KB
  for mode in lossy lossless; do
    flag=""
    [ $mode = lossless ] && flag=--lossless
    read -r t1 m1 < <(timed "$CONVERT" -q -f -j1 $flag "${pages[@]}" -o "$WORK/v1.djvu")
    read -r t2 m2 < <(timed "$CONVERT" -q -f -j2 $flag "${pages[@]}" -o "$WORK/v2.djvu")
    cmp -s "$WORK/v1.djvu" "$WORK/v2.djvu" || echo "book_bench: -j1 and -j2 differ!" >&2
    row $set "vellum $mode -j1" $(stat -c %s "$WORK/v1.djvu") $(changed "$WORK/v1.djvu" $set) $t1 $m1
    row $set "vellum $mode -j2" $(stat -c %s "$WORK/v2.djvu") - $t2 $m2
    echo "        -j2/-j1 time: $(python3 -c "print('%.2f' % ($t2 / $t1))")"
  done
  read -r t m < <(timed "$CONVERT" -q -f -j1 --pages-per-dict 1 "${pages[@]}" -o "$WORK/v0.djvu")
  row $set "vellum lossy, no sharing -j1" $(stat -c %s "$WORK/v0.djvu") $(changed "$WORK/v0.djvu" $set) $t $m
  for opts in "-p 10" "-m -p 10" "-l -p 10"; do
    rm -f "$WORK/m.djvu"
    read -r t m < <(timed timeout 900 minidjvu $opts "${pages[@]}" "$WORK/m.djvu" || true)
    if [ -s "$WORK/m.djvu" ]; then
      row $set "minidjvu $opts" $(stat -c %s "$WORK/m.djvu") $(changed "$WORK/m.djvu" $set) $t $m
    else
      row $set "minidjvu $opts" failed - ">900" -
    fi
  done
  start=$(date +%s.%N)
  singles=()
  for p in "${pages[@]}"; do
    cjb2 -lossy "$p" "$p.cjb2.djvu"
    singles+=("$p.cjb2.djvu")
  done
  djvm -c "$WORK/c.djvu" "${singles[@]}"
  t=$(python3 -c "print('%.2f' % ($(date +%s.%N) - $start))")
  row $set "cjb2 -lossy + djvm -c" $(stat -c %s "$WORK/c.djvu") $(changed "$WORK/c.djvu" $set) $t -
done

# Peak memory against the length of the book: the book set alone, then
# three times over (36 pages).
echo
triple=()
for k in 1 2 3; do
  for p in "$WORK/book"/*.pbm; do
    ln -sf "$p" "$WORK/book/x$k-$(basename "$p")"
    triple+=("$WORK/book/x$k-$(basename "$p")")
  done
done
read -r t m < <(timed "$CONVERT" -q -f -j1 "$WORK/book"/p*.pbm -o "$WORK/v12.djvu")
echo "peak memory -j1, 12 pages: $m KB"
read -r t m < <(timed "$CONVERT" -q -f -j1 "${triple[@]}" -o "$WORK/v36.djvu")
echo "peak memory -j1, 36 pages: $m KB"
