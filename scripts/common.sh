# Shared by scripts/run and scripts/test: install what the build needs and build it.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${ATLYS_BUILD_DIR:-$ROOT/build}

# Debian packages the panel, the simulator and the tests need.
ATLYS_PACKAGES=(g++ make cmake pkg-config qt6-base-dev qt6-serialport-dev
                fonts-liberation2 fonts-dejavu-core)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "error: '$*' needs root and sudo is not installed" >&2
        return 1
    fi
}

# Installs the packages of the list that are missing; one apt-get update first.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "error: missing packages (${missing[*]}) and no apt-get to install them" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

build_project() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$BUILD_DIR" -j "$(nproc)"
}
