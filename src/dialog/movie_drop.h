// Movie and folder drops on the project dialog: a movie dropped on the source area (2020) of the Input tab
// becomes the first source movie, a folder dropped on the target area (2070) of the Output tab the result's
// folder. The target is highlighted while a droppable drag is over it. Main thread only.
#pragma once

#include "platform/core/event_loop.h"
#include "platform/core/files.h"
#include "toolkit/drag_handlers.h"

// Sets the two targets, installs BZ_DragEventHandler on their draws and the window's drag handlers. The
// first failure.
OSStatus BZ_InstallProjDlgDragHandlers(WindowRef window);
void BZ_RemoveProjDlgDragHandlers(WindowRef window);
// Entering decides whether the drag can be dropped on the tab shown; moving over the tab's target (only
// for a drag that has left its sender window) marks it highlighted and redraws it; leaving clears both.
// noErr except for a failed drop check.
OSErr BZ_DragTrackHandler(DragTrackingMessage message, WindowRef window, void *refCon, DragReference theDrag);
// A drop on the tab's target: the first acceptable movie (Input) or folder (Output) is taken; items without
// a file are skipped. dragNotAcceptedErr elsewhere and when nothing was taken (a failure of the last step
// is returned instead).
OSErr BZ_ReceiveHandler(WindowRef window, void *refCon, DragReference theDrag);
// From the last item to the first: every item must be a file; *canReceive when one is a movie that can be
// used (Input tab) or a folder (Output tab). A failure to read an item ends the check and is returned.
OSStatus BZ_CanReceiveDrop(DragReference theDrag, WindowRef window, Boolean inputTabUp, Boolean *canReceive);
// Whether the file opens as a movie with video (a still image is not tried); the opening-movie status shows
// while it opens. Failures give false.
Boolean BZ_CanAcceptMovieDrop(const FSRef *file);
// The draw of a target: while the drag is over it, a 2-pixel highlight inside its edge after it drew itself.
OSStatus BZ_DragEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
