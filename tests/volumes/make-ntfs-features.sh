#!/bin/sh
# make-ntfs-features.sh PATTERNFILE NTFSGEN OUTDIR
#
# Builds the NTFS volumes of what current Windows versions write, each made
# with mkntfs and filled by ntfsgen (libntfs-3g), with NAME.src/ holding the
# bytes of every file and stream (a stream as "file:stream") and
# NAME.manifest as make-ntfs-volume.sh writes it:
#   ntfsfeat   4 KiB clusters: compressed files (one unit, exactly one unit,
#              one cluster more, many units with holes and a unit that does
#              not compress), encrypted files, files whose runs fill their
#              record so that their data continues in extent records (an
#              attribute list), named streams of live and deleted files; some
#              of each deleted.
#   ntfs128k, ntfs1m, ntfs2m
#              clusters of 128 KiB, 1 MiB and 2 MiB: a resident file, small
#              and fragmented files, a named stream, deletions.
set -eu
PATH="$PATH:/usr/sbin:/sbin"
pattern=$1 gen=$2 out=$3
mkdir -p "$out"

# begin NAME SIZE_MIB CLUSTER: a fresh volume and script.
begin() {
    name=$1
    img="$out/$name.img" src="$out/$name.src" script="$out/$name.script"
    parts="$out/$name.parts"   # pieces that are not files of their own
    rm -rf "$img" "$src" "$script" "$parts" "$out/$name.manifest"
    mkdir -p "$src" "$parts"
    truncate -s "$2M" "$img"
    mkntfs -F -f -q -s 512 -c "$3" -L KESTREL "$img" >/dev/null 2>&1
}
finish() {
    LC_ALL=C.UTF-8 "$gen" "$img" "$script" "$out/$name.manifest"
}
cmd() {
    (IFS='	'; printf '%s\n' "$*") >> "$script"
}
# random SIZE /PATH: pseudo-random bytes (they do not compress).
random() {
    "$pattern" "$1" "$2" "$src$2"
}
# text BYTES /PATH SEED: numbered lines of text (they compress well).
text() {
    awk -v n="$1" -v seed="$3" 'BEGIN {
        s = ""
        for (i = 1; length(s) < n; i++)
            s = s sprintf("%s line %d: value %d, the quick brown fox %d\n", seed, i, (i * 7919) % 1000, i % 97)
        printf "%s", substr(s, 1, n)
    }' > "$src$2"
}

begin ntfsfeat 24 4096
# Compressed files (units of 16 clusters, 64 KiB).
text 20000 /comp1.txt one;              cmd compress /comp1.txt "$src/comp1.txt"
text 65536 /comp16.txt sixteen;         cmd compress /comp16.txt "$src/comp16.txt"
text 69632 /comp17.txt seventeen;       cmd compress /comp17.txt "$src/comp17.txt"
# Many units: text, a hole of several units, random bytes (stored plainly),
# another hole, and text again ending inside a unit.
text 150000 /many.1 many
mv "$src/many.1" "$parts/many.1"
"$pattern" 65536 /many.2 "$parts/many.2"
text 30000 /many.3 tail
mv "$src/many.3" "$parts/many.3"
cmd compress /compmany.txt "$parts/many.1"
cmd write /compmany.txt 393216 "$parts/many.2"
cmd write /compmany.txt 720000 "$parts/many.3"
{
    cat "$parts/many.1"
    head -c $((393216 - 150000)) /dev/zero
    cat "$parts/many.2"
    head -c $((720000 - 393216 - 65536)) /dev/zero
    cat "$parts/many.3"
} > "$src/compmany.txt"
text 100000 /compgone.txt gone;         cmd compress /compgone.txt "$src/compgone.txt"
# Encrypted files: the stored bytes are what libntfs-3g wrote.
random 12000 /secret.bin;               cmd put /secret.bin "$src/secret.bin"; cmd encrypt /secret.bin
random 9000 /secretgone.bin;            cmd put /secretgone.bin "$src/secretgone.bin"; cmd encrypt /secretgone.bin
# Files written a cluster at a time with a hole after each: more runs than
# a record holds, so their data goes on in extent records (an attribute list).
# scatter NAME CLUSTERS: SRC's pieces and the holes between them.
scatter() {
    "$pattern" $(($2 * 4096)) "$1" "$parts/$1"
    : > "$src/frag/$1"
    i=0
    while [ $i -lt "$2" ]; do
        dd if="$parts/$1" of="$src/frag/$1" bs=4096 skip=$i seek=$((2 * i)) count=1 conv=notrunc 2>/dev/null
        i=$((i + 1))
    done
    cmd scatter "/frag/$1" "$parts/$1" 4096
}
mkdir -p "$src/frag"; cmd mkdir /frag
scatter listed.bin 400
scatter listgone.bin 300
# Named streams of a live and of a deleted file, resident and not.
random 3000 /withads.txt;               cmd put /withads.txt "$src/withads.txt"
random 100 /withads.txt:small;          cmd stream /withads.txt small "$src/withads.txt:small"
random 20000 /withads.txt:big;          cmd stream /withads.txt big "$src/withads.txt:big"
random 5000 /adsgone.txt;               cmd put /adsgone.txt "$src/adsgone.txt"
random 7000 /adsgone.txt:hidden;        cmd stream /adsgone.txt hidden "$src/adsgone.txt:hidden"
cmd delete /compgone.txt
cmd delete /secretgone.bin
cmd delete /frag/listgone.bin
cmd delete /adsgone.txt
finish

# big NAME SIZE_MIB CLUSTER
big() {
    begin "$1" "$2" "$3"
    random 300 /resident.txt;           cmd put /resident.txt "$src/resident.txt"
    random 5000 /small.bin;             cmd put /small.bin "$src/small.bin"
    random 1000 /small.bin:ADS;         cmd stream /small.bin ADS "$src/small.bin:ADS"
    mkdir -p "$src/dir"; cmd mkdir /dir
    random $(($3 * 2 + 777)) /dir/a.bin
    random $(($3 * 3 + 5)) /dir/b.bin
    cmd interleave "$3" /dir/a.bin "$src/dir/a.bin" /dir/b.bin "$src/dir/b.bin"
    random 4000 /gone.bin;              cmd put /gone.bin "$src/gone.bin"
    cmd delete /gone.bin
    cmd delete /dir/b.bin
    finish
}
big ntfs128k 16 131072
big ntfs1m 24 1048576
big ntfs2m 64 2097152
