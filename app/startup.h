#pragma once

#include "form1.h"

#include <QIcon>

#include <memory>

/// The six images of the application icon, largest first.
QIcon applicationIcon();

/// The window's load step: both transport buttons hidden before the window is first shown.
void runLoadStep(Form1& form);

/// The window as the program starts it: controls, behaviour, the caption spoken to a screen reader
/// (CaptionAnnouncer) and load step, not yet shown. The window icon, the media controls on the
/// session bus (MprisService) and, for a player with a PlayerMedia, the idle inhibit while it
/// plays full screen (IdleInhibitor) are given from the event loop once the window has first
/// painted, so that none delays the first picture; a window never shown gets none. The player is
/// the real one unless another factory is given.
std::unique_ptr<Form1> createMainWindow(const Form1::PlayerFactory& makePlayer = {});

/// The whole program: the application object, the window shown with the focus in the file list,
/// and the event loop until the window is closed. When @p confined, the system calls are confined
/// (confineSystemCalls()) once the application object has connected to the display, before the
/// window is made. After the event loop the engine is handed to a thread of its own for release,
/// the window and the application object (with the display connection) go, and the releases are
/// waited for, for a second at most. Returns the exit code; when a release is still under way by
/// then (a file's reads hang), ends the process at once with that code instead, without static
/// destructors or exit handlers, writing nothing.
int runMarrowlark(const char* programName, bool confined);
