// The whole path to the ear, for bench/run.sh: from the user's input (or from exec) to the first
// audible 10 ms fragment at the sound server's monitor (see monitor.h).
//
//   marrowlark_earprobe [--source NAME] [--timeout S] [--trace] --exec -- PROGRAM ARGS...
//   marrowlark_earprobe [--source NAME] [--timeout S] [--trace] --window cold|hover -- PROGRAM ARGS...
//
// --exec starts a player on its file, as its users start one, and prints
//   exec_ms            exec -> the first audible fragment.
// --window drives Marrowlark, started in a folder whose first file plays, with real X input
// (XTest) as a person would, the pointer parked outside the window until then, and prints
//   first_ms           the first double-click of the window -> the first audible fragment: the
//                      window shown half a second before and never touched or hovered ("cold"),
//                      or with the pointer moved onto the row 300 ms before the double-click
//                      ("hover", as a person's pointer enters the window before clicking);
//   warm_ms            the same file stopped (the player's menu: right-click on the display, Stop)
//                      and double-clicked again, the engine up;
//   pause_space_ms, resume_space_ms    Space in the list -> the first silent fragment, and the
//                      next Space -> the first audible fragment, two of each;
//   pause_button_ms, resume_button_ms  likewise, clicking the play/pause button, from the
//                      click's release (a button acts on it, so that a press can still slide off).
// A double-click is two presses 80 ms apart, each held 40 ms; times run from the first press.
// Figures not reached within the timeout (default 5 s) print as n/a. --trace writes the recorded
// fragments to standard error. The window's places are those of its layout at 96 dpi, with the
// window where the X server puts it when no window manager runs.

#include "monitor.h"
#include "probe.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

constexpr double kHeldS = 0.040;
constexpr double kBetweenPressesS = 0.080;
constexpr double kSettleS = 0.5; // a person needs longer than this to find a row in a new window
constexpr double kPauseS = 0.3;  // between a person's actions
constexpr double kMenuS = 0.15;  // a menu read before its key presses
constexpr int kCycles = 2;

struct Point {
    int x;
    int y;
};
constexpr Point kFirstRow{60, 32};
constexpr Point kDisplayStrip{100, 244};
constexpr Point kPlayPauseButton{264, 244};

using Level = SoundMonitor::Level;

// Real input as the X server delivers a person's; each action returns when its timed event went.
class Input {
public:
    Input(Display* display, Window window)
        : m_display(display)
    {
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &m_origin.x, &m_origin.y, &child);
    }

    static void park(Display* display)
    {
        XTestFakeMotionEvent(display, -1, DisplayWidth(display, 0) - 1, DisplayHeight(display, 0) - 1, CurrentTime);
        XSync(display, False);
    }

    void moveTo(Point at)
    {
        XTestFakeMotionEvent(m_display, -1, m_origin.x + at.x, m_origin.y + at.y, CurrentTime);
        XSync(m_display, False);
    }

    struct Click {
        double pressed;
        double released;
    };
    Click click(Point at, unsigned button = 1)
    {
        moveTo(at);
        const double pressed = button_(button, true);
        probe::sleepUntil(pressed + kHeldS);
        return {pressed, button_(button, false)};
    }

    double doubleClick(Point at)
    {
        const double first = click(at).pressed;
        probe::sleepUntil(first + kBetweenPressesS);
        click(at);
        return first;
    }

    double key(KeySym symbol)
    {
        const unsigned code = XKeysymToKeycode(m_display, symbol);
        const double pressed = probe::now();
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XSync(m_display, False);
        probe::sleepUntil(pressed + kHeldS);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        XSync(m_display, False);
        return pressed;
    }

private:
    double button_(unsigned button, bool press)
    {
        const double at = probe::now();
        XTestFakeButtonEvent(m_display, button, press ? True : False, CurrentTime);
        XSync(m_display, False);
        return at;
    }

    Display* m_display;
    Point m_origin{0, 0};
};

class Figures {
public:
    void add(const char* name, double seconds) { m_line += std::string(" ") + name + "=" + format(seconds); }
    void print(pid_t pid) const { std::printf("pid=%d%s\n", int(pid), m_line.c_str()); }

private:
    static std::string format(double seconds)
    {
        if (seconds < 0) {
            return "n/a";
        }
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", seconds * 1000);
        return text;
    }
    std::string m_line;
};

struct Run {
    SoundMonitor& monitor;
    double timeout;
    Figures figures;

    // Seconds from @p input to the first fragment of @p level after it, or -1.
    double until(Level level, double input)
    {
        const double heard = monitor.waitFor(level, input, input + timeout);
        return heard < 0 ? -1 : heard - input;
    }
};

// Whether the sound stopped.
bool stopThroughMenu(Run& run, Input& input)
{
    probe::sleepUntil(input.click(kDisplayStrip, 3).released + kMenuS);
    for (int item = 0; item < 3; ++item) { // Play, Pause, Stop
        input.key(XK_Down);
    }
    return run.until(Level::Silent, input.key(XK_Return)) >= 0;
}

void pauseAndResume(Run& run, const char* pauseName, const char* resumeName, const std::function<double()>& act)
{
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        probe::sleepUntil(probe::now() + kPauseS);
        const double paused = run.until(Level::Silent, act());
        run.figures.add(pauseName, paused);
        if (paused < 0) {
            return; // the sound goes on: a resume would be heard at once and mean nothing
        }
        probe::sleepUntil(probe::now() + kPauseS);
        run.figures.add(resumeName, run.until(Level::Audible, act()));
    }
}

void driveWindow(Run& run, Display* display, Window window, bool hover)
{
    Input input(display, window);
    probe::sleepUntil(probe::now() + kSettleS);
    if (hover) {
        input.moveTo(kFirstRow);
        probe::sleepUntil(probe::now() + kPauseS);
    }
    const double first = run.until(Level::Audible, input.doubleClick(kFirstRow));
    run.figures.add("first_ms", first);
    if (first < 0) {
        return;
    }
    probe::sleepUntil(probe::now() + kPauseS);
    if (!stopThroughMenu(run, input)) {
        std::fprintf(stderr, "the player's menu did not stop the sound\n");
        return;
    }
    probe::sleepUntil(probe::now() + kPauseS);
    run.figures.add("warm_ms", run.until(Level::Audible, input.doubleClick(kFirstRow)));
    pauseAndResume(run, "pause_space_ms", "resume_space_ms", [&] { return input.key(XK_space); });
    pauseAndResume(run, "pause_button_ms", "resume_button_ms", [&] { return input.click(kPlayPauseButton).released; });
}

struct Options {
    std::string source = "@DEFAULT_MONITOR@";
    std::string mode;
    double timeout = 5;
    bool trace = false;
};

// One run of @p program, its figures printed; throws std::runtime_error when it cannot measure.
void measure(const Options& options, char** program)
{
    Display* display = nullptr;
    if (options.mode != "exec") {
        display = probe::openWatchedDisplay();
        if (display == nullptr) {
            throw std::runtime_error("no X display");
        }
        Input::park(display); // so that the new window is not hovered
    }
    SoundMonitor monitor(options.source);
    Run run{monitor, options.timeout, {}};
    const double start = probe::now();
    const pid_t pid = probe::spawn(program);
    if (display == nullptr) {
        run.figures.add("exec_ms", run.until(Level::Audible, start));
    } else if (const probe::Content content = probe::waitForContent(display, start, options.timeout);
               content.window != 0) {
        driveWindow(run, display, content.window, options.mode == "hover");
    } else {
        std::fprintf(stderr, "no window came\n");
    }
    run.figures.print(pid);
    std::fflush(stdout);
    probe::end(pid);
    if (options.trace) {
        monitor.trace(start);
    }
    if (display != nullptr) {
        XCloseDisplay(display);
    }
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::string option = argv[i];
        if (option == "--exec") {
            options.mode = "exec";
        } else if (option == "--window" && i + 1 < argc) {
            options.mode = argv[++i];
        } else if (option == "--source" && i + 1 < argc) {
            options.source = argv[++i];
        } else if (option == "--timeout" && i + 1 < argc) {
            options.timeout = std::atof(argv[++i]);
        } else if (option == "--trace") {
            options.trace = true;
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    const std::string& mode = options.mode;
    if (i + 1 >= argc || (mode != "exec" && mode != "cold" && mode != "hover")) {
        std::fprintf(stderr, "usage: %s [options] --exec|--window cold|hover -- PROGRAM ARGS...\n", argv[0]);
        return 2;
    }
    try {
        measure(options, argv + i + 1);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
