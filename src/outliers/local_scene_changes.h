// Local scene changes: the parts of the centre frame's picture that change between the earlier and the later
// frames of the outlier window while the rest stays (an object that enters, a light switched on). They are
// marked in a byte plane per window slot (one byte per padded pixel, 1 = changed) that a speck finder can
// treat as it treats a scene change. The flag plane data (bits 0x10, 0x20, 0x80) serves as scratch.
//
// Threads: plain functions over the caller's planes; any thread.
#pragma once

#include "outliers/outlier_stage.h"
#include "outliers/regions.h"
#include "platform/core/mac_types.h"

// Updates the plane of the centre slot 2k of the window (localSceneChanges holds one plane per slot; a NULL
// plane is left alone): set entirely when a scene change lies just before the centre frame; otherwise
// cleared, and computed (BZ_OuCalcLocalSceneChanges) when slots k and 3k hold frames and no scene change lies
// between them. paramErr for missing arguments, memFullErr.
OSStatus BZ_OuDoNextSceneChanges(const BZ_OuParams *ouParams, const SInt32 *avPixelDiff, UInt8 *const *inBuffers,
                                 UInt16 *data, SInt32 *pixelList, UInt8 *const *localSceneChanges);
// Computes the centre slot's plane: the picture pixels whose luminance range over the earlier slots k to
// 2k - 1 lies more than maxAvPixelDiff from their range over the later slots 2k to 3k seed regions, which
// grow over pixels whose ranges are apart by less; the regions and their holes are marked 1.
OSStatus BZ_OuCalcLocalSceneChanges(const BZ_OuParams *ouParams, UInt8 *const *inBuffers, UInt16 *data,
                                    SInt32 *pixelList, UInt8 *localSceneChanges);
// Grows a region from every picture pixel with 0x10 not yet in one (row by row), appends them to *lscList
// and numbers them 0, 1, 2 ...; memFullErr keeps the regions made so far.
OSStatus BZ_OuFindLocalSceneChanges(const BZ_OuParams *ouParams, UInt16 *data, SInt32 *pixelList,
                                    RG_RgnLE **lscList);
// Grows one region from seedNum within the picture and appends it to *lscList.
OSStatus BZ_OuConstructLocalSceneChange(const BZ_OuParams *ouParams, UInt16 *data, SInt32 seedNum,
                                        SInt32 *pixelList, RG_RgnLE **lscList);
// Sets the plane's byte of every region and hole pixel of the list to 1.
void BZ_OuCopyLocalSceneChanges(const RG_RgnLE *lscList, UInt8 *localSceneChanges);
// Sets every byte of the plane (width x height) to 1, or to 0.
void BZ_OuSetGlobalSceneChange(const BZ_OuParams *ouParams, UInt8 *localSceneChanges);
void BZ_OuClearLocalSceneChanges(const BZ_OuParams *ouParams, UInt8 *localSceneChanges);
// Frees the regions of the list, their holes and the list; *lscList ends NULL.
void BZ_OuDisposeLocalSceneChanges(RG_RgnLE **lscList);
// Writes the plane as a padded '2vuy' picture: chroma 128, luminance 128 where set and 255 elsewhere.
void BZ_OuCopySceneChangesToBuffer(const BZ_OuParams *ouParams, const UInt8 *localSceneChanges, UInt8 *outBuffer);
