#pragma once

#include <QByteArray>
#include <QString>

#include <filesystem>

/**
 * Lossless conversion between the bytes of a Linux file name and a QString.
 *
 * File names are bytes; most are UTF-8, some are not. A name is decoded as UTF-8, and every byte
 * that is not part of a valid UTF-8 sequence becomes the lone surrogate U+DC00 + byte (the
 * "surrogateescape" scheme), so encodeFileName(decodeFileName(b)) == b for every byte string b.
 * Text that never came from the file system (typed or pasted) encodes as plain UTF-8.
 *
 * displayFileName() is for showing a name to the user: escaped bytes are shown as U+FFFD.
 *
 * All functions are pure, thread-safe and never throw.
 */
QString decodeFileName(const QByteArray& bytes);
QByteArray encodeFileName(const QString& name);
QString displayFileName(const QString& decodedName);

/// The file-system path for a QString path (encodeFileName applied).
std::filesystem::path toFsPath(const QString& path);
