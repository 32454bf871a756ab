#!/usr/bin/env bash
# Builds Marrowlark with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer and runs
# the tests that exercise the program's own memory handling on that build: the unit, engine and
# hostile areas (the real window, the real engine and the real executable under hostile input).
# The packaging, desktop, icon and system tests add nothing here that those do not, and run on the
# normal build only; --all runs every area. Any memory error, leak of our own or undefined
# behaviour fails the test that caused it; the system libraries' own leaks are listed in
# tests/hostile/lsan.supp.
# Usage: scripts/sanitize.sh [--all] [--build-only | --test-only] [build-dir]  (default: build-asan)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
areas=(unit engine hostile)
build=yes
test=yes
while [ $# -gt 0 ]; do
    case "$1" in
    --all) areas=(unit icon engine system hostile desktop wayland) ;;
    --build-only) test=no ;;
    --test-only) build=no ;;
    *) break ;;
    esac
    shift
done
build_dir=${1:-$root/build-asan}

# Warnings are not errors here: GCC's sanitizer instrumentation makes -Warray-bounds and friends
# report accesses that cannot happen. The normal build keeps -Werror.
# -O1 -g1: the instrumented code compiles in half the time it takes at -O2 -g, and line tables are
# all a sanitizer's stack trace needs.
if [ $build = yes ]; then
    cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWLARK_WERROR=OFF \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
        -DMARROWLARK_SANITIZE=ON -DMARROWLARK_BUILD_BENCHMARKS=OFF >/dev/null
    cmake --build "$build_dir" -j "$(nproc)" --target "${areas[@]/#/tests_}"
fi
[ $test = yes ] || exit 0

# Full unwinding: the system libraries have no frame pointers, and suppressions match by frame.
export ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:check_initialization_order=1:strict_init_order=1:detect_odr_violation=1
export LSAN_OPTIONS="suppressions=$root/tests/hostile/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export MARROWLARK_SANITIZED=1
labels=$(IFS='|'; echo "${areas[*]}")
CTEST_ARGS="-L ^($labels)\$ ${CTEST_ARGS:-}" "$root/scripts/run-tests.sh" "$build_dir"
