#include "confinement.h"
#include "confinementrules.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace {

// glibc of Debian 12 has no wrappers for the Landlock calls.
int landlockAbi()
{
    const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi < 0 ? 0 : static_cast<int>(abi);
}

int createRuleset(std::uint64_t handled)
{
    landlock_ruleset_attr attributes{};
    attributes.handled_access_fs = handled;
    return static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0));
}

// A device that this machine does not have needs no rule.
void allowBeneath(int ruleset, const char* path, std::uint64_t rights)
{
    const int folder = open(path, O_PATH | O_CLOEXEC);
    if (folder < 0) {
        return;
    }
    landlock_path_beneath_attr rule{};
    rule.allowed_access = rights;
    rule.parent_fd = folder;
    syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
    close(folder);
}

} // namespace

void confineFileWrites() noexcept
{
    // Also what lets an unprivileged process restrict itself, with Landlock and with seccomp.
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return;
    }
    const LandlockRights rights = landlockRightsFor(landlockAbi());
    if (rights.handled == 0) {
        return;
    }
    const int ruleset = createRuleset(rights.handled);
    if (ruleset < 0) {
        return;
    }
    for (const char* device : kWritableDevices) {
        allowBeneath(ruleset, device, rights.onDevices);
    }
    syscall(SYS_landlock_restrict_self, ruleset, 0);
    close(ruleset);
}
