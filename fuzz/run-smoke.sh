#!/bin/bash
# run-smoke.sh BUILD_DIR [SECONDS]: runs every fuzz target of a KESTREL_FUZZ
# build for a short time (30 s each by default) on corpora seeded from small
# generated volumes and the reference images. Any crash, hang, leak or
# sanitizer report fails the run (after the other targets have had their
# turn); the reproducer is left in BUILD_DIR/fuzz/artifacts/ and the log in
# BUILD_DIR/fuzz/TARGET.log.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
work="$build/fuzz/work"
mkdir -p "$work" "$build/fuzz/artifacts"
"$here/make-seeds.sh" "$build/fuzz" "$work/seeds"

failed=""
run() { # target seed-subfolder max-len
    corpus="$work/corpus-$1"
    log="$build/fuzz/$1.log"
    mkdir -p "$corpus"
    cp "$work/seeds/$2"/* "$corpus/"
    echo "== $1 ($seconds s)"
    if "$build/fuzz/$1" -max_total_time="$seconds" -max_len="$3" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$build/fuzz/artifacts/$1-" -print_final_stats=1 "$corpus" > "$log" 2>&1; then
        grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb))' "$log"
        echo "corpus: $(find "$corpus" -type f | wc -l) inputs"
    else
        tail -n 60 "$log"
        echo "FAILED: $1 (log: $log)"
        failed="$failed $1"
    fi
}

run fuzz_fat_reader fat 131072
run fuzz_fat_search fat 131072
run fuzz_lznt1 lznt1 65536
run fuzz_ntfs ntfs 262144
run fuzz_recover recover 262144

if [ -n "$failed" ]; then
    echo "fuzz smoke run failed:$failed"
    exit 1
fi
