#!/usr/bin/env bash
# Runs the tests that lean most on timing (the engine's, the monkey, the whole program, its
# confinement, the user's journey, the slow and dead shares, the file whose reads hang, the screen
# reader and the program under Wayland) N times each while busy loops take the machine's cores, on
# the suite's private X and sound servers (scripts/run-tests.sh, started afresh for each run).
# Prints every failure with its run number and output, then a summary line; exits non-zero when
# anything failed.
# Usage: scripts/soak.sh N [build-dir]    (default: build)
#   SOAK_TESTS    ctest regular expression of the tests to run
#   SOAK_BUSY     number of busy loops (default: 2, one for each of this machine's cores)
set -euo pipefail

runs=${1:?usage: scripts/soak.sh N [build-dir]}
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${2:-build}" && pwd)
tests=${SOAK_TESTS:-'^(engine_.*|tst_monkey|hostile_tst_wholeprogram|hostile_tst_confinement|system_tst_userjourney|tst_hostilefolders|system_tst_deadfolder|system_tst_stuckfile|desktop_screenreader|wayland_session)$'}
logs=$(mktemp -d "${TMPDIR:-/tmp}/marrowlark-soak.XXXXXX")
busy=()

stop_busy() {
    [ ${#busy[@]} -eq 0 ] || kill "${busy[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap stop_busy EXIT
for _ in $(seq "${SOAK_BUSY:-2}"); do
    sh -c 'while :; do :; done' &
    busy+=($!)
done

# The output of each test that did not pass, from ctest's --output-on-failure listing.
failed_output() {
    awk '/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / { show = ($0 !~ / Passed /) }
         /^ +Start +[0-9]+: / || /^[0-9]+% tests passed/ { show = 0 }
         show' "$1"
}

passed=0
failed=0
failures=()
started=$SECONDS
for run in $(seq "$runs"); do
    log="$logs/run-$run.log"
    run_started=$SECONDS
    CTEST_ARGS="-R $tests" "$root/scripts/run-tests.sh" "$build_dir" >"$log" 2>&1 || true
    results=$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$log" || true)
    if [ -z "$results" ]; then
        failed=$((failed + 1))
        failures+=("no test ran in run $run")
        echo "=== run $run: no test ran ==="
        cat "$log"
        continue
    fi
    run_passed=$(grep -c ' Passed ' <<<"$results" || true)
    run_failed=$(grep -vc ' Passed ' <<<"$results" || true)
    passed=$((passed + run_passed))
    failed=$((failed + run_failed))
    times=$(sed -E 's/.*#[0-9]+: ([^ ]+) .* ([0-9.]+) sec$/\1 \2 s/' <<<"$results" | paste -sd, - | sed 's/,/, /g')
    echo "run $run/$runs: $run_passed passed, $run_failed failed in $((SECONDS - run_started)) s ($times)"
    while read -r name; do
        failures+=("$name (run $run)")
        echo "=== FAILED: $name, run $run ==="
        failed_output "$log" | awk -v name="$name" '/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / { mine = (index($0, ": " name " ") > 0) } mine'
    done < <(grep -v ' Passed ' <<<"$results" | sed -E 's/.*#[0-9]+: ([^ ]+) .*/\1/')
done

summary=""
[ ${#failures[@]} -eq 0 ] || summary=$(printf '%s, ' "${failures[@]}")
echo "soak: $runs runs under ${SOAK_BUSY:-2} busy loops, $((passed + failed)) test runs: $passed passed," \
    "$failed failed in $((SECONDS - started)) s${summary:+ (${summary%, })}"
if [ "$failed" -ne 0 ]; then
    echo "soak: logs kept in $logs"
    exit 1
fi
rm -rf "$logs"
