#pragma once

// The engine's headers give the types and the function signatures only: the program does not
// link the engine, it loads it at run time (see loadMpvLibrary()).
#include <mpv/client.h>
#include <mpv/render.h>

#include "identity.h"

#include <QString>

/**
 * @file
 * The media engine's shared library, opened at run time.
 *
 * Linking the engine would make the dynamic loader map and relocate it, with its about two
 * hundred dependencies, before the first line of main(): some 50 ms and 37 MiB before the window
 * can show. Opening it with dlopen() after the window has painted moves that cost out of the
 * start-up path. Only the platform layer includes this header; nothing of it reaches the window.
 *
 * Threads
 * -------
 * loadMpvLibrary() may be called from any thread, also from several at once. The returned table
 * is immutable and its functions keep the thread rules of the engine's own client.h and render.h.
 *
 * Lifetime
 * --------
 * A library once opened stays loaded until the process ends: the engine starts threads of its
 * own, and unloading code they may still run is never safe. The returned reference stays valid
 * for the life of the process.
 */

/// Every engine function the program calls, as resolved from the loaded library. Members are
/// named after the engine's functions without their "mpv_" prefix: `library.create()` calls
/// mpv_create(). After a successful load none of them is null.
#define MARROWLARK_MPV_FUNCTIONS(X)                                                                                    \
    X(client_api_version)                                                                                              \
    X(error_string)                                                                                                    \
    X(free)                                                                                                            \
    X(create)                                                                                                          \
    X(initialize)                                                                                                      \
    X(terminate_destroy)                                                                                               \
    X(set_option_string)                                                                                               \
    X(command)                                                                                                         \
    X(command_async)                                                                                                   \
    X(command_ret)                                                                                                     \
    X(free_node_contents)                                                                                              \
    X(get_property)                                                                                                    \
    X(get_property_async)                                                                                              \
    X(get_property_string)                                                                                             \
    X(set_property_async)                                                                                              \
    X(observe_property)                                                                                                \
    X(request_log_messages)                                                                                            \
    X(wait_event)                                                                                                      \
    X(event_name)                                                                                                      \
    X(set_wakeup_callback)                                                                                             \
    X(render_context_create)                                                                                           \
    X(render_context_set_update_callback)                                                                              \
    X(render_context_update)                                                                                           \
    X(render_context_render)                                                                                           \
    X(render_context_free)

struct MpvLibrary {
// The argument is a declarator, which cannot take parentheses.
// NOLINTNEXTLINE(bugprone-macro-parentheses)
#define MARROWLARK_MPV_MEMBER(name) decltype(&::mpv_##name) name = nullptr;
    MARROWLARK_MPV_FUNCTIONS(MARROWLARK_MPV_MEMBER)
#undef MARROWLARK_MPV_MEMBER
};

/**
 * Opens the engine library @p fileName (a file name searched as the dynamic loader searches, or
 * a path) and resolves every function of MpvLibrary. The first successful call per name does the
 * work; later calls with the same name return the same table at once.
 *
 * Throws ProgramError (programerror.h) with a message for the user, naming the library and the
 * loader's reason, when the library cannot be opened, lacks a function, or speaks a client API
 * of another major version. A failed load is tried again on the next call.
 */
const MpvLibrary& loadMpvLibrary(const QString& fileName = QString::fromLatin1(marrowlark::kEngineLibrary));
