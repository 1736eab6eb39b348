// Drag handlers of the user-interface toolkit: a window's Drag Manager tracking and receive handlers
// installed and removed together, and template handlers that highlight one target item while a droppable
// drag is over it and examine the files dropped on it. Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/ui/drag_drop.h"

// The per-window drag state; the template handlers reach it as the window's reference constant.
struct DR_ReceiveData {
  Boolean canReceive;  // the drag now over the window may be dropped
  Boolean inContent;   // the mouse is over the target item and its highlight is shown
  DragTrackingHandlerUPP trackHandler;
  DragReceiveHandlerUPP receiveHandler;
  SInt32 numDragTargets;     // filled by the application
  SInt32 dragTargetItem[8];  // the target items (the application's own handlers use them)
  ControlID dragTargetID;    // the template handlers' drop target
};

// Stores and installs the tracking procedure, then the receive procedure (no reference constant): memFullErr
// (-108) for a NULL procedure, an installation's failure returned as it is.
OSStatus DR_InstallDragHandlers(WindowRef window, DR_ReceiveData *receiveData, DragTrackingHandlerUPP trackProc,
                                DragReceiveHandlerUPP receiveProc);
// The same with the window's reference constant as the record and the template handlers.
OSStatus DR_InstallDragHandlersTempl(WindowRef window);
// Removes each stored handler and clears its field.
void DR_RemoveDragHandlers(WindowRef window, DR_ReceiveData *receiveData);
void DR_RemoveDragHandlersTempl(WindowRef window);
// The template's drop check: nothing can be dropped (*canReceive false, noErr).
OSStatus DR_CanReceiveDrop(DragReference theDrag, WindowRef window, Boolean *canReceive);
// The drag's mouse in the window's content coordinates.
OSStatus DR_GetLocalDragMouse(WindowRef window, DragReference theDrag, Point *local);
// Template tracking: entering asks DR_CanReceiveDrop; moving (only for a droppable drag that has left its
// sender window) shows the highlight just outside dragTargetID while the mouse is over it; leaving hides it.
OSErr DR_DragTrackHandler(DragTrackingMessage message, WindowRef window, void *refCon, DragReference theDrag);
// Template receive: a drop outside dragTargetID is refused (dragNotAcceptedErr); otherwise each item's file
// flavour is read and its object examined; items without one are skipped. The last status.
OSErr DR_ReceiveHandler(WindowRef window, void *refCon, DragReference theDrag);
