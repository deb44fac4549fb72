#!/bin/sh
# ntfs-bench.sh NTFSGEN NTFS_SCAN_BENCH SALVAGE_CLI OUTDIR [BASELINE_CLI]
#
# Builds (once) an NTFS image with 200 folders of 1000 small files, a quarter
# of them deleted again (more than 200,000 MFT records), then times:
#   - reading the MFT's bytes once, the search itself, and salvage-cli list
#     --json with its peak memory per record, each the best of a few runs
#     beside a read (ntfs_scan_bench);
#   - salvage-cli list --json again by /usr/bin/time (and BASELINE_CLI's, an
#     earlier build to compare with, when given);
#   - sleuthkit's fls -r -p on the same image, when it is installed.
# Then two volumes of 50,000 files, with 4 KiB and with 2 MiB clusters: the
# time of list --json on each (reading records by their bytes, a large
# cluster costs nothing extra).
set -eu
PATH="$PATH:/usr/sbin:/sbin"
gen=$1 scan=$2 cli=$3 out=$4 baseline=${5:-}
img="$out/ntfs200k.img"

"$(dirname "$0")/make-ntfs200k.sh" "$gen" "$out"
"$cli" info "$img"

# An almost empty volume: the memory list --json needs beyond the records.
small="$out/ntfs-small.img"
if [ ! -f "$small.done" ]; then
    rm -f "$small"
    truncate -s 64M "$small"
    mkntfs -F -f -q -c 4096 -L SMALL "$small" >/dev/null 2>&1
    touch "$small.done"
fi

echo "== search and list --json, against reading the MFT once"
"$scan" "$img" "$cli" "$small"

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
if [ -n "$baseline" ]; then
    echo "== baseline salvage-cli list --json ($baseline)"
    timed "$baseline" list --json "$img" >/dev/null
    echo "== salvage-cli list --json, again"
    timed "$cli" list --json "$img" >/dev/null
fi

if command -v fls >/dev/null 2>&1; then
    echo "== fls -r -p"
    fls -r -p "$img" >/dev/null
    timed fls -r -p "$img" >/dev/null
fi

for cluster in 4096 2097152; do
    big="$out/ntfs50k-$cluster.img"
    if [ ! -f "$big.done" ]; then
        echo "== building $big"
        rm -f "$big"
        truncate -s 512M "$big"
        mkntfs -F -f -q -c "$cluster" -L BENCH "$big" >/dev/null 2>&1
        printf 'bulk\t/\t50\t1000\t100\nbulkdelete\t/\t50\t1000\t4\n' > "$out/ntfs50k.script"
        LC_ALL=C.UTF-8 "$gen" "$big" "$out/ntfs50k.script" "$out/ntfs50k-$cluster.manifest"
        touch "$big.done"
    fi
    echo "== salvage-cli list --json, 50,000 files, $cluster-byte clusters"
    "$cli" list --json "$big" >/dev/null
    timed "$cli" list --json "$big" >/dev/null
done
