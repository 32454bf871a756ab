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

#include "probe.h"

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

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
        display = probe::openWatchedDisplay();
        if (display == nullptr) {
            std::fprintf(stderr, "no X display\n");
            return 1;
        }
    }

    const double start = probe::now();
    const pid_t pid = probe::spawn(argv + i + 1);
    double firstMs = -1;
    double rssFirst = -1;
    if (window) {
        const double first = probe::waitForContent(display, start, timeout).seconds;
        if (first >= 0) {
            firstMs = first * 1000;
            rssFirst = probe::residentMiB(pid);
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
        probe::sleepUntil(start + rssAt);
        rss = probe::residentMiB(pid);
    }
    if (cpuFrom >= 0) {
        probe::sleepUntil(start + cpuFrom);
        const double before = cpuNanoseconds(pid);
        probe::sleepUntil(start + cpuTo);
        cpu = (cpuNanoseconds(pid) - before) / ((cpuTo - cpuFrom) * 1e9) * 100;
    }
    if (rssAt >= 0 && rss < 0) {
        probe::sleepUntil(start + rssAt);
        rss = probe::residentMiB(pid);
    }
    std::printf("pid=%d", int(pid));
    print("first_ms", firstMs, "%.1f");
    print("rss_first", rssFirst, "%.1f");
    print("rss_mib", rss, "%.1f");
    print("cpu_pct", cpu, "%.2f");
    std::printf("\n");
    std::fflush(stdout);
    probe::end(pid);
    if (display != nullptr) {
        XCloseDisplay(display);
    }
    return 0;
}
