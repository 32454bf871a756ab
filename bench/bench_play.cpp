// From the user's double-click to "playing", against the engine's own load-to-playing time.
//
//   marrowlark_bench_play [--runs N] FILE...
//   marrowlark_bench_play --first FILE
//
// For each file, in interleaved rounds: (a) the engine alone, as the player sets it up (software
// renderer, same options), times `loadfile` until PLAYBACK_RESTART, starting from idle; (b) the
// program's window, shown, with its engine up, times a double-click on the file's row until the
// player announces state 3 (playing), starting from stopped. Prints the medians and the ratio.
// With --first, once per process: the window just shown and never touched, its engine not yet
// started; times the first double-click from its first press (which starts the engine) until
// state 3, and prints "file=NAME first_ms=..." (bench/run.sh runs it in fresh processes).
// Needs a display (the window is real) and a sound server or none (the engine falls back).

#include "filelistbox.h"
#include "form1.h"
#include "mpvlibrary.h"
#include "mpvoptions.h"
#include "mpvplayer.h"
#include "playerfacade.h"
#include "startup.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr int kTimeoutMs = 10000;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The engine by itself, set up as the player sets it up.
class BareEngine {
public:
    BareEngine()
        : m_mpv(loadMpvLibrary())
        , m_handle(m_mpv.create())
    {
        for (const auto& [name, value] : mpvEngineOptions()) {
            m_mpv.set_option_string(m_handle, name, value);
        }
        if (m_mpv.initialize(m_handle) < 0) {
            std::fprintf(stderr, "the engine did not initialise\n");
            std::exit(1);
        }
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        m_mpv.render_context_create(&m_render, m_handle, params);
        m_mpv.render_context_set_update_callback(
            m_render, [](void* flag) { static_cast<std::atomic<bool>*>(flag)->store(true); }, &m_frameWaiting);
    }
    ~BareEngine()
    {
        m_mpv.render_context_free(m_render);
        m_mpv.terminate_destroy(m_handle);
    }

    // Milliseconds from loadfile to PLAYBACK_RESTART; negative when the open failed.
    double timeOpen(const QString& path)
    {
        const QByteArray file = QFile::encodeName(path);
        const char* load[] = {"loadfile", file.constData(), "replace", nullptr};
        QElapsedTimer clock;
        clock.start();
        m_mpv.command(m_handle, load);
        const double ms = waitFor(MPV_EVENT_PLAYBACK_RESTART, clock);
        const char* stop[] = {"stop", nullptr};
        m_mpv.command(m_handle, stop);
        waitFor(MPV_EVENT_IDLE, clock);
        return ms;
    }

private:
    double waitFor(mpv_event_id wanted, const QElapsedTimer& clock)
    {
        while (clock.elapsed() < kTimeoutMs) {
            const mpv_event* event = m_mpv.wait_event(m_handle, 0.001);
            if (event->event_id == wanted) {
                return double(clock.nsecsElapsed()) / 1e6;
            }
            if (event->event_id == MPV_EVENT_END_FILE && wanted != MPV_EVENT_IDLE) {
                return -1;
            }
            renderIfWaiting();
        }
        return -1;
    }

    void renderIfWaiting()
    {
        if (!m_frameWaiting.exchange(false)) {
            return;
        }
        if ((m_mpv.render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME) == 0) {
            return;
        }
        int size[2] = {325, 40};
        size_t stride = 1344;
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_SW_SIZE, size},      {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>("bgr0")},
            {MPV_RENDER_PARAM_SW_STRIDE, &stride}, {MPV_RENDER_PARAM_SW_POINTER, m_pixels},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        m_mpv.render_context_render(m_render, params);
    }

    const MpvLibrary& m_mpv;
    mpv_handle* m_handle;
    mpv_render_context* m_render = nullptr;
    std::atomic<bool> m_frameWaiting{false};
    alignas(64) unsigned char m_pixels[1344 * 40] = {};
};

// The program's own window, driven as the user drives it.
class Window {
public:
    explicit Window(bool startEngine = true)
        : m_form(createMainWindow())
    {
        m_form->show();
        m_form->file1()->setFocus();
        if (!QTest::qWaitForWindowExposed(m_form.get())) {
            std::fprintf(stderr, "the window did not show\n");
            std::exit(1);
        }
        if (!startEngine) {
            return;
        }
        auto* player = qobject_cast<MpvPlayer*>(m_form->windowsMediaPlayer1());
        QSignalSpy started(player, &MpvPlayer::engineStarted);
        player->startEngine(); // as the user's first press into the window would
        if (!player->isEngineReady() && !started.wait(kTimeoutMs)) {
            std::fprintf(stderr, "the player's engine did not come up\n");
            std::exit(1);
        }
    }

    double timeDoubleClick(const QString& path)
    {
        const QPoint at = showRow(path);
        FileListBox& list = *m_form->file1();
        PlayerFacade& player = *m_form->windowsMediaPlayer1();
        // A double-click is a click and then a second press that arrives as the double-click.
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
        const double ms = waitForState(player, PlayStatePlaying, clock);
        stop(player, clock);
        return ms;
    }

    // From the first press of the double-click, which is the window's first input.
    double timeFirstDoubleClick(const QString& path)
    {
        const QPoint at = showRow(path);
        FileListBox& list = *m_form->file1();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
        return waitForState(*m_form->windowsMediaPlayer1(), PlayStatePlaying, clock);
    }

private:
    // Lists the file's folder (typed by program, which is no input) and returns its row's centre.
    QPoint showRow(const QString& path)
    {
        const QFileInfo file(path);
        m_form->text1()->setText(file.absolutePath()); // the list follows the typed folder
        FileListBox& list = *m_form->file1();
        const QModelIndex row = findRow(list, file.fileName());
        list.selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
        return list.visualRect(row).center();
    }

    static QModelIndex findRow(const FileListBox& list, const QString& name)
    {
        for (int row = 0; row < list.model()->rowCount(); ++row) {
            const QModelIndex index = list.model()->index(row, 0);
            if (index.data().toString() == name) {
                return index;
            }
        }
        std::fprintf(stderr, "%s is not in the list\n", qPrintable(name));
        std::exit(1);
    }

    static double waitForState(PlayerFacade& player, PlayState wanted, const QElapsedTimer& clock)
    {
        if (player.playState() != wanted) {
            QEventLoop loop;
            QObject::connect(&player, &PlayerFacade::playStateChange, &loop, [&] {
                if (player.playState() == wanted) {
                    loop.quit();
                }
            });
            QTimer::singleShot(std::max<qint64>(0, kTimeoutMs - clock.elapsed()), &loop, &QEventLoop::quit);
            loop.exec();
        }
        if (player.playState() != wanted) {
            std::fprintf(stderr, "state %d, not %d, after %lld ms\n", player.playState(), wanted, clock.elapsed());
            return -1;
        }
        return double(clock.nsecsElapsed()) / 1e6;
    }

    static void stop(PlayerFacade& player, const QElapsedTimer& clock)
    {
        auto& real = static_cast<MpvPlayer&>(player);
        const auto actions = real.contextMenu()->actions();
        const auto stopAction =
            std::find_if(actions.begin(), actions.end(), [](QAction* a) { return a->text() == "Stop"; });
        (*stopAction)->trigger();
        waitForState(player, PlayStateStopped, clock);
    }

    std::unique_ptr<Form1> m_form;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C"); // as the program's own application object does
    int runs = 9;
    bool first = false;
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--first") == 0) {
            first = true;
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else {
            files << QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
        }
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: %s [--runs N] FILE... | --first FILE\n", argv[0]);
        return 2;
    }
    if (first) {
        Window untouched(false);
        const double ms = untouched.timeFirstDoubleClick(files.first());
        std::printf("file=%s first_ms=%.1f\n", qPrintable(QFileInfo(files.first()).fileName()), ms);
        return ms < 0 ? 1 : 0;
    }
    BareEngine engine;
    Window window;
    std::vector<std::vector<double>> engineMs(size_t(files.size()));
    std::vector<std::vector<double>> windowMs(size_t(files.size()));
    // One warm-up round, not counted: the first open of each kind loads decoders and the output.
    for (int round = -1; round < runs; ++round) {
        for (qsizetype f = 0; f < files.size(); ++f) {
            const double bare = engine.timeOpen(files[f]);
            const double clicked = window.timeDoubleClick(files[f]);
            if (round >= 0) {
                engineMs[size_t(f)].push_back(bare);
                windowMs[size_t(f)].push_back(clicked);
            }
        }
    }
    std::printf("%-28s %12s %16s %7s\n", "file", "engine (ms)", "double-click (ms)", "ratio");
    for (qsizetype f = 0; f < files.size(); ++f) {
        const double bare = median(engineMs[size_t(f)]);
        const double clicked = median(windowMs[size_t(f)]);
        std::printf("%-28s %12.1f %16.1f %7.2f\n", qPrintable(QFileInfo(files[f]).fileName()), bare, clicked,
                    bare > 0 ? clicked / bare : 0.0);
    }
    return 0;
}
