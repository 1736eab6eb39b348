// Speck editing in the preview: filling kept specks, colouring the difference picture, speck-list queries,
// scratch masks and edge medians.
#include "outliers/speck_editing.h"

#include "engine/runtime/project_types.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "general/geometry.h"
#include "general/sort_search.h"
#include "color/argb_conversions.h"
#include "engine/runtime/engine_host.h"
#include "engine/tasks/pipeline_types.h"
#include "outliers/speck_replacement.h"
#include "platform/core/event_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

struct Rgb {
  UInt8 r, g, b;
};

// The bright and the dark colour of a colour code.
void ColorsOfCode(SInt32 color, Rgb *bright, Rgb *dark) {
  switch (color) {
    case kBZ_OuColorNotRemoved:
      *bright = {255, 0, 0};
      *dark = {180, 0, 0};
      break;
    case kBZ_OuColorScratch:
      *bright = {140, 140, 255};
      *dark = {0, 0, 255};
      break;
    case kBZ_OuColorUserSpeck:
      *bright = {0, 200, 0};
      *dark = {0, 100, 0};
      break;
    default:
      *bright = {200, 200, 200};
      *dark = {0, 0, 0};
      break;
  }
}

// The grey of the difference picture for the internal gamma.
SInt32 DiffGrey(float internalGamma) {
  const double g = std::pow(0.5, 2.2 / double(internalGamma));
  return SInt32(std::trunc(16.0 + std::trunc(0.5 + g * 256.0) * 219.0 / 255.0));
}

// What the preview routines need, or paramErr.
struct PreviewContext {
  BZ_PreviewData *preview;
  BZ_OuPreviewData *ou;
  BZ_OuParams params;
  size_t bufferSize;
};

OSStatus GetPreviewContext(PreviewContext *ctx) {
  ctx->preview = BZ_GetPreviewDataPtr();
  ctx->ou = ctx->preview != nullptr ? ctx->preview->ouPreviewData : nullptr;
  if (ctx->ou == nullptr) return paramErr;
  OSStatus err = BZ_OuMakeParamsFromProject(gBZ.project, &ctx->params);
  if (err != noErr) return err;
  const SInt32 k = ctx->params.sett->numConstPix;
  if (k < 1 || k > (kBZ_OuNumWindowSlots - 1) / 4) return paramErr;  // no overflow for any k
  SInt64 size = 0;
  SInt32 height = 0, width = 0;
  err = BZ_GetBufferSize(ctx->params.inHeight, ctx->params.inWidth, ctx->params.interlaced, &height, &width, &size);
  ctx->bufferSize = size_t(size);
  return err;
}

}  // namespace

void BZ_OuGetPreviewWindow(const BZ_OuPreviewData *ouPreviewData, SInt32 numConstPix,
                           UInt8 *window[kBZ_OuNumWindowSlots]) {
  for (SInt32 i = 0; i < kBZ_OuNumWindowSlots; ++i) window[i] = nullptr;
  if (ouPreviewData == nullptr || numConstPix < 1 || numConstPix > (kBZ_OuNumWindowSlots - 1) / 4) return;
  for (SInt32 i = 0; i <= 2 * numConstPix; ++i) window[numConstPix + i] = ouPreviewData->inBuffers[i];
}

OSStatus BZ_OuApplyNonRemovedSpecks() {
  PreviewContext ctx{};
  if (OSStatus err = GetPreviewContext(&ctx); err != noErr) return err;
  const SInt32 k = ctx.params.sett->numConstPix;
  UInt8 *window[kBZ_OuNumWindowSlots];
  BZ_OuGetPreviewWindow(ctx.ou, k, window);
  if (ctx.ou->outBuffer2vuy == nullptr || window[2 * k] == nullptr) return paramErr;
  BZ_OuDlgTaskData *ouDlg = gBZ.dlgTaskData.ouDlgTaskData;
  const UInt16 *data = ouDlg != nullptr ? ouDlg->ouData[2 * k] : nullptr;
  for (BZ_OuSpeckLE *s = ctx.ou->speckList; s != nullptr; s = s->next) {
    if (s->speck.remove) continue;
    if (s->speck.interpolateSpatially)
      BZ_OuInterpolateSpeckSpatially(&ctx.params, &s->speck, window[2 * k], ctx.ou->outBuffer2vuy);
    else
      BZ_OuInterpolateSpeckTemporally(&ctx.params, ctx.ou->avPixelDiff, window, ctx.ou->outBuffer2vuy, data, ctx.ou->mv,
                                      &s->speck);
  }
  return noErr;
}

void BZ_OuColorSpeckDiffs(const BZ_OuSpeck *speck, float internalGamma, SInt32 color, const UInt8 *diffBuffer,
                          UInt8 *diffBufferRGB) {
  if (speck == nullptr || speck->rgn.pixels == nullptr || diffBuffer == nullptr || diffBufferRGB == nullptr) return;
  Rgb bright{}, dark{};
  ColorsOfCode(color, &bright, &dark);
  const SInt32 grey = DiffGrey(internalGamma);
  for (SInt32 i = 0; i < speck->rgn.numPixels; ++i) {
    const SInt32 p = speck->rgn.pixels[i];
    const Rgb &c = SInt32(diffBuffer[2 * p + 1]) > grey ? bright : dark;
    UInt8 *argb = diffBufferRGB + 4 * size_t(p);
    argb[1] = c.r;
    argb[2] = c.g;
    argb[3] = c.b;
  }
}

void BZ_OuAddYellowEdgeToSpeckDiff(const BZ_OuSpeck *speck, UInt8 *diffBufferRGB) {
  if (speck == nullptr || speck->rgn.pixels == nullptr || diffBufferRGB == nullptr) return;
  const SInt32 *ring = speck->rgn.pixels + speck->rgn.numPixels;
  for (SInt32 i = 0; i < speck->rgn.edgeSize1; ++i) {
    UInt8 *argb = diffBufferRGB + 4 * size_t(ring[i]);
    argb[1] = 200;
    argb[2] = 200;
    argb[3] = 0;
  }
}

OSStatus BZ_OuColorSpecksDiffs() {
  PreviewContext ctx{};
  if (OSStatus err = GetPreviewContext(&ctx); err != noErr) return err;
  if (ctx.preview->buffersRGB == nullptr || ctx.ou->diffBuffer2vuy == nullptr) return paramErr;
  float internalGamma = 0.0f;
  if (OSStatus err = BZ_GetInternalGamma(gBZ.project, nullptr, &internalGamma, nullptr, nullptr); err != noErr)
    return err;
  UInt8 *diffBufferRGB = ctx.preview->buffersRGB + 4 * ctx.bufferSize;
  for (BZ_OuSpeckLE *s = ctx.ou->speckList; s != nullptr; s = s->next) {
    const BZ_OuSpeck &speck = s->speck;
    const SInt32 color = !speck.remove         ? kBZ_OuColorNotRemoved
                         : speck.scratch       ? kBZ_OuColorScratch
                         : speck.createdByUser ? kBZ_OuColorUserSpeck
                                               : kBZ_OuColorAutoSpeck;
    BZ_OuColorSpeckDiffs(&speck, internalGamma, color, ctx.ou->diffBuffer2vuy, diffBufferRGB);
    if (speck.remove && speck.interpolateSpatially) BZ_OuAddYellowEdgeToSpeckDiff(&speck, diffBufferRGB);
  }
  return noErr;
}

// ---- Speck-list queries ----

Boolean BZ_OuSpeckOverlapsAnySpeck(BZ_OuSpeckLE *speckList, const BZ_OuSpeckLE *speckLE) {
  if (speckLE == nullptr) return false;
  for (BZ_OuSpeckLE *s = speckList; s != nullptr; s = s->next)
    if (s != speckLE && RG_RegionsOverlap(&s->speck.rgn, &speckLE->speck.rgn)) return true;
  return false;
}

LL_PtrLE *BZ_OuFindPtInSpeckList(SInt32 width, BZ_OuSpeckLE *speckList, Point paddedPt) {
  for (BZ_OuSpeckLE *s = speckList; s != nullptr; s = s->next)
    if (RG_PtInRegion(width, paddedPt, &s->speck.rgn)) {
      LL_PtrLE *found = nullptr, *element = nullptr;
      if (LL_AddNewPtr(sizeof(LL_PtrLE), nullptr, &found, &element) != noErr) return nullptr;
      element->ptr = s;
      return found;
    }
  return nullptr;
}

LL_PtrLE *BZ_OuFindSpecksInRect(BZ_OuSpeckLE *speckList, const Rect *bounds) {
  if (bounds == nullptr) return nullptr;
  LL_PtrLE *found = nullptr, *last = nullptr;
  for (BZ_OuSpeckLE *s = speckList; s != nullptr; s = s->next) {
    if (!GL_IsRectInRect(&s->speck.rgn.bounds, bounds)) continue;
    LL_PtrLE *element = nullptr;
    if (LL_AddNewPtr(sizeof(LL_PtrLE), last, &found, &element) != noErr) {
      LL_DisposeLinkedList(&found);
      return nullptr;
    }
    element->ptr = s;
    last = element;
  }
  return found;
}

void BZ_OuEqualizeSpeckState(LL_PtrLE *firstFndSpeckLE, BZ_OuOeType oeType) {
  if (oeType != kBZ_OuToggleRemove && oeType != kBZ_OuToggleInterpolation) return;
  SInt32 total = 0, with = 0;
  for (LL_PtrLE *f = firstFndSpeckLE; f != nullptr; f = f->next) {
    const BZ_OuSpeck &speck = static_cast<BZ_OuSpeckLE *>(f->ptr)->speck;
    ++total;
    if (oeType == kBZ_OuToggleRemove ? speck.remove : speck.interpolateSpatially) ++with;
  }
  const Boolean state = with > total / 2;
  for (LL_PtrLE *f = firstFndSpeckLE; f != nullptr; f = f->next) {
    BZ_OuSpeck &speck = static_cast<BZ_OuSpeckLE *>(f->ptr)->speck;
    (oeType == kBZ_OuToggleRemove ? speck.remove : speck.interpolateSpatially) = state;
  }
}

void BZ_OuToggleSpeckStateByNumber(BZ_OuSpeckLE *speckList, SInt32 speckNum, BZ_OuOeType oeType) {
  if (oeType != kBZ_OuToggleRemove && oeType != kBZ_OuToggleInterpolation) return;
  for (BZ_OuSpeckLE *s = speckList; s != nullptr; s = s->next)
    if (s->speck.number == speckNum) {
      Boolean &state = oeType == kBZ_OuToggleRemove ? s->speck.remove : s->speck.interpolateSpatially;
      state = !state;
      return;
    }
}

// ---- Scratches and edge medians ----

void BZ_OuMakeScratchMask(SInt32 width, SInt32 height, float bandWidth, UInt8 *scratchMask, Boolean scratchNW) {
  if (scratchMask == nullptr || width <= 0 || height <= 0) return;
  const float startX = 0.5f, startY = scratchNW ? 0.5f : float(height) - 0.5f;
  const float endX = float(width) - 0.5f, endY = scratchNW ? float(height) - 0.5f : 0.5f;
  const float dx = endX - startX, dy = endY - startY;
  const float length = std::sqrt(dx * dx + dy * dy);
  // A one-pixel rectangle has no direction; its single pixel lies on the line.
  const float nx = length > 0.0f ? dy / length : 0.0f, ny = length > 0.0f ? -dx / length : 1.0f;
  const float q1x = startX + nx * bandWidth / 2, q1y = startY + ny * bandWidth / 2;
  const float q2x = startX - nx * bandWidth / 2, q2y = startY - ny * bandWidth / 2;
  for (SInt32 i = 0; i < height; ++i)
    for (SInt32 j = 0; j < width; ++j) {
      const float cx = float(j) + 0.5f, cy = float(i) + 0.5f;
      const float s = std::fabs(nx * (cx - q1x) + ny * (cy - q1y)) + std::fabs(nx * (cx - q2x) + ny * (cy - q2y));
      const double sd = double(s), band = double(bandWidth);
      scratchMask[size_t(i) * size_t(width) + size_t(j)] = (band - 0.1 < sd && sd < band + 0.1) ? 1 : 0;
    }
}

UInt8 BZ_OuGetMedianY_InEdge(SInt32 width, const UInt8 *inBuffer, const Rect *paddedSelRect, SInt32 *pixelList) {
  if (inBuffer == nullptr || paddedSelRect == nullptr || pixelList == nullptr) return 0;
  const Rect &r = *paddedSelRect;
  const SInt32 w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return 0;
  const SInt32 n = 2 * (w + h);
  auto *values = reinterpret_cast<UInt8 *>(pixelList);
  SInt32 *indexes = pixelList + (n + 3) / 4;  // the numbers follow the bytes
  SInt32 count = 0;
  auto luma = [&](SInt32 row, SInt32 col) { return inBuffer[2 * (size_t(row) * size_t(width) + size_t(col)) + 1]; };
  for (SInt32 c = r.left; c < r.right; ++c) values[count++] = luma(r.top, c);
  for (SInt32 c = r.left; c < r.right; ++c) values[count++] = luma(r.bottom - 1, c);
  for (SInt32 v = r.top; v < r.bottom; ++v) values[count++] = luma(v, r.left);
  for (SInt32 v = r.top; v < r.bottom; ++v) values[count++] = luma(v, r.right - 1);
  std::printf("Edge pixels Y:");
  for (SInt32 i = 0; i < n; ++i) std::printf("%u,", unsigned(values[i]));
  SS_SelectSortIndexedUInt8Array(values, n, indexes);
  std::printf("\nSorted indexes:\n");
  for (SInt32 i = 0; i < n; ++i) std::printf("%ld,", long(indexes[i]));
  std::printf("\n");
  return values[n / 2];
}

// ---- Finding specks and scratches ----

namespace {

// The padded rectangle inset by 1 pixel on each side.
Rect Inset(const Rect &r) { return Rect{SInt16(r.top + 1), SInt16(r.left + 1), SInt16(r.bottom - 1), SInt16(r.right - 1)}; }

// The whole padded frame, for the prints.
Rect FrameRect(const BZ_OuParams &p) { return Rect{0, 0, SInt16(p.height), SInt16(p.width)}; }

// Appends a zeroed speck; NULL without memory.
BZ_OuSpeckLE *AppendSpeck(BZ_OuSpeckLE **speckList) {
  BZ_OuSpeckLE *s = nullptr;
  return LL_AddNewPtr(sizeof(BZ_OuSpeckLE), nullptr, speckList, &s) == noErr ? s : nullptr;
}

void DeleteSpeck(BZ_OuSpeckLE **speckList, BZ_OuSpeckLE *s) {
  RG_DisposeRgn(&s->speck.rgn);
  LL_DeletePtr(speckList, &s);
}

// A user's speck or scratch: its ring within the picture, number, states and properties.
void FinishUserSpeck(const BZ_OuParams *p, const UInt8 *inBuffer, UInt16 *data, SInt32 *pixelList,
                     BZ_OuSpeckLE **speckList, BZ_OuSpeckLE *s, SInt32 *speckNum) {
  Rect frame{};
  BZ_GetRealFrameBounds(p->interlaced, p->inWidth, p->inHeight, &frame);
  (void)RG_FindRgnEdgeInnerRing(p->width, &frame, data, &s->speck.rgn, pixelList);
  // Numbered among the user's own specks, so that the detector's specks never shift the numbers that stored
  // edits refer to.
  SInt32 userSpecks = 0;
  for (const BZ_OuSpeckLE *e = *speckList; e != nullptr; e = e->next)
    if (e != s && e->speck.createdByUser) ++userSpecks;
  s->speck.number = userSpecks;
  s->speck.createdByUser = s->speck.initiallyRemoved = s->speck.remove = true;
  BZ_CalcSpeckProperties(p, inBuffer, data, &s->speck);
  *speckNum = s->speck.number;
}

}  // namespace

Boolean BZ_OuFindSpeckUsingEdgeMedian(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *data,
                                      SInt32 *pixelList, const Rect *paddedSelRect, UInt8 medianY,
                                      BZ_OuSpeckLE **speckList, SInt32 *speckNum) {
  if (speckNum != nullptr) *speckNum = -1;
  if (ouParams == nullptr || ouParams->sett == nullptr || inBuffer == nullptr || data == nullptr ||
      pixelList == nullptr || paddedSelRect == nullptr || speckList == nullptr || speckNum == nullptr)
    return false;
  const SInt32 width = ouParams->width;
  const Rect in = Inset(*paddedSelRect);
  const SInt32 w = in.right - in.left, h = in.bottom - in.top;
  if (w <= 0 || h <= 0) return false;
  const SInt32 area = w * h;
  SInt64 sum = 0;
  for (SInt32 r = in.top; r < in.bottom; ++r)
    for (SInt32 c = in.left; c < in.right; ++c) sum += inBuffer[2 * (r * width + c) + 1];
  const SInt32 avY = SInt32((area / 2 + sum) / area);
  const SInt32 median = medianY;
  const Rect frame = FrameRect(*ouParams);

  BZ_OuSpeckLE *accepted = nullptr;
  SInt32 dist = ouParams->sett->minDiff;
  // No luma lies further than 255 from the median, so larger distances find nothing: start at the first
  // distance of the same series that can, rather than stepping down from a huge one.
  if (dist > 255) dist -= 5 * ((dist - 255 + 4) / 5);
  do {
    for (SInt32 r = in.top; r < in.bottom; ++r)
      for (SInt32 c = in.left; c < in.right; ++c) {
        const SInt32 y = inBuffer[2 * (r * width + c) + 1];
        UInt16 f = 0;
        if (median >= avY) {  // a dark speck
          if (y <= median - dist)
            f = 26;
          else if (y < median)
            f = UInt16(32 + (median - y) * 10 / dist);
        } else {  // a bright one
          if (y >= median + dist)
            f = 2074;
          else if (y > median)
            f = UInt16(2080 + (y - median) * 10 / dist);
        }
        data[r * width + c] = f;
      }
    RG_PrintRgnData(width, &frame, &in, data, 0, 0);
    SInt32 seed = -1;
    for (SInt32 r = in.top; r < in.bottom && seed < 0; ++r)
      for (SInt32 c = in.left; c < in.right; ++c)
        if (data[r * width + c] & kRG_FirstDegree) {
          seed = r * width + c;
          break;
        }
    if (seed >= 0) {
      BZ_OuSpeckLE *s = AppendSpeck(speckList);
      if (s == nullptr) return false;
      if (RG_ConstructRgn(width, &in, data, seed, pixelList, &s->speck.rgn) != noErr) {
        DeleteSpeck(speckList, s);
        return false;
      }
      const Rect &b = s->speck.rgn.bounds;
      const double rw = b.right - b.left, rh = b.bottom - b.top;
      if (0.3 * w >= w - rw && 0.3 * h >= h - rh)
        accepted = s;
      else
        DeleteSpeck(speckList, s);
    }
    dist -= 5;
  } while (accepted == nullptr && dist > 9);

  if (accepted == nullptr) return false;
  if (BZ_OuSpeckOverlapsAnySpeck(*speckList, accepted)) {
    DeleteSpeck(speckList, accepted);
    return false;
  }
  FinishUserSpeck(ouParams, inBuffer, data, pixelList, speckList, accepted, speckNum);
  return true;
}

Boolean BZ_OuFindScratch(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *data, SInt32 *pixelList,
                         const Rect *paddedSelRect, UInt32 flag, BZ_OuSpeckLE **speckList, SInt32 *speckNum) {
  if (speckNum != nullptr) *speckNum = -1;
  if (ouParams == nullptr || ouParams->sett == nullptr || inBuffer == nullptr || data == nullptr ||
      pixelList == nullptr || paddedSelRect == nullptr || speckList == nullptr || speckNum == nullptr)
    return false;
  const SInt32 width = ouParams->width;
  const Rect in = Inset(*paddedSelRect);
  const SInt32 w = in.right - in.left, h = in.bottom - in.top;
  if (w <= 0 || h <= 0) return false;
  // The mask bytes first, the region's work queue after them.
  auto *mask = reinterpret_cast<UInt8 *>(pixelList);
  SInt32 *queue = pixelList + (w * h + 3) / 4;
  const Boolean scratchNW = flag == 0;
  BZ_OuMakeScratchMask(w, h, 1.0f + ouParams->sett->scratchWidth, mask, scratchNW);
  SInt32 seed = -1;
  for (SInt32 i = 0; i < h; ++i)
    for (SInt32 j = 0; j < w; ++j) {
      const bool inBand = mask[i * w + j] != 0;
      const SInt32 p = (in.top + i) * width + in.left + j;
      data[p] = inBand ? 26 : 0;
      if (inBand && seed < 0) seed = p;
    }
  if (seed < 0) return false;
  BZ_OuSpeckLE *s = AppendSpeck(speckList);
  if (s == nullptr) return false;
  if (RG_ConstructRgn(width, &in, data, seed, queue, &s->speck.rgn) != noErr) {
    DeleteSpeck(speckList, s);
    return false;
  }
  s->speck.scratch = true;
  s->speck.scratchNW = scratchNW;
  FinishUserSpeck(ouParams, inBuffer, data, pixelList, speckList, s, speckNum);
  return true;
}

OSStatus BZ_OuImplementOutlierEditList(const UInt8 *inBuffer, UInt16 *data, SInt32 *pixelList,
                                       const BZ_OuOeLE *firstOe, BZ_OuSpeckLE **speckList) {
  if (inBuffer == nullptr || data == nullptr || pixelList == nullptr || speckList == nullptr) return paramErr;
  BZ_OuParams params{};
  if (OSStatus err = BZ_OuMakeParamsFromProject(gBZ.project, &params); err != noErr) return err;
  for (const BZ_OuOeLE *e = firstOe; e != nullptr; e = e->next) {
    const BZ_OuOutlierEdit &oe = e->outlierEdit;
    if (oe.oeType == kBZ_OuToggleRemove || oe.oeType == kBZ_OuToggleInterpolation) {
      BZ_OuToggleSpeckStateByNumber(*speckList, oe.speckNum, oe.oeType);
      continue;
    }
    if (oe.oeType < kBZ_OuNewSpeck || oe.oeType > kBZ_OuScratchSW) continue;
    Rect padded{};
    BZ_PadSelectionRect(params.interlaced, &oe.rect, &padded);
    // A rectangle from a damaged list that leaves the frame is skipped.
    if (padded.top < 0 || padded.left < 0 || padded.bottom > params.height || padded.right > params.width ||
        padded.bottom <= padded.top || padded.right <= padded.left)
      continue;
    SInt32 speckNum = -1;
    if (oe.oeType == kBZ_OuNewSpeck) {
      const UInt8 median = BZ_OuGetMedianY_InEdge(params.width, inBuffer, &padded, pixelList);
      (void)BZ_OuFindSpeckUsingEdgeMedian(&params, inBuffer, data, pixelList, &padded, median, speckList, &speckNum);
    } else {
      (void)BZ_OuFindScratch(&params, inBuffer, data, pixelList, &padded,
                             oe.oeType == kBZ_OuScratchNW ? 0 : 0x200, speckList, &speckNum);
    }
  }
  return noErr;
}

// ---- Edits in the preview (main thread) ----

namespace {

void PlayAlertSound() {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  host->playAlertSound(host->refCon);
}

// The padded selection of the previewed frame and what an edit works on; paramErr when the stage has not
// run for the preview yet.
struct EditContext {
  PreviewContext preview;
  BZ_OuDlgTaskData *ou;
  UInt8 *frame;
  UInt16 *data;
  SInt32 *pixelList;
};

OSStatus GetEditContext(EditContext *ctx) {
  if (OSStatus err = GetPreviewContext(&ctx->preview); err != noErr) return err;
  ctx->ou = gBZ.dlgTaskData.ouDlgTaskData;
  if (ctx->ou == nullptr) return paramErr;
  const SInt32 k = ctx->preview.params.sett->numConstPix;
  ctx->frame = ctx->preview.ou->inBuffers[k];
  ctx->data = ctx->ou->ouData[2 * k];
  ctx->pixelList = ctx->ou->ouScratch;
  return ctx->frame != nullptr && ctx->data != nullptr && ctx->pixelList != nullptr ? OSStatus(noErr)
                                                                                     : OSStatus(paramErr);
}

}  // namespace

OSStatus BZ_OuFindSpeckInSelectionRect(const Rect *selRect, UInt32 modifiers) {
  if (selRect == nullptr) return paramErr;
  BZ_OuDlgTaskData *ou = gBZ.dlgTaskData.ouDlgTaskData;
  if (ou == nullptr) return paramErr;
  OSStatus err = BZ_OuEnterEditRegion(ou->oeCritRgn);
  if (err != noErr) return err;
  EditContext ctx{};
  OSStatus result = GetEditContext(&ctx);
  if (result == noErr) {
    const BZ_OuParams &params = ctx.preview.params;
    Rect padded{};
    BZ_PadSelectionRect(params.interlaced, selRect, &padded);
    const bool inside = padded.top >= 0 && padded.left >= 0 && padded.bottom <= params.height &&
                        padded.right <= params.width && padded.bottom > padded.top && padded.right > padded.left;
    const bool option = (modifiers & 0x800) != 0;
    SInt32 speckNum = -1;
    Boolean found = false;
    BZ_OuOeType type = kBZ_OuNewSpeck;
    if (inside && option) {
      type = (modifiers & 0x200) ? kBZ_OuScratchSW : kBZ_OuScratchNW;
      found = BZ_OuFindScratch(&params, ctx.frame, ctx.data, ctx.pixelList, &padded, modifiers & 0x200,
                               &ctx.preview.ou->speckList, &speckNum);
    } else if (inside) {
      const UInt8 median = BZ_OuGetMedianY_InEdge(params.width, ctx.frame, &padded, ctx.pixelList);
      found = BZ_OuFindSpeckUsingEdgeMedian(&params, ctx.frame, ctx.data, ctx.pixelList, &padded, median,
                                            &ctx.preview.ou->speckList, &speckNum);
    }
    if (found) {
      BZ_OuFrameOeList &frameList = ctx.preview.ou->frameOutlierEditList;
      BZ_OuOeLE *e = nullptr;
      result = LL_AddNewPtr(sizeof(BZ_OuOeLE), nullptr, &frameList.firstOe, &e);
      if (result == noErr) {
        e->outlierEdit = BZ_OuOutlierEdit{option ? 0 : 1, type, *selRect};
        frameList.changed = true;
        result = BZ_OuUpdatePreviewAfterUserEdit();
      }
    } else {
      PlayAlertSound();
    }
  }
  err = MPExitCriticalRegion(ou->oeCritRgn);
  return result != noErr ? result : err;
}

OSStatus BZ_OuToggleSpeckState(const Point *pt, const Rect *selRect, BZ_OuOeType oeType) {
  if ((pt == nullptr && selRect == nullptr) || (oeType != kBZ_OuToggleRemove && oeType != kBZ_OuToggleInterpolation))
    return paramErr;
  BZ_OuDlgTaskData *ou = gBZ.dlgTaskData.ouDlgTaskData;
  if (ou == nullptr) return paramErr;
  OSStatus err = BZ_OuEnterEditRegion(ou->oeCritRgn);
  if (err != noErr) return err;
  PreviewContext ctx{};
  if (GetPreviewContext(&ctx) == noErr) {
    LL_PtrLE *found = nullptr;
    if (pt != nullptr) {
      Point padded{};
      BZ_PadPoint(ctx.params.interlaced, *pt, &padded);
      found = BZ_OuFindPtInSpeckList(ctx.params.width, ctx.ou->speckList, padded);
    } else {
      Rect padded{};
      BZ_PadSelectionRect(ctx.params.interlaced, selRect, &padded);
      found = BZ_OuFindSpecksInRect(ctx.ou->speckList, &padded);
      BZ_OuEqualizeSpeckState(found, oeType);
    }
    if (found == nullptr) {
      PlayAlertSound();
    } else {
      BZ_OuFrameOeList &frameList = ctx.ou->frameOutlierEditList;
      for (LL_PtrLE *f = found; f != nullptr; f = f->next) {
        BZ_OuSpeck &speck = static_cast<BZ_OuSpeckLE *>(f->ptr)->speck;
        Boolean &state = oeType == kBZ_OuToggleRemove ? speck.remove : speck.interpolateSpatially;
        state = !state;
        // The equalising above may have changed the state too: the list gets the one edit that replays to
        // the state now shown, or none when that is the speck's initial state.
        const Boolean initial = oeType == kBZ_OuToggleRemove ? speck.initiallyRemoved : Boolean(false);
        while (BZ_OuFindOutlierEdit(frameList.firstOe, speck.number, oeType))
          BZ_OuRemoveOutlierEdit(&frameList.firstOe, speck.number, oeType);
        if ((state != 0) != (initial != 0)) {
          BZ_OuOeLE *e = nullptr;
          if (LL_AddNewPtr(sizeof(BZ_OuOeLE), nullptr, &frameList.firstOe, &e) == noErr)
            e->outlierEdit = BZ_OuOutlierEdit{speck.number, oeType, Rect{0, 0, 0, 0}};
        }
      }
      frameList.changed = true;
      (void)BZ_OuUpdatePreviewAfterUserEdit();  // the edit stands; its drawing is not reported
      LL_DisposeLinkedList(&found);
    }
  }
  return MPExitCriticalRegion(ou->oeCritRgn);
}

// The difference frame of the edit path, luma only at scale 1: chroma 128, luma (clean - dirty + grey)
// limited to 0..255 and averaged with the previous pixel's, as the noise stage's scalar kernel draws it.
static void LumaDiffFrame(SInt32 height, SInt32 width, float internalGamma, const UInt8 *dirty, const UInt8 *clean,
                          UInt8 *out) {
  const SInt32 grey = DiffGrey(internalGamma);
  int previous = std::clamp<SInt32>(grey, 0, 255);
  const SInt64 count = SInt64(height) * width;
  for (SInt64 i = 0; i < count; ++i) {
    const int y = std::clamp(int(clean[2 * i + 1]) - int(dirty[2 * i + 1]) + grey, 0, 255);
    out[2 * i] = 128;
    out[2 * i + 1] = UInt8((y + previous) / 2);
    previous = y;
  }
}

OSStatus BZ_OuUpdatePreviewAfterUserEdit() {
  EditContext ctx{};
  if (OSStatus err = GetEditContext(&ctx); err != noErr) return err;
  BZ_OuPreviewData *ouPreview = ctx.preview.ou;
  const BZ_OuParams &params = ctx.preview.params;
  const size_t size = ctx.preview.bufferSize;
  if (ouPreview->outBuffer2vuy == nullptr || ctx.preview.preview->buffersRGB == nullptr) return paramErr;
  float internalGamma = 0.0f;
  UInt16 *newRGB = nullptr;
  OSStatus err = BZ_GetInternalGamma(gBZ.project, nullptr, &internalGamma, nullptr, &newRGB);
  if (err != noErr) return err;
  err = BZ_OuEnsurePreviewFrames(ouPreview, size);
  if (err != noErr) {
    GL_DisposePtr(&newRGB);
    return err;
  }
  const SInt32 k = params.sett->numConstPix;
  UInt8 *window[kBZ_OuNumWindowSlots];
  BZ_OuGetPreviewWindow(ouPreview, k, window);
  std::memcpy(ouPreview->outBuffer2vuy, ctx.frame, size);
  BZ_OuReplaceSpeckPixels(&params, ouPreview->avPixelDiff, window, ouPreview->outBuffer2vuy, ctx.data, ouPreview->mv,
                          ouPreview->speckList);
  std::memcpy(ouPreview->savedOutBuffer, ouPreview->outBuffer2vuy, size);
  (void)BZ_OuApplyNonRemovedSpecks();
  LumaDiffFrame(params.height, params.width, internalGamma, ctx.frame, ouPreview->outBuffer2vuy,
                ouPreview->diffBuffer2vuy);
  std::memcpy(ouPreview->outBuffer2vuy, ouPreview->savedOutBuffer, size);

  UInt8 *after = ctx.preview.preview->buffersRGB + 2 * size, *diff = ctx.preview.preview->buffersRGB + 4 * size;
  const GL_ProcessorInfo &cpu = gBZ.procInfo;
  for (const auto &[from, to] : {std::pair<const UInt8 *, UInt8 *>{ouPreview->outBuffer2vuy, after},
                                 std::pair<const UInt8 *, UInt8 *>{ouPreview->diffBuffer2vuy, diff}}) {
    if (newRGB != nullptr)
      CO_2vuyFrameToARGB_ChangeGammaUni(cpu.hasAltivec, cpu.hasSSE3, params.width, params.height, from, to, false,
                                        2 * params.width, 4 * params.width, internalGamma, kBZ_DisplayGamma, newRGB);
    else
      CO_2vuyFrameToARGB_Uni(cpu.hasAltivec, cpu.hasSSE3, params.width, params.height, from, to, false,
                             2 * params.width, 4 * params.width);
  }
  GL_DisposePtr(&newRGB);
  err = BZ_OuColorSpecksDiffs();
  if (err != noErr) return err;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  const Boolean recreateImages = true;
  const BZ_EventParam param = {kBZ_RecreateImagesEventParam, sizeof(Boolean), &recreateImages};
  return host->postCustomEvent(host->refCon, kBZ_ForcePreviewUpdateEvent, &param, 1);
}
