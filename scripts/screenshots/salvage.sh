#!/bin/sh
# salvage.sh BUILD: screenshots of the desktop program under Xvfb, written to
# docs/screenshots/salvage-*.png: the main window after analysing each
# reference image, the filtered view and the Settings dialog, at scale 1
# and 2. Needs the reference images unpacked (ctest -R fixture.reference).
set -eu
cd "$(dirname "$0")/../.."
build=${1:-build}
program="$build/salvage/ui/salvage"
fat="$build/testdata/reference/6-undel-fat/6-fat-undel.dd"
ntfs="$build/testdata/reference/7-undel-ntfs/7-ntfs-undel.dd"
out=docs/screenshots
for f in "$program" "$fat" "$ntfs"; do
    [ -e "$f" ] || { echo "salvage.sh: $f is missing (build, then ctest -R fixture.reference)" >&2; exit 1; }
done
for tool in xvfb-run import xdotool; do
    command -v $tool >/dev/null || { echo "salvage.sh: $tool is missing (scripts/deps.sh install)" >&2; exit 1; }
done
mkdir -p "$out"

# One session: start the program on an image, analyse it, take the pictures.
#   session SCALE IMAGE NAME [filter] [settings]
session() {
    scale=$1 image=$2 name=$3 extra=${4:-}
    work=$(mktemp -d)
    mkdir -m 700 "$work/run"
    # The main window alone: the start-up wizard stays closed (wizard.sh pictures it).
    mkdir -p "$work/config/kestrel/registry"
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kestrel Razuzuda Rezer\\DSA]\r\n"DSA_State"=dword:00000001\r\n' \
        > "$work/config/kestrel/registry/HKEY_CURRENT_USER.reg"
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" QT_SCALE_FACTOR=$scale LC_ALL=C.UTF-8 \
        xvfb-run -a -s "-screen 0 1800x1300x24 -dpi 96" sh -eu -c '
        program=$1 image=$2 shot=$3 extra=$4
        "$program" "$image" &
        pid=$!
        window=""
        for i in $(seq 100); do
            window=$(xdotool search --name "^Kestrel Razuzuda Rezer\$" 2>/dev/null | head -1) || true
            [ -n "$window" ] && break
            sleep 0.1
        done
        [ -n "$window" ] || { echo "salvage.sh: the window did not appear" >&2; kill $pid; exit 1; }
        sleep 1
        xdotool windowfocus --sync "$window" key F5
        sleep 2
        case "$extra" in
        filter) xdotool key ctrl+t; sleep 1 ;;
        esac
        import -window "$window" "$shot.png"
        if [ "$extra" = settings ]; then
            xdotool key alt+e Up Return
            sleep 1
            dialog=$(xdotool search --name "^Settings\$" | head -1)
            import -window "$dialog" "$shot-settings.png"
            xdotool key Escape
        fi
        kill $pid
        wait $pid 2>/dev/null || true
    ' session "$program" "$image" "$work/shot" "$extra"
    cp "$work/shot.png" "$out/salvage-$name.png"
    if [ -f "$work/shot-settings.png" ]; then
        cp "$work/shot-settings.png" "$out/salvage-settings${name#fat}.png"
    fi
    rm -rf "$work"
}

for scale in 1 2; do
    suffix=""
    [ "$scale" = 2 ] && suffix="@2x"
    session $scale "$fat" "fat$suffix" settings
    session $scale "$ntfs" "ntfs$suffix"
    session $scale "$ntfs" "filtered$suffix" filter
done
ls -l "$out"/salvage-*.png
