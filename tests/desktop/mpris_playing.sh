#!/usr/bin/env bash
# The real program's media controls while a tagged file with a cover plays, on the private session
# bus this script runs on (dbus-run-session): the metadata a desktop applet reads, Position,
# SetPosition and Seek with their Seeked signals, and the caption left to the file name.
set -euo pipefail
program=$1
source "$(dirname "$0")/lib.sh"
[ -n "${DISPLAY:-}" ] || fail "DISPLAY is not set: run the suite with scripts/run-tests.sh"

scratch_and_processes

name=org.mpris.MediaPlayer2.marrowlark
path=/org/mpris/MediaPlayer2
player=org.mpris.MediaPlayer2.Player
file_name="low tide.mp3" # the space shows the URL's percent-encoding
ffmpeg -v error -f lavfi -i sine=frequency=440:duration=30 -f lavfi -i color=c=red:size=64x64:d=1 \
    -map 0:a -map 1:v -c:v png -frames:v 1 -disposition:v attached_pic -id3v2_version 3 \
    -metadata title="Shore Line" -metadata artist="The Gulls" -metadata album="Low Water" \
    "$work/$file_name"

get() {
    dbus-send --session --print-reply --dest=$name $path org.freedesktop.DBus.Properties.Get \
        "string:$player" "string:$1" | sed -n 's/^ *variant *//p'
}
call() {
    dbus-send --session --print-reply --dest=$name $path "$player.$1" "${@:2}" >/dev/null
}
# meta KEY: the value of KEY in Metadata as dbus-send prints it, lists joined on one line.
meta() {
    dbus-send --session --print-reply --dest=$name $path org.freedesktop.DBus.Properties.Get \
        "string:$player" string:Metadata |
        awk -v key="string \"$1\"" '/^ *\)$/ { on = 0 } on { sub(/^ *(variant)? */, ""); printf "%s ", $0 }
            $0 ~ "^ *" key "$" { on = 1 }' | sed 's/ $//'
}
position() { get Position | sed -n 's/^int64 //p'; }
# near US TOLERANCE: Position is within TOLERANCE µs of US.
near() {
    local at
    at=$(position)
    [ -n "$at" ] && ((at > $1 - $2 && at < $1 + $2))
}
caption_is() { [ "$(xdotool getwindowname "$window")" = "$1" ]; }
status_is() { [ "$(get PlaybackStatus)" = "string \"$1\"" ]; }
# Every Seeked signal, after a marker signal that shows the monitor listens.
dbus-monitor --session "type='signal',interface='$player',member='Seeked'" \
    "type='signal',interface=org.marrowlark.Test" >"$work/signals" 2>&1 &
pids+=($!)
marked() {
    dbus-send --session --type=signal / org.marrowlark.Test.Marker
    grep -q Marker "$work/signals"
}
wait_for "dbus-monitor listening" 60 marked
seeked_count() { grep -c 'member=Seeked' "$work/signals" || true; }
# seeked_to N US: the N-th Seeked signal came, carrying US within half a second.
seeked_to() {
    local at
    at=$(grep -A1 'member=Seeked' "$work/signals" | sed -n 's/^ *int64 //p' | sed -n "$1p")
    [ -n "$at" ] && ((at > $2 - 500000 && at < $2 + 500000))
}

(cd "$work" && exec "$program" 2>"$work/program.err") &
pids+=($!)
wait_for "bus name $name" 60 has_owner $name
wait_for "window" 60 has_marrowlark_window "${pids[-1]}"
window=$(marrowlark_window_of "${pids[-1]}")
# Selects the only file with a click on the list's first row and plays it with Return.
xdotool mousemove --window "$window" 60 34 click 1 key Return
wait_for "caption $file_name" 60 caption_is "$file_name"
wait_for "title in the metadata" 60 eval '[ "$(meta xesam:title)" = "string \"Shore Line\"" ]'

track=$(meta mpris:trackid | sed -n 's/^object path "\(.*\)"$/\1/p')
[[ $track == /* ]] || fail "trackid: $(meta mpris:trackid)"
length=$(meta mpris:length | sed -n 's/^int64 //p')
((length > 29500000 && length < 30500000)) || fail "length $length µs"
[ "$(meta xesam:artist)" = 'array [ string "The Gulls" ]' ] || fail "artist: $(meta xesam:artist)"
[ "$(meta xesam:album)" = 'string "Low Water"' ] || fail "album: $(meta xesam:album)"
[ "$(meta xesam:url)" = "string \"file://$work/low%20tide.mp3\"" ] || fail "url: $(meta xesam:url)"
[[ $(meta mpris:artUrl) == 'string "data:image/'* ]] || fail "artUrl: $(meta mpris:artUrl | cut -c1-80)"
[ "$(get CanSeek)" = 'boolean true' ] || fail "CanSeek"

# Position is read fresh while it plays; then the jumps are checked paused, where it stands still.
# The engine (mpv alike) lands an exact jump made after a pause a little early, 0.17 s without a
# sound server, so a jump is checked to half a second and Seek from where the last one landed.
first=$(position)
wait_for "Position advancing from $first" 60 eval '(($(position) > first + 200000))'
call Pause
wait_for "pause" 60 status_is Paused
call SetPosition "objpath:$track" int64:20000000
wait_for "Position near 20 s" 60 near 20000000 500000
wait_for "Seeked to 20 s" 60 seeked_to 1 20000000
landed=$(position)
call Seek int64:-5000000
wait_for "Position near $landed µs - 5 s" 60 near $((landed - 5000000)) 500000
wait_for "Seeked to $landed µs - 5 s" 60 seeked_to 2 $((landed - 5000000))
# Requests are carried out in order: a stale one sent before the next valid one would have been
# announced first.
call SetPosition "objpath:${track%/*}/0" int64:5000000
call SetPosition "objpath:$track" int64:25000000
wait_for "Position near 25 s" 60 near 25000000 500000
wait_for "Seeked to 25 s" 60 seeked_to 3 25000000
[ "$(seeked_count)" = 3 ] || fail "Seeked signals: $(grep -A1 'member=Seeked' "$work/signals")"
caption_is "$file_name" || fail "caption after the jumps: $(xdotool getwindowname "$window")"
echo "PASS"
