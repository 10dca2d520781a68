#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Static checks of the project's own code (src/, tests/, bench/, fuzz/):
#   clang-tidy with the checks of .clang-tidy, on every source file of the
#   compilation database of a configured and built tree;
#   cppcheck (warnings, performance, portability), with Qt's macros known;
#   clang-format --dry-run against .clang-format.
# Any finding fails. Usage: scripts/static-checks.sh [build dir] (default build/).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build}
cd "$ROOT"
mapfile -t SOURCES < <(find src tests bench fuzz -name '*.cpp' | sort)
mapfile -t FILES < <(find src tests bench fuzz -name '*.cpp' -o -name '*.h' | sort)
status=0

echo "== clang-tidy (${#SOURCES[@]} files)"
if ! printf '%s\n' "${SOURCES[@]}" | xargs -P "$(nproc)" -n 1 clang-tidy -p "$BUILD" --quiet >"$BUILD/clang-tidy.log" 2>&1; then
    grep -E 'warning:|error:' "$BUILD/clang-tidy.log" || tail -20 "$BUILD/clang-tidy.log"
    status=1
fi

echo "== cppcheck"
if ! cppcheck --enable=warning,performance,portability --std=c++20 --library=qt --inline-suppr --quiet \
    --error-exitcode=1 --suppressions-list=scripts/cppcheck-suppressions.txt -I src -I tests -I fuzz -I bench \
    src tests bench fuzz; then
    status=1
fi

echo "== clang-format"
if ! clang-format --dry-run --Werror "${FILES[@]}" 2>"$BUILD/clang-format.log"; then
    places=$(grep -E 'error:|warning:' "$BUILD/clang-format.log" || true)
    echo "$(echo "$places" | wc -l) places in $(echo "$places" | cut -d: -f1 | sort -u | wc -l) files differ from .clang-format; clang-format -i fixes them"
    status=1
fi
exit $status
