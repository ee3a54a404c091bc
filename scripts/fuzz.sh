#!/usr/bin/env bash
# Fuzzes the text helpers natively: builds tests/fuzz/native with clang under libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer, runs each fuzzer for a while and prints
# its figures. A fuzzer that finds a fault stops, leaves the input that shows it in the build
# folder and makes this script fail. The corpus stays in the build folder, so every run goes
# on from where the last one stopped.
#   usage: fuzz.sh [--seconds N] [--build-dir DIR]
#     --seconds N    time per fuzzer (default 300: the long run)
#     --build-dir    default build/native
#   the test suite's brief run:   scripts/fuzz.sh --seconds 6   (ctest's native_fuzz)
#   a long run:                   scripts/fuzz.sh --seconds 1800
#   replay a saved input:         build/native/path_join_fuzz build/native/path_join-crash-...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

seconds=300
build=$root/build/native
while [ $# -gt 0 ]; do
    case $1 in
        --seconds) seconds=$2; shift 2 ;;
        --build-dir) build=$(realpath -m "$2"); shift 2 ;;
        *) echo "usage: $0 [--seconds N] [--build-dir DIR]" >&2; exit 2 ;;
    esac
done

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing (scripts/install-deps.sh installs it)" >&2
    exit 2
fi
cmake -S "$root/tests/fuzz/native" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 >/dev/null

failed=0
for fuzzer in scan_int path_join key_list; do
    corpus=$build/corpus/$fuzzer
    mkdir -p "$corpus"
    options=(-max_total_time="$seconds" -timeout=10
             -print_final_stats=1 -artifact_prefix="$build/$fuzzer-")
    dict=$root/tests/fuzz/native/$fuzzer.dict
    [ ! -f "$dict" ] || options+=(-dict="$dict")
    log=$build/$fuzzer.log
    status=0
    "$build/${fuzzer}_fuzz" "${options[@]}" "$corpus" >"$log" 2>&1 || status=$?
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    if [ "$status" -eq 0 ]; then
        echo "fuzz $fuzzer: ${executed:-?} inputs in ${seconds}s at most, ${coverage:-?} edges" \
             "covered, $(find "$corpus" -type f | wc -l) inputs in the corpus, no fault"
    else
        failed=$((failed + 1))
        echo "fuzz $fuzzer: FAULT (exit $status) after ${executed:-?} inputs; log $log"
        grep -E -m5 'property failed|ERROR: |runtime error|^  |Test unit written' "$log" || true
    fi
done
echo "fuzz: $((3 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
