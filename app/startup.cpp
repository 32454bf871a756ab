#include "startup.h"

#include "application.h"
#include "captionannouncer.h"
#include "confinement.h"
#include "enginerelease.h"
#include "filelistbox.h"
#include "folderworker.h"
#include "formbehaviour.h"
#include "glyphbutton.h"
#include "identity.h"
#include "idleinhibitor.h"
#include "mprisservice.h"
#include "mpvplayer.h"
#include "playermedia.h"
#include "programerror.h"

#include <QEvent>
#include <QTimer>

#include <unistd.h>

#include <chrono>
#include <functional>
#include <utility>

namespace {

// How long the end of the program waits, its window and display gone, for the engines to be
// released: a few milliseconds unless a file's reads hang, when no wait would help.
constexpr std::chrono::milliseconds kReleaseWait{1000};

PlayerFacade* makeRealPlayer(QWidget* parent)
{
    return new MpvPlayer(parent);
}

// Calls back once, from the event loop, after the window's first picture has been painted and
// handed to the display.
class FirstPaintWatcher final : public QObject {
public:
    FirstPaintWatcher(QWidget& window, std::function<void()> then)
        : QObject(&window)
        , m_then(std::move(then))
    {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued: the children paint and the picture is flushed before the call runs.
            QTimer::singleShot(0, watched, std::move(m_then));
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> m_then;
};

} // namespace

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : marrowlark::kIconSizes) {
        icon.addFile(QStringLiteral(":/icons/marrowlark-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

void runLoadStep(Form1& form)
{
    form.command2()->setVisible(false);
    form.command3()->setVisible(false);
}

std::unique_ptr<Form1> createMainWindow(const Form1::PlayerFactory& makePlayer)
{
    auto form = std::make_unique<Form1>(makePlayer ? makePlayer : Form1::PlayerFactory(&makeRealPlayer));
    auto* behaviour = new FormBehaviour(*form);
    new CaptionAnnouncer(*form); // the caption, heard by a screen reader
    runLoadStep(*form);
    // Neither serves the first picture: decoding the icon's six images and the round trip to the
    // bus daemon wait until it is on the screen.
    new FirstPaintWatcher(*form, [form = form.get(), behaviour] {
        form->setWindowIcon(applicationIcon());
        // Media keys and the desktop's media controls, when there is a session bus to offer them on.
        MprisService::publish(*form, *behaviour);
        PlayerFacade& player = *form->windowsMediaPlayer1();
        if (PlayerMedia* media = playerMediaOf(player)) {
            IdleInhibitor::whileWatchingFullScreen(player, *media);
        }
    });
    return form;
}

int runMarrowlark(const char* programName, bool confined)
{
    int code = 0;
    {
        Application app(programName);
        if (confined) {
            confineSystemCalls();
        }
        // Lets the desktop match the window to its launcher entry (on Wayland, the app id).
        QGuiApplication::setDesktopFileName(QStringLiteral("marrowlark"));
        std::unique_ptr<Form1> form;
        try {
            form = createMainWindow();
        } catch (const ProgramError& error) {
            reportUnhandledError(error);
            return 1;
        }
        form->show();
        form->file1()->setFocus();
        code = app.exec();
        // The window left the screen as it closed. Nothing may now wait for the engine, which may
        // wait for a file that does not answer, before the window and the display have gone.
        if (auto* player = qobject_cast<MpvPlayer*>(form->windowsMediaPlayer1())) {
            player->releaseEngine();
        }
        form.reset();
    } // the application object goes, and the connection to the display with it
    if (!EngineRelease::waitForAll(kReleaseWait) || FolderWorker::threadsRunning() > 0) {
        // A release or a folder query waits for a file system that does not answer. Ending the
        // process here runs no static destructor nor exit handler beside their threads; the kernel
        // ends the process once it lets the stuck thread go.
        _exit(code);
    }
    return code;
}
