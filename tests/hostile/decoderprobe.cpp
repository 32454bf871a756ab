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
#include <sys/socket.h>
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

std::string inHome(const char* name)
{
    return std::string(std::getenv("MARROWLARK_PROBE_HOME")) + '/' + name;
}

// 0 when the call succeeded, else its error.
int outcome(long result)
{
    return result < 0 ? errno : 0;
}

int closing(int fd)
{
    const int error = outcome(fd);
    if (fd >= 0) {
        close(fd);
    }
    return error;
}

int createFile()
{
    return closing(open(inHome("created").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
}

int writeExisting()
{
    const int fd = open(inHome("existing").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int error = outcome(write(fd, "taken over\n", 11));
    close(fd);
    return error;
}

int removeFile()
{
    return outcome(unlink(inHome("victim").c_str()));
}

int renameFile()
{
    return outcome(rename(inHome("kept").c_str(), inHome("renamed").c_str()));
}

int truncateByPath()
{
    return outcome(truncate(inHome("sized").c_str(), 0));
}

int chmodByPath()
{
    return outcome(chmod(inHome("existing").c_str(), 0777));
}

int connectInet()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return closing(fd);
    }
    sockaddr_in listener{};
    listener.sin_family = AF_INET;
    listener.sin_port = htons(static_cast<uint16_t>(std::atoi(std::getenv("MARROWLARK_PROBE_PORT"))));
    listener.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int error = outcome(connect(fd, reinterpret_cast<const sockaddr*>(&listener), sizeof listener));
    close(fd);
    return error;
}

int openInet6()
{
    return closing(socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

int setUpRing()
{
    io_uring_params parameters{};
    return closing(static_cast<int>(syscall(SYS_io_uring_setup, 1, &parameters)));
}

struct Attempt {
    const char* name;
    int (*run)();
};

constexpr Attempt kAttempts[] = {
    {"create", createFile}, {"write", writeExisting},     {"remove", removeFile},
    {"rename", renameFile}, {"truncate", truncateByPath}, {"chmod", chmodByPath},
    {"inet", connectInet},  {"inet6", openInet6},         {"io_uring", setUpRing},
};

void report(const char* attempt, int error)
{
    char line[128];
    const int length = std::snprintf(line, sizeof line, "%s %s\n", attempt, error == 0 ? "ok" : strerrorname_np(error));
    if (write(std::atoi(std::getenv("MARROWLARK_PROBE_FD")), line, static_cast<size_t>(length)) != length) {
        std::abort();
    }
}

void tryEverything()
{
    for (const Attempt& attempt : kAttempts) {
        report(attempt.name, attempt.run());
    }
    report("done", 0);
}

int findFormatLibrary(dl_phdr_info* info, size_t /*size*/, void* found)
{
    if (std::strstr(info->dlpi_name, "/libavformat.so") == nullptr) {
        return 0;
    }
    *static_cast<void**>(found) = dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD);
    return 1;
}

using OpenInput = int (*)(void**, const char*, const void*, void**);

// The engine is opened with dlopen and keeps its libraries to itself: RTLD_NEXT does not see
// them, the loaded FFmpeg is looked up by name.
OpenInput realOpenInput()
{
    void* library = nullptr;
    dl_iterate_phdr(findFormatLibrary, &library);
    void* function = library ? dlsym(library, "avformat_open_input") : dlsym(RTLD_NEXT, "avformat_open_input");
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
