#!/usr/bin/env bash
# The real program as a native Wayland client of a headless sway at output scale 2, driven as a
# user would: its window and app id, a double-click on a row, the strip opaque while a video
# plays, full screen over the whole output with an idle inhibitor, Space and Escape, and the
# pictures rendered at the size of the device pixels.
#   session.sh PROGRAM POINTER DESKTOP-ENTRY      (POINTER: the tests' virtual pointer, pointer.cpp)
set -euo pipefail
program=$(readlink -f "$1") pointer=$(readlink -f "$2") entry=$3
source "$(dirname "$0")/../desktop/lib.sh"
scratch_and_processes
chmod 755 "$work"
# A failure shows what the program and the compositor said, and the program's windows.
fail() {
    echo "FAIL: $*" >&2
    tail -n 20 "$work"/program.err "$work"/sway.log >&2 || true
    echo "windows: $(window 2>&1) $(view 2>&1)" >&2
    exit 1
}

# Lossless videos of one-pixel stripes, 60 s without sound, each the size at which it shows 1:1 at
# scale 2: in the strip (80 device pixels high), and full screen (1280 device pixels wide).
mkdir "$work/media"
stripes() {
    ffmpeg -v error -f lavfi -i "nullsrc=s=$1:r=5:d=0.2,geq=lum=255*mod(X\,2):cb=128:cr=128,loop=loop=299:size=1" \
        -c:v libx264 -qp 0 -preset ultrafast "$work/media/$2"
}
stripes 64x80 a-strip.mp4
stripes 1280x960 b-full.mp4
# And a picture with an alpha channel of its own: white at half opacity, mid-grey over black.
ffmpeg -v error -f lavfi -i "color=white@0.5:s=64x80:r=5:d=60,format=rgba" -c:v png "$work/media/c-alpha.mov"
background='32,64,96'

# sway refuses to run as root: then as nobody, in a runtime folder of its own; the clients stay.
mkdir -m 700 "$work/sway" "$work/client"
as=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$work/sway"
    as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
printf 'output HEADLESS-1 resolution 1280x1024 scale 2 bg #204060 solid_color\n' >"$work/sway.conf"
XDG_RUNTIME_DIR=$work/sway WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    "${as[@]}" sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
pids+=($!)
wait_for "sway's sockets" 30 compgen -G "$work/sway/sway-ipc.*"
WAYLAND_DISPLAY=$(compgen -G "$work/sway/wayland-[0-9]") SWAYSOCK=$(compgen -G "$work/sway/sway-ipc.*")
export WAYLAND_DISPLAY SWAYSOCK XDG_RUNTIME_DIR=$work/client
unset DISPLAY

# One keyboard and one pointer for the whole run, there before the program binds the seat's:
# keys come from further wtype runs, and input sent before a client has bound a device is lost.
wtype -s 3600000 "" &
pids+=($!)
coproc POINTER { "$pointer"; }
pids+=($!)
has_input() { swaymsg -t get_inputs | jq -e "any(.[]; .type == \"$1\")" >/dev/null; }
wait_for "a keyboard" 30 has_input keyboard
wait_for "a pointer" 30 has_input pointer
pointer() {
    echo "$*" >&"${POINTER[1]}"
    local reply
    read -r -u "${POINTER[0]}" reply && [ "$reply" = done ] || fail "the pointer did not take: $*"
}

(cd "$work/media" && QT_QPA_PLATFORM=wayland exec "$program" 2>"$work/program.err") &
pids+=($!)

# The program's windows as sway has them: the main one (floating), or the full-screen view.
window() { swaymsg -t get_tree | jq -c '[.. | objects | select(.app_id == "marrowlark" and .fullscreen_mode == 0)][0]'; }
view() { swaymsg -t get_tree | jq -c '[.. | objects | select(.app_id == "marrowlark" and .fullscreen_mode == 1)][0]'; }
output() { swaymsg -t get_outputs | jq -c '.[0].rect'; }
is() { jq -e "$2" <<<"$1" >/dev/null; }
window_is() { is "$(window)" "$1"; }
view_is() { is "$(view)" "$1"; }
# click_in X Y CLICKS: the main window's client point X,Y (logical pixels).
click_in() {
    local at layout
    at=$(window | jq -r '"\(.rect.x + .window_rect.x) \(.rect.y + .window_rect.y)"')
    layout=$(output | jq -r '"\(.width) \(.height)"')
    pointer move $((${at% *} + $1)) $((${at#* } + $2)) $layout
    pointer click "$3"
}
# shot FILE: the main window's client area, at the output's scale.
shot() { grim -g "$(window | jq -r '"\(.rect.x + .window_rect.x),\(.rect.y + .window_rect.y) 331x264"')" "$1"; }
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | sed -n 's/^0,0: *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'; }
# crisp FILE X Y: the 40 pixels from X,Y on alternate between dark and light, as the stripes do
# when drawn 1:1 (scaled, they blur to grey).
crisp() {
    convert "$1" -crop "40x1+$2+$3" -colorspace gray -depth 8 gray:- | od -An -tu1 -v |
        awk '{ for (i = 1; i <= NF; i++) v[n++] = $i } END {
            for (i = 1; i < n; i++) if ((v[i] - v[i-1]) ^ 2 > 100 ^ 2) alternations++
            exit !(n == 40 && alternations >= 36) }'
}

# An output at scale 2 throughout (Qt 6.4 does not redraw a shown window at a scale changed later):
# the window keeps its size in logical pixels and is drawn at 662x528 device pixels. Floating,
# with the app id of the desktop entry (whose icon it shows).
wait_for "the window" 30 window_is '.name == "Marrowlark" and .window_rect.width == 331 and .window_rect.height == 264'
window_is '.type == "floating_con"' || fail "the window does not float: $(window)"
window_is ".app_id == \"$(basename "$entry" .desktop)\"" || fail "app id and desktop entry differ"

# A double-click on the first row plays it. The strip is opaque beside and over the picture, and
# the picture is drawn 1:1 in device pixels.
click_in 60 32 2
wait_for "a-strip.mp4 playing" 30 window_is '.name == "a-strip.mp4"'
strip_shows() {
    shot "$work/strip.png"
    [ "$(identify -format %wx%h "$work/strip.png")" = 662x528 ] && [ "$(pixel "$work/strip.png" 40 488)" = 0,0,0 ] &&
        [ "$(pixel "$work/strip.png" 325 488)" != "$background" ] && crisp "$work/strip.png" 305 488
}
wait_for "an opaque strip at device size" 30 strip_shows

# Full screen over the whole output, with the compositor's idle inhibitor; Space pauses and
# releases it, Escape leaves.
covers_output_inhibited() { view_is "(.rect == $(output)) and .idle_inhibitors.application == \"enabled\""; }
click_in 20 244 2
wait_for "full screen, inhibited" 30 covers_output_inhibited
wtype -k space
wait_for "the inhibitor released" 30 view_is '.idle_inhibitors.application == "none"'
wtype -k Escape
wait_for "the window back" 30 window_is '.visible and .name == "a-strip.mp4"'
view_is '. == null' || fail "the full-screen view stays: $(view)"

# Full screen again, on a new surface: inhibited again, the picture 1:1 in device pixels and
# the bars above and below it black.
click_in 60 45 2
wait_for "b-full.mp4 playing" 30 window_is '.name == "b-full.mp4"'
click_in 20 244 2
wait_for "full screen again, inhibited" 30 covers_output_inhibited
view_shows() { grim "$work/view.png" && crisp "$work/view.png" 600 512 && [ "$(pixel "$work/view.png" 600 10)" = 0,0,0 ]; }
wait_for "the full-screen picture at device size, the bars opaque" 30 view_shows
wtype -k Escape
wait_for "the window back" 30 window_is '.visible'
click_in 60 58 2
mid_grey() { shot "$work/alpha.png" && [[ "$(pixel "$work/alpha.png" 325 488)" =~ ^1(2[0-9]|3[0-5]),1(2[0-9]|3[0-5]), ]]; }
wait_for "the half-transparent picture over black" 30 mid_grey
echo "PASS"
