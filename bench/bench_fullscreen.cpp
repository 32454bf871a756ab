// A video played full screen by the player component, as the program builds it: its CPU and the
// frames the engine dropped, and the software render's cost per frame at the screen's size.
//
//   marrowlark_bench_fullscreen [--seconds N] FILE
//
// Prints one line: "file=NAME render_ms=... cpu_pct=... dropped=... frames=...":
//   render_ms  mean wall time of one software render at the screen's size, the engine alone
//              playing FILE for N seconds with the player's options (nothing painted);
//   cpu_pct    CPU of the whole process (all threads) over N seconds of the program's window
//              playing FILE full screen, starting 2 s after full screen began, in % of a core;
//   dropped    frames the engine dropped in those N seconds (MpvMedia::droppedFrames());
//   frames     frames rendered for the screen in those N seconds.
// Needs a display; the screen's size is the full screen's.

#include "form1.h"
#include "fullscreenview.h"
#include "mpvengine.h"
#include "mpvlibrary.h"
#include "mpvmedia.h"
#include "mpvplayer.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

constexpr int kTimeoutMs = 15000;
constexpr int kSettleMs = 2000;

[[noreturn]] void fail(const char* why)
{
    std::fprintf(stderr, "%s\n", why);
    std::exit(1);
}

// CPU time of every thread of this process, in nanoseconds (schedstat is exact).
double processCpuNs()
{
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream stat(tasks.filePath(task).toStdString() + "/schedstat");
        double ns = 0;
        stat >> ns;
        total += ns;
    }
    return total;
}

double meanRenderMs(const QByteArray& file, QSize size, int seconds)
{
    MpvEngine engine(loadMpvLibrary());
    engine.attach();
    QImage frame;
    double totalMs = 0;
    int renders = 0;
    QObject::connect(&engine, &MpvEngine::frameReady, [&] {
        QElapsedTimer clock;
        clock.start();
        if (engine.render(frame, size)) {
            totalMs += double(clock.nsecsElapsed()) / 1e6;
            ++renders;
        }
    });
    engine.setScaledToFit(true);
    engine.open(1, file);
    QTest::qWait(seconds * 1000);
    engine.stop();
    return renders > 0 ? totalMs / renders : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C"); // as the program's own application object does
    int seconds = 10;
    QString file;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else {
            file = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
        }
    }
    if (file.isEmpty()) {
        fail("usage: marrowlark_bench_fullscreen [--seconds N] FILE");
    }
    const QSize screen = app.primaryScreen()->size() * app.primaryScreen()->devicePixelRatio();
    const double renderMs = meanRenderMs(QFile::encodeName(file), screen, seconds);

    std::unique_ptr<Form1> form = createMainWindow();
    form->show();
    auto* player = qobject_cast<MpvPlayer*>(form->windowsMediaPlayer1());
    if (!QTest::qWaitForWindowExposed(form.get()) || player == nullptr) {
        fail("the window did not show");
    }
    MpvMedia& media = *player->media();
    QSignalSpy tracks(&media, &MpvMedia::trackChanged);
    player->setUrl(file);
    if (!tracks.wait(kTimeoutMs) || !media.track().hasPicture) {
        fail("the file did not open with a picture");
    }
    media.setFullScreen(true);
    QTest::qWait(kSettleMs);
    auto* view = player->findChild<FullScreenView*>();
    int frames = 0;
    QObject::connect(view, &FullScreenView::targetChanged, [] { fail("full screen changed while measured"); });
    QObject::connect(view, &FullScreenView::frameShown, [&frames] { ++frames; });
    const qint64 droppedBefore = media.droppedFrames();
    const double cpuBefore = processCpuNs();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(seconds * 1000);
    const double cpuPct = (processCpuNs() - cpuBefore) / double(clock.nsecsElapsed()) * 100;
    std::printf("file=%s render_ms=%.2f cpu_pct=%.1f dropped=%lld frames=%d\n", qPrintable(QFileInfo(file).fileName()),
                renderMs, cpuPct, media.droppedFrames() - droppedBefore, frames);
    return media.isFullScreen() ? 0 : 1;
}
