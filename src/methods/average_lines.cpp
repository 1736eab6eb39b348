// Averaging of two captures: the line kernels (see the header).
#include "methods/average_lines.h"

#include "general/least_squares.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

namespace {

// Moves the bytes at `phase` (0 chroma, 1 luma) of line 2 by `shift` pixels (pixel i takes pixel i - shift);
// the pixels left empty at the edge take line 1's bytes.
void MoveLineBytes(SInt32 width, SInt32 shift, int phase, const UInt8 *line1, UInt8 *line2) {
  shift = std::clamp(shift, -width, width);
  if (shift > 0) {
    for (SInt32 i = width - 1; i >= shift; --i) line2[2 * i + phase] = line2[2 * (i - shift) + phase];
    for (SInt32 i = 0; i < shift; ++i) line2[2 * i + phase] = line1[2 * i + phase];
  } else if (shift < 0) {
    for (SInt32 i = 0; i < width + shift; ++i) line2[2 * i + phase] = line2[2 * (i - shift) + phase];
    for (SInt32 i = width + shift; i < width; ++i) line2[2 * i + phase] = line1[2 * i + phase];
  }
}

inline UInt8 RoundToByte(float v) {
  const int i = int(v + 0.5f);
  return UInt8(std::clamp(i, 0, 255));
}

}  // namespace

SInt32 BZ_AvTempLineFloats(SInt32 width) { return width + kBZ_AvTempLineExtra; }

void BZ_AvGetFracShift(float shift, SInt32 *intShift, float *fracShift) {
  SInt32 i = 0;
  float f = 0.0f;
  // A shift this large never comes from a valid setting; it must not reach an index.
  if (std::isfinite(shift) && std::fabs(shift) < 1.0e6f) {
    i = SInt32(shift);
    f = shift - float(i);
    if (shift < 0.0f && f < -0.5f) {
      i -= 1;
      f += 1.0f;
    } else if (shift >= 0.0f && f > 0.5f) {
      i += 1;
      f -= 1.0f;
    }
  }
  if (intShift != nullptr) *intShift = i;
  if (fracShift != nullptr) *fracShift = f;
}

void BZ_GetInterpCoeff(float fracShift, float coeff[4]) {
  const float x = fracShift > 0.0f ? 2.0f - fracShift : 1.0f - fracShift;
  for (int k = 0; k < 4; ++k) {
    float unit[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    unit[k] = 1.0f;
    coeff[k] = NR_polintEq(0.0f, 1.0f, unit, 4, x);
  }
}

void BZ_AvShiftVideoLine(SInt32 width, SInt32 intShift, float fracShift, const UInt8 *linePtr1, float *tempLine,
                         UInt8 *linePtr2, const float coeff[4]) {
  assert(width >= 2 * kBZ_AvMaxShift && intShift >= -kBZ_AvMaxShift && intShift <= kBZ_AvMaxShift);

  // Chroma moves by an even count so that Cb stays on Cb.
  SInt32 chromaShift = intShift;
  if ((chromaShift & 1) != 0) chromaShift += fracShift > 0.0f ? 1 : -1;
  MoveLineBytes(width, chromaShift, 0, linePtr1, linePtr2);

  if (std::fabs(fracShift) < 0.0001f) {
    MoveLineBytes(width, intShift, 1, linePtr1, linePtr2);
    return;
  }

  // T[o + 16 + i] stands for output pixel i before the interpolation; line 2's luma lands intShift further.
  float *t = tempLine;
  const SInt32 o = fracShift > 0.0f ? 3 : 2;
  for (SInt32 i = 0; i < width; ++i) t[intShift + i + o + 16] = float(linePtr2[2 * i + 1]);
  if (intShift > 0) {
    for (SInt32 i = 0; i < intShift; ++i) t[o + 16 + i] = float(linePtr1[2 * i + 1]);
  } else if (intShift < 0) {
    for (SInt32 i = width + intShift; i < width; ++i) t[o + 16 + i] = float(linePtr1[2 * i + 1]);
  }
  // Two guard entries at each end repeat line 1's edge luma where line 2's data did not land; where only
  // one is free it repeats its data neighbour.
  const float first = float(linePtr1[1]);
  const float last = float(linePtr1[2 * (width - 1) + 1]);
  if (intShift >= 0) {
    t[o + 14] = first;
    t[o + 15] = first;
  } else if (intShift == -1) {
    t[o + 14] = t[o + 15];
  }
  if (intShift <= 0) {
    t[o + width + 16] = last;
    t[o + width + 17] = last;
  } else if (intShift == 1) {
    t[o + width + 17] = t[o + width + 16];
  }

  // In increasing order each entry is written after its last read, so the filter runs in place.
  const float c0 = coeff[0], c1 = coeff[1], c2 = coeff[2], c3 = coeff[3];
  for (SInt32 j = 4; j <= width + 27; ++j) t[j - 1] = c0 * t[j] + c1 * t[j + 1] + c2 * t[j + 2] + c3 * t[j + 3];
  for (SInt32 i = 0; i < width; ++i) linePtr2[2 * i + 1] = RoundToByte(t[i + 16]);
}

void BZ_AverageLine(SInt32 width, SInt32 intShift, float fracShift, float weight, const float coeff[4],
                    UInt8 *linePtr, const UInt8 *linePtr1, float *tempLineF, UInt8 *linePtr2) {
  BZ_AvShiftVideoLine(width, intShift, fracShift, linePtr1, tempLineF, linePtr2, coeff);
  const float weight2 = 1.0f - weight;
  for (SInt32 b = 0; b < 2 * width; ++b)
    linePtr[b] = UInt8(float(linePtr2[b]) * weight2 + float(linePtr1[b]) * weight + 0.5f);
}

void BZ_AverageLineUni(SInt32 width, SInt32 intShift, float fracShift, float weight, const float coeff[4],
                       UInt8 *linePtr, const UInt8 *linePtr1, float *tempLineF, UInt8 *linePtr2) {
  BZ_AverageLine(width, intShift, fracShift, weight, coeff, linePtr, linePtr1, tempLineF, linePtr2);
}

void BZ_Average(const BZ_AvParams *avParams, SInt32 subTaskNum, const UInt8 *inBuffer1, UInt8 *inBuffer2,
                UInt8 *outBuffer) {
  assert(avParams != nullptr && subTaskNum >= 0 && subTaskNum < avParams->numTempLines);
  const SInt32 width = avParams->width;
  const ptrdiff_t lineSize = ptrdiff_t(width) * 2;
  float *tempLine = avParams->tempLine[subTaskNum];
  for (SInt32 row = 0; row < avParams->height; ++row) {
    const ptrdiff_t offset = row * lineSize;
    BZ_AverageLineUni(width, avParams->intShift, avParams->fracShift, avParams->weight, avParams->coeff,
                      outBuffer + offset, inBuffer1 + offset, tempLine, inBuffer2 + offset);
  }
}

void BZ_AverageBand(SInt32 width, float bestShift, float curWeight, float *tempLine, const UInt8 *bandPtr1,
                    const UInt8 *bandPtr2, UInt8 *band) {
  SInt32 intShift;
  float fracShift;
  float coeff[4];
  BZ_AvGetFracShift(bestShift, &intShift, &fracShift);
  intShift = std::clamp<SInt32>(intShift, -kBZ_AvMaxShift, kBZ_AvMaxShift);
  BZ_GetInterpCoeff(fracShift, coeff);
  const size_t lineSize = size_t(width) * 2;
  for (SInt32 row = 0; row < kBZ_AvBandLines; ++row) {
    UInt8 *line = band + row * lineSize;
    // The copy is shifted, never movie 2's buffer: every trial weight sees the same data.
    std::memcpy(line, bandPtr2 + row * lineSize, lineSize);
    BZ_AverageLineUni(width, intShift, fracShift, curWeight, coeff, line, bandPtr1 + row * lineSize, tempLine,
                      line);
  }
}
