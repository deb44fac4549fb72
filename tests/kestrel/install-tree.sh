#!/bin/sh
# The launcher started from an install tree made of the build: it shows the
# suite, and Razuzuda Rezer (a stand-in "salvage" in bin/, which the suite
# folder libexec/kestrel/ links to) starts from it when its button is
# clicked; Help, Launch Help File opens the installed help pages (a stand-in
# xdg-open notes the address). Runs under Xvfb; the clicks come from xdotool.
#   install-tree.sh BUILD STANDIN
# Exit 77 (skipped) when xvfb-run or xdotool is missing.
set -eu
build=$1 standin=$2
for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: skipped"; exit 77; }
done
work=$(mktemp -d /tmp/kestrel-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix="$work/Kestrel Suite"
cmake --install "$build" --prefix "$prefix" >/dev/null
bin="$prefix/bin"
test -x "$bin/kestrel" || { echo "no kestrel in $bin"; exit 1; }
suite="$prefix/libexec/kestrel"
test -x "$suite/kestrel" || { echo "no kestrel in the suite folder $suite"; exit 1; }
test -f "$suite/kestrel.version" || { echo "no version record beside kestrel"; exit 1; }
test -f "$prefix/share/doc/kestrel/help/launcher.html" || { echo "no help pages"; exit 1; }
cp "$standin" "$bin/salvage"
mkdir "$work/fakebin"
cat > "$work/fakebin/xdg-open" <<'OPEN'
#!/bin/sh
echo "$1" >> "$KESTREL_OPENED_LOG"
OPEN
chmod +x "$work/fakebin/xdg-open"

cat > "$work/session.sh" <<'SESSION'
set -eu
bin=$1 log=$2 opened=$3 fakebin=$4
export XDG_DATA_HOME="$bin/../data" KESTREL_STANDIN_LOG="$log" KESTREL_OPENED_LOG="$opened"
export PATH="$fakebin:$PATH"
unset KESTREL_HELP_DIR
"$bin/kestrel" &
pid=$!
wid=$(xdotool search --sync --onlyvisible --name "Kestrel - Everyday Health Check" | head -n 1)
sleep 1
xdotool mousemove --window "$wid" 104 258 click 1   # Disc Maintainence
sleep 0.5
xdotool mousemove --window "$wid" 440 217 click 1   # its first tool: Razuzuda Rezer
for i in $(seq 1 100); do
    [ -s "$log" ] && break
    sleep 0.1
done
xdotool mousemove --window "$wid" 615 102 click 1   # Help
sleep 0.5
xdotool key h                                       # Launch &Help File
for i in $(seq 1 100); do
    [ -s "$opened" ] && break
    sleep 0.1
done
xdotool mousemove --window "$wid" 658 102 click 1   # Exit
for i in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "the Exit button did not close the launcher"
    kill "$pid"
    exit 1
fi
SESSION

xvfb-run -a -s "-screen 0 1024x768x24" sh "$work/session.sh" "$bin" "$work/started.log" "$work/opened.log" \
    "$work/fakebin"
started=$(cut -d' ' -f2- "$work/started.log" 2>/dev/null || true)
if [ "$started" != "$bin/salvage" ]; then
    echo "expected \"$bin/salvage\" to start, the log says: \"$started\""
    exit 1
fi
echo "salvage started from the install tree: $started"
opened=$(sed 's/%20/ /g' "$work/opened.log" 2>/dev/null || true)
case $opened in
"file://$prefix/share/doc/kestrel/help/"*) echo "the launcher opened the installed help: $opened" ;;
*)
    echo "expected the help pages of $prefix/share/doc/kestrel/help to open, xdg-open was given: \"$opened\""
    exit 1
    ;;
esac
