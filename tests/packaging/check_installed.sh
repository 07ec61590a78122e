#!/usr/bin/env bash
# Checks an installed panel under PREFIX (an install tree, a package
# unpacked into a scratch root, or /usr): every file of the list is there,
# the data files are the ones in packaging/, the desktop entry starts a
# program that is installed beside it, `atlys-sim --help` runs, and the
# installed panel starts and connects to the installed simulator.
#
# Usage: check_installed.sh PREFIX SOURCE_DIR
set -euo pipefail
prefix=$1
source_dir=$2
list="$source_dir/tests/packaging/installed_files.txt"
app_id=org.qor.atlys_panel

fail() { echo "FAIL: $*" >&2; exit 1; }

while read -r path; do
    [ -n "$path" ] || continue
    [ -f "$prefix/$path" ] || fail "$prefix/$path is not installed"
    case $path in
    bin/*) [ -x "$prefix/$path" ] || fail "$prefix/$path is not executable" ;;
    *) cmp -s "$prefix/$path" "$source_dir/packaging/$(basename "$path")" ||
           fail "$prefix/$path differs from packaging/$(basename "$path")" ;;
    esac
done < "$list"

# The menu entry names a program and an icon that are installed.
entry="$prefix/share/applications/$app_id.desktop"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "$exec_line" = atlys-panel ] || fail "Exec=$exec_line, expected atlys-panel"
[ -x "$prefix/bin/$exec_line" ] || fail "the entry's program $prefix/bin/$exec_line is missing"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the entry's icon $icon is not installed"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" \
    "$prefix/share/metainfo/$app_id.metainfo.xml" || fail "the metainfo does not launch $app_id.desktop"

# The installed simulator runs from its installed path.
help=$("$prefix/bin/atlys-sim" --help) || fail "atlys-sim --help exited with $?"
case $help in
usage:\ atlys-sim*) ;;
*) fail "atlys-sim --help printed: $help" ;;
esac
echo "ok: $prefix/bin/atlys-sim --help"
help=$("$prefix/bin/atlys-cli" --help) || fail "atlys-cli --help exited with $?"
case $help in
usage:\ atlys-cli*) ;;
*) fail "atlys-cli --help printed: $help" ;;
esac
echo "ok: $prefix/bin/atlys-cli --help"

# The installed panel starts: from a folder whose config.dat names the
# simulator's link, it opens that line and reads the board's id on port 15.
work=$(mktemp -d "${TMPDIR:-/tmp}/atlys-installed.XXXXXX")
sim_pid="" panel_pid=""
cleanup() {
    for pid in $panel_pid $sim_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

"$prefix/bin/atlys-sim" --link "$work/board" --verbose > "$work/sim.log" &
sim_pid=$!
for _ in $(seq 200); do
    [ -L "$work/board" ] && break
    kill -0 "$sim_pid" 2>/dev/null || fail "the simulator ended: $(cat "$work/sim.log")"
    sleep 0.05
done
[ -L "$work/board" ] || fail "the simulator's link did not appear"

printf '%s  %d\r\n' "$work/board" 115200 > "$work/config.dat"
(cd "$work" && exec env QT_QPA_PLATFORM=offscreen "$prefix/bin/atlys-panel") > "$work/panel.log" 2>&1 &
panel_pid=$!
for _ in $(seq 300); do
    grep -q '^read port 15 ' "$work/sim.log" && break
    kill -0 "$panel_pid" 2>/dev/null || fail "the panel ended early: $(cat "$work/panel.log")"
    sleep 0.05
done
grep -q '^read port 15 ' "$work/sim.log" || fail "the panel did not read port 15 within 15 s"
kill -0 "$panel_pid" 2>/dev/null || fail "the panel ended after connecting: $(cat "$work/panel.log")"
echo "ok: $prefix/bin/atlys-panel started and read the board's id"
