# SPDX-License-Identifier: GPL-3.0-or-later
# Shared set-up of the run and test commands: installs what the build needs
# on Debian 12 and builds the project. Sourced, not run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-webengine-dev libpugixml-dev libicu-dev libsqlite3-dev libstemmer-dev libxml2-dev libgl-dev fonts-dejavu-core)
# What the test command's hardening steps add: clang with libFuzzer for the
# fuzz targets, the static checkers, and lintian for the package check.
HARDENING_PACKAGES=(clang libclang-rt-14-dev clang-tidy cppcheck clang-format lintian)

install_packages() {
    local missing=()
    for package in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build_project() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}
