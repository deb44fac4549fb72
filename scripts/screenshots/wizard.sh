#!/bin/sh
# wizard.sh BUILD: screenshots of the recovery wizard under Xvfb, written to
# docs/screenshots/wizard-*.png: the drive page, the criteria page, the
# result page after searching both reference images, the restore window
# while it writes, and the result page after the restore. Needs the
# reference images unpacked (ctest -R fixture.reference).
set -eu
cd "$(dirname "$0")/../.."
build=${1:-build}
program="$build/tests/wizard/wizard_screens"
fat="$build/testdata/reference/6-undel-fat/6-fat-undel.dd"
ntfs="$build/testdata/reference/7-undel-ntfs/7-ntfs-undel.dd"
out=docs/screenshots
for f in "$program" "$fat" "$ntfs"; do
    [ -e "$f" ] || { echo "wizard.sh: $f is missing (build wizard_screens, then ctest -R fixture.reference)" >&2; exit 1; }
done
for tool in xvfb-run import; do
    command -v $tool >/dev/null || { echo "wizard.sh: $tool is missing (scripts/deps.sh install)" >&2; exit 1; }
done
mkdir -p "$out"
work=$(mktemp -d)
mkdir -m 700 "$work/run"
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" LC_ALL=C.UTF-8 \
    xvfb-run -a -s "-screen 0 1400x1000x24 -dpi 96" sh -eu -c '
    program=$1 fat=$2 ntfs=$3 work=$4
    mkfifo "$work/answers"
    "$program" "$fat" "$ntfs" "$work/restored" < "$work/answers" | {
        exec 3> "$work/answers"
        while read -r name window; do
            sleep 0.5
            import -window "$window" "$work/$name.png"
            echo taken >&3
        done
    }
' session "$program" "$fat" "$ntfs" "$work"
for name in page0 page1 page2 restore restored; do
    cp "$work/$name.png" "$out/wizard-$name.png"
done
rm -rf "$work"
ls -l "$out"/wizard-*.png
