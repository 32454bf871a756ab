// The full-screen view leaves no pixel transparent, which a compositor that takes a window's alpha
// would show through: the frame's picture, and black wherever the frame is transparent (the bars
// beside the picture, the parts of a picture with an alpha channel of its own, a frame not drawn).
#include "fullscreenview.h"

#include <QPainter>
#include <QtTest>

class TestFullScreenView : public QObject {
    Q_OBJECT

private slots:
    void paintsEveryPixelOpaque_data();
    void paintsEveryPixelOpaque();
};

void TestFullScreenView::paintsEveryPixelOpaque_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QRect>("picture"); // in a 160x90 frame
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<int>("pictureGrey");

    const auto opaque = QImage::Format_ARGB32_Premultiplied;
    const QSize frameSize(160, 90);
    QTest::newRow("bars left and right") << opaque << QRect(20, 0, 120, 90) << frameSize << 255;
    QTest::newRow("bars above and below") << opaque << QRect(0, 10, 160, 70) << frameSize << 255;
    QTest::newRow("no bars") << opaque << QRect(0, 0, 160, 90) << frameSize << 255;
    QTest::newRow("nothing drawn yet") << opaque << QRect() << frameSize << 0;
    QTest::newRow("an older frame, fitted") << opaque << QRect(20, 0, 120, 90) << QSize(333, 187) << 255;
    QTest::newRow("a picture half transparent") << QImage::Format_ARGB32 << QRect(20, 0, 120, 90) << frameSize << 128;
}

void TestFullScreenView::paintsEveryPixelOpaque()
{
    QFETCH(QImage::Format, format);
    QFETCH(QRect, picture);
    QFETCH(QSize, viewSize);
    QFETCH(int, pictureGrey);
    QImage frame(160, 90, format);
    frame.fill(Qt::transparent);
    QPainter(&frame).fillRect(picture, QColor(255, 255, 255, format == QImage::Format_ARGB32 ? 128 : 255));
    FullScreenView view(frame, nullptr);
    view.resize(viewSize);

    QImage shown(viewSize, QImage::Format_ARGB32_Premultiplied);
    shown.fill(Qt::transparent);
    view.render(&shown);
    int transparent = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            transparent += qAlpha(shown.pixel(x, y)) != 255 ? 1 : 0;
        }
    }
    QCOMPARE(transparent, 0);
    QVERIFY(qAbs(qGray(shown.pixel(shown.rect().center())) - pictureGrey) <= 2);
    QCOMPARE(qGray(shown.pixel(1, 1)), picture.contains(0, 0) ? pictureGrey : 0);
}

QTEST_MAIN(TestFullScreenView)
#include "tst_fullscreenview.moc"
