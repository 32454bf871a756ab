#pragma once

#include <array>
#include <cstdint>

/**
 * @file
 * What the confinement (confinement.h) allows, as pure functions of what the kernel offers and of
 * the environment the program was started with. No system call is made here.
 *
 * Threads and errors: every function is pure, never throws, and may be called from any thread.
 */

/// The Landlock file-system rights for one kernel.
struct LandlockRights {
    /// The rights the ruleset handles: denied everywhere but where a rule grants them. Only the
    /// rights that change the file system: reading, listing and executing stay free.
    std::uint64_t handled = 0;
    /// The rights granted beneath each of kWritableDevices: opening for writing (and, from ABI
    /// 3, truncating, which a shell's `>/dev/null` does).
    std::uint64_t onDevices = 0;
};

/**
 * The rights for a kernel offering Landlock ABI @p abi (0 or less: no Landlock). Each ABI adds
 * the write rights it knows: 1 the writes, creations and removals, 2 renaming and linking across
 * folders (REFER), 3 truncating. Later ABIs add nothing handled here: ABI 5's device ioctls would
 * cut the sound and graphics drivers off, ABI 4's network rights come before the display
 * connection (seccomp closes the network instead), ABI 6's scopes would cut the X connection,
 * which is an abstract unix socket.
 */
LandlockRights landlockRightsFor(int abi) noexcept;

/// The only places the program writes to: sound devices (ALSA opens its nodes read-write),
/// graphics devices (Mesa opens the render and card nodes read-write), and the null device
/// (standard streams of helper processes, such as the session bus's autolaunch).
inline constexpr std::array<const char*, 3> kWritableDevices{"/dev/snd", "/dev/dri", "/dev/null"};

/**
 * Whether the sound client has to reach its server over the network: @p pulseServer, the value
 * of PULSE_SERVER (null when unset), names at least one server that is not a local socket.
 * The value is a blank-separated list; an entry may start with a `{machine id}` and names a
 * local socket as `unix:PATH` or `/PATH`. Every other form (`tcp:`, `tcp4:`, `tcp6:`, a host
 * name or address) is a network one.
 */
bool soundServerNeedsNetwork(const char* pulseServer) noexcept;
