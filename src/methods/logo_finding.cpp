// Logo finding on the sample frames of an analysis run (see the header).
#include "methods/logo_finding.h"

#include "engine/runtime/shell_senders.h"
#include "engine/tasks/task_runtime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr double kFallbackTransparency = 0.7;
constexpr float kSufficientDiff = 23.5f, kGoodDiff = 70.5f, kVeryGoodDiff = 117.5f;
constexpr UInt32 kWaitSliceMs = 20;

// The ring around the logo: two frame lines above and below (logoWidth pixels from two left of the logo), and
// two pixels on each side of every logo line.
template <typename Visit>
void ForRing(SInt32 lineSize, SInt32 vStep, const UInt8 *frame, const Rect &r, Visit visit) {
  const SInt32 width = r.right - r.left;
  auto at = [&](SInt32 row, SInt32 col) {
    return frame + ptrdiff_t(row + 8 * vStep) * lineSize + 2 * ptrdiff_t(col) + 16;
  };
  for (SInt32 row : {r.top - 2, r.top - 1, SInt32(r.bottom), r.bottom + 1})
    for (SInt32 col = r.left - 2; col < r.left - 2 + width; ++col) visit(at(row, col), col);
  for (SInt32 row = r.top; row < r.bottom; ++row)
    for (SInt32 col : {r.left - 2, r.left - 1, SInt32(r.right), r.right + 1}) visit(at(row, col), col);
}

// Moves copies src .. src + count - 1 of the lists (backgrounds and logo copies) by one slot.
void MoveSlots(BZ_RlParams *p, SInt32 from, SInt32 to, SInt32 count, size_t copyBytes) {
  if (count <= 0) return;
  std::memmove(p->unifFrames + to, p->unifFrames + from, size_t(count) * sizeof(BZ_RlUnifFrame));
  std::memmove(p->logosPtr + size_t(to) * copyBytes, p->logosPtr + size_t(from) * copyBytes, size_t(count) * copyBytes);
}

void TakeSlot(BZ_RlParams *p, SInt32 slot, float avY, const UInt8 *frame, SInt32 frameNum, size_t copyBytes) {
  const Rect &r = p->logoRect;
  BZ_RlUnifFrame &u = p->unifFrames[slot];
  u.avY = avY;
  u.number = frameNum;
  BZ_RlTrGetAvC(BZ_RlLineSize(p), BZ_RlVStep(p), frame, &r, &u.avCb, &u.avCr);
  BZ_RlTrCopyLogoToMiniBuffer(BZ_RlLineSize(p), p->logosPtr + size_t(slot) * copyBytes,
                              BZ_RlPixel(p, frame, r.top, r.left), BZ_RlLogoHeight(r), BZ_RlLogoWidth(r));
}

// Inserts y into a descending list of five, dropping the entry at `drop` (0: the largest, 4: the smallest).
void InsertDescending(UInt8 *list, UInt8 y, bool dropLargest) {
  UInt8 v[6];
  std::memcpy(v, list, 5);
  v[5] = y;
  std::sort(v, v + 6, [](UInt8 a, UInt8 b) { return a > b; });
  std::memcpy(list, dropLargest ? v + 1 : v, 5);
}

constexpr SInt32 kNeighbourRows[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr SInt32 kNeighbourCols[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

// Mean ratio of the mask pixels and their mean absolute deviation from it; false for an empty mask.
bool MaskRatioSpread(const std::vector<float> &ratio, const UInt8 *isMaskPixel, double *mean, double *dev) {
  double sum = 0;
  SInt32 n = 0;
  for (size_t p = 0; p < ratio.size(); ++p)
    if (isMaskPixel[p] != 0) sum += ratio[p], ++n;
  if (n == 0) return false;
  *mean = sum / n;
  double spread = 0;
  for (size_t p = 0; p < ratio.size(); ++p)
    if (isMaskPixel[p] != 0) spread += std::fabs(ratio[p] - *mean);
  *dev = spread / n;
  return true;
}

// Candidates (ratio below 0.8), of which only pixels much more transparent than the rest leave; *perc the kept
// pixels' mean ratio. false (mask and count cleared) when no pixel is a candidate.
bool SelectMask(const std::vector<float> &ratio, UInt8 *isMaskPixel, SInt32 *numRealLogoPixels, double *perc) {
  for (size_t p = 0; p < ratio.size(); ++p) isMaskPixel[p] = 5 * ratio[p] < 4 ? 1 : 0;
  *numRealLogoPixels = 0;
  double mean = 0, dev = 0;
  if (!MaskRatioSpread(ratio, isMaskPixel, &mean, &dev)) return false;
  double kept = 0;
  SInt32 numKept = 0;
  for (size_t p = 0; p < ratio.size(); ++p) {
    if (isMaskPixel[p] == 0) continue;
    if (ratio[p] - mean <= 2 * dev) {
      kept += ratio[p];
      ++numKept;
    } else {
      isMaskPixel[p] = 0;
    }
  }
  *numRealLogoPixels = numKept;
  *perc = kept / numKept;
  return true;
}

}  // namespace

// ---- Per sample -------------------------------------------------------------------------------------------

void BZ_FindNonTrLogo(BZ_RlParams *rlParams, const BZ_DlgTaskInput *dlgTaskInput) {
  const Rect &r = rlParams->logoRect;
  const SInt32 width = BZ_RlLogoWidth(r), height = BZ_RlLogoHeight(r);
  UInt8 *lists = rlParams->yValues[0];
  for (SInt32 row = 0; row < height; ++row) {
    const UInt8 *p = BZ_RlPixel(rlParams, dlgTaskInput->inBuffer, r.top + row, r.left);
    for (SInt32 i = 0; i < width; ++i) {
      const SInt32 at = row * width + i;
      if (rlParams->isMaskPixel[at] == 0) continue;
      UInt8 *mins = lists + size_t(at) * kBZ_RlMinMaxBytes, *maxs = mins + 5;
      const UInt8 y = p[2 * i + 1];
      if (y < mins[0]) InsertDescending(mins, y, true);
      if (y > maxs[4]) InsertDescending(maxs, y, false);
      const SInt32 smallest = mins[4], largest = maxs[0];
      if (largest - smallest >= 71 || smallest <= 79) {
        rlParams->isMaskPixel[at] = 0;
        --rlParams->numMaskPix;
      }
    }
  }
}

void BZ_FindTrLogo(BZ_RlParams *rlParams, const BZ_DlgTaskInput *dlgTaskInput) {
  const Rect &r = rlParams->logoRect;
  const UInt8 *frame = dlgTaskInput->inBuffer;
  float avY = 0, stddev = 0;
  BZ_RlTrGetAvY(rlParams->width, BZ_RlVStep(rlParams), frame, &r, &avY, &stddev);
  if (!((1.0 - rlParams->sett->minBackGrUnif) * 120.0 > stddev)) return;
  ++rlParams->numUnifFrames;
  const size_t copyBytes = size_t(BZ_RlLogoWidth(r)) * size_t(BZ_RlLogoHeight(r)) * 2;
  BZ_RlUnifFrame *u = rlParams->unifFrames;
  for (SInt32 i = 0; i < 5; ++i)
    if (u[i].avY > avY) {
      MoveSlots(rlParams, i, i + 1, 4 - i, copyBytes);
      TakeSlot(rlParams, i, avY, frame, dlgTaskInput->frameNum, copyBytes);
      break;
    }
  for (SInt32 j = 9; j >= 5; --j)
    if (avY > u[j].avY) {
      MoveSlots(rlParams, 6, 5, j - 5, copyBytes);
      TakeSlot(rlParams, j, avY, frame, dlgTaskInput->frameNum, copyBytes);
      break;
    }
  const float diff = u[5].avY - u[4].avY;
  rlParams->sufficientData = diff > kSufficientDiff;
  rlParams->goodData = diff > kGoodDiff;
  rlParams->veryGoodData = diff > kVeryGoodDiff;
}

void BZ_RlTrGetAvY(SInt32 width, SInt32 vStep, const UInt8 *frame, const Rect *logoRect, float *averageY,
                   float *stddev) {
  const SInt32 lineSize = 2 * width;
  double sum = 0;
  SInt32 n = 0;
  ForRing(lineSize, vStep, frame, *logoRect, [&](const UInt8 *p, SInt32) {
    sum += p[1];
    ++n;
  });
  const double mean = n > 0 ? sum / n : 0;
  double dev = 0;
  ForRing(lineSize, vStep, frame, *logoRect, [&](const UInt8 *p, SInt32) { dev += std::fabs(p[1] - mean); });
  *averageY = float(mean);
  *stddev = n > 0 ? float(dev / n) : 0.0f;
}

void BZ_RlTrGetAvC(SInt32 lineSize, SInt32 vStep, const UInt8 *frame, const Rect *logoRect, float *avCb, float *avCr) {
  double cb = 0, cr = 0;
  SInt32 numCb = 0, numCr = 0;
  ForRing(lineSize, vStep, frame, *logoRect, [&](const UInt8 *p, SInt32 col) {
    if (col % 2 == 0) {
      cb += p[0];
      ++numCb;
    } else {
      cr += p[0];
      ++numCr;
    }
  });
  *avCb = numCb > 0 ? float(cb / numCb) : 128.0f;
  *avCr = numCr > 0 ? float(cr / numCr) : 128.0f;
}

void BZ_RlTrCopyLogoToMiniBuffer(SInt32 lineSize, UInt8 *logoPtr, const UInt8 *linePtr, SInt32 logoHeight,
                                 SInt32 logoWidth) {
  for (SInt32 row = 0; row < logoHeight; ++row)
    std::memcpy(logoPtr + size_t(row) * 2 * logoWidth, linePtr + ptrdiff_t(row) * lineSize, size_t(2 * logoWidth));
}

// ---- Finishing ----------------------------------------------------------------------------------------------

OSStatus BZ_RlWaitForMainThread(BZ_BuffInfo *stage) {
  if (stage == nullptr || stage->semaphore == nullptr) return paramErr;
  for (;;) {
    OSStatus err = MPWaitOnSemaphore(stage->semaphore, MP_MilliSecondToDuration(kWaitSliceMs));
    if (err != kMPTimeoutErr) return err;
    if (stage->event == nullptr) continue;
    MPEventFlags flags = 0;
    err = MPWaitForEvent(stage->event, &flags, kDurationImmediate);
    if (err == kMPTimeoutErr) continue;
    if (err != noErr) return err;
    if ((flags & kBZ_StopTaskFlag) != 0) return userCanceledErr;
    // Other flags are not the stage's business while it waits: put them back.
    if (flags != 0) MPSetEvent(stage->event, flags);
  }
}

void BZ_RlTrGetRatios(const UInt8 *logosPtr, SInt32 logoHeight, SInt32 logoWidth, const BZ_RlUnifFrame *unifFrames,
                      float *ratios) {
  const size_t area = size_t(logoWidth) * size_t(logoHeight), copyBytes = 2 * area;
  double b = 0;
  for (SInt32 k = 0; k < 5; ++k) b += double(unifFrames[k].avY) - double(unifFrames[9 - k].avY);
  for (size_t p = 0; p < area; ++p) {
    double sum = 0;
    for (SInt32 k = 0; k < 5; ++k)
      sum += double(logosPtr[size_t(k) * copyBytes + 2 * p + 1]) - double(logosPtr[size_t(9 - k) * copyBytes + 2 * p + 1]);
    ratios[p] = b != 0 ? float(sum / b) : 1.0f;
  }
}

Boolean BZ_RlTrCalcMaskAndPercNew(const UInt8 *logosPtr, SInt32 logoHeight, SInt32 logoWidth,
                                  const BZ_RlUnifFrame *unifFrames, UInt8 *isMaskPixel, SInt32 *numRealLogoPixels,
                                  double *perc) {
  std::vector<float> ratio(size_t(logoWidth) * size_t(logoHeight));
  BZ_RlTrGetRatios(logosPtr, logoHeight, logoWidth, unifFrames, ratio.data());
  return SelectMask(ratio, isMaskPixel, numRealLogoPixels, perc);
}

Boolean BZ_RlTrCalcMaskAndPerc(const UInt8 *logosPtr, SInt32 logoHeight, SInt32 logoWidth,
                               const BZ_RlUnifFrame *unifFrames, UInt8 *isMaskPixel, SInt32 *numRealLogoPixels,
                               double *perc) {
  const size_t area = size_t(logoWidth) * size_t(logoHeight), copyBytes = 2 * area;
  std::vector<float> ratio(area, 1.0f);
  for (size_t p = 0; p < area; ++p) {
    double sum = 0;
    for (SInt32 k = 0; k < 5; ++k) {
      const double b = double(unifFrames[k].avY) - double(unifFrames[9 - k].avY);
      const double y = double(logosPtr[size_t(k) * copyBytes + 2 * p + 1]) -
                       double(logosPtr[size_t(k + 5) * copyBytes + 2 * p + 1]);
      sum += b != 0 ? y / b : 1.0;
    }
    ratio[p] = float(sum / 5);
  }
  return SelectMask(ratio, isMaskPixel, numRealLogoPixels, perc);
}

int BZ_RlCompareUnifFrame(const void *a, const void *b) {
  const float x = static_cast<const BZ_RlUnifFrame *>(a)->avY, y = static_cast<const BZ_RlUnifFrame *>(b)->avY;
  return x < y ? -1 : x > y ? 1 : 0;
}

Point BZ_RlNeighborNumToLoc(Point pixelLoc, SInt32 i) {
  if (i < 0 || i > 7) return Point{10000, 10000};
  return Point{SInt16(pixelLoc.v + kNeighbourRows[i]), SInt16(pixelLoc.h + kNeighbourCols[i])};
}

Point BZ_RlNeighborNumToLocEO(Point pixelLoc, SInt32 i) {
  if (i < 0 || i > 7) return Point{0, 0};
  return Point{SInt16(pixelLoc.v + 2 * kNeighbourRows[i]), SInt16(pixelLoc.h + kNeighbourCols[i])};
}

void BZ_RlGetSrcFrame(SInt32 i, SInt32 j, SInt32 size, SInt32 logoHeight, SInt32 logoWidth, SInt32 hStep,
                      Rect *frame) {
  const SInt32 half = size / 2;
  SInt32 top = i - half * hStep, bottom = i + half * hStep;
  // Rows of the window stay hStep apart from row i: clipping keeps their parity.
  while (top < -hStep) top += hStep;
  while (bottom > logoHeight - 1 + hStep) bottom -= hStep;
  const SInt32 left = std::max(j - half, SInt32(-1)), right = std::min(j + half, logoWidth);
  *frame = Rect{SInt16(top), SInt16(left), SInt16(bottom + 1), SInt16(right + 1)};
}

SInt32 BZ_GetSourceFrameSize(const UInt8 *isMaskPixel, SInt32 i, SInt32 j, SInt32 logoHeight, SInt32 logoWidth,
                             SInt32 hStep) {
  Rect previous{0, 0, 0, 0};
  for (SInt32 size = 5;; size += 2) {
    Rect f;
    BZ_RlGetSrcFrame(i, j, size, logoHeight, logoWidth, hStep, &f);
    SInt32 sources = 0;
    for (SInt32 row = f.top; row < f.bottom; row += hStep)
      for (SInt32 col = f.left; col < f.right; ++col) {
        const bool outside = row < 0 || row >= logoHeight || col < 0 || col >= logoWidth;
        sources += outside || (isMaskPixel != nullptr && isMaskPixel[row * logoWidth + col] == 0);
      }
    // A window the frame no longer lets grow is as large as it gets.
    const bool grown = f.top != previous.top || f.left != previous.left || f.bottom != previous.bottom ||
                       f.right != previous.right;
    if (sources >= 32 || !grown) return size;
    previous = f;
  }
}

Boolean BZ_RlTrCalcPerc(const UInt8 *logosPtr, SInt32 logoHeight, SInt32 logoWidth, const BZ_RlUnifFrame *unifFrames,
                        const UInt8 *isMaskPixel, double *perc) {
  const size_t area = size_t(logoWidth) * size_t(logoHeight);
  std::vector<float> ratio(area);
  BZ_RlTrGetRatios(logosPtr, logoHeight, logoWidth, unifFrames, ratio.data());
  double mean = 0, dev = 0;
  if (!MaskRatioSpread(ratio, isMaskPixel, &mean, &dev)) return false;
  double kept = 0;
  SInt32 numKept = 0;
  for (size_t p = 0; p < area; ++p)
    if (isMaskPixel[p] != 0 && std::fabs(ratio[p] - mean) < 2 * dev) kept += ratio[p], ++numKept;
  // Every pixel at the same ratio: no deviation, and that ratio is the answer.
  *perc = numKept > 0 ? kept / numKept : mean;
  return true;
}

void BZ_RlTrCalcLogoPixels(const UInt8 *logosPtr, SInt32 left, SInt32 logoHeight, SInt32 logoWidth,
                           const BZ_RlUnifFrame *unifFrames, const UInt8 *isMaskPixel, double perc,
                           UInt8 *logoPixels) {
  const double t = BZ_RlUnblendTransparency(perc), inv = 1.0 / (1.0 - t);
  const size_t copyBytes = size_t(logoWidth) * size_t(logoHeight) * 2;
  UInt8 *out = logoPixels;
  for (SInt32 row = 0; row < logoHeight; ++row)
    for (SInt32 i = 0; i < logoWidth; ++i) {
      const size_t p = size_t(row) * logoWidth + i;
      if (isMaskPixel[p] == 0) continue;
      const bool odd = (left + i) % 2 != 0;
      double ch = 0, y = 0;
      for (SInt32 k = 0; k < kBZ_RlNumUnifFrames; ++k) {
        const UInt8 *c = logosPtr + size_t(k) * copyBytes + 2 * p;
        const double bgC = odd ? unifFrames[k].avCr : unifFrames[k].avCb;
        ch += (c[0] - t * bgC) * inv;
        y += (c[1] - t * unifFrames[k].avY) * inv;
      }
      out[0] = UInt8((std::clamp(ch, 0.0, 2550.0) + 5) / 10);
      out[1] = UInt8((std::clamp(y, 0.0, 2550.0) + 5) / 10);
      out += 2;
    }
}

OSStatus BZ_RlTrGetLogoMask(BZ_RlParams *rlParams, SInt32 *numRealLogoPixels) {
  BZ_RlSett *sett = rlParams->sett;
  const Rect &r = rlParams->logoRect;
  const SInt32 width = BZ_RlLogoWidth(r), height = BZ_RlLogoHeight(r);
  double perc = sett->transparency;
  Boolean found;
  if (sett->findMask) {
    found = BZ_RlTrCalcMaskAndPercNew(rlParams->logosPtr, height, width, rlParams->unifFrames, rlParams->isMaskPixel,
                                      numRealLogoPixels, &perc);
  } else {
    found = BZ_RlTrCalcPerc(rlParams->logosPtr, height, width, rlParams->unifFrames, rlParams->isMaskPixel, &perc);
    *numRealLogoPixels = rlParams->numMaskPix;
  }
  // An empty candidate set is like too little data: nothing to average.
  if (!found) return kBZ_CouldNotMeasureTrLogoErr;
  rlParams->numMaskPix = *numRealLogoPixels;
  // A mask that is mostly background can measure at or above 1; the setting keeps its valid range.
  sett->transparency = std::clamp(perc, 0.0, 1.0);
  BZ_RlTrCalcLogoPixels(rlParams->logosPtr, r.left, height, width, rlParams->unifFrames, rlParams->isMaskPixel, perc,
                        rlParams->logoPixels);
  if (sett->allWhite)
    for (SInt32 k = 0; k < *numRealLogoPixels; ++k) rlParams->logoPixels[2 * k] = 128;
  return noErr;
}

OSStatus BZ_RlFinishAutoSettCalc(BZ_ProjDlgState *dlgState, BZ_ProjPtr project, BZ_RlParams *rlParams,
                                 BZ_BuffInfo *stage, MPQueueID endQueue) {
  if (dlgState != nullptr) dlgState->findingLogo = false;
  BZ_RlSett *sett = rlParams->sett;
  BZ_RlDlgTaskData *data = gBZ.dlgTaskData.rlDlgTaskData;
  OSStatus result = noErr;
  // Only the mask mode measures; an opaque logo only with findMask.
  const bool measured = sett->mode == kBZ_LogoModeUseMask && (sett->transparent || sett->findMask);
  if (measured && sett->transparent) {
    SInt32 numPixels = 0;
    result = rlParams->sufficientData ? BZ_RlTrGetLogoMask(rlParams, &numPixels) : kBZ_CouldNotMeasureTrLogoErr;
    if (result != noErr) sett->transparency = kFallbackTransparency;
    std::printf("KBZ: logo finding: %ld uniform backgrounds, transparency %.3f, error %ld\n",
                long(rlParams->numUnifFrames), sett->transparency, long(result));
    if (data != nullptr) {
      data->numMaskPix = result == noErr ? numPixels : 0;
      data->numLogoPixels = data->numMaskPix;
    }
    const OSStatus err = BZ_SendSetLogoTransparencyEvent();
    if (result == noErr) result = err;
  } else if (measured && data != nullptr) {
    data->numMaskPix = rlParams->numMaskPix;
  }
  if (result == noErr && measured && sett->findMask) {
    result = BZ_SendSetLogoMaskPicEvent(rlParams);
    if (result == noErr) result = BZ_RlWaitForMainThread(stage);
  }
  if (result == noErr && endQueue != nullptr)
    result = MPNotifyQueue(endQueue, BZ_Word(kBZ_RlTaskType), project, BZ_Word(kBZ_EndOfStreamMessage));
  return result;
}
