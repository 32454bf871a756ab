#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

/**
 * Writers for the Windows icon formats: the .ico file and the raw resources of an icon group.
 *
 * An icon is a list of square images, each already encoded as it is stored (see encodeIconPng()
 * and encodeIconBitmap()). Both containers start with the same 6-byte header (reserved 0, type 1,
 * image count) followed by one entry per image, in list order:
 *
 *   width, height   1 byte each; 0 stands for 256
 *   colour count    1 byte, 0 (no palette)
 *   reserved        1 byte, 0
 *   planes          2 bytes, 1
 *   bits per pixel  2 bytes, 32
 *   byte size       4 bytes, the size of the encoded image
 *   then            in a .ico file: 4 bytes, the image's offset from the start of the file;
 *                   in an icon group: 2 bytes, the id of the icon resource holding the image.
 *
 * All multi-byte numbers are little-endian. All functions are pure and never throw.
 */

/// One image of an icon: its edge in pixels (1 to 256) and its bytes as stored.
struct IconImage {
    int size = 0;
    QByteArray data;
};

/// Where an image sits in a .ico file.
struct IcoPlacement {
    quint32 size = 0;   ///< bytes
    quint32 offset = 0; ///< from the start of the file
};

/// The layout of a .ico file for images of the given byte sizes, in that order: the header and
/// directory come first, then the images back to back.
QList<IcoPlacement> icoLayout(const QList<quint32>& imageSizes);

/// The complete .ico file: header, directory and images.
QByteArray icoFile(const QList<IconImage>& images);

/// The icon group directory (the data of an RT_GROUP_ICON resource) whose entries name the icon
/// resources firstId, firstId + 1, ... in list order.
QByteArray iconGroupDirectory(const QList<IconImage>& images, quint16 firstId);

/// The image as PNG, 8 bits per channel with alpha.
QByteArray encodeIconPng(const QImage& image);

/// The image as an icon bitmap: a 40-byte BITMAPINFOHEADER whose height counts the colour and
/// mask planes together (twice the image's), the 32-bit BGRA pixels (straight alpha) bottom row
/// first, then the 1-bit AND mask, bottom row first, each row padded to 32 bits; a mask bit is 1
/// where the pixel is fully transparent.
QByteArray encodeIconBitmap(const QImage& image);

/// The byte size of encodeIconBitmap() for a square image of the given edge.
quint32 iconBitmapSize(int size);
