// The Qt side of the window stand-in, for the user-interface layer and Qt-aware tests only: the toolkit and
// everything above it see no Qt type.
#pragma once

#include "platform/ui/window_manager.h"

class QWidget;

// The widget behind a window (borrowed); NULL for an unknown window.
QWidget *PL_GetWindowWidget(WindowRef window);
// The window whose widget (or one of its children) this is; NULL when none.
WindowRef PL_GetWidgetWindow(const QWidget *widget);
