// Visual properties, clip regions, the movie box and mattes over the movie model.
#include "platform/movie/movie_properties.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr UInt16 kRegionEnd = 0x7FFF;

struct ApertureSlot {
  bool *has;
  FixedPoint *dims;
};

bool SlotFor(PL_TrackRecord *t, QTPropertyID id, ApertureSlot *slot) {
  switch (id) {
    case kQTVisualPropertyID_ProductionApertureDimensions:
      *slot = ApertureSlot{&t->hasProf, &t->prof};
      return true;
    case kQTVisualPropertyID_CleanApertureDimensions:
      *slot = ApertureSlot{&t->hasClef, &t->clef};
      return true;
    case kQTVisualPropertyID_EncodedPixelsDimensions:
      *slot = ApertureSlot{&t->hasEnof, &t->enof};
      return true;
    default:
      return false;
  }
}

bool HasApertureDims(const PL_TrackRecord *t) { return t->hasClef || t->hasProf || t->hasEnof; }

OSErr GetValue(const void *value, ByteCount size, ByteCount bufferSize, void *out, ByteCount *used) {
  if (out == nullptr) return paramErr;
  if (bufferSize < size) return kQTPropertyBadValueSizeErr;
  std::memcpy(out, value, size);
  if (used) *used = size;
  return noErr;
}

// ---- QuickDraw regions in files ----
// A region is its size (16 bits), its bounding box (top, left, bottom, right) and, unless it is a
// rectangle, inversion lines: a line number, the horizontal positions where inside and outside swap from
// the line above, and 0x7FFF; the list ends with 0x7FFF. All big-endian.

// Builds a region from stored bytes; false when they do not hold together.
bool RegionFromBytes(const UInt8 *p, size_t n, RgnHandle rgn) {
  if (n < 10) return false;
  size_t size = PL_GetBE16(p);
  Rect box{SInt16(PL_GetBE16(p + 2)), SInt16(PL_GetBE16(p + 4)), SInt16(PL_GetBE16(p + 6)), SInt16(PL_GetBE16(p + 8))};
  if (size < 10 || size > n) return false;
  if (size == 10) {
    RectRgn(rgn, &box);
    return true;
  }
  SetEmptyRgn(rgn);
  RgnHandle band = NewRgn();
  if (band == nullptr) return false;
  std::vector<SInt16> active;  // sorted inversion points in force
  size_t at = 10;
  bool ok = false, havePrev = false;
  SInt16 prevV = 0;
  while (at + 2 <= size) {
    UInt16 v = PL_GetBE16(p + at);
    at += 2;
    if (v == kRegionEnd) {
      ok = active.empty();
      break;
    }
    if (havePrev && SInt16(v) <= prevV) break;
    if (havePrev) {
      for (size_t i = 0; i + 1 < active.size(); i += 2) {
        SetRectRgn(band, active[i], prevV, active[i + 1], SInt16(v));
        UnionRgn(rgn, band, rgn);
      }
    }
    bool ended = false;
    while (at + 2 <= size) {
      UInt16 h = PL_GetBE16(p + at);
      at += 2;
      if (h == kRegionEnd) {
        ended = true;
        break;
      }
      auto it = std::lower_bound(active.begin(), active.end(), SInt16(h));
      if (it != active.end() && *it == SInt16(h))
        active.erase(it);
      else
        active.insert(it, SInt16(h));
    }
    if (!ended || active.size() % 2 != 0) break;
    havePrev = true;
    prevV = SInt16(v);
  }
  DisposeRgn(band);
  return ok && QDError() == noErr;
}

// The spans' edges of one row of a region.
std::vector<SInt16> RowEdges(RgnHandle rgn, const Rect &bounds, SInt16 v) {
  std::vector<SInt16> edges;
  bool inside = false;
  for (SInt32 h = bounds.left; h < bounds.right; ++h) {
    bool in = PtInRgn(Point{v, SInt16(h)}, rgn);
    if (in != inside) edges.push_back(SInt16(h));
    inside = in;
  }
  if (inside) edges.push_back(bounds.right);
  return edges;
}

// The stored bytes of a region; rgnTooBigErr beyond the format's 32 KB.
OSErr RegionToBytes(RgnHandle rgn, std::vector<UInt8> *out) {
  PL_AtomWriter w;
  Rect bounds;
  GetRegionBounds(rgn, &bounds);
  w.Put16(10);
  w.Put16(UInt16(bounds.top));
  w.Put16(UInt16(bounds.left));
  w.Put16(UInt16(bounds.bottom));
  w.Put16(UInt16(bounds.right));
  if (!EmptyRgn(rgn) && !IsRegionRectangular(rgn)) {
    std::vector<SInt16> above;
    for (SInt32 v = bounds.top; v <= bounds.bottom; ++v) {
      std::vector<SInt16> row = v < bounds.bottom ? RowEdges(rgn, bounds, SInt16(v)) : std::vector<SInt16>{};
      std::vector<SInt16> inversions;
      std::set_symmetric_difference(above.begin(), above.end(), row.begin(), row.end(), std::back_inserter(inversions));
      if (!inversions.empty()) {
        w.Put16(UInt16(v));
        for (SInt16 h : inversions) w.Put16(UInt16(h));
        w.Put16(kRegionEnd);
      }
      above.swap(row);
      if (w.bytes.size() > 0x7FFF) return rgnTooBigErr;
    }
    w.Put16(kRegionEnd);
    if (w.bytes.size() > 0x7FFF) return rgnTooBigErr;
    PL_PutBE16(w.bytes.data(), UInt16(w.bytes.size()));
  }
  *out = std::move(w.bytes);
  return noErr;
}

std::vector<PL_RawAtom>::iterator FindExtra(PL_TrackRecord *t, OSType type) {
  return std::find_if(t->extras.begin(), t->extras.end(), [type](const PL_RawAtom &a) { return a.type == type; });
}

// The bounding box, in Fixed, of the enabled tracks' rectangles through their matrices; false when empty.
bool TracksBox(const PL_MovieRecord *movie, FixedRect *box) {
  bool any = false;
  for (const auto &t : movie->tracks) {
    if ((t->flags & 1) == 0 || t->width <= 0 || t->height <= 0) continue;
    FixedRect r{0, 0, t->width, t->height};
    TransformFixedRect(&t->matrix, &r, nullptr);
    if (!any) {
      *box = r;
      any = true;
    } else {
      box->left = std::min(box->left, r.left);
      box->top = std::min(box->top, r.top);
      box->right = std::max(box->right, r.right);
      box->bottom = std::max(box->bottom, r.bottom);
    }
  }
  return any;
}

SInt16 RoundFixed(Fixed v) { return SInt16(std::clamp<SInt64>((SInt64(v) + 0x8000) >> 16, -32768, 32767)); }

}  // namespace

// ---- Properties ----

OSErr QTGetTrackProperty(Track theTrack, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         void *outPropValueAddress, ByteCount *outPropValueSizeUsed) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack);
  if (inPropClass != kQTPropertyClass_Visual) return PL_SetMoviesError(kQTPropertyNotSupportedErr);
  if (inPropID == kQTVisualPropertyID_HasApertureModeDimensions) {
    Boolean has = HasApertureDims(theTrack);
    return PL_SetMoviesError(GetValue(&has, 1, inPropValueSize, outPropValueAddress, outPropValueSizeUsed));
  }
  ApertureSlot slot;
  if (!SlotFor(theTrack, inPropID, &slot) || !*slot.has) return PL_SetMoviesError(kQTPropertyNotSupportedErr);
  return PL_SetMoviesError(GetValue(slot.dims, sizeof(FixedPoint), inPropValueSize, outPropValueAddress,
                                    outPropValueSizeUsed));
}

OSErr QTSetTrackProperty(Track theTrack, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         const void *inPropValueAddress) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack);
  if (inPropValueAddress == nullptr) return PL_SetMoviesError(paramErr);
  if (inPropClass != kQTPropertyClass_Visual) return PL_SetMoviesError(kQTPropertyNotSupportedErr);
  if (inPropID == kQTVisualPropertyID_HasApertureModeDimensions) return PL_SetMoviesError(kQTPropertyReadOnlyErr);
  ApertureSlot slot;
  if (!SlotFor(theTrack, inPropID, &slot)) return PL_SetMoviesError(kQTPropertyNotSupportedErr);
  if (inPropValueSize != sizeof(FixedPoint)) return PL_SetMoviesError(kQTPropertyBadValueSizeErr);
  std::memcpy(slot.dims, inPropValueAddress, sizeof(FixedPoint));
  *slot.has = true;
  return PL_SetMoviesError(noErr);
}

OSErr QTGetMovieProperty(Movie theMovie, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         void *outPropValueAddress, ByteCount *outPropValueSizeUsed) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie);
  if (inPropClass != kQTPropertyClass_Visual) return PL_SetMoviesError(kQTPropertyNotSupportedErr);
  if (inPropID == kQTVisualPropertyID_HasApertureModeDimensions) {
    Boolean has = std::any_of(theMovie->tracks.begin(), theMovie->tracks.end(),
                              [](const auto &t) { return HasApertureDims(t.get()); });
    return PL_SetMoviesError(GetValue(&has, 1, inPropValueSize, outPropValueAddress, outPropValueSizeUsed));
  }
  if (inPropID == kQTVisualPropertyID_ApertureMode) {
    OSType mode = theMovie->apertureMode != 0 ? theMovie->apertureMode : OSType(kQTApertureMode_Classic);
    return PL_SetMoviesError(GetValue(&mode, 4, inPropValueSize, outPropValueAddress, outPropValueSizeUsed));
  }
  return PL_SetMoviesError(kQTPropertyNotSupportedErr);
}

OSErr QTSetMovieProperty(Movie theMovie, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         const void *inPropValueAddress) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie);
  if (inPropValueAddress == nullptr) return PL_SetMoviesError(paramErr);
  if (inPropClass != kQTPropertyClass_Visual) return PL_SetMoviesError(kQTPropertyNotSupportedErr);
  if (inPropID == kQTVisualPropertyID_HasApertureModeDimensions) return PL_SetMoviesError(kQTPropertyReadOnlyErr);
  if (inPropID != kQTVisualPropertyID_ApertureMode) return PL_SetMoviesError(kQTPropertyNotSupportedErr);
  if (inPropValueSize != 4) return PL_SetMoviesError(kQTPropertyBadValueSizeErr);
  OSType mode;
  std::memcpy(&mode, inPropValueAddress, 4);
  if (mode != kQTApertureMode_Classic && mode != kQTApertureMode_CleanAperture &&
      mode != kQTApertureMode_ProductionAperture && mode != kQTApertureMode_EncodedPixels)
    return PL_SetMoviesError(paramErr);
  theMovie->apertureMode = mode;
  for (auto &t : theMovie->tracks) {
    const FixedPoint *dims = nullptr;
    if (mode == kQTApertureMode_CleanAperture && t->hasClef) dims = &t->clef;
    if (mode == kQTApertureMode_ProductionAperture && t->hasProf) dims = &t->prof;
    if (mode == kQTApertureMode_EncodedPixels && t->hasEnof) dims = &t->enof;
    if (dims) {
      t->width = dims->x;
      t->height = dims->y;
    }
  }
  return PL_SetMoviesError(noErr);
}

// ---- Clip regions ----

RgnHandle GetTrackClipRgn(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), nullptr;
  auto clip = FindExtra(theTrack, 'clip');
  if (clip == theTrack->extras.end()) return PL_SetMoviesError(noErr), nullptr;
  const std::vector<UInt8> &payload = clip->payload;
  UInt64 offset = 0;
  PL_AtomHeader h;
  while (PL_NextAtom(payload.data(), payload.size(), &offset, &h, kPL_MovieAtomErr) == noErr) {
    if (h.type != 'crgn') continue;
    RgnHandle rgn = NewRgn();
    if (rgn == nullptr) return PL_SetMoviesError(memFullErr), nullptr;
    if (!RegionFromBytes(payload.data() + h.offset + h.headerSize, size_t(h.size - h.headerSize), rgn)) {
      DisposeRgn(rgn);
      return PL_SetMoviesError(kPL_MovieAtomErr), nullptr;
    }
    PL_SetMoviesError(noErr);
    return rgn;
  }
  return PL_SetMoviesError(kPL_MovieAtomErr), nullptr;
}

void SetTrackClipRgn(Track theTrack, RgnHandle theClip) {
  if (theTrack == nullptr) {
    PL_SetMoviesError(invalidTrack);
    return;
  }
  auto clip = FindExtra(theTrack, 'clip');
  if (theClip == nullptr) {
    if (clip != theTrack->extras.end()) theTrack->extras.erase(clip);
    PL_SetMoviesError(noErr);
    return;
  }
  std::vector<UInt8> region;
  OSErr err = RegionToBytes(theClip, &region);
  if (err != noErr) {
    PL_SetMoviesError(err);
    return;
  }
  PL_AtomWriter w;
  w.Begin('crgn');
  w.PutBytes(region.data(), region.size());
  w.End();
  if (clip != theTrack->extras.end())
    clip->payload = std::move(w.bytes);
  else
    theTrack->extras.push_back(PL_RawAtom{'clip', std::move(w.bytes)});
  PL_SetMoviesError(noErr);
}

// ---- Movie box ----

void GetMovieBox(Movie theMovie, Rect *boxRect) {
  if (theMovie == nullptr || boxRect == nullptr) {
    PL_SetMoviesError(theMovie == nullptr ? invalidMovie : paramErr);
    return;
  }
  FixedRect box;
  if (!TracksBox(theMovie, &box)) {
    *boxRect = Rect{0, 0, 0, 0};
  } else {
    TransformFixedRect(&theMovie->matrix, &box, nullptr);
    *boxRect = Rect{RoundFixed(box.top), RoundFixed(box.left), RoundFixed(box.bottom), RoundFixed(box.right)};
  }
  PL_SetMoviesError(noErr);
}

void SetMovieBox(Movie theMovie, const Rect *boxRect) {
  if (theMovie == nullptr || boxRect == nullptr) {
    PL_SetMoviesError(theMovie == nullptr ? invalidMovie : paramErr);
    return;
  }
  Rect current;
  GetMovieBox(theMovie, &current);
  MapMatrix(&theMovie->matrix, &current, boxRect);
  PL_SetMoviesError(noErr);
}

Boolean PL_TrackHasMatte(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), false;
  PL_SetMoviesError(noErr);
  return FindExtra(theTrack, 'matt') != theTrack->extras.end();
}
