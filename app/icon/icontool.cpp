// Build-time tool: renders the application icon's SVG at the six sizes and writes everything the
// build needs from it.
//
//   icontool <icon.svg> <output folder>
//
// writes, in the output folder:
//   marrowlark-<size>.png     each size as PNG, for the Qt resource behind the window's icon
//   Marrowlark.ico            the six images, largest first, the 256 one as PNG, the rest as bitmaps
//   icon-<id>.bin             each image as stored in its icon resource, ids 30001 (256) to 30006
//   icon-group.bin            the icon group directory naming those ids
// Exits with 1 and a message on standard error when the SVG cannot be read or a file written.

#include "iconformat.h"
#include "identity.h"

#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdio>
#include <stdexcept>

namespace {

constexpr auto& iconSizes = marrowlark::kIconSizes;
constexpr quint16 firstIconId = 30001;

QImage render(QSvgRenderer& renderer, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    return image;
}

// Only the largest image is PNG: that is what keeps a 256-pixel icon small.
IconImage encode(const QImage& image)
{
    const int size = image.width();
    return {size, size >= 256 ? encodeIconPng(image) : encodeIconBitmap(image)};
}

void write(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        throw std::runtime_error(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()).toStdString());
    }
}

void writeAll(QSvgRenderer& renderer, const QString& folder)
{
    QList<IconImage> images;
    for (const int size : iconSizes) {
        const QImage image = render(renderer, size);
        write(QStringLiteral("%1/marrowlark-%2.png").arg(folder).arg(size), encodeIconPng(image));
        images.append(encode(image));
    }
    for (qsizetype i = 0; i < images.size(); ++i) {
        write(QStringLiteral("%1/icon-%2.bin").arg(folder).arg(firstIconId + i), images[i].data);
    }
    write(folder + QStringLiteral("/icon-group.bin"), iconGroupDirectory(images, firstIconId));
    write(folder + QStringLiteral("/Marrowlark.ico"), icoFile(images));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: icontool <icon.svg> <output folder>\n");
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "icontool: cannot read the SVG %s\n", argv[1]);
        return 1;
    }
    try {
        writeAll(renderer, QString::fromLocal8Bit(argv[2]));
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "icontool: %s\n", error.what());
        return 1;
    }
    return 0;
}
