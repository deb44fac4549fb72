#!/bin/sh
# make-ntfs-volumes.sh PATTERNFILE NTFSGEN OUTDIR: the generated NTFS test volumes.
set -eu
here=$(dirname "$0")
pattern=$1 gen=$2 out=$3
mkdir -p "$out"
# 4 KiB clusters holding four 1 KiB records; 512-byte clusters, so that one
# record spans two; 4 KiB sectors, whose records are 4 KiB.
"$here/make-ntfs-volume.sh" "$pattern" "$gen" "$out" ntfs4k 16 512 4096
"$here/make-ntfs-volume.sh" "$pattern" "$gen" "$out" ntfs512 16 512 512
"$here/make-ntfs-volume.sh" "$pattern" "$gen" "$out" ntfs4kn 16 4096 4096
