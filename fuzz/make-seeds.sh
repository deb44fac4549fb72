#!/bin/sh
# make-seeds.sh PATTERNFILE OUTDIR: small seed volumes for the fuzz targets,
# made by the real tools (mkfs.fat + mtools), plus the head of the FAT
# reference image. Volumes are tiny so that mutations reach their structures.
set -eu
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1
pattern=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out/fat"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

img="$out/fat/small12.img"
rm -f "$img"
mkfs.fat -C -F 12 -r 32 "$img" 64 >/dev/null
"$pattern" 700 a "$work/a"
"$pattern" 1500 b "$work/b"
"$pattern" 3000 c "$work/c"
mmd -i "$img" ::/dir ::/dir/sub
mcopy -i "$img" "$work/a" "::/Short.txt"
mcopy -i "$img" "$work/b" "::/dir/A long name for a file.bin"
mcopy -i "$img" "$work/c" "::/dir/sub/DEEP.DAT"
mcopy -i "$img" "$work/a" "::/dir/gone.txt"
mdel -i "$img" "::/dir/gone.txt"
mdeltree -i "$img" "::/dir/sub"

# The same volume calling itself FAT16 and FAT32, to reach the other entry widths.
sed 's/FAT12   /FAT16   /' "$img" > "$out/fat/small16.img"
cp "$img" "$out/fat/small32.img"
printf 'FAT32   ' | dd of="$out/fat/small32.img" bs=1 seek=82 conv=notrunc 2>/dev/null

# The first 96 KiB of the FAT reference image: boot sector, FATs, root and early clusters.
unzip -p "$here/../tests/data/reference/6-undel-fat.zip" '*/6-fat-undel.dd' | head -c 98304 > "$out/fat/reference16.img"
