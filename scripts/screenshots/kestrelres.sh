#!/bin/sh
# The contact sheet of the resource library's artwork: every bitmap, the hand
# cursor and the icons as a program finds them once it has loaded
# libkestrelres.so, each at its own size (small ones also enlarged) with its
# id, size and depth. Drawn offscreen, no X server needed. Writes
# docs/screenshots/kestrelres-contact-sheet.png.
#   scripts/screenshots/kestrelres.sh [BUILD]
set -eu
cd "$(dirname "$0")/../.."
build=${1:-build}
out=docs/screenshots
cmake --build "$build" --target kestrelres kestrelres_contact_sheet >/dev/null
mkdir -p "$out"
"$build/tests/kestrelres/kestrelres_contact_sheet" "$build/kestrelres/libkestrelres.so" \
    "$out/kestrelres-contact-sheet.png"
