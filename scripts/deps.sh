#!/bin/sh
# deps.sh list|check|install [ci]
#
# The Debian packages the project needs to build and test. "ci" adds what
# only the CI run uses (clang for the fuzzers, the Windows cross compiler,
# sleuthkit for comparisons, dpkg-dev and lintian for the Debian package,
# polkitd for the DTD its policy is checked against).
#   list     print the package names
#   check    exit 1 (and print the apt-get line) when some are missing
#   install  install the missing ones (as root); otherwise print the
#            apt-get line to run and exit 1
set -eu

BASE="cmake ninja-build g++ make pkgconf
 qt6-base-dev qt6-base-dev-tools libgl-dev
 libgtest-dev googletest
 dosfstools mtools ntfs-3g ntfs-3g-dev
 xvfb xauth
 desktop-file-utils imagemagick xdotool fonts-dejavu-core
 librsvg2-bin appstream man-db libxml2-utils"
CI="clang llvm libclang-rt-dev g++-mingw-w64-i686 sleuthkit dpkg-dev lintian polkitd"

action=${1:-list}
packages=$BASE
[ "${2:-}" = "ci" ] && packages="$BASE $CI"

missing() {
    for p in $packages; do
        status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
        case "$status" in
            *"install ok installed"*) ;;
            *) printf '%s ' "$p" ;;
        esac
    done
}

case "$action" in
list)
    echo $packages
    ;;
check|install)
    todo=$(missing)
    [ -z "$todo" ] && exit 0
    if [ "$action" = install ] && [ "$(id -u)" = 0 ]; then
        export DEBIAN_FRONTEND=noninteractive
        # A mirror in the middle of a sync fails an update now and then: try
        # again, then go on with the lists there are.
        for attempt in 1 2 3; do
            apt-get update -qq && break
            [ "$attempt" = 3 ] || sleep 20
        done
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $todo
        exit 0
    fi
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get install $todo" >&2
    exit 1
    ;;
*)
    echo "usage: deps.sh list|check|install [ci]" >&2
    exit 2
    ;;
esac
