#!/bin/sh
# make-fat-volumes.sh PATTERNFILE OUTDIR: the generated FAT test volumes.
set -eu
here=$(dirname "$0")
pattern=$1 out=$2
mkdir -p "$out"
"$here/make-fat-volume.sh" "$pattern" "$out" fat12 12 1440
"$here/make-fat-volume.sh" "$pattern" "$out" fat16 16 16384 4
"$here/make-fat-volume.sh" "$pattern" "$out" fat32 32 34816 1
