#!/bin/bash
# Installs the build into a staging root and checks what a desktop gets:
# the exact file list, the desktop entry, AppStream metainfo, shared MIME
# info (recognised by content through a private MIME database), the icons
# (sizes, and the PNGs up to date with their SVGs), the thumbnailer entry,
# and the installed programs running from the staging root, moved or not.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR HAVE_GUI(0|1)
set -uo pipefail
BUILD=$1 SRC=$2 GUI=$3
ID=org.vellum.Vellum
SIZES=(16 22 24 32 48 64 128 256)
ICONS_APPS=($ID)
ICONS_TYPES=(image-vnd.djvu image-vnd.djvu+multipage image-x-iw44)
TMP=$(mktemp -d "${VELLUM_TEST_TMP:-/tmp}/install.XXXXXX")
trap 'rm -rf "$TMP"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (tools/setup.sh installs it)"
  done
}
need desktop-file-validate appstreamcli xmllint update-mime-database gio rsvg-convert identify compare \
  djvm ddjvu

# --- install -------------------------------------------------------------
STAGE=$TMP/stage
if ! DESTDIR=$STAGE cmake --install "$BUILD" --prefix /usr >"$TMP/install.log" 2>&1; then
  cat "$TMP/install.log"
  echo "FAIL: cmake --install failed"
  exit 1
fi
P=$STAGE/usr

# --- the file list: nothing missing, nothing extra ----------------------
{
  echo bin/vellum-convert
  echo share/man/man1/vellum-convert.1
  echo share/mime/packages/$ID.xml
  echo share/thumbnailers/vellum.thumbnailer
  (cd "$SRC/res" && find help -type f | sed 's|^|share/vellum/|')
  icons=("${ICONS_TYPES[@]}")
  if [ "$GUI" = 1 ]; then
    echo bin/vellum
    echo share/man/man1/vellum.1
    echo share/applications/$ID.desktop
    echo share/metainfo/$ID.metainfo.xml
    icons+=("${ICONS_APPS[@]}")
  fi
  for name in "${icons[@]}"; do
    context=mimetypes
    [ "$name" = $ID ] && context=apps
    echo share/icons/hicolor/scalable/$context/$name.svg
    for n in "${SIZES[@]}"; do echo share/icons/hicolor/${n}x${n}/$context/$name.png; done
  done
} | sort >"$TMP/expected"
(cd "$P" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$TMP/actual"
if ! diff -u "$TMP/expected" "$TMP/actual" >"$TMP/list.diff"; then
  cat "$TMP/list.diff"
  fail "installed file list differs (- expected, + installed)"
fi
[ -x "$P/bin/vellum-convert" ] || fail "bin/vellum-convert is not executable"
if [ "$GUI" = 1 ]; then [ -x "$P/bin/vellum" ] || fail "bin/vellum is not executable"; fi

# --- desktop entry --------------------------------------------------------
if [ "$GUI" = 1 ]; then
  desktop=$P/share/applications/$ID.desktop
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $ID.desktop"
  grep -qx "Icon=$ID" "$desktop" || fail "the desktop entry's icon is not $ID"
  grep -qx "Exec=vellum %f" "$desktop" || fail "the desktop entry does not run vellum %f"
  types=$(sed -n 's/^MimeType=//p' "$desktop")
  for t in image/vnd.djvu image/vnd.djvu+multipage image/x-djvu image/x-iw44 image/bmp \
    image/x-portable-bitmap image/x-portable-graymap image/x-portable-pixmap image/x-portable-anymap \
    image/jpeg image/tiff image/png; do
    [[ ";$types" == *";$t;"* ]] || fail "MimeType= lacks $t"
  done

  # --- AppStream ----------------------------------------------------------
  meta=$P/share/metainfo/$ID.metainfo.xml
  appstreamcli validate --no-net "$meta" >"$TMP/as.log" 2>&1 || {
    cat "$TMP/as.log"
    fail "appstreamcli rejects the metainfo"
  }
  grep -q "<id>$ID</id>" "$meta" || fail "metainfo id is not $ID"
  grep -q "<launchable type=\"desktop-id\">$ID.desktop</launchable>" "$meta" ||
    fail "metainfo does not launch $ID.desktop"
fi

# --- shared MIME info: files recognised by content ------------------------
xml=$P/share/mime/packages/$ID.xml
xmllint --noout "$xml" || fail "the MIME package is not well-formed XML"
cmp -s "$xml" "$SRC/res/desktop/$ID.mime.xml" || fail "installed MIME package differs from the source"
# A private database holding only our package: nothing the system knows helps.
export XDG_DATA_HOME=$TMP/xdg XDG_DATA_DIRS=$TMP/nodirs
mkdir -p "$XDG_DATA_HOME/mime/packages" "$XDG_DATA_DIRS"
cp "$xml" "$XDG_DATA_HOME/mime/packages/"
update-mime-database "$XDG_DATA_HOME/mime" 2>"$TMP/umd.log" || {
  cat "$TMP/umd.log"
  fail "update-mime-database rejects the MIME package"
}
C=${VELLUM_CORPUS:?}/djvu
mkdir -p "$TMP/files"
for f in "$C/compound-flower-fg44-bg44.djvu" "$C/form-scan-cjb2.djvu" "$C/photo-astronaut.iw44" \
  "$C/photo-camera-grey.iw44"; do
  [ -f "$f" ] || fail "corpus file missing: $f"
done
djvm -c "$TMP/files/book.djvu" "$C/compound-flower-fg44-bg44.djvu" "$C/form-scan-cjb2.djvu" ||
  fail "djvm could not bundle two pages"
cp "$C/compound-flower-fg44-bg44.djvu" "$TMP/files/page-no-extension"
cp "$TMP/files/book.djvu" "$TMP/files/book-no-extension"
cp "$TMP/files/book.djvu" "$TMP/files/book-named.jpg" # the content wins over a wrong name
cp "$C/photo-astronaut.iw44" "$TMP/files/colour-no-extension" # FORM:PM44 without AT&T
cp "$C/photo-camera-grey.iw44" "$TMP/files/grey-no-extension" # FORM:BM44 without AT&T
printf 'AT&TFORM\0\0\0\x10BM44BM44' >"$TMP/files/att-bm44"
printf 'AT&TFORM\0\0\0\x10PM44PM44' >"$TMP/files/att-pm44"
printf '\x01\x02\x03unknown bytes' >"$TMP/files/by-name.iw4"
printf '\x01\x02\x03unknown bytes' >"$TMP/files/by-name.djv"
while read -r name want; do
  got=$(gio info -a standard::content-type "$TMP/files/$name" 2>&1 | sed -n 's/^ *standard::content-type: //p')
  [ "$got" = "$want" ] || fail "$name is recognised as '${got:-nothing}', not $want"
done <<'LIST'
book.djvu image/vnd.djvu+multipage
book-no-extension image/vnd.djvu+multipage
page-no-extension image/vnd.djvu
colour-no-extension image/x-iw44
grey-no-extension image/x-iw44
att-bm44 image/x-iw44
att-pm44 image/x-iw44
by-name.iw4 image/x-iw44
by-name.djv image/vnd.djvu
LIST
# The multipage type is a kind of DjVu; image/x-djvu is an alias.
grep -q '^image/vnd.djvu+multipage image/vnd.djvu$' "$XDG_DATA_HOME/mime/subclasses" ||
  fail "image/vnd.djvu+multipage is not a sub-class of image/vnd.djvu"
grep -q '^image/x-djvu image/vnd.djvu$' "$XDG_DATA_HOME/mime/aliases" || fail "image/x-djvu is no alias"
unset XDG_DATA_DIRS
export XDG_DATA_HOME=$HOME/.local/share

# --- icons: sizes as named, PNGs rendered from the current SVGs -----------
while read -r png; do
  n=$(basename "$(dirname "$(dirname "$png")")")
  size=$(identify -format '%wx%h' "$png" 2>/dev/null)
  [ "$size" = "$n" ] || fail "$png is $size, not $n"
  svg=$(dirname "$(dirname "$(dirname "$png")")")/scalable/$(basename "$(dirname "$png")")/$(basename "$png" .png).svg
  rsvg-convert -w "${n%x*}" -h "${n%x*}" "$svg" -o "$TMP/fresh.png" || fail "rsvg-convert cannot render $svg"
  diff=$(compare -metric AE -fuzz 2% "$png" "$TMP/fresh.png" null: 2>&1)
  [ "$diff" = 0 ] || fail "$png is out of date with its SVG ($diff pixels differ; run tools/make-icons.sh)"
done < <(find "$P/share/icons" -name '*.png' | sort)
for svg in $(find "$P/share/icons" -name '*.svg'); do xmllint --noout "$svg" || fail "$svg is not well-formed"; done

# --- thumbnailer entry ----------------------------------------------------
thumb=$P/share/thumbnailers/vellum.thumbnailer
grep -qx '\[Thumbnailer Entry\]' "$thumb" || fail "the thumbnailer has no [Thumbnailer Entry] group"
grep -qx 'TryExec=vellum-convert' "$thumb" || fail "the thumbnailer's TryExec is not vellum-convert"
grep -qx 'Exec=vellum-convert --thumbnail %s %i %o' "$thumb" || fail "the thumbnailer's Exec= is wrong"
ttypes=$(sed -n 's/^MimeType=//p' "$thumb")
for t in image/vnd.djvu image/vnd.djvu+multipage image/x-iw44 image/tiff; do
  [[ ";$ttypes" == *";$t;"* ]] || fail "the thumbnailer's MimeType= lacks $t"
done
# The entry's Exec= run from the staging root: a 2550 x 3300 page at 128
# gives a 99 x 128 PNG; a damaged file fails and leaves no output.
exec_line=$(sed -n 's/^Exec=//p' "$thumb")
thumb_png=$TMP/thumb.png
cmd=${exec_line//%s/128}
cmd=${cmd//%i/$SRC/res/samples/compound-flower-fg44-bg44.djvu}
cmd=${cmd//%o/$thumb_png}
PATH="$P/bin:$PATH" $cmd >"$TMP/thumb.log" 2>&1 || { cat "$TMP/thumb.log"; fail "the thumbnailer failed on the sample page"; }
[ "$(identify -format '%m %wx%h' "$thumb_png")" = "PNG 99x128" ] ||
  fail "the thumbnail is $(identify -format '%m %wx%h' "$thumb_png"), not PNG 99x128"
head -c 3000 "$SRC/res/samples/compound-flower-fg44-bg44.djvu" >"$TMP/cut.djvu"
if PATH="$P/bin:$PATH" vellum-convert --thumbnail 128 "$TMP/cut.djvu" "$TMP/bad.png" 2>/dev/null; then
  fail "the thumbnailer accepted a damaged file"
fi
[ ! -e "$TMP/bad.png" ] || fail "the thumbnailer left a file for a damaged page"

# --- the installed programs run from the staging root ---------------------
sample=$SRC/res/samples/compound-flower-fg44-bg44.djvu
[ -f "$sample" ] || fail "sample page missing: $sample"
run_convert() { # PREFIX: converts the sample page to BMP and compares with ddjvu
  local prefix=$1 out=$TMP/out-$(basename "$1").bmp
  "$prefix/bin/vellum-convert" "$sample" -o "$out" >"$TMP/convert.log" 2>&1 || {
    cat "$TMP/convert.log"
    fail "$prefix/bin/vellum-convert could not convert the sample page"
    return
  }
  ddjvu -format=ppm "$sample" "$TMP/ddjvu.ppm" || fail "ddjvu could not render the sample page"
  diff=$(compare -metric AE -fuzz 1% "$out" "$TMP/ddjvu.ppm" null: 2>&1)
  [ "$diff" = 0 ] || fail "the installed converter's page differs from ddjvu's render ($diff pixels)"
  data=$("$prefix/bin/vellum-convert" --version | sed -n 's/^run-time files: //p')
  [ "$data" = "$(cd "$prefix" && pwd -P)/share/vellum" ] ||
    fail "$prefix/bin/vellum-convert reads its run-time files from '$data', not $prefix/share/vellum"
}
run_convert "$P"
# Moved elsewhere, the tree still runs and finds its own files.
mv "$STAGE/usr" "$TMP/moved"
run_convert "$TMP/moved"
if [ "$GUI" = 1 ]; then
  # The viewer starts from the moved tree, opens the page and paints it.
  if [ -n "${DISPLAY:-}" ]; then
    painted=$(VELLUM_BENCH_FIRST_PAINT=1 timeout 60 "$TMP/moved/bin/vellum" "$sample" 2>"$TMP/vellum.log")
    [[ "$painted" == "first paint after "* ]] || {
      cat "$TMP/vellum.log"
      fail "the installed vellum did not start and paint the sample page"
    }
  else
    fail "no display for the installed viewer (run under xvfb-run, as tools/run-tests.sh does)"
  fi
fi

if [ "$failures" = 0 ]; then
  echo "install: every check passed"
else
  echo "install: $failures checks failed"
  exit 1
fi
