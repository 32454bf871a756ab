#pragma once

#include <QImage>
#include <QVariant>

struct mpv_node;

/**
 * @file
 * The engine's structured values (mpv_node) turned into Qt values. Pure functions of their
 * argument; they copy what they need and keep no pointer into the node, so the node may be freed
 * right after. Any thread; they never throw.
 */

/// Maps become QVariantMap, lists QVariantList, texts QString (UTF-8), flags bool, integers
/// qint64 and numbers double; anything else (no value, byte arrays) an invalid QVariant.
QVariant toVariant(const mpv_node& node);

/// A raw picture as the engine's `screenshot-raw` command answers it (a map of w, h, stride,
/// format and data) as an image owning its pixels; null when the answer is not a "bgr0" picture
/// of consistent size.
QImage toImage(const mpv_node& picture);
