# shellcheck shell=bash disable=SC2154  # the set-up's variables come from bench/run.sh
# The path to the ear: bench/run.sh's section timing the first audible sound at the null sink's
# monitor (bench/earprobe.cpp), Marrowlark driven by real X input beside mpv, VLC and GStreamer
# started on the same file. Sourced by bench/run.sh, whose set-up it uses ($work, $build,
# $app, have, median, ratio, the peers' commands).

ear_probe="$build/bench/marrowlark_earprobe"

# ear_run NAME CWD EARPROBE-OPTIONS... -- PROGRAM...: one fresh process, figures appended to
# $work/NAME; Marrowlark's runs also to $work/ear-marrowlark, where its warm figures are pooled.
ear_run() {
    local name=$1 dir=$2 line
    shift 2
    line=$(cd "$dir" && "$ear_probe" "$@" 2>>"$work/programs.log") || true
    echo "$line" >>"$work/$name"
    [[ $name != ear-peer-* ]] && echo "$line" >>"$work/ear-marrowlark"
    return 0
}

ear_round() {
    [ -x "$ear_probe" ] || return 0
    local file="$work/ogg/tone.ogg"
    # The program lists its current folder: the file is in the first row.
    ear_run ear-cold "$work/ogg" --window cold -- "$app"
    ear_run ear-hover "$work/ogg" --window hover -- "$app"
    have mpv && ear_run ear-peer-mpv "$work" --exec -- mpv "$mpv_gl" --no-terminal "$file"
    have cvlc && ear_run ear-peer-vlc "$work" --exec -- "$cvlc_command" --no-dbus "$file"
    have gst-launch-1.0 && ear_run ear-peer-gst "$work" --exec -- gst-launch-1.0 -q playbin "uri=file://$file"
    return 0
}

# ear_count FILE FIELD: how many runs gave FIELD a figure (a run that failed gives n/a).
ear_count() {
    [ -f "$work/$1" ] || { echo 0; return; }
    { grep -o " $2=[0-9.]*" "$work/$1" || true; } | grep -c '=[0-9]'
}

ear_table() {
    if [ ! -x "$ear_probe" ]; then
        echo "The path to the ear was not timed: $ear_probe is missing (libxtst-dev, libpulse-dev)."
        return 0
    fi
    local warm
    warm=$(median ear-marrowlark warm_ms)
    echo "| the path to the ear, tone.ogg (ms from the first press, or from exec, to the first audible 10 ms fragment at the monitor) | median | ratio to warm | runs |"
    echo "|---|---|---|---|"
    for entry in \
        "ear-cold:first_ms:Marrowlark, first double-click, cold: window untouched, the pointer straight onto the row" \
        "ear-hover:first_ms:Marrowlark, first double-click, cold: the pointer in the window 300 ms before" \
        "ear-marrowlark:warm_ms:Marrowlark, double-click, warm: engine up, from stopped" \
        "ear-peer-mpv:exec_ms:mpv FILE" \
        "ear-peer-vlc:exec_ms:cvlc FILE (VLC)" \
        "ear-peer-gst:exec_ms:gst-launch-1.0 playbin uri=FILE (GStreamer)"; do
        local file=${entry%%:*} rest=${entry#*:}
        local value field=${rest%%:*}
        value=$(median "$file" "$field")
        echo "| ${rest#*:} | $value | $(ratio "$value" "$warm") | $(ear_count "$file" "$field") |"
    done
    echo
    echo "| pause and resume in Marrowlark (ms; a key from its press, a click from its release) | to the first silent fragment | to the first audible fragment | runs |"
    echo "|---|---|---|---|"
    local how
    for how in "space:Space in the list" "button:the play/pause button, clicked"; do
        echo "| ${how#*:} | $(median ear-marrowlark "pause_${how%%:*}_ms") | $(median ear-marrowlark "resume_${how%%:*}_ms") | $(ear_count ear-marrowlark "resume_${how%%:*}_ms") |"
    done
}
