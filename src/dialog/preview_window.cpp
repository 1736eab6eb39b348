// The preview window.
#include "dialog/preview_window.h"

#include "app/window_lookup.h"
#include "dialog/method_types.h"
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
#include "toolkit/windows.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr SInt32 kPreviewWindowID = 3;
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
  BZ_PreviewData *preview = BZ_GetPreviewDataPtr();
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
  BZ_PreviewData *preview = BZ_GetPreviewDataPtr();
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

// ---- Closing ----

OSStatus BZ_ClosePreview(WindowRef window) {
  if (window == nullptr) return noErr;
  Point location{}, size{};
  if (GL_SaveWindowPosition(window, &location) == noErr) gBZ.savedWindowLoc[kPreviewWindowID] = location;
  if (GL_GetWindowPortSize(window, &size) == noErr) gBZ.previewSize = size;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  Boolean actuallyStopping = false;
  if (OSStatus err = BZ_StopMovieAnalysis(host->getDialogStatePtr(host->refCon), &actuallyStopping, true);
      err != noErr)
    host->showError(host->refCon, err);
  DisposeWindow(window);
  return noErr;
}

OSStatus BZ_ShowPreview(WindowRef) { return noErr; }

OSStatus BZ_ForcePreviewUpdate(Boolean) { return noErr; }
