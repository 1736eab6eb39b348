// Skeletons: the one-pixel-wide centre line of an object given as a byte mask, split into nodes (pixels where
// three or more lines meet) and branches (chains between nodes and ends), with the object's thickness along
// each branch, each branch's corner points and the closures that would join two branch ends across a small
// gap. Masks are byte planes over the padded frame (row x frameWidth + column, non-zero = set); a bounds
// rectangle (bottom and right exclusive) limits every neighbourhood. Plain functions over the caller's masks,
// records and pixel list; they keep no state and run on any thread.
#pragma once

#include "general/geometry.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

struct SK_NodeRgnLE;

enum : OSStatus {
  // The skeleton needs more branches than SK_EstimateNumNodesAndBranches allowed for; the branches found so
  // far are kept.
  kSK_TooManyBranchesErr = 33001,
};

struct SK_SkeletonBranch {
  SInt32 numPixels;
  SInt32 *pixels;     // owned: linear indexes from the head (first pixel) to the tail
  SInt32 nodes[2];    // the node numbers (positions in the skeleton's nodes) at the head and the tail, -1 none
  SInt32 nodeRgns[2]; // the node-region numbers at the head and the tail, -1 none
  SInt32 *thickness;  // owned: 1 to 5 per pixel
  float avThickness, stddevThickness;
  SInt32 numParamPts;
  SInt32 *paramPts;   // owned: positions in pixels of the corner points, ascending
  float *ratios;      // owned: their ratios from the curve subdivision
};

struct SK_Skeleton {
  SInt32 numPixels;  // numNodes plus the pixels of all branches
  SInt32 numNodes;
  SInt32 *nodes;  // owned: linear indexes of the node pixels, row-major
  SInt32 numBranches;
  SK_SkeletonBranch *branches;  // owned: branchesSize entries, the first numBranches filled
  Boolean isLoop;               // one closed line without nodes
  SInt32 numNodeRgns;
  SK_NodeRgnLE *nodeRgns;  // owned (skeleton_node_regions.h)
  SInt32 branchesSize;     // entries allocated in branches
};

struct SK_Closure {
  SInt32 branchNum1, branchNum2;
  SInt32 endPt1, endPt2;  // the facing end pixels
  SInt32 numPixels;
  SInt32 pixels[16];  // the straight line strictly between the two ends
};

struct SK_ClosureCandidatePairLE {
  SK_ClosureCandidatePairLE *next;
  SInt32 branchNum1, branchNum2;
  SInt32 endPt1, endPt2;
  Boolean used;
};

// ---- Thinning ----

// Thins the mask inside bounds to its skeleton: passes of two sub-passes that delete simple border pixels,
// then three clean-ups of the staircase pixels that are left. remove is a byte plane of the same size used as
// work space (its bounds are cleared first).
OSStatus SK_ReduceMaskToSkeleton(SInt32 frameWidth, const Rect *bounds, UInt8 *skeletonAsMask, UInt8 *remove);

// ---- Branches and nodes ----

// Fills a zeroed skeleton from the thinned mask: nodes, branches with thickness (measured in originalMask,
// the object's own mask) and corner points, numPixels and isLoop. examined is a byte plane used as work
// space, pixelList room for one SInt32 per frame pixel. The skeleton owns what it receives
// (SK_DisposeSkeleton), also after an error. kSK_TooManyBranchesErr, memFullErr.
OSStatus SK_FindSkeletonBranchesAndNodes(SInt32 frameWidth, const Rect *bounds, const UInt8 *originalMask,
                                         const UInt8 *skeletonAsMask, UInt8 *examined, SK_Skeleton *skeleton,
                                         SInt32 *pixelList);
// numNodes = the set pixels with more than 2 set neighbours; maxNumBranches = 1 + the set pixels with fewer
// than 2 + the sum of the node pixels' neighbour counts.
void SK_EstimateNumNodesAndBranches(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask,
                                    SInt32 *maxNumBranches, SInt32 *numNodes);
// Stores the indexes of the pixels with more than 2 set neighbours, row-major, at most maxNumNodes of them.
void SK_FindNodes(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask, SInt32 maxNumNodes,
                  SInt32 *nodes);
// The position of pixelIndex in the skeleton's nodes, or -1.
SInt32 SK_GetNodeNum(const SK_Skeleton *skeleton, SInt32 pixelIndex);
// Sets isLoop when there is exactly one branch, no node, and the branch's first pixel has 2 set neighbours;
// otherwise leaves it as it was.
void SK_IsSkeletonLoop(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask, SK_Skeleton *skeleton);

// ---- Neighbourhoods and walking ----

// The set 8-neighbours of pt within bounds as points, row-major (top-left first), and their count.
void SK_GetNeighborsInMask(SInt32 frameWidth, const Rect *bounds, const UInt8 *mask, Point pt, Point neighbors[8],
                           SInt32 *numNeighbors);
// A 3 x 3 table (row by row) of the set neighbours of the pixel at row i, column j within bounds, and their
// count; the centre entry is not written.
void SK_GetNeighborsUsed(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask, SInt32 i, SInt32 j,
                         Boolean neighborsUsed[3][3], SInt32 *numNeigbors);
// Copies the neighbours into orderedUsed in the circle top-left, top, top-right, right, bottom-right, bottom,
// bottom-left, left, top-left and returns how many of the 8 consecutive pairs go from unset to set.
SInt32 SK_GetNumJumps(const Boolean neighborsUsed[3][3], Boolean orderedUsed[9]);
// One step along a branch: the next pixel is the first set neighbour of curPt (row-major) that has fewer than
// 3 set neighbours and is not prevPt, (-1, -1) when there is none; then prevPt = curPt and curPt = that pixel.
void SK_GetSkeletonBranchNextPt(SInt32 frameWidth, const Rect *bounds, const UInt8 *mask, Point *prevPt,
                                Point *curPt);
// Walks from the pixel *curPt until the walk ends or comes back to it; *prevPt receives the last pixel reached
// (a branch end) and *curPt the pixel before it, (-1, -1) when the start had no neighbour to step to.
void SK_GetBranchStart(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask, Point *prevPt,
                       Point *curPt);
// Records the branch that starts at the end pixel prevPt and continues with curPt ((-1, -1) for a one-pixel
// branch) in the next free entry of the skeleton's branches, marking its pixels in examined.
// kSK_TooManyBranchesErr when no entry is left, memFullErr.
OSStatus SK_AddBranchToSkeleton(SInt32 frameWidth, const Rect *bounds, const UInt8 *originalMask,
                                const UInt8 *skeletonAsMask, Point prevPt, Point curPt, SK_Skeleton *skeleton,
                                UInt8 *examined, SInt32 *pixelList);
// A first point with one neighbour gives (-1, -1); otherwise *node becomes the first of its first two
// neighbours that has more than 2 neighbours, and stays as it was when neither has.
void SK_GetSkeletonEdgeNodePt(SInt32 width, const Rect *bounds, const UInt8 *mask, Point firstPt, Point *node);

// ---- Thickness ----

// The thickness of every branch pixel, then avThickness and stddevThickness. memFullErr.
OSStatus SK_CalcBranchThickness(SInt32 frameWidth, const Rect *bounds, const UInt8 *originalMask,
                                SK_SkeletonBranch *skBranch);
// 1 to 5: the largest structuring element (3 x 3, 5 x 5 without corners, or the even 2 x 2 and 4 x 4 without
// corners at one of four placements) around pt that lies in originalMask; element pixels outside bounds count
// as fitting.
SInt32 SK_CalcBranchPixelThickness(SInt32 frameWidth, const Rect *bounds, const UInt8 *originalMask, Point pt);

// ---- Closures ----

// The closures between branches of more than 2 pixels whose free ends face each other across a gap below 16
// pixels: *closures is a new array (owned: GL_DisposePtr; NULL when there are none) of *numClosures entries.
// memFullErr.
OSStatus SK_CalcBranchClosures(SInt32 frameWidth, const SK_Skeleton *skeleton, SInt32 *numClosures,
                               SK_Closure **closures);
// The closest pair of ends of two branches (*endPt1 of branch1, *endPt2 of branch2); *distanceSmall when the
// gap is below 16 and below a tenth of the two lengths or at most 3. Only then attachedToNode[k] tells
// whether branch k + 1's chosen end lies at a node, and, when neither does, *directionSimilar whether the two
// ends point at each other (cosine below -0.9). Outputs not computed are set false.
void SK_FindClosestEndPts(SInt32 frameWidth, const SK_SkeletonBranch *branch1, const SK_SkeletonBranch *branch2,
                          SInt32 *endPt1, SInt32 *endPt2, Boolean *distanceSmall, Boolean attachedToNode[2],
                          Boolean *directionSimilar);
// The vector (h column, v row difference) from an inner pixel of the branch to its first (firstEnd) or last
// end: the nearest corner point when there are any, else the other end.
void SK_CalcEndDirection(SInt32 frameWidth, const SK_SkeletonBranch *branch, Boolean firstEnd,
                         GL_FloatPt *direction);
// The straight line of pixels strictly between the two end pixels (at most 16).
void SK_CalcClosurePixels(SInt32 frameWidth, SInt32 endPt1, SInt32 endPt2, SK_Closure *closure);

// ---- Holes and disposal ----

// Over all nodes, the set neighbours of each node pixel with fewer than 3 neighbours themselves, less the
// branches and the nodes, plus 1.
SInt32 SK_CalcNumHolesInSkeleton(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask,
                                 const SK_Skeleton *skeleton);
// Frees nodes, every branch, the branch array and the node regions, leaving the record zeroed.
void SK_DisposeSkeleton(SK_Skeleton *skeleton);
// Frees the branch's pixels, thickness, corner points and ratios, leaving the pointers NULL.
void SK_DisposeBranch(SK_SkeletonBranch *branch);
