// Replacing the pixels of specks in a padded '2vuy' frame: spatially from the ring around the speck in the
// same frame, or temporally from the previous and next frames of the window (4 x numConstPix + 1 slots,
// the frame itself in slot 2 x numConstPix). Plain functions; any thread.
#pragma once

#include "outliers/outlier_stage.h"
#include "outliers/speck_properties.h"

// Replaces every speck of the list marked remove in outBuffer (spatially from the centre frame when
// interpolateSpatially is set, else temporally).
void BZ_OuReplaceSpeckPixels(const BZ_OuParams *ouParams, const SInt32 *avPixelDiff, UInt8 *const *inBuffers,
                             UInt8 *outBuffer, const UInt16 *data, void *const *mv, BZ_OuSpeckLE *speckList);
// Fills the speck's pixels in outBuffer from its ring in inBuffer, weighted by distance; a pixel whose ring
// holds no pixel of its own chroma kind keeps inBuffer's chroma.
void BZ_OuInterpolateSpeckSpatially(const BZ_OuParams *ouParams, const BZ_OuSpeck *speck, const UInt8 *inBuffer,
                                    UInt8 *outBuffer);
// Fills the speck's pixels in outBuffer from the previous and next frames that lie on the centre's side of
// any scene change (their average when both do). With neither neighbour usable the speck is filled
// spatially from its ring in the centre frame (a pixel whose ring has no weight keeps its value). A pixel
// flagged kBZ_OuInMvChainFlag in data (the flag plane) is taken from where the window's motion vectors mv
// carry it in each neighbour (BZ_GetAlignedPixelIndexes). data and mv may be NULL.
void BZ_OuInterpolateSpeckTemporally(const BZ_OuParams *ouParams, const SInt32 *avPixelDiff,
                                     UInt8 *const *inBuffers, UInt8 *outBuffer, const UInt16 *data,
                                     void *const *mv, const BZ_OuSpeck *speck);
