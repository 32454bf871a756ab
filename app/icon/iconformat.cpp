#include "iconformat.h"

#include <QBuffer>
#include <QtEndian>

namespace {

constexpr quint32 headerBytes = 6;
constexpr quint32 icoEntryBytes = 16;
constexpr quint32 bitmapHeaderBytes = 40;

template <typename T> void append(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

void appendHeader(QByteArray& out, qsizetype count)
{
    append<quint16>(out, 0); // reserved
    append<quint16>(out, 1); // icon, not cursor
    append<quint16>(out, quint16(count));
}

// Everything of a directory entry up to and including the byte size; the container adds the
// offset or the resource id.
void appendEntryStart(QByteArray& out, const IconImage& image)
{
    const auto edge = quint8(image.size >= 256 ? 0 : image.size);
    append<quint8>(out, edge);
    append<quint8>(out, edge);
    append<quint8>(out, 0); // colour count
    append<quint8>(out, 0); // reserved
    append<quint16>(out, 1);
    append<quint16>(out, 32);
    append<quint32>(out, quint32(image.data.size()));
}

quint32 maskRowBytes(int width)
{
    return quint32((width + 31) / 32 * 4);
}

void appendBitmapHeader(QByteArray& out, int width, int height)
{
    append<quint32>(out, bitmapHeaderBytes);
    append<qint32>(out, width);
    append<qint32>(out, height * 2); // colour plane and mask together
    append<quint16>(out, 1);         // planes
    append<quint16>(out, 32);        // bits per pixel
    append<quint32>(out, 0);         // BI_RGB: uncompressed
    append<quint32>(out, quint32(width * height * 4) + maskRowBytes(width) * quint32(height));
    append<qint32>(out, 0);  // horizontal resolution: unspecified
    append<qint32>(out, 0);  // vertical resolution: unspecified
    append<quint32>(out, 0); // palette colours used
    append<quint32>(out, 0); // palette colours important
}

void appendPixels(QByteArray& out, const QImage& image)
{
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = row[x];
            const char bgra[4] = {char(qBlue(pixel)), char(qGreen(pixel)), char(qRed(pixel)), char(qAlpha(pixel))};
            out.append(bgra, 4);
        }
    }
}

void appendMask(QByteArray& out, const QImage& image)
{
    const quint32 rowBytes = maskRowBytes(image.width());
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray bits(qsizetype(rowBytes), '\0');
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(row[x]) == 0) {
                bits[x / 8] = char(bits[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out.append(bits);
    }
}

} // namespace

QList<IcoPlacement> icoLayout(const QList<quint32>& imageSizes)
{
    QList<IcoPlacement> placements;
    quint32 offset = headerBytes + icoEntryBytes * quint32(imageSizes.size());
    for (const quint32 size : imageSizes) {
        placements.append({size, offset});
        offset += size;
    }
    return placements;
}

QByteArray icoFile(const QList<IconImage>& images)
{
    QList<quint32> sizes;
    for (const IconImage& image : images) {
        sizes.append(quint32(image.data.size()));
    }
    const QList<IcoPlacement> placements = icoLayout(sizes);

    QByteArray out;
    appendHeader(out, images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        appendEntryStart(out, images[i]);
        append<quint32>(out, placements[i].offset);
    }
    for (const IconImage& image : images) {
        out.append(image.data);
    }
    return out;
}

QByteArray iconGroupDirectory(const QList<IconImage>& images, quint16 firstId)
{
    QByteArray out;
    appendHeader(out, images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        appendEntryStart(out, images[i]);
        append<quint16>(out, quint16(firstId + i));
    }
    return out;
}

QByteArray encodeIconPng(const QImage& image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    // ARGB32 makes the PNG writer store RGBA at 8 bits per channel, whatever the source format.
    image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    return out;
}

QByteArray encodeIconBitmap(const QImage& image)
{
    const QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray out;
    out.reserve(qsizetype(iconBitmapSize(straight.width())));
    appendBitmapHeader(out, straight.width(), straight.height());
    appendPixels(out, straight);
    appendMask(out, straight);
    return out;
}

quint32 iconBitmapSize(int size)
{
    const auto edge = quint32(size);
    return bitmapHeaderBytes + edge * edge * 4 + maskRowBytes(size) * edge;
}
