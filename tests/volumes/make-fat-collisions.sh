#!/bin/sh
# make-fat-collisions.sh PATTERNFILE OUTDIR
#
# Builds OUTDIR/collisions.img, a FAT12 volume (mkfs.fat + mtools) whose
# deleted files come out under names that collide in the target folder:
#   /AILE1.TXT, /BILE1.TXT   both deleted: both become "?ILE1.TXT"
#   /README.TXT              deleted (a test puts a README.TXT in the target first)
#   /ADIR/X.TXT, /BDIR/X.TXT both folders deleted: two "?DIR" folders with an X.TXT each
#   /LARGE.BIN               deleted (a test moves its first cluster past the volume)
#   /KEEP.TXT                live
# Every file and folder carries a fixed date (mcopy -m, SOURCE_DATE_EPOCH). Beside it:
#   OUTDIR/collisions.src/   the bytes of every file copied in, by path
set -eu
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0

pattern=$1 out=$2
img="$out/collisions.img"
src="$out/collisions.src"
mkdir -p "$out"
rm -rf "$img" "$src"
mkdir -p "$src"
mkfs.fat -C -F 12 -n COLLISIONS -i 0C011DE5 "$img" 1440 >/dev/null

# put SIZE /PATH DATE: a pattern file dated DATE (local time), copied in with its date.
put() {
    mkdir -p "$src$(dirname "$2")"
    "$pattern" "$1" "$2" "$src$2"
    touch -d "$3" "$src$2"
    mcopy -m -i "$img" -o "$src$2" "::$2"
}

put 1500 /AILE1.TXT "2019-03-31 01:59:58"
put 2500 /BILE1.TXT "2021-07-04 18:30:12"
put 700 /README.TXT "2004-02-29 23:59:58"
put 400 /KEEP.TXT "2020-01-01 00:00:00"
# The folders' own dates: 2016-06-15 10:20:30 UTC.
SOURCE_DATE_EPOCH=1465986030 mmd -i "$img" ::/ADIR ::/BDIR
put 600 /ADIR/X.TXT "2018-10-28 02:30:00"
put 900 /BDIR/X.TXT "2017-12-24 12:00:00"
put 3000 /LARGE.BIN "2022-05-05 05:05:04"

mdel -i "$img" ::/AILE1.TXT ::/BILE1.TXT ::/README.TXT ::/LARGE.BIN
mdeltree -i "$img" ::/ADIR ::/BDIR
