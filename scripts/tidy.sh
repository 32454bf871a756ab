#!/usr/bin/env bash
# Runs clang-tidy (configuration: .clang-tidy) over the program's own sources, as compiled in the
# given build directory (its compile_commands.json). Fails on any finding.
# Usage: scripts/tidy.sh [build-dir]    (default: build)
#
# Most of clang-tidy's time goes into parsing and matching the Qt headers that every file
# includes, once per file. So the sources are checked a build target at a time: one generated file
# per target includes that target's sources and is checked with the target's own compile command,
# which parses the headers once per target instead of once per file. Findings still point into the
# sources (the header filter takes .cpp as well as .h). The generated file includes .cpp files on
# purpose, so bugprone-suspicious-include is off for it; a using-declaration that only a later file
# of the same target uses is not reported as unused.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-build}" && pwd)
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
[ -f "$build_dir/compile_commands.json" ] || { echo "tidy: no compile_commands.json in $build_dir"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/marrowlark-tidy.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The program's own sources as built there, not the tests, generated code or other tools' folders,
# grouped by target: writes work/<target>.cpp and a compile_commands.json for them.
python3 - "$build_dir/compile_commands.json" "$root" "$work" <<'PY'
import json, os, re, shlex, sys
entries = json.load(open(sys.argv[1]))
own = re.compile(re.escape(sys.argv[2]) + r"/(app|ui|player|platform)/(?!.*_autogen/).*\.cpp$")
work = sys.argv[3]
targets = {}
for entry in entries:
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if not own.match(path):
        continue
    args = shlex.split(entry["command"])
    target = re.search(r"CMakeFiles/([^/]+)\.dir/", args[args.index("-o") + 1]).group(1)
    targets.setdefault(target, {"entry": entry, "sources": set()})["sources"].add(path)
commands = []
for target, found in sorted(targets.items()):
    unity = os.path.join(work, target + ".cpp")
    with open(unity, "w") as out:
        out.writelines(f'#include "{source}"\n' for source in sorted(found["sources"]))
    entry = found["entry"]
    args = shlex.split(entry["command"])
    args[args.index(entry["file"])] = unity
    commands.append({"directory": entry["directory"], "file": unity, "command": shlex.join(args)})
    print(f"{target}: {len(found['sources'])} files", file=sys.stderr)
json.dump(commands, open(os.path.join(work, "compile_commands.json"), "w"), indent=1)
PY
mapfile -t units < <(find "$work" -name '*.cpp' | sort)
[ ${#units[@]} -gt 0 ] || { echo "tidy: no sources found"; exit 1; }

echo "clang-tidy: ${#units[@]} targets"
status=0
printf '%s\n' "${units[@]}" | xargs -P "$(nproc)" -n 1 \
    "$tidy" -p "$work" --config-file="$root/.clang-tidy" --checks=-bugprone-suspicious-include \
    --quiet --extra-arg=-Wno-unknown-warning-option 2>/dev/null >"$build_dir/tidy.log" || status=$?
# clang-tidy prints findings to stdout; keep the summary lines out of the log's verdict.
if [ $status -ne 0 ] || grep -qE '(warning|error):' "$build_dir/tidy.log"; then
    cat "$build_dir/tidy.log"
    echo "clang-tidy: findings above"
    exit 1
fi
echo "clang-tidy: clean"
