// Drag Manager stand-in over Qt's drag and drop: a window's tracking and receive handlers see a drag over it
// as the classic messages (enter window 2, in window 3, leave window 4) and the drop as a receive call. Each
// dropped local file is an item with the 'hfs ' flavour (HFSFlavor, whose FSSpec FSpMakeFSRef
// resolves); anything else is an item without it. A drag from another window or program has always left its
// sender window. A receive handler's failure refuses the drop (Qt: the drop is ignored). While a window has
// handlers it takes every drag over it (its child widgets get none). Main thread only.
#pragma once

#include "platform/core/files.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/core/quickdraw_ports.h"

struct OpaqueDragRef;
typedef OpaqueDragRef *DragRef;
typedef DragRef DragReference;
typedef UInt32 DragItemRef;
typedef OSType FlavorType;
typedef UInt32 FlavorFlags;
typedef UInt32 DragAttributes;
typedef SInt16 DragTrackingMessage;

enum : OSErr {
  badDragRefErr = -1850,
  badDragItemErr = -1851,
  badDragFlavorErr = -1852,
  duplicateHandlerErr = -1855,
  handlerNotFoundErr = -1856,
  dragNotAcceptedErr = -1857,
};
enum : DragTrackingMessage {
  kDragTrackingEnterHandler = 1,
  kDragTrackingEnterWindow = 2,
  kDragTrackingInWindow = 3,
  kDragTrackingLeaveWindow = 4,
  kDragTrackingLeaveHandler = 5,
};
enum : DragAttributes { kDragHasLeftSenderWindow = 1u << 0, kDragInsideSenderApplication = 1u << 1,
                        kDragInsideSenderWindow = 1u << 2 };
enum : FlavorType { kDragFlavorTypeHFS = 'hfs ' };
enum : FlavorFlags { flavorSenderOnly = 1u << 0, flavorNotSaved = 1u << 2 };

// The 'hfs ' flavour of a file item.
struct HFSFlavor {
  OSType fileType;
  OSType fileCreator;
  UInt16 fdFlags;
  FSSpec fileSpec;
};

typedef OSErr (*DragTrackingHandlerProcPtr)(DragTrackingMessage message, WindowRef theWindow, void *handlerRefCon,
                                            DragRef theDrag);
typedef OSErr (*DragReceiveHandlerProcPtr)(WindowRef theWindow, void *handlerRefCon, DragRef theDrag);
typedef DragTrackingHandlerProcPtr DragTrackingHandlerUPP;
typedef DragReceiveHandlerProcPtr DragReceiveHandlerUPP;
inline DragTrackingHandlerUPP NewDragTrackingHandlerUPP(DragTrackingHandlerProcPtr p) { return p; }
inline DragReceiveHandlerUPP NewDragReceiveHandlerUPP(DragReceiveHandlerProcPtr p) { return p; }
inline void DisposeDragTrackingHandlerUPP(DragTrackingHandlerUPP) {}
inline void DisposeDragReceiveHandlerUPP(DragReceiveHandlerUPP) {}

// One handler of each kind per window and procedure: duplicateHandlerErr for the same pair again, paramErr
// for a NULL procedure, errInvalidWindowRef for an unknown window.
OSErr InstallTrackingHandler(DragTrackingHandlerUPP trackingHandler, WindowRef theWindow, void *handlerRefCon);
OSErr InstallReceiveHandler(DragReceiveHandlerUPP receiveHandler, WindowRef theWindow, void *handlerRefCon);
// handlerNotFoundErr when the pair is not installed.
OSErr RemoveTrackingHandler(DragTrackingHandlerUPP trackingHandler, WindowRef theWindow);
OSErr RemoveReceiveHandler(DragReceiveHandlerUPP receiveHandler, WindowRef theWindow);

// Items are numbered 1..n; an item's reference is its number.
OSErr CountDragItems(DragRef theDrag, UInt16 *numItems);
OSErr GetDragItemReferenceNumber(DragRef theDrag, UInt16 index, DragItemRef *theItemRef);
// badDragFlavorErr when the item has no such flavour, badDragItemErr for an unknown item.
OSErr GetFlavorFlags(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, FlavorFlags *theFlags);
OSErr GetFlavorDataSize(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, Size *dataSize);
// Copies at most *dataSize bytes from dataOffset on; *dataSize = the bytes copied.
OSErr GetFlavorData(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, void *dataPtr, Size *dataSize,
                    UInt32 dataOffset);
OSErr GetDragAttributes(DragRef theDrag, DragAttributes *flags);
// The mouse in global coordinates (pinned: the same).
OSErr GetDragMouse(DragRef theDrag, Point *mouse, Point *globalPinnedMouse);

// The drag's highlight: a 2-pixel frame just outside (inside false) or inside the region's bounds, in the
// window's content coordinates, shown over the window's content until HideDragHilite or the drag's end.
OSErr ShowDragHilite(DragRef theDrag, RgnHandle hiliteFrame, Boolean inside);
OSErr HideDragHilite(DragRef theDrag);
// Test helper: whether the window shows a drag highlight, and its outer bounds.
Boolean PL_IsDragHiliteShown(WindowRef window, Rect *outerBounds);
