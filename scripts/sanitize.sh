#!/usr/bin/env bash
# Builds Marrowlark with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer and runs the
# whole test suite on that build. Any memory error, leak of our own or undefined behaviour fails the
# test that caused it; the system libraries' own leaks are listed in tests/hostile/lsan.supp.
# Usage: scripts/sanitize.sh [build-dir]    (default: build-asan)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$root/build-asan}

# Warnings are not errors here: GCC's sanitizer instrumentation makes -Warray-bounds and friends
# report accesses that cannot happen. The normal build keeps -Werror.
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWLARK_WERROR=OFF \
    -DMARROWLARK_SANITIZE=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)"

# Full unwinding: the system libraries have no frame pointers, and suppressions match by frame.
export ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:check_initialization_order=1:strict_init_order=1:detect_odr_violation=1
export LSAN_OPTIONS="suppressions=$root/tests/hostile/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export MARROWLARK_SANITIZED=1
"$root/scripts/run-tests.sh" "$build_dir"
