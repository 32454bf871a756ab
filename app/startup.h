#pragma once

#include "form1.h"

#include <QIcon>

#include <memory>

/// The six images of the application icon, largest first.
QIcon applicationIcon();

/// The window's load step: both transport buttons hidden before the window is first shown.
void runLoadStep(Form1& form);

/// The window as the program starts it: controls, behaviour and load step, not yet shown. The
/// window icon, the media controls on the session bus (MprisService) and, for a player with a
/// PlayerMedia, the idle inhibit while it plays full screen (IdleInhibitor) are given from the
/// event loop once the window has first painted, so that none delays the first picture; a window
/// never shown gets none. The player is the real one unless another factory is given.
std::unique_ptr<Form1> createMainWindow(const Form1::PlayerFactory& makePlayer = {});

/// The whole program: the application object, the window shown with the focus in the file list,
/// and the event loop until the window is closed. Returns the exit code. When @p confined, the
/// system calls are confined (confineSystemCalls()) once the application object has connected
/// to the display, before the window is made.
int runMarrowlark(const char* programName, bool confined);
