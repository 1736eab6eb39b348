// Per-frame kernels of logo removal (see the header).
#include "methods/logo_removal.h"

#include "methods/logo_interpolation.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

inline UInt8 ClampByte(SInt32 v) { return UInt8(std::clamp<SInt32>(v, 0, 255)); }

// Integer means of the top and bottom quarter of n samples sorted in descending order.
void QuarterMeans(UInt8 *values, SInt32 n, SInt32 *min, SInt32 *max) {
  // The comparator's order, in n log n steps (a selection sort costs more than the whole frame's removal).
  std::sort(values, values + n, [](UInt8 a, UInt8 b) { return BZ_RlCompareYvalues(&a, &b) > 0; });
  const SInt32 q = n / 4;
  if (q == 0) {
    *max = n > 0 ? values[0] : 255;
    *min = n > 0 ? values[n - 1] : 0;
    return;
  }
  SInt32 top = 0, bottom = 0;
  for (SInt32 i = 0; i < q; ++i) {
    top += values[i];
    bottom += values[3 * n / 4 + i];
  }
  *max = top / q;
  *min = bottom / q;
}

void AddChroma(const UInt8 *pixel, SInt32 col, UInt8 *cb, SInt32 *numCb, UInt8 *cr, SInt32 *numCr) {
  if (col % 2 == 0)
    cb[(*numCb)++] = pixel[0];
  else
    cr[(*numCr)++] = pixel[0];
}

}  // namespace

OSStatus BZ_RemoveLogo(BZ_RlParams *rlParams, SInt32 subTaskNum, SInt32 frameNum, const UInt8 *inBuffer,
                       UInt8 *outBuffer) {
  std::memcpy(outBuffer, inBuffer, size_t(rlParams->width) * size_t(rlParams->height) * 2);
  const BZ_RlSett *sett = rlParams->sett;
  switch (sett->mode) {
    case kBZ_LogoModeDiminish: BZ_RlDiminishLogo(rlParams, subTaskNum, inBuffer, outBuffer); break;
    case kBZ_LogoModeInterp: BZ_RlKillLogoUsingNonTrMask(rlParams, subTaskNum, outBuffer); break;
    default:
      if (sett->transparent)
        BZ_RlKillTransparentLogo(rlParams, inBuffer, outBuffer);
      else
        BZ_RlKillLogoUsingNonTrMask(rlParams, subTaskNum, outBuffer);
      break;
  }
  const float fraction = BZ_RlGetFadeFraction(rlParams, frameNum);
  if (std::fabs(1.0f - fraction) >= 0.0001f) BZ_RlPaintOverLogo(rlParams, fraction, inBuffer, outBuffer);
  return noErr;
}

// ---- Mode 1 -------------------------------------------------------------------------------------------------

int BZ_RlCompareYvalues(const void *a, const void *b) {
  const UInt8 x = *static_cast<const UInt8 *>(a), y = *static_cast<const UInt8 *>(b);
  // What compares greater comes first: a descending order.
  return x > y ? 1 : x < y ? -1 : 0;
}

void BZ_RlFindLogoEdgeColors(const BZ_RlParams *rlParams, SInt32 field, const UInt8 *frame, UInt8 *yValues,
                             UInt8 *cbValues, UInt8 *crValues, BZ_RlEdgeRange *range) {
  const Rect &r = rlParams->logoRect;
  const SInt32 vStep = BZ_RlVStep(rlParams);
  const SInt32 width = BZ_RlLogoWidth(r);
  SInt32 numY = 0, numCb = 0, numCr = 0;
  // The field's lines from one field line above the logo to the first at or below its bottom.
  const SInt32 firstRow = r.top + field - vStep;
  SInt32 lastRow = firstRow;
  while (lastRow < r.bottom) lastRow += vStep;
  for (SInt32 row = firstRow; row <= lastRow; row += vStep) {
    const SInt32 leftCol = r.left - 1, rightCol = r.right;
    yValues[numY++] = BZ_RlPixel(rlParams, frame, row, leftCol)[1];
    yValues[numY++] = BZ_RlPixel(rlParams, frame, row, rightCol)[1];
    // The nearest pixel outside on each side that carries each kind of chroma.
    const SInt32 leftCb = leftCol % 2 == 0 ? leftCol : leftCol - 1, leftCr = leftCol % 2 != 0 ? leftCol : leftCol - 1;
    const SInt32 rightCb = rightCol % 2 == 0 ? rightCol : rightCol + 1;
    const SInt32 rightCr = rightCol % 2 != 0 ? rightCol : rightCol + 1;
    cbValues[numCb++] = BZ_RlPixel(rlParams, frame, row, leftCb)[0];
    cbValues[numCb++] = BZ_RlPixel(rlParams, frame, row, rightCb)[0];
    crValues[numCr++] = BZ_RlPixel(rlParams, frame, row, leftCr)[0];
    crValues[numCr++] = BZ_RlPixel(rlParams, frame, row, rightCr)[0];
  }
  for (SInt32 col = r.left; col < r.left + width; ++col) {
    yValues[numY++] = BZ_RlPixel(rlParams, frame, firstRow, col)[1];
    yValues[numY++] = BZ_RlPixel(rlParams, frame, lastRow, col)[1];
    AddChroma(BZ_RlPixel(rlParams, frame, r.top - 1, col), col, cbValues, &numCb, crValues, &numCr);
    AddChroma(BZ_RlPixel(rlParams, frame, lastRow, col), col, cbValues, &numCb, crValues, &numCr);
  }
  QuarterMeans(yValues, numY, &range->minY, &range->maxY);
  QuarterMeans(cbValues, numCb, &range->minCb, &range->maxCb);
  QuarterMeans(crValues, numCr, &range->minCr, &range->maxCr);
}

void BZ_RlSoftenHorizEdge(UInt8 *line, const UInt8 *neighbour, SInt32 logoWidth) {
  for (SInt32 i = 0; i < 2 * logoWidth; ++i) line[i] = UInt8((line[i] + neighbour[i]) / 2);
}

void BZ_RlSoftenVertEdge(UInt8 *line, SInt32 logoWidth) {
  // Left edge: chroma with the nearest outside chroma of the same kind, luma with its left neighbour.
  line[0] = UInt8((line[0] + line[-4]) / 2);
  line[2] = UInt8((line[2] + line[-2]) / 2);
  line[1] = UInt8((line[1] + line[-1]) / 2);
  line[3] = UInt8((line[3] + line[1]) / 2);
  // Right edge, mirrored.
  UInt8 *last = line + 2 * (logoWidth - 1);
  last[0] = UInt8((last[0] + last[4]) / 2);
  last[-2] = UInt8((last[-2] + last[2]) / 2);
  last[1] = UInt8((last[1] + last[3]) / 2);
  last[-1] = UInt8((last[-1] + last[1]) / 2);
}

void BZ_RlDiminishLogo(const BZ_RlParams *rlParams, SInt32 subTaskNum, const UInt8 *inBuffer, UInt8 *outBuffer) {
  const Rect &r = rlParams->logoRect;
  const SInt32 vStep = BZ_RlVStep(rlParams), lineSize = BZ_RlLineSize(rlParams);
  const SInt32 width = BZ_RlLogoWidth(r), height = BZ_RlLogoHeight(r);
  BZ_RlEdgeRange ranges[2];
  for (SInt32 field = 0; field < vStep; ++field)
    BZ_RlFindLogoEdgeColors(rlParams, field, inBuffer, rlParams->yValues[subTaskNum], rlParams->cbValues[subTaskNum],
                            rlParams->crValues[subTaskNum], &ranges[field]);
  for (SInt32 row = 0; row < height; ++row) {
    const BZ_RlEdgeRange &range = ranges[row % vStep];
    UInt8 *p = BZ_RlPixel(rlParams, outBuffer, r.top + row, r.left);
    for (SInt32 i = 0; i < width; ++i, p += 2) {
      const SInt32 y = p[1];
      SInt32 ch = p[0];
      if (y > range.maxY) {
        p[1] = UInt8(range.maxY);
        if (y > 40) ch = 128 + SInt32(float(range.maxY) / float(y) * float(ch - 128));
      } else if (y < range.minY) {
        p[1] = UInt8(range.minY);
        if (range.minY / 2 < y && y > 40) ch = 128 + SInt32(float(range.minY) / float(y) * float(ch - 128));
      }
      if ((r.left + i) % 2 != 0)
        ch = std::clamp(ch, range.minCr, std::max(range.minCr, range.maxCr));
      else
        ch = std::clamp(ch, range.minCb, std::max(range.minCb, range.maxCb));
      p[0] = ClampByte(ch);
    }
  }
  // Edges: the outer lines blended with the lines beyond them, then the outer columns.
  auto line = [&](SInt32 row) { return BZ_RlPixel(rlParams, outBuffer, r.top + row, r.left); };
  BZ_RlSoftenHorizEdge(line(0), line(0) - vStep * lineSize, width);
  BZ_RlSoftenHorizEdge(line(vStep), line(vStep) - vStep * lineSize, width);
  BZ_RlSoftenHorizEdge(line(height - 1), line(height - 1) + vStep * lineSize, width);
  BZ_RlSoftenHorizEdge(line(height - vStep - 1), line(height - vStep - 1) + vStep * lineSize, width);
  if (rlParams->interlaced) {
    BZ_RlSoftenHorizEdge(line(1), line(1) - vStep * lineSize, width);
    BZ_RlSoftenHorizEdge(line(3), line(3) - vStep * lineSize, width);
    BZ_RlSoftenHorizEdge(line(height - 2), line(height - 2) + vStep * lineSize, width);
    BZ_RlSoftenHorizEdge(line(height - 4), line(height - 4) + vStep * lineSize, width);
  }
  for (SInt32 row = 0; row < height; ++row) BZ_RlSoftenVertEdge(line(row), width);
}

// ---- Mode 3, transparent ------------------------------------------------------------------------------------

void BZ_RlGetBorderMinMax(const BZ_RlParams *rlParams, const UInt8 *frame, BZ_RlEdgeRange *range) {
  const Rect &r = rlParams->logoRect;
  *range = BZ_RlEdgeRange{255, 0, 255, 0, 255, 0};
  auto take = [&](SInt32 row, SInt32 col) {
    const UInt8 *p = BZ_RlPixel(rlParams, frame, row, col);
    range->minY = std::min<SInt32>(range->minY, p[1]);
    range->maxY = std::max<SInt32>(range->maxY, p[1]);
    if (col % 2 == 0) {
      range->minCb = std::min<SInt32>(range->minCb, p[0]);
      range->maxCb = std::max<SInt32>(range->maxCb, p[0]);
    } else {
      range->minCr = std::min<SInt32>(range->minCr, p[0]);
      range->maxCr = std::max<SInt32>(range->maxCr, p[0]);
    }
  };
  for (SInt32 col = r.left - 1; col <= r.right; ++col) {
    take(r.top - 1, col);
    take(r.bottom, col);
  }
  for (SInt32 row = r.top; row < r.bottom; ++row)
    for (SInt32 col : {r.left - 2, r.left - 1, SInt32(r.right), r.right + 1}) take(row, col);
}

void BZ_RlKillTransparentLogo(const BZ_RlParams *rlParams, const UInt8 *inBuffer, UInt8 *outBuffer) {
  if (rlParams->isMaskPixel == nullptr || rlParams->logoPixels == nullptr) return;
  const Rect &r = rlParams->logoRect;
  const SInt32 width = BZ_RlLogoWidth(r), height = BZ_RlLogoHeight(r);
  const double t = BZ_RlUnblendTransparency(rlParams->sett->transparency);
  const double inv = 1.0 / t, logoShare = 1.0 - t;
  BZ_RlEdgeRange range;
  BZ_RlGetBorderMinMax(rlParams, inBuffer, &range);
  const UInt8 *mask = rlParams->isMaskPixel;
  const UInt8 *logo = rlParams->logoPixels;
  for (SInt32 row = 0; row < height; ++row) {
    const UInt8 *in = BZ_RlPixel(rlParams, inBuffer, r.top + row, r.left);
    UInt8 *out = BZ_RlPixel(rlParams, outBuffer, r.top + row, r.left);
    for (SInt32 i = 0; i < width; ++i) {
      if (mask[row * width + i] == 0) continue;
      SInt32 ch = SInt32((in[2 * i] - logo[0] * logoShare) * inv);
      SInt32 y = SInt32((in[2 * i + 1] - logo[1] * logoShare) * inv);
      logo += 2;
      if ((r.left + i) % 2 != 0)
        ch = std::clamp(ch, range.minCr, range.maxCr);
      else
        ch = std::clamp(ch, range.minCb, range.maxCb);
      out[2 * i] = ClampByte(ch);
      out[2 * i + 1] = ClampByte(std::clamp(y, range.minY, range.maxY));
    }
  }
}

// ---- Fade ---------------------------------------------------------------------------------------------------

float BZ_RlGetFadeFraction(const BZ_RlParams *rlParams, SInt32 frameNum) {
  const SInt32 f0 = rlParams->lastFrameNumBeforeFadeOut, f1 = rlParams->lastFrameNumOfFadeOut;
  const SInt32 f2 = rlParams->firstFrameNumAfterFadeIn, f3 = rlParams->firstFrameNumOfFadeIn;
  if (!rlParams->sett->fade || f1 < 1) return 1.0f;
  if (frameNum < f0) return 0.0f;
  if (frameNum < f1) return float(frameNum - f0) / float(f1 - f0);
  if (frameNum < f3) return 1.0f;
  if (frameNum > f2) return 0.0f;
  if (f2 == f3) return 0.0f;
  return 1.0f - float(frameNum - f3) / float(f2 - f3);
}

void BZ_RlPaintOverLogo(const BZ_RlParams *rlParams, float fraction, const UInt8 *inBuffer, UInt8 *outBuffer) {
  const Rect &r = rlParams->logoRect;
  const SInt32 width = BZ_RlLogoWidth(r), height = BZ_RlLogoHeight(r);
  const float keep = 1.0f - fraction;
  for (SInt32 row = 0; row < height; ++row) {
    const UInt8 *in = BZ_RlPixel(rlParams, inBuffer, r.top + row, r.left);
    UInt8 *out = BZ_RlPixel(rlParams, outBuffer, r.top + row, r.left);
    for (SInt32 i = 0; i < 2 * width; ++i) out[i] = UInt8(float(out[i]) * fraction + keep * float(in[i]));
  }
}

// ---- Anti-shimmer -------------------------------------------------------------------------------------------

void BZ_LogoAntiShimmerFilter(UInt8 *prev, SInt32 frameNum, const BZ_RlProcParams *rlProcParams) {
  const BZ_RlParams *rlParams = rlProcParams->rlParams;
  if (rlParams->savedLogos == nullptr || frameNum < 0) return;
  const Rect &r = rlParams->logoRect;
  const SInt32 rowBytes = 2 * BZ_RlLogoWidth(r), height = BZ_RlLogoHeight(r);
  const size_t slotBytes = size_t(rowBytes) * size_t(height);
  UInt8 *current = rlParams->savedLogos + size_t(frameNum % 3) * slotBytes;
  for (SInt32 row = 0; row < height; ++row)
    std::memcpy(current + size_t(row) * rowBytes, BZ_RlPixel(rlParams, rlProcParams->outBuffer, r.top + row, r.left),
                size_t(rowBytes));
  if (frameNum <= 1 || prev == nullptr) return;
  const UInt8 *before = rlParams->savedLogos + size_t((frameNum + 1) % 3) * slotBytes;
  for (SInt32 row = 0; row < height; ++row) {
    UInt8 *p = BZ_RlPixel(rlParams, prev, r.top + row, r.left);
    const UInt8 *a = before + size_t(row) * rowBytes, *c = current + size_t(row) * rowBytes;
    for (SInt32 i = 0; i < rowBytes; ++i) {
      const UInt8 b = p[i];
      p[i] = std::max(std::min(a[i], b), std::min(std::max(a[i], b), c[i]));
    }
  }
}
