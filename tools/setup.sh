#!/bin/bash
# One-time set-up of a Debian 12 machine for building and testing Vellum.
# Idempotent: installs only what is missing, fetches DjVuLibre's source once
# into a cache folder outside the build tree.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config dpkg-dev
  libwxgtk3.2-dev libgtk-3-dev libtiff-dev libjpeg62-turbo-dev libpng-dev libsane-dev sane-utils
  libdjvulibre-text libdjvulibre-dev djvulibre-bin
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth imagemagick netpbm libtiff-tools libjpeg-turbo-progs shared-mime-info
  desktop-file-utils appstream libxml2-utils librsvg2-bin libglib2.0-bin
  clang-14 libclang-rt-14-dev
  parallel minidjvu python3 clang-format-14
)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# DjVuLibre's C++ internals: Debian's -dev package ships only the C API, so
# the library is built from Debian's source package.
CACHE="${VELLUM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vellum}"
SRC="$CACHE/djvulibre-src"
if [ -f "$SRC/.unpacked" ]; then
  exit 0
fi
mkdir -p "$CACHE/apt/sources.list.d" "$CACHE/apt/lists/partial" "$CACHE/dl"

# Take the archive URI from the machine's own apt configuration.
uri=""
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  uri=$(awk 'BEGIN{RS=""} /Suites:[^\n]*bookworm( |$|\n)/ && /Types:[^\n]*deb/ {
          if (match($0, /URIs: *[^ \n]+/)) { s=substr($0,RSTART,RLENGTH); sub(/URIs: */,"",s); print s; exit } }' "$f")
  [ -n "$uri" ] && break
done
if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
  uri=$(awk '$1=="deb" && $3=="bookworm" {print $2; exit}' /etc/apt/sources.list)
fi
if [ -z "$uri" ]; then
  echo "setup: no bookworm archive found in the apt configuration" >&2
  exit 1
fi
echo "deb-src $uri bookworm main" > "$CACHE/apt/sources.list.d/vellum-src.list"

APTOPT=(-o "Dir::Etc::SourceParts=$CACHE/apt/sources.list.d"
        -o "Dir::Etc::SourceList=/dev/null"
        -o "Dir::State::Lists=$CACHE/apt/lists")
apt-get "${APTOPT[@]}" update -q
( cd "$CACHE/dl" && apt-get "${APTOPT[@]}" source --download-only djvulibre )
dsc=$(ls "$CACHE"/dl/djvulibre_*.dsc | head -n1)
rm -rf "$SRC"
dpkg-source -x "$dsc" "$SRC"
touch "$SRC/.unpacked"
echo "setup: DjVuLibre source in $SRC"
