// The application icon as the build makes it: Marrowlark.ico and the raw icon resources against
// the icon table, the bitmap encoding, the window's icon, and the Windows resource script compiled
// by a real resource compiler.
#include "fakeplayer.h"
#include "iconformat.h"
#include "resfile.h"
#include "startup.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

const QString iconDir = QStringLiteral(MARROWLARK_ICON_DIR);

struct TableRow {
    int size;
    quint32 bytes; ///< 0: a PNG, whose size depends on the picture
    quint16 id;
};

// The icon table: six images from largest to smallest.
const QList<TableRow> iconTable = {
    {256, 0, 30001}, {128, 67624, 30002}, {64, 16936, 30003}, {48, 9640, 30004}, {32, 4264, 30005}, {16, 1128, 30006},
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

quint16 word(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

quint32 dword(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

quint32 bigDword(const QByteArray& data, qsizetype at)
{
    return qFromBigEndian<quint32>(data.constData() + at);
}

QImage solid(int size, QColor colour)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

} // namespace

class TestIcon : public QObject {
    Q_OBJECT

private slots:
    void icoHeaderCountsSixImages();
    void icoEntryFollowsTable_data();
    void icoEntryFollowsTable();
    void iconGroupNamesTheResourceIds();
    void layoutPlacesImagesAfterDirectory_data();
    void layoutPlacesImagesAfterDirectory();
    void bitmapStoresPixelsBottomUp_data();
    void bitmapStoresPixelsBottomUp();
    void pngKeepsEightBitsWithAlpha_data();
    void pngKeepsEightBitsWithAlpha();
    void windowIconOffersSixSizes();
    void iconPictureAtEverySize_data();
    void iconPictureAtEverySize();
    void resourcesAreTheIconsAndTheVersion();
    void versionFixedPart_data();
    void versionFixedPart();
    void versionStringsAndTranslation();

private:
    QList<ResEntry> compiledResources();

    bool m_compiled = false;
    QList<ResEntry> m_resources;
    QString m_compileErrors;
};

void TestIcon::icoHeaderCountsSixImages()
{
    const QByteArray ico = readFile(iconDir + QStringLiteral("/Marrowlark.ico"));
    QVERIFY(ico.size() > 6 + 6 * 16);
    QCOMPARE(word(ico, 0), quint16(0));
    QCOMPARE(word(ico, 2), quint16(1));
    QCOMPARE(word(ico, 4), quint16(6));
    // The images follow the directory back to back, and nothing follows the last one.
    const qsizetype last = 6 + 5 * 16;
    QCOMPARE(dword(ico, 6 + 12), quint32(6 + 6 * 16));
    QCOMPARE(qsizetype(dword(ico, last + 12) + dword(ico, last + 8)), ico.size());
}

void TestIcon::icoEntryFollowsTable_data()
{
    QTest::addColumn<int>("index");
    for (qsizetype i = 0; i < iconTable.size(); ++i) {
        const TableRow& row = iconTable[i];
        const QByteArray name = QByteArray::number(row.size) + (row.bytes ? " as bitmap" : " as PNG");
        QTest::newRow(name.constData()) << int(i);
    }
}

void TestIcon::icoEntryFollowsTable()
{
    QFETCH(int, index);
    const TableRow& row = iconTable[index];
    const QByteArray ico = readFile(iconDir + QStringLiteral("/Marrowlark.ico"));
    QVERIFY(ico.size() > 6 + 6 * 16);
    const qsizetype entry = 6 + index * 16;
    const auto edge = quint8(row.size == 256 ? 0 : row.size);
    QCOMPARE(quint8(ico[entry]), edge);
    QCOMPARE(quint8(ico[entry + 1]), edge);
    QCOMPARE(quint8(ico[entry + 2]), quint8(0)); // colours
    QCOMPARE(quint8(ico[entry + 3]), quint8(0)); // reserved
    QCOMPARE(word(ico, entry + 4), quint16(1));  // planes
    QCOMPARE(word(ico, entry + 6), quint16(32)); // bits per pixel
    const quint32 bytes = dword(ico, entry + 8);
    const QByteArray image = ico.mid(dword(ico, entry + 12), bytes);
    QCOMPARE(quint32(image.size()), bytes);

    // The same bytes are what a Windows build stores as the icon resource.
    QCOMPARE(readFile(QStringLiteral("%1/icon-%2.bin").arg(iconDir).arg(row.id)), image);

    if (row.bytes == 0) {
        QVERIFY(image.startsWith("\x89PNG\r\n\x1a\n"));
        QCOMPARE(bigDword(image, 16), quint32(row.size));
        QCOMPARE(bigDword(image, 20), quint32(row.size));
        return;
    }
    QCOMPARE(bytes, row.bytes);
    QCOMPARE(dword(image, 0), quint32(40));
    QCOMPARE(dword(image, 4), quint32(row.size));
    QCOMPARE(dword(image, 8), quint32(row.size * 2)); // colour and mask planes
    QCOMPARE(word(image, 12), quint16(1));
    QCOMPARE(word(image, 14), quint16(32));
    QCOMPARE(dword(image, 16), quint32(0)); // uncompressed
}

void TestIcon::iconGroupNamesTheResourceIds()
{
    const QByteArray ico = readFile(iconDir + QStringLiteral("/Marrowlark.ico"));
    const QByteArray group = readFile(iconDir + QStringLiteral("/icon-group.bin"));
    QCOMPARE(group.size(), 6 + 6 * 14);
    QCOMPARE(group.left(6), ico.left(6));
    for (qsizetype i = 0; i < iconTable.size(); ++i) {
        // Everything but the last field matches the .ico entry; that field is the resource id.
        QCOMPARE(group.mid(6 + i * 14, 12), ico.mid(6 + i * 16, 12));
        QCOMPARE(word(group, 6 + i * 14 + 12), iconTable[i].id);
    }
}

void TestIcon::layoutPlacesImagesAfterDirectory_data()
{
    QTest::addColumn<QList<quint32>>("sizes");
    QTest::addColumn<QList<quint32>>("offsets");
    QTest::newRow("no images") << QList<quint32>{} << QList<quint32>{};
    QTest::newRow("one image") << QList<quint32>{1128} << QList<quint32>{22};
    QTest::newRow("the six of the table") << QList<quint32>{18540, 67624, 16936, 9640, 4264, 1128}
                                          << QList<quint32>{102, 18642, 86266, 103202, 112842, 117106};
}

void TestIcon::layoutPlacesImagesAfterDirectory()
{
    QFETCH(QList<quint32>, sizes);
    QFETCH(QList<quint32>, offsets);
    const QList<IcoPlacement> layout = icoLayout(sizes);
    QCOMPARE(layout.size(), sizes.size());
    for (qsizetype i = 0; i < layout.size(); ++i) {
        QCOMPARE(layout[i].size, sizes[i]);
        QCOMPARE(layout[i].offset, offsets[i]);
    }
}

void TestIcon::bitmapStoresPixelsBottomUp_data()
{
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("maskBit");
    // 40 columns: a mask row needs two 32-bit words, the second only partly used.
    QTest::newRow("top-left lands in the last row") << QPoint(0, 0) << QColor(255, 0, 0) << false;
    QTest::newRow("bottom-right lands in the first row") << QPoint(39, 39) << QColor(0, 0, 255) << false;
    QTest::newRow("half transparent keeps straight alpha") << QPoint(5, 7) << QColor(200, 100, 50, 128) << false;
    QTest::newRow("fully transparent sets the mask bit") << QPoint(9, 3) << QColor(0, 0, 0, 0) << true;
    QTest::newRow("transparent past column 32 uses the padded word") << QPoint(35, 20) << QColor(0, 0, 0, 0) << true;
}

void TestIcon::bitmapStoresPixelsBottomUp()
{
    QFETCH(QPoint, pixel);
    QFETCH(QColor, colour);
    QFETCH(bool, maskBit);
    constexpr int size = 40;
    QImage image = solid(size, QColor(10, 20, 30));
    image.setPixelColor(pixel, colour);
    // A premultiplied source must come out straight all the same.
    const QByteArray bitmap = encodeIconBitmap(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    QCOMPARE(quint32(bitmap.size()), iconBitmapSize(size));

    const int row = size - 1 - pixel.y();
    const qsizetype at = 40 + (row * size + pixel.x()) * 4;
    const QColor stored{quint8(bitmap[at + 2]), quint8(bitmap[at + 1]), quint8(bitmap[at]), quint8(bitmap[at + 3])};
    if (colour.alpha() > 0) {
        QCOMPARE(stored.alpha(), colour.alpha());
        // Premultiplying rounds; a straight value is within one step of the original.
        QVERIFY2(qAbs(stored.red() - colour.red()) <= 1, qPrintable(stored.name(QColor::HexArgb)));
        QVERIFY(qAbs(stored.green() - colour.green()) <= 1);
        QVERIFY(qAbs(stored.blue() - colour.blue()) <= 1);
    } else {
        QCOMPARE(stored.alpha(), 0);
    }

    const qsizetype maskStart = 40 + size * size * 4;
    const int rowBytes = 8;
    const auto maskByte = quint8(bitmap[maskStart + row * rowBytes + pixel.x() / 8]);
    QCOMPARE(bool(maskByte & (0x80 >> (pixel.x() % 8))), maskBit);
    // Only that one pixel may be marked.
    int marked = 0;
    for (qsizetype i = maskStart; i < bitmap.size(); ++i) {
        marked += qPopulationCount(quint8(bitmap[i]));
    }
    QCOMPARE(marked, maskBit ? 1 : 0);
}

void TestIcon::pngKeepsEightBitsWithAlpha_data()
{
    QTest::addColumn<QImage>("image");
    QTest::newRow("translucent") << solid(16, QColor(255, 200, 0, 100));
    // An image without a transparent pixel must not lose its alpha channel either.
    QTest::newRow("opaque") << solid(16, QColor(255, 200, 0));
    QTest::newRow("opaque RGB32 source") << solid(16, QColor(255, 200, 0)).convertToFormat(QImage::Format_RGB32);
}

void TestIcon::pngKeepsEightBitsWithAlpha()
{
    QFETCH(QImage, image);
    const QByteArray png = encodeIconPng(image);
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    QCOMPARE(png.mid(12, 4), QByteArray("IHDR"));
    QCOMPARE(quint8(png[24]), quint8(8)); // bits per channel
    QCOMPARE(quint8(png[25]), quint8(6)); // colour type: RGB with alpha
}

void TestIcon::windowIconOffersSixSizes()
{
    const auto form = createMainWindow([](QWidget* parent) { return new FakePlayer(parent); });
    QList<QSize> expected;
    for (const TableRow& row : iconTable) {
        expected.append(QSize(row.size, row.size));
    }
    form->show(); // the icon is given once the window has painted
    QTRY_COMPARE(form->windowIcon().availableSizes(), expected);
}

void TestIcon::iconPictureAtEverySize_data()
{
    QTest::addColumn<int>("size");
    for (const TableRow& row : iconTable) {
        QTest::newRow(QByteArray::number(row.size).constData()) << row.size;
    }
}

void TestIcon::iconPictureAtEverySize()
{
    QFETCH(int, size);
    // The resource as the executable carries it, not the file the build wrote.
    const QImage image(QStringLiteral(":/icons/marrowlark-%1.png").arg(size));
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(image.pixelColor(size - 1, 0).alpha(), 0);
    // The middle of the face, between the eyes and above the mouth, is opaque yellow.
    const QColor middle = image.pixelColor(size * 17 / 32, size * 17 / 32);
    QCOMPARE(middle.alpha(), 255);
    QVERIFY2(middle.red() > 200 && middle.green() > 150 && middle.blue() < 100, qPrintable(middle.name()));
}

// Compiles the resource script to a COFF object as a Windows build would and returns the
// resources in it; returns none when no compiler is installed or it fails (m_compileErrors).
QList<ResEntry> TestIcon::compiledResources()
{
    if (m_compiled) {
        return m_resources;
    }
    m_compiled = true;
    const QString windres = QStringLiteral(MARROWLARK_WINDRES);
    if (windres.isEmpty()) {
        return {};
    }
    QTemporaryDir work;
    const QString object = work.filePath(QStringLiteral("marrowlark.o"));
    QStringList arguments = {QStringLiteral(MARROWLARK_RC_FILE), QStringLiteral("-O"), QStringLiteral("coff"),
                             QStringLiteral("-o"), object};
    // Without a mingw C compiler the host's preprocessor does the job.
    const QString preprocessor = QStringLiteral(MARROWLARK_RC_PREPROCESSOR);
    if (!preprocessor.isEmpty()) {
        arguments.prepend(QStringLiteral("--preprocessor=") + preprocessor);
    }
    QProcess tool;
    tool.start(windres, arguments);
    if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        m_compileErrors = QString::fromLocal8Bit(tool.readAllStandardError());
        return {};
    }
    m_resources = parseCoffResources(readFile(object));
    return m_resources;
}

#define REQUIRE_RESOURCES(entries)                                                                                     \
    const QList<ResEntry> entries = compiledResources();                                                               \
    if (QStringLiteral(MARROWLARK_WINDRES).isEmpty()) {                                                                \
        QSKIP("no mingw resource compiler installed");                                                                 \
    }                                                                                                                  \
    QVERIFY2(!entries.isEmpty(), qPrintable(m_compileErrors))

void TestIcon::resourcesAreTheIconsAndTheVersion()
{
    REQUIRE_RESOURCES(entries);
    QList<ResEntry> expected;
    for (const TableRow& row : iconTable) {
        expected.append({resTypeIcon, row.id, 0, readFile(QStringLiteral("%1/icon-%2.bin").arg(iconDir).arg(row.id))});
    }
    expected.append({resTypeGroupIcon, 1, 0, readFile(iconDir + QStringLiteral("/icon-group.bin"))});
    expected.append({resTypeVersion, 1, 1033, {}});
    QCOMPARE(entries.size(), expected.size());
    for (const ResEntry& want : expected) {
        const ResEntry* found = findResource(entries, want.type, want.id);
        QVERIFY2(found, qPrintable(QStringLiteral("type %1 id %2").arg(want.type).arg(want.id)));
        QCOMPARE(found->language, want.language);
        if (want.type != resTypeVersion) {
            QVERIFY(!want.data.isEmpty());
            QCOMPARE(found->data, want.data);
        }
    }
}

void TestIcon::versionFixedPart_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<quint32>("value");
    QTest::newRow("signature") << 0 << quint32(0xFEEF04BD);
    QTest::newRow("file version 1.0") << 8 << quint32(0x00010000);
    QTest::newRow("file version .0.0") << 12 << quint32(0);
    QTest::newRow("product version 1.0") << 16 << quint32(0x00010000);
    QTest::newRow("product version .0.0") << 20 << quint32(0);
    QTest::newRow("flags mask") << 24 << quint32(0);
    QTest::newRow("flags") << 28 << quint32(0);
    QTest::newRow("32-bit Windows") << 32 << quint32(4);
    QTest::newRow("application") << 36 << quint32(1);
    QTest::newRow("no date, high part") << 44 << quint32(0);
    QTest::newRow("no date, low part") << 48 << quint32(0);
}

void TestIcon::versionFixedPart()
{
    QFETCH(int, offset);
    QFETCH(quint32, value);
    REQUIRE_RESOURCES(entries);
    const VersionNode root = parseVersionNode(findResource(entries, resTypeVersion, 1)->data);
    QCOMPARE(root.key, QStringLiteral("VS_VERSION_INFO"));
    QCOMPARE(root.value.size(), 52);
    QCOMPARE(dword(root.value, offset), value);
}

void TestIcon::versionStringsAndTranslation()
{
    REQUIRE_RESOURCES(entries);
    const VersionNode root = parseVersionNode(findResource(entries, resTypeVersion, 1)->data);
    QCOMPARE(root.children.size(), 2);
    const VersionNode& strings = root.children[0];
    QCOMPARE(strings.key, QStringLiteral("StringFileInfo"));
    QCOMPARE(strings.children.size(), 1);
    QCOMPARE(strings.children[0].key, QStringLiteral("040904B0"));
    QMap<QString, QString> values;
    for (const VersionNode& value : strings.children[0].children) {
        QVERIFY(value.isText);
        values.insert(value.key, value.text);
    }
    const QMap<QString, QString> expected = {
        {QStringLiteral("ProductName"), QStringLiteral("Marrowlark")},
        {QStringLiteral("FileVersion"), QStringLiteral("1.00")},
        {QStringLiteral("ProductVersion"), QStringLiteral("1.00")},
        {QStringLiteral("InternalName"), QStringLiteral("Marrowlark")},
        {QStringLiteral("OriginalFilename"), QStringLiteral("Marrowlark.exe")},
    };
    QCOMPARE(values, expected);
    QCOMPARE(strings.children[0].children.size(), expected.size());

    const VersionNode& variables = root.children[1];
    QCOMPARE(variables.key, QStringLiteral("VarFileInfo"));
    QCOMPARE(variables.children.size(), 1);
    QCOMPARE(variables.children[0].key, QStringLiteral("Translation"));
    QCOMPARE(variables.children[0].value, QByteArray("\x09\x04\xb0\x04", 4));
}

QTEST_MAIN(TestIcon)
#include "tst_icon.moc"
