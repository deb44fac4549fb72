#!/bin/sh
# make-seeds.sh TOOLS OUTDIR: seed corpora for the fuzz targets, made by the
# real tools at run time. TOOLS is the fuzz build folder, which holds
# fuzz_patternfile, fuzz_ntfsgen and fuzz_seedtool.
#   OUTDIR/fat      raw FAT volumes (mkfs.fat + mtools; the head of the FAT
#                   reference image)
#   OUTDIR/ntfs     NTFS volumes in the chunk layout: small volumes made with
#                   mkntfs + the generator, and the NTFS reference image, each
#                   cut down to the sectors the analysis reads
#   OUTDIR/recover  both kinds in the chunk layout
#   OUTDIR/lznt1    compressed units of a generated volume's compressed files
# Volumes are tiny so that mutations reach their structures.
set -eu
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1
tools=$1 out=$2
pattern="$tools/fuzz_patternfile" gen="$tools/fuzz_ntfsgen" seedtool="$tools/fuzz_seedtool"
here=$(cd "$(dirname "$0")" && pwd)
reference="$here/../tests/data/reference"
rm -rf "$out/fat" "$out/ntfs" "$out/recover" "$out/lznt1"
mkdir -p "$out/fat" "$out/ntfs" "$out/recover" "$out/lznt1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- FAT ---
img="$out/fat/small12.img"
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
unzip -p "$reference/6-undel-fat.zip" '*/6-fat-undel.dd' > "$work/ref-fat.dd"
head -c 98304 "$work/ref-fat.dd" > "$out/fat/reference16.img"

for f in small12 small16 small32; do
    "$seedtool" whole "$out/fat/$f.img" "$out/recover/$f.chunks"
done
"$seedtool" touched "$work/ref-fat.dd" "$out/recover/reference-fat.chunks"

# --- NTFS ---
# ntfs SIZE_KIB SECTOR CLUSTER NAME: a small generated volume with folders,
# resident and non-resident files, a DOS name beside a long one, a named
# stream, fragmented and sparse files, and deletions (one whose folder's
# record is taken over by a later file).
ntfs() {
    v="$work/$4.img" s="$work/$4.script" src="$work/$4.src"
    mkdir -p "$src"
    truncate -s "${1}K" "$v"
    mkntfs -F -f -q -s "$2" -c "$3" -L SEED "$v" >/dev/null 2>&1
    "$pattern" 300 /Gone/old.txt "$src/old.txt"
    "$pattern" 200 /small.txt "$src/small.txt"
    "$pattern" 3000 /long "$src/long"
    "$pattern" 9000 /frag1 "$src/frag1"
    "$pattern" 7000 /frag2 "$src/frag2"
    "$pattern" 500 /tail "$src/tail"
    "$pattern" 100 /ads "$src/ads"
    cat > "$s" <<SCRIPT
mkdir	/Gone
put	/Gone/old.txt	$src/old.txt
put	/small.txt	$src/small.txt
put	/A long file name.txt	$src/long
dosname	/A long file name.txt	ALONGF~1.TXT
stream	/small.txt	ADS	$src/ads
mkdir	/Dir
mkdir	/Dir/Sub
put	/Dir/Sub/deep.bin	$src/long
interleave	$(($3 * 2))	/Dir/f1.bin	$src/frag1	/Dir/f2.bin	$src/frag2
sparse	/sparse.bin	65536	$src/tail
put	/deleted.bin	$src/frag1
delete	/deleted.bin
delete	/Dir/f2.bin
delete	/sparse.bin
delete	/Gone/old.txt
delete	/Gone
remount
put	/reuser.txt	$src/small.txt
SCRIPT
    LC_ALL=C.UTF-8 "$gen" "$v" "$s" "$work/$4.manifest" >/dev/null
    "$seedtool" touched "$v" "$out/ntfs/$4.chunks"
    cp "$out/ntfs/$4.chunks" "$out/recover/"
}
# A volume of compressed files (text that compresses, and a hole), a file
# whose runs continue in extent records, an encrypted file and named streams.
features() {
    v="$work/features.img" s="$work/features.script" src="$work/features.src"
    mkdir -p "$src"
    truncate -s 4M "$v"
    mkntfs -F -f -q -s 512 -c 4096 -L SEED "$v" >/dev/null 2>&1
    seq 1 3000 | sed 's/^/compressible line /' > "$src/text"
    "$pattern" 160K /scatter "$src/scatter"
    "$pattern" 5000 /secret "$src/secret"
    "$pattern" 3000 /ads "$src/ads"
    cat > "$s" <<SCRIPT
compress	/comp.txt	$src/text
write	/comp.txt	200000	$src/text
compress	/gone.txt	$src/text
scatter	/listed.bin	$src/scatter	4096
put	/secret.bin	$src/secret
encrypt	/secret.bin
put	/streams.txt	$src/ads
stream	/streams.txt	one	$src/ads
stream	/gone.txt	two	$src/ads
delete	/gone.txt
SCRIPT
    LC_ALL=C.UTF-8 "$gen" "$v" "$s" "$work/features.manifest" >/dev/null
    "$seedtool" touched "$v" "$out/ntfs/features.chunks"
    cp "$out/ntfs/features.chunks" "$out/recover/"
    "$seedtool" units "$v" "$out/lznt1"
}
features

ntfs 2048 512 4096 small4k
ntfs 2048 512 512 small512
ntfs 4096 4096 4096 small4kn

unzip -p "$reference/7-undel-ntfs.zip" '*/7-ntfs-undel.dd' > "$work/ref-ntfs.dd"
"$seedtool" touched "$work/ref-ntfs.dd" "$out/ntfs/reference-ntfs.chunks"
cp "$out/ntfs/reference-ntfs.chunks" "$out/recover/"
