#!/usr/bin/env bash
# Installs the Debian package on this machine the way a user does
# (`apt-get install ./atlys-panel_*.deb`), checks what dpkg installed and
# that the installed programs work from /usr/bin, then removes the package
# again unless it was installed before. Needs root (or sudo); CI runs it
# from scripts/test.
#
# Usage: check_apt_install.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
build_dir=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -f "$build_dir"/packages/atlys-panel_*.deb
cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$build_dir/packages" >/dev/null
debs=("$build_dir"/packages/atlys-panel_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one atlys-panel_*.deb, found: ${debs[*]}"
deb=$(cd "$(dirname "${debs[0]}")" && pwd)/$(basename "${debs[0]}")

was_installed=0
dpkg-query -W -f='${Status}' atlys-panel 2>/dev/null | grep -q 'install ok installed' && was_installed=1
remove() {
    if [ "$was_installed" -eq 0 ]; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq atlys-panel >/dev/null || true
    fi
}
trap remove EXIT

echo "apt-get install $deb"
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
dpkg-query -W -f='${Package} ${Version} ${Status}\n' atlys-panel

installed=$(dpkg -L atlys-panel | while read -r path; do [ -f "$path" ] && echo "${path#/usr/}"; done | sort)
expected=$(grep -v '^$' "$ROOT/tests/packaging/installed_files.txt" | sort)
if [ "$installed" != "$expected" ]; then
    echo "FAIL: dpkg -L atlys-panel differs from installed_files.txt:" >&2
    diff <(echo "$expected") <(echo "$installed") >&2 || true
    exit 1
fi
[ "$(command -v atlys-panel)" = /usr/bin/atlys-panel ] || fail "atlys-panel is not /usr/bin/atlys-panel on PATH"

"$ROOT/tests/packaging/check_installed.sh" /usr "$ROOT"
echo "ok: the package installs with apt-get and runs"
