// The automatic speck detector.
#include "outliers/speck_detector.h"

#include "engine/runtime/project_types.h"
#include "engine/runtime/shell_senders.h"
#include "general/memory_lists.h"
#include "outliers/motion_vectors.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The application's error number for too many outliers in a frame (event 2020 shows it).
constexpr OSStatus kTooManyOutliers = 5024;

// Raster order, top-left first, as the regions grow.
constexpr SInt32 kNeighbourRow[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr SInt32 kNeighbourCol[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

constexpr UInt16 kFirstDegreeDark = kRG_FirstDegree | 10;  // 26; with kRG_Brighter 2074
// No luminance can lie this far outside any range, so the retries end here at the latest.
constexpr SInt32 kLargestUsefulDistance = 255;

Rect PictureRect(const BZ_OuParams *p) {
  Rect r{};
  BZ_OuParamsToRealFrameBounds(p, &r);
  return r;
}

// The slots the outlier test compares with: the usable range cut to k .. 3k.
void ComparedSlots(const BZ_OuParams *p, SInt32 min, SInt32 max, SInt32 *lo, SInt32 *hi) {
  const SInt32 k = p->sett->numConstPix;
  *lo = std::max(min, k);
  *hi = std::min(max, 3 * k + 1);
}

// The usable neighbouring frames (slot 2k excluded) of the compared slots.
std::vector<const UInt8 *> NeighbourFrames(const BZ_OuParams *p, UInt8 *const *inBuffers, SInt32 lo, SInt32 hi) {
  std::vector<const UInt8 *> frames;
  const SInt32 centre = 2 * p->sett->numConstPix;
  for (SInt32 s = lo; s < hi; ++s)
    if (s != centre && inBuffers[s] != nullptr) frames.push_back(inBuffers[s]);
  return frames;
}

// The slots [*lo, *hi) pixel q is compared over and its index in each (indexes, 4k + 1 entries): along its
// motion chain when the pixel is marked kBZ_OuMotionAligned and vectors are given, else its own place over
// the compared slots [plainLo, plainHi). Whether the chain was followed.
bool PixelSlots(const BZ_OuParams *p, void *const *mv, SInt32 min, SInt32 max, SInt32 plainLo, SInt32 plainHi,
                const UInt16 *data, SInt32 q, SInt32 *lo, SInt32 *hi, SInt32 *indexes) {
  const SInt32 centre = 2 * p->sett->numConstPix;
  if (mv != nullptr && (data[q] & kBZ_OuMotionAligned) != 0) {
    *lo = centre;
    *hi = centre + 1;
    BZ_GetAlignedPixelIndexes(p, mv, min, max, lo, hi, q, indexes);
    return true;
  }
  *lo = plainLo;
  *hi = plainHi;
  for (SInt32 s = plainLo; s < plainHi; ++s) indexes[s] = q;
  return false;
}

bool TooMany(const BZ_OuParams *p, SInt64 count) { return double(count) > 0.1 * double(p->width) * p->height; }

void PutLine(const char *format, long a = 0, long b = 0, long c = 0) {
  char line[160];
  std::snprintf(line, sizeof line, format, a, b, c);
  std::fputs(line, stdout);
}

// Appends a zeroed speck after *last (or as the first) and makes it the last; NULL without memory.
BZ_OuSpeckLE *AppendSpeck(BZ_OuSpeckLE **speckList, BZ_OuSpeckLE **last) {
  BZ_OuSpeckLE *s = nullptr;
  return RG_AppendNewElement(speckList, last, &s) == noErr ? s : nullptr;
}

OSStatus ConstructSpeck(const BZ_OuParams *p, const Rect &picture, UInt16 *data, SInt32 seedNum, SInt32 *pixelList,
                        BZ_OuSpeckLE **speckList, BZ_OuSpeckLE **last) {
  BZ_OuSpeckLE *le = AppendSpeck(speckList, last);
  if (le == nullptr) return memFullErr;
  BZ_OuSpeck &speck = le->speck;
  RG_Region &rgn = speck.rgn;
  const SInt32 width = p->width;
  const UInt16 brightness = data[seedNum] & kRG_Brighter;
  SInt32 count = 0;
  pixelList[count++] = seedNum;
  data[seedNum] |= kRG_InRegion;
  rgn.numFirstDegreePixels = 1;
  rgn.bounds = Rect{SInt16(seedNum / width), SInt16(seedNum % width), SInt16(seedNum / width + 1),
                    SInt16(seedNum % width + 1)};
  if (data[seedNum] & kBZ_OuWindowCut) speck.partiallySandwiched = true;
  for (SInt32 next = 0; next < count; ++next) {
    const SInt32 q = pixelList[next];
    const bool firstDegree = (data[q] & kRG_FirstDegree) != 0;
    const SInt32 row = q / width, col = q % width;
    for (int n = 0; n < 8; ++n) {
      const SInt32 r = row + kNeighbourRow[n], c = col + kNeighbourCol[n];
      if (!RG_InBounds(picture, r, c)) continue;
      const SInt32 i = r * width + c;
      const UInt16 f = data[i];
      if ((f & kRG_InRegion) || (f & kRG_Brighter) != brightness) continue;
      if (!(f & kRG_FirstDegree) && !(firstDegree && (f & kRG_SecondDegree))) continue;
      data[i] = f | kRG_InRegion;
      pixelList[count++] = i;
      if (f & kRG_FirstDegree)
        ++rgn.numFirstDegreePixels;
      else
        ++rgn.numSecDegreePixels;
      RG_AddIndexToBounds(width, i, &rgn.bounds);
      if (f & kBZ_OuWindowCut) speck.partiallySandwiched = true;
    }
  }
  // Room for the three rings, which the edge judgement appends.
  OSStatus err = GL_NewPtr(sizeof(SInt32) * size_t(9) * size_t(count), &rgn.pixels);
  if (err != noErr) return err;
  std::memcpy(rgn.pixels, pixelList, sizeof(SInt32) * size_t(count));
  rgn.numPixels = count;
  rgn.pixelsSize = 9 * count;
  return noErr;
}

// Makes room for `needed` entries in the speck's pixel array: `grownSize` entries when it is too small.
OSStatus EnsurePixels(RG_Region *rgn, SInt32 needed, SInt32 grownSize) {
  if (needed <= rgn->pixelsSize) return noErr;
  OSStatus err = GL_SetPtrSizeClear(sizeof(SInt32) * size_t(rgn->pixelsSize), sizeof(SInt32) * size_t(grownSize),
                                    &rgn->pixels);
  if (err == noErr) rgn->pixelsSize = grownSize;
  return err;
}

// One outer ring of the edge: the 8-neighbours inside the picture of the ring starting at `from` (count
// entries) that are in no speck and no ring yet. Each is counted once and scored against the speck's band;
// outside the band a pixel that is not quiet adds its partial score only when partialScores is set.
OSStatus FindOuterRing(const BZ_OuParams *p, const UInt8 *inBuffer, UInt16 *data, BZ_OuSpeck *speck,
                       SInt32 *pixelList, SInt32 from, SInt32 count, bool partialScores, SInt32 *ringSize,
                       bool doubleRoom) {
  RG_Region &rgn = speck->rgn;
  const SInt32 width = p->width;
  const Rect picture = PictureRect(p);
  const bool bright = (data[rgn.pixels[0]] & kRG_Brighter) != 0;
  const float avY = rgn.avColor.Y;
  const float minDiff = float(p->sett->minDiff);
  const SInt32 band = bright ? SInt32(std::min(float(speck->max), avY - minDiff))
                             : SInt32(std::max(float(speck->min), avY + minDiff));
  SInt32 size = 0;
  for (SInt32 j = from; j < from + count; ++j) {
    const SInt32 q = rgn.pixels[j];
    const SInt32 row = q / width, col = q % width;
    for (int n = 0; n < 8; ++n) {
      const SInt32 r = row + kNeighbourRow[n], c = col + kNeighbourCol[n];
      if (!RG_InBounds(picture, r, c)) continue;
      const SInt32 i = r * width + c;
      if (data[i] & (kRG_InRegion | kRG_InnerRing | kBZ_OuRingTemp)) continue;
      data[i] |= kBZ_OuRingTemp;
      pixelList[size++] = i;
      const SInt32 y = inBuffer[2 * i + 1];
      const bool inBand = bright ? y <= band : y >= band;
      if (inBand) {
        speck->numEdgeInBand += 1.0f;
      } else if (!(data[i] & kBZ_OuQuiet)) {
        if (partialScores) {
          if (bright && float(y) <= avY)
            speck->numEdgeInBand += (avY - float(y)) / (avY - float(band));
          else if (!bright && float(y) >= avY)
            speck->numEdgeInBand += (float(y) - avY) / (float(band) - avY);
        }
      } else {
        ++speck->numEdgeConstNotInBand;
      }
      const SInt32 diff = SInt32(float(y) - avY);
      if (diff >= -19 && diff <= 19) ++speck->numEdgeSameColor;
    }
  }
  *ringSize = size;
  const SInt32 needed = from + count + size;
  if (OSStatus err = EnsurePixels(&rgn, needed, doubleRoom ? 2 * needed : needed); err != noErr) return err;
  std::memcpy(rgn.pixels + from + count, pixelList, sizeof(SInt32) * size_t(size));
  return noErr;
}

// The luminance range of one slot's row folded into lowest and highest ('2vuy': luma at odd bytes).
void FoldRowRange(const UInt8 *__restrict frameRow, UInt8 *__restrict lowest, UInt8 *__restrict highest,
                  SInt32 cols) {
  for (SInt32 x = 0; x < cols; ++x) {
    const UInt8 y = frameRow[2 * x + 1];
    lowest[x] = lowest[x] < y ? lowest[x] : y;
    highest[x] = highest[x] > y ? highest[x] : y;
  }
}

// The flags of cols centre pixels against their ranges; the count of first-degree outliers.
SInt32 RowFlags(const UInt8 *__restrict centreRow, const UInt8 *__restrict lowest, const UInt8 *__restrict highest,
                UInt16 *__restrict out, SInt32 cols, SInt32 d, UInt16 cut) {
  const SInt32 t = std::max(d / 2, 20);
  SInt32 numFirst = 0;
  for (SInt32 x = 0; x < cols; ++x) {
    const SInt32 c = centreRow[2 * x + 1], smallest = lowest[x], largest = highest[x];
    // At most one of the two is positive (both are 0 for a centre equal to a flat range): how far the centre
    // lies outside the range, and on which side; the bright test comes first, as for a distance of 0 both hold.
    const SInt32 above = c - largest, below = smallest - c;
    const SInt32 dist = std::max(above, below);
    SInt32 flag = 0;
    if (dist >= d) {
      flag = kFirstDegreeDark | (above >= d ? kRG_Brighter : 0);
      ++numFirst;
    } else if (dist > 0) {
      flag = kRG_SecondDegree | (above > 0 ? kRG_Brighter : 0) | (dist * 10 + d / 2) / d;
    }
    if (largest - smallest < t && c >= largest - t && c <= smallest + t) flag |= kBZ_OuQuiet;
    out[x] = UInt16(flag | cut);
  }
  return numFirst;
}

void DropSpeck(BZ_OuSpeckLE **speckList, BZ_OuSpeckLE *s) {
  RG_DisposeRgn(&s->speck.rgn);
  LL_DeletePtr(speckList, &s);
}

}  // namespace

OSStatus BZ_OuCalcSpeckList(const BZ_OuParams *ouParams, UInt8 *const *inBuffers, const SInt32 *avPixelDiff,
                            void *const *mv, UInt16 *data, SInt32 *pixelList, BZ_OuSpeckLE **speckList) {
  if (ouParams == nullptr || ouParams->sett == nullptr || inBuffers == nullptr || avPixelDiff == nullptr ||
      data == nullptr || pixelList == nullptr || speckList == nullptr)
    return paramErr;
  const SInt32 k = ouParams->sett->numConstPix;
  if (k < 1 || 4 * k + 1 > kBZ_OuNumWindowSlots || ouParams->numInBuffers != 4 * k + 1 ||
      inBuffers[2 * k] == nullptr || ouParams->width <= 0 || ouParams->height <= 0)
    return paramErr;
  BZ_OuDisposeSpeckList(speckList);
  std::memset(data, 0, sizeof(UInt16) * size_t(ouParams->width) * size_t(ouParams->height));

  // Other workers read the project's settings at the same time: the distance is raised in a copy.
  BZ_OuSett sett = *ouParams->sett;
  BZ_OuParams params = *ouParams;
  params.sett = &sett;
  SInt32 min = 0, max = 0, lo = 0, hi = 0;
  BZ_OuGetInBufferIndexBounds(sett.maxAvPixelDiff, inBuffers, params.numInBuffers, avPixelDiff, &min, &max);
  ComparedSlots(&params, min, max, &lo, &hi);
  // Without a neighbouring frame every pixel would lie outside an empty range: nothing can be told apart.
  if (NeighbourFrames(&params, inBuffers, lo, hi).empty()) return noErr;
  // Pixels whose content can be followed through the whole window are compared where it went.
  if (mv != nullptr) BZ_SetInMvChain(&params, min, max, mv, data);

  bool eventSent = false;
  SInt32 numSpecks = 0;
  do {
    BZ_OuDisposeSpeckList(speckList);
    PutLine("Making speck list\n");
    for (;;) {
      SInt32 numFirst = 0, numSec = 0;
      OSStatus err = BZ_OuFindOutliers(&params, inBuffers, min, max, data, mv, &numFirst);
      if (err != noErr && err != kTooManyOutliers) return err;
      if (err == noErr) numSec = BZ_OuCountSecDegreeOutliers(&params, data);
      PutLine("minDiff = %ld, numFirstDegreeOutliers = %ld, numSecDegreeOutliers = %ld\n", sett.minDiff, numFirst,
              numSec);
      if (!TooMany(&params, SInt64(numFirst) + numSec) || sett.minDiff > kLargestUsefulDistance) break;
      if (!params.executing && !eventSent) {
        eventSent = true;
        if (OSStatus e = BZ_OuSendTooManyOutliersEvent(); e != noErr)
          PutLine("BZ_OuCalcSpeckList: too-many-outliers event not posted, error %ld\n", e);
      }
      sett.minDiff += 5;
    }
    sett.minDiff += 5;
    if (OSStatus err = BZ_OuFindSpecks(&params, data, pixelList, speckList); err != noErr) return err;
    numSpecks = LL_PtrListCount(*speckList);
    if (BZ_OuAnyTempInSpeck(&params, data)) PutLine("BZ_OuCalcSpeckList: ring flags left in the plane\n");
    PutLine("Speck count = %ld\n", numSpecks);
  } while (numSpecks > kBZ_OuMaxNumSpecks && sett.minDiff <= kLargestUsefulDistance);
  sett.minDiff = ouParams->sett->minDiff;

  const UInt8 *centre = inBuffers[2 * k];
  BZ_OuCheckSandwiching(&params, avPixelDiff, inBuffers, data, mv, *speckList);
  BZ_OuCalcSpecksProperties(&params, centre, data, *speckList);
  if (OSStatus err = BZ_OuAnalyzeEdge(&params, centre, data, speckList, pixelList); err != noErr) return err;
  return BZ_OuFindHolesInSpecks(&params, data, *speckList, pixelList);
}

OSStatus BZ_OuFindOutliers(const BZ_OuParams *ouParams, UInt8 *const *inBuffers, SInt32 minInBufferIndex,
                           SInt32 maxInBufferIndex, UInt16 *data, void *const *mv,
                           SInt32 *numFirstDegreeOutliers) {
  if (numFirstDegreeOutliers != nullptr) *numFirstDegreeOutliers = 0;
  if (ouParams == nullptr || ouParams->sett == nullptr || inBuffers == nullptr || data == nullptr ||
      numFirstDegreeOutliers == nullptr)
    return paramErr;
  const SInt32 k = ouParams->sett->numConstPix;
  if (k < 1 || 4 * k + 1 > kBZ_OuNumWindowSlots || inBuffers[2 * k] == nullptr) return paramErr;
  SInt32 lo = 0, hi = 0;
  ComparedSlots(ouParams, minInBufferIndex, maxInBufferIndex, &lo, &hi);
  const std::vector<const UInt8 *> frames = NeighbourFrames(ouParams, inBuffers, lo, hi);
  const UInt8 *centre = inBuffers[2 * k];
  const SInt32 d = std::max<SInt32>(0, ouParams->sett->minDiff);
  const UInt16 cut = (lo <= k && hi > 3 * k) ? 0 : kBZ_OuWindowCut;
  const Rect picture = PictureRect(ouParams);
  const SInt32 width = ouParams->width, cols = picture.right - picture.left;
  const UInt8 *rows[kBZ_OuNumWindowSlots] = {};
  // Rows with pixels marked kBZ_OuMotionAligned are compared through gathered rows: one per window slot, each
  // pixel's value there taken where its chain leads, or, for a slot outside the pixel's range, repeated from
  // a slot inside it (a repeated value leaves the range as it is). A chain always has neighbours, and plain
  // pixels have some whenever a chain exists.
  const SInt32 numSlots = ouParams->numInBuffers, centreSlot = 2 * k;
  const bool anyChains = mv != nullptr && !frames.empty();
  std::vector<UInt8> gathered(anyChains ? size_t(numSlots) * 2 * size_t(cols) : 0);
  std::vector<UInt16> kept(anyChains ? size_t(cols) : 0);
  SInt32 numFirst = 0;
  for (SInt32 r = picture.top; r < picture.bottom; ++r) {
    const size_t rowStart = size_t(r) * size_t(width) + size_t(picture.left);
    UInt16 *out = data + rowStart;
    const bool chained =
        anyChains && std::any_of(out, out + cols, [](UInt16 f) { return (f & kBZ_OuMotionAligned) != 0; });
    if (!chained) {
      for (size_t i = 0; i < frames.size(); ++i) rows[i] = frames[i] + 2 * rowStart;
      numFirst += BZ_OuFlagOutlierRowUni(gBZ.procInfo.hasSSE3, rows, SInt32(frames.size()),
                                         centre + 2 * rowStart, cols, d, cut, out);
      continue;
    }
    SInt32 numRows = 0;
    for (SInt32 s = 0; s < numSlots; ++s)
      if (s != centreSlot) rows[numRows++] = gathered.data() + size_t(s) * 2 * size_t(cols);
    for (SInt32 x = 0; x < cols; ++x) {
      SInt32 indexes[kBZ_OuNumWindowSlots], plo = 0, phi = 0;
      const SInt32 q = SInt32(rowStart) + x;
      const bool followed = PixelSlots(ouParams, mv, minInBufferIndex, maxInBufferIndex, lo, hi, data, q, &plo,
                                       &phi, indexes);
      const UInt8 *fill = nullptr;
      for (SInt32 s = plo; s < phi && fill == nullptr; ++s)
        if (s != centreSlot && inBuffers[s] != nullptr) fill = inBuffers[s] + 2 * size_t(indexes[s]);
      for (SInt32 s = 0; s < numSlots; ++s) {
        if (s == centreSlot) continue;
        const bool inRange = s >= plo && s < phi && inBuffers[s] != nullptr;
        const UInt8 *from = inRange ? inBuffers[s] + 2 * size_t(indexes[s]) : fill;
        UInt8 *to = gathered.data() + size_t(s) * 2 * size_t(cols) + 2 * size_t(x);
        to[0] = from != nullptr ? from[0] : 0;
        to[1] = from != nullptr ? from[1] : 0;
      }
      kept[size_t(x)] = followed ? UInt16(kBZ_OuMotionAligned | ((plo <= k && phi > 3 * k) ? 0 : kBZ_OuWindowCut))
                                 : cut;
    }
    numFirst += BZ_OuFlagOutlierRowUni(gBZ.procInfo.hasSSE3, rows, numRows, centre + 2 * rowStart, cols, d, 0, out);
    for (SInt32 x = 0; x < cols; ++x) out[x] |= kept[size_t(x)];
  }
  *numFirstDegreeOutliers = numFirst;
  return TooMany(ouParams, numFirst) ? kTooManyOutliers : noErr;
}

SInt32 BZ_OuFlagOutlierRow(const UInt8 *const *neighbourRows, SInt32 numNeighbours, const UInt8 *centreRow,
                          SInt32 cols, SInt32 minDiff, UInt16 cut, UInt16 *out) {
  // The row in pieces whose ranges fit on the stack.
  constexpr SInt32 kPiece = 256;
  UInt8 lowest[kPiece], highest[kPiece];
  SInt32 numFirst = 0;
  for (SInt32 x0 = 0; x0 < cols; x0 += kPiece) {
    const SInt32 n = std::min(kPiece, cols - x0);
    std::fill_n(lowest, n, UInt8(255));
    std::fill_n(highest, n, UInt8(0));
    for (SInt32 i = 0; i < numNeighbours; ++i) FoldRowRange(neighbourRows[i] + 2 * x0, lowest, highest, n);
    numFirst += RowFlags(centreRow + 2 * x0, lowest, highest, out + x0, n, minDiff, cut);
  }
  return numFirst;
}

SInt32 BZ_OuFlagOutlierRowUni(Boolean hasSSE3, const UInt8 *const *neighbourRows, SInt32 numNeighbours,
                             const UInt8 *centreRow, SInt32 cols, SInt32 minDiff, UInt16 cut, UInt16 *out) {
  if (hasSSE3) return BZ_OuFlagOutlierRowAcc(neighbourRows, numNeighbours, centreRow, cols, minDiff, cut, out);
  return BZ_OuFlagOutlierRow(neighbourRows, numNeighbours, centreRow, cols, minDiff, cut, out);
}

SInt32 BZ_OuCountSecDegreeOutliers(const BZ_OuParams *ouParams, const UInt16 *data) {
  if (ouParams == nullptr || data == nullptr) return 0;
  const Rect picture = PictureRect(ouParams);
  const SInt32 width = ouParams->width;
  // Grain makes many second-degree pixels but few first-degree ones: the neighbourhoods of the first-degree
  // pixels are searched (RG_HasFirstDegreeNeigbor seen from the other side), each pixel found counted once.
  std::vector<SInt32> found;
  for (SInt32 r = picture.top; r < picture.bottom; ++r) {
    const UInt16 *row = data + size_t(r) * size_t(width);
    for (SInt32 c = picture.left; c < picture.right; ++c) {
      if (!(row[c] & kRG_FirstDegree)) continue;
      for (int n = 0; n < 8; ++n) {
        const SInt32 y = r + kNeighbourRow[n], x = c + kNeighbourCol[n];
        if (RG_InBounds(picture, y, x) && (data[y * width + x] & kRG_SecondDegree)) found.push_back(y * width + x);
      }
    }
  }
  std::sort(found.begin(), found.end());
  const SInt32 count = SInt32(std::unique(found.begin(), found.end()) - found.begin());
  return count;
}

OSStatus BZ_OuFindSpecks(const BZ_OuParams *ouParams, UInt16 *data, SInt32 *pixelList, BZ_OuSpeckLE **speckList) {
  if (ouParams == nullptr || data == nullptr || pixelList == nullptr || speckList == nullptr) return paramErr;
  const Rect picture = PictureRect(ouParams);
  BZ_OuSpeckLE *last = static_cast<BZ_OuSpeckLE *>(LL_GetLastPtr(*speckList));
  OSStatus err = noErr;
  for (SInt32 r = picture.top; r < picture.bottom && err == noErr; ++r)
    for (SInt32 c = picture.left; c < picture.right && err == noErr; ++c) {
      const SInt32 p = r * ouParams->width + c;
      if ((data[p] & (kRG_FirstDegree | kRG_InRegion)) == kRG_FirstDegree)
        err = ConstructSpeck(ouParams, picture, data, p, pixelList, speckList, &last);
    }
  SInt32 number = kBZ_OuFirstAutoSpeckNum;
  for (BZ_OuSpeckLE *s = *speckList; s != nullptr; s = s->next) s->speck.number = number++;
  return err;
}

OSStatus BZ_OuConstructSpeck(const BZ_OuParams *ouParams, UInt16 *data, SInt32 seedNum, SInt32 *pixelList,
                             BZ_OuSpeckLE **speckList) {
  if (ouParams == nullptr || data == nullptr || pixelList == nullptr || speckList == nullptr || seedNum < 0 ||
      seedNum >= ouParams->width * ouParams->height)
    return paramErr;
  BZ_OuSpeckLE *last = static_cast<BZ_OuSpeckLE *>(LL_GetLastPtr(*speckList));
  return ConstructSpeck(ouParams, PictureRect(ouParams), data, seedNum, pixelList, speckList, &last);
}

void BZ_OuAddThirdDegreePixelsToSpecks(const BZ_OuParams *ouParams, UInt16 *data, BZ_OuSpeckLE *speckList) {
  if (ouParams == nullptr || data == nullptr) return;
  const Rect picture = PictureRect(ouParams);
  const SInt32 width = ouParams->width;
  for (BZ_OuSpeckLE *s = speckList; s != nullptr; s = s->next) {
    RG_Region &rgn = s->speck.rgn;
    if (rgn.pixels == nullptr) continue;
    const SInt32 grown = rgn.numPixels;
    for (SInt32 j = 0; j < grown; ++j) {
      const SInt32 q = rgn.pixels[j];
      for (int n = 0; n < 8; ++n) {
        const SInt32 r = q / width + kNeighbourRow[n], c = q % width + kNeighbourCol[n];
        if (!RG_InBounds(picture, r, c)) continue;
        const SInt32 i = r * width + c;
        if ((data[i] & (kRG_SecondDegree | kRG_InRegion | kRG_ThirdDegree)) != kRG_SecondDegree) continue;
        // Eight neighbours per grown pixel at most: the array's room of 9 x its size always suffices.
        if (rgn.numPixels >= rgn.pixelsSize) continue;
        data[i] |= kRG_ThirdDegree;
        rgn.pixels[rgn.numPixels++] = i;
        ++rgn.numThirdDegreePixels;
        RG_AddIndexToBounds(width, i, &rgn.bounds);
      }
    }
    BZ_OuClearInSpeckTempFlag(width, &rgn.bounds, data);
  }
}

void BZ_OuCheckSandwiching(const BZ_OuParams *ouParams, const SInt32 *avPixelDiff, UInt8 *const *inBuffers,
                           const UInt16 *data, void *const *mv, BZ_OuSpeckLE *speckList) {
  if (ouParams == nullptr || ouParams->sett == nullptr || avPixelDiff == nullptr || inBuffers == nullptr) return;
  SInt32 min = 0, max = 0, lo = 0, hi = 0;
  BZ_OuGetInBufferIndexBounds(ouParams->sett->maxAvPixelDiff, inBuffers, ouParams->numInBuffers, avPixelDiff, &min,
                              &max);
  ComparedSlots(ouParams, min, max, &lo, &hi);
  const SInt32 centre = 2 * ouParams->sett->numConstPix;
  // As in the outlier pass: a pixel with a motion chain is read where its chain leads.
  void *const *chains = data != nullptr ? mv : nullptr;
  for (BZ_OuSpeckLE *s = speckList; s != nullptr; s = s->next) {
    SInt32 largest = 0, smallest = 255;
    for (SInt32 j = 0; j < s->speck.rgn.numPixels && s->speck.rgn.pixels != nullptr; ++j) {
      SInt32 indexes[kBZ_OuNumWindowSlots], plo = 0, phi = 0;
      PixelSlots(ouParams, chains, min, max, lo, hi, data, s->speck.rgn.pixels[j], &plo, &phi, indexes);
      for (SInt32 slot = plo; slot < phi; ++slot) {
        if (slot == centre || inBuffers[slot] == nullptr) continue;
        const SInt32 y = inBuffers[slot][2 * size_t(indexes[slot]) + 1];
        largest = std::max(largest, y);
        smallest = std::min(smallest, y);
      }
    }
    s->speck.max = largest;
    s->speck.min = smallest;
  }
}

void BZ_OuCalcSpecksProperties(const BZ_OuParams *ouParams, const UInt8 *inBuffer, const UInt16 *data,
                               BZ_OuSpeckLE *speckList) {
  for (BZ_OuSpeckLE *s = speckList; s != nullptr; s = s->next)
    BZ_CalcSpeckProperties(ouParams, inBuffer, data, &s->speck);
}

OSStatus BZ_OuAnalyzeEdge(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *data,
                          BZ_OuSpeckLE **speckList, SInt32 *pixelList) {
  if (ouParams == nullptr || ouParams->sett == nullptr || inBuffer == nullptr || data == nullptr ||
      speckList == nullptr || pixelList == nullptr)
    return paramErr;
  const Rect picture = PictureRect(ouParams);
  for (BZ_OuSpeckLE *s = *speckList, *next = nullptr; s != nullptr; s = next) {
    next = s->next;
    BZ_OuSpeck &speck = s->speck;
    if (speck.rgn.pixels == nullptr || !BZ_OuValidatePixels(ouParams, &speck)) {
      PutLine("BZ_OuAnalyzeEdge: speck %ld dropped: a pixel index lies outside the buffer\n", speck.number);
      DropSpeck(speckList, s);
      continue;
    }
    OSStatus err = RG_FindRgnEdgeInnerRing(ouParams->width, &picture, data, &speck.rgn, pixelList);
    if (err == noErr) err = BZ_OuFindEdgeSecondRing(ouParams, inBuffer, data, &speck, pixelList);
    if (err == noErr) err = BZ_OuFindEdgeThirdRing(ouParams, inBuffer, data, &speck, pixelList);
    BZ_OuClearRingFlag(ouParams->width, ouParams->height, &speck.rgn.bounds, data);
    if (err != noErr) return err;
    bool leftover = false;
    for (SInt32 j = 0; j < speck.rgn.numPixels && !leftover; ++j)
      leftover = (data[speck.rgn.pixels[j]] & kBZ_OuRingTemp) != 0;
    if (leftover || !BZ_OuValidatePixels(ouParams, &speck)) {
      PutLine("BZ_OuAnalyzeEdge: speck %ld dropped: its rings are damaged\n", speck.number);
      DropSpeck(speckList, s);
      continue;
    }
    // A speck without outer rings (it fills its surroundings) gives no evidence of being dust: kept.
    const SInt32 n = speck.rgn.edgeSize2 + speck.rgn.edgeSize3;
    const bool dust = n > 0 && (speck.numEdgeInBand + float(speck.numEdgeConstNotInBand)) / float(n) >= 0.9f;
    speck.edgeRejected = !dust;
    speck.remove = speck.initiallyRemoved = dust;
  }
  return noErr;
}

OSStatus BZ_OuFindEdgeSecondRing(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *data,
                                 BZ_OuSpeck *speck, SInt32 *pixelList) {
  if (ouParams == nullptr || ouParams->sett == nullptr || inBuffer == nullptr || data == nullptr ||
      speck == nullptr || pixelList == nullptr || speck->rgn.pixels == nullptr)
    return paramErr;
  RG_Region &rgn = speck->rgn;
  return FindOuterRing(ouParams, inBuffer, data, speck, pixelList, rgn.numPixels, rgn.edgeSize1, true,
                       &rgn.edgeSize2, true);
}

OSStatus BZ_OuFindEdgeThirdRing(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *data,
                                BZ_OuSpeck *speck, SInt32 *pixelList) {
  if (ouParams == nullptr || ouParams->sett == nullptr || inBuffer == nullptr || data == nullptr ||
      speck == nullptr || pixelList == nullptr || speck->rgn.pixels == nullptr)
    return paramErr;
  RG_Region &rgn = speck->rgn;
  return FindOuterRing(ouParams, inBuffer, data, speck, pixelList, rgn.numPixels + rgn.edgeSize1, rgn.edgeSize2,
                       false, &rgn.edgeSize3, false);
}

OSStatus BZ_OuFindHolesInSpecks(const BZ_OuParams *ouParams, UInt16 *data, BZ_OuSpeckLE *speckList,
                                SInt32 *pixelList) {
  if (ouParams == nullptr || data == nullptr || pixelList == nullptr) return paramErr;
  const Rect picture = PictureRect(ouParams);
  for (BZ_OuSpeckLE *s = speckList; s != nullptr; s = s->next)
    if (OSStatus err = RG_FindHolesInRgn(ouParams->width, &picture, data, &s->speck.rgn, pixelList); err != noErr)
      return err;
  return noErr;
}

void BZ_OuClearInSpeckEdgeFlag(SInt32 width, const Rect *bounds, UInt16 *data) {
  RG_ClearFlagInRgn(width, bounds, data, kBZ_OuRingTemp);
}

void BZ_OuClearInSpeckTempFlag(SInt32 width, const Rect *bounds, UInt16 *data) {
  RG_ClearFlagInRgn(width, bounds, data, kBZ_OuRingTemp);
}

void BZ_OuClearRingFlag(SInt32 width, SInt32 height, const Rect *bounds, UInt16 *data) {
  if (width <= 0 || height <= 0 || bounds == nullptr || data == nullptr) return;
  const Rect grown{SInt16(std::max(bounds->top - 3, 0)), SInt16(std::max(bounds->left - 3, 0)),
                   SInt16(std::min(bounds->bottom + 3, height)), SInt16(std::min(bounds->right + 3, width))};
  RG_ClearFlagInRgn(width, &grown, data, kBZ_OuRingTemp);
}

void BZ_OuSetInSpeckEdgeFlag(const BZ_OuSpeck *speck, UInt16 *data) {
  if (speck == nullptr || data == nullptr || speck->rgn.pixels == nullptr) return;
  const RG_Region &rgn = speck->rgn;
  for (SInt32 j = rgn.numFirstDegreePixels + rgn.numSecDegreePixels; j < rgn.numPixels; ++j)
    data[rgn.pixels[j]] |= kRG_ThirdDegree;
}

void BZ_OuSetInSpeckTempFlag(const BZ_OuSpeck *speck, UInt16 *data) {
  if (speck != nullptr) RG_SetFlagInRgn(&speck->rgn, data, kBZ_OuRingTemp);
}

Boolean BZ_OuAnyTempInSpeck(const BZ_OuParams *ouParams, const UInt16 *data) {
  if (ouParams == nullptr || data == nullptr) return false;
  const UInt16 *end = data + size_t(ouParams->width) * size_t(ouParams->height);
  return std::any_of(data, end, [](UInt16 f) { return (f & kBZ_OuRingTemp) != 0; });
}

Boolean BZ_OuValidatePixels(const BZ_OuParams *ouParams, const BZ_OuSpeck *speck) {
  if (ouParams == nullptr || speck == nullptr || speck->rgn.pixels == nullptr) return false;
  const RG_Region &rgn = speck->rgn;
  const SInt64 n = SInt64(rgn.numPixels) + rgn.edgeSize1 + rgn.edgeSize2 + rgn.edgeSize3;
  if (n > rgn.pixelsSize) return false;
  const SInt64 size = SInt64(ouParams->width) * ouParams->height;
  return std::all_of(rgn.pixels, rgn.pixels + n, [size](SInt32 i) { return i >= 0 && i < size; });
}

namespace {

// The speck's bounds grown by 3, clipped to the picture, a line per row of `cell` for each pixel.
template <typename Cell>
void PrintAround(const BZ_OuParams *p, const BZ_OuSpeck *speck, Cell cell) {
  const Rect picture = PictureRect(p), &b = speck->rgn.bounds;
  std::string text;
  char line[200];
  std::snprintf(line, sizeof line, "Speck %ld: numPixels = %ld, bounds = (%d, %d, %d, %d)\n", long(speck->number),
                long(speck->rgn.numPixels), b.top, b.left, b.bottom, b.right);
  text += line;
  for (SInt32 r = std::max<SInt32>(b.top - 3, picture.top); r < std::min<SInt32>(b.bottom + 3, picture.bottom); ++r) {
    for (SInt32 c = std::max<SInt32>(b.left - 3, picture.left); c < std::min<SInt32>(b.right + 3, picture.right);
         ++c) {
      std::snprintf(line, sizeof line, "%u,", unsigned(cell(r * p->width + c)));
      text += line;
    }
    text += "\n";
  }
  std::fputs(text.c_str(), stdout);
}

}  // namespace

void BZ_OuPrintSpeck(const BZ_OuParams *ouParams, const BZ_OuSpeck *speck, const UInt16 *data) {
  if (ouParams == nullptr || speck == nullptr || data == nullptr) return;
  PrintAround(ouParams, speck, [data](SInt32 i) { return data[i]; });
}

void BZ_OuPrintSpeckY(const BZ_OuParams *ouParams, const UInt8 *buffer, const BZ_OuSpeck *speck) {
  if (ouParams == nullptr || speck == nullptr || buffer == nullptr) return;
  PrintAround(ouParams, speck, [buffer](SInt32 i) { return buffer[2 * i + 1]; });
}
