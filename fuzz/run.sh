#!/usr/bin/env bash
# Builds the fuzz harnesses (build-fuzz, clang) and runs each for a bounded time.
# Usage: fuzz/run.sh [seconds-per-harness] [--update] [harness...]
#        fuzz/run.sh --replay [harness...]
#   seconds: default 20. --update merges what was found into the corpora under fuzz/corpus/.
#   --replay runs every input of the corpora once and fuzzes nothing new (make test).
# Without --update the checked-in corpora are only read; new inputs go to a temporary folder.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${MARROWLARK_FUZZ_BUILD:-$root/build-fuzz}
seconds=20
update=no
replay=no
harnesses=()
for arg in "$@"; do
    case "$arg" in
    --update) update=yes ;;
    --replay) replay=yes ;;
    [0-9]*) seconds=$arg ;;
    *) harnesses+=("$arg") ;;
    esac
done
[ ${#harnesses[@]} -gt 0 ] || harnesses=(wildcard firstmatch caption naturalorder pathcodec)

compiler=$(command -v clang++-14 || command -v clang++)
[ -f "$build_dir/CMakeCache.txt" ] || cmake -S "$root/fuzz" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$compiler" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" >"$build_dir/build.log" 2>&1 || { cat "$build_dir/build.log"; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/marrowlark-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

passed=0
failed=0
for name in "${harnesses[@]}"; do
    corpus=$root/fuzz/corpus/$name
    found=$scratch/$name
    mkdir -p "$found"
    log=$scratch/$name.log
    # -runs=0 stops once the corpus has been read and run.
    limit=(-max_total_time="$seconds")
    [ "$replay" = no ] || limit=(-runs=0)
    if (cd "$scratch" && "$build_dir/fuzz_$name" "${limit[@]}" -max_len=512 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 "$found" "$corpus") >"$log" 2>&1; then
        if [ "$replay" = yes ]; then
            echo "fuzz $name: passed, its $(find "$corpus" -type f | wc -l) corpus inputs replayed"
        else
            echo "fuzz $name: passed, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs in ${seconds} s"
        fi
        passed=$((passed + 1))
    else
        tail -40 "$log"
        echo "fuzz $name: FAILED (crash input kept in $root/fuzz/crash-$name-*)"
        for crash in "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-*; do
            [ -e "$crash" ] && cp "$crash" "$root/fuzz/crash-$name-$(basename "$crash")"
        done
        rm -f "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-*
        failed=$((failed + 1))
    fi
    if [ "$update" = yes ]; then
        "$build_dir/fuzz_$name" -merge=1 "$corpus" "$found" >/dev/null 2>&1
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
