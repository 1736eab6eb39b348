// Speck editing in the preview: filling kept specks, colouring the difference picture, speck-list queries,
// scratch masks and edge medians.
#include "outliers/speck_editing.h"

#include "engine/runtime/project_types.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "general/geometry.h"
#include "general/sort_search.h"
#include "outliers/speck_replacement.h"

#include <cmath>
#include <cstdio>

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
  if (k < 1 || 4 * k + 1 > kBZ_OuNumWindowSlots) return paramErr;
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
  if (ouPreviewData == nullptr || numConstPix < 1 || 4 * numConstPix + 1 > kBZ_OuNumWindowSlots) return;
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
  void *const *mv = ouDlg != nullptr ? ouDlg->mv : nullptr;
  for (BZ_OuSpeckLE *s = ctx.ou->speckList; s != nullptr; s = s->next) {
    if (s->speck.remove) continue;
    if (s->speck.interpolateSpatially)
      BZ_OuInterpolateSpeckSpatially(&ctx.params, &s->speck, window[2 * k], ctx.ou->outBuffer2vuy);
    else
      BZ_OuInterpolateSpeckTemporally(&ctx.params, ctx.ou->avPixelDiff, window, ctx.ou->outBuffer2vuy, data, mv,
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
