// Gradient-object lists (sorting by size and disposal) and motion vectors: the surface coefficients, the
// hierarchical block search and the following of pixels through the window.
#include "outliers/motion_vectors.h"

#include "engine/runtime/project_types.h"
#include "general/least_squares.h"
#include "general/memory_lists.h"
#include "general/sort_search.h"
#include "outliers/outlier_stage.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

SInt32 BZ_MvObjComparatorBySize(const void *x, const void *y) {
  const float a = static_cast<const BZ_MvObjectLE *>(x)->mvObj.rgn.size;
  const float b = static_cast<const BZ_MvObjectLE *>(y)->mvObj.rgn.size;
  return a > b ? 1 : a < b ? -1 : 0;
}

void BZ_SortObjectsBySize(const UInt16 *data, BZ_MvObjectLE **objList, SInt32 *numLargeObjects) {
  if (numLargeObjects != nullptr) *numLargeObjects = 0;
  if (data == nullptr || objList == nullptr) return;
  for (BZ_MvObjectLE *e = *objList; e != nullptr; e = e->next) RG_CalcRgnSize(data, &e->mvObj.rgn);
  SS_SelectSortDescending(BZ_MvObjComparatorBySize, false, false, objList);
  SInt32 count = 0;
  for (const BZ_MvObjectLE *e = *objList; e != nullptr && count < kBZ_MaxNumLargeObjects; e = e->next) {
    if (e->mvObj.rgn.size < float(kBZ_MinLargeObjectSize)) break;
    ++count;
  }
  if (numLargeObjects != nullptr) *numLargeObjects = count;
}

void BZ_MvDisposeMvObjList(BZ_MvObjectLE **objList) {
  if (objList == nullptr) return;
  for (BZ_MvObjectLE *e = *objList; e != nullptr; e = e->next) {
    RG_DisposeRgn(&e->mvObj.rgn);
    SK_DisposeSkeleton(&e->mvObj.skeleton);
    // The closures belong to the object too; leaving them would leak one array per object and frame.
    GL_DisposePtr(&e->mvObj.closures);
    e->mvObj.numClosures = 0;
  }
  LL_DisposeLinkedList(objList);
}

// ---- Motion vectors ----

namespace {

constexpr SInt32 kFinestBlockWidth = 8;
constexpr SInt32 kCellStep = 4;  // the finest grid's step: kFinestBlockWidth / 2

struct Grid {
  SInt32 numH = 0, numV = 0;
  bool Contains(SInt32 col, SInt32 row) const { return col >= 0 && row >= 0 && col < numH && row < numV; }
};

// A level's grid; empty when the picture is narrower or lower than the block, since the block's origin would
// then lie outside the picture.
Grid LevelGrid(const BZ_OuParams *ouParams, SInt32 blockWidth) {
  Grid g{BZ_MvNumVectors(ouParams->inWidth, blockWidth), BZ_MvNumVectors(ouParams->inHeight, blockWidth)};
  if (g.numH == 0 || g.numV == 0) g = Grid{};
  return g;
}

bool IsFound(const BZ_OuMotionVec &vec) { return vec.minDiff < kBZ_MvMaxFoundDiff; }

// Round half away from zero; anything not a usable offset (stale or damaged vectors) counts as 0.
SInt32 RoundOffset(float d) {
  if (!(std::fabs(d) <= float(2 * kBZ_MvMaxOffset))) return 0;
  return SInt32(std::lround(d));
}

SInt32 NumConstPix(const BZ_OuParams *ouParams) {
  if (ouParams == nullptr || ouParams->sett == nullptr) return 0;
  const SInt32 k = ouParams->sett->numConstPix;
  return k >= 1 && k <= (kBZ_OuNumWindowSlots - 1) / 4 ? k : 0;
}

// The vector (entry 0 forward, 1 backward) of the cell under the picture position (h, v), clamped to the
// finest grid; false when the position lies outside the picture or the vector was not found.
bool CellVector(const Grid &grid, const Rect &bounds, const BZ_OuMotionVec *mv, SInt32 entry, SInt32 h, SInt32 v,
                BZ_OuMotionVec *vec) {
  if (mv == nullptr || grid.numH == 0 || h < bounds.left || h >= bounds.right || v < bounds.top ||
      v >= bounds.bottom)
    return false;
  // The last block ends at the picture's edge, so the cells past the grid's last column (row) are its.
  const SInt32 col = std::min(std::max(0, (h - bounds.left - 2) / kCellStep), grid.numH - 1);
  const SInt32 row = std::min(std::max(0, (v - bounds.top - 2) / kCellStep), grid.numV - 1);
  *vec = mv[2 * (row * grid.numH + col) + entry];
  return IsFound(*vec);
}

// Moves (h, v) one step along the cell's vector; false (position unchanged) when the vector is not found or
// the step would leave the picture.
bool StepAlong(const Grid &grid, const Rect &bounds, const void *mv, SInt32 entry, SInt32 *h, SInt32 *v) {
  BZ_OuMotionVec vec;
  if (!CellVector(grid, bounds, static_cast<const BZ_OuMotionVec *>(mv), entry, *h, *v, &vec)) return false;
  const SInt32 nh = SInt32(double(*h) + double(vec.dx) + 0.5);
  const SInt32 nv = SInt32(double(*v) + double(vec.dy) + 0.5);
  if (nh < bounds.left || nh >= bounds.right || nv < bounds.top || nv >= bounds.bottom) return false;
  *h = nh;
  *v = nv;
  return true;
}

// The block's rows (columns) [*first, *last) whose displaced copy, starting at nextPos, lies in [lo, hi); a
// copy wholly outside leaves an empty range.
void CutToPicture(SInt32 nextPos, SInt32 lo, SInt32 hi, SInt32 blockWidth, SInt32 *first, SInt32 *last) {
  *first = 0;
  *last = blockWidth;
  if (nextPos < lo)
    *first = lo - nextPos;
  else if (nextPos > hi - blockWidth)
    *last = hi - nextPos;
  if (*first > *last) *first = *last;
}

}  // namespace

SInt32 BZ_MvNumVectors(SInt32 inSize, SInt32 blockWidth) {
  if (blockWidth < 2 || inSize < blockWidth) return 0;
  const SInt32 step = blockWidth / 2;
  return inSize / step - (inSize % step == 0 ? 1 : 0);
}

size_t BZ_MvArraySize(SInt32 inWidth, SInt32 inHeight) {
  if (inWidth < kCellStep || inHeight < kCellStep) return 0;
  return size_t(inWidth / kCellStep) * size_t(inHeight / kCellStep) * 2 * sizeof(BZ_OuMotionVec);
}

size_t BZ_MvScratchSize(SInt32 inWidth, SInt32 inHeight) {
  if (inWidth < 2 * kCellStep || inHeight < 2 * kCellStep) return 0;
  return size_t(inWidth / (2 * kCellStep)) * size_t(inHeight / (2 * kCellStep)) * sizeof(BZ_OuMotionVec);
}

void BZ_MvMatchObjects(const BZ_OuParams *, UInt8 *const *, BZ_MvObjectLE *const *, void *const *) {}

OSStatus BZ_MvFitPolyLS(const float *values, float *a) {
  if (values == nullptr || a == nullptr) return paramErr;
  constexpr SInt32 m = kBZ_MvNumGridSamples, n = kBZ_MvNumCoeffs;
  float u[m][n], v[n][n], w[n];
  float *uRows[m], *vRows[n];
  for (SInt32 i = 0; i < m; ++i) {
    const float x = float(i % 5), y = float(i / 5);
    const float row[n] = {1.0f, x, y, x * x, x * y, y * y};
    std::copy(row, row + n, u[i]);
    uRows[i] = u[i];
  }
  for (SInt32 i = 0; i < n; ++i) vRows[i] = v[i];
  const OSStatus err = NR_svdcmpSPLnew(uRows, m, n, w, vRows);
  if (err != noErr) return err;
  const float wMax = *std::max_element(w, w + n);
  for (float &wi : w)
    if (wi < 1e-5f * wMax) wi = 0.0f;
  float tmp[n];
  NR_svbksbSPLnew(uRows, w, vRows, tmp, m, n, values, a);
  return noErr;
}

OSStatus BZ_MvGetCoeffs(float (*baseCoeffs)[6]) {
  if (baseCoeffs == nullptr) return paramErr;
  for (SInt32 i = 0; i < kBZ_MvNumGridSamples; ++i) {
    float unit[kBZ_MvNumGridSamples] = {};
    unit[i] = 1.0f;
    const OSStatus err = BZ_MvFitPolyLS(unit, baseCoeffs[i]);
    if (err != noErr) return err;
  }
  return noErr;
}

void BZ_SetMvNotFound(const BZ_OuParams *ouParams, void *mv) {
  if (ouParams == nullptr || mv == nullptr) return;
  const size_t count = BZ_MvArraySize(ouParams->inWidth, ouParams->inHeight) / sizeof(BZ_OuMotionVec);
  BZ_OuMotionVec *vectors = static_cast<BZ_OuMotionVec *>(mv);
  for (size_t e = 0; e < count; ++e) vectors[e].minDiff = std::numeric_limits<float>::infinity();
}

void BZ_MvGetBlockCut(const Rect *frameBounds, SInt32 blockWidth, SInt32 v, SInt32 h, SInt32 offsetV,
                      SInt32 offsetH, BZ_MvBlockCut *cut) {
  const Rect &b = *frameBounds;
  BZ_MvBlockCut c;
  c.posH = std::min(b.left + (blockWidth / 2) * h, b.right - blockWidth);
  c.posV = std::min(b.top + (blockWidth / 2) * v, b.bottom - blockWidth);
  c.nextPosH = c.posH + offsetH;
  c.nextPosV = c.posV + offsetV;
  CutToPicture(c.nextPosV, b.top, b.bottom, blockWidth, &c.minI, &c.maxI);
  CutToPicture(c.nextPosH, b.left, b.right, blockWidth, &c.minJ, &c.maxJ);
  c.missingCost = (blockWidth * blockWidth - (c.maxI - c.minI) * (c.maxJ - c.minJ)) * kBZ_MvMissingPixelCost;
  *cut = c;
}

SInt32 BZ_MvGetBlockDiffSq(SInt32 width, const Rect *frameBounds, SInt32 blockWidth, SInt32 v, SInt32 h,
                           SInt32 offsetV, SInt32 offsetH, const UInt8 *frame, const UInt8 *nextFrame) {
  BZ_MvBlockCut cut;
  BZ_MvGetBlockCut(frameBounds, blockWidth, v, h, offsetV, offsetH, &cut);
  SInt32 sum = 0;
  for (SInt32 i = cut.minI; i < cut.maxI; ++i) {
    const UInt8 *a = frame + 2 * (ptrdiff_t(cut.posV + i) * width + cut.posH);
    const UInt8 *b = nextFrame + 2 * (ptrdiff_t(cut.nextPosV + i) * width + cut.nextPosH);
    for (SInt32 j = cut.minJ; j < cut.maxJ; ++j) {
      const SInt32 diffC = SInt32(a[2 * j]) - SInt32(b[2 * j]);
      const SInt32 diffY = SInt32(a[2 * j + 1]) - SInt32(b[2 * j + 1]);
      sum += diffY * diffY + diffC * diffC;
    }
  }
  return sum + cut.missingCost;
}

SInt32 BZ_MvGetBlockDiffSqUni(Boolean hasSSE3, SInt32 width, const Rect *frameBounds, SInt32 blockWidth, SInt32 v,
                              SInt32 h, SInt32 offsetV, SInt32 offsetH, const UInt8 *frame,
                              const UInt8 *nextFrame) {
  if (hasSSE3)
    return BZ_MvGetBlockDiffSqAcc(width, frameBounds, blockWidth, v, h, offsetV, offsetH, frame, nextFrame);
  return BZ_MvGetBlockDiffSq(width, frameBounds, blockWidth, v, h, offsetV, offsetH, frame, nextFrame);
}

void BZ_MvFindTrueMin(const float *c, float *xMin, float *yMin) {
  if (c == nullptr || xMin == nullptr || yMin == nullptr) return;
  const float d = 4.0f * c[3] * c[5] - c[4] * c[4];
  if (c[3] > 0.0001f) {
    *yMin = (c[4] * c[1] - 2.0f * c[2] * c[3]) / d;
    *xMin = (-c[4] * *yMin - c[1]) / (2.0f * c[3]);
  } else if (c[5] > 0.0001f) {
    *xMin = (c[4] * c[2] - 2.0f * c[1] * c[5]) / d;
    *yMin = (-c[4] * *xMin - c[2]) / (2.0f * c[5]);
  }
}

SInt32 BZ_MvFind1DMin(const float *, float *) { return 0; }

void BZ_FindBestMv(SInt32 offsetH, SInt32 offsetV, SInt32 scale, const float (*baseCoeffs)[6],
                   const SInt32 *blockDiffs, BZ_OuMotionVec *vector) {
  if (baseCoeffs == nullptr || blockDiffs == nullptr || vector == nullptr) return;
  float *c = vector->coeffs;
  for (SInt32 j = 0; j < kBZ_MvNumCoeffs; ++j) {
    c[j] = 0.0f;
    for (SInt32 i = 0; i < kBZ_MvNumGridSamples; ++i) c[j] += float(blockDiffs[i]) * baseCoeffs[i][j];
  }
  const float d = 4.0f * c[3] * c[5] - c[4] * c[4];
  float x = 0.0f, y = 0.0f;
  if (d > 0.0001f) {
    if (c[3] > 0.0001f) {
      y = (c[4] * c[1] - 2.0f * c[2] * c[3]) / d;
      x = (-c[4] * y - c[1]) / (2.0f * c[3]);
    } else if (c[5] > 0.0001f) {
      x = (c[4] * c[2] - 2.0f * c[1] * c[5]) / d;
      y = (-c[4] * x - c[2]) / (2.0f * c[5]);
    }
  } else if (d > -0.0001f && (c[3] > 1.0f || c[5] > 1.0f)) {
    // A valley or ridge along one axis has no single stationary point: take the grid sample that matched best.
    const SInt32 best = SInt32(std::min_element(blockDiffs, blockDiffs + kBZ_MvNumGridSamples) - blockDiffs);
    x = float(best % 5);
    y = float(best / 5);
  }
  const double dx = (double(x) - 2.0) * scale + offsetH;
  const double dy = (double(y) - 2.0) * scale + offsetV;
  if (std::fabs(dx) < double(kBZ_MvMaxOffset) && std::fabs(dy) < double(kBZ_MvMaxOffset)) {
    vector->dx = float(dx);
    vector->dy = float(dy);
  } else {
    vector->dx = 0.0f;
    vector->dy = 0.0f;
  }
}

void BZ_FindMotionVector(const BZ_OuParams *ouParams, const float (*baseCoeffs)[6], SInt32 blockWidth, SInt32 v,
                         SInt32 h, const UInt8 *frame, const UInt8 *nextFrame, BZ_OuMotionVec *vector) {
  if (ouParams == nullptr || baseCoeffs == nullptr || frame == nullptr || nextFrame == nullptr ||
      vector == nullptr || blockWidth <= 0)
    return;
  Rect bounds;
  BZ_OuParamsToRealFrameBounds(ouParams, &bounds);
  const Boolean hasSSE3 = gBZ.procInfo.hasSSE3;
  const SInt32 width = ouParams->width;
  const float blockPixels = float(blockWidth * blockWidth);
  auto diffAt = [&](SInt32 offsetV, SInt32 offsetH) {
    return BZ_MvGetBlockDiffSqUni(hasSSE3, width, &bounds, blockWidth, v, h, offsetV, offsetH, frame, nextFrame);
  };
  // The centre of each scale's grid keeps the grid within +-16 pixels.
  auto centre = [](float d, SInt32 scale) {
    SInt32 offset = RoundOffset(d);
    if (offset - 2 * scale < -kBZ_MvMaxOffset)
      offset = 2 * scale - kBZ_MvMaxOffset;
    else if (offset + 2 * scale > kBZ_MvMaxOffset)
      offset = kBZ_MvMaxOffset - 2 * scale;
    return offset;
  };
  float previous = std::numeric_limits<float>::infinity();
  bool good = false, better = false;
  SInt32 scale = 8;
  do {
    const BZ_OuMotionVec coarser = *vector;
    const SInt32 offsetH = centre(vector->dx, scale), offsetV = centre(vector->dy, scale);
    SInt32 diffs[kBZ_MvNumGridSamples];
    for (SInt32 i = 0; i < 5; ++i)
      for (SInt32 j = 0; j < 5; ++j) diffs[5 * i + j] = diffAt(offsetV + (i - 2) * scale, offsetH + (j - 2) * scale);
    BZ_FindBestMv(offsetH, offsetV, scale, baseCoeffs, diffs, vector);
    vector->minDiff = float(diffAt(RoundOffset(vector->dy), RoundOffset(vector->dx))) / blockPixels;
    good = vector->minDiff < 10.0f;
    better = vector->minDiff < previous - 2.0f;
    // A finer scale whose surface misleads it (a saddle sends it to a grid corner) ends the search; the
    // closer match of the coarser scale is kept rather than replaced by a worse one.
    if (vector->minDiff > previous) *vector = coarser;
    previous = vector->minDiff;
    scale /= 2;
  } while (!good && better && scale > 0);
}

void BZ_GetAvgPrevMv(SInt32 numVectorsH3, SInt32 numVectorsV3, SInt32 i, SInt32 j, SInt32 scale,
                     const BZ_OuMotionVec *prevMv, BZ_OuMotionVec *guess) {
  if (guess == nullptr) return;
  *guess = BZ_OuMotionVec{};
  if (prevMv == nullptr || scale < 1 || scale > 8) return;
  const Grid grid{numVectorsH3, numVectorsV3};
  struct Sample {
    bool valid;
    float dx, dy;
  };
  Sample samples[64];
  const SInt32 numSamples = scale * scale;
  float sumX = 0.0f, sumY = 0.0f;
  for (SInt32 m = 0; m < scale; ++m)
    for (SInt32 l = 0; l < scale; ++l) {
      Sample &s = samples[m * scale + l];
      s = Sample{false, 0.0f, 0.0f};
      // Starting cells beyond the finest grid (the coarse levels reach past it) add nothing.
      const SInt32 col = scale * j + l, row = scale * i + m;
      if (!grid.Contains(col, row)) continue;
      const BZ_OuMotionVec &start = prevMv[2 * (row * grid.numH + col)];
      if (!IsFound(start)) continue;
      const SInt32 toCol = col + SInt32(start.dx / kCellStep), toRow = row + SInt32(start.dy / kCellStep);
      if (!grid.Contains(toCol, toRow)) continue;
      const BZ_OuMotionVec &back = prevMv[2 * (toRow * grid.numH + toCol) + 1];
      s = Sample{true, back.dx, back.dy};
      sumX += back.dx;
      sumY += back.dy;
    }
  const float gx = sumX / float(numSamples), gy = sumY / float(numSamples);
  float spreadX = 0.0f, spreadY = 0.0f;
  for (SInt32 s = 0; s < numSamples; ++s) {
    spreadX += samples[s].valid ? std::fabs(samples[s].dx - gx) : std::fabs(gx);
    spreadY += samples[s].valid ? std::fabs(samples[s].dy - gy) : std::fabs(gy);
  }
  spreadX /= float(numSamples);
  spreadY /= float(numSamples);
  if (spreadX > 4.0f || spreadY > 4.0f) return;
  guess->dx = gx;
  guess->dy = gy;
}

namespace {

// The search of BZ_FindMotionVectors from level firstLevel on (the forward search always runs the finest
// level only).
void SearchPair(const BZ_OuParams *ouParams, const float (*baseCoeffs)[6], UInt8 *const *inBuffers,
                void *const *mv, void *scratchMv, Boolean forward, SInt32 firstLevel) {
  const SInt32 k = NumConstPix(ouParams);
  if (k == 0 || baseCoeffs == nullptr || inBuffers == nullptr || mv == nullptr) return;
  const SInt32 newest = 4 * k;
  const UInt8 *older = inBuffers[newest - 1], *newer = inBuffers[newest];
  BZ_OuMotionVec *pair = static_cast<BZ_OuMotionVec *>(mv[newest - 1]);
  BZ_OuMotionVec *scratch = static_cast<BZ_OuMotionVec *>(scratchMv);
  if (older == nullptr || newer == nullptr || pair == nullptr) return;
  const BZ_OuMotionVec *prevMv =
      inBuffers[newest - 2] != nullptr ? static_cast<const BZ_OuMotionVec *>(mv[newest - 2]) : nullptr;
  const Grid finest = LevelGrid(ouParams, kFinestBlockWidth);
  if (finest.numH == 0) {
    BZ_SetMvNotFound(ouParams, pair);  // no block fits: whatever cells there are have no vector
    return;
  }
  if (scratch == nullptr) return;
  if (BZ_OuMotionVec *newestMv = static_cast<BZ_OuMotionVec *>(mv[newest]))
    for (SInt32 c = 0; c < finest.numH * finest.numV; ++c) newestMv[c].assigned = false;

  const UInt8 *frame = forward ? older : newer;
  const UInt8 *nextFrame = forward ? newer : older;
  const BZ_OuMotionVec *coarse = nullptr;
  Grid coarseGrid;
  for (SInt32 level = forward ? kBZ_MvNumLevels - 1 : firstLevel; level < kBZ_MvNumLevels; ++level) {
    const SInt32 blockWidth = 64 >> level, scale = 64 / blockWidth;
    const Grid grid = LevelGrid(ouParams, blockWidth);
    // Where this level's vectors go: the finest level into the pair's own entries, the coarser ones into the
    // two scratch areas in turn (the pair's array, one vector per cell, serves as the second).
    BZ_OuMotionVec *dst = level == 1 ? pair : scratch;
    SInt32 stride = 1, entry = 0;
    if (level == kBZ_MvNumLevels - 1) {
      dst = pair;
      stride = 2;
      entry = forward ? 0 : 1;
    }
    for (SInt32 i = 0; i < grid.numV; ++i)
      for (SInt32 j = 0; j < grid.numH; ++j) {
        BZ_OuMotionVec guess{};
        bool guessed = false;
        if (coarse != nullptr && coarseGrid.Contains(j / 2, i / 2)) {
          guess = coarse[(i / 2) * coarseGrid.numH + j / 2];
          guessed = IsFound(guess);
        }
        if (!guessed) {
          guess = BZ_OuMotionVec{};
          if (forward) {
            const BZ_OuMotionVec &back = pair[2 * (i * finest.numH + j) + 1];
            if (IsFound(back)) {
              const SInt32 col = SInt32(float(j) - back.dx / kCellStep);
              const SInt32 row = SInt32(float(i) - back.dy / kCellStep);
              if (finest.Contains(col, row)) guess = pair[2 * (row * finest.numH + col) + 1];
            }
          } else if (prevMv != nullptr && scale > 1) {
            BZ_GetAvgPrevMv(finest.numH, finest.numV, i, j, scale, prevMv, &guess);
          } else if (prevMv != nullptr && finest.Contains(j, i)) {
            // The earlier pair's own backward vectors: this pair's array holds nothing of this search yet.
            const BZ_OuMotionVec &fwd = prevMv[2 * (i * finest.numH + j)];
            if (IsFound(fwd)) {
              const SInt32 col = SInt32(float(j) + fwd.dx / kCellStep);
              const SInt32 row = SInt32(float(i) + fwd.dy / kCellStep);
              if (finest.Contains(col, row)) guess = prevMv[2 * (row * finest.numH + col) + 1];
            }
          }
        }
        BZ_FindMotionVector(ouParams, baseCoeffs, blockWidth, i, j, frame, nextFrame, &guess);
        dst[stride * (i * grid.numH + j) + entry] = guess;
      }
    coarse = dst;
    coarseGrid = grid;
  }
}

}  // namespace

void BZ_FindMotionVectors(const BZ_OuParams *ouParams, const float (*baseCoeffs)[6], UInt8 *const *inBuffers,
                          BZ_MvObjectLE *const *, UInt16 *const *, void *const *mv, void *scratchMv,
                          Boolean forward) {
  SearchPair(ouParams, baseCoeffs, inBuffers, mv, scratchMv, forward, 0);
}

void BZ_MvFindPairVectors(const BZ_OuParams *ouParams, const float (*baseCoeffs)[6], UInt8 *frame,
                          UInt8 *nextFrame, void *pairMv, void *scratchMv) {
  const SInt32 k = NumConstPix(ouParams);
  if (k == 0) return;
  UInt8 *window[kBZ_OuNumWindowSlots] = {};
  void *windowMv[kBZ_OuNumWindowSlots] = {};
  window[4 * k - 1] = frame;
  window[4 * k] = nextFrame;
  windowMv[4 * k - 1] = pairMv;
  // The coarse levels only supply guesses, and a guess only places the first scale's grid, which the +-16
  // pixel bound always centres on zero: without an earlier pair they change no vector, so the backward
  // search starts at the finest level, which saves most of the pair's work.
  SearchPair(ouParams, baseCoeffs, window, windowMv, scratchMv, false, kBZ_MvNumLevels - 1);
  SearchPair(ouParams, baseCoeffs, window, windowMv, scratchMv, true, kBZ_MvNumLevels - 1);
}

void BZ_GetAlignedPixelIndexes(const BZ_OuParams *ouParams, void *const *mv, SInt32 minInBufferIndex,
                               SInt32 maxInBufferIndex, SInt32 *minIndex, SInt32 *maxIndex, SInt32 pixelIndex,
                               SInt32 *indexes) {
  const SInt32 k = NumConstPix(ouParams);
  if (k == 0 || mv == nullptr || minIndex == nullptr || maxIndex == nullptr || indexes == nullptr ||
      ouParams->width <= 0)
    return;
  const SInt32 centre = 2 * k, width = ouParams->width;
  const SInt32 lo = std::max(minInBufferIndex, SInt32(0)), hi = std::min(maxInBufferIndex, 4 * k + 1);
  Rect bounds;
  BZ_OuParamsToRealFrameBounds(ouParams, &bounds);
  const Grid grid = LevelGrid(ouParams, kFinestBlockWidth);
  SInt32 fh = pixelIndex % width, fv = pixelIndex / width;
  SInt32 bh = fh, bv = fv;
  SInt32 n = 0, p = 0;
  bool forwardOn = true, backwardOn = true;
  indexes[centre] = pixelIndex;
  while (n + p < 2 * k && (forwardOn || backwardOn)) {
    // A forward step lands in slot centre + n + 1, which must be usable.
    if (forwardOn) {
      if (centre + n + 1 < hi && StepAlong(grid, bounds, mv[centre + n], 0, &fh, &fv)) {
        ++n;
        indexes[centre + n] = width * fv + fh;
      } else {
        forwardOn = false;
      }
    }
    if (backwardOn && n + p < 2 * k) {
      if (centre - p > lo && StepAlong(grid, bounds, mv[centre - p - 1], 1, &bh, &bv)) {
        ++p;
        indexes[centre - p] = width * bv + bh;
      } else {
        backwardOn = false;
      }
    }
  }
  *minIndex = centre - p;
  *maxIndex = centre + n + 1;
}

void BZ_SetPixelInMvChain(const BZ_OuParams *ouParams, SInt32 minInBufferIndex, SInt32 maxInBufferIndex,
                          void *const *mv, UInt16 *data, SInt32 pixelIndex) {
  const SInt32 k = NumConstPix(ouParams);
  if (k == 0 || data == nullptr) return;
  SInt32 indexes[kBZ_OuNumWindowSlots];
  SInt32 minIndex = 2 * k, maxIndex = 2 * k + 1;
  BZ_GetAlignedPixelIndexes(ouParams, mv, minInBufferIndex, maxInBufferIndex, &minIndex, &maxIndex, pixelIndex,
                            indexes);
  if (maxIndex - 1 - minIndex == 2 * k) data[pixelIndex] |= kBZ_OuInMvChainFlag;
}

void BZ_SetInMvChain(const BZ_OuParams *ouParams, SInt32 minInBufferIndex, SInt32 maxInBufferIndex,
                     void *const *mv, UInt16 *data) {
  if (NumConstPix(ouParams) == 0 || mv == nullptr || data == nullptr) return;
  Rect bounds;
  BZ_OuParamsToRealFrameBounds(ouParams, &bounds);
  // Pixels of the padding have no cell and so no chain: only the picture is walked.
  for (SInt32 v = bounds.top; v < bounds.bottom; ++v)
    for (SInt32 h = bounds.left; h < bounds.right; ++h)
      BZ_SetPixelInMvChain(ouParams, minInBufferIndex, maxInBufferIndex, mv, data, v * ouParams->width + h);
}
