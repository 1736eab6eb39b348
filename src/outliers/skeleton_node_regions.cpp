// Node regions, the order of their branches, and the colours of the sectors between them.
#include "outliers/skeleton_node_regions.h"

#include "general/memory_lists.h"
#include "general/statistics.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr UInt16 kCurBranch = kRG_FirstDegree;   // 0x10: the current branch and its sealed side
constexpr UInt16 kNextBranch = kRG_SecondDegree;  // 0x20: the next branch and its sealed side
constexpr UInt16 kNodePixel = kRG_InRegion;       // 0x80: a pixel of a node region
constexpr UInt16 kSectorPixel = kRG_HoleRegion;   // 0x200: a sector pixel already taken

inline SInt32 Direction(SInt32 w, SInt32 from, SInt32 to) {
  return RG_DirectionOfOffset(to / w - from / w, to % w - from % w);
}

bool RegionHoldsPixel(const RG_Region &rgn, SInt32 pixel) {
  return rgn.pixels != nullptr && std::find(rgn.pixels, rgn.pixels + rgn.numPixels, pixel) != rgn.pixels + rgn.numPixels;
}

SK_NodeRgnLE *RegionOfPixel(SK_NodeRgnLE *first, SInt32 pixel) {
  for (SK_NodeRgnLE *le = first; le != nullptr; le = le->next)
    if (RegionHoldsPixel(le->nodeRgn.rgn, pixel)) return le;
  return nullptr;
}

SK_NodeRgnLE *RegionByNumber(SK_NodeRgnLE *first, SInt32 number) {
  for (SK_NodeRgnLE *le = first; le != nullptr; le = le->next)
    if (le->number == number) return le;
  return nullptr;
}

// The branch at position pos of the region's branches, its attached end pixel, and that end's node pixel.
struct AttachedEnd {
  const SK_SkeletonBranch *branch;
  bool head;
  SInt32 endPixel;
  SInt32 nodePixel;  // -1 when the end has no node
};

AttachedEnd AttachedEndOf(const SK_Skeleton *skeleton, const SK_NodeRgn &nr, SInt32 pos) {
  const SK_SkeletonBranch &br = skeleton->branches[nr.branches[pos]];
  const bool head = nr.headConnected[pos] != 0;
  const SInt32 node = br.nodes[head ? 0 : 1];
  return AttachedEnd{&br, head, head ? br.pixels[0] : br.pixels[br.numPixels - 1],
                     (node >= 0 && node < skeleton->numNodes) ? skeleton->nodes[node] : -1};
}

// The pixel k steps along the branch from its attached end.
inline SInt32 AlongFromEnd(const AttachedEnd &e, SInt32 k) {
  return e.head ? e.branch->pixels[k] : e.branch->pixels[e.branch->numPixels - 1 - k];
}

void DisposeNodeRgnArrays(SK_NodeRgn *nr) {
  GL_DisposePtr(&nr->branches);
  GL_DisposePtr(&nr->headConnected);
  GL_DisposePtr(&nr->sortedBranches);
  GL_DisposePtr(&nr->longBranches);
  GL_DisposePtr(&nr->colors);
  GL_DisposePtr(&nr->colorStddevs);
  GL_DisposePtr(&nr->colorIndexes);
  GL_DisposePtr(&nr->numColorIndexes);
}

OSStatus AllocateNodeRgnArrays(SK_NodeRgn *nr) {
  const size_t n = size_t(nr->numBranches);
  OSStatus err = GL_NewPtrClear(sizeof(SInt32) * n, &nr->branches);
  if (err == noErr) err = GL_NewPtrClear(sizeof(Boolean) * n, &nr->headConnected);
  if (err == noErr) err = GL_NewPtrClear(sizeof(SInt32) * n, &nr->sortedBranches);
  if (err == noErr) err = GL_NewPtrClear(sizeof(SInt32) * n, &nr->longBranches);
  if (err == noErr) err = GL_NewPtrClear(sizeof(YCbCrF32) * n, &nr->colors);
  if (err == noErr) err = GL_NewPtrClear(sizeof(YCbCrF32) * n, &nr->colorStddevs);
  if (err == noErr) err = GL_NewPtrClear(sizeof(SInt32) * n * kSK_NumSectorSamples, &nr->colorIndexes);
  if (err == noErr) err = GL_NewPtrClear(sizeof(SInt32) * n, &nr->numColorIndexes);
  return err;
}

// Samples pixel p for the sector: Y, and its chroma as Cb (even column) or Cr (odd); the other component's
// first sample comes from the pixel to the left.
void SamplePixel(SInt32 w, const UInt8 *inBuffer, SInt32 p, SK_NodeRgn *nr, SInt32 sectorNum,
                 SK_SectorSamples *s) {
  if (s->numY >= kSK_NumSectorSamples) return;
  const SInt32 left = p > 0 ? p - 1 : p + 1;
  s->y[s->numY] = float(inBuffer[2 * p + 1]);
  if ((p % w) & 1) {
    s->cr[s->numCr++] = float(inBuffer[2 * p]);
    if (s->numCb == 0) s->cb[s->numCb++] = float(inBuffer[2 * left]);
  } else {
    s->cb[s->numCb++] = float(inBuffer[2 * p]);
    if (s->numCr == 0) s->cr[s->numCr++] = float(inBuffer[2 * left]);
  }
  nr->colorIndexes[sectorNum * kSK_NumSectorSamples + s->numY] = p;
  ++s->numY;
}

// Takes a free pixel into the sector: sampled when it lies outside the object, marked, and added to the layer.
void TakeSectorPixel(SInt32 w, const UInt8 *inBuffer, const UInt8 *originalMask, UInt16 *data, SK_NodeRgn *nr,
                     SInt32 sectorNum, SInt32 q, SInt32 *pixelList, SInt32 *layerEnd, SK_SectorSamples *samples) {
  if (originalMask[q] == 0) SamplePixel(w, inBuffer, q, nr, sectorNum, samples);
  data[q] |= kSectorPixel;
  pixelList[(*layerEnd)++] = q;
}

// Clears the sector bits (0x10, 0x20, 0x200) of a finished sector in bounds. They can only be on the two
// branches, on the neighbours of their pixels (the sealed sides), on the pixels taken into the sector and on
// the node pixels (marked when the regions were made): clearing those is clearing all of bounds, at the cost
// of the sector instead of the object's whole rectangle for every sector.
void ClearSectorBits(SInt32 w, const Rect &bounds, const SK_Skeleton *skeleton, const SK_SkeletonBranch &curBr,
                     const SK_SkeletonBranch &nextBr, const SInt32 *pixelList, SInt32 numTaken, UInt16 *data) {
  constexpr UInt16 kBits = UInt16(~(kCurBranch | kNextBranch | kSectorPixel));
  for (const SK_SkeletonBranch *br : {&curBr, &nextBr})
    for (SInt32 k = 0; k < br->numPixels; ++k) {
      const SInt32 p = br->pixels[k];
      data[p] &= kBits;
      for (SInt32 d = 0; d < 8; ++d) {
        const SInt32 r = p / w + kRG_DirRow[d], c = p % w + kRG_DirCol[d];
        if (RG_InBounds(bounds, r, c)) data[r * w + c] &= kBits;
      }
    }
  for (SInt32 k = 0; k < numTaken; ++k) data[pixelList[k]] &= kBits;
  for (SInt32 k = 0; k < skeleton->numNodes; ++k) data[skeleton->nodes[k]] &= kBits;
}

}  // namespace

OSStatus SK_CalcNodeRgns(SInt32 frameWidth, const UInt8 *inBuffer, const Rect *bounds, const UInt8 *originalMask,
                         UInt16 *data, SInt32 *pixelList, SK_Skeleton *skeleton) {
  if (frameWidth <= 0 || inBuffer == nullptr || bounds == nullptr || originalMask == nullptr || data == nullptr ||
      pixelList == nullptr || skeleton == nullptr)
    return paramErr;
  // 0x200 is a work bit that no routine leaves set; clearing it here too means that afterwards only the node
  // pixels carry sector bits in bounds, so each sector can clear just the pixels it marked (below).
  RG_ClearFlagInRgn(frameWidth, bounds, data, kCurBranch | kNextBranch | kNodePixel | kSectorPixel);
  for (SInt32 k = 0; k < skeleton->numNodes; ++k) data[skeleton->nodes[k]] |= kCurBranch;

  SK_NodeRgnLE *last = static_cast<SK_NodeRgnLE *>(LL_GetLastPtr(skeleton->nodeRgns));
  SInt32 number = skeleton->numNodeRgns;
  OSStatus err = noErr;
  for (SInt32 r = bounds->top; r < bounds->bottom && err == noErr; ++r)
    for (SInt32 c = bounds->left; c < bounds->right && err == noErr; ++c) {
      const SInt32 p = r * frameWidth + c;
      if (!(data[p] & kCurBranch) || (data[p] & kNodePixel)) continue;
      SK_NodeRgnLE *le = nullptr;
      err = RG_AppendNewElement(&skeleton->nodeRgns, &last, &le);
      if (err != noErr) break;
      le->number = number++;
      RG_Region *rgn = &le->nodeRgn.rgn;
      err = RG_ConstructRgn(frameWidth, bounds, data, p, pixelList, rgn);
      if (err != noErr) break;
      RG_CalcRgnSize(data, rgn);
      RG_CalcRgnCM(frameWidth, data, rgn);
      err = RG_FindHolesInRgn(frameWidth, bounds, data, rgn, pixelList);
    }
  skeleton->numNodeRgns = number;
  if (err != noErr) return err;
  err = SK_RecordBranchNodeRelation(skeleton);
  if (err != noErr) return err;
  SK_RemoveNodeRgnInternalBranches(skeleton);
  err = SK_SortNodeBranches(frameWidth, bounds, skeleton, pixelList);
  if (err != noErr) return err;
  return SK_CalcNodeAdjColors(frameWidth, inBuffer, bounds, originalMask, skeleton, data, pixelList);
}

OSStatus SK_RecordBranchNodeRelation(SK_Skeleton *skeleton) {
  if (skeleton == nullptr) return paramErr;
  for (SInt32 b = 0; b < skeleton->numBranches; ++b) {
    SK_SkeletonBranch &br = skeleton->branches[b];
    for (int end = 0; end < 2; ++end) {
      br.nodeRgns[end] = -1;
      const SInt32 node = br.nodes[end];
      if (node < 0) continue;
      SK_NodeRgnLE *le = node < skeleton->numNodes ? RegionOfPixel(skeleton->nodeRgns, skeleton->nodes[node]) : nullptr;
      if (le == nullptr) return kSK_NodeWithoutRgnErr;
      br.nodeRgns[end] = le->number;
      ++le->nodeRgn.numBranches;
    }
  }
  for (SK_NodeRgnLE *le = skeleton->nodeRgns; le != nullptr; le = le->next) {
    SK_NodeRgn &nr = le->nodeRgn;
    if (nr.numBranches <= 0) continue;
    if (OSStatus err = AllocateNodeRgnArrays(&nr); err != noErr) return err;
    SInt32 k = 0;
    for (SInt32 b = 0; b < skeleton->numBranches && k < nr.numBranches; ++b)
      for (int end = 0; end < 2 && k < nr.numBranches; ++end)
        if (skeleton->branches[b].nodeRgns[end] == le->number) {
          nr.branches[k] = b;
          nr.headConnected[k] = end == 0;
          ++k;
        }
  }
  return noErr;
}

void SK_RemoveNodeRgnInternalBranches(SK_Skeleton *skeleton) {
  if (skeleton == nullptr) return;
  for (SInt32 i = 0; i < skeleton->numBranches;) {
    const SK_SkeletonBranch &br = skeleton->branches[i];
    const SInt32 head = br.nodeRgns[0], tail = br.nodeRgns[1];
    SInt32 rgnNum = -1, probe = -1;
    if (tail >= 0 && (head < 0 || head == tail)) {
      rgnNum = tail;
      probe = br.pixels[br.numPixels - 1];
    } else if (head >= 0 && tail < 0) {
      rgnNum = head;
      probe = br.pixels[0];
    }
    bool internal = false;
    if (const SK_NodeRgnLE *le = rgnNum >= 0 ? RegionByNumber(skeleton->nodeRgns, rgnNum) : nullptr)
      for (const RG_RgnLE *hole = le->nodeRgn.rgn.holes; hole != nullptr && !internal; hole = hole->next)
        internal = RegionHoldsPixel(hole->rgn, probe);
    if (!internal) {
      ++i;
      continue;
    }
    SK_DisposeBranch(&skeleton->branches[i]);
    const SInt32 later = skeleton->numBranches - 1 - i;
    std::memmove(&skeleton->branches[i], &skeleton->branches[i + 1], sizeof(SK_SkeletonBranch) * size_t(later));
    skeleton->branches[skeleton->numBranches - 1] = SK_SkeletonBranch{};
    --skeleton->numBranches;
    for (SK_NodeRgnLE *le = skeleton->nodeRgns; le != nullptr; le = le->next) {
      SK_NodeRgn &nr = le->nodeRgn;
      SInt32 kept = 0;
      for (SInt32 k = 0; k < nr.numBranches; ++k) {
        if (nr.branches[k] == i) continue;
        nr.branches[kept] = nr.branches[k] > i ? nr.branches[k] - 1 : nr.branches[k];
        nr.headConnected[kept] = nr.headConnected[k];
        ++kept;
      }
      nr.numBranches = kept;
    }
  }
}

Boolean SK_NeighborOfNodePixelIsBranchPixel(const SK_Skeleton *skeleton, const SK_NodeRgn *nodeRgn,
                                            SInt32 numBranchesEncountered, SInt32 pixelIndex, SInt32 *branchNum) {
  if (skeleton == nullptr || nodeRgn == nullptr || nodeRgn->branches == nullptr) return false;
  for (SInt32 i = 0; i < nodeRgn->numBranches; ++i) {
    const SK_SkeletonBranch &br = skeleton->branches[nodeRgn->branches[i]];
    const bool head = nodeRgn->headConnected[i] != 0;
    bool match = false;
    if (head && br.pixels[0] == pixelIndex) {
      // A one-pixel branch with both ends here is listed twice; each meeting takes the next listing.
      const SInt32 *sorted = nodeRgn->sortedBranches;
      match = br.numPixels > 1 || std::find(sorted, sorted + numBranchesEncountered, i) == sorted + numBranchesEncountered;
    } else if (!head && br.pixels[br.numPixels - 1] == pixelIndex) {
      match = true;
    }
    if (match) {
      if (branchNum != nullptr) *branchNum = i;
      return true;
    }
  }
  return false;
}

Boolean SK_IsNodeRgnBorderPixelBranchEnd(const SK_Skeleton *skeleton, const SInt32 *nodeBranches,
                                         SInt32 numNodeBranches, SInt32 pixelIndex, SInt32 *branchNum) {
  if (skeleton == nullptr || nodeBranches == nullptr) return false;
  for (SInt32 i = 0; i < numNodeBranches; ++i) {
    const SK_SkeletonBranch &br = skeleton->branches[nodeBranches[i]];
    for (int end = 0; end < 2; ++end)
      if (br.nodes[end] >= 0 && br.nodes[end] < skeleton->numNodes && skeleton->nodes[br.nodes[end]] == pixelIndex) {
        if (branchNum != nullptr) *branchNum = i;
        return true;
      }
  }
  return false;
}

OSStatus SK_SortNodeBranches(SInt32 frameWidth, const Rect *bounds, SK_Skeleton *skeleton, SInt32 *pixelList) {
  if (frameWidth <= 0 || bounds == nullptr || skeleton == nullptr || pixelList == nullptr) return paramErr;
  for (SK_NodeRgnLE *le = skeleton->nodeRgns; le != nullptr; le = le->next) {
    SK_NodeRgn &nr = le->nodeRgn;
    std::printf("Sorting branches of node #%ld\n", long(le->number));
    // A region that no branch end reached has no lists to order.
    if (nr.numBranches < 1 || nr.sortedBranches == nullptr) continue;
    nr.sortedBranches[0] = 0;
    SInt32 numSorted = 1;
    if (nr.numBranches < 2) continue;
    const AttachedEnd first = AttachedEndOf(skeleton, nr, 0);
    if (first.nodePixel < 0) return kSK_BorderWalkLostErr;
    SInt32 cur = first.nodePixel;
    SInt32 d0 = Direction(frameWidth, cur, first.endPixel);
    SInt32 numBorderPixels = 0, turns = 0;
    // Each move is decided by the pixel and the direction back; once a walk has made more moves than there
    // are such states it can only be circling, which the runaway test would report in time as well.
    const SInt64 maxMoves = 8 * SInt64(nr.rgn.numPixels) + 8;
    SInt64 moves = 0;
    bool done = false;
    while (!done) {
      if (std::find(pixelList, pixelList + numBorderPixels, cur) == pixelList + numBorderPixels)
        pixelList[numBorderPixels++] = cur;
      if (8 * numBorderPixels < turns || moves > maxMoves) return kSK_BorderWalkRunawayErr;
      SInt32 found = -1, foundM = 0;
      for (SInt32 m = d0 + 1; m <= d0 + 8 && !done; ++m) {
        const SInt32 d = m & 7;
        const SInt32 r = cur / frameWidth + kRG_DirRow[d], c = cur % frameWidth + kRG_DirCol[d];
        if (!RG_InBounds(*bounds, r, c)) continue;
        const SInt32 q = r * frameWidth + c;
        if (RegionHoldsPixel(nr.rgn, q)) {
          found = q;
          foundM = m;
          break;
        }
        SInt32 pos = -1;
        if (SK_NeighborOfNodePixelIsBranchPixel(skeleton, &nr, numSorted, q, &pos) &&
            std::find(nr.sortedBranches, nr.sortedBranches + numSorted, pos) == nr.sortedBranches + numSorted) {
          nr.sortedBranches[numSorted++] = pos;
          done = numSorted == nr.numBranches;
        }
      }
      if (done) break;
      if (found < 0) return kSK_BorderWalkLostErr;
      cur = found;
      d0 = (foundM + 4) & 7;
      turns += foundM - d0;
      ++moves;
    }
    std::vector<SInt32> check(nr.sortedBranches, nr.sortedBranches + nr.numBranches);
    std::sort(check.begin(), check.end());
    if (std::adjacent_find(check.begin(), check.end()) != check.end()) return kSK_BranchSortedTwiceErr;
  }
  return noErr;
}

OSStatus SK_CalcNodeAdjColors(SInt32 frameWidth, const UInt8 *inBuffer, const Rect *bounds,
                              const UInt8 *originalMask, SK_Skeleton *skeleton, UInt16 *data, SInt32 *pixelList) {
  if (frameWidth <= 0 || inBuffer == nullptr || bounds == nullptr || originalMask == nullptr || skeleton == nullptr ||
      data == nullptr || pixelList == nullptr)
    return paramErr;
  for (SK_NodeRgnLE *le = skeleton->nodeRgns; le != nullptr; le = le->next) {
    SK_NodeRgn &nr = le->nodeRgn;
    std::printf("Calculating colors for node %ld\n", long(le->number));
    if (nr.numBranches < 1 || nr.longBranches == nullptr) continue;
    SInt32 numLong = 0;
    for (SInt32 k = 0; k < nr.numBranches; ++k)
      if (skeleton->branches[nr.branches[nr.sortedBranches[k]]].numPixels > 2) nr.longBranches[numLong++] = k;
    nr.numLongBranches = numLong;
    if (numLong <= 2) continue;
    RG_ClearFlagInRgn(frameWidth, &nr.rgn.bounds, data, kCurBranch | kNextBranch | kNodePixel | kSectorPixel);
    RG_SetFlagInRgn(&nr.rgn, data, kNodePixel);
    for (SInt32 s = 0; s < numLong; ++s) {
      const SInt32 cur = nr.sortedBranches[nr.longBranches[s]];
      const SInt32 next = nr.sortedBranches[nr.longBranches[(s + 1) % numLong]];
      const OSStatus err = SK_CalcSectorColor(frameWidth, inBuffer, bounds, originalMask, skeleton, data, &nr,
                                              le->number, s, cur, next, pixelList);
      if (err != noErr && err != kSK_SectorWithoutSamplesErr) return err;
    }
    RG_ClearFlagInRgn(frameWidth, &nr.rgn.bounds, data, kNodePixel);
  }
  return noErr;
}

OSStatus SK_CalcSectorColor(SInt32 frameWidth, const UInt8 *inBuffer, const Rect *bounds, const UInt8 *originalMask,
                            const SK_Skeleton *skeleton, UInt16 *data, SK_NodeRgn *nodeRgn, SInt32 /*nodeRgnNum*/,
                            SInt32 curSectorNum, SInt32 curBranchNum, SInt32 nextBranchNum, SInt32 *pixelList) {
  if (frameWidth <= 0 || inBuffer == nullptr || bounds == nullptr || originalMask == nullptr || skeleton == nullptr ||
      data == nullptr || nodeRgn == nullptr || pixelList == nullptr || curSectorNum < 0 ||
      curSectorNum >= nodeRgn->numBranches)
    return paramErr;
  const SK_SkeletonBranch &curBr = skeleton->branches[nodeRgn->branches[curBranchNum]];
  const SK_SkeletonBranch &nextBr = skeleton->branches[nodeRgn->branches[nextBranchNum]];
  for (SInt32 k = 0; k < curBr.numPixels; ++k) data[curBr.pixels[k]] |= kCurBranch;
  for (SInt32 k = 0; k < nextBr.numPixels; ++k) data[nextBr.pixels[k]] |= kNextBranch;
  SK_MakeBranchesImpermeable(frameWidth, bounds, skeleton, nodeRgn, curBranchNum, nextBranchNum, data);

  SK_SectorSamples samples{};
  SInt32 layerEnd = 0;
  OSStatus err = SK_FindFirstSectorPixels(frameWidth, inBuffer, bounds, originalMask, skeleton, data, nodeRgn,
                                          curSectorNum, curBranchNum, nextBranchNum, 2 * nodeRgn->rgn.numPixels + 2,
                                          pixelList, &layerEnd, &samples);
  if (err == noErr) {
    const SInt32 maxLayers = std::min(curBr.numPixels, nextBr.numPixels) - 1;
    SInt32 layerStart = 0;
    for (SInt32 l = 0; l < maxLayers && samples.numY < kSK_NumSectorSamples && layerEnd > layerStart; ++l) {
      SInt32 newEnd = layerEnd;
      SK_FindNextSectorPixels(frameWidth, inBuffer, bounds, originalMask, data, nodeRgn, curSectorNum, pixelList,
                              layerStart, layerEnd, &newEnd, &samples);
      layerStart = layerEnd;
      layerEnd = newEnd;
    }
    YCbCrF32 &color = nodeRgn->colors[curSectorNum];
    YCbCrF32 &dev = nodeRgn->colorStddevs[curSectorNum];
    if (samples.numY > 0) {
      GL_GetAverageF(samples.y, samples.numY, &color.Y, &dev.Y);
      GL_GetAverageF(samples.cb, samples.numCb, &color.Cb, &dev.Cb);
      GL_GetAverageF(samples.cr, samples.numCr, &color.Cr, &dev.Cr);
    } else {
      dev = YCbCrF32{128.0f, 128.0f, 128.0f};
      err = kSK_SectorWithoutSamplesErr;
    }
    nodeRgn->numColorIndexes[curSectorNum] = samples.numY;
  } else {
    nodeRgn->numColorIndexes[curSectorNum] = 0;
  }
  ClearSectorBits(frameWidth, *bounds, skeleton, curBr, nextBr, pixelList, layerEnd, data);
  return err;
}

void SK_MakeBranchesImpermeable(SInt32 frameWidth, const Rect *bounds, const SK_Skeleton *skeleton,
                                const SK_NodeRgn *nodeRgn, SInt32 curBranchNum, SInt32 nextBranchNum, UInt16 *data) {
  if (frameWidth <= 0 || bounds == nullptr || skeleton == nullptr || nodeRgn == nullptr || data == nullptr) return;
  const struct {
    SInt32 pos;
    bool clockwise;
    UInt16 flag;
  } sides[2] = {{curBranchNum, true, kCurBranch}, {nextBranchNum, false, kNextBranch}};
  for (const auto &side : sides) {
    const AttachedEnd e = AttachedEndOf(skeleton, *nodeRgn, side.pos);
    if (e.nodePixel < 0) continue;
    for (SInt32 k = 0; k + 1 < e.branch->numPixels; ++k) {
      const SInt32 prev = k == 0 ? e.nodePixel : AlongFromEnd(e, k - 1);
      SK_MakeBrancheImpermeableAtPixel(frameWidth, bounds, prev, AlongFromEnd(e, k), AlongFromEnd(e, k + 1),
                                       side.clockwise, side.flag, data);
    }
  }
}

void SK_MakeBrancheImpermeableAtPixel(SInt32 frameWidth, const Rect *bounds, SInt32 prevPixel, SInt32 curPixel,
                                      SInt32 nextPixel, Boolean clockwise, UInt16 flag, UInt16 *data) {
  if (frameWidth <= 0 || bounds == nullptr || data == nullptr) return;
  const SInt32 dPrev = Direction(frameWidth, curPixel, prevPixel), dNext = Direction(frameWidth, curPixel, nextPixel);
  if (dPrev < 0 || dNext < 0) return;
  for (SInt32 k = 1; k <= 7; ++k) {
    const SInt32 d = clockwise ? (dPrev + k) & 7 : (dPrev - k + 8) & 7;
    if (d == dNext) break;
    const SInt32 r = curPixel / frameWidth + kRG_DirRow[d], c = curPixel % frameWidth + kRG_DirCol[d];
    if (RG_InBounds(*bounds, r, c)) data[r * frameWidth + c] |= flag;
  }
}

OSStatus SK_FindFirstSectorPixels(SInt32 frameWidth, const UInt8 *inBuffer, const Rect *bounds,
                                  const UInt8 *originalMask, const SK_Skeleton *skeleton, UInt16 *data,
                                  SK_NodeRgn *nodeRgn, SInt32 sectorNum, SInt32 curBranchNum, SInt32 nextBranchNum,
                                  SInt32 maxSteps, SInt32 *pixelList, SInt32 *layerSize, SK_SectorSamples *samples) {
  if (frameWidth <= 0 || inBuffer == nullptr || bounds == nullptr || originalMask == nullptr || skeleton == nullptr ||
      data == nullptr || nodeRgn == nullptr || pixelList == nullptr || layerSize == nullptr || samples == nullptr)
    return paramErr;
  *layerSize = 0;
  const AttachedEnd curEnd = AttachedEndOf(skeleton, *nodeRgn, curBranchNum);
  const AttachedEnd nextEnd = AttachedEndOf(skeleton, *nodeRgn, nextBranchNum);
  if (curEnd.nodePixel < 0) return kSK_SectorStepLimitErr;
  SInt32 prev = curEnd.endPixel, cur = curEnd.nodePixel;
  const SInt32 target = nextEnd.endPixel;
  for (SInt32 steps = 0;; ++steps) {
    if (steps >= maxSteps) return kSK_SectorStepLimitErr;
    const SInt32 d0 = Direction(frameWidth, cur, prev);
    for (SInt32 m = d0 + 1; m <= d0 + 8; ++m) {
      const SInt32 d = m & 7;
      const SInt32 r = cur / frameWidth + kRG_DirRow[d], c = cur % frameWidth + kRG_DirCol[d];
      if (!RG_InBounds(*bounds, r, c)) continue;
      const SInt32 q = r * frameWidth + c;
      if (data[q] & kNodePixel) {
        prev = cur;
        cur = q;
        break;
      }
      if (q == target) return noErr;
      if (data[q] & (kSectorPixel | kNextBranch | kCurBranch)) continue;
      TakeSectorPixel(frameWidth, inBuffer, originalMask, data, nodeRgn, sectorNum, q, pixelList, layerSize, samples);
      if (samples->numY >= kSK_NumSectorSamples) return noErr;
    }
  }
}

void SK_FindNextSectorPixels(SInt32 frameWidth, const UInt8 *inBuffer, const Rect *bounds, const UInt8 *originalMask,
                             UInt16 *data, SK_NodeRgn *nodeRgn, SInt32 sectorNum, SInt32 *pixelList,
                             SInt32 layerStart, SInt32 layerEnd, SInt32 *newLayerEnd, SK_SectorSamples *samples) {
  if (frameWidth <= 0 || inBuffer == nullptr || bounds == nullptr || originalMask == nullptr || data == nullptr ||
      nodeRgn == nullptr || pixelList == nullptr || newLayerEnd == nullptr || samples == nullptr)
    return;
  *newLayerEnd = layerEnd;
  constexpr UInt16 kTaken = kSectorPixel | kNodePixel | kNextBranch | kCurBranch;
  for (SInt32 i = layerStart; i < layerEnd; ++i) {
    const SInt32 p = pixelList[i];
    for (SInt32 d = 0; d < 8; ++d) {
      const SInt32 r = p / frameWidth + kRG_DirRow[d], c = p % frameWidth + kRG_DirCol[d];
      if (!RG_InBounds(*bounds, r, c)) continue;
      const SInt32 q = r * frameWidth + c;
      if (data[q] & kTaken) continue;
      TakeSectorPixel(frameWidth, inBuffer, originalMask, data, nodeRgn, sectorNum, q, pixelList, newLayerEnd,
                      samples);
      if (samples->numY >= kSK_NumSectorSamples) return;
    }
  }
}

void SK_PrintNodeRgn(SInt32 frameWidth, const SK_Skeleton *skeleton, SInt32 number, const UInt16 *data) {
  const SK_NodeRgnLE *le = skeleton != nullptr ? RegionByNumber(skeleton->nodeRgns, number) : nullptr;
  if (le == nullptr || frameWidth <= 0) {
    std::printf("Node region not found in list\n");
    return;
  }
  const SK_NodeRgn &nr = le->nodeRgn;
  std::printf("Node region #%ld:\n", long(number));
  std::printf("#branches = %ld, #long branches = %ld\n", long(nr.numBranches), long(nr.numLongBranches));
  std::printf("branches: ");
  for (SInt32 k = 0; k < nr.numBranches; ++k) std::printf("%ld,", long(nr.branches[k]));
  std::printf("\nsortedBranches (indexes): ");
  for (SInt32 k = 0; k < nr.numBranches; ++k) std::printf("%ld,", long(nr.sortedBranches[k]));
  std::printf("\nlong branches (sorted index): \n");
  for (SInt32 j = 0; j < nr.numLongBranches; ++j) {
    const YCbCrF32 &c = nr.colors[j], &s = nr.colorStddevs[j];
    std::printf("%ld, color:  y %.1f, cb %.1f, cr %.1f, stddev y %.1f,stddev cb %.1f, stddev cr %.1f\n",
                long(nr.longBranches[j]), double(c.Y), double(c.Cb), double(c.Cr), double(s.Y), double(s.Cb),
                double(s.Cr));
  }

  // The map covers the region, its branches and its samples: all of them are pixels of the frame.
  std::vector<SInt32> branchPixels, samplePixels;
  Rect area = nr.rgn.bounds;
  for (SInt32 k = 0; k < nr.numBranches; ++k) {
    const SK_SkeletonBranch &br = skeleton->branches[nr.branches[k]];
    branchPixels.insert(branchPixels.end(), br.pixels, br.pixels + br.numPixels);
  }
  for (SInt32 j = 0; j < nr.numLongBranches; ++j)
    samplePixels.insert(samplePixels.end(), nr.colorIndexes + j * kSK_NumSectorSamples,
                        nr.colorIndexes + j * kSK_NumSectorSamples + std::min(nr.numColorIndexes[j], SInt32(kSK_NumSectorSamples)));
  for (SInt32 p : branchPixels) RG_AddIndexToBounds(frameWidth, p, &area);
  for (SInt32 p : samplePixels) RG_AddIndexToBounds(frameWidth, p, &area);
  auto contains = [](const std::vector<SInt32> &v, SInt32 p) { return std::find(v.begin(), v.end(), p) != v.end(); };
  for (SInt32 r = area.top; r < area.bottom; ++r) {
    for (SInt32 c = area.left; c < area.right; ++c) {
      const SInt32 p = r * frameWidth + c;
      char ch = 'o';
      if (RegionHoldsPixel(nr.rgn, p))
        ch = 'r';
      else if (SK_GetNodeNum(skeleton, p) >= 0)
        ch = 'n';
      else if (contains(branchPixels, p))
        ch = 'b';
      else if (contains(samplePixels, p) || (data != nullptr && (data[p] & kSectorPixel)))
        ch = 'c';
      std::printf("%c ", ch);
    }
    std::printf("\n");
  }
}

void SK_CalcBranchColor() {}

void SK_DisposeNodeRgns(SK_NodeRgnLE **nodeRgns) {
  if (nodeRgns == nullptr) return;
  for (SK_NodeRgnLE *le = *nodeRgns; le != nullptr; le = le->next) {
    RG_DisposeRgn(&le->nodeRgn.rgn);
    DisposeNodeRgnArrays(&le->nodeRgn);
  }
  LL_DisposeLinkedList(nodeRgns);
}
