#!/bin/sh
# Screenshots of the update wizard: the window before a check, the answer of
# a check that finds a newer release (the question over the window), the
# window after it, the proxy dialog, a failed check, and a check at
# QT_SCALE_FACTOR=2. A version-record server on 127.0.0.1
# (kestrelupdate_testserver) answers; nothing leaves the machine. Clicks come
# from xdotool. Writes docs/screenshots/kestrelupdate-*.png.
#   scripts/screenshots/kestrelupdate.sh [BUILD]
set -eu
cd "$(dirname "$0")/../.."
build=${1:-build}
case "$build" in /*) ;; *) build=$(pwd)/$build ;; esac
out=$(pwd)/docs/screenshots
for tool in xvfb-run import xdotool; do
    command -v "$tool" >/dev/null || { echo "kestrelupdate.sh: $tool is missing (scripts/deps.sh install)" >&2; exit 1; }
done
cmake --build "$build" --target kestrelupdate kestrelupdate_testserver mkversionrecord >/dev/null

work=$(mktemp -d /tmp/kestrelupdate-shots.XXXXXX)
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# The installed release is 2.0.0; the server offers 2.1.0.
"$build/kestrelupdate/mkversionrecord" "$work/newer.zip" 2 1 0 2027-01-15T09:00:00
"$build/tests/update/kestrelupdate_testserver" "$work/newer.zip" > "$work/base" &
server=$!
while [ ! -s "$work/base" ]; do sleep 0.1; done
mkdir -p "$out"

cat > "$work/session.sh" <<'SESSION'
set -eu
program=$1 out=$2 work=$3 base=$4 scale=$5
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_SCALE_FACTOR=$scale LANG=C.UTF-8
wizard() {
    "$program" "$@" &
    pid=$!
    wid=$(xdotool search --sync --onlyvisible --name "Update Wizard" | head -n 1)
    sleep 1
}
# Clicks at the window's own (unscaled) coordinates.
click() { xdotool mousemove --window "$wid" $(($1 * scale)) $(($2 * scale)) click 1; }
shot() { sleep 0.5; import -window "$wid" "$out/$1"; }
# The window and what lies over it (a message box, a dialog).
shot_screen() {
    sleep 0.8
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$out/$1"
}
finish() { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }

if [ "$scale" = 2 ]; then
    KESTREL_UPDATE_URL=$base wizard -auto
    shot_screen kestrelupdate-scale2.png
    xdotool key Escape
    finish
    exit 0
fi
KESTREL_UPDATE_URL=$base wizard
shot kestrelupdate-window.png
click 560 262          # Check Update
shot_screen kestrelupdate-checked.png
xdotool key Escape     # No: the browser stays closed
shot kestrelupdate-after.png
click 245 472          # Proxy Settings
shot_screen kestrelupdate-proxy.png
xdotool key Escape
finish

# Nothing listens on port 9 of this machine.
KESTREL_UPDATE_URL=http://127.0.0.1:9 wizard -auto
shot_screen kestrelupdate-failed.png
xdotool key Return
finish
SESSION

base=$(cat "$work/base")
program=$build/kestrelupdate/kestrelupdate
xvfb-run -a -s "-screen 0 1024x768x24" sh "$work/session.sh" "$program" "$out" "$work" "$base" 1
xvfb-run -a -s "-screen 0 1600x1200x24" sh "$work/session.sh" "$program" "$out" "$work" "$base" 2
ls "$out"/kestrelupdate-*.png
