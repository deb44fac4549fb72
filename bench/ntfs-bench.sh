#!/bin/sh
# ntfs-bench.sh NTFSGEN NTFS_SCAN_BENCH SALVAGE_CLI OUTDIR
#
# Builds (once) an NTFS image with 200 folders of 1000 small files, a quarter
# of them deleted again (more than 200,000 MFT records), then times:
#   - reading the MFT's bytes once, and the search itself (ntfs_scan_bench);
#   - salvage-cli list --json, with its peak memory;
#   - sleuthkit's fls -r -p on the same image, when it is installed.
set -eu
PATH="$PATH:/usr/sbin:/sbin"
gen=$1 scan=$2 cli=$3 out=$4
img="$out/ntfs200k.img"

"$(dirname "$0")/make-ntfs200k.sh" "$gen" "$out"
"$cli" info "$img"

echo "== search"
"$scan" "$img"

timed() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f "%e s, peak resident memory %M KiB" "$@"
    else
        start=$(date +%s.%N)
        "$@"
        echo "$(echo "$(date +%s.%N) - $start" | bc) s"
    fi
}

echo "== salvage-cli list --json"
"$cli" list --json "$img" >/dev/null
timed "$cli" list --json "$img" >/dev/null

if command -v fls >/dev/null 2>&1; then
    echo "== fls -r -p"
    fls -r -p "$img" >/dev/null
    timed fls -r -p "$img" >/dev/null
fi
