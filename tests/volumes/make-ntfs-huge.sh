#!/bin/sh
# make-ntfs-huge.sh PATTERNFILE NTFSGEN OUTDIR
#
# Builds OUTDIR/ntfshuge.img: a small NTFS volume holding files larger than
# 4 GiB, cheaply: their data lies behind holes (sparse runs), so VCNs and
# sizes pass 32 bits while the image stays small. One is live, one deleted.
#   OUTDIR/ntfshuge.parts/  the bytes written behind each hole
set -eu
PATH="$PATH:/usr/sbin:/sbin"
pattern=$1 gen=$2 out=$3
img="$out/ntfshuge.img"
parts="$out/ntfshuge.parts"
script="$out/ntfshuge.script"
mkdir -p "$out"
rm -rf "$img" "$parts" "$script" "$out/ntfshuge.manifest"
mkdir -p "$parts"
truncate -s 32M "$img"
mkntfs -F -f -q -s 512 -c 4096 -L HUGE "$img" >/dev/null 2>&1

"$pattern" 64K huge-tail "$parts/huge.tail"
"$pattern" 12K gone-tail "$parts/gone.tail"
# 5 GiB + 64 KiB, its data at 5 GiB; 4 GiB + 12 KiB, deleted.
printf 'sparse\t/huge.bin\t5368709120\t%s\n' "$parts/huge.tail" >> "$script"
printf 'sparse\t/gone.bin\t4294967296\t%s\n' "$parts/gone.tail" >> "$script"
printf 'delete\t/gone.bin\n' >> "$script"
LC_ALL=C.UTF-8 "$gen" "$img" "$script" "$out/ntfshuge.manifest"
