#include "startup.h"

#include "application.h"
#include "filelistbox.h"
#include "formbehaviour.h"
#include "glyphbutton.h"
#include "mpvplayer.h"
#include "mprisservice.h"
#include "programerror.h"

#include <cstdio>

namespace {

PlayerFacade* makeRealPlayer(QWidget* parent)
{
    return new MpvPlayer(parent);
}

} // namespace

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {256, 128, 64, 48, 32, 16}) {
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
    form->setWindowIcon(applicationIcon());
    auto* behaviour = new FormBehaviour(*form);
    runLoadStep(*form);
    // Media keys and the desktop's media controls, when there is a session bus to offer them on.
    MprisService::publish(*form, *behaviour);
    return form;
}

int runMarrowlark(const char* programName)
{
    Application app(programName);
    // Lets the desktop match the window to its launcher entry (on Wayland, the app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("marrowlark"));
    std::unique_ptr<Form1> form;
    try {
        form = createMainWindow();
    } catch (const ProgramError& error) {
        std::fprintf(stderr, "Marrowlark: %s\n", error.message().toLocal8Bit().constData());
        Application::showErrorBox(error.message());
        return 1;
    }
    form->show();
    form->file1()->setFocus();
    return app.exec();
}
