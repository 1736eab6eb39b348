// Cross-luma removal's kernel: constant-chroma stretches per line, the 3x3 block test and the zone walk.
#include "methods/cross_luma.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

typedef BZ_Cl_ConstChromaInterval Interval;

// The application's kBZ_ExcLimNumChromaIntervOnLineErr ("BZ ExcLimNumChromaIntervOnLineErr").
constexpr OSStatus kTooManyIntervalsErr = 5022;

// In a '2vuy' line the pair of pixels x, x + 1 (x even) is Cb, Y0, Cr, Y1.
inline SInt32 CbAt(const UInt8 *line, SInt32 x) { return line[2 * x]; }
inline SInt32 CrAt(const UInt8 *line, SInt32 x) { return line[2 * x + 2]; }

// The running chroma sums of a stretch search at pair x: the window is the last h pairs (for an odd test
// length its whole pairs).
inline void SlideWindow(const UInt8 *line, SInt32 x, SInt32 h, SInt32 *sumCb, SInt32 *sumCr) {
  *sumCb += CbAt(line, x);
  *sumCr += CrAt(line, x);
  if (x >= 2 * h) {
    *sumCb -= CbAt(line, x - 2 * h);
    *sumCr -= CrAt(line, x - 2 * h);
  }
}

// The 3x3 block's deviations: D, the sum of |3 Y - sum| over its rows and columns, their spread
// S = sum of |D - 6 dev| and the sum of the nine lumas. Rows are two buffer lines apart.
struct BlockStats {
  SInt32 d;
  SInt32 s;
  SInt32 total;
};

[[gnu::always_inline]] inline BlockStats MeasureBlock(const UInt8 *blockPtr, SInt32 lineSize) {
  const size_t rowStep = size_t(2) * size_t(lineSize);
  SInt32 y[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) y[r][c] = blockPtr[r * rowStep + 2 * size_t(c)];
  SInt32 dev[6];
  SInt32 total = 0;
  for (int i = 0; i < 3; ++i) {
    const SInt32 rowSum = y[i][0] + y[i][1] + y[i][2];
    const SInt32 colSum = y[0][i] + y[1][i] + y[2][i];
    total += rowSum;
    dev[i] = std::abs(3 * y[i][0] - rowSum) + std::abs(3 * y[i][1] - rowSum) + std::abs(3 * y[i][2] - rowSum);
    dev[3 + i] = std::abs(3 * y[0][i] - colSum) + std::abs(3 * y[1][i] - colSum) + std::abs(3 * y[2][i] - colSum);
  }
  BlockStats b{0, 0, total};
  for (SInt32 v : dev) b.d += v;
  for (SInt32 v : dev) b.s += std::abs(b.d - 6 * v);
  return b;
}

// The integer thresholds of the settings.
struct IntThresholds {
  SInt32 min54;
  SInt32 max54;
  SInt32 pct;
};

IntThresholds ThresholdsOf(const BZ_Cl_Sett &sett) {
  return {sett.minStddev * 54, sett.maxStddev * 54, SInt32(std::lround(sett.percentage * 24576.0))};
}

// The integer block test: true when the centre was written.
[[gnu::always_inline]] inline bool TestBlockInt(SInt32 min54, SInt32 max54, SInt32 pct, const UInt8 *blockPtr,
                                                UInt8 *targetPixelPtr, SInt32 lineSize) {
  const BlockStats b = MeasureBlock(blockPtr, lineSize);
  if (!(b.d > min54 && ((pct * b.d) >> 12) > b.s && b.d < max54)) return false;
  *targetPixelPtr = UInt8((b.total * 7282 + 3641) >> 16);
  return true;
}

// The same answering the direction of the change.
[[gnu::always_inline]] inline SInt32 TestBlockSign(SInt32 min54, SInt32 max54, SInt32 pct, const UInt8 *blockPtr,
                                                   UInt8 *targetPixelPtr, SInt32 lineSize) {
  const UInt8 old = *targetPixelPtr;
  if (!TestBlockInt(min54, max54, pct, blockPtr, targetPixelPtr, lineSize)) return 0;
  return *targetPixelPtr > old ? 1 : *targetPixelPtr < old ? -1 : 0;
}

// Advances *j in the list to the first gap (between stretches j and j + 1) whose widened end reaches x + 3;
// true when that gap also begins, widened, before x.
inline bool InGap(const Interval *list, SInt32 count, SInt32 *j, SInt32 x, SInt32 extent) {
  while (*j <= count - 2 && list[*j + 1].start + extent < x + 3) ++*j;
  if (*j > count - 2) return false;
  return list[*j].end - extent < x;
}

// The live block test moving along one line: the zone walk visits blocks left to right, mostly one pixel
// apart, so the lumas, sums and deviations of the columns the block shares with the one before are kept
// rather than read and worked out again. The answers are those of TestBlockSign.
struct SlidingBlock {
  const UInt8 *rows[3];  // luma byte of pixel 0 in lines y, y + 2 and y + 4 of the input
  SInt32 x;              // the block's left column; far left of the line when none is held
  SInt32 luma[3][3];     // [column][row] of the block held
  SInt32 colSum[3];
  SInt32 colDev[3];

  SlidingBlock(const UInt8 *line, size_t rowBytes) : rows{line, line + 2 * rowBytes, line + 4 * rowBytes}, x(-8) {}

  [[gnu::always_inline]] void LoadColumn(int slot, SInt32 column) {
    const size_t at = 2 * size_t(column);
    const SInt32 a = rows[0][at], b = rows[1][at], c = rows[2][at];
    const SInt32 sum = a + b + c;
    luma[slot][0] = a;
    luma[slot][1] = b;
    luma[slot][2] = c;
    colSum[slot] = sum;
    colDev[slot] = std::abs(3 * a - sum) + std::abs(3 * b - sum) + std::abs(3 * c - sum);
  }

  [[gnu::always_inline]] void MoveTo(SInt32 left) {
    if (left == x + 1) {
      for (int k = 0; k < 2; ++k) {
        for (int r = 0; r < 3; ++r) luma[k][r] = luma[k + 1][r];
        colSum[k] = colSum[k + 1];
        colDev[k] = colDev[k + 1];
      }
      LoadColumn(2, left + 2);
    } else {
      for (int k = 0; k < 3; ++k) LoadColumn(k, left + k);
    }
    x = left;
  }

  // The block at left column x: the centre's change of direction (see TestBlockSign).
  [[gnu::always_inline]] SInt32 Test(SInt32 left, const IntThresholds &t, UInt8 *targetPixelPtr) {
    MoveTo(left);
    SInt32 rowDev[3];
    SInt32 d = colDev[0] + colDev[1] + colDev[2];
    for (int r = 0; r < 3; ++r) {
      const SInt32 sum = luma[0][r] + luma[1][r] + luma[2][r];
      rowDev[r] = std::abs(3 * luma[0][r] - sum) + std::abs(3 * luma[1][r] - sum) + std::abs(3 * luma[2][r] - sum);
      d += rowDev[r];
    }
    const SInt32 s = std::abs(d - 6 * rowDev[0]) + std::abs(d - 6 * rowDev[1]) + std::abs(d - 6 * rowDev[2]) +
                     std::abs(d - 6 * colDev[0]) + std::abs(d - 6 * colDev[1]) + std::abs(d - 6 * colDev[2]);
    // Without branches: whether a block passes follows the picture, which a branch predictor cannot.
    const bool passes = (d > t.min54) & (d < t.max54) & (((t.pct * d) >> 12) > s);
    const SInt32 old = *targetPixelPtr;
    const SInt32 mean = ((colSum[0] + colSum[1] + colSum[2]) * 7282 + 3641) >> 16;
    const SInt32 value = old + ((mean - old) & -SInt32(passes));
    *targetPixelPtr = UInt8(value);
    return SInt32(value > old) - SInt32(value < old);
  }
};

enum class BlockTest { kFloat, kInt, kIntUndoEdges };

// The zone walk of line y (blocks on lines y, y + 2, y + 4, centres on line y + 2) with the stretch lists
// of those lines; only the block test and the undoing of edges differ between the filters. signs (the
// undoing filter's, one per pixel: +1 where the centre rose, -1 where it fell) is all zero on entry and is
// left so.
template <BlockTest kTest>
void WalkLine(const BZ_ClParams *p, SInt32 y, const IntThresholds &t, const UInt8 *inBuffer, UInt8 *outBuffer,
              const Interval *first, SInt32 numFirst, const Interval *middle, SInt32 numMiddle, const Interval *last,
              SInt32 numLast, SInt8 *signs) {
  const SInt32 width = p->width, extent = p->sett->extent;
  const size_t rowBytes = size_t(width) * 2;
  const UInt8 *blockLine = inBuffer + size_t(y) * rowBytes + 1;
  UInt8 *targetLine = outBuffer + size_t(y + 2) * rowBytes + 1;
  SlidingBlock block(blockLine, rowBytes);
  const UInt8 *inLine = inBuffer + size_t(y + 2) * rowBytes + 1;
  // Centres are handled once each, left to right: lastPos is the last one handled. The undoing filter keeps
  // the signs of the last two centres handled (at lastPos and lastPos - 1) to see three neighbours that moved
  // the same way as soon as the third is handled; a restored centre is never handled again on this line.
  SInt32 lastPos = 0, j = 0, k = 0, firstHandled = width, lastHandled = -1;
  SInt32 signAtLast = 0, signBeforeLast = 0;
  for (SInt32 i = 0; i + 1 < numFirst; ++i) {
    // Clipped to the line: with a wide extent the zone would reach past either end.
    const SInt32 s = std::max(first[i].end - extent, 0);
    const SInt32 e = std::min(first[i + 1].start + extent, width);
    for (SInt32 x = s; x < e - 2; ++x) {
      if (!InGap(middle, numMiddle, &j, x, extent) || !InGap(last, numLast, &k, x, extent)) continue;
      if (x + 1 <= lastPos) continue;
      const SInt32 centre = x + 1;
      UInt8 *target = targetLine + 2 * size_t(centre);
      if constexpr (kTest == BlockTest::kFloat) {
        BZ_Cl_Filter3x3Block(float(p->sett->minStddev), float(p->sett->maxStddev), float(p->sett->percentage),
                             blockLine + 2 * size_t(x), target, SInt32(rowBytes));
      } else if constexpr (kTest == BlockTest::kInt) {
        TestBlockInt(t.min54, t.max54, t.pct, blockLine + 2 * size_t(x), target, SInt32(rowBytes));
      } else {
        const SInt32 sign = block.Test(x, t, target);
        const bool follows = centre == lastPos + 1;
        // Evaluated whole: the signs follow the picture, and a short-circuit would branch on them.
        const bool edge = follows & (sign != 0) & (signAtLast == sign) & (signBeforeLast == sign);
        if (edge)
          for (SInt32 q = centre - 2; q <= centre; ++q) targetLine[2 * q] = inLine[2 * q];
        signBeforeLast = follows ? signAtLast : 0;
        signAtLast = sign;
        signs[centre] = SInt8(sign);
        firstHandled = std::min(firstHandled, centre);
        lastHandled = centre;
      }
      lastPos = centre;
    }
  }
  // The line's signs go back to zero for the next line.
  if (kTest == BlockTest::kIntUndoEdges && firstHandled <= lastHandled)
    std::memset(signs + firstHandled, 0, size_t(lastHandled - firstHandled + 1));
}

// The zone walk over the frame.
template <BlockTest kTest>
void WalkZones(const BZ_ClParams *p, SInt32 subTaskNum, const UInt8 *inBuffer, UInt8 *outBuffer,
               const Interval *intervals, const SInt32 *counts) {
  const SInt32 m = BZ_ClMaxIntervals(p->width);
  const IntThresholds t = ThresholdsOf(*p->sett);
  SInt8 *signs = kTest == BlockTest::kIntUndoEdges ? p->diffSigns[subTaskNum] : nullptr;
  if (signs != nullptr) std::memset(signs, 0, size_t(p->width));
  for (SInt32 y = 0; y < p->height - 4; ++y) {
    const Interval *first = intervals + size_t(y) * size_t(m);
    WalkLine<kTest>(p, y, t, inBuffer, outBuffer, first, counts[y], first + 2 * size_t(m), counts[y + 2],
                    first + 4 * size_t(m), counts[y + 4], signs);
  }
}

// The live stretch search of one line (BZ_Cl_MakeConstChromaIntervalListOpt); kPairs is the window's length
// in pixel pairs when fixed at compile time, 0 when it is taken from the settings.
template <SInt32 kPairs>
OSStatus FindStretches(const UInt8 *linePtr, const BZ_ClParams *clParams, Interval *intervals,
                       SInt32 *numConstChromaIntervals) {
  const BZ_Cl_Sett &sett = *clParams->sett;
  const SInt32 width = clParams->width;
  const SInt32 testLen = sett.constChromaTestLen, h = kPairs != 0 ? kPairs : testLen / 2;
  const SInt32 threshold = sett.maxChromaStddev * h * h;
  const SInt32 maxCount = BZ_ClMaxIntervals(width);
  SInt32 sumCb = 0, sumCr = 0, start = 0, count = 0;
  *numConstChromaIntervals = 0;
  for (SInt32 x = 0; x < width; x += 2) {
    SlideWindow(linePtr, x, h, &sumCb, &sumCr);
    if (x < start + testLen) continue;
    SInt32 dev = 0;
    const UInt8 *pair = linePtr + 2 * size_t(x - 2 * (h - 1));
    _Pragma("GCC unroll 10") for (SInt32 q = 0; q < h; ++q, pair += 4)
      dev += std::abs(pair[0] * h - sumCb) + std::abs(pair[2] * h - sumCr);
    if (dev <= threshold) continue;
    if (x < start + sett.minConstChromaLen) {
      start += 2;
      continue;
    }
    intervals[count].start = start;
    intervals[count].end = x;
    start = x;
    *numConstChromaIntervals = ++count;
    if (count >= maxCount) return kTooManyIntervalsErr;
  }
  return noErr;
}

}  // namespace

SInt32 BZ_ClMaxIntervals(SInt32 width) { return std::max<SInt32>(width / 10, 1); }

OSStatus BZ_ClNewAreas(BZ_ClParams *clParams, SInt32 numSubTasks) {
  if (clParams == nullptr || numSubTasks < 1 || clParams->width < 1 || clParams->height < 1) return paramErr;
  BZ_ClDisposeAreas(clParams);
  const size_t m = size_t(BZ_ClMaxIntervals(clParams->width));
  const size_t lines = size_t(clParams->height);
  const size_t n = size_t(numSubTasks);
  constexpr size_t kAlign = alignof(std::max_align_t);
  auto round = [](size_t bytes) { return (bytes + kAlign - 1) / kAlign * kAlign; };
  const size_t pointers = round(n * (sizeof(Interval *) + sizeof(SInt32 *) + sizeof(SInt8 *)));
  const size_t perWorker = round(lines * m * sizeof(Interval)) + round(lines * sizeof(SInt32)) +
                           round(size_t(clParams->width));
  void *block = std::calloc(1, pointers + n * perWorker);
  if (block == nullptr) return memFullErr;
  auto *bytes = static_cast<UInt8 *>(block);
  clParams->intervals = reinterpret_cast<Interval **>(bytes);
  clParams->numIntervals = reinterpret_cast<SInt32 **>(clParams->intervals + n);
  clParams->diffSigns = reinterpret_cast<SInt8 **>(clParams->numIntervals + n);
  UInt8 *area = bytes + pointers;
  for (size_t w = 0; w < n; ++w) {
    clParams->intervals[w] = reinterpret_cast<Interval *>(area);
    area += round(lines * m * sizeof(Interval));
    clParams->numIntervals[w] = reinterpret_cast<SInt32 *>(area);
    area += round(lines * sizeof(SInt32));
    clParams->diffSigns[w] = reinterpret_cast<SInt8 *>(area);
    area += round(size_t(clParams->width));
  }
  clParams->areas = block;
  clParams->numSubTasks = numSubTasks;
  return noErr;
}

void BZ_ClDisposeAreas(BZ_ClParams *clParams) {
  if (clParams == nullptr) return;
  std::free(clParams->areas);
  clParams->areas = nullptr;
  clParams->intervals = nullptr;
  clParams->numIntervals = nullptr;
  clParams->diffSigns = nullptr;
  clParams->numSubTasks = 0;
}

OSStatus BZ_CrossLuma(BZ_ClParams *clParams, SInt32 subTaskNum, const UInt8 *inBuffer, UInt8 *outBuffer) {
  if (clParams == nullptr || clParams->sett == nullptr || clParams->areas == nullptr || inBuffer == nullptr ||
      outBuffer == nullptr || subTaskNum < 0 || subTaskNum >= clParams->numSubTasks)
    return paramErr;
  const BZ_ClParams *p = clParams;
  const SInt32 height = p->height;
  const size_t rowBytes = size_t(p->width) * 2;
  const size_t m = size_t(BZ_ClMaxIntervals(p->width));
  const IntThresholds t = ThresholdsOf(*p->sett);
  Interval *intervals = p->intervals[subTaskNum];
  SInt32 *counts = p->numIntervals[subTaskNum];
  SInt8 *signs = p->diffSigns[subTaskNum];
  std::memset(signs, 0, size_t(p->width));
  // One pass down the frame: line y is copied and its stretches found, then line y - 4, whose blocks reach
  // down to line y, is filtered; the lines a block reads are still in the cache.
  for (SInt32 y = 0; y < height; ++y) {
    const size_t at = size_t(y) * rowBytes;
    std::memcpy(outBuffer + at, inBuffer + at, rowBytes);
    if (OSStatus err = BZ_Cl_MakeConstChromaIntervalListOpt(inBuffer + at, p, intervals + size_t(y) * m, &counts[y]);
        err != noErr) {
      // The frame goes on unfiltered, lines already filtered included.
      std::memcpy(outBuffer, inBuffer, rowBytes * size_t(height));
      return err;
    }
    if (y < 4) continue;
    const Interval *first = intervals + size_t(y - 4) * m;
    WalkLine<BlockTest::kIntUndoEdges>(p, y - 4, t, inBuffer, outBuffer, first, counts[y - 4], first + 2 * m,
                                       counts[y - 2], first + 4 * m, counts[y], signs);
  }
  return noErr;
}

OSStatus BZ_Cl_MakeConstChromaIntervalListOpt(const UInt8 *linePtr, const BZ_ClParams *clParams,
                                              Interval *intervals, SInt32 *numConstChromaIntervals) {
  if (linePtr == nullptr || clParams == nullptr || clParams->sett == nullptr || intervals == nullptr ||
      numConstChromaIntervals == nullptr)
    return paramErr;
  // The window's length is a setting of a few values: with it fixed the deviation's loop unrolls.
  switch (clParams->sett->constChromaTestLen / 2) {
    case 2: return FindStretches<2>(linePtr, clParams, intervals, numConstChromaIntervals);
    case 3: return FindStretches<3>(linePtr, clParams, intervals, numConstChromaIntervals);
    case 4: return FindStretches<4>(linePtr, clParams, intervals, numConstChromaIntervals);
    case 5: return FindStretches<5>(linePtr, clParams, intervals, numConstChromaIntervals);
    default: return FindStretches<0>(linePtr, clParams, intervals, numConstChromaIntervals);
  }
}

OSStatus BZ_Cl_MakeConstChromaIntervalList(SInt32 width, const UInt8 *linePtr, const BZ_ClParams *clParams,
                                           Interval *intervals, SInt32 *count) {
  if (linePtr == nullptr || clParams == nullptr || clParams->sett == nullptr || intervals == nullptr ||
      count == nullptr || width < 2)
    return paramErr;
  const BZ_Cl_Sett &sett = *clParams->sett;
  const SInt32 testLen = sett.constChromaTestLen, h = testLen / 2;
  if (h < 1) return paramErr;
  const SInt32 maxCount = BZ_ClMaxIntervals(width);
  const float maxDev = float(sett.maxChromaStddev);
  SInt32 sumCb = 0, sumCr = 0, start = 0, n = 0;
  bool begun = false;
  Interval current{};
  *count = 0;
  for (SInt32 x = 0; x < width; x += 2) {
    SlideWindow(linePtr, x, h, &sumCb, &sumCr);
    if (x < start + testLen) continue;
    const float meanCb = float(sumCb) / float(h), meanCr = float(sumCr) / float(h);
    float devCb = 0.0f, devCr = 0.0f;
    for (SInt32 q = x - 2 * (h - 1); q <= x; q += 2) {
      devCb += std::fabs(float(CbAt(linePtr, q)) - meanCb);
      devCr += std::fabs(float(CrAt(linePtr, q)) - meanCr);
    }
    devCb /= float(h);
    devCr /= float(h);
    if (devCb + devCr <= maxDev) {
      if (!begun) {
        current.avCbStart = meanCb;
        current.avCrStart = meanCr;
        begun = true;
      }
      current.avCb = meanCb;
      current.avCr = meanCr;
      current.cbStdDev = devCb;
      current.crStdDev = devCr;
      continue;
    }
    if (x >= start + sett.minConstChromaLen) {
      current.start = start;
      current.end = x;
      current.next = current.prev = nullptr;
      intervals[n] = current;
      if (n > 0) {
        intervals[n - 1].next = &intervals[n];
        intervals[n].prev = &intervals[n - 1];
      }
      *count = ++n;
      if (n >= maxCount) return kTooManyIntervalsErr;
    }
    start = x;
    begun = false;
    current = Interval{};
  }
  return noErr;
}

Boolean BZ_Cl_Filter3x3Block(float minStddev, float maxStddev, float percentage, const UInt8 *blockPtr,
                             UInt8 *targetPixelPtr, SInt32 lineSize) {
  const BlockStats b = MeasureBlock(blockPtr, lineSize);
  const float d = float(b.d);
  if (!(d > 54.0f * minStddev && 6.0f * percentage * d > float(b.s) && d < 54.0f * maxStddev)) return false;
  *targetPixelPtr = UInt8(SInt32(float(b.total) / 9.0f));
  return true;
}

Boolean BZ_Cl_Filter3x3BlockOpt(SInt32 minStddevInt, SInt32 maxStddevInt, SInt32 percentageInt,
                                const UInt8 *blockPtr, UInt8 *targetPixelPtr, SInt32 lineSize) {
  return TestBlockInt(minStddevInt, maxStddevInt, percentageInt, blockPtr, targetPixelPtr, lineSize);
}

SInt32 BZ_Cl_Filter3x3BlockNew(SInt32 minStddevInt, SInt32 maxStddevInt, SInt32 percentageInt,
                               const UInt8 *blockPtr, UInt8 *targetPixelPtr, SInt32 lineSize) {
  return TestBlockSign(minStddevInt, maxStddevInt, percentageInt, blockPtr, targetPixelPtr, lineSize);
}

void BZ_Cl_Filter3x3BlocksOptNew(const BZ_ClParams *clParams, SInt32 subTaskNum, const UInt8 *inBuffer,
                                 UInt8 *outBuffer, const Interval *intervals, const SInt32 *numChromaIntervals) {
  if (clParams == nullptr || clParams->sett == nullptr || clParams->diffSigns == nullptr || subTaskNum < 0 ||
      subTaskNum >= clParams->numSubTasks)
    return;
  WalkZones<BlockTest::kIntUndoEdges>(clParams, subTaskNum, inBuffer, outBuffer, intervals, numChromaIntervals);
}

void BZ_Cl_Filter3x3BlocksOpt(const BZ_ClParams *clParams, SInt32 subTaskNum, const UInt8 *inBuffer, UInt8 *outBuffer,
                              const Interval *intervals, const SInt32 *numChromaIntervals) {
  if (clParams == nullptr || clParams->sett == nullptr) return;
  WalkZones<BlockTest::kInt>(clParams, subTaskNum, inBuffer, outBuffer, intervals, numChromaIntervals);
}

void BZ_Cl_Filter3x3Blocks(const BZ_ClParams *clParams, SInt32 subTaskNum, const UInt8 *inBuffer, UInt8 *outBuffer,
                           const Interval *intervals, const SInt32 *numChromaIntervals) {
  if (clParams == nullptr || clParams->sett == nullptr) return;
  WalkZones<BlockTest::kFloat>(clParams, subTaskNum, inBuffer, outBuffer, intervals, numChromaIntervals);
}
