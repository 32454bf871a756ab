#pragma once

/**
 * Keeps the sound server's client library from writing into the user's home folder.
 *
 * Asked to connect, that library writes a new authentication cookie into the user's
 * configuration folder (pulse/cookie) whenever it finds none. The program writes no files: when
 * there is no cookie yet and none is named in the environment, the library reads a cookie of
 * zeros from /dev/zero instead, and stores nothing. A local sound server accepts its own user
 * without a cookie; an existing cookie is used as before.
 *
 * Call on the GUI thread before the media engine is created. Never throws.
 */
void keepSoundCookieUnwritten() noexcept;
