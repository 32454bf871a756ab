// Whole-process measurements of one program run, for bench/run.sh.
//
//   marrowlark_procprobe [--window] [--after-content CMD] [--rss-at S] [--cpu FROM TO]
//                        [--timeout S] -- PROGRAM ARGS...
//
// Starts PROGRAM and prints one line of figures, each "n/a" when not asked for or not reached:
//   first_ms   exec -> the first picture with content (--window): a top-level window of the
//              X display is mapped and its pixels are no longer of one colour (run Xvfb with -br,
//              so that an unpainted window is black);
//   rss_first  the resident set (MiB) at that moment;
//   rss_mib    the resident set (MiB) S seconds after exec;
//   cpu_pct    CPU time of all the program's threads between FROM and TO seconds after exec, in
//              percent of one core.
// CMD (a shell command) runs once the content is there, e.g. to press keys in the window.
// The program is then ended (SIGTERM, SIGKILL after 2 s).

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void sleepUntil(double when)
{
    while (now() < when) {
        usleep(1000);
    }
}

double residentMiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atof(line.c_str() + 6) / 1024.0;
        }
    }
    return -1;
}

// Nanoseconds on a CPU, summed over the live threads (schedstat is exact; stat has 10 ms ticks).
double cpuNanoseconds(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (dir == nullptr) {
        return 0;
    }
    double total = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
        double ns = 0;
        stat >> ns;
        total += ns;
    }
    closedir(dir);
    return total;
}

int ignoreXErrors(Display*, XErrorEvent*)
{
    return 0; // a window may vanish between its MapNotify and our look at it
}

bool hasContent(Display* display, Window window)
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable ||
        attributes.width < 64 || attributes.height < 64) {
        return false;
    }
    XImage* image =
        XGetImage(display, window, 0, 0, unsigned(attributes.width), unsigned(attributes.height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    const unsigned long first = XGetPixel(image, 0, 0);
    bool differs = false;
    for (int y = 0; y < image->height && !differs; y += 2) {
        for (int x = 0; x < image->width && !differs; x += 2) {
            differs = XGetPixel(image, x, y) != first;
        }
    }
    XDestroyImage(image);
    return differs;
}

// Seconds from start to the first picture with content, or -1 at the timeout.
double waitForContent(Display* display, double start, double timeout)
{
    std::set<Window> mapped;
    while (now() - start < timeout) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify) {
                mapped.insert(event.xmap.window);
            }
        }
        for (const Window window : mapped) {
            if (hasContent(display, window)) {
                return now() - start;
            }
        }
        usleep(mapped.empty() ? 500 : 2000);
    }
    return -1;
}

void end(pid_t pid)
{
    kill(pid, SIGTERM);
    const double deadline = now() + 2;
    while (now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return;
        }
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

void print(const char* name, double value, const char* format)
{
    std::printf(" %s=", name);
    if (value < 0) {
        std::printf("n/a");
    } else {
        std::printf(format, value);
    }
}

} // namespace

int main(int argc, char** argv)
{
    bool window = false;
    const char* afterContent = nullptr;
    double rssAt = -1;
    double cpuFrom = -1;
    double cpuTo = -1;
    double timeout = 20;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::string option = argv[i];
        if (option == "--window") {
            window = true;
        } else if (option == "--after-content" && i + 1 < argc) {
            afterContent = argv[++i];
        } else if (option == "--rss-at" && i + 1 < argc) {
            rssAt = std::atof(argv[++i]);
        } else if (option == "--cpu" && i + 2 < argc) {
            cpuFrom = std::atof(argv[++i]);
            cpuTo = std::atof(argv[++i]);
        } else if (option == "--timeout" && i + 1 < argc) {
            timeout = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (i + 1 >= argc) {
        std::fprintf(stderr, "usage: %s [options] -- PROGRAM ARGS...\n", argv[0]);
        return 2;
    }
    Display* display = nullptr;
    if (window) {
        display = XOpenDisplay(nullptr);
        if (display == nullptr) {
            std::fprintf(stderr, "no X display\n");
            return 1;
        }
        XSetErrorHandler(ignoreXErrors);
        XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
        XSync(display, False);
    }

    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        // The program's own output would mix with the figures.
        if (FILE* null = std::fopen("/dev/null", "w")) {
            dup2(fileno(null), STDOUT_FILENO);
        }
        execvp(argv[i + 1], argv + i + 1);
        _exit(127);
    }
    double firstMs = -1;
    double rssFirst = -1;
    if (window) {
        const double first = waitForContent(display, start, timeout);
        if (first >= 0) {
            firstMs = first * 1000;
            rssFirst = residentMiB(pid);
        }
    }
    if (afterContent != nullptr && (firstMs >= 0 || !window)) {
        if (std::system(afterContent) != 0) {
            std::fprintf(stderr, "after-content command failed: %s\n", afterContent);
        }
    }
    double rss = -1;
    double cpu = -1;
    // The two sampling points, in time order.
    if (rssAt >= 0 && (cpuFrom < 0 || rssAt <= cpuFrom)) {
        sleepUntil(start + rssAt);
        rss = residentMiB(pid);
    }
    if (cpuFrom >= 0) {
        sleepUntil(start + cpuFrom);
        const double before = cpuNanoseconds(pid);
        sleepUntil(start + cpuTo);
        cpu = (cpuNanoseconds(pid) - before) / ((cpuTo - cpuFrom) * 1e9) * 100;
    }
    if (rssAt >= 0 && rss < 0) {
        sleepUntil(start + rssAt);
        rss = residentMiB(pid);
    }
    std::printf("pid=%d", int(pid));
    print("first_ms", firstMs, "%.1f");
    print("rss_first", rssFirst, "%.1f");
    print("rss_mib", rss, "%.1f");
    print("cpu_pct", cpu, "%.2f");
    std::printf("\n");
    std::fflush(stdout);
    end(pid);
    if (display != nullptr) {
        XCloseDisplay(display);
    }
    return 0;
}
