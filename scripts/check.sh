#!/usr/bin/env bash
# Every check of `make test`, ordered for two cores. The suites spend most of their time waiting
# on the X server, the sound server and the engine, so the work that only needs processor time
# runs beside them at the lowest priority: the sanitized build beside the suite on the normal
# build, then clang-tidy and the fuzz corpora beside the sanitized suite. Every step runs even
# when an earlier one failed (except after a failed build); the summary at the end gives each
# step's wall time and result, and the exit status is 1 when any step failed.
# The README's "Checks" section says what each step covers and why it runs where it does.
# Usage: scripts/check.sh [build-dir]    (default: build, configured with BUILD_TESTING=ON)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-build}" && pwd)
logs=$(mktemp -d "${TMPDIR:-/tmp}/marrowlark-check.XXXXXX")
results=$logs/results
trap 'rm -rf "$logs"' EXIT
: >"$results"
start_all=$SECONDS

# run_step NAME COMMAND...: runs COMMAND and notes its wall time and result.
run_step() {
    local name=$1 start=$SECONDS status=ok
    shift
    echo "== $name"
    "$@" || status=FAILED
    printf '%-34s %5d s  %s\n' "$name" $((SECONDS - start)) "$status" >>"$results"
    [ $status = ok ]
}

# in_background LOG FUNCTION: runs FUNCTION's steps at the lowest priority, output in LOG.
in_background() {
    (
        renice -n 19 -p "$BASHPID" >/dev/null
        "$2"
    ) >"$1" 2>&1 &
}
sanitized_build() { run_step "build (sanitizers)" "$root/scripts/sanitize.sh" --build-only; }
static_checks() {
    run_step "clang-tidy" "$root/scripts/tidy.sh" "$build_dir"
    run_step "fuzz corpora" "$root/fuzz/run.sh" --replay
}
failed() { grep -q "^$1 .*FAILED\$" "$results"; }

run_step "build (normal)" cmake --build "$build_dir" -j "$(nproc)" || {
    cat "$results"
    exit 1
}

in_background "$logs/sanitized-build.log" sanitized_build
run_step "suite (normal build)" "$root/scripts/run-tests.sh" "$build_dir"
wait
if failed "build (sanitizers)"; then
    cat "$logs/sanitized-build.log"
fi

in_background "$logs/static.log" static_checks
if ! failed "build (sanitizers)"; then
    run_step "suite (sanitizers)" "$root/scripts/sanitize.sh" --test-only
fi
wait
cat "$logs/static.log"

echo
echo "== summary (wall time of each step; the steps run side by side overlap)"
cat "$results"
printf '%-34s %5d s\n' "all" $((SECONDS - start_all))
! grep -q 'FAILED$' "$results"
