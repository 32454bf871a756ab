// A decoder taken over by a crafted file, as a library preloaded into the real program
// (LD_PRELOAD). The first time the engine opens a file (FFmpeg's avformat_open_input, long after
// start-up), it starts a thread, as decoder code would, that tries what such code would try, and
// writes one line per attempt to the descriptor MARROWLARK_PROBE_FD names: the attempt's name
// and "ok" or the error's name; then "done". The targets are files in MARROWLARK_PROBE_HOME and
// a TCP listener on 127.0.0.1 at MARROWLARK_PROBE_PORT. The open itself then goes on as usual.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <linux/io_uring.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::string home(const char* name)
{
    return std::string(std::getenv("MARROWLARK_PROBE_HOME")) + '/' + name;
}

// 0 when @p result is no failure, else the error; closes the descriptor @p result may be.
int closing(long result, bool descriptor = true)
{
    const int error = result < 0 ? errno : 0;
    if (descriptor && result >= 0) {
        close(static_cast<int>(result));
    }
    return error;
}

int appendToExisting()
{
    const int fd = open(home("existing").c_str(), O_WRONLY | O_APPEND);
    const int error = fd < 0 ? errno : closing(write(fd, "taken over\n", 11), false);
    close(fd);
    return error;
}

int connectInet()
{
    sockaddr_in listener{};
    listener.sin_family = AF_INET;
    listener.sin_port = htons(static_cast<uint16_t>(std::atoi(std::getenv("MARROWLARK_PROBE_PORT"))));
    listener.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int error =
        fd < 0 ? errno : closing(connect(fd, reinterpret_cast<sockaddr*>(&listener), sizeof listener), false);
    close(fd);
    return error;
}

int setUpRing()
{
    io_uring_params parameters{};
    return closing(syscall(SYS_io_uring_setup, 1, &parameters));
}

const struct {
    const char* name;
    int (*run)();
} kAttempts[] = {
    {"create", [] { return closing(open(home("created").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600)); }},
    {"write", appendToExisting},
    {"remove", [] { return closing(unlink(home("victim").c_str()), false); }},
    {"rename", [] { return closing(rename(home("kept").c_str(), home("renamed").c_str()), false); }},
    {"truncate", [] { return closing(truncate(home("sized").c_str(), 0), false); }},
    {"open-truncate", [] { return closing(open(home("existing").c_str(), O_RDONLY | O_TRUNC)); }},
    {"chmod", [] { return closing(chmod(home("existing").c_str(), 0777), false); }},
    {"inet", connectInet},
    {"inet6", [] { return closing(socket(AF_INET6, SOCK_STREAM, 0)); }},
    {"io_uring", setUpRing},
};

void report(const char* attempt, int error)
{
    char line[128];
    const int length = std::snprintf(line, sizeof line, "%s %s\n", attempt, error ? strerrorname_np(error) : "ok");
    if (write(std::atoi(std::getenv("MARROWLARK_PROBE_FD")), line, static_cast<size_t>(length)) != length) {
        std::abort();
    }
}

void tryEverything()
{
    for (const auto& attempt : kAttempts) {
        report(attempt.name, attempt.run());
    }
    report("done", 0);
}

using OpenInput = int (*)(void**, const char*, const void*, void**);

// The engine is opened with dlopen and keeps its libraries to itself, out of RTLD_NEXT's sight:
// the loaded FFmpeg is found by name.
OpenInput realOpenInput()
{
    void* library = nullptr;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* found) {
            const bool isFormat = std::strstr(info->dlpi_name, "/libavformat.so") != nullptr;
            *static_cast<void**>(found) = isFormat ? dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD) : nullptr;
            return int(isFormat);
        },
        &library);
    void* function = dlsym(library ? library : RTLD_NEXT, "avformat_open_input");
    if (function == nullptr) {
        std::abort();
    }
    return reinterpret_cast<OpenInput>(function);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int avformat_open_input(void** context, const char* url,
                                                                          const void* format, void** options)
{
    static std::once_flag once;
    std::call_once(once, [] { std::thread(tryEverything).join(); });
    static const OpenInput real = realOpenInput();
    return real(context, url, format, options);
}
