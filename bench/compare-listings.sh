#!/bin/sh
# compare-listings.sh BASELINE_CLI CLI IMAGE...: every listing of `list`
# (text, JSON, deleted view, without the condition estimate) of each image
# by two builds, compared byte for byte. Prints one line per image and ends
# with status 1 when any listing differs. For the big bench volumes, which
# the tests do not keep.
set -eu
base=$1 cli=$2
shift 2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
for img in "$@"; do
    same=yes
    for mode in "" "--json" "--deleted" "--deleted --json" "--json --no-condition"; do
        # shellcheck disable=SC2086
        "$base" list $mode "$img" > "$tmp/a"
        # shellcheck disable=SC2086
        "$cli" list $mode "$img" > "$tmp/b"
        if ! cmp -s "$tmp/a" "$tmp/b"; then
            same=no
            echo "$img: list $mode differs:"
            diff "$tmp/a" "$tmp/b" | head -5
        fi
    done
    echo "$img: $(wc -l < "$tmp/a") lines, identical: $same"
    [ "$same" = yes ] || status=1
done
exit $status
