#!/bin/sh
# Makes every screenshot under docs/screenshots/: runs each program's script in
# scripts/screenshots/ with the build folder as its argument (default: build).
# The scripts start their program under Xvfb and capture its windows.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
status=0
for script in scripts/screenshots/*.sh; do
    [ -e "$script" ] || continue
    echo "== $script"
    sh "$script" "$build" || status=1
done
exit $status
