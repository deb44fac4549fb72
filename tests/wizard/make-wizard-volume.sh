#!/bin/sh
# make-wizard-volume.sh PATTERNFILE OUTDIR
#
# Builds OUTDIR/wizard.img, a FAT16 volume (mkfs.fat + mtools) for the
# wizard's filters:
#   /KEEP.TXT            live
#   /EMPTY.DAT           deleted, 0 bytes
#   /REPORT.DOC          deleted, its clusters still free (good)
#   /Old report.txt      deleted, a long name
#   /FILLER.BIN          deleted, its clusters taken by /SUB/NEWER.BIN since (poor)
# Beside it: OUTDIR/wizard.src/, the bytes of every file copied in.
set -eu
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0

pattern=$1 out=$2
img="$out/wizard.img"
src="$out/wizard.src"
mkdir -p "$out"
rm -rf "$img" "$src"
mkdir -p "$src"
mkfs.fat -C -F 16 -s 2 -n WIZARD -i 12345678 "$img" 16384 >/dev/null

put() {
    "$pattern" "$1" "$2" "$src/$2"
    mcopy -i "$img" -o "$src/$2" "::/$2"
}

put 400 KEEP.TXT
put 0 EMPTY.DAT
put 1500 REPORT.DOC
put 900 "Old report.txt"
put 6000 FILLER.BIN
# NEWER.BIN's entry goes into a folder made first, so that it does not take
# FILLER.BIN's slot; its data takes FILLER.BIN's clusters.
mmd -i "$img" ::/SUB
mkdir -p "$src/SUB"
mdel -i "$img" ::/FILLER.BIN
put 6000 SUB/NEWER.BIN
mdel -i "$img" ::/EMPTY.DAT ::/REPORT.DOC "::/Old report.txt"
