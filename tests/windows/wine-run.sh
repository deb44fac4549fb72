#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGUMENT...]
#
# Runs a program of the Windows cross build under Wine, in a Wine prefix of
# its own (PREFIX, inside the build folder), and exits with its exit code.
# This is the cross build's CMAKE_CROSSCOMPILING_EMULATOR: CTest and
# gtest_discover_tests call it with the program and its arguments.
#
# The prefix is made once, under a lock (CTest runs tests in parallel). Wine
# leaves daemons behind (wineserver, services, winedevice) that keep the
# standard handles they were started with; were those CTest's pipes, CTest
# would wait for them to close until its timeout. So the prefix is started
# with its output going to files, and the program's own output is collected
# in files and copied out after it ended.
set -u
prefix=$1
shift

export WINEPREFIX="$prefix"
export WINEARCH=win32
export WINEDEBUG=-all
# Local time of the prefix (Windows reads its own settings, not TZ, later on).
export TZ=UTC
# No Mono or Gecko installer dialogs, no menu entries on the host.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -f "$prefix/.ready" ]; then
        rm -rf "$prefix"
        if ! wineboot --init </dev/null >"$prefix.boot.log" 2>&1 9>&-; then
            echo "wine-run.sh: wineboot --init failed, see $prefix.boot.log" >&2
            exit 1
        fi
        # The prefix is written when the server that wineboot started ends.
        wineserver -w </dev/null >>"$prefix.boot.log" 2>&1 9>&-
        touch "$prefix/.ready"
    fi
    # One server (and with it the prefix's services) for the whole test
    # run, with its output going to files: it persists until it is told to
    # end (wineserver -k). This fails, harmlessly, when one runs already.
    wineserver -p </dev/null >>"$prefix.server.log" 2>&1 9>&- || true
) 9>"$prefix.lock" || exit 1

out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 1
err=$out.err
wine "$@" </dev/null >"$out" 2>"$err"
status=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit $status
