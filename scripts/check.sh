#!/usr/bin/env bash
# Every check of `make test`, ordered for two cores. The suites spend most of their time waiting
# on the X server, the sound server and the engine, and a build leaves a core idle whenever make
# waits on a link, so the work that only needs processor time runs beside them at the lowest
# priority: the sanitized build from the start, clang-tidy and the fuzz corpora once the normal
# build is done. All that work together takes about as long as both builds and the sanitized
# suite one after another, the shortest this order allows on two cores. Every step runs even when an earlier one failed (except after a failed build);
# the summary at the end gives each step's wall and processor time and its result, and the exit
# status is 1 when any step failed. The README's "Checks" section says what each step covers and
# why it runs where it does.
# Usage: scripts/check.sh [build-dir]    (default: build, configured with BUILD_TESTING=ON)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-build}" && pwd)
logs=$(mktemp -d "${TMPDIR:-/tmp}/marrowlark-check.XXXXXX")
results=$logs/results
mkdir "$logs/tmp"
trap 'rm -rf "$logs"' EXIT
: >"$results"
start_all=$SECONDS

# Processor seconds used so far by this shell's finished children: bash's `times`, second line,
# run in this shell itself (in a command substitution it would count the substitution's own).
children_cpu() {
    times >"$logs/times.$BASHPID"
    awk 'NR == 2 {
        split($1, u, /[ms]/); split($2, s, /[ms]/)
        printf "%d\n", u[1] * 60 + u[2] + s[1] * 60 + s[2]
    }' "$logs/times.$BASHPID"
}

# run_step NAME COMMAND...: runs COMMAND and notes its wall time, processor time and result.
run_step() {
    local name=$1 start=$SECONDS status=ok cpu=$logs/cpu.$BASHPID
    shift
    children_cpu >"$cpu"
    echo "== $name"
    "$@" || status=FAILED
    children_cpu >>"$cpu"
    printf '%-22s %5d s wall %5d s cpu  %s\n' "$name" $((SECONDS - start)) \
        "$(awk 'NR == 1 { a = $1 } NR == 2 { print $1 - a }' "$cpu")" "$status" >>"$results"
    [ $status = ok ]
}

# in_background NICENESS LOG FUNCTION: runs FUNCTION's steps at a low priority, output in LOG.
# Their temporary files (the compilers' among them) go to a folder of their own, not into the
# /tmp that the whole-program test watches.
in_background() {
    (
        renice -n "$1" -p "$BASHPID" >/dev/null
        export TMPDIR=$logs/tmp
        "$3"
    ) >"$2" 2>&1 &
}
sanitized_build() { run_step "build (sanitizers)" "$root/scripts/sanitize.sh" --build-only; }
static_checks() {
    run_step "clang-tidy" "$root/scripts/tidy.sh" "$build_dir"
    run_step "fuzz corpora" "$root/fuzz/run.sh" --replay
}
failed() { grep -q "^$1 .*FAILED\$" "$results"; }
summary() {
    echo
    echo "== summary (the steps run side by side overlap)"
    cat "$results"
    children_cpu >"$logs/cpu.all"
    printf '%-22s %5d s wall %5d s cpu\n' "all" $((SECONDS - start_all)) "$(cat "$logs/cpu.all")"
}

# The sanitized suite waits for its build, clang-tidy for nothing: the build goes first.
in_background 10 "$logs/sanitized-build.log" sanitized_build
sanitized_pid=$!
run_step "build (normal)" cmake --build "$build_dir" -j "$(nproc)" || {
    wait
    summary
    exit 1
}

in_background 19 "$logs/static.log" static_checks
static_pid=$!
run_step "suite (normal build)" "$root/scripts/run-tests.sh" "$build_dir"

wait "$sanitized_pid"
if failed "build (sanitizers)"; then
    cat "$logs/sanitized-build.log"
else
    run_step "suite (sanitizers)" "$root/scripts/sanitize.sh" --test-only
fi
wait "$static_pid"
cat "$logs/static.log"

summary
! grep -q 'FAILED$' "$results"
