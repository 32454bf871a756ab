#include "confinementrules.h"

#include <linux/landlock.h>

#include <algorithm>
#include <string_view>

// Newer than the kernel headers of Debian 12; the values are the kernel's ABI and never change.
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

namespace {

constexpr std::uint64_t kChangesOfAbi1 = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                                         LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                                         LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                                         LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                                         LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;

bool isLocalSocket(std::string_view entry)
{
    if (entry.starts_with('{')) {
        const auto end = entry.find('}');
        entry.remove_prefix(end == std::string_view::npos ? entry.size() : end + 1);
    }
    return entry.starts_with('/') || entry.starts_with("unix:");
}

} // namespace

LandlockRights landlockRightsFor(int abi) noexcept
{
    if (abi < 1) {
        return {};
    }
    std::uint64_t handled = kChangesOfAbi1;
    if (abi >= 2) {
        handled |= LANDLOCK_ACCESS_FS_REFER;
    }
    if (abi >= 3) {
        handled |= LANDLOCK_ACCESS_FS_TRUNCATE;
    }
    return {handled, handled & (LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_TRUNCATE)};
}

bool soundServerNeedsNetwork(const char* pulseServer) noexcept
{
    std::string_view rest = pulseServer ? pulseServer : "";
    constexpr std::string_view kBlanks = " \t\n";
    while (!rest.empty()) {
        const auto start = rest.find_first_not_of(kBlanks);
        if (start == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(start);
        const auto end = std::min(rest.find_first_of(kBlanks), rest.size());
        if (!isLocalSocket(rest.substr(0, end))) {
            return true;
        }
        rest.remove_prefix(end);
    }
    return false;
}
