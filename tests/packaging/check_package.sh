#!/usr/bin/env bash
# Builds the Debian package with CPack and checks it: its name, the
# dependencies dpkg-shlibdeps computed and the fonts, exactly the listed
# files under /usr, and, unpacked into a scratch root, that they work.
# Exits 77 (skipped) when the Debian tools are missing; scripts/test
# installs them.
#
# Usage: check_package.sh CPACK BUILD_DIR SOURCE_DIR
set -euo pipefail
cpack=$1
build_dir=$2
source_dir=$3

for tool in dpkg-deb dpkg-shlibdeps file; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (Debian: dpkg-dev, file)"
        exit 77
    fi
done
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/atlys-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/out/atlys-panel_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one atlys-panel_*.deb, found: ${debs[*]}"
deb=${debs[0]}
echo "ok: built $(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = atlys-panel ] || fail "package name $(dpkg-deb -f "$deb" Package)"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for needed in 'libc6 (' 'libstdc++6 (' 'libqt6core6 (' 'libqt6gui6 (' 'libqt6widgets6 (' \
              'libqt6serialport6 (' 'fonts-liberation2 | fonts-dejavu-core'; do
    case ", $depends, " in
    *", $needed"*) ;;
    *) fail "Depends lacks '$needed'" ;;
    esac
done

packaged=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./usr/||' | sort)
expected=$(grep -v '^$' "$source_dir/tests/packaging/installed_files.txt" | sort)
if [ "$packaged" != "$expected" ]; then
    echo "FAIL: packaged files differ from installed_files.txt:" >&2
    diff <(echo "$expected") <(echo "$packaged") >&2 || true
    exit 1
fi

dpkg-deb -x "$deb" "$work/root"
"$source_dir/tests/packaging/check_installed.sh" "$work/root/usr" "$source_dir"
