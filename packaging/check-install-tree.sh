#!/bin/bash
# check-install-tree.sh BUILD [PREFIX]
#
# Installs the build into a temporary prefix (with a space in its name; or
# into PREFIX when given, which is then kept) and checks the tree as a user's
# desktop would see it: the programs and the suite folder, every desktop
# entry (desktop-file-validate) with its program and icons, the AppStream
# metainfo (appstreamcli validate --no-net) and the screenshots it names,
# the polkit policy, the manual pages (man -l, warnings count as faults) and
# salvage-cli's page and completion against its --help, the help pages. Then
# the installed salvage-cli recovers the demo volume, and the installed
# salvage finds its help, pictures and policy (salvage --check-install).
# Every fault is reported; the exit status is 1 when there was one.
set -u
PATH="$PATH:/usr/sbin:/sbin"
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
id=org.example.kestrel
faults=0
fault() { echo "FAULT: $*"; faults=$((faults + 1)); }
ok() { echo "ok: $*"; }

for tool in desktop-file-validate appstreamcli man xmllint identify mkfs.fat mcopy; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: scripts/deps.sh install"; exit 1; }
done

work=$(mktemp -d /tmp/kestrel-tree.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=${2:-"$work/Kestrel Suite"}
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAULT: cmake --install failed"
    exit 1
fi
prefix=$(cd "$prefix" && pwd)
cd "$prefix" || exit 1

# --- The layout -------------------------------------------------------------
for program in salvage salvage-cli kestrel kestrelupdate; do
    [ -x "bin/$program" ] || fault "bin/$program is missing or not executable"
done
# The launcher and the wizard live in the suite folder; bin/ links to them.
for program in kestrel kestrelupdate; do
    target=$(readlink -f "bin/$program")
    [ "$target" = "$prefix/libexec/kestrel/$program" ] || fault "bin/$program leads to $target"
done
for file in kestrel.version salvage.version version.zip; do
    [ -f "libexec/kestrel/$file" ] || fault "libexec/kestrel/$file is missing"
done
# The tool folder's salvage, and the installable copy in its setup folder.
for link in libexec/kestrel/salvage libexec/kestrel/setup/salvage; do
    [ "$(readlink -f "$link")" = "$prefix/bin/salvage" ] || fault "$link does not lead to bin/salvage"
done
find lib -path '*/kestrel/libkestrelres.so' | grep -q . || fault "no lib/ARCH/kestrel/libkestrelres.so"
for file in README.md copyright changelog.gz help/index.html; do
    [ -f "share/doc/kestrel/$file" ] || fault "share/doc/kestrel/$file is missing"
done
[ -e share/kestrel ] && fault "share/kestrel is left over (the help is in share/doc/kestrel/help)"
# Nothing installed may point back into the build or the source tree.
if grep -rlF -e "$build" -e "$source_dir" share libexec/kestrel/*.version >"$work/leaks" 2>/dev/null; then
    fault "files naming the build or source tree: $(tr '\n' ' ' <"$work/leaks")"
fi
for program in bin/salvage bin/salvage-cli libexec/kestrel/kestrel libexec/kestrel/kestrelupdate; do
    if ldd "$program" | grep -q "not found"; then
        fault "$program: $(ldd "$program" | grep 'not found' | tr '\n' ' ')"
    fi
done
ok "layout"

# --- Desktop entries and icons ----------------------------------------------
entries=(share/applications/*.desktop)
[ "${#entries[@]}" = 3 ] || fault "expected 3 desktop entries, found ${#entries[@]}"
for entry in "${entries[@]}"; do
    out=$(desktop-file-validate "$entry" 2>&1) || fault "$entry: desktop-file-validate failed"
    [ -z "$out" ] || fault "$entry: $out"
    exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "bin/$exec_program" ] || fault "$entry starts $exec_program, which is not in bin/"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -f "share/icons/hicolor/scalable/apps/$icon.svg" ] || fault "$entry: no scalable icon $icon"
    for size in 16 22 24 32 48 64 128 256; do
        png="share/icons/hicolor/${size}x${size}/apps/$icon.png"
        if [ ! -f "$png" ]; then
            fault "$png is missing"
        elif [ "$(identify -format '%wx%h' "$png")" != "${size}x${size}" ]; then
            fault "$png is $(identify -format '%wx%h' "$png")"
        fi
    done
done
grep -q '^MimeType=application/x-raw-disk-image;' "share/applications/$id.salvage.desktop" ||
    fault "the recovery program's entry does not take raw disk images"
ok "desktop entries"

# --- AppStream ----------------------------------------------------------------
metainfo=share/metainfo/$id.salvage.metainfo.xml
out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) || fault "$metainfo: $out"
case $out in *"Validation was successful."*) ;; *) fault "$metainfo: $out" ;; esac
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ -f "share/applications/$launchable" ] || fault "$metainfo launches $launchable, which is not installed"
shots=$(sed -n 's:.*<image>.*/\([^/]*\)</image>.*:\1:p' "$metainfo")
[ -n "$shots" ] || fault "$metainfo names no screenshots"
for shot in $shots; do
    [ -f "$source_dir/docs/screenshots/$shot" ] || fault "$metainfo names $shot, not in docs/screenshots"
done
ok "metainfo"

# --- polkit -------------------------------------------------------------------
policy=share/polkit-1/actions/$id.salvage.policy
dtd=/usr/share/polkit-1/policyconfig-1.dtd
valid=(--noout)
if [ -f "$dtd" ]; then
    valid+=(--dtdvalid "$dtd")
else
    echo "note: polkit's $dtd is not installed: the policy is checked as XML only"
fi
if xmllint "${valid[@]}" "$policy" 2>"$work/xmllint"; then
    path=$(sed -n 's:.*"org.freedesktop.policykit.exec.path">\(.*\)</annotate>.*:\1:p' "$policy")
    [ "$path" = "$prefix/bin/salvage" ] || fault "$policy names $path, not $prefix/bin/salvage"
    grep -q '"org.freedesktop.policykit.exec.allow_gui">true<' "$policy" || fault "$policy does not keep the display"
else
    fault "$policy: $(cat "$work/xmllint")"
fi
ok "polkit policy"

# --- Manual pages -------------------------------------------------------------
for page in salvage-cli salvage kestrel kestrelupdate; do
    file=share/man/man1/$page.1.gz
    if [ ! -f "$file" ]; then
        fault "$file is missing"
        continue
    fi
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$file" >"$work/$page.txt" 2>"$work/$page.err" ||
        fault "man -l $file failed"
    [ -s "$work/$page.err" ] && fault "man -l $file: $(cat "$work/$page.err")"
    grep -q "^NAME" "$work/$page.txt" || fault "$file renders without a NAME section"
done
# Every command and option salvage-cli's --help names is in its page and is
# offered by its completion, under the command that takes it.
"bin/salvage-cli" --help >"$work/cli-help.txt" 2>&1 || fault "salvage-cli --help failed"
for word in $(grep -oE -- '--[a-z][a-z-]*' "$work/cli-help.txt" | sort -u) info list recover; do
    grep -qF -- "$word" "$work/salvage-cli.txt" || fault "salvage-cli's manual page does not name $word"
done
# salvage's own options (not Qt's), and the wizard's two switches.
QT_QPA_PLATFORM=offscreen "bin/salvage" --help >"$work/salvage-help.txt" 2>/dev/null || fault "salvage --help failed"
for word in $(grep -oE -- '(^|[ ,])-(-[a-z][a-z-]*|[a-z])\b' "$work/salvage-help.txt" | tr -d ' ,' | grep -v -- '--help-all'); do
    grep -qF -- "$word" "$work/salvage.txt" || fault "salvage's manual page does not name $word"
done
for word in -auto -startup; do
    grep -qF -- "$word" "$work/kestrelupdate.txt" || fault "kestrelupdate's manual page does not name $word"
done
complete_words() {  # complete_words WORD... : what the completion offers for the last word
    bash -c '
        source "$1"; shift
        COMP_WORDS=(salvage-cli "$@"); COMP_CWORD=$#
        _salvage_cli
        printf "%s\n" "${COMPREPLY[@]}"' complete "$prefix/share/bash-completion/completions/salvage-cli" "$@"
}
[ "$(complete_words "" | sort | tr '\n' ' ')" = "--help --version info list recover " ] ||
    fault "completion of a command offers: $(complete_words "" | tr '\n' ' ')"
for command in info list recover; do
    # The options of a command: its usage lines up to its description.
    wanted=$(awk -v c="$command" '
        $1 == c { on = 1 } on && /^      [a-z]/ { exit } on { print }' "$work/cli-help.txt" |
        grep -oE -- '--[a-z][a-z-]*' | sort -u | tr '\n' ' ')
    offered=$(complete_words "$command" "--" | sort -u | tr '\n' ' ')
    [ -n "$wanted" ] && [ "$wanted" = "$offered" ] ||
        fault "completion of $command offers \"$offered\", its --help names \"$wanted\""
done
[ "$(complete_words recover x.img --fat-clusters "" | sort | tr '\n' ' ')" = "consecutive gaps " ] ||
    fault "completion of --fat-clusters offers: $(complete_words recover x.img --fat-clusters "")"
mkdir -p "$work/complete/Recovered files" && : >"$work/complete/volume.img"
[ "$(cd "$work/complete" && complete_words recover volume.img --to R)" = "Recovered files" ] ||
    fault "completion of --to does not offer the folder with a space in its name"
ok "manual pages and completion"

# --- The installed salvage-cli recovers the demo volume ---------------------
"$source_dir/demo/make-demo-volume.sh" "$work/holiday.img"
if "bin/salvage-cli" recover "$work/holiday.img" --to "$work/recovered" >"$work/recover.log" 2>&1; then
    for pair in "Pictures/Cliffs/_ESTREL.PNG:kestrel.png" "Pictures/Cliffs/_UNSET2.PNG:sunset.png"; do
        cmp -s "$work/recovered/${pair%%:*}" "$source_dir/demo/files/${pair#*:}" ||
            fault "the recovered ${pair%%:*} differs from demo/files/${pair#*:}"
    done
    budget="$work/recovered/Documents/Budget for the summer holiday.csv"
    [ "$(wc -l <"$budget" 2>/dev/null)" = 41 ] || fault "the recovered budget is not its 41 lines"
    grep -q "Remember to water the plants" "$work/recovered/_OTES.TXT" 2>/dev/null ||
        fault "the recovered _OTES.TXT is not the notes"
else
    fault "salvage-cli recover failed: $(cat "$work/recover.log")"
fi
ok "demo volume recovered by the installed salvage-cli"

# --- The installed salvage finds its help, pictures and policy --------------
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$work/runtime"
if (unset KESTREL_HELP_DIR; "bin/salvage" --check-install) >"$work/check.log" 2>&1; then
    grep -qxF "help: $prefix/share/doc/kestrel/help" "$work/check.log" ||
        fault "salvage found other help than the installed one: $(cat "$work/check.log")"
else
    fault "salvage --check-install: $(cat "$work/check.log")"
fi
sed 's/^/    /' "$work/check.log"
ok "installed salvage"

if [ "$faults" != 0 ]; then
    echo "$faults fault(s) in the install tree"
    exit 1
fi
echo "the install tree in $prefix is whole"
