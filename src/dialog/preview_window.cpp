// The preview window.
#include "dialog/preview_window.h"

#include "app/window_lookup.h"
#include "dialog/method_types.h"
#include "dialog/project_dialog.h"
#include "dialog/run_control.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/stage_access.h"
#include "general/memory_lists.h"
#include "movie/atom_containers.h"
#include "outliers/outlier_edit_lists.h"
#include "outliers/outlier_stage.h"
#include "platform/core/mac_errors.h"
#include "platform/movie/movie_toolbox.h"
#include "app/error_display.h"
#include "engine/noise_movie_stage.h"
#include "engine/runtime/working_format.h"
#include "color/argb_conversions.h"
#include "movie/movie_files.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/formatter.h"
#include "platform/movie/movie_properties.h"
#include "platform/core/clock.h"
#include "platform/core/standard_alerts.h"
#include "platform/ui/movie_view.h"
#include "platform/ui/window_manager.h"
#include "toolkit/dialog_items.h"
#include "toolkit/menus.h"
#include "toolkit/windows.h"
#include "dialog/shortcuts_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr SInt32 kPreviewWindowID = 3;
// The dialog keeps the preview data; code below the dialog reaches it through the engine host.
BZ_PreviewData *DialogPreview() { return gBZ.dlgData != nullptr ? &gBZ.dlgData->previewData : nullptr; }
}

// ---- Geometry ----

namespace {

SInt32 ContentWidth(const BZ_PreviewData *p) { return p->currentBounds.right - p->currentBounds.left; }
SInt32 ContentHeight(const BZ_PreviewData *p) { return p->currentBounds.bottom - p->currentBounds.top; }

}  // namespace

void BZ_GetNewMovieControlBounds(const BZ_PreviewData *previewData, Rect *bounds) {
  if (previewData == nullptr || bounds == nullptr) return;
  const SInt32 w = ContentWidth(previewData), h = ContentHeight(previewData);
  const SInt32 mw = previewData->movieSize.h, mh = previewData->movieSize.v;
  const SInt32 bw = w / 2 - 30, bh = (h - 44) / 2 - 46;
  SInt32 pictureWidth = bw, pictureHeight = bh;
  if (mw > 0 && mh > 0 && bw > 0) {
    const double aspect = double(mh) / double(mw);
    if (double(bh) / double(bw) > aspect) pictureHeight = SInt32(bw * aspect + 0.01);
    else pictureWidth = SInt32(bh / aspect + 0.01);
  }
  *bounds = Rect{64, 20, SInt16(64 + pictureHeight + kPL_ControllerBarHeight), SInt16(20 + pictureWidth)};
}

void BZ_GetPreviewDestRect(const BZ_PreviewData *previewData, SInt32 index, Rect *bounds) {
  if (previewData == nullptr || bounds == nullptr) return;
  const SInt32 w = ContentWidth(previewData), h = ContentHeight(previewData);
  SInt32 top = 64, left = 20;
  if (index == 0 || index == 1) top += (h - 44) / 2 - 10;
  if (index == 1 || index == 2) left += w / 2 - 10;
  const SInt32 height = std::min<SInt32>((h - 44) / 2 - 30, previewData->movieSize.v);
  const SInt32 width = std::min<SInt32>(w / 2 - 30, previewData->movieSize.h);
  *bounds = Rect{SInt16(top), SInt16(left), SInt16(top + height), SInt16(left + width)};
}

void BZ_GetLargePreviewFrame(const BZ_PreviewData *previewData, Rect *frame) {
  if (previewData == nullptr || frame == nullptr) return;
  const SInt32 qh = (ContentHeight(previewData) - 44) / 2 - 30, qw = ContentWidth(previewData) / 2 - 30;
  const Point tl = previewData->previewTopLeft;
  *frame = Rect{tl.v, tl.h, SInt16(tl.v + qh), SInt16(tl.h + qw)};
}

void BZ_GetSmallPreviewFrame(const BZ_PreviewData *previewData, Rect *frame) {
  if (previewData == nullptr || frame == nullptr) return;
  Rect control{}, large{};
  BZ_GetNewMovieControlBounds(previewData, &control);
  BZ_GetLargePreviewFrame(previewData, &large);
  const double pictureHeight = control.bottom - control.top - kPL_ControllerBarHeight;
  const double pictureWidth = control.right - control.left;
  const double mh = std::max<SInt32>(previewData->movieSize.v, 1), mw = std::max<SInt32>(previewData->movieSize.h, 1);
  auto scale = [](SInt32 value, double factor) { return SInt16(SInt32(value * factor + 0.5)); };
  *frame = Rect{scale(large.top, pictureHeight / mh), scale(large.left, pictureWidth / mw),
                scale(large.bottom, pictureHeight / mh), scale(large.right, pictureWidth / mw)};
}

void BZ_CorrectPreviewTopLeft(BZ_PreviewData *previewData) {
  if (previewData == nullptr) return;
  Point &tl = previewData->previewTopLeft;
  const SInt32 h = ContentHeight(previewData), w = ContentWidth(previewData);
  tl.v = SInt16(std::max<SInt32>(0, std::min<SInt32>(tl.v, previewData->movieSize.v + 30 - (h - 44) / 2)));
  tl.h = SInt16(std::max<SInt32>(0, std::min<SInt32>(tl.h, previewData->movieSize.h + 30 - w / 2)));
}

void BZ_ShiftPreviewRect(BZ_PreviewData *previewData, const Rect *centreOn) {
  if (previewData == nullptr || centreOn == nullptr) return;
  Rect region{};
  BZ_GetLargePreviewFrame(previewData, &region);
  const SInt32 dv = (centreOn->top + centreOn->bottom) / 2 - (region.top + region.bottom) / 2;
  const SInt32 dh = (centreOn->left + centreOn->right) / 2 - (region.left + region.right) / 2;
  previewData->previewTopLeft = Point{SInt16(region.top + dv), SInt16(region.left + dh)};
  BZ_CorrectPreviewTopLeft(previewData);
}

void BZ_GetPreviewSizeLimits(const BZ_PreviewData *previewData, Point *minSize, Point *maxSize) {
  const Point minimum{kBZ_PreviewMinHeight, kBZ_PreviewMinWidth};
  if (minSize != nullptr) *minSize = minimum;
  if (maxSize == nullptr) return;
  const SInt32 mh = previewData != nullptr ? previewData->movieSize.v : 0;
  const SInt32 mw = previewData != nullptr ? previewData->movieSize.h : 0;
  *maxSize = Point{SInt16(std::clamp<SInt32>(2 * mh + 104, minimum.v, 0x7FFF)),
                   SInt16(std::clamp<SInt32>(2 * mw + 60, minimum.h, 0x7FFF))};
}

Point BZ_GetInitialPreviewSize(const BZ_PreviewData *previewData, Point savedSize) {
  Point minimum{}, maximum{};
  BZ_GetPreviewSizeLimits(previewData, &minimum, &maximum);
  Point size = savedSize.v != 0 && savedSize.h != 0 ? savedSize : minimum;
  size.v = std::clamp(size.v, minimum.v, maximum.v);
  size.h = std::clamp(size.h, minimum.h, maximum.h);
  return size;
}

void BZ_InitDashedFrame(BZ_PreviewData *previewData, Point oldSize) {
  if (previewData == nullptr) return;
  if (oldSize.v >= 1 && oldSize.h >= 1) {
    Point &tl = previewData->previewTopLeft;
    tl.v = SInt16(SInt32(double(tl.v) * previewData->movieSize.v / oldSize.v + 0.5));
    tl.h = SInt16(SInt32(double(tl.h) * previewData->movieSize.h / oldSize.h + 0.5));
  }
  if (BZ_PreviewGetShowLogo()) BZ_HavePreviewEnvelopLogo();
}

// ---- Pictures ----

OSStatus BZ_SetPreviewPictures(BZ_PreviewData *previewData, SInt32 height, SInt32 width, Boolean interlaced) {
  if (previewData == nullptr) return paramErr;
  SInt32 bufferHeight = 0, bufferWidth = 0;
  SInt64 bufferSize = 0;
  OSStatus err = BZ_GetBufferSize(height, width, interlaced, &bufferHeight, &bufferWidth, &bufferSize);
  if (err != noErr) return err;
  // A larger frame (interlacing pads more lines) needs a larger block: the pictures must not run past it.
  const SInt64 needed = 6 * bufferSize;
  if (previewData->buffersRGB == nullptr || previewData->buffersRGBSize < needed) {
    UInt8 *block = nullptr;
    if ((err = GL_NewPtrClear(size_t(needed), &block)) != noErr) return err;
    GL_DisposePtr(&previewData->buffersRGB);
    previewData->buffersRGB = block;
    previewData->buffersRGBSize = needed;
  }
  const SInt32 rowBytes = bufferWidth * 4;
  const SInt32 offsetV = interlaced ? 16 : 8;
  for (SInt32 i = 0; i < 3; ++i) {
    GL_ProviderInfo &info = previewData->providerInfo[i];
    info = GL_ProviderInfo{};
    info.ptr = previewData->buffersRGB + i * 2 * bufferSize;
    info.height = bufferHeight;
    info.width = bufferWidth;
    info.rowBytes = rowBytes;
    info.bytesPerPixel = 4;
    info.offsetH = 8;
    info.offsetV = offsetV;
    info.mark = offsetV * rowBytes + 32;
  }
  return noErr;
}

OSStatus BZ_CreatePreviewImages() {
  BZ_PreviewData *preview = DialogPreview();
  if (preview == nullptr || gBZ.project == nullptr) return paramErr;
  const BZ_ProjInfo &info = gBZ.project->info;
  return BZ_SetPreviewPictures(preview, info.statMovInfo[0].height, info.statMovInfo[0].width,
                               info.settings.input.interlaced);
}

void BZ_DisposePreviewPictures(BZ_PreviewData *previewData) {
  if (previewData == nullptr) return;
  GL_DisposePtr(&previewData->buffersRGB);
  previewData->buffersRGBSize = 0;
  for (GL_ProviderInfo &info : previewData->providerInfo) info = GL_ProviderInfo{};
}

// ---- Times ----

SInt32 BZ_PreviewNumFrames() {
  if (gBZ.project == nullptr) return 0;
  const BZ_ProjInfo &info = gBZ.project->info;
  SInt32 n = info.statMovInfo[0].numFrames;
  if (info.dynMovieInfo.sourceMovie[1] != nullptr) n = std::min(n, info.statMovInfo[1].numFrames);
  return n;
}

namespace {

// The start time of frame index, the index kept within the list (so short movies never read before it).
TimeValue FrameTime(const BZ_StatMovInfo *info, SInt32 numFrames, SInt32 index) {
  if (info == nullptr || info->timeList == nullptr || numFrames <= 0) return 0;
  return info->timeList[std::clamp<SInt32>(index, 0, std::min(numFrames, info->numFrames) - 1)];
}

// The first and last frames the preview may show: with a noise-reduction stage the frames 1 .. n - 2,
// which a movie of one or two frames does not have (then its first and last frames).
void UsableFrames(SInt32 numFrames, Boolean hasNoiseStage, SInt32 *first, SInt32 *last) {
  *first = 0;
  *last = std::max<SInt32>(numFrames - 1, 0);
  if (hasNoiseStage && numFrames >= 3) {
    *first = 1;
    *last = numFrames - 2;
  }
}

Boolean HasNoiseStage() {
  return gBZ.project != nullptr &&
         BZ_GetBufferInfoByStageType(gBZ.project->dynIO_Info.buffInfo, kBZ_NoiseRedTaskType, 0) != nullptr;
}

}  // namespace

TimeValue BZ_PreviewStartTime(const BZ_StatMovInfo *info, SInt32 numFrames, Boolean hasNoiseStage, TimeValue time,
                              TimeValue duration) {
  const TimeValue lastTime = FrameTime(info, numFrames, numFrames - 1);
  if (hasNoiseStage) {
    SInt32 first = 0, last = 0;
    UsableFrames(numFrames, true, &first, &last);
    if (time == -1) time = lastTime;
    time = std::clamp(time, FrameTime(info, numFrames, first), FrameTime(info, numFrames, last));
  }
  if (time == -1 || time == duration) time = lastTime;
  return time;
}

Boolean BZ_CorrectPreviewMovieTime(MovieController mc, const BZ_StatMovInfo *info, BZ_PreviewData *previewData,
                                   Boolean doGoto) {
  if (previewData == nullptr || info == nullptr) return false;
  Movie movie = MCGetMovie(mc);
  const TimeValue duration = movie != nullptr ? GetMovieDuration(movie) : info->videoDuration;
  TimeValue time = previewData->movieTime;
  if (time == duration || time == -1) time = duration - 1;
  const SInt32 n = BZ_PreviewNumFrames() > 0 ? BZ_PreviewNumFrames() : info->numFrames;
  SInt32 first = 0, last = 0;
  UsableFrames(n, HasNoiseStage(), &first, &last);
  time = std::clamp(time, FrameTime(info, n, first), FrameTime(info, n, last));
  if (time == previewData->movieTime) return false;
  previewData->movieTime = time;
  if (!doGoto || mc == nullptr) return false;
  QT_SetMCTimeValue(mc, time);
  return true;
}

// ---- Logo ----

Boolean BZ_PreviewGetShowLogo() {
  if (gBZ.project == nullptr) return false;
  UInt32 types = 0;
  if (BZ_GetValidSelectedProcessTypes(&gBZ.project->info.settings.cleaning, &types) != noErr) return false;
  const UInt32 logo = 1u << kBZ_RlProcessTab;
  if ((types & logo) == 0) return false;
  if (types == logo) return true;
  long tab = -1;
  WindowRef dialog = BZ_GetProjDlgWindow();
  return dialog != nullptr && BZ_GetProcessTab(dialog, &tab) == noErr && tab == kBZ_RlProcessTab;
}

void BZ_HavePreviewEnvelopLogo() {
  BZ_PreviewData *preview = DialogPreview();
  if (preview == nullptr || gBZ.project == nullptr) return;
  const Rect &logo = gBZ.project->info.settings.cleaning.removeLogo.logoRect;
  Rect region{};
  BZ_GetLargePreviewFrame(preview, &region);
  const bool inside = logo.top >= region.top && logo.left >= region.left && logo.bottom <= region.bottom &&
                      logo.right <= region.right;
  if (!inside) BZ_ShiftPreviewRect(preview, &logo);
}

// ---- Small services ----

OSStatus BZ_FreezePreview(Boolean) { return noErr; }
void BZ_SetPreviewOpaque(WindowRef, float) {}

void BZ_DisposePersistentPreviewData(BZ_PreviewData *previewData) {
  if (previewData == nullptr || previewData->ouPreviewData == nullptr) return;
  GL_DisposePtr(&previewData->ouPreviewData->savedOutBuffer);
}


// ---- The window ----

namespace {

constexpr HIViewID Item(SInt32 n) { return HIViewID{'Orl1', n}; }
constexpr SInt32 kMovieControlItem = 2014;
constexpr SInt32 kPreviewButtonItem = 2002;
constexpr MenuID kPreviewMenuID = 2006;

// What the window keeps beside the preview data: its own movie, its handlers and the control of 2014.
struct PreviewWindowState {
  WindowRef window = nullptr;
  Movie movie = nullptr;
  ControlRef movieControl = nullptr;
  EventHandlerRef windowHandler = nullptr;
  Boolean inFilter = false;
};
PreviewWindowState gState;

BZ_StatMovInfo *SourceInfo() { return gBZ.project != nullptr ? &gBZ.project->info.statMovInfo[0] : nullptr; }

CFStringRef Localized(CFStringRef key) { return CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr); }

// Bitmap of a picture view: the part of picture `index` that begins at previewTopLeft.
Boolean PictureSource(void *refCon, const UInt8 **firstPixel, SInt32 *rowBytes, SInt32 *width, SInt32 *height) {
  const auto index = SInt32(reinterpret_cast<intptr_t>(refCon));
  BZ_PreviewData *preview = DialogPreview();
  if (preview == nullptr || preview->buffersRGB == nullptr) return false;
  const GL_ProviderInfo &info = preview->providerInfo[index];
  const Point tl = preview->previewTopLeft;
  const SInt32 mh = preview->movieSize.v, mw = preview->movieSize.h;
  if (info.ptr == nullptr || tl.v >= mh || tl.h >= mw) return false;
  *firstPixel = info.ptr + info.mark + SInt64(tl.v) * info.rowBytes + SInt64(tl.h) * 4;
  *rowBytes = info.rowBytes;
  *width = mw - tl.h;
  *height = mh - tl.v;
  return true;
}

// The dashed frame on the movie: the region the views show.
void ShowDashedFrame() {
  BZ_PreviewData *preview = DialogPreview();
  if (preview == nullptr || gState.movieControl == nullptr) return;
  Rect frame{};
  BZ_GetSmallPreviewFrame(preview, &frame);
  PL_MovieControlSetFrameRect(gState.movieControl, &frame);
}

OSStatus LayOut(WindowRef window, BZ_PreviewData *preview) {
  Rect bounds{};
  if (gState.movieControl != nullptr) {
    BZ_GetNewMovieControlBounds(preview, &bounds);
    SetControlBounds(gState.movieControl, &bounds);
    BZ_SetMovieClip(preview);
  }
  BZ_SetPreviewImagesBounds(window, preview);
  ShowDashedFrame();
  preview->savedBounds = preview->currentBounds;
  preview->savedEventTime = GetCurrentEventTime();
  return noErr;
}

void ContentBounds(WindowRef window, Rect *bounds) {
  Rect global{};
  GetWindowBounds(window, kWindowContentRgn, &global);
  *bounds = Rect{0, 0, SInt16(global.bottom - global.top), SInt16(global.right - global.left)};
}

OSStatus PreviewWindowEventHandler(EventHandlerCallRef, EventRef event, void *userData) {
  auto window = static_cast<WindowRef>(userData);
  BZ_PreviewData *preview = DialogPreview();
  const UInt32 eventClass = GetEventClass(event), kind = GetEventKind(event);
  if (eventClass == kEventClassWindow) {
    switch (kind) {
      case kEventWindowClose:
        BZ_ClosePreview(window);
        return noErr;
      case kEventWindowBoundsChanged:
        if (preview != nullptr) {
          ContentBounds(window, &preview->currentBounds);
          BZ_CorrectPreviewTopLeft(preview);
          LayOut(window, preview);
        }
        return eventNotHandledErr;
      case kEventWindowGetMinimumSize:
      case kEventWindowGetMaximumSize: {
        Point minSize{}, maxSize{};
        BZ_GetPreviewSizeLimits(preview, &minSize, &maxSize);
        const Point size = kind == kEventWindowGetMinimumSize ? minSize : maxSize;
        SetEventParameter(event, kEventParamDimensions, typeQDPoint, sizeof size, &size);
        return noErr;
      }
      default:
        return eventNotHandledErr;
    }
  }
  if (eventClass == kEventClassControl && kind == kEventControlHit) {
    ControlRef control = nullptr;
    HIViewID id{};
    if (GetEventParameter(event, kEventParamDirectObject, 'ctrl', nullptr, sizeof control, nullptr, &control) != noErr ||
        GetControlID(control, &id) != noErr || id.signature != 'Orl1')
      return eventNotHandledErr;
    if (OSStatus err = BZ_HandlePreviewControlHit(window, id.id); err != noErr) BZ_ShowError(err);
    return eventNotHandledErr;
  }
  return eventNotHandledErr;
}

// Return in the frame-number field.
OSStatus PreviewEtiEventHandler(EventHandlerCallRef, EventRef event, void *userData) {
  if (GetEventClass(event) != kEventClassTextField || GetEventKind(event) != kEventTextAccepted)
    return eventNotHandledErr;
  auto window = static_cast<WindowRef>(userData);
  SInt32 number = 0;
  if (GL_GetDialogItemTextIntByID(window, Item(2019), &number) == noErr) BZ_PreviewGotoFrameNum(number);
  else AlertSoundPlay();
  if (gState.movieControl != nullptr) SetKeyboardFocus(window, gState.movieControl, kControlFocusNextPart);
  return noErr;
}

Boolean ActionFilter(MovieController mc, SInt16 action, void *params, long refCon) {
  return BZ_ActionFilterWithRefCon(mc, action, params, refCon);
}

void PreviewCallBack(QTCallBack cb, long refCon) { BZ_PreviewCb(cb, refCon); }

void DragDashedFrame(void *refCon, SInt32 dx, SInt32 dy, Boolean ended) {
  auto window = static_cast<WindowRef>(refCon);
  if (ended) BZ_PreviewHandleMouseUp(window);
  else BZ_PreviewHandleMouseDragged(window, dx, dy, UInt64(GetCurrentEventTime() * 1e6));
}

}  // namespace

void BZ_SetPreviewImagesBounds(WindowRef window, const BZ_PreviewData *previewData) {
  for (SInt32 i = 0; i < 3; ++i) {
    ControlRef view = nullptr;
    const HIViewID id = Item(2011 + i);
    if (GetControlByID(window, &id, &view) != noErr) continue;
    Rect bounds{};
    BZ_GetPreviewDestRect(previewData, i, &bounds);
    SetControlBounds(view, &bounds);
  }
}

void BZ_SetMovieClip(BZ_PreviewData *previewData) {
  MovieController mc = previewData->mc;
  if (mc == nullptr) return;
  Rect bounds{}, bar{};
  MCGetControllerBoundsRect(mc, &bounds);
  PL_MCGetBarRect(mc, &bar);
  if (MCIsControllerAttached(mc) && bar.bottom > bar.top) bounds.bottom = bar.top;
  previewData->movieBounds = bounds;
  // The bottom right pixel is left out of the clip.
  RgnHandle clip = NewRgn(), corner = NewRgn();
  if (clip != nullptr && corner != nullptr) {
    RectRgn(clip, &bounds);
    SetRectRgn(corner, SInt16(bounds.right - 1), SInt16(bounds.bottom - 1), bounds.right, bounds.bottom);
    DiffRgn(clip, corner, clip);
    MCSetClip(mc, nullptr, clip);
  }
  if (clip != nullptr) DisposeRgn(clip);
  if (corner != nullptr) DisposeRgn(corner);
}

OSStatus BZ_SetTimeAndFrameNumInPreview(WindowRef window) {
  BZ_PreviewData *preview = DialogPreview();
  const BZ_StatMovInfo *info = SourceInfo();
  if (window == nullptr || preview == nullptr || info == nullptr || info->timeList == nullptr) return paramErr;
  const SInt32 frame = std::clamp<SInt32>(preview->frameNum, 0, std::max<SInt32>(info->numFrames - 1, 0));
  const TimeValue t = info->timeList[frame];
  const TimeScale ts = std::max<TimeScale>(info->movieTimeScale, 1);
  const SInt64 s = t / ts;
  SInt32 j = 0;
  for (SInt32 k = 0; k < frame; ++k)
    if (info->timeList[k] >= s * ts) ++j;
  PL_CFScoped<CFStringRef> timeKey(Localized(CFSTR("BZ Movie time")));
  PL_CFScoped<CFStringRef> frameKey(Localized(CFSTR("BZ Frame")));
  PL_CFScoped<CFStringRef> timeText(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@:\n%ldh %ldm %lds #%ld"),
                                                             timeKey.get(), long(s / 3600), long((s / 60) % 60),
                                                             long(s % 60), long(j)));
  PL_CFScoped<CFStringRef> frameText(
      CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@ #%ld"), frameKey.get(), long(preview->frameNum + 1)));
  OSStatus err = GL_SetDialogItemTextByID(window, Item(2015), timeText.get());
  if (err == noErr) err = GL_SetDialogItemTextByID(window, Item(2016), frameText.get());
  return err;
}

OSStatus BZ_HandleCustomEventsFromActionFilter() {
  // The filter runs from the main loop (a scrub, a key, the play timer), which dispatches the tasks' custom
  // events between two frames itself; nothing is pending here that the loop would not deliver next.
  return noErr;
}

OSStatus BZ_ScheduleCb(TimeValue time) {
  BZ_PreviewData *preview = DialogPreview();
  const BZ_StatMovInfo *info = SourceInfo();
  if (preview == nullptr || info == nullptr || preview->cb == nullptr) return paramErr;
  const SInt32 n = BZ_PreviewNumFrames();
  const SInt32 k = BZ_MovieFrameNumberFromTimeList(info, time);
  if (k < 0 || k >= n - 1) return noErr;
  return CallMeWhen(static_cast<QTCallBack>(preview->cb), PreviewCallBack, 0, triggerTimeFwd, info->timeList[k + 1],
                    0);
}

void BZ_PreviewCb(QTCallBack, long refCon) {
  BZ_PreviewData *preview = DialogPreview();
  if (preview == nullptr || preview->mc == nullptr) return;
  TimeRecord record{};
  const TimeValue now = MCGetCurrentTime(preview->mc, nullptr);
  record.value.lo = UInt32(now);
  record.scale = GetMovieTimeScale(MCGetMovie(preview->mc));
  BZ_ActionFilterWithRefCon(preview->mc, mcActionGoToTime, &record, refCon);
}

Boolean BZ_ActionFilterWithRefCon(MovieController mc, SInt16 action, void *params, long) {
  BZ_PreviewData *preview = DialogPreview();
  const BZ_StatMovInfo *info = SourceInfo();
  if (preview == nullptr || info == nullptr || params == nullptr) {
    if (preview != nullptr && (action == mcActionPlay || action == mcActionPrerollAndPlay) && params == nullptr &&
        preview->cb != nullptr) {
      DisposeCallBack(static_cast<QTCallBack>(preview->cb));
      preview->cb = nullptr;
      preview->savedRate = 0;
    }
    return false;
  }
  switch (action) {
    case mcActionGoToTime: {
      auto *record = static_cast<TimeRecord *>(params);
      BZ_UpdateOutlierEditList();
      preview->movieTime = TimeValue(record->value.lo);
      BZ_CorrectPreviewMovieTime(mc, info, preview, false);
      preview->frameNum = BZ_MovieFrameNumberFromTimeList(info, preview->movieTime);
      BZ_OuCopyFrameOutlierEditListToPreviewData();
      BZ_StartPreviewCalc();
      if (gState.window != nullptr) BZ_SetTimeAndFrameNumInPreview(gState.window);
      record->value.hi = 0;
      record->value.lo = UInt32(preview->movieTime);
      record->scale = GetMovieTimeScale(MCGetMovie(mc));
      BZ_HandleCustomEventsFromActionFilter();
      if (preview->cb != nullptr) BZ_ScheduleCb(preview->movieTime);
      break;
    }
    case mcActionPlay:
    case mcActionPrerollAndPlay: {
      const auto rate = Fixed(reinterpret_cast<intptr_t>(params));
      if (rate != 0) {
        if (preview->cb == nullptr) preview->cb = NewCallBack(GetMovieTimeBase(MCGetMovie(mc)), callBackAtTime);
        BZ_ScheduleCb(MCGetCurrentTime(mc, nullptr));
      } else if (preview->cb != nullptr) {
        DisposeCallBack(static_cast<QTCallBack>(preview->cb));
        preview->cb = nullptr;
      }
      preview->savedRate = rate;
      break;
    }
    default:
      break;
  }
  return false;
}

OSStatus BZ_PreviewGotoFrameNum(SInt32 frameNum) {
  BZ_PreviewData *preview = DialogPreview();
  const BZ_StatMovInfo *info = SourceInfo();
  if (preview == nullptr || info == nullptr) return paramErr;
  const SInt32 index = frameNum - 1;
  if (index == preview->frameNum || index < 0 || index >= info->numFrames || info->timeList == nullptr ||
      preview->mc == nullptr) {
    AlertSoundPlay();
    return noErr;
  }
  QT_SetMCTimeValue(preview->mc, info->timeList[index]);
  if (gState.movieControl != nullptr) PL_MovieControlUpdate(gState.movieControl);
  return noErr;
}

OSStatus BZ_UpdateNoiseImage(WindowRef window) {
  BZ_PreviewData *preview = DialogPreview();
  BZ_ProjPtr project = gBZ.project;
  if (preview == nullptr || project == nullptr || preview->buffersRGB == nullptr) return paramErr;
  UInt8 *cache = gBZ.dlgTaskData.previewCache;
  if (cache == nullptr) return noErr;  // no preview run has left frames yet
  const BZ_StatMovInfo &info = project->info.statMovInfo[0];
  SInt32 height = 0, width = 0;
  SInt64 size = 0;
  OSStatus err = BZ_GetBufferSize(info.height, info.width, project->info.settings.input.interlaced, &height, &width,
                                  &size);
  if (err != noErr) return err;
  float gamma = 0;
  if ((err = BZ_GetInternalGamma(project, nullptr, &gamma, nullptr, nullptr)) != noErr) return err;
  BZ_MakeDiffFrame(height, width, &project->info.settings.diffParams, gamma, cache, cache + size, cache + 2 * size);
  const GL_ProcessorInfo &cpu = gBZ.procInfo;
  UInt8 *target = preview->buffersRGB + 4 * size;
  if (std::fabs(gamma - kBZ_DisplayGamma) < 0.0001f)
    CO_2vuyFrameToARGB_Uni(cpu.hasAltivec, cpu.hasSSE3, width, height, cache + 2 * size, target, false, width * 2,
                           width * 4);
  else
    CO_2vuyFrameToARGB_ChangeGammaUni(cpu.hasAltivec, cpu.hasSSE3, width, height, cache + 2 * size, target, false,
                                      width * 2, width * 4, gamma, kBZ_DisplayGamma, nullptr);
  return GL_SetNeedsDisplayByID(window, Item(2013), true);
}

OSStatus BZ_HandleScaleRadioButtonHit(WindowRef window, SInt32 item) {
  if (gBZ.project == nullptr) return paramErr;
  BZ_DiffParams &diff = gBZ.project->info.settings.diffParams;
  float value = diff.scale;
  switch (item) {
    case 2008: diff.scaleMode = 0; value = 1.0f; break;
    case 2006: diff.scaleMode = 1; break;
    case 2007: diff.scaleMode = 2; value = diff.showLuma ? diff.optScaleY : diff.optScaleC; break;
    default: return paramErr;
  }
  OSStatus err = noErr;
  for (SInt32 other = 2006; other <= 2008 && err == noErr; ++other)
    err = GL_SetDialogItemValueByID(window, Item(other), other == item ? 1 : 0);
  const Boolean manual = diff.scaleMode == 1;
  if (err == noErr) err = GL_ActivateDialogItemByID(window, Item(2009), manual);
  if (err == noErr) err = GL_ActivateDialogItemByID(window, Item(2010), manual);
  if (err == noErr && !manual) {
    err = GL_SetDialogItemTextFloatPreciseByID(window, Item(2010), value, 1);
    if (err == noErr) err = GL_SetDialogItemValueByID(window, Item(2009), SInt32(10 * value));
    diff.scale = value;
  }
  return err;
}

void BZ_PreviewSliderProc(ControlRef control, ControlPartCode part) {
  if (part == 0) return;
  WindowRef window = GetControlOwner(control);
  GL_SetDialogItemTextFloatPreciseByID(window, Item(2010), GetControl32BitValue(control) / 10.0f, 1);
}

OSStatus BZ_InitDiffParams(WindowRef window) {
  if (gBZ.project == nullptr) return paramErr;
  const BZ_DiffParams &diff = gBZ.project->info.settings.diffParams;
  OSStatus err = GL_SetDialogItemValueByID(window, Item(2004), diff.showLuma ? 1 : 0);
  if (err == noErr) err = GL_SetDialogItemValueByID(window, Item(2005), diff.showChroma ? 1 : 0);
  if (err == noErr) err = GL_SetDialogItemValueByID(window, Item(2009), SInt32(10 * diff.scale));
  if (err == noErr) err = GL_SetDialogItemTextFloatPreciseByID(window, Item(2010), diff.scale, 1);
  if (err == noErr)
    err = BZ_HandleScaleRadioButtonHit(window, diff.scaleMode == 1 ? 2006 : diff.scaleMode == 2 ? 2007 : 2008);
  return err;
}

OSStatus BZ_HandlePreviewControlHit(WindowRef window, SInt32 item) {
  if (gBZ.project == nullptr) return paramErr;
  BZ_DiffParams &diff = gBZ.project->info.settings.diffParams;
  Boolean on = false;
  OSStatus err = noErr;
  switch (item) {
    case 2004:
    case 2005: {
      if ((err = GL_GetDialogItemValueB_ByID(window, Item(item), &on)) != noErr) return err;
      // At least one of luma and chroma stays shown.
      Boolean &mine = item == 2004 ? diff.showLuma : diff.showChroma;
      Boolean &other = item == 2004 ? diff.showChroma : diff.showLuma;
      mine = on;
      if (!on) {
        other = true;
        if ((err = GL_SetDialogItemValueByID(window, Item(item == 2004 ? 2005 : 2004), 1)) != noErr) return err;
      }
      break;
    }
    case 2006:
    case 2007:
    case 2008:
      if ((err = BZ_HandleScaleRadioButtonHit(window, item)) != noErr) return err;
      break;
    case 2009: {
      SInt32 value = 0;
      if ((err = GL_GetDialogItemValueByID(window, Item(2009), &value)) != noErr) return err;
      diff.scale = value / 10.0f;
      if ((err = GL_SetDialogItemTextFloatPreciseByID(window, Item(2010), diff.scale, 1)) != noErr) return err;
      break;
    }
    case 2017:
      return BZ_CreateShortcutsWindow(gBZ.savedWindowLoc[7]);
    default:
      return noErr;
  }
  return BZ_UpdateNoiseImage(window);
}

OSStatus BZ_InitPreviewSize(WindowRef window, BZ_PreviewData *preview) {
  const Point size = BZ_GetInitialPreviewSize(preview, gBZ.previewSize);
  SizeWindow(window, size.h, size.v, true);
  ContentBounds(window, &preview->currentBounds);
  preview->currentBounds.bottom = SInt16(preview->currentBounds.top + size.v);
  preview->currentBounds.right = SInt16(preview->currentBounds.left + size.h);
  return noErr;
}

OSStatus BZ_InitPreviewWindow(WindowRef window) {
  BZ_PreviewData *preview = DialogPreview();
  BZ_ProjPtr project = gBZ.project;
  if (preview == nullptr || project == nullptr) return paramErr;
  BZ_StatMovInfo &info = project->info.statMovInfo[0];
  if (info.timeList == nullptr || info.numFrames <= 0) return paramErr;
  gState.window = window;
  const Point oldSize = preview->movieSize;
  // The limits of the window follow the movie now shown.
  preview->movieSize = Point{SInt16(info.height), SInt16(info.width)};
  OSStatus err = BZ_InitPreviewSize(window, preview);
  if (err != noErr) return err;
  static const EventTypeSpec kinds[] = {
      {kEventClassWindow, kEventWindowClose},          {kEventClassWindow, kEventWindowBoundsChanged},
      {kEventClassWindow, kEventWindowGetMinimumSize}, {kEventClassWindow, kEventWindowGetMaximumSize},
      {kEventClassControl, kEventControlHit}};
  if ((err = InstallEventHandler(GetWindowEventTarget(window), PreviewWindowEventHandler, 5, kinds, window,
                                 &gState.windowHandler)) != noErr)
    return err;
  // The preview's own copy of the source movie: it is only read.
  if ((err = QT_OpenMovieFile(&project->info.srcFileData[0].fileRef, newMovieActive, &gState.movie)) != noErr)
    return err;
  const Rect box{0, 0, preview->movieSize.v, preview->movieSize.h};
  SetMovieBox(gState.movie, &box);
  if (info.movieTimeScale != 0 && GetMovieTimeScale(gState.movie) != info.movieTimeScale)
    SetMovieTimeScale(gState.movie, info.movieTimeScale);
  // Start time.
  const SInt32 n = BZ_PreviewNumFrames();
  preview->movieTime =
      BZ_PreviewStartTime(&info, n, HasNoiseStage(), preview->movieTime, GetMovieDuration(gState.movie));
  preview->frameNum = BZ_MovieFrameNumberFromTimeList(&info, preview->movieTime);
  SetMovieTimeValue(gState.movie, preview->movieTime);
  BZ_OuCopyFrameOutlierEditListToPreviewData();
  // The movie control.
  Rect bounds{};
  BZ_GetNewMovieControlBounds(preview, &bounds);
  if ((err = CreateMovieControl(window, &bounds, gState.movie, kMovieControlOptionLocateTopLeft |
                                                                   kMovieControlOptionSetKeysEnabled,
                                &gState.movieControl)) != noErr)
    return err;
  BZ_InitDashedFrame(preview, oldSize);
  BZ_CorrectPreviewTopLeft(preview);
  HIViewSetID(gState.movieControl, Item(kMovieControlItem));
  preview->mc = GL_GetMovieControllerFromControl(gState.movieControl);
  BZ_SetMovieClip(preview);
  MCSetActionFilterWithRefCon(preview->mc, ActionFilter, 0);
  ControlRef slider = nullptr;
  const HIViewID sliderID = Item(2009);
  if (GetControlByID(window, &sliderID, &slider) == noErr) SetControlAction(slider, BZ_PreviewSliderProc);
  if ((err = BZ_InitDiffParams(window)) != noErr) return err;
  LayOut(window, preview);
  if ((err = BZ_SetTimeAndFrameNumInPreview(window)) != noErr) return err;
  for (SInt32 i = 0; i < 3; ++i) PL_SetViewARGBSource(window, Item(2011 + i), PictureSource, reinterpret_cast<void *>(intptr_t(i)));
  ControlRef field = nullptr;
  const HIViewID fieldID = Item(2019);
  static const EventTypeSpec accepted{kEventClassTextField, kEventTextAccepted};
  if (GetControlByID(window, &fieldID, &field) == noErr)
    InstallEventHandler(GetControlEventTarget(field), PreviewEtiEventHandler, 1, &accepted, window,
                        &preview->gotoEvHandler);
  PL_MovieControlSetDragProc(gState.movieControl, DragDashedFrame, window);
  SetKeyboardFocus(window, gState.movieControl, kControlFocusNextPart);
  BZ_EnableShortcutsButton(window);
  GL_EnableMenuCommandByID(kPreviewMenuID, 0, true);
  return noErr;
}

OSStatus BZ_WarnAboutLogoFade() {
  if (gBZ.project == nullptr || gState.movie == nullptr) return noErr;
  UInt32 types = 0;
  const BZ_CleaninSett &cleaning = gBZ.project->info.settings.cleaning;
  if (BZ_GetValidSelectedProcessTypes(&cleaning, &types) != noErr || (types & (1u << kBZ_RlProcessTab)) == 0 ||
      !cleaning.removeLogo.fade)
    return noErr;
  const float scale = float(std::max<TimeScale>(GetMovieTimeScale(gState.movie), 1));
  const float t = float(GetMovieTime(gState.movie, nullptr)) / scale;
  const float d = float(GetMovieDuration(gState.movie)) / scale;
  const float f = float(cleaning.removeLogo.timeBeforeFade + 1);
  if (t > f && d - f > t) return noErr;
  PL_CFScoped<CFStringRef> message(Localized(CFSTR("Logo removal not (fully) visible because of fade")));
  PL_CFScoped<CFStringRef> explanation(Localized(CFSTR("Set movie time to a value further away from start and finish")));
  const BZ_EngineHost *host = BZ_GetEngineHost();
  return host->standardAlertOneButton(host->refCon, 2, nullptr, message.get(), explanation.get(), 10);
}

OSStatus BZ_ShowPreview(WindowRef dialog) {
  BZ_PreviewData *preview = DialogPreview();
  if (preview == nullptr || gBZ.project == nullptr) return paramErr;
  if (preview->critRgn != nullptr) MPEnterCriticalRegion(preview->critRgn, kDurationForever);
  if (dialog != nullptr) GL_ActivateDialogItemByID(dialog, Item(kPreviewButtonItem), false);
  if (BZ_GetPreviewWindow() != nullptr) {
    if (preview->critRgn != nullptr) MPExitCriticalRegion(preview->critRgn);
    return noErr;
  }
  WindowRef window = nullptr;
  OSStatus err = BZ_CreatePreviewImages();
  if (err == noErr) err = CreateWindowFromNib(gBZ.nibRef, CFSTR("Preview"), &window);
  if (err == noErr) err = BZ_InitPreviewWindow(window);
  if (err == noErr) {
    const Point loc = gBZ.savedWindowLoc[kPreviewWindowID];
    if (loc.h != 0 || loc.v != 0) MoveWindow(window, loc.h, loc.v, false);
  }
  if (preview->critRgn != nullptr) MPExitCriticalRegion(preview->critRgn);
  if (err != noErr) {
    // A half-made window goes again; the Preview button comes back.
    if (window != nullptr) BZ_ClosePreview(window);
    else if (dialog != nullptr) GL_ActivateDialogItemByID(dialog, Item(kPreviewButtonItem), true);
    return err;
  }
  err = BZ_StartPreviewCalc();
  ShowWindow(window);
  if (err == noErr) err = BZ_WarnAboutLogoFade();
  return err;
}

namespace {

// The before and after pictures from the preview cache's source and cleaned frames (slots 0 and 1), at the
// display gamma, and the difference made from them; inside critRgn, so no run writes meanwhile.
OSStatus PicturesFromPreviewCache(WindowRef window, BZ_PreviewData *preview) {
  BZ_ProjPtr project = gBZ.project;
  UInt8 *cache = gBZ.dlgTaskData.previewCache;
  if (project == nullptr || cache == nullptr || preview->buffersRGB == nullptr) return noErr;
  const BZ_StatMovInfo &info = project->info.statMovInfo[0];
  SInt32 height = 0, width = 0;
  SInt64 size = 0;
  OSStatus err = BZ_GetBufferSize(info.height, info.width, project->info.settings.input.interlaced, &height, &width,
                                  &size);
  if (err != noErr) return err;
  if (6 * size > preview->buffersRGBSize) return noErr;  // pictures of another size: made again first
  float gamma = 0;
  if ((err = BZ_GetInternalGamma(project, nullptr, &gamma, nullptr, nullptr)) != noErr) return err;
  if (preview->critRgn != nullptr) MPEnterCriticalRegion(preview->critRgn, kDurationForever);
  const GL_ProcessorInfo &cpu = gBZ.procInfo;
  for (SInt32 slot = 0; slot < 2; ++slot) {
    const UInt8 *frame = cache + slot * size;
    UInt8 *picture = preview->buffersRGB + slot * 2 * size;
    if (std::fabs(gamma - kBZ_DisplayGamma) < 0.0001f)
      CO_2vuyFrameToARGB_Uni(cpu.hasAltivec, cpu.hasSSE3, width, height, frame, picture, false, width * 2, width * 4);
    else
      CO_2vuyFrameToARGB_ChangeGammaUni(cpu.hasAltivec, cpu.hasSSE3, width, height, frame, picture, false, width * 2,
                                        width * 4, gamma, kBZ_DisplayGamma, nullptr);
  }
  if (preview->critRgn != nullptr) MPExitCriticalRegion(preview->critRgn);
  // While outliers are edited the difference is the speck picture of the noise stage.
  return BZ_GetEditingOutliers() ? OSStatus(noErr) : BZ_UpdateNoiseImage(window);
}

}  // namespace

OSStatus BZ_ForcePreviewUpdate(Boolean recreateImages) {
  WindowRef window = gState.window;
  BZ_PreviewData *preview = DialogPreview();
  if (window == nullptr || preview == nullptr) return noErr;
  OSStatus first = noErr;
  if (recreateImages) {
    // The block may move: not while a calculation's start or end holds the region.
    if (preview->critRgn != nullptr) MPEnterCriticalRegion(preview->critRgn, kDurationForever);
    first = BZ_CreatePreviewImages();
    if (preview->critRgn != nullptr) MPExitCriticalRegion(preview->critRgn);
  }
  // A calculation that ended leaves new frames; a drag only moves the region shown.
  if (!preview->dragging)
    if (OSStatus err = PicturesFromPreviewCache(window, preview); err != noErr && first == noErr) first = err;
  if (gState.movieControl != nullptr) {
    ShowDashedFrame();
    PL_MovieControlUpdate(gState.movieControl);
  }
  for (SInt32 item = 2011; item <= 2013; ++item)
    if (OSStatus err = GL_SetNeedsDisplayByID(window, Item(item), true); err != noErr && first == noErr) first = err;
  return first;
}

MovieController GL_GetMovieControllerFromControl(ControlRef control) {
  MovieController mc = nullptr;
  Size size = 0;
  if (control == nullptr ||
      GetControlData(control, kControlEntireControl, kMovieControlDataTag, sizeof mc, &mc, &size) != noErr ||
      size != Size(sizeof mc))
    return nullptr;
  return mc;
}

MovieController GL_GetMovieControllerByID(WindowRef window, HIViewID id) {
  ControlRef control = nullptr;
  if (window == nullptr || GetControlByID(window, &id, &control) != noErr) return nullptr;
  return GL_GetMovieControllerFromControl(control);
}

// ---- Moving the region shown ----

Boolean BZ_PreviewHandleMouseDragged(WindowRef window, SInt32 dx, SInt32 dy, UInt64 nowMicroseconds) {
  BZ_PreviewData *preview = DialogPreview();
  if (preview == nullptr) return false;
  Rect control{};
  BZ_GetNewMovieControlBounds(preview, &control);
  const SInt32 pictureHeight = std::max(1, control.bottom - control.top - kPL_ControllerBarHeight);
  const SInt32 pictureWidth = std::max(1, control.right - control.left);
  preview->previewTopLeft.v = SInt16(preview->previewTopLeft.v + dy * preview->movieSize.v / pictureHeight);
  preview->previewTopLeft.h = SInt16(preview->previewTopLeft.h + dx * preview->movieSize.h / pictureWidth);
  BZ_CorrectPreviewTopLeft(preview);
  preview->dragging = true;
  // The views follow at most every 50 ms; the dashed frame at once.
  ShowDashedFrame();
  if (nowMicroseconds - preview->savedUpdateTime <= 50000) return false;
  preview->savedUpdateTime = nowMicroseconds;
  if (window != nullptr) BZ_ForcePreviewUpdate(false);
  return true;
}

void BZ_PreviewHandleMouseUp(WindowRef window) {
  BZ_PreviewData *preview = DialogPreview();
  if (preview == nullptr || !preview->dragging) return;
  if (window != nullptr) BZ_ForcePreviewUpdate(false);
  preview->dragging = false;
}

// ---- Closing ----

OSStatus BZ_ClosePreview(WindowRef window) {
  if (window == nullptr) return noErr;
  BZ_PreviewData *preview = DialogPreview();
  if (preview != nullptr) {
    BZ_UpdateOutlierEditList();
    for (Boolean &has : preview->hasSelectionRect) has = false;
    if (preview->cb != nullptr) {
      DisposeCallBack(static_cast<QTCallBack>(preview->cb));
      preview->cb = nullptr;
    }
    if (preview->gotoEvHandler != nullptr) RemoveEventHandler(preview->gotoEvHandler);
    preview->gotoEvHandler = nullptr;
  }
  if (gState.movieControl != nullptr) PL_DisposeMovieControl(gState.movieControl);
  gState.movieControl = nullptr;
  QT_DisposeMovie(&gState.movie);
  Point location{}, size{};
  if (GL_SaveWindowPosition(window, &location) == noErr) gBZ.savedWindowLoc[kPreviewWindowID] = location;
  if (GL_GetWindowPortSize(window, &size) == noErr) gBZ.previewSize = size;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  Boolean actuallyStopping = false;
  if (OSStatus err = BZ_StopMovieAnalysis(host->getDialogStatePtr(host->refCon), &actuallyStopping, true);
      err != noErr)
    host->showError(host->refCon, err);
  if (gState.windowHandler != nullptr) RemoveEventHandler(gState.windowHandler);
  gState.windowHandler = nullptr;
  if (WindowRef shortcuts = BZ_GetShortcutsWindow(); shortcuts != nullptr) DisposeWindow(shortcuts);
  if (preview != nullptr) {
    // The pictures go only once no run can write into them.
    if (preview->critRgn != nullptr) MPEnterCriticalRegion(preview->critRgn, kDurationForever);
    BZ_DisposePreviewPictures(preview);
    if (preview->critRgn != nullptr) MPExitCriticalRegion(preview->critRgn);
  }
  gState.window = nullptr;
  DisposeWindow(window);
  if (preview != nullptr) {
    const Point movieSize = preview->movieSize, topLeft = preview->previewTopLeft;
    MPCriticalRegionID critRgn = preview->critRgn;
    BZ_OuPreviewData *ou = preview->ouPreviewData;
    preview->currentBounds = preview->savedBounds = preview->movieBounds = Rect{};
    preview->savedEventTime = 0;
    preview->movieControlEvHandler = preview->rootControlEvHandler = preview->gotoEvHandler = nullptr;
    preview->movieTime = 0;
    preview->frameNum = 0;
    preview->receivedGotoEvent = false;
    preview->savedRate = 0;
    preview->mc = nullptr;
    preview->drawBeforeImageTimer = nullptr;
    preview->savedUpdateTime = 0;
    preview->dragging = false;
    preview->previewCalcDeferred = false;
    preview->lastCropEdgeMove = 0;
    preview->maPhase = 0;
    preview->movieSize = movieSize;
    preview->previewTopLeft = topLeft;
    preview->critRgn = critRgn;
    preview->ouPreviewData = ou;
  }
  WindowRef dialog = BZ_GetProjDlgWindow();
  if (dialog != nullptr && gBZ.project != nullptr && gBZ.project->state.exec == kBZ_ProjStatePreviewing)
    GL_ActivateDialogItemByID(dialog, Item(kPreviewButtonItem), true);
  GL_EnableMenuCommandByID(kPreviewMenuID, 0, false);
  return noErr;
}
