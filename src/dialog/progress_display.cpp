// The progress display of the project dialog. Main thread: everything but the provider callbacks (which run
// where an image is made) and the frame hand-over's task side (engine/runtime/progress_frames.cpp).
#include "dialog/progress_display.h"

#include "app/window_lookup.h"
#include "dialog/project_dialog.h"
#include "engine/compress_stage.h"
#include "engine/runtime/dialog_items.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/stage_access.h"
#include "general/geometry.h"
#include "general/quartz_pictures.h"
#include "movie/image_descriptions.h"
#include "movie/pictures.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/matrix_math.h"
#include "platform/core/memory.h"
#include "platform/core/multiprocessing.h"
#include "platform/movie/decompression.h"
#include "platform/ui/application.h"
#include "platform/ui/images_quartz.h"
#include "platform/ui/text_measuring_port.h"
#include "platform/ui/view_draw_events.h"
#include "platform/ui/window_manager.h"
#include "toolkit/dialog_items.h"
#include "toolkit/progress_record.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

constexpr SInt32 kDockTileSize = 128;
constexpr SInt32 kOutputTab = 3;

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

PL_CFScoped<CFStringRef> Localized(CFStringRef key) {
  return PL_CFScoped<CFStringRef>(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr));
}

GL_ProviderInfo *InfoOf(void *info) { return static_cast<GL_ProviderInfo *>(info); }

size_t BytesLeft(const GL_ProviderInfo *p) {
  const SInt64 total = SInt64(p->height) * SInt64(p->rowBytes);
  return p->mark >= 0 && p->mark < total ? size_t(total - p->mark) : 0;
}

// The odd left crop edge of a masked-off crop is moved one pixel left; the frame then starts one pixel early.
bool OddLeftCropShift(const BZ_ProjPtr project) {
  const BZ_InputSett &input = project->info.settings.input;
  return project->state.exec == kBZ_ProjStateExecuting && input.cropping && !input.maskBlackBars &&
         (input.cropRect.left & 1) != 0;
}

OSStatus ViewRect(WindowRef window, Rect *rect) {
  ControlRef view = nullptr;
  const HIViewID id = Item(kBZ_ProgressImageItem);
  OSStatus err = GetControlByID(window, &id, &view);
  HIRect bounds{};
  if (err == noErr) err = HIViewGetBounds(view, &bounds);
  if (err != noErr) return err;
  *rect = Rect{0, 0, SInt16(bounds.size.height), SInt16(bounds.size.width)};
  // A pane never shown may not have been laid out: the view's least size then.
  if (EmptyRect(rect)) *rect = Rect{0, 0, 60, 80};
  return noErr;
}

// The title line is fitted by measuring in the current port; windows here have no port of their own, and
// none may be current on the timer's tick: the desktop's fonts measure the texts then.
GrafPtr MeasuringPort(WindowRef window) {
  if (CGrafPtr own = GetWindowPort(window)) return own;
  return PL_GetTextMeasuringPort();
}

void ReleaseStage(BZ_ProjPtr project) {
  BZ_BuffInfo *display = BZ_GetDisplayBuffer(project);
  if (display != nullptr && display->event != nullptr) MPSetEvent(display->event, kBZ_DisplayDecompressDoneFlag);
}

}  // namespace

// ---- Provider callbacks ----

size_t BZ_GetBytes(void *info, void *buffer, size_t count) {
  GL_ProviderInfo *p = InfoOf(info);
  if (p == nullptr || buffer == nullptr || p->ptr == nullptr || p->rowBytes <= 0 || p->height <= 0) return 0;
  count = std::min(count, BytesLeft(p));
  auto *out = static_cast<UInt8 *>(buffer);
  size_t pos = size_t(p->mark), left = count;
  while (left > 0) {
    const size_t row = size_t(p->height) - 1 - pos / size_t(p->rowBytes);
    const size_t column = pos % size_t(p->rowBytes);
    const size_t n = std::min(left, size_t(p->rowBytes) - column);
    std::memcpy(out, p->ptr + row * size_t(p->rowBytes) + column, n);
    out += n;
    pos += n;
    left -= n;
  }
  p->mark += SInt32(count);
  return count;
}

size_t BZ_GetCGBytes(void *info, void *buffer, size_t count) {
  GL_ProviderInfo *p = InfoOf(info);
  if (p == nullptr || buffer == nullptr || p->ptr == nullptr) return 0;
  count = std::min(count, BytesLeft(p));
  if (count > 0) std::memcpy(buffer, p->ptr + p->mark, count);
  p->mark += SInt32(count);
  return count;
}

void BZ_SkipBytes(void *info, size_t count) {
  if (GL_ProviderInfo *p = InfoOf(info)) p->mark += SInt32(count);
}

void BZ_Rewind(void *info) {
  if (GL_ProviderInfo *p = InfoOf(info)) p->mark = p->offsetV * p->rowBytes + p->offsetH * 4;
}

// ---- Images ----

void BZ_SetProgressImageAlpha(UPtr buffer, SInt32 height, SInt32 width, SInt32 value) {
  if (buffer == nullptr || height <= 0 || width <= 0) return;
  const size_t pixels = size_t(height) * size_t(width);
  for (size_t i = 0; i < pixels; ++i) buffer[i * 4] = UInt8(value);
}

OSStatus BZ_CreateSmallCGImage(GL_ProgrData *progrData, SInt32 height, SInt32 width) {
  if (progrData == nullptr || progrData->smallImageBuffer == nullptr || progrData->genericRGB == nullptr ||
      height <= 0 || width <= 0)
    return paramErr;
  GL_ProgrData &p = *progrData;
  if (p.cgImageRef != nullptr) {
    CGImageRelease(p.cgImageRef);
    p.cgImageRef = nullptr;
    // The provider reads the buffer it was made for: an image of another size would read past it.
    if (p.providerInfo.height != height || p.providerInfo.width != width) return paramErr;
  } else {
    if (p.dataProvider != nullptr) CGDataProviderRelease(p.dataProvider);
    p.providerInfo = GL_ProviderInfo{p.smallImageBuffer, height, width, width * 4, 4, 0, 0, 0, nullptr};
    static const CGDataProviderCallbacks callbacks{BZ_GetBytes, BZ_SkipBytes, BZ_Rewind, nullptr};
    p.dataProvider = CGDataProviderCreate(&p.providerInfo, &callbacks);
    if (p.dataProvider == nullptr) return memFullErr;
  }
  p.cgImageRef = CGImageCreate(size_t(width), size_t(height), 8, 32, size_t(width) * 4, p.genericRGB, kCGImageAlphaFirst,
                               p.dataProvider, nullptr, false, kCGRenderingIntentDefault);
  return p.cgImageRef != nullptr ? OSStatus(noErr) : OSStatus(memFullErr);
}

OSStatus BZ_WriteMaskedRandomGrayCGImage(GL_ProgrData *progrData) {
  if (progrData == nullptr || progrData->iconOverlayMask == nullptr || progrData->iconOverlayBuffer == nullptr)
    return paramErr;
  CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  CGContextRef scratch = CGBitmapContextCreate(nullptr, kDockTileSize, kDockTileSize, 8, 0, space,
                                               kCGImageAlphaPremultipliedFirst);
  CGColorSpaceRelease(space);
  if (scratch == nullptr) return memFullErr;
  CGContextDrawImage(scratch, CGRectMake(0, 0, kDockTileSize, kDockTileSize), progrData->iconOverlayMask);
  const auto *mask = static_cast<const UInt8 *>(CGBitmapContextGetData(scratch));
  const size_t maskRowBytes = CGBitmapContextGetBytesPerRow(scratch);
  // A generator of its own, seeded alike each time: the pattern never changes and no other task's sequence
  // is disturbed.
  std::minstd_rand random(1);
  UPtr out = progrData->iconOverlayBuffer;
  for (SInt32 y = 0; y < kDockTileSize; ++y) {
    const UInt8 *row = mask + size_t(y) * maskRowBytes;
    for (SInt32 x = 0; x < kDockTileSize; ++x) {
      const UInt8 grey = row[x * 4 + 1];  // the red sample of a grey picture
      *out++ = grey == 0 ? UInt8(60 + (SInt64(random()) * 40) / 2147483647) : UInt8(59);
    }
  }
  CGContextRelease(scratch);
  return noErr;
}

OSStatus BZ_CreateRandomGrayCGImage(GL_ProgrData *progrData) {
  if (progrData == nullptr) return paramErr;
  GL_ProgrData &p = *progrData;
  if (p.iconOverlay != nullptr) {
    CGImageRelease(p.iconOverlay);
    p.iconOverlay = nullptr;
  } else if (p.iconOverlayBuffer == nullptr) {
    p.iconOverlayBuffer = reinterpret_cast<UPtr>(NewPtrClear(kDockTileSize * kDockTileSize));
    if (p.iconOverlayBuffer == nullptr) return memFullErr;
    if (OSStatus err = BZ_WriteMaskedRandomGrayCGImage(progrData); err != noErr) return err;
  }
  p.iconOverlayProvider = GL_ProviderInfo{p.iconOverlayBuffer, kDockTileSize, kDockTileSize, kDockTileSize, 1, 0, 0, 0, nullptr};
  static const CGDataProviderCallbacks callbacks{BZ_GetCGBytes, BZ_SkipBytes, BZ_Rewind, nullptr};
  CGDataProviderRef provider = CGDataProviderCreate(&p.iconOverlayProvider, &callbacks);
  CGColorSpaceRef grey = CGColorSpaceCreateWithName(kCGColorSpaceGenericGray);
  if (provider != nullptr && grey != nullptr)
    p.iconOverlay = CGImageCreate(kDockTileSize, kDockTileSize, 8, 8, kDockTileSize, grey, kCGImageAlphaNone, provider,
                                  nullptr, false, kCGRenderingIntentDefault);
  CGColorSpaceRelease(grey);
  CGDataProviderRelease(provider);
  return p.iconOverlay != nullptr ? OSStatus(noErr) : OSStatus(memFullErr);
}

size_t BZ_GetIndexForPixelSize(CGImageSourceRef source, size_t width, size_t height) {
  const size_t count = CGImageSourceGetCount(source);
  for (size_t i = 0; i < count; ++i) {
    size_t w = 0, h = 0;
    if (PL_CGImageSourceGetPixelSizeAtIndex(source, i, &w, &h) == noErr && w == width && h == height) return i;
  }
  return size_t(-1);
}

namespace {

// dockTileImage made afresh over the bitmap's pixels (images here copy their pixels when they are made).
OSStatus MakeDockTileImage(GL_ProgrData &p) {
  if (p.dockTileImage != nullptr) CGImageRelease(p.dockTileImage);
  p.dockTileImage = CGImageCreate(kDockTileSize, kDockTileSize, 8, 32, kDockTileSize * 4, p.genericRGB,
                                  kCGImageAlphaPremultipliedFirst, p.dockTileImageDataProvider, nullptr, false,
                                  kCGRenderingIntentDefault);
  return p.dockTileImage != nullptr ? OSStatus(noErr) : OSStatus(memFullErr);
}

}  // namespace

OSStatus BZ_CreateDockTileCGImage(GL_ProgrData *progrData) {
  if (progrData == nullptr || progrData->genericRGB == nullptr) return paramErr;
  GL_ProgrData &p = *progrData;
  if (p.dockTileImage != nullptr) {
    CGImageRelease(p.dockTileImage);
    p.dockTileImage = nullptr;
  }
  if (p.dockTileImageBuffer == nullptr) {
    // The bitmap draws into this buffer: an old one over a buffer since freed must not live on.
    if (p.dockTileImageBitMap != nullptr) {
      CGContextRelease(p.dockTileImageBitMap);
      p.dockTileImageBitMap = nullptr;
    }
    p.dockTileImageBuffer = reinterpret_cast<UPtr>(NewPtrClear(kDockTileSize * kDockTileSize * 4));
    if (p.dockTileImageBuffer == nullptr) return memFullErr;
    p.dockTileImageBitMap = CGBitmapContextCreate(p.dockTileImageBuffer, kDockTileSize, kDockTileSize, 8,
                                                  kDockTileSize * 4, p.genericRGB, kCGImageAlphaPremultipliedFirst);
    p.dockTileImageProvider =
        GL_ProviderInfo{p.dockTileImageBuffer, kDockTileSize, kDockTileSize, kDockTileSize * 4, 4, 0, 0, 0, nullptr};
    static const CGDataProviderCallbacks callbacks{BZ_GetCGBytes, BZ_SkipBytes, BZ_Rewind, nullptr};
    if (p.dockTileImageDataProvider != nullptr) CGDataProviderRelease(p.dockTileImageDataProvider);
    p.dockTileImageDataProvider = CGDataProviderCreate(&p.dockTileImageProvider, &callbacks);
    if (p.dockTileImageBitMap == nullptr || p.dockTileImageDataProvider == nullptr) return memFullErr;
  }
  PL_CFScoped<CFURLRef> url{
      CFBundleCopyResourceURL(CFBundleGetMainBundle(), CFSTR("KBZ Icon family 3.icns"), nullptr, nullptr)};
  if (url.get() == nullptr) return fnfErr;
  CGImageSourceRef source = CGImageSourceCreateWithURL(url.get(), nullptr);
  if (source == nullptr) return fnfErr;
  size_t index = BZ_GetIndexForPixelSize(source, kDockTileSize, kDockTileSize);
  if (index == size_t(-1)) index = 0;  // drawn at the tile's size all the same
  CGImageRef icon = CGImageSourceCreateImageAtIndex(source, index, nullptr);
  CFRelease(source);
  if (icon == nullptr) return fnfErr;
  std::memset(p.dockTileImageBuffer, 0, kDockTileSize * kDockTileSize * 4);
  CGContextDrawImage(p.dockTileImageBitMap, CGRectMake(0, 0, kDockTileSize, kDockTileSize), icon);
  CGImageRelease(icon);
  return MakeDockTileImage(p);
}

// ---- The display ----

OSStatus BZ_GetMediaSourceRectAndTargetMovieRect(BZ_ProjInfo *projInfo, Rect *fromRect, Rect *toRect) {
  if (projInfo == nullptr || fromRect == nullptr || toRect == nullptr) return paramErr;
  const BZ_StatMovInfo &movie = projInfo->statMovInfo[0];
  const BZ_InputSett &input = projInfo->settings.input;
  Rect crop{0, 0, SInt16(movie.height), SInt16(movie.width)};
  if (input.cropping) GL_InsetRectByRect(&crop, &input.cropRect);
  // The shown part: the crop area within the movie's clip, when it has one.
  Rect shown = crop;
  if (movie.movieClip != nullptr) {
    Rect clip{};
    GetRegionBounds(movie.movieClip, &clip);
    MatrixRecord inverse{};
    if (movie.numVisualTracks == 1 && InverseMatrix(&movie.trackMatrix, &inverse)) TransformRect(&inverse, &clip, nullptr);
    if (!EmptyRect(&clip)) SectRect(&shown, &clip, &shown);
  }
  if (movie.numVisualTracks == 1 && movie.trackClip != nullptr) {
    Rect clip{};
    GetRegionBounds(movie.trackClip, &clip);
    if (!EmptyRect(&clip)) SectRect(&shown, &clip, &shown);
  }
  *fromRect = shown;
  Rect target = shown;
  TransformRect(&movie.trackMatrix, &target, nullptr);
  TransformRect(&movie.movieMatrix, &target, nullptr);
  *toRect = target;
  return noErr;
}

OSStatus BZ_BeginProgressDecompressSequence(WindowRef window, BZ_ProjPtr project) {
  if (window == nullptr || project == nullptr) return paramErr;
  GL_ProgrData &p = project->progress;
  // The display is not built yet: its build begins the sequence.
  if (p.smallImage == nullptr) return noErr;
  const BZ_StatMovInfo &movie = project->info.statMovInfo[0];
  const Boolean interlaced = project->info.settings.input.interlaced;
  const SInt16 fields = interlaced ? 2 : 1;
  SInt32 bufferHeight = 0, bufferWidth = 0;
  SInt64 bufferSize = 0;
  OSStatus err = BZ_GetBufferSize(movie.height, movie.width, interlaced, &bufferHeight, &bufferWidth, &bufferSize);
  if (err != noErr) return err;
  std::printf("KBZ: QT_MakeImageDescription\n");
  ImageDescriptionHandle desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
  if (desc == nullptr) return memFullErr;
  SCSpatialSettings spatial{'2vuy', anyCodec, 0, codecLosslessQuality};
  err = QT_MakeImageDescription(SInt16(bufferWidth), SInt16(bufferHeight), &spatial, SInt32(bufferSize), desc);
  Rect viewRect{}, srcRect{}, displayRect{}, letterbox{};
  if (err == noErr) err = ViewRect(window, &viewRect);
  if (err == noErr) err = BZ_GetMediaSourceRectAndTargetMovieRect(&project->info, &srcRect, &displayRect);
  if (err == noErr) {
    GL_GetScaledPictureLetterbox(displayRect.right - displayRect.left, displayRect.bottom - displayRect.top, &viewRect,
                                 &letterbox);
    if (OddLeftCropShift(project)) OffsetRect(&srcRect, -1, 0);
    // The working frame's padding.
    OffsetRect(&srcRect, 8, SInt16(8 * fields));
    MatrixRecord matrix{};
    RectMatrix(&matrix, &srcRect, &letterbox);
    GL_DiffRect(&viewRect, &letterbox, &p.sideBars);
    if (p.seqID != 0) {
      std::printf("KBZ: CDSequenceEnd\n");
      err = CDSequenceEnd(p.seqID);
      p.seqID = 0;
    }
    if (err == noErr) {
      std::printf("KBZ: DecompressSequenceBeginS\n");
      err = DecompressSequenceBeginS(&p.seqID, desc, nullptr, 0, reinterpret_cast<CGrafPtr>(p.smallImage), nullptr,
                                     &srcRect, &matrix, srcCopy, nullptr, 0, codecNormalQuality, anyCodec);
    }
  }
  DisposeHandle(reinterpret_cast<Handle>(desc));
  std::printf("KBZ: BZ_BeginProgressDecompressSequence exiting\n");
  return err;
}

OSStatus BZ_InitProgressDisplay(Boolean triggerProgress) {
  BZ_ProjPtr project = gBZ.project;
  WindowRef window = BZ_GetProjDlgWindow();
  if (project == nullptr || window == nullptr) return paramErr;
  GL_ProgrData &p = project->progress;
  OSStatus err = noErr;
  if (p.smallImage != nullptr && (err = GL_DisposeProgressData(&p, false)) != noErr) return err;
  if (p.showSemaphore == nullptr && (err = MPCreateSemaphore(1, 1, &p.showSemaphore)) != noErr) return err;
  Rect viewRect{};
  if ((err = ViewRect(window, &viewRect)) != noErr) return err;
  const SInt32 height = viewRect.bottom, width = viewRect.right;
  p.genericRGB = CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
  p.smallImageBuffer = reinterpret_cast<UPtr>(NewPtrClear(size_t(height) * size_t(width) * 4));
  if (p.genericRGB == nullptr || p.smallImageBuffer == nullptr) return memFullErr;
  if ((err = QTNewGWorldFromPtr(&p.smallImage, k32ARGBPixelFormat, &viewRect, nullptr, nullptr, 8, p.smallImageBuffer,
                                width * 4)) != noErr)
    return err;
  std::printf("KBZ: BZ_BeginProgressDecompressSequence\n");
  if ((err = BZ_BeginProgressDecompressSequence(window, project)) != noErr) return err;
  if ((err = BZ_CreateSmallCGImage(&p, height, width)) != noErr) return err;
  std::printf("KBZ: CFBundleCopyResourceURL\n");
  PL_CFScoped<CFURLRef> maskURL{
      CFBundleCopyResourceURL(CFBundleGetMainBundle(), CFSTR("Dock tile mask.png"), nullptr, nullptr)};
  if (maskURL.get() == nullptr) return fnfErr;
  std::printf("KBZ: QT_GetCGImageFromURL\n");
  if (p.iconOverlayMask == nullptr && (err = QT_GetCGImageFromURL(maskURL.get(), &p.iconOverlayMask)) != noErr) return err;
  if ((err = BZ_CreateRandomGrayCGImage(&p)) != noErr) return err;
  BZ_CreateDockTileCGImage(&p);  // without the icon the tile is only not shown
  std::printf("KBZ: GL_SetProgressIndicatorStateByID\n");
  if ((err = GL_SetProgressIndicatorStateByID(window, Item(kBZ_ProgressBarItem), true)) != noErr) return err;
  if (triggerProgress) p.shown = true;
  std::printf("KBZ: BZ_InitProgressDisplay exiting\n");
  return noErr;
}

OSStatus BZ_ReinitProgress(BZ_ProjPtr project) {
  if (project == nullptr) return paramErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  WindowRef dialog = host->getProjDlgWindow(host->refCon);
  if (dialog == nullptr) return noErr;
  GL_ProgrData &progress = project->progress;
  progress.compStartupDate = gBZ.compStartupDate;
  progress.savedEndTime = 0;
  progress.prevTime = 0;
  progress.savedCount = 0;
  progress.savedCountForRate = 0;
  progress.count = 0;
  progress.savedPercWorkDone = 0;
  progress.percWorkDoneAtPrevTime = 0;
  // A project being set up is not executing yet, and the selected samples would be an analysis's few:
  // a project's parts are the movie's frames.
  const BZ_ExecuteState exec = project->state.exec;
  progress.numParts = exec == kBZ_ProjStateBeingOpened || exec == kBZ_ProjStateExecuting
                          ? BZ_GetNumFramesInMovie(project->info.statMovInfo)
                          : BZ_GetNumSelectedMovieSamples();
  progress.window = dialog;
  progress.standAloneWindow = false;
  progress.progrBarID = Item(kBZ_ProgressBarItem);
  progress.progrBarTitleID = Item(kBZ_ProgressStateTextItem);
  progress.rateID = Item(kBZ_ProgressRateTextItem);
  progress.shown = true;  // the first frame may be shown once the timer has run

  BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
  if (dlgState == nullptr) return noErr;
  const BZ_InputSett &input = project->info.settings.input;
  const bool outOfDate = input.cropping != dlgState->savedCropping ||
                         (input.cropping && !EqualRect(&input.cropRect, &dlgState->savedCropRect)) ||
                         input.interlaced != dlgState->savedInterlaced || progress.smallImage == nullptr;
  if (!outOfDate) return noErr;
  const OSStatus err = BZ_InitProgressDisplay(false);
  dlgState->savedCropping = input.cropping;
  dlgState->savedCropRect = input.cropRect;
  dlgState->savedInterlaced = input.interlaced;
  return err;
}

OSStatus BZ_InstallProgressFrameHandler(WindowRef window) {
  if (window == nullptr || gBZ.dlgData == nullptr) return paramErr;
  OSStatus err = PL_EnableViewDrawEvents(window, Item(kBZ_ProgressImageItem));
  ControlRef view = nullptr;
  const HIViewID id = Item(kBZ_ProgressImageItem);
  if (err == noErr) err = GetControlByID(window, &id, &view);
  if (err != noErr) return err;
  if (gBZ.dlgData->progrEvHandler != nullptr) return noErr;
  static const EventTypeSpec drawEvent{kEventClassControl, kPL_EventControlDraw};
  return InstallEventHandler(GetControlEventTarget(view), BZ_ProgressFrameEventHandler, 1, &drawEvent, gBZ.project,
                             &gBZ.dlgData->progrEvHandler);
}

OSStatus BZ_ProgressFrameEventHandler(EventHandlerCallRef, EventRef event, void *userData) {
  auto *project = static_cast<BZ_ProjPtr>(userData);
  if (project == nullptr) return eventNotHandledErr;
  GL_ProgrData &p = project->progress;
  OSStatus result = eventNotHandledErr;
  const BZ_ExecuteState exec = project->state.exec;
  const bool running = exec >= 1 && exec <= kBZ_ProjStateExecuting;
  bool skipped = false;
  if (running && p.ptr.load() != nullptr && p.smallImageBuffer != nullptr) {
    ControlRef view = nullptr;
    CGContextRef context = nullptr;
    OSStatus err = GetEventParameter(event, kEventParamDirectObject, kPL_TypeControlRef, nullptr, sizeof view, nullptr, &view);
    if (err == noErr)
      err = GetEventParameter(event, kPL_EventParamCGContextRef, kPL_TypeCGContextRef, nullptr, sizeof context, nullptr,
                              &context);
    if (err != noErr) BZ_KeepFirstError(project, err);
    if (project->state.error != noErr) {
      skipped = true;
    } else {
      HIRect bounds{};
      HIViewGetBounds(view, &bounds);
      WindowRef window = GetControlOwner(view);
      const bool inFront = gBZ.switchedIn && FrontNonFloatingWindow() == window;
      BZ_SetProgressImageAlpha(p.smallImageBuffer, p.providerInfo.height, p.providerInfo.width, inFront ? 255 : 128);
      // The image keeps the buffer's size and is scaled into the view, should the view have been resized.
      err = BZ_CreateSmallCGImage(&p, p.providerInfo.height, p.providerInfo.width);
      if (err == noErr) CGContextDrawImage(context, CGRectMake(0, 0, bounds.size.width, bounds.size.height), p.cgImageRef);
      HIRect windowBounds{};
      if (err == noErr) err = GL_GetWindowContentBounds(window, &windowBounds);
      if (err == noErr) {
        HIRect viewInWindow{};
        err = GL_GetHIViewBoundsInWindowContentByID(window, Item(kBZ_ProgressImageItem), &viewInWindow);
        windowBounds.origin.x = -viewInWindow.origin.x;
        windowBounds.origin.y = -viewInWindow.origin.y;
      }
      if (err == noErr) err = GL_FrameRectInMetal(context, &windowBounds, &bounds, &p.sideBars);
      if (err == noErr) err = GL_DarkenSubFrame(context, &bounds, &p.sideBars, 0.03f);
      if (err != noErr) {
        BZ_KeepFirstError(project, err);
        skipped = true;
      } else {
        result = noErr;
      }
    }
  }
  if (exec == kBZ_ProjStateExecuting && !skipped && p.iconOverlay != nullptr && p.dockTileImageBitMap != nullptr) {
    const CGFloat range[2] = {58, CGFloat(60 + 40 * p.percWorkDone.load())};
    CGImageRef masked = CGImageCreateWithMaskingColors(p.iconOverlay, range);
    OSStatus err = masked != nullptr ? BZ_CreateDockTileCGImage(&p) : OSStatus(memFullErr);
    if (err == noErr) {
      CGContextDrawImage(p.dockTileImageBitMap, CGRectMake(0, 0, kDockTileSize, kDockTileSize), masked);
      err = MakeDockTileImage(p);
    }
    if (err == noErr) err = SetApplicationDockTileImage(p.dockTileImage);
    CGImageRelease(masked);
    if (err != noErr) BZ_KeepFirstError(project, err);
  }
  p.shown = true;
  if (project->state.error != noErr)
    std::printf("KBZ: BZ_ProgressFrameEventHandler: error = %ld\n", long(project->state.error.load()));
  return result;
}

OSStatus BZ_UpdateProgressBar() {
  BZ_ProjPtr project = gBZ.project;
  WindowRef window = BZ_GetProjDlgWindow();
  if (project == nullptr || window == nullptr) return noErr;
  GL_ProgrData &p = project->progress;
  const SInt32 finished = project->dynIO_Info.outputInfo[0].numFrames;
  p.percWorkDone = p.numParts > 0 ? float(finished) / float(p.numParts) : 0.0f;
  p.count = finished;
  Boolean determinate = false;
  CFAbsoluteTime now = 0, endTime = 0;
  OSStatus err = GL_GetProgressIndicatorStateByID(window, Item(kBZ_ProgressBarItem), &determinate);
  if (err == noErr) err = GL_UpdateProgressBarValue(&p);
  if (err == noErr) err = GL_SetNeedsDisplayByID(window, Item(kBZ_ProgressBarItem), true);
  if (err == noErr) {
    GrafPtr savedPort = nullptr;
    GetPort(&savedPort);
    SetPort(MeasuringPort(window));
    err = GL_UpdateProgressBarTitle(&p, Localized(CFSTR("BZ Frames finished")).get(), determinate, &now, &endTime);
    SetPort(savedPort);
  }
  if (err == noErr) UpdateControls(window, nullptr);
  if (err == noErr) {
    ControlRef rate = nullptr;
    const HIViewID rateID = Item(kBZ_ProgressRateTextItem);
    err = GetControlByID(window, &rateID, &rate);
  }
  if (err == noErr) err = GL_UpdateProgressRate(&p, now, finished, project->info.statMovInfo[0].numFrames, false);
  if (err == noErr) {
    Boolean drawn = true;
    if (p.shown.compare_exchange_strong(drawn, false)) p.show = true;
    GL_UpdateProgressData(&p, now, endTime);
  }
  if (err != noErr) std::printf("KBZ: BZ_UpdateProgressBar: error = %ld\n", long(err));
  return err;
}

OSStatus BZ_StartCancelProject(WindowRef) {
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr) return noErr;
  if (project->dynIO_Info.exportingVideo) {
    project->state.error = userCanceledErr;
    return noErr;
  }
  return MPNotifyQueue(gBZ.mainTaskData.inputQueue, reinterpret_cast<void *>(intptr_t(kBZ_MainThreadTaskType)), project,
                       reinterpret_cast<void *>(intptr_t(kBZ_CancelProjectMessage)));
}

void BZ_HandleShowProgressFrame(BZ_ProjPtr project) {
  if (project == nullptr) return;
  GL_ProgrData &p = project->progress;
  WindowRef window = BZ_GetProjDlgWindow();
  SInt32 mainTab = 0;
  const bool shown = window != nullptr && IsWindowVisible(window) &&
                     GL_GetDialogItemValueByID(window, Item(kBZ_MainTabItem), &mainTab) == noErr &&
                     mainTab == kOutputTab && p.seqID != 0 && p.ptr.load() != nullptr;
  if (!shown) {
    // Not on show: the stage goes on at once and the next tick may take another frame.
    ReleaseStage(project);
    p.shown = true;
    return;
  }
  BZ_CompressData request{};
  request.project = project;
  request.seqID = p.seqID;
  request.inBuffer = p.ptr.load() + (OddLeftCropShift(project) ? 2 : 0);
  request.dataSize = p.size.load();
  request.completionProcRecord.completionProc = BZ_DecompressCompletionProc;
  if (OSStatus err = BZ_SendDecompressEvent(&request); err != noErr) {
    BZ_KeepFirstError(project, err);
    ReleaseStage(project);
    p.shown = true;
  }
}
