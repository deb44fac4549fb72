#!/bin/sh
# make-ntfs-large.sh NTFSGEN OUTDIR: OUTDIR/ntfs-large.img, an NTFS volume of
# 8 folders of 500 small files, every fourth deleted again: its MFT takes
# several of the search's reads, so a search of it can be stopped half-way.
set -eu
PATH="$PATH:/usr/sbin:/sbin"
gen=$1 out=$2
img="$out/ntfs-large.img"
mkdir -p "$out"
[ -f "$img.done" ] && exit 0
rm -f "$img"
truncate -s 64M "$img"
mkntfs -F -f -q -c 4096 -L LARGE "$img" >/dev/null 2>&1
printf 'bulk\t/\t8\t500\t64\nbulkdelete\t/\t8\t500\t4\n' > "$out/ntfs-large.script"
LC_ALL=C.UTF-8 "$gen" "$img" "$out/ntfs-large.script" "$out/ntfs-large.manifest"
touch "$img.done"
