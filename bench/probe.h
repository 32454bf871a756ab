#pragma once

// What the whole-process probes of bench/run.sh share: a monotonic clock, the program started
// and ended, its resident set, and its first picture on the X display.
//
// All of it runs on the caller's thread; nothing here is thread-safe unless said so.

#include <X11/Xlib.h>

#include <sys/types.h>

namespace probe {

/// Seconds on the monotonic clock. Safe from any thread.
double now();
/// Returns once now() has reached @p when (at once if it has).
void sleepUntil(double when);

/// Starts @p argv (argv[0] looked up in PATH) with its standard output sent to /dev/null, so
/// that the program's own output does not mix with the figures; standard error is left as it
/// is. Returns the child's pid. An exec that fails ends the child with status 127.
pid_t spawn(char** argv);
/// Ends the program: SIGTERM, SIGKILL after 2 s; reaps it.
void end(pid_t pid);

/// The resident set of @p pid in MiB, or -1 when it cannot be read.
double residentMiB(pid_t pid);

/// Opens the display named by DISPLAY, watching the root's children for windows being mapped
/// (call it before starting the program, so no mapping is missed), with X errors ignored: a
/// window may vanish between its MapNotify and a look at it. Null when there is no display.
Display* openWatchedDisplay();

/// The first top-level window whose picture has content: mapped, at least 64x64, and its pixels
/// no longer of one colour (run Xvfb with -br, so that an unpainted window is black).
struct Content {
    double seconds = -1; ///< from start, or -1 when none came within the timeout
    Window window = 0;
};
Content waitForContent(Display* display, double start, double timeout);

} // namespace probe
