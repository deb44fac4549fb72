#!/bin/sh
# make-ntfs200k.sh NTFSGEN OUTDIR: builds (once) OUTDIR/ntfs200k.img, an NTFS
# image with 200 folders of 1000 small files, a quarter of them deleted again
# (more than 200,000 MFT records).
set -eu
PATH="$PATH:/usr/sbin:/sbin"
gen=$1 out=$2
img="$out/ntfs200k.img"
mkdir -p "$out"
if [ ! -f "$img.done" ]; then
    echo "== building $img (takes a minute)"
    rm -f "$img"
    truncate -s 640M "$img"
    mkntfs -F -f -q -c 4096 -L BENCH "$img" >/dev/null 2>&1
    printf 'bulk\t/\t200\t1000\t100\nbulkdelete\t/\t200\t1000\t4\n' > "$out/ntfs200k.script"
    LC_ALL=C.UTF-8 "$gen" "$img" "$out/ntfs200k.script" "$out/ntfs200k.manifest"
    touch "$img.done"
fi
