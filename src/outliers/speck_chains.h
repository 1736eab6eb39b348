// Speck chains across frames: dust shows in one frame only, a real object in its neighbours too. These
// functions link the specks of consecutive frames by their properties (prevSpeck, nextSpeck), keep a speck
// that forms a chain through the whole usable window from being removed, and test by block matching whether
// a speck belongs to an edge that moved.
//
// They work on the outlier window of 4k + 1 slots (k = (numInBuffers - 1) / 4, centre slot 2k): one speck list
// per slot (speckLists[slot], NULL for an empty list) and the window's frames (bufferList[slot], padded '2vuy',
// NULL for an empty slot). Every slot they read is checked against the window. Nothing here allocates or keeps
// state; a caller runs them on one window's lists at a time.
#pragma once

#include "outliers/speck_properties.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

struct BZ_OuParams;

enum : SInt32 {
  kBZ_OuNumSpeckDiffWeights = 5,   // position, size, colour, holes, shape
  kBZ_OuNumMatchCandidates = 8,
  kBZ_OuBlockDiffNone = 0x7FFFFFFF,  // no block could be compared
};

// The weighted property distance of two specks: centres of mass, sizes, average colours and holes (the
// region's, as BZ_CalcSpeckProperties measures them) and the orientation difference, weighted by weight[0..4].
float BZ_OuCalcSpeckDiff(const BZ_OuSpeck *speck1, const BZ_OuSpeck *speck2,
                         const float weight[kBZ_OuNumSpeckDiffWeights]);
// Whether each speck's centre of mass (whole pixels) lies in the other's bounds and their distance without
// the position term is below 0.2.
Boolean BZ_OuEqualSpeck(const BZ_OuSpeck *speck1, const BZ_OuSpeck *speck2);
// The first element of the list whose speck equals speck (borrowed), or NULL.
BZ_OuSpeckLE *BZ_OuFindSpeckInList(BZ_OuSpeckLE *curSpeckList, const BZ_OuSpeck *speck);
// The speck expected in the next frame: speck2's centre of mass, size, colour, holes and shape fits, moved on
// linearly from its prevSpeck when it has one (the shape fits only when both circle fits exceed 0.01).
// *expSpeck is zeroed first and owns nothing.
void BZ_OuFillOutExpectedSpeck(const BZ_OuSpeck *speck2, BZ_OuSpeck *expSpeck);
// The speck of nextSpeckList nearest to the one expected after speck2, among those whose edge score exceeds
// 0.9 and whose distance is below 0.3 (the earlier one on a tie); NULL when none qualifies.
BZ_OuSpeckLE *BZ_OuFindSpeckInListByProps(BZ_OuSpeckLE *nextSpeckList, const BZ_OuSpeck *speck2);
// Whether the speck expected after newMatch lies nearer to speck3 than the one expected after oldMatch.
Boolean BZ_OuCompareMatchingSpecks(const BZ_OuSpeck *newMatch, const BZ_OuSpeck *oldMatch, const BZ_OuSpeck *speck3);
// Links every speck of slot (edge score above 0.9) to its best match in slot + 1, taking a match from an
// earlier partner only when the new speck predicts it better. paramErr when slot and slot + 1 are not both
// in the window or the window is not 4k + 1 slots.
OSStatus BZ_OuFindSpecksInNextFrame(const BZ_OuParams *ouParams, BZ_OuSpeckLE *const *speckLists, SInt32 slot);
// Keeps every speck of the centre slot marked remove that is chained through the usable window
// (BZ_OuValidateSpeck). paramErr for a missing argument or a window that is not 4k + 1 slots.
OSStatus BZ_OuFindFalseSpecks(const BZ_OuParams *ouParams, UInt8 *const *bufferList, BZ_OuSpeckLE *const *speckLists);
// Follows the speck's prevSpeck links down to the usable range's first slot and its nextSpeck links up to the
// last (slots k to 3k, less the empty slots at either end), finding each in its slot's list. When both walks
// complete, every speck of the chain gets inChain and loses remove (the chain members initiallyRemoved too).
// Returns whether the chain was complete.
Boolean BZ_OuValidateSpeck(const BZ_OuParams *ouParams, BZ_OuSpeck *speck, UInt8 *const *bufferList,
                           BZ_OuSpeckLE *const *speckLists);
// Whether the centre slot's speck belongs to a moving edge: the block around it is matched in the frames
// before and after the centre that lie in [minSpeckListIndex, maxSpeckListIndex); it is part of an edge when no
// match can be tried or the best block differences exceed 8 per pixel of its bounds for each match tried.
Boolean BZ_OuIsSpeckPartOfEdge(const BZ_OuParams *ouParams, const BZ_OuSpeck *speck, UInt8 *const *bufferList,
                               SInt32 minSpeckListIndex, SInt32 maxSpeckListIndex);
// The smallest block difference found by a logarithmic search (steps 8, 4, 2, 1) in the frame after the centre
// (matchNext) or before it, for the block (bounds width + 8) x 8 centred on the speck's centre of mass. With
// bothBuffersAvailable the reference is the average of the two frames. kBZ_OuBlockDiffNone when the block does
// not fit into the frame or a frame is missing.
SInt32 BZ_OuFindBestBlockMatch(const BZ_OuParams *ouParams, const BZ_OuSpeck *speck, UInt8 *const *bufferList,
                               Boolean matchNext, Boolean bothBuffersAvailable);
// The sum of absolute differences of the luma bytes (2p + 1) between the reference block at bounds (the
// average of inBuffer2 and inBuffer3 with bothBuffersAvailable, else matchBuffer) and matchBuffer's block at
// curBounds, rows over the height and columns over the width. The caller keeps both rectangles inside the frame and equal in size;
// kBZ_OuBlockDiffNone for rectangles of different sizes.
SInt32 BZ_OuCalcBlockDiff(SInt32 width, const Rect *bounds, const Rect *curBounds, const UInt8 *inBuffer2,
                          const UInt8 *inBuffer3, const UInt8 *matchBuffer, Boolean bothBuffersAvailable);
// Keeps the 8 best candidates in ascending order of diff: the new one goes before the first larger diff and
// the last drops out; one not smaller than all 8 is ignored. Returns its position, or -1 when ignored.
SInt32 BZ_OuAddSpeckMatchCandidate(float diff, BZ_OuSpeck *speck, float diffs[kBZ_OuNumMatchCandidates],
                                   BZ_OuSpeck *candidates[kBZ_OuNumMatchCandidates]);
// The usable slot range [min, max) around the centre: it ends at slots with an empty or missing list.
void BZ_OuGetSpeckListIndexBounds(BZ_OuSpeckLE *const *speckLists, SInt32 numInBuffers, SInt32 *minSpeckListIndex,
                                  SInt32 *maxSpeckListIndex);
// Whether some speck of the list has a prevSpeck whose bounds have no area.
Boolean BZ_OuInvalidPrevSpeckBoundsInList(const BZ_OuSpeckLE *speckList);
