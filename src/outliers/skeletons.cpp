// Thinning, branches and nodes, thickness, closures.
#include "outliers/skeletons.h"

#include "general/memory_lists.h"
#include "general/statistics.h"
#include "outliers/regions.h"
#include "outliers/skeleton_node_regions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Row-major neighbour order: top-left, top, top-right, left, right, bottom-left, bottom, bottom-right.
constexpr SInt32 kRowMajorRow[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr SInt32 kRowMajorCol[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
constexpr Point kNoPoint = {-1, -1};

inline bool IsNone(Point p) { return p.v == -1 && p.h == -1; }
inline bool SamePoint(Point a, Point b) { return a.v == b.v && a.h == b.h; }
inline SInt32 IndexOf(Point p, SInt32 w) { return SInt32(p.v) * w + p.h; }
inline Point PointOf(SInt32 index, SInt32 w) { return Point{SInt16(index / w), SInt16(index % w)}; }

inline bool IsSet(SInt32 w, const Rect &b, const UInt8 *mask, SInt32 r, SInt32 c) {
  return RG_InBounds(b, r, c) && mask[r * w + c] != 0;
}

SInt32 CountNeighbours(SInt32 w, const Rect &b, const UInt8 *mask, SInt32 r, SInt32 c) {
  SInt32 n = 0;
  for (int k = 0; k < 8; ++k) n += IsSet(w, b, mask, r + kRowMajorRow[k], c + kRowMajorCol[k]) ? 1 : 0;
  return n;
}

// The neighbourhood of a set pixel as the thinning sees it.
struct Ring {
  bool tl, t, tr, r, br, b, bl, l;
  SInt32 count;  // set neighbours
  SInt32 jumps;  // unset-to-set changes around the circle
};

// The deletion rules: the two sub-passes of the thinning and of its first two clean-ups, and the last clean-up.
enum class Rule { kThin, kFourNeighbours, kThreeNeighbours, kCorner };

bool Removable(Rule rule, int subPass, const Ring &n) {
  switch (rule) {
    case Rule::kThin:
      if (n.count < 2 || n.count > 6 || n.jumps != 1) return false;
      return subPass == 0 ? !(n.t && n.r && n.b) && !(n.r && n.b && n.l)
                          : !(n.t && n.r && n.l) && !(n.t && n.b && n.l);
    case Rule::kFourNeighbours:
      if (n.count != 4 || n.jumps != 2) return false;
      return subPass == 0 ? (n.tr && n.r && n.b && n.bl) || (n.tl && n.t && n.r && n.br)
                          : (n.t && n.tr && n.bl && n.l) || (n.tl && n.br && n.b && n.l);
    case Rule::kThreeNeighbours:
      if (n.count != 3 || n.jumps != 2) return false;
      return subPass == 0 ? (n.t && n.r && n.br) || (n.r && n.b && n.bl) || (n.r && n.b && n.tr) ||
                                (n.b && n.l && n.br)
                          : (n.t && n.r && n.tl) || (n.l && n.t && n.bl) || (n.l && n.t && n.tr) ||
                                (n.b && n.l && n.tl);
    case Rule::kCorner:
      return n.count == 2 && n.jumps == 2 && ((n.t && n.r) || (n.r && n.b) || (n.b && n.l) || (n.l && n.t));
  }
  return false;
}

// A neighbourhood as 8 bits, bit d set when the neighbour in direction d (clockwise from the top-left) is set;
// neighbours outside the bounds are unset.
inline UInt8 PatternAt(SInt32 w, const Rect &b, const UInt8 *mask, SInt32 p) {
  const SInt32 r = p / w, c = p % w;
  UInt8 bits = 0;
  if (r > b.top && r < b.bottom - 1 && c > b.left && c < b.right - 1) {
    const UInt8 *m = mask + p;
    const SInt32 offsets[8] = {-w - 1, -w, -w + 1, 1, w + 1, w, w - 1, -1};
    for (int d = 0; d < 8; ++d) bits |= UInt8((m[offsets[d]] != 0) << d);
  } else {
    for (int d = 0; d < 8; ++d) bits |= UInt8(IsSet(w, b, mask, r + kRG_DirRow[d], c + kRG_DirCol[d]) << d);
  }
  return bits;
}

// For every neighbourhood pattern, bit 2 x rule + subPass tells whether the rule removes the pixel. The
// table is made from SK_GetNeighborsUsed's layout and SK_GetNumJumps, so it holds the rules as stated.
struct RuleTable {
  UInt8 removable[256];
  RuleTable() {
    for (int pattern = 0; pattern < 256; ++pattern) {
      Boolean used[3][3] = {};
      for (int d = 0; d < 8; ++d) used[kRG_DirRow[d] + 1][kRG_DirCol[d] + 1] = (pattern >> d) & 1;
      Boolean ordered[9];
      Ring n{};
      n.jumps = SK_GetNumJumps(used, ordered);
      n.count = __builtin_popcount(unsigned(pattern));
      n.tl = used[0][0];
      n.t = used[0][1];
      n.tr = used[0][2];
      n.l = used[1][0];
      n.r = used[1][2];
      n.bl = used[2][0];
      n.b = used[2][1];
      n.br = used[2][2];
      UInt8 bits = 0;
      for (int rule = 0; rule < 4; ++rule)
        for (int sub = 0; sub < 2; ++sub)
          if (Removable(Rule(rule), sub, n)) bits |= UInt8(1 << (2 * rule + sub));
      removable[pattern] = bits;
    }
  }
  bool operator()(Rule rule, int subPass, UInt8 pattern) const {
    return (removable[pattern] >> (2 * int(rule) + subPass)) & 1;
  }
};

const RuleTable &Rules() {
  static const RuleTable table;
  return table;
}

// One sub-pass: every pixel that meets the rule against the mask as it stood when the sub-pass began is marked
// in remove and cleared afterwards. Only set pixels can be marked, so the sub-pass visits just the set pixels
// of the bounds, in raster order, and drops the cleared ones from that list: the marks are those of a scan of
// the whole bounds. Returns how many pixels were cleared.
SInt32 SubPass(SInt32 w, const Rect &bounds, UInt8 *mask, UInt8 *remove, Rule rule, int subPass,
               std::vector<SInt32> &setPixels, std::vector<SInt32> &marked) {
  const RuleTable &rules = Rules();
  marked.clear();
  for (SInt32 p : setPixels)
    if (rules(rule, subPass, PatternAt(w, bounds, mask, p))) {
      remove[p] = 1;
      marked.push_back(p);
    }
  for (SInt32 p : marked) mask[p] = 0;
  if (!marked.empty())
    setPixels.erase(std::remove_if(setPixels.begin(), setPixels.end(), [mask](SInt32 p) { return mask[p] == 0; }),
                    setPixels.end());
  return SInt32(marked.size());
}

void RepeatUntilStable(SInt32 w, const Rect &bounds, UInt8 *mask, UInt8 *remove, Rule rule,
                       std::vector<SInt32> &setPixels, std::vector<SInt32> &marked) {
  for (;;) {
    SInt32 removed = SubPass(w, bounds, mask, remove, rule, 0, setPixels, marked);
    removed += SubPass(w, bounds, mask, remove, rule, 1, setPixels, marked);
    if (removed == 0) return;
  }
}

// The node number of the neighbour `which` of pt, or -1.
SInt32 NodeNumOfNeighbour(const SK_Skeleton *skeleton, SInt32 w, Point neighbour) {
  return SK_GetNodeNum(skeleton, IndexOf(neighbour, w));
}

// The node at an end pixel: its first neighbour other than `other` (the second when the first is `other`)
// when it has at least two neighbours, else -1.
SInt32 EndNode(SInt32 w, const Rect &bounds, const UInt8 *mask, const SK_Skeleton *skeleton, Point end, Point other) {
  Point nb[8];
  SInt32 n = 0;
  SK_GetNeighborsInMask(w, &bounds, mask, end, nb, &n);
  if (n < 2) return -1;
  return NodeNumOfNeighbour(skeleton, w, SamePoint(nb[0], other) ? nb[1] : nb[0]);
}

inline SInt64 BoundsArea(const Rect &b) {
  return std::max<SInt64>(0, SInt64(b.bottom - b.top)) * std::max<SInt64>(0, SInt64(b.right - b.left));
}

}  // namespace

// ---- Thinning ----

OSStatus SK_ReduceMaskToSkeleton(SInt32 frameWidth, const Rect *bounds, UInt8 *skeletonAsMask, UInt8 *remove) {
  if (frameWidth <= 0 || bounds == nullptr || skeletonAsMask == nullptr || remove == nullptr) return paramErr;
  const Rect b = *bounds;
  if (b.bottom <= b.top || b.right <= b.left) return noErr;
  std::vector<SInt32> setPixels, marked;
  try {
    for (SInt32 r = b.top; r < b.bottom; ++r) {
      std::memset(remove + SInt64(r) * frameWidth + b.left, 0, size_t(b.right - b.left));
      for (SInt32 c = b.left; c < b.right; ++c)
        if (skeletonAsMask[r * frameWidth + c]) setPixels.push_back(r * frameWidth + c);
    }
    marked.reserve(setPixels.size());
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  RepeatUntilStable(frameWidth, b, skeletonAsMask, remove, Rule::kThin, setPixels, marked);
  RepeatUntilStable(frameWidth, b, skeletonAsMask, remove, Rule::kFourNeighbours, setPixels, marked);
  RepeatUntilStable(frameWidth, b, skeletonAsMask, remove, Rule::kThreeNeighbours, setPixels, marked);
  // The last clean-up clears each corner pixel at once, in raster order, so later pixels see the change.
  const RuleTable &rules = Rules();
  for (SInt32 p : setPixels)
    if (rules(Rule::kCorner, 0, PatternAt(frameWidth, b, skeletonAsMask, p))) skeletonAsMask[p] = 0;
  return noErr;
}

// ---- Neighbourhoods and walking ----

void SK_GetNeighborsInMask(SInt32 frameWidth, const Rect *bounds, const UInt8 *mask, Point pt, Point neighbors[8],
                           SInt32 *numNeighbors) {
  SInt32 n = 0;
  if (frameWidth > 0 && bounds != nullptr && mask != nullptr && neighbors != nullptr)
    for (int k = 0; k < 8; ++k) {
      const SInt32 r = pt.v + kRowMajorRow[k], c = pt.h + kRowMajorCol[k];
      if (IsSet(frameWidth, *bounds, mask, r, c)) neighbors[n++] = Point{SInt16(r), SInt16(c)};
    }
  if (numNeighbors != nullptr) *numNeighbors = n;
}

void SK_GetNeighborsUsed(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask, SInt32 i, SInt32 j,
                         Boolean neighborsUsed[3][3], SInt32 *numNeigbors) {
  SInt32 n = 0;
  for (SInt32 di = -1; di <= 1; ++di)
    for (SInt32 dj = -1; dj <= 1; ++dj) {
      if (di == 0 && dj == 0) continue;
      const bool set = IsSet(frameWidth, *bounds, skeletonAsMask, i + di, j + dj);
      neighborsUsed[di + 1][dj + 1] = set;
      n += set ? 1 : 0;
    }
  if (numNeigbors != nullptr) *numNeigbors = n;
}

SInt32 SK_GetNumJumps(const Boolean neighborsUsed[3][3], Boolean orderedUsed[9]) {
  // The clockwise circle from the top-left, closed by the top-left again.
  for (int d = 0; d < 8; ++d) orderedUsed[d] = neighborsUsed[kRG_DirRow[d] + 1][kRG_DirCol[d] + 1];
  orderedUsed[8] = orderedUsed[0];
  SInt32 jumps = 0;
  for (int d = 0; d < 8; ++d) jumps += (!orderedUsed[d] && orderedUsed[d + 1]) ? 1 : 0;
  return jumps;
}

void SK_GetSkeletonBranchNextPt(SInt32 frameWidth, const Rect *bounds, const UInt8 *mask, Point *prevPt,
                                Point *curPt) {
  Point nb[8];
  SInt32 n = 0;
  SK_GetNeighborsInMask(frameWidth, bounds, mask, *curPt, nb, &n);
  Point next = kNoPoint;
  for (SInt32 k = 0; k < n; ++k) {
    if (SamePoint(nb[k], *prevPt)) continue;
    if (CountNeighbours(frameWidth, *bounds, mask, nb[k].v, nb[k].h) < 3) {
      next = nb[k];
      break;
    }
  }
  *prevPt = *curPt;
  *curPt = next;
}

void SK_GetBranchStart(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask, Point *prevPt,
                       Point *curPt) {
  if (frameWidth <= 0 || bounds == nullptr || skeletonAsMask == nullptr || prevPt == nullptr || curPt == nullptr)
    return;
  const Point start = *curPt;
  Point prev = kNoPoint, cur = start, before = kNoPoint;
  // A walk visits each pixel of the bounds at most once before it ends or comes home.
  const SInt64 maxSteps = BoundsArea(*bounds) + 1;
  for (SInt64 step = 0; step < maxSteps; ++step) {
    before = prev;
    SK_GetSkeletonBranchNextPt(frameWidth, bounds, skeletonAsMask, &prev, &cur);
    if (IsNone(cur) || SamePoint(cur, start)) break;
  }
  *prevPt = prev;
  *curPt = before;
}

OSStatus SK_AddBranchToSkeleton(SInt32 frameWidth, const Rect *bounds, const UInt8 *originalMask,
                                const UInt8 *skeletonAsMask, Point prevPt, Point curPt, SK_Skeleton *skeleton,
                                UInt8 *examined, SInt32 *pixelList) {
  if (frameWidth <= 0 || bounds == nullptr || originalMask == nullptr || skeletonAsMask == nullptr ||
      skeleton == nullptr || examined == nullptr || pixelList == nullptr || IsNone(prevPt))
    return paramErr;
  if (skeleton->branches == nullptr || skeleton->numBranches >= skeleton->branchesSize) return kSK_TooManyBranchesErr;
  const Rect &b = *bounds;
  const Point end = prevPt;
  SInt32 count = 0;
  pixelList[count++] = IndexOf(end, frameWidth);
  examined[IndexOf(end, frameWidth)] = 1;
  SInt32 nodes[2] = {-1, -1};
  if (!IsNone(curPt)) {
    nodes[0] = EndNode(frameWidth, b, skeletonAsMask, skeleton, end, curPt);
    Point prev = end, cur = curPt, last = end, beforeLast = end;
    const SInt64 maxPixels = BoundsArea(b);
    do {
      pixelList[count++] = IndexOf(cur, frameWidth);
      examined[IndexOf(cur, frameWidth)] = 1;
      beforeLast = prev;
      last = cur;
      SK_GetSkeletonBranchNextPt(frameWidth, bounds, skeletonAsMask, &prev, &cur);
    } while (!IsNone(cur) && !SamePoint(cur, end) && count < maxPixels);
    nodes[1] = EndNode(frameWidth, b, skeletonAsMask, skeleton, last, beforeLast);
  } else {
    Point nb[8];
    SInt32 n = 0;
    SK_GetNeighborsInMask(frameWidth, bounds, skeletonAsMask, end, nb, &n);
    if (n >= 1) nodes[0] = NodeNumOfNeighbour(skeleton, frameWidth, nb[0]);
    if (n >= 2) nodes[1] = NodeNumOfNeighbour(skeleton, frameWidth, nb[1]);
  }

  SK_SkeletonBranch *branch = &skeleton->branches[skeleton->numBranches];
  OSStatus err = GL_NewPtr(sizeof(SInt32) * size_t(count), &branch->pixels);
  if (err != noErr) return err;
  ++skeleton->numBranches;
  std::memcpy(branch->pixels, pixelList, sizeof(SInt32) * size_t(count));
  branch->numPixels = count;
  branch->nodes[0] = nodes[0];
  branch->nodes[1] = nodes[1];
  branch->nodeRgns[0] = branch->nodeRgns[1] = -1;
  err = SK_CalcBranchThickness(frameWidth, bounds, originalMask, branch);
  if (err != noErr) return err;

  // Corner points of the branch as a curve (x the column, y the row). A branch has at most count - 2 inner
  // points to split at, so a limit of count corners is the same as any larger one and bounds the scratch.
  const SInt32 maxNumAngPts = std::min<SInt32>(100000, count);
  std::vector<GL_FloatPt> pts;
  std::vector<SInt32> scratch;
  try {
    pts.resize(size_t(count));
    scratch.resize(2 * size_t(maxNumAngPts));
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  for (SInt32 k = 0; k < count; ++k)
    pts[k] = GL_FloatPt{float(branch->pixels[k] % frameWidth), float(branch->pixels[k] / frameWidth)};
  return GL_SubdivideCurve(pts.data(), 0, 0, count - 1, 2.0f, -1, 0.0f, 0.0f, 0.1f, maxNumAngPts,
                           &branch->numParamPts, &branch->paramPts, &branch->ratios, scratch.data());
}

void SK_GetSkeletonEdgeNodePt(SInt32 width, const Rect *bounds, const UInt8 *mask, Point firstPt, Point *node) {
  if (width <= 0 || bounds == nullptr || mask == nullptr || node == nullptr) return;
  Point nb[8];
  SInt32 n = 0;
  SK_GetNeighborsInMask(width, bounds, mask, firstPt, nb, &n);
  if (n == 1) {
    *node = kNoPoint;
    return;
  }
  for (SInt32 k = 0; k < std::min<SInt32>(2, n); ++k)
    if (CountNeighbours(width, *bounds, mask, nb[k].v, nb[k].h) > 2) {
      *node = nb[k];
      return;
    }
}

// ---- Branches and nodes ----

void SK_EstimateNumNodesAndBranches(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask,
                                    SInt32 *maxNumBranches, SInt32 *numNodes) {
  SInt32 nodes = 0, ends = 0, nodeNeighbours = 0;
  if (frameWidth > 0 && bounds != nullptr && skeletonAsMask != nullptr)
    for (SInt32 r = bounds->top; r < bounds->bottom; ++r)
      for (SInt32 c = bounds->left; c < bounds->right; ++c) {
        if (!skeletonAsMask[r * frameWidth + c]) continue;
        const SInt32 n = CountNeighbours(frameWidth, *bounds, skeletonAsMask, r, c);
        if (n > 2) {
          ++nodes;
          nodeNeighbours += n;
        } else if (n < 2) {
          ++ends;
        }
      }
  if (maxNumBranches != nullptr) *maxNumBranches = 1 + ends + nodeNeighbours;
  if (numNodes != nullptr) *numNodes = nodes;
}

void SK_FindNodes(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask, SInt32 maxNumNodes,
                  SInt32 *nodes) {
  if (frameWidth <= 0 || bounds == nullptr || skeletonAsMask == nullptr || nodes == nullptr) return;
  SInt32 k = 0;
  for (SInt32 r = bounds->top; r < bounds->bottom && k < maxNumNodes; ++r)
    for (SInt32 c = bounds->left; c < bounds->right && k < maxNumNodes; ++c)
      if (skeletonAsMask[r * frameWidth + c] && CountNeighbours(frameWidth, *bounds, skeletonAsMask, r, c) > 2)
        nodes[k++] = r * frameWidth + c;
}

SInt32 SK_GetNodeNum(const SK_Skeleton *skeleton, SInt32 pixelIndex) {
  if (skeleton == nullptr || skeleton->nodes == nullptr) return -1;
  for (SInt32 k = 0; k < skeleton->numNodes; ++k)
    if (skeleton->nodes[k] == pixelIndex) return k;
  return -1;
}

void SK_IsSkeletonLoop(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask, SK_Skeleton *skeleton) {
  if (frameWidth <= 0 || bounds == nullptr || skeletonAsMask == nullptr || skeleton == nullptr) return;
  if (skeleton->numBranches != 1 || skeleton->numNodes != 0 || skeleton->branches[0].numPixels < 1) return;
  const SInt32 first = skeleton->branches[0].pixels[0];
  if (CountNeighbours(frameWidth, *bounds, skeletonAsMask, first / frameWidth, first % frameWidth) == 2)
    skeleton->isLoop = true;
}

OSStatus SK_FindSkeletonBranchesAndNodes(SInt32 frameWidth, const Rect *bounds, const UInt8 *originalMask,
                                         const UInt8 *skeletonAsMask, UInt8 *examined, SK_Skeleton *skeleton,
                                         SInt32 *pixelList) {
  if (frameWidth <= 0 || bounds == nullptr || originalMask == nullptr || skeletonAsMask == nullptr ||
      examined == nullptr || skeleton == nullptr || pixelList == nullptr)
    return paramErr;
  const Rect b = *bounds;
  if (b.bottom <= b.top || b.right <= b.left) return noErr;
  for (SInt32 r = b.top; r < b.bottom; ++r) std::memset(examined + SInt64(r) * frameWidth + b.left, 0, size_t(b.right - b.left));
  SInt32 maxNumBranches = 0, numNodes = 0;
  SK_EstimateNumNodesAndBranches(frameWidth, bounds, skeletonAsMask, &maxNumBranches, &numNodes);
  OSStatus err = GL_NewPtrClear(sizeof(SK_SkeletonBranch) * size_t(maxNumBranches), &skeleton->branches);
  if (err != noErr) return err;
  skeleton->branchesSize = maxNumBranches;
  err = GL_NewPtrClear(sizeof(SInt32) * size_t(numNodes), &skeleton->nodes);
  if (err != noErr) return err;
  skeleton->numNodes = numNodes;
  SK_FindNodes(frameWidth, bounds, skeletonAsMask, numNodes, skeleton->nodes);

  for (SInt32 r = b.top; r < b.bottom && err == noErr; ++r)
    for (SInt32 c = b.left; c < b.right && err == noErr; ++c) {
      const SInt32 p = r * frameWidth + c;
      if (!skeletonAsMask[p] || examined[p] || CountNeighbours(frameWidth, b, skeletonAsMask, r, c) >= 3) continue;
      Point prev = kNoPoint, cur = PointOf(p, frameWidth);
      SK_GetBranchStart(frameWidth, bounds, skeletonAsMask, &prev, &cur);
      err = SK_AddBranchToSkeleton(frameWidth, bounds, originalMask, skeletonAsMask, prev, cur, skeleton, examined,
                                   pixelList);
    }

  SInt32 numPixels = skeleton->numNodes;
  for (SInt32 k = 0; k < skeleton->numBranches; ++k) numPixels += skeleton->branches[k].numPixels;
  skeleton->numPixels = numPixels;
  SK_IsSkeletonLoop(frameWidth, bounds, skeletonAsMask, skeleton);
  return err;
}

// ---- Thickness ----

OSStatus SK_CalcBranchThickness(SInt32 frameWidth, const Rect *bounds, const UInt8 *originalMask,
                                SK_SkeletonBranch *skBranch) {
  if (frameWidth <= 0 || bounds == nullptr || originalMask == nullptr || skBranch == nullptr ||
      skBranch->pixels == nullptr)
    return paramErr;
  if (skBranch->thickness != nullptr) GL_DisposePtr(&skBranch->thickness);
  OSStatus err = GL_NewPtr(sizeof(SInt32) * size_t(skBranch->numPixels), &skBranch->thickness);
  if (err != noErr) return err;
  for (SInt32 k = 0; k < skBranch->numPixels; ++k)
    skBranch->thickness[k] = SK_CalcBranchPixelThickness(frameWidth, bounds, originalMask,
                                                         PointOf(skBranch->pixels[k], frameWidth));
  GL_GetAverageL(skBranch->thickness, skBranch->numPixels, &skBranch->avThickness, &skBranch->stddevThickness);
  return noErr;
}

SInt32 SK_CalcBranchPixelThickness(SInt32 frameWidth, const Rect *bounds, const UInt8 *originalMask, Point pt) {
  if (frameWidth <= 0 || bounds == nullptr || originalMask == nullptr) return 1;
  const Rect &b = *bounds;
  // Whether the size x size element with its top-left at (top, left), its corners left out when cut, lies in
  // the mask; its pixels outside the bounds are not looked at.
  auto fits = [&](SInt32 top, SInt32 left, SInt32 size, bool cut) {
    for (SInt32 i = 0; i < size; ++i)
      for (SInt32 j = 0; j < size; ++j) {
        if (cut && (i == 0 || i == size - 1) && (j == 0 || j == size - 1)) continue;
        const SInt32 r = top + i, c = left + j;
        if (RG_InBounds(b, r, c) && originalMask[r * frameWidth + c] == 0) return false;
      }
    return true;
  };
  const SInt32 r = pt.v, c = pt.h;
  SInt32 thickness = 1;
  if (fits(r - 1, c - 1, 3, false)) {
    thickness = 3;
    if (fits(r - 2, c - 2, 5, true)) thickness = 5;
  }
  if (thickness == 1 || thickness == 3) {
    const SInt32 size = thickness + 1, half = size / 2;
    for (SInt32 shift = 0; shift < 4; ++shift)
      if (fits(r - half + shift / 2, c - half + shift % 2, size, size == 4)) {
        ++thickness;
        break;
      }
  }
  return thickness;
}

// ---- Closures ----

void SK_CalcEndDirection(SInt32 frameWidth, const SK_SkeletonBranch *branch, Boolean firstEnd,
                         GL_FloatPt *direction) {
  if (frameWidth <= 0 || branch == nullptr || direction == nullptr || branch->numPixels < 1) return;
  const SInt32 n = branch->numPixels;
  const bool corners = branch->numParamPts > 0 && branch->paramPts != nullptr;
  SInt32 end, inner;
  if (firstEnd) {
    end = branch->pixels[0];
    inner = corners ? branch->pixels[std::clamp<SInt32>(branch->paramPts[0], 0, n - 1)] : branch->pixels[n - 1];
  } else {
    end = branch->pixels[n - 1];
    inner = corners ? branch->pixels[std::clamp<SInt32>(branch->paramPts[branch->numParamPts - 1], 0, n - 1)]
                    : branch->pixels[0];
  }
  direction->h = float(end % frameWidth - inner % frameWidth);
  direction->v = float(end / frameWidth - inner / frameWidth);
}

void SK_FindClosestEndPts(SInt32 frameWidth, const SK_SkeletonBranch *branch1, const SK_SkeletonBranch *branch2,
                          SInt32 *endPt1, SInt32 *endPt2, Boolean *distanceSmall, Boolean attachedToNode[2],
                          Boolean *directionSimilar) {
  *distanceSmall = false;
  attachedToNode[0] = attachedToNode[1] = false;
  *directionSimilar = false;
  if (frameWidth <= 0 || branch1->numPixels < 1 || branch2->numPixels < 1) return;
  const SInt32 first1 = branch1->pixels[0], last1 = branch1->pixels[branch1->numPixels - 1];
  const SInt32 first2 = branch2->pixels[0], last2 = branch2->pixels[branch2->numPixels - 1];
  const SInt32 pairs[4][2] = {{first1, first2}, {first1, last2}, {last1, last2}, {last1, first2}};
  float best = 0.0f;
  for (int k = 0; k < 4; ++k) {
    const float dr = float(pairs[k][0] / frameWidth - pairs[k][1] / frameWidth);
    const float dc = float(pairs[k][0] % frameWidth - pairs[k][1] % frameWidth);
    const float d = std::sqrt(dr * dr + dc * dc);
    if (k == 0 || d < best) {
      best = d;
      *endPt1 = pairs[k][0];
      *endPt2 = pairs[k][1];
    }
  }
  *distanceSmall = best < 16.0f && (double(best) < 0.1 * double(branch1->numPixels + branch2->numPixels) ||
                                    best <= 3.0f);
  if (!*distanceSmall) return;
  attachedToNode[0] = (*endPt1 == first1 && branch1->nodes[0] >= 0) || (*endPt1 == last1 && branch1->nodes[1] >= 0);
  attachedToNode[1] = (*endPt2 == first2 && branch2->nodes[0] >= 0) || (*endPt2 == last2 && branch2->nodes[1] >= 0);
  if (attachedToNode[0] || attachedToNode[1]) return;
  GL_FloatPt dir1{}, dir2{};
  SK_CalcEndDirection(frameWidth, branch1, *endPt1 == first1, &dir1);
  SK_CalcEndDirection(frameWidth, branch2, *endPt2 == first2, &dir2);
  const double len1 = std::sqrt(double(dir1.h) * dir1.h + double(dir1.v) * dir1.v);
  const double len2 = std::sqrt(double(dir2.h) * dir2.h + double(dir2.v) * dir2.v);
  if (len1 <= 0.0 || len2 <= 0.0) return;
  const double cosine = (double(dir1.h) * dir2.h + double(dir1.v) * dir2.v) / (len1 * len2);
  *directionSimilar = cosine < -0.9;
}

void SK_CalcClosurePixels(SInt32 frameWidth, SInt32 endPt1, SInt32 endPt2, SK_Closure *closure) {
  if (frameWidth <= 0 || closure == nullptr) return;
  const SInt32 r1 = endPt1 / frameWidth, c1 = endPt1 % frameWidth;
  const SInt32 dr = endPt2 / frameWidth - r1, dc = endPt2 % frameWidth - c1;
  const SInt32 adr = std::abs(dr), adc = std::abs(dc);
  const bool alongRows = adc <= adr;
  const SInt32 steps = alongRows ? adr : adc;
  const SInt32 sign = (alongRows ? dr : dc) < 1 ? -1 : 1;
  // The closure holds 16 pixels; the gap bound of the search keeps every line below that.
  const SInt32 numPixels = std::clamp<SInt32>(steps - 1, 0, 16);
  for (SInt32 k = 1; k <= numPixels; ++k) {
    SInt32 r, c;
    if (alongRows) {
      r = r1 + k * sign;
      c = SInt32(0.499f + float(k * dc) / float(adr) + float(c1));
    } else {
      c = c1 + k * sign;
      r = SInt32(0.499f + float(k * dr) / float(adc) + float(r1));
    }
    closure->pixels[k - 1] = r * frameWidth + c;
  }
  closure->numPixels = numPixels;
}

OSStatus SK_CalcBranchClosures(SInt32 frameWidth, const SK_Skeleton *skeleton, SInt32 *numClosures,
                               SK_Closure **closures) {
  if (frameWidth <= 0 || skeleton == nullptr || numClosures == nullptr || closures == nullptr) return paramErr;
  *numClosures = 0;
  *closures = nullptr;
  std::vector<SK_ClosureCandidatePairLE> candidates;
  try {
    for (SInt32 i = 0; i < skeleton->numBranches; ++i) {
      const SK_SkeletonBranch &b1 = skeleton->branches[i];
      if (b1.numPixels <= 2) continue;
      for (SInt32 j = i + 1; j < skeleton->numBranches; ++j) {
        const SK_SkeletonBranch &b2 = skeleton->branches[j];
        if (b2.numPixels <= 2) continue;
        SInt32 e1 = -1, e2 = -1;
        Boolean small = false, attached[2] = {false, false}, similar = false;
        SK_FindClosestEndPts(frameWidth, &b1, &b2, &e1, &e2, &small, attached, &similar);
        if (small && similar && !attached[0] && !attached[1])
          candidates.push_back(SK_ClosureCandidatePairLE{nullptr, i, j, e1, e2, true});
      }
    }
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  // An end that two candidates claim closes neither gap.
  for (size_t a = 0; a < candidates.size(); ++a)
    for (size_t c = a + 1; c < candidates.size(); ++c) {
      SK_ClosureCandidatePairLE &x = candidates[a], &y = candidates[c];
      const bool share = (x.branchNum1 == y.branchNum1 && x.endPt1 == y.endPt1) ||
                         (x.branchNum1 == y.branchNum2 && x.endPt1 == y.endPt2) ||
                         (x.branchNum2 == y.branchNum1 && x.endPt2 == y.endPt1) ||
                         (x.branchNum2 == y.branchNum2 && x.endPt2 == y.endPt2);
      if (share) x.used = y.used = false;
    }
  const SInt32 count = SInt32(std::count_if(candidates.begin(), candidates.end(),
                                            [](const SK_ClosureCandidatePairLE &c) { return c.used != 0; }));
  if (count == 0) return noErr;
  SK_Closure *out = nullptr;
  OSStatus err = GL_NewPtrClear(sizeof(SK_Closure) * size_t(count), &out);
  if (err != noErr) return err;
  SInt32 k = 0;
  for (const SK_ClosureCandidatePairLE &c : candidates) {
    if (!c.used) continue;
    SK_Closure &closure = out[k++];
    closure.branchNum1 = c.branchNum1;
    closure.branchNum2 = c.branchNum2;
    closure.endPt1 = c.endPt1;
    closure.endPt2 = c.endPt2;
    SK_CalcClosurePixels(frameWidth, c.endPt1, c.endPt2, &closure);
  }
  *numClosures = count;
  *closures = out;
  return noErr;
}

// ---- Holes and disposal ----

SInt32 SK_CalcNumHolesInSkeleton(SInt32 frameWidth, const Rect *bounds, const UInt8 *skeletonAsMask,
                                 const SK_Skeleton *skeleton) {
  if (frameWidth <= 0 || bounds == nullptr || skeletonAsMask == nullptr || skeleton == nullptr) return 0;
  SInt32 count = 0;
  for (SInt32 k = 0; k < skeleton->numNodes; ++k) {
    Point nb[8];
    SInt32 n = 0;
    SK_GetNeighborsInMask(frameWidth, bounds, skeletonAsMask, PointOf(skeleton->nodes[k], frameWidth), nb, &n);
    for (SInt32 m = 0; m < n; ++m)
      if (CountNeighbours(frameWidth, *bounds, skeletonAsMask, nb[m].v, nb[m].h) < 3) ++count;
  }
  return count - skeleton->numBranches - skeleton->numNodes + 1;
}

void SK_DisposeBranch(SK_SkeletonBranch *branch) {
  if (branch == nullptr) return;
  GL_DisposePtr(&branch->pixels);
  GL_DisposePtr(&branch->thickness);
  GL_DisposePtr(&branch->paramPts);
  GL_DisposePtr(&branch->ratios);
  branch->numPixels = 0;
  branch->numParamPts = 0;
}

void SK_DisposeSkeleton(SK_Skeleton *skeleton) {
  if (skeleton == nullptr) return;
  // Entries past numBranches were never filled (or were cleared when a branch was removed); the array can be
  // far larger than the branches found, so only the filled ones are visited.
  if (skeleton->branches != nullptr)
    for (SInt32 k = 0; k < skeleton->numBranches; ++k) SK_DisposeBranch(&skeleton->branches[k]);
  GL_DisposePtr(&skeleton->branches);
  GL_DisposePtr(&skeleton->nodes);
  SK_DisposeNodeRgns(&skeleton->nodeRgns);
  *skeleton = SK_Skeleton{};
}
