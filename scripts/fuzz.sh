#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang (ASan and UBSan on) into build-fuzz/
# and runs each for a bounded time: ./scripts/fuzz.sh [seconds per target] [target...]
#
# Each target's corpus grows in build-fuzz/corpus/<target>/, seeded from
# fuzz/seeds/<target>/ and the sample library. An input that crashes, hangs or
# exhausts memory is kept under fuzz/regressions/<target>/, where the replay
# tests of the normal suite run it from then on; the script then fails.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
FUZZ_DIR=${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}
SECONDS_PER_TARGET=${1:-60}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(fuzz_catalogue fuzz_contents fuzz_pagetext)

cmake -S "$ROOT" -B "$FUZZ_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DBRIMVEL_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$FUZZ_DIR" --parallel "$(nproc)" --target "${TARGETS[@]}"

# The seeds each target starts from besides its own.
sample_seeds() {
    case "$1" in
    fuzz_catalogue) cp "$ROOT/sample-library/books.xml" "$2/sample-books.xml" ;;
    fuzz_contents)
        for book in "$ROOT"/sample-library/Library/*/; do
            cp "$book/sod.btf" "$2/sample-$(basename "$book").btf"
        done
        ;;
    fuzz_pagetext)
        find "$ROOT/sample-library/Library" -iname '*.htm' | while read -r page; do
            cp "$page" "$2/sample-$(basename "$(dirname "$page")")-$(basename "$page")"
        done
        ;;
    esac
}

# The contents target rewrites a file per input: keep it in memory when possible.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm

failed=()
for target in "${TARGETS[@]}"; do
    corpus="$FUZZ_DIR/corpus/$target"
    regressions="$ROOT/fuzz/regressions/$target"
    mkdir -p "$corpus" "$regressions"
    cp "$ROOT/fuzz/seeds/$target"/* "$corpus/"
    sample_seeds "$target" "$corpus"
    dictionary="$ROOT/fuzz/${target#fuzz_}.dict"
    echo "== $target: $SECONDS_PER_TARGET s"
    if ! "$FUZZ_DIR/fuzz/$target" -max_total_time="$SECONDS_PER_TARGET" -max_len=65536 -timeout=25 \
        -rss_limit_mb=3072 -print_final_stats=1 -dict="$dictionary" -artifact_prefix="$regressions/" \
        "$corpus" 2>"$FUZZ_DIR/$target.log"; then
        failed+=("$target")
    fi
    grep -E '^(#[0-9]+.*(DONE|pulse)|stat::number_of_executed_units|Done )' "$FUZZ_DIR/$target.log" | tail -3
done

if [ ${#failed[@]} -gt 0 ]; then
    for target in "${failed[@]}"; do
        echo "== $target failed; its log: $FUZZ_DIR/$target.log"
        grep -E 'ERROR|SUMMARY|Test unit written' "$FUZZ_DIR/$target.log" | head -20
    done
    exit 1
fi
echo "== fuzzing found nothing"
