#!/bin/sh
# make-ntfs-volume.sh PATTERNFILE NTFSGEN OUTDIR NAME SIZE_MIB SECTOR CLUSTER
#
# Builds OUTDIR/NAME.img, an NTFS volume made with mkntfs and filled by
# ntfsgen (libntfs-3g, no mount needed): folders several levels deep,
# resident and non-resident files, an empty file, a long name with a DOS
# name beside it, a named stream, files fragmented by interleaved writes,
# deleted files and a deleted folder tree, and a deleted file whose folder's
# record was reused by a later file. Beside it:
#   OUTDIR/NAME.src/      the bytes of every file written, by path
#   OUTDIR/NAME.manifest  one line per entry, in creation order:
#                         live|deleted TAB file|dir TAB /path TAB size TAB record
set -eu
PATH="$PATH:/usr/sbin:/sbin"

pattern=$1 gen=$2 out=$3 name=$4 mib=$5 sector=$6 cluster=$7
img="$out/$name.img"
src="$out/$name.src"
script="$out/$name.script"
parts="$out/$name.parts"   # pieces that are not files of their own
mkdir -p "$out"
rm -rf "$img" "$src" "$parts" "$out/$name.manifest" "$script"
mkdir -p "$src" "$parts"

truncate -s "${mib}M" "$img"
mkntfs -F -f -q -s "$sector" -c "$cluster" -L KESTREL "$img" >/dev/null 2>&1

# put SIZE /PATH: a pattern file, written into the volume.
put() {
    mkdir -p "$src$(dirname "$2")"
    "$pattern" "$1" "$2" "$src$2"
    printf 'put\t%s\t%s\n' "$2" "$src$2" >> "$script"
}
folder() {
    mkdir -p "$src$1"
    printf 'mkdir\t%s\n' "$1" >> "$script"
}
remove() {
    printf 'delete\t%s\n' "$1" >> "$script"
}

# First, so that its record is the lowest one freed: a folder whose record
# a later file takes over, leaving its deleted child without a parent.
folder /Gone
put 400 /Gone/orphan.txt

put 300 /README.TXT
put 200 /small.txt
put 0 /Empty.dat
put 3000 "/A long file name.txt"
printf 'dosname\t%s\t%s\n' "/A long file name.txt" "ALONGF~1.TXT" >> "$script"
put 500 "/Ünïcödé ñame.txt"
folder /Docs
put 5000 "/Docs/report 2024.doc"
folder /Docs/Deep
folder /Docs/Deep/er
folder /Docs/Deep/er/still
folder /Docs/Deep/er/still/deeper
put 1234 /Docs/Deep/er/still/deeper/leaf.bin
folder /Pictures
put 200K "/Pictures/holiday photo.jpg"
put 800 /Pictures/thumb.png
put 1000 /streams.txt
"$pattern" 2000 /streams.txt:ADS "$src/streams.txt:ADS"
printf 'stream\t%s\t%s\t%s\n' /streams.txt ADS "$src/streams.txt:ADS" >> "$script"

# Two files written a few clusters at a time in turn: both fragmented.
folder /frag
"$pattern" 64K /frag/a.bin "$src/frag/a.bin"
"$pattern" 48K /frag/b.bin "$src/frag/b.bin"
printf 'interleave\t%s\t%s\t%s\t%s\t%s\n' $((cluster * 2)) /frag/a.bin "$src/frag/a.bin" \
    /frag/b.bin "$src/frag/b.bin" >> "$script"

put 100K "/Deleted big.bin"
put 150 "/Deleted small.txt"
put 1500 /GONE.TXT

# A folder tree deleted as a whole, deepest first as Windows does.
folder /OldFolder
put 600 /OldFolder/child1.txt
folder /OldFolder/Sub
put 900 /OldFolder/Sub/child2.txt

put 8K /Middle.bin
# A file with a hole: its first run is sparse.
"$pattern" 8K /sparse.bin "$parts/sparse.tail"
printf 'sparse\t%s\t%s\t%s\n' /sparse.bin 1048576 "$parts/sparse.tail" >> "$script"
# A folder big enough for an index allocation, with deletions among its files.
folder /Many
printf 'bulk\t%s\t%s\t%s\t%s\n' /Many 2 60 100 >> "$script"
put 64K "/Deleted late.bin"

# Deletions last: no record freed here is taken by a later file, except ...
printf 'bulkdelete\t%s\t%s\t%s\t%s\n' /Many 2 60 7 >> "$script"
remove /Pictures/thumb.png
remove /frag/b.bin
remove "/Deleted big.bin"
remove "/Deleted small.txt"
remove /GONE.TXT
remove "/Deleted late.bin"
remove /sparse.bin
remove /OldFolder/Sub/child2.txt
remove /OldFolder/Sub
remove /OldFolder/child1.txt
remove /OldFolder
remove /Gone/orphan.txt
remove /Gone
# ... this one: after a remount the allocator starts again from the lowest
# free record, which is /Gone's.
printf 'remount\n' >> "$script"
# The allocator starts again from the first free cluster too, so this file
# takes clusters of a deleted one: that file's condition is poor.
put 64K /reuser.bin

LC_ALL=C.UTF-8 "$gen" "$img" "$script" "$out/$name.manifest"
