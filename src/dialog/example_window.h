// The example window: a before and an after picture of the cleaning method whose pane is shown, from the
// bundle's folder "Before-after", in the wells 2364 and 2365; and the Example button 2003 that opens it.
// Main thread only.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/event_loop.h"
#include "platform/core/quickdraw_ports.h"

enum : SInt32 { kBZ_ExampleBeforeWell = 2364, kBZ_ExampleAfterWell = 2365 };

// Opens the example window for the method tab shown in the project dialog: nothing on the varying-brightness
// tab. The window is placed at its saved location (unless (0,0)), shown, and the Example button deactivated.
// The first failure; a window made before it is disposed of.
OSStatus BZ_ShowExample(WindowRef dialog);
// The window's close event: the pictures go (BZ_CloseExampleWindow) and, while the Process pane is shown and
// no project is being opened or executed, the Example button is active again. eventNotHandledErr, so that
// the standard handler closes the window (or the failure of reading the main tab).
OSStatus BZ_ExampleWindowEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
// Replaces the pictures held by the pair of the method tab shown ("?.tiff" for tabs without an example) and
// puts them into the two wells. fnfErr when a picture is not in the bundle.
OSStatus BZ_SetExamplePictures(WindowRef exampleWindow);
// The wells' background. The wells draw their pictures themselves here: noErr.
OSStatus BZ_SetExampleImageWellBackground(WindowRef exampleWindow);
// Disposes both pictures and keeps the window's top left as its saved location. A NULL window: noErr.
OSStatus BZ_CloseExampleWindow(WindowRef exampleWindow);
// An example exists while the Process pane shows a method tab other than varying brightness: then the
// Example button is active exactly while no example window is open; otherwise the button is inactive and an
// open example window is asked to close.
OSStatus BZ_ActivateExampleButton(WindowRef dialog);

// The before and after picture names (in "Before-after") of a method tab value.
void BZ_GetExamplePictureNames(SInt32 methodTab, CFStringRef *before, CFStringRef *after);
