// A port that measures text with the desktop's fonts (QFontMetrics) at the port's size and face, for code
// that fits texts into a line before setting them into a control: windows here draw through Qt and have no
// QuickDraw port of their own. It draws nothing. Main thread.
#pragma once

#include "platform/core/quickdraw_ports.h"

// The application's measuring port (made on the first call, kept for the life of the process); NULL when
// memory is out.
GrafPtr PL_GetTextMeasuringPort();
