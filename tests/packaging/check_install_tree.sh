#!/usr/bin/env bash
# `cmake --install` into a scratch prefix installs exactly the listed files,
# and they work from there.
#
# Usage: check_install_tree.sh CMAKE BUILD_DIR SOURCE_DIR
set -euo pipefail
cmake=$1
build_dir=$2
source_dir=$3

prefix=$(mktemp -d "${TMPDIR:-/tmp}/atlys-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build_dir" --prefix "$prefix" > "$prefix.log" || {
    cat "$prefix.log" >&2; rm -f "$prefix.log"; exit 1; }
rm -f "$prefix.log"

installed=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
expected=$(grep -v '^$' "$source_dir/tests/packaging/installed_files.txt" | sort)
if [ "$installed" != "$expected" ]; then
    echo "FAIL: installed files differ from installed_files.txt:" >&2
    diff <(echo "$expected") <(echo "$installed") >&2 || true
    exit 1
fi
echo "ok: $(echo "$installed" | wc -l) files installed"

"$source_dir/tests/packaging/check_installed.sh" "$prefix" "$source_dir"
