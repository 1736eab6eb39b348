// Movie and folder drops on the project dialog.
#include "dialog/movie_drop.h"

#include "app/error_display.h"
#include "app/status_window.h"
#include "dialog/project_dialog.h"
#include "engine/runtime/project_types.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "platform/core/controls.h"
#include "platform/core/window_refcons.h"
#include "platform/core/windows.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/ui/images_quartz.h"
#include "platform/ui/window_manager.h"
#include "toolkit/dialog_items.h"
#include "toolkit/edit_text_alerts.h"

namespace {

constexpr SInt32 kSourceArea = 2020, kTargetArea = 2070;
constexpr SInt32 kInputTab = 1, kOutputTab = 3;
// The control draw event and its graphics context parameter.
constexpr UInt32 kControlDrawKind = 4;
constexpr EventParamName kContextParam = 'cntx';
constexpr EventParamType kContextType = 'cntx';

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

DR_ReceiveData *Data() { return gBZ.dlgData != nullptr ? &gBZ.dlgData->receiveData : nullptr; }

// A modal alert must not open while the desktop is tracking a drag over the window: failures met then are
// kept and shown once the drag has ended.
bool gTracking = false;
OSStatus gPendingError = noErr;
EventLoopTimerRef gPendingTimer = nullptr;

void ShowPendingError(EventLoopTimerRef timer, void *) {
  RemoveEventLoopTimer(timer);
  gPendingTimer = nullptr;
  const OSStatus err = gPendingError;
  gPendingError = noErr;
  if (err != noErr) BZ_ShowError(err);
}

void ShowError(OSStatus err) {
  if (err == noErr) return;
  if (!gTracking) {
    BZ_ShowError(err);
    return;
  }
  if (gPendingError == noErr) gPendingError = err;
}

void EndTracking() {
  gTracking = false;
  if (gPendingError != noErr && gPendingTimer == nullptr)
    InstallEventLoopTimer(GetMainEventLoop(), 0, 0, ShowPendingError, nullptr, &gPendingTimer);
}

OSStatus MainTab(WindowRef window, SInt32 *tab) {
  return GL_GetDialogItemValueByID(window, Item(kBZ_MainTabItem), tab);
}

// The view's bounds in the window's content coordinates.
OSStatus TargetBounds(WindowRef window, SInt32 item, Rect *bounds) {
  ControlRef view = nullptr;
  const HIViewID id = Item(item);
  OSStatus err = GetControlByID(window, &id, &view);
  if (err != noErr) return err;
  HIRect frame{};
  if ((err = HIViewGetFrame(view, &frame)) != noErr) return err;
  if (HIViewRef super = HIViewGetSuperview(view); super != nullptr &&
                                                  (err = HIViewConvertRect(&frame, super, nullptr)) != noErr)
    return err;
  *bounds = Rect{SInt16(frame.origin.y), SInt16(frame.origin.x), SInt16(frame.origin.y + frame.size.height),
                 SInt16(frame.origin.x + frame.size.width)};
  return noErr;
}

// Item `index`'s file: its 'hfs ' flavour, its reference and whether it is a folder.
OSStatus ReadItem(DragReference theDrag, UInt16 index, FSRef *file, Boolean *isFolder) {
  DragItemRef item = 0;
  OSStatus err = GetDragItemReferenceNumber(theDrag, index, &item);
  if (err != noErr) return err;
  FlavorFlags flags = 0;
  if ((err = GetFlavorFlags(theDrag, item, kDragFlavorTypeHFS, &flags)) != noErr) return err;
  HFSFlavor flavor{};
  Size size = sizeof flavor;
  if ((err = GetFlavorData(theDrag, item, kDragFlavorTypeHFS, &flavor, &size, 0)) != noErr) return err;
  if ((err = FSpMakeFSRef(&flavor.fileSpec, file)) != noErr) return err;
  Boolean wasAliased = false;
  return FSResolveAliasFile(file, false, isFolder, &wasAliased);
}

void Redraw(WindowRef window, SInt32 item) { GL_SetNeedsDisplayByID(window, Item(item), true); }

}  // namespace

OSStatus BZ_InstallProjDlgDragHandlers(WindowRef window) {
  DR_ReceiveData *data = Data();
  if (data == nullptr) return paramErr;
  data->dragTargetItem[0] = kSourceArea;
  data->dragTargetItem[1] = kTargetArea;
  data->numDragTargets = 2;
  static const EventTypeSpec kDraw{kEventClassControl, kControlDrawKind};
  for (SInt32 i = 0; i < 2; ++i) {
    ControlRef view = nullptr;
    const HIViewID id = Item(data->dragTargetItem[i]);
    OSStatus err = GetControlByID(window, &id, &view);
    if (err != noErr) return err;
    if ((err = InstallEventHandler(GetControlEventTarget(view), BZ_DragEventHandler, 1, &kDraw, view, nullptr)) !=
        noErr)
      return err;
  }
  return DR_InstallDragHandlers(window, data, BZ_DragTrackHandler, BZ_ReceiveHandler);
}

void BZ_RemoveProjDlgDragHandlers(WindowRef window) {
  DR_RemoveDragHandlers(window, Data());
  if (gTracking) EndTracking();
}

Boolean BZ_CanAcceptMovieDrop(const FSRef *file) {
  Boolean canGraphics = false, canMovie = false, preferGraphics = false;
  if (QT_CanQuickTimeOpenFile(file, &canGraphics, &canMovie, &preferGraphics, 0) != noErr || !canMovie ||
      preferGraphics)
    return false;
  BZ_SetOpeningMovie(true);
  BZ_UpdateStatus(true);
  Movie movie = nullptr;
  const OSStatus openErr = QT_OpenMovieFile(file, 0, &movie);
  BZ_SetOpeningMovie(false);
  BZ_UpdateStatus(true);
  if (openErr != noErr || movie == nullptr) return false;
  Boolean hasVideo = false;
  const OSStatus err = QT_MovieHasVideo(movie, &hasVideo);
  if (err != noErr) ShowError(err);
  DisposeMovie(movie);
  return err == noErr && hasVideo;
}

OSStatus BZ_CanReceiveDrop(DragReference theDrag, WindowRef, Boolean inputTabUp, Boolean *canReceive) {
  if (canReceive == nullptr) return paramErr;
  *canReceive = false;
  UInt16 count = 0;
  OSStatus err = CountDragItems(theDrag, &count);
  if (err != noErr) return err;
  for (UInt16 index = count; index >= 1; --index) {
    FSRef file{};
    Boolean isFolder = false;
    if ((err = ReadItem(theDrag, index, &file, &isFolder)) != noErr) return err;
    if (inputTabUp ? (!isFolder && BZ_CanAcceptMovieDrop(&file)) : isFolder) {
      *canReceive = true;
      return noErr;
    }
  }
  return noErr;
}

OSErr BZ_DragTrackHandler(DragTrackingMessage message, WindowRef window, void *, DragReference theDrag) {
  DR_ReceiveData *data = Data();
  if (data == nullptr) return noErr;
  SInt32 tab = 0;
  MainTab(window, &tab);
  const SInt32 target = tab == kInputTab ? kSourceArea : kTargetArea;
  switch (message) {
    case kDragTrackingEnterWindow: {
      gTracking = true;
      data->inContent = false;
      if (tab != kInputTab && tab != kOutputTab) {
        data->canReceive = false;
        return noErr;
      }
      return OSErr(BZ_CanReceiveDrop(theDrag, window, tab == kInputTab, &data->canReceive));
    }
    case kDragTrackingInWindow: {
      DragAttributes attributes = 0;
      if (!data->canReceive || GetDragAttributes(theDrag, &attributes) != noErr ||
          !(attributes & kDragHasLeftSenderWindow))
        return noErr;
      Point mouse{};
      Rect bounds{};
      if (DR_GetLocalDragMouse(window, theDrag, &mouse) != noErr || TargetBounds(window, target, &bounds) != noErr) return noErr;
      const Boolean inside = PtInRect(mouse, &bounds);
      if (inside != data->inContent) {
        data->inContent = inside;
        Redraw(window, target);
      }
      return noErr;
    }
    case kDragTrackingLeaveWindow:
      if (data->canReceive && data->inContent) Redraw(window, target);
      data->canReceive = false;
      data->inContent = false;
      EndTracking();
      return noErr;
    default:
      return noErr;
  }
}

OSErr BZ_ReceiveHandler(WindowRef window, void *, DragReference theDrag) {
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  if (dlgData == nullptr || gBZ.project == nullptr) return dragNotAcceptedErr;
  Point mouse{};
  SInt32 tab = 0;
  OSStatus err = DR_GetLocalDragMouse(window, theDrag, &mouse);
  if (err == noErr) err = MainTab(window, &tab);
  if (err != noErr) return OSErr(err);
  Rect bounds{};
  if ((tab != kInputTab && tab != kOutputTab) ||
      TargetBounds(window, tab == kInputTab ? kSourceArea : kTargetArea, &bounds) != noErr ||
      !PtInRect(mouse, &bounds))
    return dragNotAcceptedErr;
  DI_DlgRefCon *refCon = reinterpret_cast<DI_DlgRefCon *>(GetWRefCon(window));
  BZ_ProjInfo &info = gBZ.project->info;
  UInt16 count = 0;
  if ((err = CountDragItems(theDrag, &count)) != noErr) return OSErr(err);
  for (UInt16 index = 1; index <= count; ++index) {
    FSRef file{};
    Boolean isFolder = false;
    err = ReadItem(theDrag, index, &file, &isFolder);
    if (err == badDragFlavorErr) continue;  // no file: skipped
    if (err != noErr) {
      // A flavour that cannot be read ends the drop; a file that cannot be resolved is skipped.
      DragItemRef item = 0;
      FlavorFlags flags = 0;
      if (GetDragItemReferenceNumber(theDrag, index, &item) != noErr ||
          GetFlavorFlags(theDrag, item, kDragFlavorTypeHFS, &flags) != noErr)
        return OSErr(err);
      continue;
    }
    if (tab == kInputTab && !isFolder) {
      if (!BZ_CanAcceptMovieDrop(&file)) continue;
      dlgData->itemHit = 2022;
      if (refCon != nullptr) refCon->itemHit = 2022;
      BZ_MarkForUpdate(&dlgData->state, 2022);
      info.srcFileData[0].fileRef = file;
      err = BZ_ProjDlgHandleDependentItems(window, true);
      if (err == noErr) err = BZ_ProjDlgActivateOKButton(window);
      if (err == noErr) return noErr;
      ShowError(err);
    } else if (tab == kOutputTab && isFolder) {
      BZ_TargetFileData &target = info.targetFileData[0];
      target.parentRef = file;
      if (target.fileName.length == 0) BZ_SuggestOutName(&info.srcFileData[0].fileRef, &target.fileName);
      dlgData->itemHit = 2072;
      if (refCon != nullptr) refCon->itemHit = 2072;
      BZ_MarkForUpdate(&dlgData->state, 2072);
      ShowError(BZ_ProjDlgHandleDependentItems(window, true));
      return noErr;
    }
  }
  // Nothing taken is a refusal, also when the last step went well: the sender must not take the drop as
  // done (a moving sender would remove its file).
  return err != noErr ? OSErr(err) : OSErr(dragNotAcceptedErr);
}

OSStatus BZ_DragEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData) {
  DR_ReceiveData *data = Data();
  if (data == nullptr || !data->inContent) return eventNotHandledErr;
  OSStatus err = CallNextEventHandler(callRef, event);
  if (err != noErr && err != eventNotHandledErr) return err;
  CGContextRef context = nullptr;
  if (GetEventParameter(event, kContextParam, kContextType, nullptr, sizeof context, nullptr, &context) != noErr ||
      context == nullptr)
    return noErr;
  HIRect bounds{};
  if (HIViewGetBounds(static_cast<HIViewRef>(userData), &bounds) != noErr) return noErr;
  CGContextSaveGState(context);
  // The desktop's selection blue stands for the drag-highlight brush.
  CGContextSetRGBStrokeColor(context, 0.19, 0.44, 0.85, 1.0);
  CGContextSetLineWidth(context, 2.0);
  CGContextStrokeRect(context, CGRectMake(bounds.origin.x + 1.0, bounds.origin.y + 1.0, bounds.size.width - 2.0,
                                          bounds.size.height - 2.0));
  CGContextRestoreGState(context);
  return noErr;
}
