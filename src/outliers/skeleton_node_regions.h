// Node regions of a skeleton: the node pixels that touch one another, the branches attached to each, ordered
// by a walk around the region's border, and the colour of the frame in each sector between two consecutive
// long branches (the areas outside the object that the branches separate). Plain functions over the caller's
// frame, masks, flag plane and pixel list; they keep no state and run on any thread.
//
// The flag plane is the outlier plane of regions.h; these routines rewrite its bits 0x10 and 0x20 (the current
// and the next branch with their sealed sides), 0x80 (node-region pixels) and 0x200 (sector pixels taken) in
// the bounds they are given. Afterwards only the node pixels of regions without sector colours keep 0x10 and
// 0x80 there; the degree bits the object was grown from are gone.
#pragma once

#include "outliers/regions.h"
#include "outliers/skeletons.h"
#include "platform/core/mac_types.h"

// Result codes; they reach only the outlier worker's trace line.
enum : OSStatus {
  kSK_SectorWithoutSamplesErr = 33000,  // a sector without pixels outside the object (not passed on)
  kSK_NodeWithoutRgnErr = 33002,        // an attached node lies in no node region
  kSK_BorderWalkLostErr = 33003,        // the border walk found no next border pixel
  kSK_BranchSortedTwiceErr = 33004,     // the sorted branch list holds a branch twice
  kSK_BorderWalkRunawayErr = 33005,     // the walk turned more than 8 times per border pixel on average
  kSK_SectorStepLimitErr = 33006,       // the first sector layer needed more than the allowed steps
};

enum : SInt32 { kSK_NumSectorSamples = 10 };

struct SK_NodeRgn {
  RG_Region rgn;                // the node pixels, with size, centre of mass and holes
  SInt32 *branches;             // the attached branches, one entry per attached end
  Boolean *headConnected;       // per entry: the branch's head (first pixel) is the attached end
  SInt32 *sortedBranches;       // positions in branches, in the order of the border walk
  SInt32 numBranches;           // entries in branches (the arrays hold this many, colorIndexes 10 times)
  SInt32 numLongBranches;       // entries in longBranches
  SInt32 *longBranches;         // positions in sortedBranches of the branches of more than 2 pixels
  YCbCrF32 *colors;             // per sector (long branch k to k + 1): its average colour
  YCbCrF32 *colorStddevs;       // and the deviation of it
  SInt32 *colorIndexes;         // per sector 10 slots: the sampled pixels
  SInt32 *numColorIndexes;      // per sector: how many were sampled
};

struct SK_NodeRgnLE {
  SK_NodeRgnLE *next;
  SInt32 number;  // from 0 in creation order
  SK_NodeRgn nodeRgn;
};

// The colour samples of one sector as they are collected.
struct SK_SectorSamples {
  SInt32 numY, numCb, numCr;
  float y[kSK_NumSectorSamples];
  float cb[kSK_NumSectorSamples + 1];  // the first may come from the pixel to the left
  float cr[kSK_NumSectorSamples + 1];
};

// Builds the node regions of the skeleton's nodes inside bounds (the object's bounds) and everything below:
// branch relations, removal of branches lying in a node region's holes, the border order and the sector
// colours. inBuffer is the padded '2vuy' frame, originalMask the object's byte mask. The first failure is
// returned; the regions made so far stay with the skeleton (SK_DisposeSkeleton frees them).
OSStatus SK_CalcNodeRgns(SInt32 frameWidth, const UInt8 *inBuffer, const Rect *bounds, const UInt8 *originalMask,
                         UInt16 *data, SInt32 *pixelList, SK_Skeleton *skeleton);
// Gives each branch end with a node the number of the node region holding that node (nodeRgns, -1 otherwise),
// then fills each region's branches and headConnected, branch by branch, head before tail.
// kSK_NodeWithoutRgnErr, memFullErr.
OSStatus SK_RecordBranchNodeRelation(SK_Skeleton *skeleton);
// Frees every branch whose end at a node region lies in one of that region's holes; later branches move down
// one place and every region's lists follow.
void SK_RemoveNodeRgnInternalBranches(SK_Skeleton *skeleton);
// Orders each region's branches by a clockwise walk around its border (pixelList as work space).
// kSK_BorderWalkLostErr, kSK_BranchSortedTwiceErr, kSK_BorderWalkRunawayErr.
OSStatus SK_SortNodeBranches(SInt32 frameWidth, const Rect *bounds, SK_Skeleton *skeleton, SInt32 *pixelList);
// Whether pixelIndex is the attached end of one of the region's branches (a one-pixel branch only at a
// position not among the first numBranchesEncountered sorted ones); *branchNum its position in branches.
Boolean SK_NeighborOfNodePixelIsBranchPixel(const SK_Skeleton *skeleton, const SK_NodeRgn *nodeRgn,
                                            SInt32 numBranchesEncountered, SInt32 pixelIndex, SInt32 *branchNum);
// Whether one of the listed branches (branch numbers) has at one of its ends the node whose pixel is
// pixelIndex; *branchNum its position in the list.
Boolean SK_IsNodeRgnBorderPixelBranchEnd(const SK_Skeleton *skeleton, const SInt32 *nodeBranches,
                                         SInt32 numNodeBranches, SInt32 pixelIndex, SInt32 *branchNum);
// The long branches of every region and, for a region with more than 2, the colour of each sector.
OSStatus SK_CalcNodeAdjColors(SInt32 frameWidth, const UInt8 *inBuffer, const Rect *bounds,
                              const UInt8 *originalMask, SK_Skeleton *skeleton, UInt16 *data, SInt32 *pixelList);
// The colour of sector curSectorNum of the region, between the branches at positions curBranchNum and
// nextBranchNum of its branches. Expects the plane as SK_CalcNodeRgns prepares it (in bounds only node pixels
// carry 0x10, 0x20 or 0x200) and leaves none of those bits in bounds.
// kSK_SectorWithoutSamplesErr (deviations 128.0), kSK_SectorStepLimitErr.
OSStatus SK_CalcSectorColor(SInt32 frameWidth, const UInt8 *inBuffer, const Rect *bounds, const UInt8 *originalMask,
                            const SK_Skeleton *skeleton, UInt16 *data, SK_NodeRgn *nodeRgn, SInt32 nodeRgnNum,
                            SInt32 curSectorNum, SInt32 curBranchNum, SInt32 nextBranchNum, SInt32 *pixelList);
// Seals the sector side of the two branches (positions in the region's branches): the current one clockwise
// with 0x10, the next one counter-clockwise with 0x20, along each from its end at the region.
void SK_MakeBranchesImpermeable(SInt32 frameWidth, const Rect *bounds, const SK_Skeleton *skeleton,
                                const SK_NodeRgn *nodeRgn, SInt32 curBranchNum, SInt32 nextBranchNum, UInt16 *data);
// Marks with flag the neighbours of curPixel swept from the direction of prevPixel towards nextPixel
// (clockwise or not), next excluded; positions outside bounds are skipped.
void SK_MakeBrancheImpermeableAtPixel(SInt32 frameWidth, const Rect *bounds, SInt32 prevPixel, SInt32 curPixel,
                                      SInt32 nextPixel, Boolean clockwise, UInt16 flag, UInt16 *data);
// The first layer of the sector: a clockwise walk around the node region from the current branch to the next
// one (positions in the region's branches), taking the free pixels on the way into pixelList (*layerSize of
// them) and sampling those outside the object, in at most maxSteps looks. kSK_SectorStepLimitErr.
OSStatus SK_FindFirstSectorPixels(SInt32 frameWidth, const UInt8 *inBuffer, const Rect *bounds,
                                  const UInt8 *originalMask, const SK_Skeleton *skeleton, UInt16 *data,
                                  SK_NodeRgn *nodeRgn, SInt32 sectorNum, SInt32 curBranchNum, SInt32 nextBranchNum,
                                  SInt32 maxSteps, SInt32 *pixelList, SInt32 *layerSize, SK_SectorSamples *samples);
// The next layer: the free 8-neighbours of the layer pixelList[layerStart .. layerEnd - 1], appended after it
// (up to *newLayerEnd), sampled like the first.
void SK_FindNextSectorPixels(SInt32 frameWidth, const UInt8 *inBuffer, const Rect *bounds, const UInt8 *originalMask,
                             UInt16 *data, SK_NodeRgn *nodeRgn, SInt32 sectorNum, SInt32 *pixelList,
                             SInt32 layerStart, SInt32 layerEnd, SInt32 *newLayerEnd, SK_SectorSamples *samples);
// Prints one node region (its branches, sorted positions, long branches with their colours and a character map
// of the area it and its branches and samples cover); "Node region not found in list" for an unknown number.
void SK_PrintNodeRgn(SInt32 frameWidth, const SK_Skeleton *skeleton, SInt32 number, const UInt16 *data);
// Branch colours are not measured; kept for callers that name it.
void SK_CalcBranchColor();
// Frees every region of the list with its arrays, and the list; *nodeRgns ends NULL.
void SK_DisposeNodeRgns(SK_NodeRgnLE **nodeRgns);
