// The outlier stage's motion vectors: the arrays it keeps per input frame (the vectors between a frame and
// the frame before it in the window), each worker's scratch array, the base coefficients made once per
// program, the job that fills a frame's array when the frame arrives, the window's view of the arrays, and
// the preview's copies of them.
//
// A frame's array belongs to its input buffer (mv[buffer number] of BZ_OuDlgTaskData) and is written once,
// by the worker that runs the frame's job, before any window job reads it; it lives while the frame does, so
// every window in flight that reads it finds it unchanged.
#pragma once

#include "outliers/outlier_stage.h"
#include "outliers/outlier_window.h"
#include "platform/core/mac_types.h"

#include <cstddef>

// The base coefficients (BZ_MvGetCoeffs) when bcCalculated is still false; set once, before any worker runs.
// The fit's error, with bcCalculated left false.
OSStatus BZ_OuEnsureBaseCoeffs(BZ_OuDlgTaskData *ouDlgTaskData);

// Makes numArrays vector arrays (BZ_MvArraySize of the picture each, zeroed, in one block at mv[0]) and one
// scratch array per worker (BZ_MvScratchSize each, in scratchMv). Arrays made for another picture size,
// count or worker count are freed first; a picture without a vector cell gets none (all NULL). paramErr for
// counts outside 1..kBZ_OuMaxNumCached or a worker count below 1, memFullErr.
OSStatus BZ_OuMakeMvCaches(BZ_OuDlgTaskData *ouDlgTaskData, SInt32 inWidth, SInt32 inHeight, SInt32 numArrays,
                           SInt32 numWorkers);
// Worker i's scratch array, NULL before BZ_OuMakeMvCaches, without vectors, or for i out of range.
void *BZ_OuWorkerScratchMv(BZ_OuDlgTaskData *ouDlgTaskData, SInt32 i);

// The vectors between prevFrame and frame into pairMv (the arrays' layout of the pair (prevFrame, frame)):
// all marked not found when sceneValue is at or above maxAvPixelDiff (a scene change: the two pictures do
// not match), else searched from the two frames alone (BZ_MvFindPairVectors). Nothing without pairMv.
void BZ_OuFindFramePairVectors(const BZ_OuParams *ouParams, const float (*baseCoeffs)[6], SInt32 sceneValue,
                               UInt8 *prevFrame, UInt8 *frame, void *pairMv, void *scratchMv);

// The window's arrays as the motion chains read them: mv[b] the vectors of the pair (slot b, slot b + 1),
// which the frame of slot b + 1 keeps, or NULL when either slot is empty. numInBuffers - 1 entries.
void BZ_OuGetWindowMv(const BZ_OuFrameRec *const *slots, SInt32 numInBuffers, void **mv);

// Makes the preview's owned copies (mvCopies) hold 2 x numConstPix arrays of arraySize bytes (made again when
// either changes). memFullErr leaves none.
OSStatus BZ_OuEnsurePreviewMvCopies(BZ_OuPreviewData *ouPreviewData, SInt32 numConstPix, size_t arraySize);
// Copies the window's arrays of the pairs the preview's frames (window slots k to 3k) span into the owned
// copies and points ouPreviewData->mv at them, indexed as the window's: mv[b] for k <= b < 3k, NULL where
// the window has none or no copy was made; the other entries NULL.
void BZ_OuCopyPreviewMv(BZ_OuPreviewData *ouPreviewData, const BZ_OuParams *ouParams, void *const *mv);
// Frees the preview's copies and clears its mv.
void BZ_OuDisposePreviewMv(BZ_OuPreviewData *ouPreviewData);
