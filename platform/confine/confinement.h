#pragma once

/**
 * @file
 * The process gives up the rights it never needs, so that code that takes over a decoder
 * through a crafted media file cannot use them either: it cannot write, create, remove or rename
 * a file, and cannot open a network socket.
 *
 * Two steps, each once, in this order:
 *
 * 1. confineFileWrites(), the first thing in main(), before anything starts a thread.
 * 2. confineSystemCalls(), on the GUI thread once the application object has connected to the
 *    display, before the window is shown.
 *
 * Both hold for the whole process and for the processes it starts, and cannot be undone. Both
 * take the best the kernel offers and otherwise do nothing: a kernel without Landlock or
 * seccomp, or with an older Landlock ABI, runs the program with less confinement, and neither
 * step reports anything. Neither throws.
 *
 * What stays open: reading everywhere; writing beneath the devices of kWritableDevices
 * (confinementrules.h); descriptors the process already holds (the display, the session bus,
 * the sound server); new local (AF_UNIX) and netlink sockets, so that connections to the
 * compositor, the bus, the accessibility bus and the sound server can be made at any time.
 */

/**
 * Sets no_new_privs and restricts the file system with Landlock: no file can be written,
 * created, removed, renamed or (from ABI 3) truncated, but beneath kWritableDevices.
 *
 * Threads: binds the calling thread and every thread it starts afterwards, not threads that
 * exist already; hence the first thing in main(). Caches that libraries write (the font cache,
 * the GL shader cache) lose their writes, which costs time only.
 */
void confineFileWrites() noexcept;

/**
 * Installs a seccomp filter on every thread of the process, those running now included:
 * - socket() fails with EAFNOSUPPORT for every family but AF_UNIX and AF_NETLINK; AF_INET and
 *   AF_INET6 stay open when PULSE_SERVER names a sound server on the network
 *   (soundServerNeedsNetwork()), read now;
 * - io_uring_setup() fails with EPERM, as when the kernel's io_uring is switched off;
 * - the calls that change a file by its path and that Landlock ABI 2 does not cover fail with
 *   EACCES: truncate, chmod, fchmodat, fchmodat2, chown, lchown, fchownat, utime, utimes,
 *   futimesat, utimensat with a path, setxattr, lsetxattr, removexattr, lremovexattr,
 *   setxattrat, removexattrat, and open() and openat() for reading with O_TRUNC, which empties
 *   a file. Their descriptor forms stay open (ftruncate, fchmod, fchown, futimens, fsetxattr,
 *   fremovexattr);
 * - openat2() fails with ENOSYS: its flags lie beyond the filter's sight; callers fall back to
 *   openat(), as on kernels before 5.6.
 *
 * Call after confineFileWrites(), which sets no_new_privs for every thread. Connections made
 * before, such as the display's over TCP, keep working.
 */
void confineSystemCalls() noexcept;
