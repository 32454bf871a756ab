// The window on the suite's X server playing a video: the picture shows in the player's strip as
// the X server has it, at its own proportions, and the strip is black before and after. The
// screenshot is kept beside the test as strip-playing.png.

#include "enginemedia.h"
#include "filelistbox.h"
#include "form1.h"
#include "glyphbutton.h"
#include "playerfacade.h"
#include "startup.h"
#include "testfolder.h"

#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <clocale>

namespace {

constexpr int kTimeout = 30000; // generous for a sanitized build on a busy machine

// The part of the strip with no button over it: from its left edge to the first button.
QRect bareStrip(const Form1& form)
{
    const QRect strip = form.windowsMediaPlayer1()->geometry();
    return QRect(strip.topLeft(), QPoint(form.command2()->geometry().left() - 1, strip.bottom()));
}

QImage screenShot(const Form1& form)
{
    return form.screen()->grabWindow(form.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// The smallest rectangle holding every pixel of @p area that is not black.
QRect pictureIn(const QImage& shot, const QRect& area)
{
    QRect found;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(shot.pixel(x, y)) > 24) {
                found |= QRect(x, y, 1, 1);
            }
        }
    }
    return found;
}

} // namespace

class TestStrip : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }
    void videoShowsInTheStripWhilePlaying();
};

void TestStrip::videoShowsInTheStripWhilePlaying()
{
    TestFolder media;
    media.addFile("clip.mp4", testmedia::video(QStringLiteral("testsrc"), 3));
    std::unique_ptr<Form1> form = createMainWindow();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get(), kTimeout));
    const QRect bare = bareStrip(*form);
    QTRY_VERIFY_WITH_TIMEOUT(pictureIn(screenShot(*form), bare).isNull(), kTimeout);

    form->text1()->setText(media.path());
    form->file1()->setCurrentIndex(form->file1()->model()->index(0, 0));
    form->command1()->click();
    QTRY_COMPARE_WITH_TIMEOUT(form->windowTitle(), QStringLiteral("clip.mp4"), kTimeout);
    QImage playing; // the shot that shows it: the clip may end before another is taken
    QTRY_VERIFY_WITH_TIMEOUT(!pictureIn(playing = screenShot(*form), bare).isNull(), kTimeout);
    QVERIFY(playing.save(QStringLiteral("strip-playing.png")));
    // 320x240 in a strip 40 high: 53x40, centred in the strip's 325 pixels.
    const QRect picture = pictureIn(playing, bare);
    const QRect strip = form->windowsMediaPlayer1()->geometry();
    const int expectedWidth = strip.height() * 4 / 3;
    QVERIFY2(qAbs(picture.width() - expectedWidth) <= 2, qPrintable(QString::number(picture.width())));
    QVERIFY2(qAbs(picture.center().x() - strip.center().x()) <= 2, qPrintable(QString::number(picture.center().x())));
    QCOMPARE(picture.height(), strip.height());

    QTRY_COMPARE_WITH_TIMEOUT(form->windowTitle(), Form1::idleTitle(), kTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(pictureIn(screenShot(*form), bare).isNull(), kTimeout);
    QCOMPARE(form->windowsMediaPlayer1()->playState(), PlayStateStopped);
}

QTEST_MAIN(TestStrip)
#include "tst_strip.moc"
