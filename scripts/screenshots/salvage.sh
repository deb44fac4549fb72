#!/bin/sh
# salvage.sh BUILD: screenshots of the desktop program under Xvfb, written to
# docs/screenshots/salvage-*.png: the main window after analysing each
# reference image, the filtered view and the Settings dialog; a recovery of
# the FAT image (the recover dialog, the broken-name question and the main
# window while the job waits for it); the restore confirmation and the
# report at the end of a job (through tests/ui/dialog_preview); at scale 1
# and 2. Needs the reference images unpacked (ctest -R fixture.reference).
set -eu
cd "$(dirname "$0")/../.."
build=${1:-build}
program="$build/salvage/ui/salvage"
preview="$build/tests/ui/dialog_preview"
fat="$build/testdata/reference/6-undel-fat/6-fat-undel.dd"
ntfs="$build/testdata/reference/7-undel-ntfs/7-ntfs-undel.dd"
out=docs/screenshots
for f in "$program" "$preview" "$fat" "$ntfs"; do
    [ -e "$f" ] || { echo "salvage.sh: $f is missing (build, then ctest -R fixture.reference)" >&2; exit 1; }
done
for tool in xvfb-run import xdotool; do
    command -v $tool >/dev/null || { echo "salvage.sh: $tool is missing (scripts/deps.sh install)" >&2; exit 1; }
done
mkdir -p "$out"

# xvfb-run, tried again when its server could not be reached (several
# sessions starting at once on a shared machine can take the same display).
xvfb() {
    for attempt in 1 2 3; do
        if xvfb-run "$@"; then
            return 0
        fi
        echo "salvage.sh: the X session failed (attempt $attempt), trying again" >&2
        sleep 2
    done
    return 1
}

# One session: start the program on an image, analyse it, take the pictures.
#   session SCALE IMAGE NAME [filter] [settings]
session() {
    scale=$1 image=$2 name=$3 extra=${4:-}
    work=$(mktemp -d)
    mkdir -m 700 "$work/run"
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" QT_SCALE_FACTOR=$scale LC_ALL=C.UTF-8 \
        xvfb -a -s "-screen 0 1800x1300x24 -dpi 96" sh -eu -c '
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

# A recovery of the FAT image into a new folder: the recover dialog, the
# broken-name question for the first file, and the main window behind it
# (the question moved aside) while the job waits for the answer.
#   recovery SCALE SUFFIX
recovery() {
    scale=$1 suffix=$2
    work=$(mktemp -d)
    mkdir -m 700 "$work/run"
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" QT_SCALE_FACTOR=$scale LC_ALL=C.UTF-8 \
        xvfb -a -s "-screen 0 1800x1300x24 -dpi 96" sh -eu -c '
        program=$1 image=$2 work=$3
        find_window() {
            for i in $(seq 100); do
                found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || true
                [ -n "$found" ] && { echo "$found"; return 0; }
                sleep 0.1
            done
            echo "salvage.sh: the window $1 did not appear" >&2
            return 1
        }
        "$program" "$image" &
        pid=$!
        window=$(find_window "^Kestrel Razuzuda Rezer\$")
        sleep 1
        xdotool windowfocus --sync "$window" key F5
        sleep 2
        xdotool key ctrl+r
        dialog=$(find_window "^Recover\$")
        sleep 0.5
        # The focus starts at OK; the edit is three tabs on.
        xdotool key Tab Tab Tab ctrl+a
        xdotool type --delay 5 "$work/Recovered Files"
        sleep 0.5
        import -window "$dialog" "$work/recover.png"
        # OK, and OK to create the folder.
        xdotool key Return
        sleep 1
        xdotool key Return
        broken=$(find_window "^Broken File Name\$")
        sleep 0.5
        import -window "$broken" "$work/broken.png"
        xdotool windowmove "$broken" 0 0
        sleep 1
        import -window "$window" "$work/recovering.png"
        kill $pid
        wait $pid 2>/dev/null || true
    ' session "$program" "$fat" "$work"
    cp "$work/recover.png" "$out/salvage-recover$suffix.png"
    cp "$work/broken.png" "$out/salvage-broken$suffix.png"
    cp "$work/recovering.png" "$out/salvage-recovering$suffix.png"
    rm -rf "$work"
}

# One dialog on its own: preview SCALE WHAT TITLE NAME
preview() {
    scale=$1 what=$2 title=$3 name=$4
    work=$(mktemp -d)
    QT_SCALE_FACTOR=$scale LC_ALL=C.UTF-8 HOME=/home/user XDG_RUNTIME_DIR="$work" \
        xvfb -a -s "-screen 0 1800x1300x24 -dpi 96" sh -eu -c '
        preview=$1 what=$2 title=$3 shot=$4
        "$preview" "$what" &
        pid=$!
        dialog=""
        for i in $(seq 100); do
            dialog=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1) || true
            [ -n "$dialog" ] && break
            sleep 0.1
        done
        [ -n "$dialog" ] || { echo "salvage.sh: $title did not appear" >&2; kill $pid; exit 1; }
        sleep 1
        import -window "$dialog" "$shot"
        kill $pid
        wait $pid 2>/dev/null || true
    ' session "$preview" "$what" "$title" "$work/shot.png"
    cp "$work/shot.png" "$out/salvage-$name.png"
    rm -rf "$work"
}

for scale in 1 2; do
    suffix=""
    [ "$scale" = 2 ] && suffix="@2x"
    recovery $scale "$suffix"
    preview $scale confirm "Confirm Restore" "confirm-restore$suffix"
    preview $scale report "Razuzuda Rezer" "report$suffix"
    session $scale "$fat" "fat$suffix" settings
    session $scale "$ntfs" "ntfs$suffix"
    session $scale "$ntfs" "filtered$suffix" filter
done
ls -l "$out"/salvage-*.png
