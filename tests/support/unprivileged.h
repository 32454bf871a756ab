#pragma once

#include <functional>

// Root passes every check of permissions, whatever they are: such checks run again as the
// unprivileged user "nobody" (setpriv), in a child process of the same test executable that the
// calling thread waits for.

/// In a test function: as root, runs the test function @p function of this executable again as
/// "nobody" and passes, skips or fails as it does there; as anyone else, calls @p here instead.
void runUnprivileged(const char* function, const std::function<void()>& here);
