// The application object of the user-interface layer: the QApplication with the program's name and icon,
// the driver that runs the main-thread event loop (platform/core/event_loop.h) inside Qt's event processing,
// quit requests from outside (SIGINT, SIGTERM, the end of the desktop session) and the application's
// activation. Main thread.
#pragma once

#include "platform/core/event_loop.h"
#include "platform/core/quartz_images.h"

// Application events, sent to the application target when the application comes to the front or goes back.
enum : UInt32 { kEventClassApplication = 'appl', kEventAppActivated = 1, kEventAppDeactivated = 2 };

// Makes the QApplication (unless one exists) named "Brizel" with the application icon, keeps it running
// when its last window closes, puts LC_NUMERIC back to "C" (so that "%.2f" keeps its decimal point whatever
// the user's locale), installs the Qt event-loop driver and the Qt alerts, and starts sending the
// application events. argc and argv must live as long as the program.
OSStatus PL_CreateApplication(int *argc, char **argv);
// Runs the main-thread event loop inside Qt's: a post from any thread wakes it with a queued Qt event, and
// Qt's own nested loops (alerts, file choosers, menus, drags) keep dispatching posted events and timers.
void PL_InstallQtEventLoopDriver();

// Called on the main thread when the user or the system asks the application to quit from outside: SIGINT
// and SIGTERM (read through a self-pipe), the end of the desktop session. NULL: such requests are ignored.
typedef void (*PL_QuitRequestProc)();
void PL_SetQuitRequestProc(PL_QuitRequestProc proc);

// Puts the plain application icon back as the windows' icon.
OSStatus RestoreApplicationDockTileImage();
// The image (ARGB, its alpha as made; borrowed for the call) becomes the windows' icon, standing in for
// the Dock tile. paramErr for a NULL image or without an application.
OSStatus SetApplicationDockTileImage(CGImageRef inImage);
// Test hook: whether the icon shown is an image set by SetApplicationDockTileImage (false once restored).
Boolean PL_IsApplicationDockTileImageSet();
