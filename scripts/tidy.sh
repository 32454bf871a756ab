#!/usr/bin/env bash
# Runs clang-tidy (configuration: .clang-tidy) over the program's own sources, as compiled in the
# given build directory (its compile_commands.json). Fails on any finding.
# Usage: scripts/tidy.sh [build-dir]    (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-build}" && pwd)
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
[ -f "$build_dir/compile_commands.json" ] || { echo "tidy: no compile_commands.json in $build_dir"; exit 1; }

# The program's own sources as built there: not the tests, generated code or other tools' folders.
mapfile -t sources < <(python3 - "$build_dir/compile_commands.json" "$root" <<'PY'
import json, os, re, sys
entries = json.load(open(sys.argv[1]))
own = re.compile(re.escape(sys.argv[2]) + r"/(app|ui|player|platform)/(?!.*_autogen/).*\.cpp$")
for path in sorted({os.path.join(e["directory"], e["file"]) for e in entries}):
    if own.match(os.path.normpath(path)):
        print(os.path.normpath(path))
PY
)
[ ${#sources[@]} -gt 0 ] || { echo "tidy: no sources found"; exit 1; }

echo "clang-tidy: ${#sources[@]} files"
status=0
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -n 1 \
    "$tidy" -p "$build_dir" --quiet --extra-arg=-Wno-unknown-warning-option 2>/dev/null \
    >"$build_dir/tidy.log" || status=$?
# clang-tidy prints findings to stdout; keep the summary lines out of the log's verdict.
if [ $status -ne 0 ] || grep -qE '(warning|error):' "$build_dir/tidy.log"; then
    cat "$build_dir/tidy.log"
    echo "clang-tidy: findings above"
    exit 1
fi
echo "clang-tidy: clean"
