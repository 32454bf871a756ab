#!/usr/bin/env bash
# The real executable's window offers the six icon images to the window manager: the icon's Qt
# resource is linked into the program itself, not only into the tests.
#
#   window-icon.sh <marrowlark executable>
#
# Runs on the suite's private X display (MARROWLARK_TEST_DISPLAY); exits 77 (skipped) without one.
set -euo pipefail

program=$1
[ -n "${MARROWLARK_TEST_DISPLAY:-}" ] || { echo "no test display"; exit 77; }
export DISPLAY=$MARROWLARK_TEST_DISPLAY QT_QPA_PLATFORM=xcb

# The program lists the working folder; give it an empty one of its own.
folder=$(mktemp -d)
(cd "$folder" && exec "$program") &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$folder"' EXIT

# _NET_WM_ICON is a list of images, each its width, its height and width x height pixels.
icon_sizes() {
    xprop -len 1000000 -id "$1" -notype 32c _NET_WM_ICON 2>/dev/null |
        awk -F' = ' 'NF == 2 {
            n = split($2, v, ", ")
            for (i = 1; i + 1 <= n; i += 2 + v[i] * v[i + 1]) printf "%sx%s ", v[i], v[i + 1]
        }'
}

sizes=""
deadline=$((SECONDS + 60))
while [ -z "$sizes" ] && [ $SECONDS -lt $deadline ]; do
    kill -0 "$pid" 2>/dev/null || { echo "marrowlark ended early"; exit 1; }
    for window in $(xdotool search --pid "$pid" --name '^Marrowlark$' 2>/dev/null || true); do
        sizes=$(icon_sizes "$window")
        [ -n "$sizes" ] && break
    done
    [ -n "$sizes" ] || sleep 0.1
done

expected="256x256 128x128 64x64 48x48 32x32 16x16 "
echo "window icon sizes: ${sizes:-none}"
[ "$sizes" = "$expected" ] || { echo "expected: $expected"; exit 1; }
