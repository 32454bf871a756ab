#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <vector>

/**
 * Questions the program asks the file system, and nothing else: every call is a fresh query,
 * nothing is cached between calls, nothing is written.
 *
 * Paths are QStrings in the lossless encoding of pathcodec.h; a relative path is relative to the
 * process's current directory; "/" is the only separator. Each function may be called from any
 * thread and blocks for as long as the file system takes to answer a stat() or to read one
 * folder listing, which is for ever on a share that has stopped answering: the window asks them
 * through a FolderWorker (files/folderworker.h), never on its own thread.
 *
 * Errors: functions documented as throwing raise ProgramError with a user-readable message that
 * names the path and the system's reason. None of them ever opens a regular file, a FIFO or a
 * device: they read folder listings and file metadata only.
 */

/**
 * Does @p path name an existing folder? Symbolic links are followed, a trailing "/" is allowed,
 * the empty text is not a folder. A text the system cannot even look up (too long, a NUL byte,
 * a component that is not searchable) answers false. Never throws.
 */
bool folderExists(const QString& path) noexcept;

/**
 * A normal entry: a regular file, or a symbolic link that resolves to one, whose name does not
 * start with ".". Folders, FIFOs, sockets, devices and dangling links are not normal entries.
 */

/**
 * The names of the normal entries of @p folder, as raw bytes, in directory order.
 * Throws ProgramError when the folder cannot be opened or read.
 */
std::vector<QByteArray> listNormalEntries(const QString& folder);

/**
 * The first-match lookup. The last component of @p pattern (after its last "/") is a pattern in
 * which "*" matches any run of characters and "?" any one character; every other character,
 * "[" included, matches itself, case-sensitively. The part before it is the folder (the current
 * directory when there is no "/"). Answers the name of the first normal entry of that folder, in
 * directory order, that matches; "" when none matches, when the pattern component is empty, or
 * when the folder does not exist or the path cannot name a file (too long, a NUL byte).
 * Throws ProgramError when the folder exists but cannot be searched or read.
 */
QString firstMatch(const QString& pattern);

/// Does @p name match @p pattern with the wildcards of firstMatch()? Pure; never throws.
bool wildcardMatch(QStringView pattern, QStringView name) noexcept;
