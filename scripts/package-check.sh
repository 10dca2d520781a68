#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package: builds it with CPack from the build directory,
# runs lintian on it (any error fails), checks what it holds (programs, icons
# of the sizes their directories name, desktop entry, metainfo, manual pages)
# and validates the desktop entry, the metainfo and the manual pages; checks
# with apt that its dependencies resolve on this system; then starts the
# viewer as installed, offscreen, on the sample library through
# `brimvel-library view` and checks that it runs there and comes up without
# errors.
#
# As root (CI, a throwaway machine) the package is installed for real with
# apt-get, which also installs what it depends on, and removed again at the
# end. Anyone else gets it unpacked into a scratch directory instead, so that
# a developer's own system is left alone.
#
# Usage: scripts/package-check.sh (builds first when needed; BUILD_DIR as
# for ./test).
# shellcheck source=scripts/setup.sh
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

DESKTOP_ID=org.brimvel.Library
ICON_SIZES=(16 22 24 32 48 64 128 256)
VIEWER_DEADLINE=120   # seconds for the viewer to come up, on a slow machine

SCRATCH=$(mktemp -d)
DEB=            # the package file
BIN_DIR=        # where the programs are installed or unpacked
VIEWER_PID=
INSTALLED=

fail() {
    echo "package check: $*" >&2
    exit 1
}

# Runs a command with its output kept aside, shown only when it fails, and
# fails with `message` then.
quietly() {
    local message=$1
    shift
    "$@" >"$SCRATCH/command.log" 2>&1 || { cat "$SCRATCH/command.log" >&2; fail "$message"; }
}

clean_up() {
    if [ -n "$VIEWER_PID" ]; then kill "$VIEWER_PID" 2>/dev/null || true; fi
    if [ -n "$INSTALLED" ]; then dpkg -r brimvel >/dev/null || true; fi
    rm -rf "$SCRATCH"
}

build_package() {
    local out=$BUILD_DIR/package
    rm -f "$out"/*.deb
    quietly "cpack failed" cpack --config "$BUILD_DIR/CPackConfig.cmake" -G DEB -B "$out"
    DEB=$(echo "$out"/*.deb)
}

# Runs lintian on the package; errors fail the check, warnings are shown.
lint_package() {
    quietly "lintian reports errors" lintian --fail-on error --tag-display-limit 0 "$DEB"
    grep '^W: ' "$SCRATCH/command.log" || true
}

# The width and height in a PNG file's header.
png_size() {
    od -An -tu4 --endian=big -j16 -N8 "$1" | awk '{ print $1 "x" $2 }'
}

check_contents() {
    local root=$1 size
    for file in usr/bin/brimvel usr/bin/brimvel-library usr/share/icons/hicolor/scalable/apps/brimvel.svg \
        "usr/share/applications/$DESKTOP_ID.desktop" "usr/share/metainfo/$DESKTOP_ID.metainfo.xml" \
        usr/share/man/man1/brimvel.1.gz usr/share/man/man1/brimvel-library.1.gz; do
        [ -e "$root/$file" ] || fail "the package lacks /$file"
    done
    for size in "${ICON_SIZES[@]}"; do
        local icon=$root/usr/share/icons/hicolor/${size}x$size/apps/brimvel.png
        [ -e "$icon" ] || fail "the package lacks the ${size}x$size icon"
        [ "$(png_size "$icon")" = "${size}x$size" ] || fail "the ${size}x$size icon is $(png_size "$icon")"
    done
}

validate_metadata() {
    local root=$1 page warnings
    quietly "desktop entry invalid" desktop-file-validate "$root/usr/share/applications/$DESKTOP_ID.desktop"
    quietly "metainfo invalid" appstreamcli validate --no-net --strict "$root/usr/share/metainfo/$DESKTOP_ID.metainfo.xml"
    for page in "$root"/usr/share/man/man1/*.1.gz; do
        warnings=$(zcat "$page" | LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -z 2>&1)
        [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    done
}

# Checks that the package depends on the libraries it links and that its
# dependencies resolve here, without installing anything.
check_dependencies() {
    local depends
    depends=$(dpkg-deb -f "$DEB" Depends)
    echo "Depends: $depends"
    for package in libqt6widgets6 libqt6webenginewidgets6 libpugixml1v5 libicu72 libsqlite3-0 libstemmer0d libxml2; do
        grep -q "\b$package\b" <<<"$depends" || fail "$package missing from Depends"
    done
    quietly "the dependencies do not resolve" apt-get install --simulate -q "$DEB"
}

# Installs the package as root, or else takes the unpacked copy.
install_package() {
    if [ "$(id -u)" -ne 0 ]; then
        BIN_DIR=$SCRATCH/root/usr/bin
        return
    fi
    INSTALLED=yes
    quietly "apt-get install failed" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --reinstall --no-install-recommends "$DEB"
    BIN_DIR=/usr/bin
}

# Whether the viewer's web engine lists its page on its debugging port: the
# main window is up and its event loop runs, which a message box would hold
# up.
viewer_page_listed() {
    local port=$1 pages
    pages=$(curl -s --max-time 5 "http://127.0.0.1:$port/json/list") || return 1
    grep -q '"type": "page"' <<<"$pages"
}

# Whether the viewer's process runs (and is not a zombie).
viewer_alive() {
    [ -e "/proc/$VIEWER_PID/stat" ] && [ "$(cut -d' ' -f3 "/proc/$VIEWER_PID/stat")" != Z ]
}

wait_for_viewer() {
    local port=$1 deadline=$((SECONDS + VIEWER_DEADLINE))
    until viewer_page_listed "$port"; do
        viewer_alive || { cat "$SCRATCH/viewer.err" >&2; fail "the viewer ended"; }
        [ "$SECONDS" -lt "$deadline" ] || fail "the viewer did not come up in $VIEWER_DEADLINE s"
        sleep 1
    done
}

# Starts `brimvel-library view sample-library` from BIN_DIR offscreen, with
# a home of its own, and checks that the viewer from BIN_DIR took over the
# process in the sample library, made its settings store and reported no
# error.
check_viewer_runs() {
    local home=$SCRATCH/home port=$((20000 + RANDOM % 20000)) library
    library=$(cd "$ROOT/sample-library" && pwd -P)
    mkdir -p "$home"
    (cd "$ROOT" && exec env HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen \
        QTWEBENGINE_REMOTE_DEBUGGING="127.0.0.1:$port" "$BIN_DIR/brimvel-library" view sample-library) \
        2>"$SCRATCH/viewer.err" &
    VIEWER_PID=$!
    wait_for_viewer "$port"
    [ "$(readlink "/proc/$VIEWER_PID/exe")" = "$BIN_DIR/brimvel" ] || fail "the process is not $BIN_DIR/brimvel"
    [ "$(readlink "/proc/$VIEWER_PID/cwd")" = "$library" ] || fail "the viewer does not run in $library"
    [ -f "$home/.config/Brimvel/Library.conf" ] || fail "no settings store in $home/.config/Brimvel"
    if grep -Ei 'error|fatal|could not|cannot|not found' "$SCRATCH/viewer.err"; then
        fail "the viewer reported errors"
    fi
    kill "$VIEWER_PID"
    wait "$VIEWER_PID" 2>/dev/null || true
    VIEWER_PID=
}

check_removal() {
    if [ -z "$INSTALLED" ]; then return; fi
    dpkg -r brimvel >/dev/null
    INSTALLED=
    if [ -e /usr/bin/brimvel ] || [ -e "/usr/share/applications/$DESKTOP_ID.desktop" ]; then
        fail "files left behind after removal"
    fi
}

main() {
    trap clean_up EXIT
    install_packages dpkg-dev file desktop-file-utils appstream groff-base curl lintian
    # shellcheck disable=SC2119  # the build as ./test makes it
    build_project >/dev/null
    build_package
    lint_package
    dpkg-deb -x "$DEB" "$SCRATCH/root"
    check_contents "$SCRATCH/root"
    validate_metadata "$SCRATCH/root"
    check_dependencies
    install_package
    check_viewer_runs
    check_removal
    echo "package check: $(basename "$DEB") builds, validates, installs in $BIN_DIR, runs and uninstalls"
}

main
