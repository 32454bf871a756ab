#include "mprismetadata.h"

#include <QBuffer>
#include <QDBusObjectPath>
#include <QUrl>

namespace {

constexpr int kCoverSide = 512;
constexpr qsizetype kArtUrlLimit = qsizetype(1) << 20;

QByteArray encoded(const QImage& image, const char* format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, format, quality) ? bytes : QByteArray();
}

} // namespace

QString mprisTrackId(quint64 serial)
{
    return QStringLiteral("/org/marrowlark/Marrowlark/track/%1").arg(serial);
}

QVariantMap mprisMetadata(const TrackInfo& track)
{
    if (track.serial == 0) {
        return {};
    }
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(mprisTrackId(track.serial)))},
        {QStringLiteral("xesam:title"), track.title},
        {QStringLiteral("xesam:url"), QString::fromLatin1(QUrl::fromLocalFile(track.path).toEncoded())},
    };
    if (track.lengthUs >= 0) {
        metadata.insert(QStringLiteral("mpris:length"), qlonglong(track.lengthUs));
    }
    if (!track.artists.isEmpty()) {
        metadata.insert(QStringLiteral("xesam:artist"), track.artists);
    }
    if (!track.album.isEmpty()) {
        metadata.insert(QStringLiteral("xesam:album"), track.album);
    }
    return metadata;
}

QString coverArtUrl(const QImage& cover)
{
    if (cover.isNull()) {
        return {};
    }
    const QImage image = cover.width() > kCoverSide || cover.height() > kCoverSide
                             ? cover.scaled(kCoverSide, kCoverSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                             : cover;
    // JPEG keeps a photograph small; PNG keeps transparency, and is there when the JPEG plug-in
    // is not.
    QByteArray type = "jpeg";
    QByteArray bytes = image.hasAlphaChannel() ? QByteArray() : encoded(image, "JPEG", 90);
    if (bytes.isEmpty()) {
        type = "png";
        bytes = encoded(image, "PNG", -1);
    }
    const QByteArray uri = "data:image/" + type + ";base64," + bytes.toBase64();
    return bytes.isEmpty() || uri.size() > kArtUrlLimit ? QString() : QString::fromLatin1(uri);
}
