#!/bin/sh
# make-demo-volume.sh OUT.img
#
# Builds the demo volume: a small FAT16 volume made with mkfs.fat and filled
# with mtools (nothing is mounted), then some files and one folder deleted, the
# way a user would lose them.
set -eu
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1

out=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$(dirname "$out")"
rm -f "$out"
mkfs.fat -C -F 16 -s 1 -n "HOLIDAY" -i 20240601 "$out" 8192 >/dev/null

cat > "$work/notes.txt" <<'TEXT'
Things to pack: passport, charger, sun cream, the good camera.
Remember to water the plants before leaving.
TEXT
cat > "$work/itinerary.txt" <<'TEXT'
Day 1  Arrive, check in at the harbour hotel.
Day 2  Boat trip to the island, lunch at the fish market.
Day 3  Walk along the cliffs, kestrels nesting near the lighthouse.
Day 4  Train back home.
TEXT
i=0
: > "$work/Budget for the summer holiday.csv"
echo "item;amount" >> "$work/Budget for the summer holiday.csv"
while [ $i -lt 40 ]; do
    echo "expense $i;$((i * 7 + 3)).50" >> "$work/Budget for the summer holiday.csv"
    i=$((i + 1))
done

m() { mmd -i "$out" "::$1"; }
c() { mcopy -i "$out" -o "$1" "::$2"; }

m /Documents
m /Pictures
m /Pictures/Cliffs
c "$work/notes.txt" /NOTES.TXT
c "$work/itinerary.txt" /Documents/itinerary.txt
c "$work/Budget for the summer holiday.csv" "/Documents/Budget for the summer holiday.csv"
c "$here/files/sunset.png" "/Pictures/Sunset over the harbour.png"
c "$here/files/kestrel.png" /Pictures/Cliffs/kestrel.png
c "$here/files/sunset.png" /Pictures/Cliffs/SUNSET2.PNG

# The mistakes: two files and a whole folder deleted.
mdel -i "$out" "::/Documents/Budget for the summer holiday.csv"
mdel -i "$out" ::/NOTES.TXT
mdeltree -i "$out" ::/Pictures/Cliffs
