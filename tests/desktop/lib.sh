# Helpers shared by the desktop tests' scripts. Sourced, never run.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# wait_for WHAT SECONDS COMMAND...: runs COMMAND every tenth of a second until it succeeds; fails
# the test when SECONDS pass first.
wait_for() {
    local what=$1 seconds=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || fail "no $what within $seconds s"
        sleep 0.1
    done
}

# The top-level window titled exactly "Marrowlark" that process PID shows, if any.
marrowlark_window_of() {
    xdotool search --all --onlyvisible --pid "$1" --name '^Marrowlark$' 2>/dev/null | head -n 1
}

has_marrowlark_window() {
    [ -n "$(marrowlark_window_of "$1")" ]
}

has_ended() {
    ! kill -0 "$1" 2>/dev/null
}

# scratch_and_processes: $work, a scratch folder, and $pids, where the script adds the processes it
# starts; when the script ends, those processes are ended and the folder removed.
scratch_and_processes() {
    work=$(mktemp -d)
    pids=()
    trap end_scratch_and_processes EXIT
}
end_scratch_and_processes() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}

# has_owner NAME: somebody owns NAME on the session bus.
has_owner() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}
