#!/bin/bash
# run-smoke.sh BUILD_DIR [SECONDS]: runs every fuzz target of a KESTREL_FUZZ
# build for a short time (30 s each by default) on corpora seeded from small
# generated volumes. Any crash, hang, leak or sanitizer report fails the run;
# the reproducer is left in BUILD_DIR/fuzz/artifacts/.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
work="$build/fuzz/work"
mkdir -p "$work" "$build/fuzz/artifacts"
"$here/make-seeds.sh" "$build/fuzz/fuzz_patternfile" "$work/seeds"

run() { # target seed-subfolder max-len
    corpus="$work/corpus-$1"
    mkdir -p "$corpus"
    cp "$work/seeds/$2"/* "$corpus/" 2>/dev/null || true
    echo "== $1 ($seconds s)"
    "$build/fuzz/$1" -max_total_time="$seconds" -max_len="$3" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$build/fuzz/artifacts/$1-" -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
}

run fuzz_fat_reader fat 131072
