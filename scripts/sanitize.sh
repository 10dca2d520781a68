#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole test suite there, offscreen. Any report
# fails the test that made it: undefined behaviour aborts, and so do memory
# errors and leaks of the project's own code (see brimvel_sanitized_test in
# CMakeLists.txt; leaks inside the libraries the program stands on are listed
# in scripts/lsan.supp).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

SANITIZE_DIR=${SANITIZE_BUILD_DIR:-$ROOT/build-asan}
BUILD_DIR=$SANITIZE_DIR build_project -DBRIMVEL_SANITIZE=ON

# The tests' sanitizer options are part of their CTest settings.
ctest --test-dir "$SANITIZE_DIR" --output-on-failure --timeout 900 --parallel "$(nproc)"
