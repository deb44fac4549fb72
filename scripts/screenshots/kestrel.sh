#!/bin/sh
# Screenshots of the launcher: the dashboard in each category, a tool button
# hovered and pressed, the Help menu, the program manager, and the dashboard
# at QT_SCALE_FACTOR=2. The launcher runs from an install tree made of the
# build (cmake --install), with stand-in tools beside it, under Xvfb; clicks
# come from xdotool. Writes docs/screenshots/kestrel-*.png.
#   scripts/screenshots/kestrel.sh [BUILD]
set -eu
cd "$(dirname "$0")/../.."
build=${1:-build}
out=docs/screenshots
for tool in xvfb-run import xdotool; do
    command -v "$tool" >/dev/null || { echo "kestrel.sh: $tool is missing (scripts/deps.sh install)" >&2; exit 1; }
done
cmake --build "$build" --target kestrel kestrel_standin >/dev/null

work=$(mktemp -d /tmp/kestrel-shots.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/Kestrel Suite" --component Unspecified >/dev/null
bin="$work/Kestrel Suite/bin"
standin="$build/tests/kestrel/kestrel_standin"
# Three tools installed, two more installable.
for t in salvage sweeper memflux; do cp "$standin" "$bin/$t"; done
cp "$build/salvage/cli/salvage-cli.version" "$bin/salvage.version" 2>/dev/null || true
mkdir -p "$bin/setup"
for t in sysprobe eraseguard; do cp "$standin" "$bin/setup/$t"; done
mkdir -p "$out"

cat > "$work/session.sh" <<'SESSION'
set -eu
bin=$1 out=$2 scale=$3
export XDG_DATA_HOME="$bin/../data" KESTREL_STANDIN_LOG="$bin/../started.log"
export QT_SCALE_FACTOR=$scale
"$bin/kestrel" &
pid=$!
wid=$(xdotool search --sync --onlyvisible --name "Kestrel - Everyday Health Check" | head -n 1)
sleep 1
# Clicks at the window's own (unscaled) coordinates.
at() { xdotool mousemove --window "$wid" $(($1 * scale)) $(($2 * scale)); }
shot() { sleep 0.4; import -window "$wid" "$out/$1"; }
if [ "$scale" = 2 ]; then
    shot kestrel-scale2.png
else
    i=1
    for y in 192 258 324 393 462; do
        at 104 "$y"; xdotool click 1; at 10 300
        shot "kestrel-category$i.png"
        i=$((i + 1))
    done
    at 104 192; xdotool click 1
    at 440 217; shot kestrel-hover.png
    xdotool mousedown 1; shot kestrel-pressed.png
    at 60 500; xdotool mouseup 1
    at 615 102; xdotool click 1; sleep 0.5
    # The window and the menu that opens beside it.
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    import -window root -crop "$((WIDTH + 220))x$((HEIGHT))+$X+$Y" +repage "$out/kestrel-helpmenu.png"
    xdotool key Up Up Return
    sleep 1
    manager=$(xdotool search --onlyvisible --name "Kestrel - Everyday Health Check" | grep -v "^$wid\$" | head -n 1)
    sleep 0.5
    import -window "$manager" "$out/kestrel-manager.png"
    xdotool key --window "$manager" Tab
fi
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
SESSION

xvfb-run -a -s "-screen 0 1024x768x24" sh "$work/session.sh" "$bin" "$out" 1
xvfb-run -a -s "-screen 0 1600x1200x24" sh "$work/session.sh" "$bin" "$out" 2
ls "$out"/kestrel-*.png
