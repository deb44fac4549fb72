#!/bin/sh
# make-fat-scenarios.sh PATTERNFILE OUTDIR
#
# Builds OUTDIR/scenarios.img, a FAT16 volume (mkfs.fat + mtools) with the
# corner cases of a directory walk; two of them need a damaged FAT, made by
# patching one FAT entry (in both FATs) after mtools is done:
#   /Here/Intact       folder tree deleted with mdeltree, nothing reused: shown with its contents
#   /Here/Reused       deleted folder whose first cluster /There/NewDir took: shown, not descended into
#   /Also/Overwritten  deleted folder whose first cluster /There/data.bin took: shown, not descended into
#   /Loop              40 files; the folder's cluster chain loops back to its first cluster
#   /Anc/Child         40 files; the chain of Child runs on into the first cluster of Anc
# Beside it, as make-fat-volume.sh writes them:
#   OUTDIR/scenarios.src/      the bytes of every file copied in
#   OUTDIR/scenarios.manifest  what a search must find (the files lost with
#                              the reused folders are not in it)
set -eu
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0

pattern=$1 out=$2
name=scenarios
img="$out/$name.img"
src="$out/$name.src"
manifest="$out/$name.manifest"
mkdir -p "$out"
rm -rf "$img" "$src" "$manifest"
mkdir -p "$src"
mkfs.fat -C -F 16 -s 1 -n SCENARIOS -i 5CE0A12E "$img" 8192 >/dev/null

# note live|deleted file|dir PATH SIZE
note() { printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" >> "$manifest"; }
folder() { mmd -i "$img" "::$1"; mkdir -p "$src$1"; note live dir "$1" 0; }
put() {
    mkdir -p "$src$(dirname "$2")"
    "$pattern" "$1" "$2" "$src$2"
    mcopy -i "$img" -o "$src$2" "::$2"
    note live file "$2" "$(wc -c < "$src$2" | tr -d ' ')"
}
# Files that will be lost with their folder: copied in, not in the manifest.
put_lost() {
    mkdir -p "$src$(dirname "$2")"
    "$pattern" "$1" "$2" "$src$2"
    mcopy -i "$img" -o "$src$2" "::$2"
}
# First and last cluster of a file or folder, from mshowfat's "<a-b> <c>".
first_cluster() { mshowfat -i "$img" "::$1" | sed 's/^[^<]*//' | grep -o '[0-9][0-9]*' | head -n 1; }
last_cluster() { mshowfat -i "$img" "::$1" | sed 's/^[^<]*//' | grep -o '[0-9][0-9]*' | tail -n 1; }
u16_at() { od -An -tu2 -j "$1" -N 2 "$img" | tr -d ' '; }
u8_at() { od -An -tu1 -j "$1" -N 1 "$img" | tr -d ' '; }
# set_fat16 CLUSTER VALUE: writes the entry in every FAT.
set_fat16() {
    reserved=$(u16_at 14) fats=$(u8_at 16) per_fat=$(u16_at 22)
    lo=$(( $2 & 255 )) hi=$(( ($2 >> 8) & 255 ))
    i=0
    while [ "$i" -lt "$fats" ]; do
        offset=$(( (reserved + i * per_fat) * 512 + $1 * 2 ))
        printf "\\$(printf %o "$lo")\\$(printf %o "$hi")" |
            dd of="$img" bs=1 seek="$offset" conv=notrunc 2>/dev/null
        i=$((i + 1))
    done
}

folder /Here
folder /Also
folder /There
folder /Anc
put 700 /Anc/first.txt
put 900 /Anc/second.txt
folder /Anc/Child
folder /Loop
i=1
while [ "$i" -le 40 ]; do
    put 100 "/Anc/Child/Child file number $i.txt"
    put 100 "/Loop/Looping file number $i.txt"
    i=$((i + 1))
done

folder /Here/Intact
put 1500 /Here/Intact/inside.txt
folder /Here/Intact/Inner
put 2500 "/Here/Intact/Inner/deep inside.txt"

# mtools takes the lowest free cluster, so the folder made next takes the
# first cluster of the folder just deleted. (It also takes the first free
# directory slot, hence a folder of its own for each deleted folder.)
mmd -i "$img" ::/Here/Reused
put_lost 600 /Here/Reused/lost.txt
mdeltree -i "$img" ::/Here/Reused
note deleted dir /Here/Reused 0
folder /There/NewDir

mmd -i "$img" ::/Also/Overwritten
put_lost 600 "/Also/Overwritten/lost too.txt"
mdeltree -i "$img" ::/Also/Overwritten
note deleted dir /Also/Overwritten 0
put 4000 /There/data.bin

mdeltree -i "$img" ::/Here/Intact
sed -i "s#^live\t\(file\|dir\)\t/Here/Intact\([/\t]\)#deleted\t\1\t/Here/Intact\2#" "$manifest"

# The damage: a loop, and a chain that runs into an ancestor.
set_fat16 "$(last_cluster /Loop)" "$(first_cluster /Loop)"
set_fat16 "$(last_cluster /Anc/Child)" "$(first_cluster /Anc)"
