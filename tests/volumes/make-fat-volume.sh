#!/bin/sh
# make-fat-volume.sh PATTERNFILE OUTDIR NAME FATBITS SIZE_KIB [SECTORS_PER_CLUSTER]
#
# Builds OUTDIR/NAME.img, a FAT12/16/32 volume made with mkfs.fat and filled
# with mtools (no mount needed): folders several levels deep, long and short
# names, empty and multi-cluster files, a fragmented file, deleted files and a
# deleted folder tree. Beside it:
#   OUTDIR/NAME.src/      the bytes of every file that was copied in, by path
#   OUTDIR/NAME.manifest  one line per entry: live|deleted TAB file|dir TAB /path TAB size
set -eu
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0

pattern=$1 out=$2 name=$3 bits=$4 kib=$5 spc=${6:-}
img="$out/$name.img"
src="$out/$name.src"
manifest="$out/$name.manifest"
mkdir -p "$out"
rm -rf "$img" "$src" "$manifest"
mkdir -p "$src"

set -- -C -F "$bits" -n "KESTREL$bits" -i 12345678
[ -n "$spc" ] && set -- "$@" -s "$spc"
mkfs.fat "$@" "$img" "$kib" >/dev/null

# put SIZE /PATH: writes a pattern file and copies it in.
put() {
    mkdir -p "$src$(dirname "$2")"
    "$pattern" "$1" "$2" "$src$2"
    mcopy -i "$img" -o "$src$2" "::$2"
    printf 'live\tfile\t%s\t%s\n' "$2" "$(wc -c < "$src$2" | tr -d ' ')" >> "$manifest"
}
folder() {
    mmd -i "$img" "::$1"
    mkdir -p "$src$1"
    printf 'live\tdir\t%s\t0\n' "$1" >> "$manifest"
}
# Deleting keeps the source bytes; the manifest line changes to deleted.
remove() {
    mdel -i "$img" "::$1"
    sed -i "s#^live\tfile\t$1\t#deleted\tfile\t$1\t#" "$manifest"
}
remove_tree() {
    mdeltree -i "$img" "::$1"
    sed -i "s#^live\t\(file\|dir\)\t$1\([/\t]\)#deleted\t\1\t$1\2#" "$manifest"
}

put 700 /README.TXT
put 3000 "/A long file name.txt"
put 0 /EMPTY.DAT
folder /Docs
put 5000 "/Docs/report 2024.doc"
folder /Docs/Deep
folder /Docs/Deep/er
folder /Docs/Deep/er/still
folder /Docs/Deep/er/still/deeper
put 1234 /Docs/Deep/er/still/deeper/leaf.bin
folder /Pictures
put 20000 "/Pictures/holiday photo.jpg"
put 800 /Pictures/thumb.png
put 1500 /GONE.TXT
put 2500 "/Deleted long name.txt"

# A fragmented live file: it fills the hole a deleted filler leaves.
folder /frag
put 3K /frag/filler1.bin
put 3K /frag/filler2.bin
remove /frag/filler1.bin
put 9K /frag/fragmented.bin

# A folder tree deleted as a whole.
folder /OldFolder
put 600 /OldFolder/child1.txt
folder /OldFolder/Sub
put 900 /OldFolder/Sub/child2.txt

remove /Pictures/thumb.png
remove /GONE.TXT
remove "/Deleted long name.txt"
remove_tree /OldFolder
