#!/bin/bash
# check-package.sh BUILD
#
# Makes the Debian package of a build with CPack, lists it (dpkg-deb
# --contents), checks that it holds the install tree under /usr with the
# dependencies dpkg-shlibdeps found and the policy naming /usr/bin/salvage,
# and runs lintian: an error or a warning fails.
set -eu
build=$(cd "$1" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: scripts/deps.sh install ci"; exit 1; }
done
work=$(mktemp -d /tmp/kestrel-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT

rm -f "$build"/kestrel_*.deb
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$build"/kestrel_*.deb)
echo "== $deb"
dpkg-deb --info "$deb"
echo "== dpkg-deb --contents"
dpkg-deb --contents "$deb" | tee "$work/contents"

faults=0
fault() { echo "FAULT: $*"; faults=$((faults + 1)); }
for path in usr/bin/salvage usr/bin/salvage-cli usr/bin/kestrel usr/bin/kestrelupdate \
    usr/libexec/kestrel/kestrel usr/libexec/kestrel/kestrelupdate usr/libexec/kestrel/version.zip \
    usr/libexec/kestrel/salvage usr/libexec/kestrel/setup/salvage \
    usr/share/applications/org.example.kestrel.desktop usr/share/applications/org.example.kestrel.salvage.desktop \
    usr/share/applications/org.example.kestrel.update.desktop \
    usr/share/icons/hicolor/scalable/apps/org.example.kestrel.salvage.svg \
    usr/share/icons/hicolor/48x48/apps/org.example.kestrel.salvage.png \
    usr/share/metainfo/org.example.kestrel.salvage.metainfo.xml \
    usr/share/polkit-1/actions/org.example.kestrel.salvage.policy \
    usr/share/man/man1/salvage-cli.1.gz usr/share/bash-completion/completions/salvage-cli \
    usr/share/doc/kestrel/copyright usr/share/doc/kestrel/help/index.html; do
    grep -qE " \./$path( |\$)" "$work/contents" || fault "the package lacks /$path"
done
grep -qE ' \./usr/lib/[^/]+/kestrel/libkestrelres\.so$' "$work/contents" || fault "the package lacks kestrelres"
depends=$(dpkg-deb --field "$deb" Depends)
case $depends in *libqt6widgets6*libstdc++6*) ;; *) fault "Depends is \"$depends\"" ;; esac
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/polkit-1/actions/org.example.kestrel.salvage.policy |
    grep -q '"org.freedesktop.policykit.exec.path">/usr/bin/salvage<' || fault "the policy does not name /usr/bin/salvage"

echo "== lintian"
status=0
lintian --fail-on error,warning --display-info --pedantic "$deb" >"$work/lintian" 2>&1 || status=$?
grep -v "running with root privileges" "$work/lintian" || true
[ "$status" = 0 ] || fault "lintian found errors or warnings"

[ "$faults" = 0 ] || { echo "$faults fault(s) in the package"; exit 1; }
echo "the package $deb is whole"
