#pragma once

#include "playermedia.h"

#include <QString>
#include <QVariantMap>

/// The MPRIS track id of the open with @p serial: an object path of its own for every open.
QString mprisTrackId(quint64 serial);

/**
 * The MPRIS Metadata of @p track; empty while nothing is open (serial 0). Always mpris:trackid,
 * xesam:title and xesam:url (the percent-encoded file URI of the path); mpris:length when the
 * length is known; xesam:artist and xesam:album when tagged. Not mpris:artUrl: coverArtUrl() takes
 * long enough to be run apart.
 */
QVariantMap mprisMetadata(const TrackInfo& track);

/**
 * The mpris:artUrl of @p cover: a data: URI (JPEG, or PNG when the image has an alpha channel),
 * scaled down to fit 512x512 pixels. "" for a null image, or when the URI would exceed 1 MiB:
 * desktops pass Metadata around whole, and nothing is written to a file for them. Thread-safe;
 * 2 to 40 ms for covers of 300 to 3000 pixels.
 */
QString coverArtUrl(const QImage& cover);
