#!/usr/bin/env bash
# The real program's media controls, on the private session bus this script runs on
# (dbus-run-session), driven with dbus-send; and the program without any bus.
set -euo pipefail
program=$1
source "$(dirname "$0")/lib.sh"
[ -n "${DISPLAY:-}" ] || fail "DISPLAY is not set: run the suite with scripts/run-tests.sh"

scratch_and_processes

name=org.mpris.MediaPlayer2.marrowlark
path=/org/mpris/MediaPlayer2

# get BUSNAME INTERFACE PROPERTY: the property's value as dbus-send prints it, type word first.
get() {
    dbus-send --session --print-reply --dest="$1" $path org.freedesktop.DBus.Properties.Get \
        "string:$2" "string:$3" | sed -n 's/^ *variant *//p'
}
invoke() {
    dbus-send --session --print-reply --dest="$1" $path "$2" >/dev/null
}
# start VARIABLE ENV...: starts the program in the scratch folder; its pid goes into VARIABLE,
# its standard error into $work/<VARIABLE>.err.
start() {
    local var=$1
    shift
    (cd "$work" && exec env "$@" "$program" 2>"$work/$var.err") &
    pids+=($!)
    printf -v "$var" %s $!
}
# expect_exit PID CODE: the process ends within a minute, with exit code CODE.
expect_exit() {
    wait_for "end of process $1" 60 has_ended "$1"
    local rc=0
    wait "$1" || rc=$?
    [ "$rc" = "$2" ] || fail "process $1 ended with exit code $rc"
}

# One copy: its name, identity, status and refusal to open anything.
start first
wait_for "bus name $name" 60 has_owner $name
wait_for "window of the first copy" 60 has_marrowlark_window "$first"
[ "$(get $name org.mpris.MediaPlayer2 Identity)" = 'string "Marrowlark"' ] || fail "Identity"
[ "$(get $name org.mpris.MediaPlayer2 DesktopEntry)" = 'string "marrowlark"' ] || fail "DesktopEntry"
[ "$(get $name org.mpris.MediaPlayer2.Player PlaybackStatus)" = 'string "Stopped"' ] ||
    fail "PlaybackStatus at start"
[ "$(get $name org.mpris.MediaPlayer2.Player CanGoNext)" = 'boolean false' ] || fail "CanGoNext"
ffmpeg -v error -f lavfi -i sine=frequency=440:duration=2 "$work/tone.wav"
if dbus-send --session --print-reply --dest=$name $path org.mpris.MediaPlayer2.Player.OpenUri \
    "string:file://$work/tone.wav" >"$work/openuri.out" 2>&1; then
    fail "OpenUri was accepted"
fi
grep -q 'org.freedesktop.DBus.Error.NotSupported' "$work/openuri.out" || fail "OpenUri: $(cat "$work/openuri.out")"
[ "$(get $name org.mpris.MediaPlayer2.Player PlaybackStatus)" = 'string "Stopped"' ] ||
    fail "OpenUri started something"
[ "$(xdotool getwindowname "$(marrowlark_window_of "$first")")" = Marrowlark ] || fail "caption"

# A second copy beside it takes the instance name; Quit ends it alone, with exit code 0.
start second
wait_for "bus name $name.instance$second" 60 has_owner "$name.instance$second"
wait_for "window of the second copy" 60 has_marrowlark_window "$second"
invoke "$name.instance$second" org.mpris.MediaPlayer2.Quit
expect_exit "$second" 0
has_owner "$name.instance$second" && fail "the second copy's name outlived it"
has_marrowlark_window "$first" || fail "Quit of the second copy closed the first"
invoke $name org.mpris.MediaPlayer2.Raise
invoke $name org.mpris.MediaPlayer2.Quit
expect_exit "$first" 0

# No bus, either a bus address that leads nowhere or none at all: the window comes up as always
# and nothing is printed about the bus.
for variant in dead none; do
    if [ $variant = dead ]; then
        start nobus "DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-such-bus"
    else
        start nobus -u DBUS_SESSION_BUS_ADDRESS "XDG_RUNTIME_DIR=$work"
    fi
    wait_for "window without a bus ($variant)" 60 has_marrowlark_window "$nobus"
    kill "$nobus"
    wait_for "end of the copy without a bus" 60 has_ended "$nobus"
    if grep -iE 'bus|mpris' "$work/nobus.err"; then
        fail "the program spoke of the bus without one ($variant)"
    fi
done
grep -iE 'bus|mpris' "$work/first.err" && fail "the first copy printed about the bus"
echo "PASS"
