#!/usr/bin/env bash
# Marrowlark's performance figures beside a bare Qt window and its peers (mpv, VLC, GStreamer),
# measured in one run on a private X server (Xvfb), sound server (PulseAudio, null sink) and
# session bus, as on a desktop; full screen also under a private Wayland compositor (sway).
# Whole-process runs are interleaved (one of each program per round) and reported as medians;
# every ratio is to an anchor measured in the same run. Prints Markdown tables.
#
#   bench/run.sh [BUILD_DIR]      (default: build; needs MARROWLARK_BUILD_BENCHMARKS=ON)
#   ROUNDS=7 bench/run.sh build   (rounds per whole-process figure; default 5)
#   SECTIONS="ear" bench/run.sh   (some sections only, of: start play fullscreen folders ear; default all)
#
# Sections: start-up, playback (CPU, double-click to playing), folders (in process), and the
# path to the ear (bench/ear.sh: input or exec to the first audible sound at the sink's monitor).
# The peers come from Debian's packages, installed here when missing (root or sudo); a peer
# that cannot be installed or started shows as n/a. VLC refuses to run as root, so it runs as
# the user nobody when this script runs as root.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rounds=${ROUNDS:-5}
sections=${SECTIONS:-all}
app="$build/app/marrowlark"
probe="$build/bench/marrowlark_procprobe"
for tool in "$app" "$probe" "$build/bench/marrowlark_anchor" "$build/bench/marrowlark_bench_play" \
    "$build/bench/marrowlark_bench_fullscreen"; do
    [ -x "$tool" ] || { echo "missing $tool: build with MARROWLARK_BUILD_BENCHMARKS=ON" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/marrowlark-bench.XXXXXX")
chmod 755 "$work"
xvfb_pid=""
pulse_pid=""
bus_pid=""
cleanup() {
    [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "${fs_xvfb_pid:-}" ] && kill "$fs_xvfb_pid" 2>/dev/null || true
    [ -n "${wl_pointer_pid:-}" ] && kill "$wl_pointer_pid" 2>/dev/null || true
    [ -n "${wl_sway_pid:-}" ] && kill "$wl_sway_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

log() { echo "$*" >&2; }

install_peers() {
    local missing=() package
    for package in mpv vlc gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good \
        gstreamer1.0-pulseaudio pulseaudio-utils; do
        [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" = "install ok installed" ] ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
    log "installing the peers: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    { "${sudo[@]}" apt-get update -qq && "${sudo[@]}" apt-get install -y -qq "${missing[@]}"; } >&2 ||
        log "could not install ${missing[*]}: shown as n/a"
}

start_servers() {
    # -br: an unpainted window is black, so "content" means the program has drawn something.
    exec {display_fd}<> <(:)
    Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -br -nolisten tcp -noreset \
        >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    read -r -t 20 -u "$display_fd" display_number || { log "Xvfb did not start"; exit 1; }
    export DISPLAY=":$display_number" QT_QPA_PLATFORM=xcb
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    # The sound server's socket apart, where VLC's user can reach it too.
    mkdir -p -m 755 "$work/pulse"
    export PULSE_SERVER="unix:$work/pulse/native"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no \
        -L "module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
        -L "module-null-sink sink_name=bench_sink" -L "module-always-sink" >"$work/pulse.log" 2>&1 &
    pulse_pid=$!
    for _ in $(seq 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    pactl info >/dev/null 2>&1 || { log "PulseAudio did not start"; exit 1; }
    pactl set-default-sink bench_sink >/dev/null
    # A desktop has a session bus; the program publishes its media controls on it.
    if have dbus-daemon; then
        exec {bus_fd}<> <(:)
        dbus-daemon --session --nofork --nopidfile --print-address="$bus_fd" >"$work/bus.log" 2>&1 &
        bus_pid=$!
        read -r -t 20 -u "$bus_fd" DBUS_SESSION_BUS_ADDRESS || { log "the session bus did not start"; exit 1; }
        export DBUS_SESSION_BUS_ADDRESS
    fi
}

make_media() {
    mkdir -p "$work/start" "$work/ogg" "$work/mp3" "$work/mp4" "$work/home"
    ffmpeg -v error -f lavfi -i sine=frequency=440:duration=20 -c:a libvorbis "$work/ogg/tone.ogg"
    ffmpeg -v error -f lavfi -i sine=frequency=440:duration=20 -c:a libmp3lame "$work/mp3/tone.mp3"
    ffmpeg -v error -f lavfi -i testsrc=size=640x360:rate=25:duration=20 \
        -f lavfi -i sine=frequency=440:duration=20 -c:v libx264 -preset veryfast -pix_fmt yuv420p \
        -c:a aac -shortest "$work/mp4/video.mp4"
    cp "$work/ogg/tone.ogg" "$work/mp3/tone.mp3" "$work/mp4/video.mp4" "$work/start/"
    chmod -R a+rX "$work/start" "$work/ogg" "$work/mp3" "$work/mp4"
    [ "$(id -u)" -ne 0 ] || chown nobody "$work/home"
}

# VLC's commands (vlc, and cvlc without its interface): as nobody when we are root.
make_vlc_command() {
    local program
    for program in vlc cvlc; do
        if [ "$(id -u)" -eq 0 ]; then
            printf '#!/bin/sh\nHOME=%s XDG_RUNTIME_DIR=%s exec setpriv --reuid=nobody --regid=nogroup --clear-groups %s "$@"\n' \
                "$work/home" "$work/home" "$program" >"$work/$program"
        else
            printf '#!/bin/sh\nexec %s "$@"\n' "$program" >"$work/$program"
        fi
        chmod 755 "$work/$program"
    done
    vlc_command="$work/vlc"
    cvlc_command="$work/cvlc"
}
have() { command -v "$1" >/dev/null; }
# mpv turns down Xvfb's software OpenGL unless told to take it, and would fall back to SDL.
mpv_gl=--opengl-sw=yes

# probe NAME CWD PROBE-OPTIONS... -- PROGRAM...: one run, figures appended to $work/NAME.
probe_run() {
    local name=$1 dir=$2
    shift 2
    (cd "$dir" && "$probe" "$@" 2>>"$work/programs.log") >>"$work/$name" || true
}

startup_round() {
    local opts=(--window --rss-at 2 --cpu 3 5 --)
    # Away from where the windows map: the pointer's entry brings Marrowlark's engine up.
    xdotool mousemove 1270 1010
    probe_run start-marrowlark "$work/start" "${opts[@]}" "$app"
    probe_run start-anchor "$work/start" "${opts[@]}" "$build/bench/marrowlark_anchor"
    probe_run start-linked "$work/start" "${opts[@]}" "$build/bench/marrowlark_anchor_linked"
    have mpv && probe_run start-mpv "$work/start" "${opts[@]}" mpv $mpv_gl --idle=yes --force-window=yes
    have vlc && probe_run start-vlc "$work/start" "${opts[@]}" \
        "$vlc_command" --no-qt-privacy-ask --no-dbus
    return 0
}

# The program's window: the folder of the file is the current one, so its list shows the file in
# the first row; a double-click on that row plays it.
double_click_first_row="xdotool mousemove 60 32 click --repeat 2 --delay 60 1"

playback_round() {
    local kind file
    for kind in ogg mp4; do
        file=$(ls "$work/$kind"/*)
        probe_run "cpu-$kind-marrowlark" "$work/$kind" --window --after-content \
            "$double_click_first_row" --rss-at 3 --cpu 4 14 -- "$app"
        have mpv && probe_run "cpu-$kind-mpv" "$work/$kind" --cpu 4 14 -- \
            mpv $mpv_gl --no-terminal "$file"
        have vlc && probe_run "cpu-$kind-vlc" "$work/$kind" --cpu 4 14 -- \
            "$vlc_command" --no-qt-privacy-ask --no-dbus "$file"
        # The first double-click of a window never touched before, in a fresh process each time.
        (cd "$work" && "$build/bench/marrowlark_bench_play" --first "$kind/$(basename "$file")" \
            2>>"$work/programs.log") >>"$work/first-$kind" || true
    done
    (cd "$work" && "$build/bench/marrowlark_bench_play" --first mp3/tone.mp3 2>>"$work/programs.log") \
        >>"$work/first-mp3" || true
    return 0
}

# Full screen: 10 s of a 1920x1080 30 fps H.264 video shown full screen, on an X server of its own
# whose screen is 1920x1080 (the other rows' is 1280x1024), so that the picture is rendered and
# put on the screen at its own size. Marrowlark is measured twice: the real program, made full
# screen by a double-click on its display strip, for its CPU; and marrowlark_bench_fullscreen,
# the same window in process, for the engine's dropped frames (and its CPU again, and the cost of
# one software render). mpv shows the file full screen with its software output; a script of
# its own reads its dropped frames over the same seconds (its timers start with the script, a
# little after the process; the probe keeps mpv until 15 s, for the script's last reading).
fs_xvfb_pid=""
# mpv_drops_script FILE: a script for mpv that appends its dropped frames of seconds 4-14 to FILE.
mpv_drops_script() {
    cat <<LUA
local function drops()
    return mp.get_property_number("frame-drop-count", 0) + mp.get_property_number("decoder-frame-drop-count", 0)
end
local before = 0
mp.add_timeout(4, function() before = drops() end)
mp.add_timeout(14, function()
    local out = io.open("$1", "a")
    out:write(" dropped=" .. (drops() - before) .. "\\n")
    out:close()
end)
LUA
}

fullscreen_setup() {
    mkdir -p "$work/hd"
    ffmpeg -v error -f lavfi -i testsrc=size=1920x1080:rate=30:duration=20 \
        -f lavfi -i sine=frequency=440:duration=20 -c:v libx264 -preset veryfast -pix_fmt yuv420p \
        -c:a aac -shortest "$work/hd/video.mp4"
    mpv_drops_script "$work/fs-mpv-drops" >"$work/mpv-drops.lua"
    mpv_drops_script "$work/wl-mpv-drops" >"$work/mpv-drops-wl.lua"
    exec {fs_display_fd}<> <(:)
    Xvfb -displayfd "$fs_display_fd" -screen 0 1920x1080x24 -br -nolisten tcp -noreset \
        >"$work/xvfb-hd.log" 2>&1 &
    fs_xvfb_pid=$!
    read -r -t 20 -u "$fs_display_fd" fs_display || { log "the 1920x1080 Xvfb did not start"; return 1; }
    wayland_setup || log "no Wayland rows"
}

fullscreen_round() {
    # The first row plays; 1.5 s later a double-click on the display strip, beside the buttons.
    local enter="$double_click_first_row; sleep 1.5; xdotool mousemove 100 244 click --repeat 2 --delay 60 1"
    DISPLAY=":$fs_display" probe_run fs-marrowlark "$work/hd" --window --after-content "$enter" \
        --cpu 4 14 -- "$app"
    (cd "$work" && DISPLAY=":$fs_display" "$build/bench/marrowlark_bench_fullscreen" --seconds 10 \
        hd/video.mp4 2>>"$work/programs.log") >>"$work/fs-inprocess" || true
    have mpv && DISPLAY=":$fs_display" probe_run fs-mpv "$work/hd" --cpu 4 14 --rss-at 15 -- \
        mpv --vo=x11 --fs --no-terminal --script="$work/mpv-drops.lua" "$work/hd/video.mp4"
    if [ -n "$wl_display" ]; then wayland_round; fi
    return 0
}

# The same under Wayland: a headless sway (wlroots' software renderer) with one 1920x1080 output,
# and each program a native client of it. sway refuses to run as root: then it runs as nobody, in
# a runtime folder of its own, while the clients stay. Marrowlark is made full screen by
# double-clicks from a virtual pointer (the tests' marrowlark_test_pointer), which is there before
# the program starts, as a seat's pointer is; mpv shows the file with its shared-memory output.
wl_display=""
wl_pointer_pid=""
wayland_setup() {
    local pointer="$build/tests/wayland/marrowlark_test_pointer" as=() socket
    have sway && have swaymsg && have jq && [ -x "$pointer" ] || { log "sway, jq or $pointer missing"; return 1; }
    mkdir -p -m 700 "$work/sway" "$work/wl-client"
    if [ "$(id -u)" -eq 0 ]; then
        chown nobody "$work/sway"
        as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    echo 'output HEADLESS-1 resolution 1920x1080' >"$work/sway.conf"
    XDG_RUNTIME_DIR=$work/sway WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        "${as[@]}" sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
    wl_sway_pid=$!
    for _ in $(seq 200); do
        socket=$(compgen -G "$work/sway/wayland-[0-9]" | head -n 1) && compgen -G "$work/sway/sway-ipc.*" >/dev/null && break
        sleep 0.1
    done
    [ -n "$socket" ] || { log "sway did not start"; return 1; }
    wl_display=$socket
    SWAYSOCK=$(compgen -G "$work/sway/sway-ipc.*" | head -n 1)
    export SWAYSOCK
    mkfifo "$work/pointer.in"
    WAYLAND_DISPLAY=$wl_display XDG_RUNTIME_DIR=$work/wl-client "$pointer" <"$work/pointer.in" >/dev/null &
    wl_pointer_pid=$!
    exec {wl_pointer_fd}>"$work/pointer.in"
}

# Once the window shows: a double-click on the first row, and 1.5 s later one on the strip.
wayland_enter() {
    local at
    until at=$(swaymsg -t get_tree | jq -er \
        'first(.. | objects | select(.app_id == "marrowlark")) | "\(.rect.x + .window_rect.x) \(.rect.y + .window_rect.y)"'); do
        sleep 0.05
    done
    printf 'move %d %d 1920 1080\nclick 2\n' $((${at% *} + 60)) $((${at#* } + 32)) >&"$wl_pointer_fd"
    sleep 1.5
    printf 'move %d %d 1920 1080\nclick 2\n' $((${at% *} + 100)) $((${at#* } + 244)) >&"$wl_pointer_fd"
}

wayland_round() {
    local client=(env -u DISPLAY WAYLAND_DISPLAY="$wl_display" XDG_RUNTIME_DIR="$work/wl-client")
    wayland_enter &
    probe_run wl-marrowlark "$work/hd" --cpu 4 14 -- "${client[@]}" QT_QPA_PLATFORM=wayland "$app"
    wait $! 2>/dev/null || true
    (cd "$work" && "${client[@]}" QT_QPA_PLATFORM=wayland "$build/bench/marrowlark_bench_fullscreen" \
        --seconds 10 hd/video.mp4 2>>"$work/programs.log") >>"$work/wl-inprocess" || true
    have mpv && probe_run wl-mpv "$work/hd" --cpu 4 14 --rss-at 15 -- "${client[@]}" \
        mpv --vo=wlshm --fs --no-terminal --script="$work/mpv-drops-wl.lua" "$work/hd/video.mp4"
}

fullscreen_measure() {
    fullscreen_setup || return 0
    log "full screen, warm-up round"
    fullscreen_round
    rm -f "$work"/fs-marrowlark "$work"/fs-inprocess "$work"/fs-mpv* "$work"/wl-marrowlark "$work"/wl-inprocess \
        "$work"/wl-mpv*
    for round in $(seq "$rounds"); do
        log "full screen, round $round of $rounds"
        fullscreen_round
    done
}

fullscreen_report() {
    echo
    echo "| full screen, 1920x1080 30 fps H.264 + AAC on a 1920x1080 screen, seconds 4-14 | CPU (% of a core) | dropped frames | software render at 1920x1080 (ms) |"
    echo "|---|---|---|---|"
    echo "| Marrowlark (double-click on the strip) | $(median fs-marrowlark cpu_pct) | | |"
    echo "| Marrowlark's window in process (MpvMedia) | $(median fs-inprocess cpu_pct) | $(median fs-inprocess dropped) | $(median fs-inprocess render_ms) |"
    echo "| mpv --vo=x11 --fs | $(median fs-mpv cpu_pct) | $(median fs-mpv-drops dropped) | |"
    [ -n "$wl_display" ] || return 0
    echo "| Marrowlark under sway (double-click on the strip) | $(median wl-marrowlark cpu_pct) | | |"
    echo "| Marrowlark's window in process under sway | $(median wl-inprocess cpu_pct) | $(median wl-inprocess dropped) | $(median wl-inprocess render_ms) |"
    echo "| mpv --vo=wlshm --fs under sway | $(median wl-mpv cpu_pct) | $(median wl-mpv-drops dropped) | |"
}

# median FILE FIELD: the median of FIELD=value over the lines of FILE, or n/a.
median() {
    [ -f "$work/$1" ] || { echo n/a; return; }
    { grep -o " $2=[0-9.]*" "$work/$1" || true; } | cut -d= -f2 | sort -g |
        awk '{ v[NR] = $1 } END { if (NR == 0) print "n/a";
              else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a == "n/a" || b == "n/a" || b + 0 == 0) print "n/a";
                                     else printf "%.2f\n", a / b }'
}

# want SECTION: whether SECTIONS asks for it.
want() { [ "$sections" = all ] || [[ " $sections " == *" $1 "* ]]; }
one_round() {
    if want start; then startup_round; fi
    if want play; then playback_round; fi
    if want ear; then ear_round; fi
}
# shellcheck source=bench/ear.sh
. "$root/bench/ear.sh"

start_table() {
    local anchor_first entry key first
    anchor_first=$(median start-anchor first_ms)
    echo "| start-up | first content (ms) | ratio to bare Qt | RSS at first content (MiB) | RSS at 2 s (MiB) | idle CPU (% of a core) |"
    echo "|---|---|---|---|---|---|"
    for entry in "marrowlark:Marrowlark" "anchor:bare Qt window, same six controls" \
        "linked:the same with libmpv linked" "mpv:mpv (idle window)" "vlc:VLC (Qt interface)"; do
        key=${entry%%:*}
        first=$(median "start-$key" first_ms)
        echo "| ${entry#*:} | $first | $(ratio "$first" "$anchor_first") | $(median "start-$key" rss_first) | $(median "start-$key" rss_mib) | $(median "start-$key" cpu_pct) |"
    done
}

play_table() {
    local entry kind own mpv_cpu vlc_cpu first
    echo "| CPU while playing (% of a core, seconds 4-14) | Marrowlark | mpv | VLC | Marrowlark / VLC | Marrowlark / mpv |"
    echo "|---|---|---|---|---|---|"
    for entry in "ogg:audio (Vorbis, 440 Hz)" "mp4:video 640x360 H.264 + AAC"; do
        kind=${entry%%:*}
        own=$(median "cpu-$kind-marrowlark" cpu_pct)
        mpv_cpu=$(median "cpu-$kind-mpv" cpu_pct)
        vlc_cpu=$(median "cpu-$kind-vlc" cpu_pct)
        echo "| ${entry#*:} | $own | $mpv_cpu | $vlc_cpu | $(ratio "$own" "$vlc_cpu") | $(ratio "$own" "$mpv_cpu") |"
    done
    echo
    echo "RSS after the first file (3 s, playing the ogg): $(median cpu-ogg-marrowlark rss_mib) MiB; the mp4: $(median cpu-mp4-marrowlark rss_mib) MiB."
    echo
    echo "| double-click to playing | engine's own load to playing (ms) | double-click to state 3, engine up, from stopped (ms) | ratio | first double-click after start, from its first press (ms) | ratio |"
    echo "|---|---|---|---|---|---|"
    tail -n +2 "$work/play.txt" | while read -r name engine clicked ratio_warm; do
        kind=${name##*.}
        first=$(median "first-$kind" first_ms)
        echo "| $name | $engine | $clicked | $ratio_warm | $first | $(ratio "$first" "$engine") |"
    done
}

folders_table() {
    echo "| switch the list (in process, wall time) | floor: readdir + natural sort (ms) | setPath (ms) | ratio | setPath + paint (ms) | ratio |"
    echo "|---|---|---|---|---|---|"
    # The median of the benchmark named $1, whatever Google Benchmark appends to its name.
    value() {
        awk -F, -v name="\"$1" '(index($1, name "/") == 1 || index($1, name "_") == 1) && $1 ~ /_median"$/ {
            print $3; exit }' "$folders_csv"
    }
    for size in 1000 10000 100000; do
        floor=$(value "floor/readdir+natural-sort/$size")
        set_path=$(value "list/setPath/$size")
        painted=$(value "list/setPath+paint/$size")
        [ -n "$floor" ] || continue
        printf '| %s files | %.1f | %.1f | %s | %.1f | %s |\n' "$size" "$floor" "$set_path" \
            "$(ratio "$set_path" "$floor")" "$painted" "$(ratio "$painted" "$floor")"
    done
    miss=$(value keystroke/folderExists-miss)
    [ -z "$miss" ] || printf '\nA keystroke naming no folder (one failed folder lookup): %.2f µs.\n' "$miss"
    in_share=$(value keystroke/share-after-1s-in-folder)
    naming=$(value keystroke/share-after-1s-naming)
    [ -z "$in_share" ] || printf 'A keystroke in a folder of a share that answers each call after 1 s, on the window'"'"'s thread: %.1f µs; the keystroke that first names the folder waits once for the bound, %.1f ms.\n' "$in_share" "$naming"
}


install_peers
start_servers
make_media
make_vlc_command
# A warm-up round fills the file cache and the peers' first-run files; it is not counted.
log "warm-up round"
one_round
rm -f "$work"/start-* "$work"/cpu-* "$work"/first-* "$work"/ear-*
for round in $(seq "$rounds"); do
    log "round $round of $rounds"
    one_round
done
if want fullscreen; then fullscreen_measure; fi
if want play; then
    log "double-click to playing, in process"
    (cd "$work" && "$build/bench/marrowlark_bench_play" --runs $((rounds * 2 + 1)) \
        ogg/tone.ogg mp3/tone.mp3 mp4/video.mp4 2>>"$work/programs.log") >"$work/play.txt" ||
        log "the double-click benchmark failed"
fi
folders_csv="$work/folders.csv"
if want folders && [ -x "$build/bench/marrowlark_bench" ]; then
    log "folders, in process"
    # Two repetitions at least: one alone gives no medians.
    "$build/bench/marrowlark_bench" --benchmark_repetitions=$((rounds > 1 ? rounds : 2)) \
        --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null >"$folders_csv" ||
        log "the folder benchmarks failed"
fi

echo "Measured $(date -u +%Y-%m-%d) on $(nproc) cores, Xvfb and a PulseAudio null sink; medians of $rounds rounds."
if want start; then echo; start_table; fi
if want play; then echo; play_table; fi
if want ear; then echo; ear_table; fi
if want folders && [ -s "$folders_csv" ]; then echo; folders_table; fi
if want fullscreen; then echo; fullscreen_report; fi
