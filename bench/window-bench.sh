#!/bin/sh
# window-bench.sh NTFSGEN WINDOW_BENCH SALVAGE_CLI OUTDIR
#
# The desktop window against the command line on the 200,000-record NTFS
# image (make-ntfs200k.sh), measured in one run on a warm cache:
#   - salvage-cli list --json: time and peak memory;
#   - the window: Analyze to SearchDone, the longest event-loop stall, its
#     peak memory;
#   - a folder of 100,000 files opened in the list and sorted by each mode.
set -eu
gen=$1 bench=$2 cli=$3 out=$4
img="$out/ntfs200k.img"
"$(dirname "$0")/make-ntfs200k.sh" "$gen" "$out"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/run"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen

"$cli" list --json "$img" >/dev/null  # warms the page cache
for run in 1 2 3; do
    /usr/bin/time -f "cli: list --json %e s, peak resident memory %M KiB" "$cli" list --json "$img" >/dev/null
    "$bench" search "$img"
done
"$bench" sort 100000
