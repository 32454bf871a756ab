#include "probe.h"

#include <X11/Xutil.h>

#include <csignal>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

namespace probe {

namespace {

int ignoreXErrors(Display*, XErrorEvent*)
{
    return 0;
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

} // namespace

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

pid_t spawn(char** argv)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (FILE* null = std::fopen("/dev/null", "w")) {
            dup2(fileno(null), STDOUT_FILENO);
        }
        execvp(argv[0], argv);
        _exit(127);
    }
    return pid;
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

Display* openWatchedDisplay()
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    XSetErrorHandler(ignoreXErrors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    return display;
}

Content waitForContent(Display* display, double start, double timeout)
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
                return {now() - start, window};
            }
        }
        usleep(mapped.empty() ? 500 : 2000);
    }
    return {};
}

} // namespace probe
