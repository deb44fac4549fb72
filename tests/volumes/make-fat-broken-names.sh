#!/bin/sh
# make-fat-broken-names.sh PATTERNFILE OUTDIR
#
# Builds OUTDIR/broken-names.img, a FAT12 volume (mkfs.fat + mtools) whose
# deleted entries have lost their first letters, in this order in the root:
#   /FILE.TXT    deleted: "?ILE.TXT"
#   /OTHER.DAT   deleted: "?THER.DAT"
#   /KEEP.TXT    live
#   /NOTE.TXT    deleted: "?OTE.TXT"
#   /DOCS/X.TXT  folder deleted: "?OCS" with X.TXT in it
# Beside it: OUTDIR/broken-names.src/, the bytes of every file copied in, by path.
set -eu
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0

pattern=$1 out=$2
img="$out/broken-names.img"
src="$out/broken-names.src"
mkdir -p "$out"
rm -rf "$img" "$src"
mkdir -p "$src"
mkfs.fat -C -F 12 -n BROKEN -i 0B40CE00 "$img" 1440 >/dev/null

put() {
    mkdir -p "$src$(dirname "$2")"
    "$pattern" "$1" "$2" "$src$2"
    mcopy -i "$img" -o "$src$2" "::$2"
}

put 1200 /FILE.TXT
put 2100 /OTHER.DAT
put 300 /KEEP.TXT
put 900 /NOTE.TXT
mmd -i "$img" ::/DOCS
put 700 /DOCS/X.TXT
mdel -i "$img" ::/FILE.TXT ::/OTHER.DAT ::/NOTE.TXT
mdeltree -i "$img" ::/DOCS
