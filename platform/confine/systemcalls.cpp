#include "confinement.h"
#include "confinementrules.h"

#include <fcntl.h>
#include <seccomp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace {

using Filter = std::unique_ptr<void, decltype(&seccomp_release)>;

// A system call by name. Calls newer than the filter library of Debian 12 carry the number of
// the kernel's generic table, which x86-64 and arm64 use.
struct Call {
    const char* name;
    int genericNumber = -1;
};

constexpr Call kPathChanges[] = {
    {"truncate"},    {"chmod"},        {"fchmodat"},        {"fchmodat2", 452},     {"chown"},    {"lchown"},
    {"fchownat"},    {"utime"},        {"utimes"},          {"futimesat"},          {"setxattr"}, {"lsetxattr"},
    {"removexattr"}, {"lremovexattr"}, {"setxattrat", 463}, {"removexattrat", 466},
};

// -1 when this architecture has no such call (arm64 has no chmod, only fchmodat).
int numberOf(const Call& call)
{
    const int number = seccomp_syscall_resolve_name(call.name);
    if (number != __NR_SCMP_ERROR) {
        return number;
    }
    const auto native = seccomp_arch_native();
    return native == SCMP_ARCH_X86_64 || native == SCMP_ARCH_AARCH64 ? call.genericNumber : -1;
}

bool keepsFamily(int family, bool network)
{
    return family == AF_UNIX || family == AF_NETLINK || (network && (family == AF_INET || family == AF_INET6));
}

// Family by family up to netlink, the highest kept, and every value past it at once (a short
// filter is quicker to build: this runs on the start-up path).
bool refuseForeignSockets(scmp_filter_ctx filter, bool network)
{
    const auto refused = SCMP_ACT_ERRNO(EAFNOSUPPORT);
    for (int family = 0; family < AF_NETLINK; ++family) {
        if (!keepsFamily(family, network) &&
            seccomp_rule_add(filter, refused, SCMP_SYS(socket), 1, SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(family))) != 0) {
            return false;
        }
    }
    return seccomp_rule_add(filter, refused, SCMP_SYS(socket), 1, SCMP_A0(SCMP_CMP_GT, AF_NETLINK)) == 0;
}

bool refuseRings(scmp_filter_ctx filter)
{
    return seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(io_uring_setup), 0) == 0;
}

bool refusePathChanges(scmp_filter_ctx filter)
{
    const auto refused = SCMP_ACT_ERRNO(EACCES);
    for (const Call& call : kPathChanges) {
        const int number = numberOf(call);
        if (number >= 0 && seccomp_rule_add(filter, refused, number, 0) != 0) {
            return false;
        }
    }
    // futimens() is utimensat() without a path.
    return seccomp_rule_add(filter, refused, SCMP_SYS(utimensat), 1, SCMP_A1(SCMP_CMP_NE, 0)) == 0;
}

// Landlock before ABI 3 lets an open for reading with O_TRUNC empty a file. openat2() carries its
// flags in a structure the filter cannot read: it fails as on kernels before 5.6, and callers
// fall back to openat().
bool refuseTruncatingOpens(scmp_filter_ctx filter)
{
    const auto forReadingTruncated = [](unsigned flagsArgument) {
        return scmp_arg_cmp{flagsArgument, SCMP_CMP_MASKED_EQ, O_ACCMODE | O_TRUNC, O_TRUNC};
    };
    const auto refused = SCMP_ACT_ERRNO(EACCES);
    const int plainOpen = numberOf({"open"});
    return seccomp_rule_add(filter, refused, SCMP_SYS(openat), 1, forReadingTruncated(2)) == 0 &&
           (plainOpen < 0 || seccomp_rule_add(filter, refused, plainOpen, 1, forReadingTruncated(1)) == 0) &&
           seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(openat2), 0) == 0;
}

} // namespace

void confineSystemCalls() noexcept
{
    const bool network = soundServerNeedsNetwork(std::getenv("PULSE_SERVER"));
    const Filter filter(seccomp_init(SCMP_ACT_ALLOW), &seccomp_release);
    if (!filter) {
        return;
    }
    // TSYNC: threads that run already, such as the display's event reader, get the filter too.
    if (seccomp_attr_set(filter.get(), SCMP_FLTATR_CTL_TSYNC, 1) == 0 && refuseForeignSockets(filter.get(), network) &&
        refuseRings(filter.get()) && refusePathChanges(filter.get()) && refuseTruncatingOpens(filter.get())) {
        seccomp_load(filter.get());
    }
}
