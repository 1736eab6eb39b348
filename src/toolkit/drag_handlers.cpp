// Drag handlers of the user-interface toolkit.
#include "toolkit/drag_handlers.h"

#include "general/file_layer.h"
#include "platform/core/window_refcons.h"
#include "platform/core/windows.h"
#include "platform/ui/window_manager.h"
#include "toolkit/dialog_items.h"

namespace {

DR_ReceiveData *TemplData(WindowRef window) { return reinterpret_cast<DR_ReceiveData *>(GetWRefCon(window)); }

OSErr ShowHilite(DragReference theDrag, const Rect &bounds) {
  RgnHandle rgn = NewRgn();
  if (rgn == nullptr) return memFullErr;
  RectRgn(rgn, &bounds);
  const OSErr err = ShowDragHilite(theDrag, rgn, false);
  DisposeRgn(rgn);
  return err;
}

}  // namespace

OSStatus DR_InstallDragHandlers(WindowRef window, DR_ReceiveData *receiveData, DragTrackingHandlerUPP trackProc,
                                DragReceiveHandlerUPP receiveProc) {
  if (receiveData == nullptr) return paramErr;
  receiveData->trackHandler = trackProc;
  if (trackProc == nullptr) return memFullErr;
  OSStatus err = InstallTrackingHandler(trackProc, window, nullptr);
  if (err != noErr) return err;
  receiveData->receiveHandler = receiveProc;
  if (receiveProc == nullptr) return memFullErr;
  return InstallReceiveHandler(receiveProc, window, nullptr);
}

OSStatus DR_InstallDragHandlersTempl(WindowRef window) {
  return DR_InstallDragHandlers(window, TemplData(window), DR_DragTrackHandler, DR_ReceiveHandler);
}

void DR_RemoveDragHandlers(WindowRef window, DR_ReceiveData *receiveData) {
  if (receiveData == nullptr) return;
  if (receiveData->trackHandler != nullptr) RemoveTrackingHandler(receiveData->trackHandler, window);
  receiveData->trackHandler = nullptr;
  if (receiveData->receiveHandler != nullptr) RemoveReceiveHandler(receiveData->receiveHandler, window);
  receiveData->receiveHandler = nullptr;
}

void DR_RemoveDragHandlersTempl(WindowRef window) { DR_RemoveDragHandlers(window, TemplData(window)); }

OSStatus DR_CanReceiveDrop(DragReference, WindowRef, Boolean *canReceive) {
  if (canReceive != nullptr) *canReceive = false;
  return noErr;
}

OSErr DR_DragTrackHandler(DragTrackingMessage message, WindowRef window, void *, DragReference theDrag) {
  DR_ReceiveData *data = TemplData(window);
  if (data == nullptr) return paramErr;
  switch (message) {
    case kDragTrackingEnterWindow:
      data->inContent = false;
      return OSErr(DR_CanReceiveDrop(theDrag, window, &data->canReceive));
    case kDragTrackingInWindow: {
      DragAttributes attributes = 0;
      if (!data->canReceive || GetDragAttributes(theDrag, &attributes) != noErr ||
          !(attributes & kDragHasLeftSenderWindow))
        return noErr;
      Rect bounds{};
      OSStatus err = GL_GetDialogItemBoundsByID(window, data->dragTargetID, &bounds);
      if (err != noErr) return OSErr(err);
      Point mouse{};
      if ((err = DR_GetLocalDragMouse(window, theDrag, &mouse)) != noErr) return OSErr(err);
      const Boolean inside = PtInRect(mouse, &bounds);
      if (!inside && data->inContent) {
        data->inContent = false;
        HideDragHilite(theDrag);
      } else if (inside && !data->inContent) {
        data->inContent = true;
        ShowHilite(theDrag, bounds);
      }
      return noErr;
    }
    case kDragTrackingLeaveWindow:
      if (data->canReceive && data->inContent) HideDragHilite(theDrag);
      data->canReceive = false;
      data->inContent = false;
      return noErr;
    default:
      return noErr;
  }
}

OSErr DR_ReceiveHandler(WindowRef window, void *, DragReference theDrag) {
  DR_ReceiveData *data = TemplData(window);
  if (data == nullptr) return paramErr;
  Rect bounds{};
  OSStatus err = GL_GetDialogItemBoundsByID(window, data->dragTargetID, &bounds);
  if (err != noErr) return OSErr(err);
  Point mouse{};
  if ((err = DR_GetLocalDragMouse(window, theDrag, &mouse)) != noErr) return OSErr(err);
  if (!PtInRect(mouse, &bounds)) return dragNotAcceptedErr;
  UInt16 count = 0;
  if ((err = CountDragItems(theDrag, &count)) != noErr) return OSErr(err);
  err = noErr;
  for (UInt16 index = 1; index <= count; ++index) {
    DragItemRef item = 0;
    if ((err = GetDragItemReferenceNumber(theDrag, index, &item)) != noErr) break;
    FlavorFlags flags = 0;
    err = GetFlavorFlags(theDrag, item, kDragFlavorTypeHFS, &flags);
    if (err == badDragFlavorErr) {
      err = noErr;
      continue;
    }
    if (err != noErr) break;
    HFSFlavor flavor{};
    Size size = sizeof flavor;
    if ((err = GetFlavorData(theDrag, item, kDragFlavorTypeHFS, &flavor, &size, 0)) != noErr) continue;
    FSRef ref{};
    if ((err = FSpMakeFSRef(&flavor.fileSpec, &ref)) != noErr) continue;
    SInt16 kind = 0;
    err = GL_GetFileObjectType(&ref, &kind);
  }
  return OSErr(err);
}

OSStatus DR_GetLocalDragMouse(WindowRef window, DragReference theDrag, Point *local) {
  Point mouse{};
  OSStatus err = GetDragMouse(theDrag, &mouse, nullptr);
  if (err != noErr) return err;
  Rect content{};
  if ((err = GetWindowBounds(window, kWindowContentRgn, &content)) != noErr) return err;
  *local = Point{SInt16(mouse.v - content.top), SInt16(mouse.h - content.left)};
  return noErr;
}

