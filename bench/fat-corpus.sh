#!/bin/sh
# fat-corpus.sh PATTERNFILE SALVAGE_CLI WORKDIR [TABLE]
#
# How many deleted FAT files come back byte-exact, by each rule that places a
# deleted file's clusters (salvage-cli recover --fat-clusters gaps|consecutive).
#
# Builds a corpus of FAT12/16/32 volumes with mkfs.fat and mtools, cluster
# sizes 512 B to 32 KiB, each filled the same way, scaled to its cluster size:
# files written one after another, pairs of files grown by turns (mtools
# rewrites a file into the lowest free clusters, so they interleave on
# FAT12/16), a file appended to after others were written, holes left by
# deletions filled by larger files (fragmented), then deletions in an order
# drawn from the volume's seed, new files that reuse freed clusters, some of
# them deleted again, and a folder deleted whole. Every file gets its own
# name and a clock that moves on by 90 s per operation (mcopy -m).
#
# Then recovers every deleted file with each rule and compares it with the
# bytes that were copied in (by content, so that an entry whose long name was
# overwritten still counts). Prints a table (and writes it to TABLE when given):
#   deleted      files deleted while the volume was made
#   intact       of them, files none of whose clusters a later file took (the
#                most any rule could bring back, if its entry survived)
#   listed       deleted files the search lists (new entries reuse the slots
#                of deleted ones, which loses those)
#   consecutive  byte-exact by the consecutive rule
#   gaps         byte-exact by the free-gaps rule (the default)
#   ambiguous    files the free-gaps rule reported as ambiguous
set -eu
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0

pattern=$1 cli=$2 work=$3 table=${4:-}
mkdir -p "$work"

# volume NAME FATBITS SECTORS_PER_CLUSTER SIZE_KIB SEED
build_volume() {
    name=$1 bits=$2 spc=$3 kib=$4 seed=$5
    img="$work/$name.img" src="$work/$name.src" deleted="$work/$name.deleted"
    rm -rf "$img" "$src" "$deleted" "$work/$name.log"
    mkdir -p "$src"
    : > "$deleted"
    mkfs.fat -C -F "$bits" -s "$spc" -n CORPUS -i 12345678 "$img" "$kib" >/dev/null
    cb=$((spc * 512))
    clock=1075000000
    # rnd N: R := a number below N, from the volume's seed
    rnd() { seed=$(( (seed * 1103515245 + 12345) % 2147483648 )); R=$(( seed / 65536 % $1 )); }
    # put PATH CLUSTERS [-o]: a file of that many clusters (the last one partly used)
    put() {
        rnd "$cb"
        size=$(( $2 * cb - R ))
        [ "$size" -gt 0 ] || size=1
        "$pattern" "$size" "$name$1-$clock" "$src$1"
        clock=$((clock + 90))
        touch -d "@$clock" "$src$1"
        mcopy -m ${3:-} -i "$img" "$src$1" "::$1"
        # Which clusters it took: "<2> <4-6>" as a list of numbers.
        printf 'put\t%s\t%s\n' "$1" "$(mshowfat -i "$img" "::$1" | sed 's/^[^<]*//' |
            sed 's/<\([0-9]*\)>/<\1-\1>/g' | tr -d '<>' )" >> "$work/$name.log"
    }
    del() { mdel -i "$img" "::$1"; echo "$1" >> "$deleted"; printf 'del\t%s\n' "$1" >> "$work/$name.log"; }

    i=1
    while [ $i -le 12 ]; do rnd 6; put "/base file $i.dat" $((1 + R)); i=$((i + 1)); done
    # Two pairs grown by turns.
    for pair in 1 2; do
        k=1
        while [ $k -le 3 ]; do
            put "/turn file $pair a.dat" $k -o
            put "/turn file $pair b.dat" $k -o
            k=$((k + 1))
        done
    done
    # Appended to after others were written.
    put "/appended file.dat" 2
    rnd 4; put "/after file 1.dat" $((1 + R))
    rnd 4; put "/after file 2.dat" $((1 + R))
    put "/appended file.dat" 6 -o
    # Holes filled by larger files.
    del "/base file 3.dat"
    del "/base file 6.dat"
    del "/base file 9.dat"
    put "/into holes 1.dat" 7
    put "/into holes 2.dat" 5
    mmd -i "$img" "::/Old folder"
    mkdir -p "$src/Old folder"
    put "/Old folder/inside file 1.dat" 3
    rnd 5; put "/Old folder/inside file 2.dat" $((1 + R))
    # Deletions in an order drawn from the seed.
    : > "$work/$name.order"
    for f in "/turn file 1 a.dat" "/base file 1.dat" "/into holes 1.dat" "/appended file.dat" "/base file 10.dat" \
             "/after file 2.dat" "/turn file 2 b.dat" "/base file 5.dat" "/into holes 2.dat" "/turn file 1 b.dat"; do
        rnd 1000
        echo "$R $f" >> "$work/$name.order"
    done
    sort -n "$work/$name.order" | while read -r _ f; do echo "$f"; done > "$work/$name.order.sorted"
    mv "$work/$name.order.sorted" "$work/$name.order"
    while read -r f; do del "$f"; done < "$work/$name.order"
    # Freed clusters reused by new files; some of them deleted again.
    put "/reuse file 1.dat" 3
    put "/reuse file 2.dat" 4
    put "/reuse file 3.dat" 2
    del "/reuse file 2.dat"
    del "/base file 12.dat"
    mdeltree -i "$img" "::/Old folder"
    for f in "/Old folder/inside file 1.dat" "/Old folder/inside file 2.dat"; do
        echo "$f" >> "$deleted"
        printf 'del\t%s\n' "$f" >> "$work/$name.log"
    done
}

# intact NAME: deleted files none of whose clusters a later file took (the
# most any rule can bring back)
intact() {
    awk -F '\t' '
        function overlaps(a, b,   i, j, n, m, x, y, p, q) {
            n = split(a, x, " "); m = split(b, y, " ")
            for (i = 1; i <= n; i++) for (j = 1; j <= m; j++) {
                split(x[i], p, "-"); split(y[j], q, "-")
                if (p[1] + 0 <= q[2] + 0 && q[1] + 0 <= p[2] + 0) return 1
            }
            return 0
        }
        $1 == "put" { for (f in gone) if (alive[f] && overlaps(chain[f], $3)) alive[f] = 0; chain[$2] = $3 }
        $1 == "del" { gone[$2] = 1; alive[$2] = 1 }
        END { n = 0; for (f in alive) n += alive[f]; print n }' "$work/$1.log"
}

# exact NAME RULE: deleted files recovered byte-exact by RULE; "exact ambiguous"
exact() {
    out="$work/$1.out-$2"
    rm -rf "$out"
    "$cli" recover "$work/$1.img" --to "$out" --fat-clusters "$2" --json > "$work/$1.$2.json"
    # By content: an entry whose long name was overwritten comes back under
    # its short name ("_ASEFI~9.DAT") and still counts.
    find "$out" -type f -exec md5sum {} + 2>/dev/null | cut -d ' ' -f 1 | sort -u > "$work/$1.$2.sums"
    n=0
    while read -r f; do
        if grep -qx "$(md5sum < "$work/$1.src$f" | cut -d ' ' -f 1)" "$work/$1.$2.sums"; then n=$((n + 1)); fi
    done < "$work/$1.deleted"
    echo "$n $(grep -c '"ambiguous":true' "$work/$1.$2.json" || true)"
}

row() {
    build_volume "$@"
    files=$(wc -l < "$work/$1.deleted" | tr -d ' ')
    set -- "$1" "$2" "$3"
    listed=$("$cli" list --deleted --json --no-condition "$work/$1.img" | grep -c '"type":"file","deleted":true' || true)
    c=$(exact "$1" consecutive)
    g=$(exact "$1" gaps)
    printf '| %-10s | FAT%-2s | %7s | %7s | %6s | %6s | %11s | %4s | %9s |\n' "$1" "$2" "$(( $3 * 512 ))" "$files" \
        "$(intact "$1")" "$listed" "${c% *}" "${g% *}" "${g#* }"
}

total() { awk -F '|' '{ for (i = 5; i <= 10; i++) t[i] += $i } END {
    printf "| %-10s | %-5s | %7s | %7d | %6d | %6d | %11d | %4d | %9d |\n", "all", "", "", t[5], t[6], t[7], t[8], t[9], t[10] }'; }

{
    echo "| volume     | type  | cluster | deleted | intact | listed | consecutive | gaps | ambiguous |"
    echo "|------------|-------|---------|---------|--------|--------|-------------|------|-----------|"
    {
        for run in a b; do
            s=1; [ "$run" = b ] && s=500
            row "fat12-512$run"  12 1  2000    $((s + 11))
            row "fat12-1k$run"   12 2  3900    $((s + 12))
            row "fat12-2k$run"   12 4  7800    $((s + 13))
            row "fat12-4k$run"   12 8  15600   $((s + 14))
            row "fat16-512$run"  16 1  16384   $((s + 21))
            row "fat16-2k$run"   16 4  65536   $((s + 22))
            row "fat16-8k$run"   16 16 262144  $((s + 23))
            row "fat16-32k$run"  16 64 524288  $((s + 24))
            row "fat32-512$run"  32 1  34816   $((s + 31))
            row "fat32-4k$run"   32 8  270000  $((s + 32))
            row "fat32-32k$run"  32 64 2200000 $((s + 33))
        done
    } | tee "$work/rows"
    total < "$work/rows"
} > "$work/table.md"
cat "$work/table.md"
[ -n "$table" ] && cp "$work/table.md" "$table"
rm -f "$work"/*.img
exit 0
