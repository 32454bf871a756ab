#pragma once

#include "playermedia.h"

#include <QString>
#include <QVariantMap>

/// The MPRIS track id of the open with @p serial: an object path of its own for every open.
QString mprisTrackId(quint64 serial);

/**
 * The MPRIS Metadata of @p track; empty while nothing is open (serial 0). Always mpris:trackid,
 * xesam:title and xesam:url (the percent-encoded file URI of the path); mpris:length when the
 * length is known; xesam:artist and xesam:album when tagged; mpris:artUrl when there is cover art
 * (see coverArtUrl()). Encodes the cover each time: build it once per change of the track.
 */
QVariantMap mprisMetadata(const TrackInfo& track);

/**
 * @p cover as a data: URI (JPEG, or PNG when the image has an alpha channel), scaled down to fit
 * 512x512 pixels. "" for a null image, or when the URI would exceed 1 MiB: desktops pass
 * Metadata around whole, and nothing is written to a file for them.
 */
QString coverArtUrl(const QImage& cover);
