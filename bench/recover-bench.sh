#!/bin/bash
# recover-bench.sh PATTERNFILE NTFSGEN SALVAGE_CLI OUTDIR
#
# Builds (once) four volumes each holding a 1 GiB file: FAT32 and NTFS, the
# file contiguous and fragmented (written interleaved with another file), then
# times salvage-cli recover of that file against reading the same number of
# bytes of the image once and against copying the original file (read + write).
# Everything runs from the page cache (warmed first) and writes to memory
# (/dev/shm when there is one), so the figures compare the program's work,
# not the disk.
set -euo pipefail
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1
pattern=$1 gen=$2 cli=$3 out=$4
mkdir -p "$out"
TIMEFORMAT='%R'
# Where recovered files and the copy go.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then sink=/dev/shm/kestrel-recover-bench; else sink="$out/written"; fi
mkdir -p "$sink"
trap 'rm -rf "$sink"' EXIT

seconds() { { time "$@" >/dev/null 2>&1; } 2>&1; }

"$pattern" 1G big "$out/big.bin"
"$pattern" 1G other "$out/other.bin"

fat() { # NAME fragmented?
    local img="$out/$1.img"
    [ -f "$img.done" ] && return
    rm -f "$img"
    mkfs.fat -C -F 32 -s 8 "$img" $((2600 * 1024)) >/dev/null
    if [ "$2" = yes ]; then
        # 64 KiB fillers, every other one deleted: the big file fills the holes.
        "$pattern" 64K filler "$out/filler"
        for i in $(seq 1 4096); do mcopy -i "$img" "$out/filler" "::/F$i"; done
        for i in $(seq 1 2 4096); do mdel -i "$img" "::/F$i"; done
    fi
    mcopy -i "$img" "$out/big.bin" ::/BIG.BIN
    touch "$img.done"
}

ntfs() { # NAME fragmented?
    local img="$out/$1.img"
    [ -f "$img.done" ] && return
    rm -f "$img"
    truncate -s 2600M "$img"
    mkntfs -F -f -q -c 4096 "$img" >/dev/null 2>&1
    if [ "$2" = yes ]; then
        printf 'interleave\t65536\t/BIG.BIN\t%s\t/other.bin\t%s\n' "$out/big.bin" "$out/other.bin" > "$out/$1.script"
    else
        printf 'put\t/BIG.BIN\t%s\n' "$out/big.bin" > "$out/$1.script"
    fi
    LC_ALL=C.UTF-8 "$gen" "$img" "$out/$1.script" "$out/$1.manifest"
    touch "$img.done"
}

echo "== building the volumes (once; takes a few minutes)"
fat fat32-contiguous no
fat fat32-fragmented yes
ntfs ntfs-contiguous no
ntfs ntfs-fragmented yes

printf '%-18s %10s %10s %10s %8s\n' volume "read 1 GiB" "copy file" recover ratio
for name in fat32-contiguous fat32-fragmented ntfs-contiguous ntfs-fragmented; do
    img="$out/$name.img"
    cat "$img" >/dev/null                      # warm the cache
    cat "$out/big.bin" >/dev/null
    rm -rf "$sink/recovered"
    read=$(seconds dd if="$img" of=/dev/null bs=1M count=1024)
    copy=$(seconds cp "$out/big.bin" "$sink/copy.bin")
    rm -f "$sink/copy.bin"
    rec=$(seconds "$cli" recover "$img" --to "$sink/recovered" --all --path ./BIG.BIN)
    cmp -s "$sink/recovered/BIG.BIN" "$out/big.bin" || { echo "$name: recovered bytes differ" >&2; exit 1; }
    rm -rf "$sink/recovered"
    printf '%-18s %9ss %9ss %9ss %7.2fx\n' "$name" "$read" "$copy" "$rec" "$(awk "BEGIN{print $rec/$read}")"
done
