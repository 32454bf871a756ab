# What a screen reader makes of the real program, on the private session bus this runs on
# (dbus-run-session): the window read through AT-SPI as Orca reads it, keys sent through the
# accessibility registry, and what Orca itself says (its debug log holds every utterance).
# Run with Debian's /usr/bin/python3, which has pyatspi. Usage: screenreader.py PROGRAM
import os, shutil, subprocess, sys, tempfile, threading, time
from gi.repository import GLib

NAME = "Evening Bell.ogg"
work = tempfile.mkdtemp()
# Orca keeps its settings here, speaks English and asks nothing on a first run. Its speech goes to
# the log alone: the speech server it would start (and wait on) refuses at once.
env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=f"{work}/config", XDG_DATA_HOME=f"{work}/data",
           XDG_CACHE_HOME=f"{work}/cache", LC_ALL="C.UTF-8", LANG="C.UTF-8", SPEECHD_CMD="/bin/false")
procs, lines = [], []
# Orca's debug log goes to a terminal, which Python writes a line at a time (a file, in blocks);
# a thread reads it as it comes, so Orca never waits on it.
log, terminal = os.openpty()
threading.Thread(target=lambda: [lines.append(l) for l in open(log, errors="replace", closefd=False)],
                 daemon=True).start()

def start(*args, **extra):
    procs.append(subprocess.Popen(args, env=dict(env, **extra), cwd=work, stdout=subprocess.DEVNULL))

def run(*args):
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout

def until(what, condition):
    deadline = time.monotonic() + 60
    while not condition():
        if time.monotonic() > deadline:
            sys.exit(f"FAIL: no {what} within 60 s; Orca said: {speech()[-8:]}")
        GLib.MainContext.default().iteration(True)

def speech():
    return [l.split("SPEECH OUTPUT: ", 1)[1].strip() for l in list(lines) if "SPEECH OUTPUT: " in l]

def said(text):
    return lambda: any(text in line for line in speech())

try:
    run("ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=120", f"{work}/{NAME}")
    GLib.timeout_add(50, lambda: True)  # conditions on processes and the log are looked at again
    start("/usr/libexec/at-spi-bus-launcher", "--launch-immediately", "--a11y=1")
    owner = ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
             "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"]
    until("accessibility bus", lambda: "true" in run(*owner))
    start("openbox", "--sm-disable", "--startup", f"touch {work}/.managing")  # gives the window the focus
    until("window manager", lambda: os.path.exists(f"{work}/.managing"))
    # Orca allows one of itself per user: a process namespace of its own hides any other.
    ns = ["--pid", "--fork", "--mount-proc", "--kill-child"] + (["--user", "--map-root-user"] if os.getuid() else [])
    start("unshare", *ns, "orca", "--debug-file", os.ttyname(terminal))
    until("Orca", said("Screen reader on"))
    import pyatspi
    focus, shown = [None], set()
    def heard(e):
        if e.type.endswith("focused") and e.detail1:  # the list, or its current item
            focus[0] = (e.source.parent if e.source.getRoleName() == "list item" else e.source).name
        elif e.type.endswith("showing"):
            (shown.add if e.detail1 else shown.discard)((e.source.getRoleName(), e.source.name))
    pyatspi.Registry.registerEventListener(heard, "object:state-changed:focused", "object:state-changed:showing")
    start(sys.argv[1], QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    until("list with the focus", lambda: focus[0] == "Files")
    until("the current name spoken with the list", said(f"'{NAME}.'"))
    frame = next(a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "Marrowlark")[0]
    assert (frame.getRoleName(), frame.name) == ("frame", "Marrowlark"), (frame.getRoleName(), frame.name)
    controls = {c.name: c for c in frame if c.getState().contains(pyatspi.STATE_FOCUSABLE)}
    assert sorted(controls) == sorted(["Video", "Folder", "Open", "Files", "Play", "Pause"]), sorted(controls)

    def tab(*stops):
        for stop in stops:
            pyatspi.Registry.generateKeyboardEvent(0xFF09, None, pyatspi.KEY_SYM)  # Tab
            until(f"focus on {stop}", lambda: focus[0] == stop)

    tab("Video", "Folder", "Open", "Files")
    box = controls["Files"][0].queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    run("xdotool", "mousemove", str(box.x + box.width // 2), str(box.y + box.height // 2),
        "click", "--repeat", "2", "--delay", "80", "1")
    until("notification of the name", lambda: ("notification", NAME) in shown)
    until("the name spoken", said(f"notification {NAME}"))
    tab("Video", "Folder", "Open", "Pause")
    controls["Pause"].queryAction().doAction(0)  # Press, as a screen reader does
    until("focus on Play", lambda: focus[0] == "Play")
    until("Play spoken", said("Play push button"))
    tab("Files", "Video")
    for key, menu in (("shift+F10", True), ("Escape", False), ("Menu", True)):
        run("xdotool", "key", key)
        until(f"menu {'open' if menu else 'closed'} after {key}", lambda: (("popup menu", "") in shown) == menu)
    run("xdotool", "key", "Down", "Down", "Down", "Return")  # Stop
    until("the idle title spoken", said("notification Marrowlark"))
    spoken = speech()
    assert not any("Loading" in line for line in spoken), spoken
    assert sum(f"notification {NAME}" in line for line in spoken) == 1, spoken  # not again on pause or stop
    print("PASS")
finally:
    for p in reversed(procs):
        # unshare leaves a signal it can catch to its child; its end takes the namespace with it.
        (p.kill if p.args[0] == "unshare" else p.terminate)()
        p.wait()
    shutil.rmtree(work, ignore_errors=True)
