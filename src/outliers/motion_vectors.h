// Motion between consecutive frames of the outlier window, and the gradient objects the worker keeps with
// each frame.
//
// Vectors: a hierarchical block search (blocks of 64, 32, 16 and 8 pixels on '2vuy' luma and chroma) gives
// one vector per 4-pixel cell of the picture for each frame pair, refined to sub-pixel precision by a
// quadratic surface fitted over a 5 x 5 grid of block differences. A pixel is then followed from the
// centre frame through the window along those vectors (aligned pixel indexes, motion chains).
// The vectors of the pair (b, b + 1) live in the window's array mv[b]: entry 2c the forward vector of cell c
// (the block of frame b found in frame b + 1), entry 2c + 1 the backward vector (the block of frame b + 1
// found in frame b).
//
// Plain functions on the caller's thread. The base coefficients are written once (BZ_MvGetCoeffs) before any
// worker runs and only read afterwards; a vector array is written by one job at a time.
#pragma once

#include "outliers/regions.h"
#include "outliers/skeletons.h"
#include "platform/core/mac_types.h"

#include <cstddef>

struct BZ_OuParams;

enum : SInt32 {
  kBZ_MinLargeObjectSize = 100,  // objects smaller than this get no skeleton
  kBZ_MaxNumLargeObjects = 50,   // at most this many per frame do
};

struct BZ_MvObject {
  RG_Region rgn;
  SK_Skeleton skeleton;
  SInt32 numClosures;
  SK_Closure *closures;  // owned: numClosures entries (GL_DisposePtr)
};

struct BZ_MvObjectLE {
  BZ_MvObjectLE *next;
  SInt32 number;
  BZ_MvObject mvObj;
};

// 1 when the first element's region size is larger, -1 when smaller, 0 when equal.
SInt32 BZ_MvObjComparatorBySize(const void *x, const void *y);
// Computes every object's region size from the flag plane, sorts the list largest first (equal sizes keep their
// order) and counts the leading objects of size 100 or more, at most 50, into *numLargeObjects.
void BZ_SortObjectsBySize(const UInt16 *data, BZ_MvObjectLE **objList, SInt32 *numLargeObjects);
// Frees every object's region, skeleton and closures, and the list; *objList ends NULL.
void BZ_MvDisposeMvObjList(BZ_MvObjectLE **objList);

// ---- Motion vectors ----

struct BZ_OuMotionVec {
  float coeffs[6];  // the fitted surface a0 + a1 x + a2 y + a3 x^2 + a4 x y + a5 y^2 of the last search scale
  float dx, dy;     // where the block's content lies in the other frame, relative to the block, in pixels
  float minDiff;    // mean squared difference per block pixel at (dx, dy); not found unless below 100
  Boolean assigned, interpolated, accepted;
};

// A vector counts as found only below this mean squared difference per pixel (+infinity: marked not found).
inline constexpr float kBZ_MvMaxFoundDiff = 100.0f;

enum : UInt16 {
  kBZ_OuInMvChainFlag = 0x2000,  // flag-plane bit: the pixel's motion chain reaches 2 x numConstPix steps
};

enum : SInt32 {
  kBZ_MvNumGridSamples = 25,  // the 5 x 5 grid of block differences around a search centre
  kBZ_MvNumCoeffs = 6,
  kBZ_MvMaxOffset = 16,      // the search grid stays within +-16 pixels; results of 16 or more are dropped
  kBZ_MvMissingPixelCost = 800,  // squared difference charged per block pixel outside the picture
  kBZ_MvNumLevels = 4,       // block widths 64, 32, 16 and 8
};

// Columns (rows) of a level's vector grid over inSize picture pixels: blocks of blockWidth at a step of
// blockWidth / 2, one fewer when inSize is a multiple of the step. 0 when the picture is narrower than the
// block (such a level is not searched) or for a blockWidth below 2.
SInt32 BZ_MvNumVectors(SInt32 inSize, SInt32 blockWidth);
// Bytes of one frame pair's vector array (two vectors per cell of the finest grid, as allocated for
// (inWidth / 4) x (inHeight / 4) cells) and of a worker's scratch array (one vector per cell of the
// 8-pixel grid). 0 when there is no cell.
size_t BZ_MvArraySize(SInt32 inWidth, SInt32 inHeight);
size_t BZ_MvScratchSize(SInt32 inWidth, SInt32 inHeight);

// Matching gradient objects across frames: does nothing.
void BZ_MvMatchObjects(const BZ_OuParams *ouParams, UInt8 *const *inBuffers, BZ_MvObjectLE *const *gradObjList,
                       void *const *mv);

// Least-squares quadratic surface through 25 values on the 5 x 5 grid (sample i at x = i mod 5, y = i / 5),
// by SVD with singular values below 1e-5 of the largest dropped. The decomposition's error, a unset.
OSStatus BZ_MvFitPolyLS(const float *values, float *a);
// Row i = the surface of the unit sample e_i, so that any 25 values v give c_j = sum_i v_i x coeffs[i][j].
// The first error of the fits.
OSStatus BZ_MvGetCoeffs(float (*baseCoeffs)[6]);

// Marks every entry of one frame pair's array (the whole allocation of BZ_MvArraySize) not found.
void BZ_SetMvNotFound(const BZ_OuParams *ouParams, void *mv);

// Where a block and its displaced copy lie: the block's origin (posH, posV) in the first frame, the copy's
// (nextPosH, nextPosV), the rows [minI, maxI) and columns [minJ, maxJ) of the block whose copy lies in the
// picture, and the cost of the rest (800 per pixel). Shared by both versions of the block difference.
struct BZ_MvBlockCut {
  SInt32 posH, posV, nextPosH, nextPosV;
  SInt32 minI, maxI, minJ, maxJ;
  SInt32 missingCost;
};
void BZ_MvGetBlockCut(const Rect *frameBounds, SInt32 blockWidth, SInt32 v, SInt32 h, SInt32 offsetV,
                      SInt32 offsetH, BZ_MvBlockCut *cut);

// Sum of squared luma and chroma differences between the block (v, h) of blockWidth pixels in frame and the
// block displaced by (offsetV, offsetH) in nextFrame; the displaced block is cut to frameBounds and every
// pixel cut off costs 800. width: the padded buffer's width in pixels. The block itself must lie in the
// picture (a picture at least blockWidth wide and high).
SInt32 BZ_MvGetBlockDiffSq(SInt32 width, const Rect *frameBounds, SInt32 blockWidth, SInt32 v, SInt32 h,
                           SInt32 offsetV, SInt32 offsetH, const UInt8 *frame, const UInt8 *nextFrame);
// The same eight pixels at a time (SSE, 16-bit differences); a row's tail is summed in its own loop.
SInt32 BZ_MvGetBlockDiffSqAcc(SInt32 width, const Rect *frameBounds, SInt32 blockWidth, SInt32 v, SInt32 h,
                              SInt32 offsetV, SInt32 offsetH, const UInt8 *frame, const UInt8 *nextFrame);
// The SSE version when hasSSE3, else the scalar one.
SInt32 BZ_MvGetBlockDiffSqUni(Boolean hasSSE3, SInt32 width, const Rect *frameBounds, SInt32 blockWidth, SInt32 v,
                              SInt32 h, SInt32 offsetV, SInt32 offsetH, const UInt8 *frame,
                              const UInt8 *nextFrame);

// The stationary point of the surface c (xMin, yMin in grid units); nothing written when neither c3 nor c5
// exceeds 0.0001.
void BZ_MvFindTrueMin(const float *c, float *xMin, float *yMin);
// One-dimensional minimum: writes nothing and returns 0.
SInt32 BZ_MvFind1DMin(const float *c, float *xMin);
// Sets the vector's coeffs, dx and dy from the 25 block differences of a grid centred on (offsetH, offsetV)
// with the given scale. A flat surface whose curvature exceeds 1 in x or y (no single stationary point)
// takes the grid sample of smallest difference; other degenerate surfaces take grid position (0, 0). A
// result of 16 pixels or more in either axis becomes the zero vector.
void BZ_FindBestMv(SInt32 offsetH, SInt32 offsetV, SInt32 scale, const float (*baseCoeffs)[6],
                   const SInt32 *blockDiffs, BZ_OuMotionVec *vector);
// One block's vector from frame to nextFrame at scales 8, 4, 2 and 1 (fewer when a scale finds no
// improvement or the match is already good); *vector holds the guess on entry and the result on exit.
void BZ_FindMotionVector(const BZ_OuParams *ouParams, const float (*baseCoeffs)[6], SInt32 blockWidth, SInt32 v,
                         SInt32 h, const UInt8 *frame, const UInt8 *nextFrame, BZ_OuMotionVec *vector);
// The guess for block (i, j) of a coarse level from the earlier pair's array: the mean of the backward
// vectors at the cells that its forward vectors point to, or the zero vector when they spread by more than 4
// pixels. Cells outside the finest grid add nothing.
void BZ_GetAvgPrevMv(SInt32 numVectorsH3, SInt32 numVectorsV3, SInt32 i, SInt32 j, SInt32 scale,
                     const BZ_OuMotionVec *prevMv, BZ_OuMotionVec *guess);
// The vectors between the two newest window frames 4k - 1 and 4k (k = numConstPix) into mv[4k - 1]: a
// backward search (all four levels, the coarser ones in scratchMv and in mv[4k - 1] itself) or a forward one
// (finest level only, guided by the backward vectors, so it runs after them). mv[4k - 2], when not NULL,
// supplies guesses from the earlier pair; the stage passes NULL there so that each pair depends on its two
// frames only. mv[4k], when not NULL, has its assigned flags cleared. gradObjList and objData are not read.
// scratchMv: BZ_MvScratchSize bytes, the caller's (one per worker). A picture smaller than 8 x 8 gets no
// vectors; its cells, if any, are marked not found.
void BZ_FindMotionVectors(const BZ_OuParams *ouParams, const float (*baseCoeffs)[6], UInt8 *const *inBuffers,
                          BZ_MvObjectLE *const *gradObjList, UInt16 *const *objData, void *const *mv,
                          void *scratchMv, Boolean forward);
// The vectors of one frame pair alone (backward, then forward) into pairMv: what the stage's per-frame job
// runs for each arriving frame with a frame before it. The same vectors as BZ_FindMotionVectors without an
// earlier pair; the coarse levels, which could only guide it, are not searched.
void BZ_MvFindPairVectors(const BZ_OuParams *ouParams, const float (*baseCoeffs)[6], UInt8 *frame,
                          UInt8 *nextFrame, void *pairMv, void *scratchMv);

// Follows the pixel pixelIndex of the centre frame (slot 2k) through the window: forward step s reads the
// forward vectors of mv[2k + s], backward step s the backward vectors of mv[2k - s - 1]. Each direction ends
// at a vector not found, at a step that would leave the picture or the usable slots [minInBufferIndex,
// maxInBufferIndex), and the two together take at most 2k steps. indexes (4k + 1 entries) receives the
// pixel's index in every slot of [*minIndex, *maxIndex).
void BZ_GetAlignedPixelIndexes(const BZ_OuParams *ouParams, void *const *mv, SInt32 minInBufferIndex,
                               SInt32 maxInBufferIndex, SInt32 *minIndex, SInt32 *maxIndex, SInt32 pixelIndex,
                               SInt32 *indexes);
// Sets kBZ_OuInMvChainFlag in data[pixelIndex] when the pixel's chain takes all 2k steps (it clears nothing).
void BZ_SetPixelInMvChain(const BZ_OuParams *ouParams, SInt32 minInBufferIndex, SInt32 maxInBufferIndex,
                          void *const *mv, UInt16 *data, SInt32 pixelIndex);
// BZ_SetPixelInMvChain for every pixel of the padded frame (pixels outside the picture have no chain).
void BZ_SetInMvChain(const BZ_OuParams *ouParams, SInt32 minInBufferIndex, SInt32 maxInBufferIndex,
                     void *const *mv, UInt16 *data);
