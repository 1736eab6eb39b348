// The interpolating removal of logo removal (modes 2 and 3 with an opaque logo): the mask split into
// 8-connected components, each with its target pixels (the mask pixels) and its sources (the pixels next to
// a target that are outside the rectangle or not in the mask, rows one field line apart), and a table of
// distance weights. Built once per run (or by the preview after a new rectangle); per frame only the source
// values are refreshed and the weighted sums taken.
//
// Threads: set-up on the distributor or the main thread; BZ_RlKillLogoUsingNonTrMask on the workers, each
// with its own source arrays (entry subTaskNum).
#pragma once

#include "methods/logo_params.h"
#include "platform/core/mac_types.h"

// Splits the mask into components (rlParams->logoComps, numConnectedComps), makes their targets and sources
// with numWorkers source arrays each, and the weight table (rlParams->interpWeights, owned by the caller
// afterwards: BZ_RlDisposeInterpolation). memFullErr, with nothing left allocated.
OSStatus BZ_SetupNonTrInterpolation(BZ_RlParams *rlParams, SInt32 numSubTasks);
// The components alone (masks and bounds; no sources yet). Prints each. memFullErr.
OSStatus BZ_FindNonTrLogoComponents(BZ_RlParams *rlParams);
// The weight of a source dv rows (field rows when interlaced) and dh columns from a target.
double BZ_RlInterpWeight(SInt32 dv, SInt32 dh);
// Frees every component and clears the head; one component with its mask, source and target arrays.
void BZ_RlDisposeLogoComponents(BZ_RlLogoCompLE **first);
void BZ_RlDisposeLogoComponent(BZ_RlLogoCompLE *comp);
// The components and weights of the record, freed and cleared.
void BZ_RlDisposeInterpolation(BZ_RlLogoCompLE **logoComps, SInt32 *numConnectedComps, float **interpWeights);

// Every target replaced by the weighted mean of its component's sources (on outBuffer, which holds the
// input's copy).
void BZ_RlKillLogoUsingNonTrMask(const BZ_RlParams *rlParams, SInt32 subTaskNum, UInt8 *outBuffer);

// Ten bytes per pixel, the first five 255 and the last five 0 (opaque finding's lists); NULL when out of
// memory. Owned: free().
UInt8 *BZ_RlAllocateAndInit10MinMaxColors(SInt32 numLogoPixels);
