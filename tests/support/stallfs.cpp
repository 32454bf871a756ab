// stallfs: a read-only FUSE file system of the tests' own that shows a backing folder and makes
// parts of it stop answering, as a sleeping NAS or a hard NFS mount with its server gone does.
//
//   stallfs BACKING MOUNTPOINT [--hang NAME]... [--slow NAME=MS]... [--hang-reads NAME]...
//
//   --hang NAME        every call on /NAME and below waits while the gate is shut
//   --slow NAME=MS     every call on /NAME and below answers after MS milliseconds
//   --hang-reads NAME  reads of the file /NAME wait while the gate is shut, from the first byte;
//                      its stat and open answer at once, as cached attributes do
//
// The gate starts shut. A line "open" on standard input opens it, "shut" shuts it again, and the
// same line on standard output says it is done; the end of standard input opens it for good, so
// that a test that dies never leaves a call stuck. Once the kernel has mounted it, it prints
// "mounted" on standard output. Nothing is cached by the
// kernel (zero timeouts, direct I/O): every call of the program under test reaches this process.
// It runs in the foreground and ends when it is unmounted (fusermount3 -u) or terminated.
#define FUSE_USE_VERSION 312

#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace {

struct Settings {
    std::string backing;
    std::set<std::string> hang;
    std::map<std::string, int> slowMs;
    std::set<std::string> hangReads;
};

Settings settings;

class Gate {
public:
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_open; });
    }
    void set(bool open)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_open = open;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

Gate gate;

// The first component of a path as FUSE gives it ("/dead/x" -> "dead").
std::string topName(const char* path)
{
    const std::string p(path + 1);
    return p.substr(0, p.find('/'));
}

// Holds the call as its path asks: shut out by the gate, or slowed down.
void stall(const char* path)
{
    const std::string top = topName(path);
    if (settings.hang.count(top) != 0) {
        gate.wait();
    }
    const auto slow = settings.slowMs.find(top);
    if (slow != settings.slowMs.end()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(slow->second));
    }
}

std::string backed(const char* path)
{
    return settings.backing + path;
}

void* init(fuse_conn_info* /*connection*/, fuse_config* config)
{
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->direct_io = 1;
    config->kernel_cache = 0;
    config->use_ino = 0;
    std::cout << "mounted" << std::endl;
    return nullptr;
}

int getattr(const char* path, struct stat* info, fuse_file_info* /*file*/)
{
    stall(path);
    return lstat(backed(path).c_str(), info) == 0 ? 0 : -errno;
}

int readlink(const char* path, char* buffer, size_t size)
{
    stall(path);
    const ssize_t length = ::readlink(backed(path).c_str(), buffer, size - 1);
    if (length < 0) {
        return -errno;
    }
    buffer[length] = '\0';
    return 0;
}

int readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t /*offset*/, fuse_file_info* /*file*/,
            fuse_readdir_flags /*flags*/)
{
    stall(path);
    DIR* dir = opendir(backed(path).c_str());
    if (dir == nullptr) {
        return -errno;
    }
    while (const dirent* entry = ::readdir(dir)) {
        struct stat info {};
        info.st_ino = entry->d_ino;
        info.st_mode = mode_t(entry->d_type) << 12;
        if (fill(buffer, entry->d_name, &info, 0, fuse_fill_dir_flags(0)) != 0) {
            break;
        }
    }
    closedir(dir);
    return 0;
}

int open(const char* path, fuse_file_info* file)
{
    stall(path);
    if ((file->flags & O_ACCMODE) != O_RDONLY) {
        return -EROFS;
    }
    const int fd = ::open(backed(path).c_str(), file->flags);
    if (fd < 0) {
        return -errno;
    }
    file->fh = uint64_t(fd);
    file->direct_io = 1;
    return 0;
}

int read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* file)
{
    stall(path);
    if (settings.hangReads.count(std::string(path + 1)) != 0) {
        gate.wait();
    }
    const ssize_t count = pread(int(file->fh), buffer, size, offset);
    return count < 0 ? -errno : int(count);
}

int release(const char* /*path*/, fuse_file_info* file)
{
    ::close(int(file->fh));
    return 0;
}

void followStandardInput()
{
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "open" || line == "shut") {
            gate.set(line == "open");
            std::cout << line << std::endl;
        }
    }
    gate.set(true);
}

int usage()
{
    std::fprintf(stderr, "usage: stallfs BACKING MOUNTPOINT [--hang NAME]... [--slow NAME=MS]... "
                         "[--hang-reads NAME]...\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        return usage();
    }
    char* backing = realpath(argv[1], nullptr);
    if (backing == nullptr) {
        return usage();
    }
    settings.backing = backing;
    std::free(backing);
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--hang") {
            settings.hang.insert(value);
        } else if (option == "--hang-reads") {
            settings.hangReads.insert(value);
        } else if (option == "--slow" && value.find('=') != std::string::npos) {
            settings.slowMs[value.substr(0, value.find('='))] = std::stoi(value.substr(value.find('=') + 1));
        } else {
            return usage();
        }
    }
    if ((argc - 3) % 2 != 0) {
        return usage();
    }

    fuse_operations operations{};
    operations.init = init;
    operations.getattr = getattr;
    operations.readlink = readlink;
    operations.readdir = readdir;
    operations.open = open;
    operations.read = read;
    operations.release = release;

    std::thread(followStandardInput).detach();
    // Mount options only: the loop below is the file system's own, in the foreground.
    std::string program = argv[0];
    std::string mountOptions = "-oro,default_permissions,fsname=stallfs";
    char* mountArguments[] = {program.data(), mountOptions.data(), nullptr};
    fuse_args arguments = FUSE_ARGS_INIT(2, mountArguments);
    fuse* fs = fuse_new(&arguments, &operations, sizeof(operations), nullptr);
    if (fs == nullptr || fuse_mount(fs, argv[2]) != 0) {
        return 1;
    }
    fuse_session* session = fuse_get_session(fs);
    fuse_set_signal_handlers(session);
    // Many threads: a call held at the gate must not keep the others from answering.
    fuse_loop_config* loop = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(loop, 64);
    const int status = fuse_loop_mt(fs, loop);
    fuse_loop_cfg_destroy(loop);
    fuse_remove_signal_handlers(session);
    fuse_unmount(fs);
    fuse_destroy(fs);
    return status == 0 ? 0 : 1;
}
