#!/usr/bin/env bash
# Runs the whole suite against real parts: an X server (Xvfb) on a display nobody else uses and a
# PulseAudio server with a null sink, both private to this run and stopped afterwards.
set -euo pipefail

build_dir=${1:-build}
work=$(mktemp -d "${TMPDIR:-/tmp}/marrowlark-tests.XXXXXX")
xvfb_pid=""
pulse_pid=""

cleanup() {
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# -displayfd makes Xvfb pick a free display itself and tell us its number.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 20 -u "$display_fd" display_number || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export MARROWLARK_TEST_DISPLAY=":$display_number"
export DISPLAY="$MARROWLARK_TEST_DISPLAY"

# A private sound server: its own runtime folder, no autospawn, one null sink.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse-native"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no \
    -L "module-native-protocol-unix socket=$XDG_RUNTIME_DIR/pulse-native auth-anonymous=1" \
    -L "module-null-sink sink_name=marrowlark_test_sink" \
    -L "module-always-sink" >"$work/pulse.log" 2>&1 &
pulse_pid=$!
for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start"; cat "$work/pulse.log"; exit 1; }
pactl set-default-sink marrowlark_test_sink >/dev/null

export MARROWLARK_TEST_WORK="$work"
cd "$build_dir"
# Tests that share the display or the sound sink take turns (RESOURCE_LOCK session); the others,
# each with private folders, run beside them.
ctest --output-on-failure --timeout 300 --parallel "${MARROWLARK_TEST_JOBS:-$(nproc)}" ${CTEST_ARGS:-}
