#!/bin/sh
# compare-cli.sh NATIVE_CLI WINE_RUN PREFIX WINDOWS_CLI WORKDIR IMAGE...
#
# salvage-cli.exe recover under Wine against the native salvage-cli on the
# same images: the same files with the same bytes, the same report lines, and
# paths printed with one separator. A name the native build keeps and Windows
# cannot take (a ":" of a stream) is compared under its Windows name.
# Exit 77 (skipped) when there is no native tool to compare with.
set -u
native=$1 winerun=$2 prefix=$3 wincli=$4 work=$5
shift 5
[ -x "$native" ] || { echo "no native salvage-cli at $native"; exit 77; }
status=0
fail() { echo "FAIL: $*"; status=1; }

# Relative paths (with "/") and MD5 digests of every file below a folder.
digests() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r md5sum); }
# A native name as Windows writes it.
winname() { sed 's/[:<>"|?*]/_/g'; }

n=0
for image in "$@"; do
    for mode in deleted all; do
        n=$((n + 1))
        case $mode in all) extra=--all ;; *) extra= ;; esac
        rm -rf "$work/$n"
        mkdir -p "$work/$n"
        nout="$work/$n/native"
        # A folder name outside the code page: the wide command line and paths.
        wout="$work/$n/windows-Größe ★"
        # The Windows output folder as Wine's Z: drive shows it.
        wdir="Z:$(printf '%s' "$wout" | tr / '\\')"
        "$native" recover "$image" --to "$nout" $extra >"$work/$n/native.out" 2>"$work/$n/native.err"
        ncode=$?
        "$winerun" "$prefix" "$wincli" recover "$image" --to "$wdir" $extra >"$work/$n/windows.out" \
            2>"$work/$n/windows.err"
        wcode=$?
        echo "== $(basename "$image") ($mode): exit $ncode native, $wcode Windows"
        [ "$ncode" = "$wcode" ] || fail "exit codes differ"
        tr -d '\r' <"$work/$n/windows.out" >"$work/$n/windows.txt"
        # Every path line starts with the output folder and has no "/" in it.
        if grep -F "$wdir" "$work/$n/windows.txt" | cut -f1 | grep -q /; then
            fail "paths with two kinds of separator:"
            grep -F "$wdir" "$work/$n/windows.txt" | cut -f1 | grep / | head -5
        fi
        # The report, with the output folder taken off, is the native one.
        sed "s|^$nout/||" "$work/$n/native.out" | winname >"$work/$n/native.rel"
        WDIR="$wdir\\" awk 'BEGIN { dir = ENVIRON["WDIR"] }
            index($0, dir) == 1 { $0 = substr($0, length(dir) + 1) } { print }' \
            "$work/$n/windows.txt" | sed 's|\\|/|g' >"$work/$n/windows.rel"
        if ! cmp -s "$work/$n/native.rel" "$work/$n/windows.rel"; then
            fail "the reports differ:"
            diff "$work/$n/native.rel" "$work/$n/windows.rel" | head -20
        fi
        digests "$nout" | winname >"$work/$n/native.md5"
        digests "$wout" >"$work/$n/windows.md5"
        files=$(wc -l <"$work/$n/native.md5")
        [ "$files" -gt 0 ] || fail "nothing was recovered"
        if ! cmp -s "$work/$n/native.md5" "$work/$n/windows.md5"; then
            fail "the recovered files differ:"
            diff "$work/$n/native.md5" "$work/$n/windows.md5" | head -20
        else
            echo "   $files files, the same bytes"
        fi
    done
done
exit $status
