// Frame measurements for the analysis tasks: white line, black bars, noise level and frame difference, the
// scalar kernels and the dispatchers. The SSE frame difference lives in frame_analysis_sse.cpp.
#include "engine/runtime/frame_analysis.h"

#include "engine/runtime/project_types.h"

#include <cassert>
#include <cstdlib>

namespace {

constexpr int kWhiteFirstColumn = 140;  // padded columns tested for a white line piece
constexpr int kWhiteLastColumn = 249;
constexpr UInt8 kWhiteMinChroma = 98;
constexpr UInt8 kWhiteMaxChroma = 158;
constexpr UInt8 kWhiteMinLuma = 200;

constexpr UInt8 kBlackMaxLuma = 58;  // luma below 59 is black

constexpr int kBlockSize = 16;
constexpr int kFirstBlockColumn = 16;  // picture column of the first noise block
constexpr SInt32 kMinBlockLumaSum = 12289;  // mean luma above 48 ...
constexpr SInt32 kMaxBlockLumaSum = 53248;  // ... and below 208
constexpr float kMaxFrameNoiseLevel = 40.0f;

constexpr int kDiffFirstRow = 24;  // buffer row and padded column where the frame difference starts
constexpr int kDiffFirstColumn = 24;

// More than 95 % of n, truncated; computed in integers so that no rounding of 0.95 moves the threshold.
inline SInt32 BlackCountThreshold(SInt32 n) { return SInt32((SInt64(n) * 95) / 100); }

// Keeps the three lowest values in ascending order.
template <typename T>
inline void InsertLowest(T *lowest, T value) {
  if (value < lowest[0]) {
    lowest[2] = lowest[1];
    lowest[1] = lowest[0];
    lowest[0] = value;
  } else if (value < lowest[1]) {
    lowest[2] = lowest[1];
    lowest[1] = value;
  } else if (value < lowest[2]) {
    lowest[2] = value;
  }
}

inline int HistogramBin(int d) {
  int x = d + 32;
  if (x < 0) x = 0;
  if (x > 63) x = 63;
  return x >> 2;
}

}  // namespace

// ---- White line --------------------------------------------------------------------------------------------

Boolean BZ_IsWhiteLinePieceRow(const UInt8 *rowPtr) {
  assert(rowPtr != nullptr);
  for (int x = kWhiteFirstColumn; x <= kWhiteLastColumn; ++x) {
    const UInt8 chroma = rowPtr[2 * x];
    const UInt8 luma = rowPtr[2 * x + 1];
    if (chroma < kWhiteMinChroma || chroma > kWhiteMaxChroma || luma < kWhiteMinLuma) return false;
  }
  return true;
}

// ---- Black bars ---------------------------------------------------------------------------------------------

SInt32 BZ_GetBlackBarSizeHoriz(const UInt8 *buffer, SInt32 inWidth, SInt32 width, SInt32 maxHeight,
                               Boolean fromTop) {
  assert(buffer != nullptr && inWidth >= 0 && width >= inWidth);
  const ptrdiff_t step = (fromTop ? 1 : -1) * ptrdiff_t(width) * 2;
  const SInt32 threshold = BlackCountThreshold(inWidth);
  SInt32 size = 0;
  for (const UInt8 *row = buffer; size < maxHeight; row += step, ++size) {
    SInt32 black = 0;
    for (SInt32 x = 0; x < inWidth; ++x) black += row[2 * x + 1] <= kBlackMaxLuma;
    if (black <= threshold) break;
  }
  return size;
}

SInt32 BZ_GetBlackBarSizeVert(const UInt8 *buffer, SInt32 height, SInt32 inWidth, SInt32 width, SInt32 maxWidth,
                              Boolean fromLeft) {
  assert(buffer != nullptr && height >= 0 && inWidth >= 0 && width >= inWidth);
  const size_t rowBytes = size_t(width) * 2;
  const SInt32 threshold = BlackCountThreshold(height);
  SInt32 size = 0;
  for (; size < maxWidth && size < inWidth; ++size) {
    const SInt32 x = fromLeft ? size : inWidth - 1 - size;
    const UInt8 *luma = buffer + 2 * size_t(x) + 1;
    SInt32 black = 0;
    for (SInt32 y = 0; y < height; ++y) black += luma[y * rowBytes] <= kBlackMaxLuma;
    if (black <= threshold) break;
  }
  return size;
}

// ---- Noise level ----------------------------------------------------------------------------------------------

void BZ_GetBandNoiseLevelOpt(const UInt8 *linePtr, SInt32 inWidth, SInt32 lineSize, SInt32 *minFrameNoiseLevel) {
  assert(linePtr != nullptr && minFrameNoiseLevel != nullptr);
  const SInt32 numBlocks = (inWidth - 40) / kBlockSize;
  for (SInt32 b = 0; b < numBlocks; ++b) {
    const UInt8 *block = linePtr + 2 * (kFirstBlockColumn + b * kBlockSize);
    // Sums first: most blocks of a picture pass the luma test, but the dark and bright ones are skipped
    // before their deviations are computed.
    SInt32 sumCb = 0, sumCr = 0, sumY = 0;
    for (int y = 0; y < kBlockSize; ++y) {
      const UInt8 *p = block + ptrdiff_t(y) * lineSize;
      for (int x = 0; x < 2 * kBlockSize; x += 4) {
        sumCb += p[x];
        sumY += p[x + 1] + p[x + 3];
        sumCr += p[x + 2];
      }
    }
    if (sumY < kMinBlockLumaSum || sumY >= kMaxBlockLumaSum) continue;
    SInt32 devC = 0, devY = 0;
    for (int y = 0; y < kBlockSize; ++y) {
      const UInt8 *p = block + ptrdiff_t(y) * lineSize;
      for (int x = 0; x < 2 * kBlockSize; x += 4) {
        devC += std::abs(128 * p[x] - sumCb) + std::abs(128 * p[x + 2] - sumCr);
        devY += std::abs(256 * p[x + 1] - sumY) + std::abs(256 * p[x + 3] - sumY);
      }
    }
    InsertLowest(minFrameNoiseLevel, 2 * devC + devY);
  }
}

void BZ_GetBandNoiseLevelOptUni(const UInt8 *linePtr, SInt32 inWidth, SInt32 lineSize, SInt32 *minFrameNoiseLevel) {
  BZ_GetBandNoiseLevelOpt(linePtr, inWidth, lineSize, minFrameNoiseLevel);
}

void BZ_GetBandNoiseLevel(const UInt8 *linePtr, SInt32 inWidth, SInt32 lineSize, float *minFrameNoiseLevel) {
  assert(linePtr != nullptr && minFrameNoiseLevel != nullptr);
  const SInt32 numBlocks = (inWidth - 40) / kBlockSize;
  for (SInt32 b = 0; b < numBlocks; ++b) {
    const UInt8 *block = linePtr + 2 * (kFirstBlockColumn + b * kBlockSize);
    float sumCb = 0.0f, sumCr = 0.0f, sumY = 0.0f;
    for (int y = 0; y < kBlockSize; ++y) {
      const UInt8 *p = block + ptrdiff_t(y) * lineSize;
      for (int x = 0; x < 2 * kBlockSize; x += 4) {
        sumCb += p[x];
        sumY += float(p[x + 1]) + float(p[x + 3]);
        sumCr += p[x + 2];
      }
    }
    const float meanCb = sumCb / 128.0f, meanCr = sumCr / 128.0f, meanY = sumY / 256.0f;
    if (!(meanY > 48.0f && meanY < 208.0f)) continue;
    float devCb = 0.0f, devCr = 0.0f, devY = 0.0f;
    for (int y = 0; y < kBlockSize; ++y) {
      const UInt8 *p = block + ptrdiff_t(y) * lineSize;
      for (int x = 0; x < 2 * kBlockSize; x += 4) {
        devCb += std::abs(float(p[x]) - meanCb);
        devCr += std::abs(float(p[x + 2]) - meanCr);
        devY += std::abs(float(p[x + 1]) - meanY) + std::abs(float(p[x + 3]) - meanY);
      }
    }
    InsertLowest(minFrameNoiseLevel, 0.5f * (devCb / 128.0f + devCr / 128.0f) + devY / 256.0f);
  }
}

float BZ_GetFrameNoiseLevel(const UInt8 *buffer, SInt32 inWidth, SInt32 inHeight, SInt32 width, Boolean interlaced) {
  if (buffer == nullptr) return 0.0f;
  SInt32 lowest[kBZ_NumMinNoiseLevels] = {kBZ_NoNoiseLevel, kBZ_NoNoiseLevel, kBZ_NoNoiseLevel};
  const SInt32 lineSize = 2 * width;
  const UInt8 *picture = buffer + ptrdiff_t(interlaced ? 16 : 8) * lineSize + 16;
  const SInt32 numBands = (inHeight - 40) / kBlockSize;
  for (SInt32 band = 0; band < numBands; ++band)
    BZ_GetBandNoiseLevelOptUni(picture + ptrdiff_t(band) * kBlockSize * lineSize, inWidth, lineSize, lowest);
  if (lowest[2] == kBZ_NoNoiseLevel) return 0.0f;
  const float level = float(SInt64(lowest[0]) + lowest[1] + lowest[2]) / 196608.0f;
  return level > kMaxFrameNoiseLevel ? 0.0f : level;
}

// ---- Frame difference -------------------------------------------------------------------------------------------

SInt32 BZ_GetDiffLineWidth(SInt32 inWidth) { return inWidth < 48 ? 0 : (inWidth - 32) & ~15; }

void BZ_Calc20LineDiff(const UInt8 *inBuffer, const UInt8 *outBuffer, SInt32 inWidth, SInt32 lineSize,
                       SInt32 numLines, float *lineDiff, SInt32 *numDiff, Boolean calcOptScale, float *optScalePtrY,
                       float *optScalePtrC) {
  assert(inBuffer != nullptr && outBuffer != nullptr && lineDiff != nullptr && numDiff != nullptr);
  const SInt32 usedWidth = BZ_GetDiffLineWidth(inWidth);
  const SInt64 groupPixels = numLines > 0 ? SInt64(usedWidth) * numLines : 0;
  UInt32 histogramC[kBZ_NumOptScaleBins] = {};
  UInt32 histogramY[kBZ_NumOptScaleBins] = {};
  SInt64 changed = 0;
  for (int g = 0; g < kBZ_NumDiffGroups; ++g) {
    SInt64 groupSum = 0;
    for (SInt32 r = 0; r < numLines; ++r) {
      const ptrdiff_t offset = ptrdiff_t(kDiffFirstRow + g * numLines + r) * lineSize + 2 * kDiffFirstColumn;
      const UInt8 *in = inBuffer + offset;
      const UInt8 *out = outBuffer + offset;
      for (SInt32 x = 0; x < usedWidth; ++x) {
        const int dC = int(out[2 * x]) - int(in[2 * x]);
        const int dY = int(out[2 * x + 1]) - int(in[2 * x + 1]);
        groupSum += std::abs(dC) + std::abs(dY);
        changed += (dC != 0 || dY != 0);
        if (calcOptScale) {
          ++histogramC[HistogramBin(dC)];
          ++histogramY[HistogramBin(dY)];
        }
      }
    }
    lineDiff[g] = groupPixels > 0 ? float(double(groupSum) / double(groupPixels)) : 0.0f;
  }
  *numDiff = SInt32(changed);
  if (calcOptScale && optScalePtrY != nullptr && optScalePtrC != nullptr)
    BZ_CalcOptNoiseScale(histogramC, histogramY, optScalePtrC, optScalePtrY);
}

void BZ_Calc20LineDiffUni(const UInt8 *inBuffer, const UInt8 *outBuffer, SInt32 inWidth, SInt32 lineSize,
                          SInt32 numLines, float *lineDiff, SInt32 *numDiff, Boolean calcOptScale,
                          float *optScalePtrY, float *optScalePtrC) {
  if (gBZ.procInfo.hasSSE3)
    BZ_Calc20LineDiffAcc(inBuffer, outBuffer, inWidth, lineSize, numLines, lineDiff, numDiff, calcOptScale,
                         optScalePtrY, optScalePtrC);
  else
    BZ_Calc20LineDiff(inBuffer, outBuffer, inWidth, lineSize, numLines, lineDiff, numDiff, calcOptScale,
                      optScalePtrY, optScalePtrC);
}

float BZ_CalcLevel90(const UInt32 *histogram) {
  assert(histogram != nullptr);
  double total = 0.0;
  for (int i = 0; i < kBZ_NumLevel90Bins; ++i) total += histogram[i];
  if (total == 0.0) return 7.0f;
  const double limit = 0.9 * total;
  double running = 0.0;
  for (int i = 0; i < kBZ_NumLevel90Bins; ++i) {
    const double before = running;
    running += histogram[i];
    if (running > limit) return i == 0 ? 0.9f : float(i + (limit - before) / (running - before));
  }
  return 7.0f;  // not reached: the whole sum exceeds 90 % of itself
}

void BZ_CalcOptNoiseScale(const UInt32 *histogramC, const UInt32 *histogramY, float *optScalePtrC,
                          float *optScalePtrY) {
  assert(histogramC != nullptr && histogramY != nullptr && optScalePtrC != nullptr && optScalePtrY != nullptr);
  auto level = [](const UInt32 *histogram) {
    // Both sides counted outwards from a zero difference: bin 7 (-4..-1) is left out on the negative side.
    UInt32 negative[kBZ_NumLevel90Bins], positive[kBZ_NumLevel90Bins];
    for (int i = 0; i < kBZ_NumLevel90Bins; ++i) {
      negative[i] = histogram[6 - i];
      positive[i] = histogram[8 + i];
    }
    const float n = BZ_CalcLevel90(negative), p = BZ_CalcLevel90(positive);
    return n > p ? n : p;
  };
  *optScalePtrC = 12.6f / level(histogramC);
  *optScalePtrY = 6.3f / level(histogramY);
}
