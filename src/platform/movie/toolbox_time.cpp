// Time searches, time records, edit rates, sample reads into buffers and media data sizes over the model.
#include "platform/movie/toolbox_time.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/quickdraw_ports.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

// Samples of media with composition offsets in display order: starts ascending, each sample shown until
// the next one starts (the last for its decode duration).
struct PL_DisplayOrder {
  SInt64 sampleCount = 0;
  std::vector<SInt64> starts;
  std::vector<SInt64> ends;
  std::vector<SInt64> sampleNums;  // from 1
};

namespace {

constexpr SInt16 kKnownFlags = nextTimeMediaSample | nextTimeMediaEdit | nextTimeTrackEdit | nextTimeStep |
                               nextTimeEdgeOK | nextTimeIgnoreActiveSegment;
constexpr UInt64 kSoundReadLimit = 1 << 20;

TimeValue ClampTime(SInt64 t) {
  return TimeValue(std::clamp<SInt64>(t, std::numeric_limits<TimeValue>::min(), std::numeric_limits<TimeValue>::max()));
}

// A stretch of time [begin, end).
struct Span {
  SInt64 begin;
  SInt64 end;
};

// ---- Media in display order ----

std::shared_ptr<const PL_DisplayOrder> DisplayOrder(PL_MediaRecord *media) {
  std::lock_guard<std::mutex> lock(media->displayOrderLock);
  if (media->displayOrder && media->displayOrder->sampleCount == media->sampleCount) return media->displayOrder;
  auto order = std::make_shared<PL_DisplayOrder>();
  order->sampleCount = media->sampleCount;
  struct Entry {
    SInt64 start, decodeEnd, num;
  };
  std::vector<Entry> entries;
  entries.reserve(size_t(std::max<SInt64>(media->sampleCount, 0)));
  size_t ctts = 0;
  UInt32 usedInEntry = 0;
  for (const PL_SampleRun &run : media->runs) {
    for (UInt32 i = 0; i < run.numberOfSamples; ++i) {
      SInt32 offset = 0;
      while (ctts < media->compositionOffsets.size() && usedInEntry >= media->compositionOffsets[ctts].first) {
        ++ctts;
        usedInEntry = 0;
      }
      if (ctts < media->compositionOffsets.size()) {
        offset = media->compositionOffsets[ctts].second;
        ++usedInEntry;
      }
      SInt64 decode = run.startTime + SInt64(i) * run.durationPerSample;
      if (run.durationPerSample > 0)
        entries.push_back(Entry{decode + offset, decode + offset + run.durationPerSample, run.firstSample + i});
    }
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.start < b.start; });
  for (size_t i = 0; i < entries.size(); ++i) {
    // Samples sharing a display start: only the last of them is ever shown.
    if (i + 1 < entries.size() && entries[i + 1].start == entries[i].start) continue;
    order->starts.push_back(entries[i].start);
    order->ends.push_back(i + 1 < entries.size() ? entries[i + 1].start : entries[i].decodeEnd);
    order->sampleNums.push_back(entries[i].num);
  }
  media->displayOrder = order;
  return order;
}

// The media's display extent.
Span MediaExtent(PL_MediaRecord *media) {
  if (!media->hasCompositionOffsets) return Span{0, media->duration};
  auto order = DisplayOrder(media);
  if (order->starts.empty()) return Span{0, 0};
  return Span{order->starts.front(), order->ends.back()};
}

// The sample shown at media (display) time m: its span and number; false when none is.
bool ShownSample(PL_MediaRecord *media, SInt64 m, Span *span, SInt64 *sampleNum) {
  if (!media->hasCompositionOffsets) {
    size_t r = 0;
    UInt32 i = 0;
    if (!PL_MediaFindTime(media, m, &r, &i)) return false;
    const PL_SampleRun &run = media->runs[r];
    span->begin = run.startTime + SInt64(i) * run.durationPerSample;
    span->end = span->begin + run.durationPerSample;
    if (sampleNum) *sampleNum = run.firstSample + i;
    return true;
  }
  auto order = DisplayOrder(media);
  auto it = std::upper_bound(order->starts.begin(), order->starts.end(), m);
  if (it == order->starts.begin()) return false;
  size_t k = size_t(it - order->starts.begin()) - 1;
  if (m >= order->ends[k]) return false;
  span->begin = order->starts[k];
  span->end = order->ends[k];
  if (sampleNum) *sampleNum = order->sampleNums[k];
  return true;
}

// ---- Edits in movie time ----

// One edit of a track: where it lies in movie time and how it maps onto media time.
struct EditMap {
  SInt64 start;
  SInt64 end;
  SInt64 mediaTime;  // -1: empty
  Fixed rate;
  TimeScale movieScale;
  TimeScale mediaScale;

  // The media time shown at movie time t of the edit, as TrackTimeToMediaTime gives it.
  SInt64 MediaAt(SInt64 t) const {
    __int128 offset = (__int128)(t - start) * mediaScale * rate / ((__int128)movieScale * 65536);
    return mediaTime + SInt64(offset);
  }
  // The first movie time of the edit that shows media time mu or later.
  SInt64 MovieAt(SInt64 mu) const {
    if (mu <= mediaTime) return start;
    __int128 num = (__int128)(mu - mediaTime) * movieScale * 65536;
    __int128 den = (__int128)mediaScale * rate;
    __int128 q = (num + den - 1) / den;
    return q > (__int128)(end - start) ? end : start + SInt64(q);
  }
  bool ShowsMedia() const { return mediaTime >= 0 && rate > 0 && mediaScale > 0; }
};

std::vector<EditMap> EditsOf(const PL_TrackRecord *track) {
  std::vector<EditMap> edits;
  SInt64 t = 0;
  TimeScale mediaScale = track->media ? track->media->timeScale : 0;
  for (const PL_Edit &e : track->edits) {
    if (e.trackDuration > 0)
      edits.push_back(EditMap{t, t + e.trackDuration, e.mediaTime, e.mediaRate, track->movie->timeScale, mediaScale});
    t += e.trackDuration;
  }
  return edits;
}

struct Found {
  bool found = false;
  Span span{-1, -1};
};

// Keeps the better of two candidates: the earlier begin forward, the later one backward; on equal begins
// the shorter stretch (the next thing of interest ends there).
void Consider(Found *best, const Span &span, bool forward) {
  if (span.end <= span.begin) return;
  if (!best->found) {
    *best = Found{true, span};
    return;
  }
  bool better = forward ? span.begin < best->span.begin : span.begin > best->span.begin;
  if (better || (span.begin == best->span.begin && span.end < best->span.end)) best->span = span;
}

// The shown sample stretch of an edit that contains movie time t.
bool PieceAt(PL_MediaRecord *media, const EditMap &e, SInt64 t, Span *piece) {
  Span s;
  SInt64 m = e.MediaAt(t);
  if (!ShownSample(media, m, &s, nullptr)) return false;
  piece->begin = std::max(e.start, e.MovieAt(s.begin));
  piece->end = std::min(e.end, e.MovieAt(s.end));
  return piece->end > piece->begin;
}

// The first sample stretch of the edit that begins at lo or later.
bool NextPiece(PL_MediaRecord *media, const EditMap &e, SInt64 lo, Span *piece) {
  SInt64 t = std::max(lo, e.start);
  if (t >= e.end) return false;
  Span p;
  if (PieceAt(media, e, t, &p)) {
    if (p.begin == t) {
      *piece = p;
      return true;
    }
    t = p.end;
  } else {
    // Nothing shown at t: before the media's first sample or past its last. Find where media begins.
    Span extent = MediaExtent(media);
    if (e.MediaAt(t) >= extent.end) return false;
    t = e.MovieAt(extent.begin);
  }
  if (t >= e.end) return false;
  if (!PieceAt(media, e, t, &p)) return false;
  *piece = p;
  return true;
}

// The last sample stretch of the edit that begins at hi or earlier.
bool PrevPiece(PL_MediaRecord *media, const EditMap &e, SInt64 hi, Span *piece) {
  SInt64 t = std::min(hi, e.end - 1);
  if (t < e.start) return false;
  Span extent = MediaExtent(media);
  if (extent.end <= extent.begin) return false;
  if (e.MediaAt(t) >= extent.end) {
    // Past the media's end: the last sample, where the edit shows it.
    t = std::min(t, e.MovieAt(extent.end) - 1);
    if (t < e.start) return false;
  }
  if (e.MediaAt(t) < extent.begin) return false;
  return PieceAt(media, e, t, piece);
}

// The search on one track. flags are valid here.
Found SearchTrack(PL_TrackRecord *track, SInt16 flags, SInt64 time, bool forward) {
  Found best;
  bool samples = (flags & (nextTimeMediaSample | nextTimeStep)) != 0;
  bool edge = (flags & nextTimeEdgeOK) != 0;
  std::vector<EditMap> edits = EditsOf(track);
  PL_MediaRecord *media = track->media.get();
  if (forward) {
    SInt64 lo = edge ? time : time + 1;
    for (const EditMap &e : edits) {
      if (e.end <= lo) continue;
      if (e.start >= lo && ((flags & nextTimeTrackEdit) || ((flags & nextTimeMediaEdit) && e.mediaTime >= 0)))
        Consider(&best, Span{e.start, e.end}, true);
      if (samples && media && e.mediaTime >= 0) {
        Span piece;
        if (e.ShowsMedia()) {
          if (NextPiece(media, e, lo, &piece)) Consider(&best, piece, true);
        } else if (e.start >= lo) {
          Consider(&best, Span{e.start, e.end}, true);
        }
      }
      if (best.found) break;
    }
  } else {
    SInt64 hi = edge ? time : time - 1;
    for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
      const EditMap &e = *it;
      if (e.start > hi) continue;
      if ((flags & nextTimeTrackEdit) || ((flags & nextTimeMediaEdit) && e.mediaTime >= 0))
        Consider(&best, Span{e.start, e.end}, false);
      if (samples && media && e.mediaTime >= 0) {
        Span piece;
        if (e.ShowsMedia()) {
          if (PrevPiece(media, e, hi, &piece)) Consider(&best, piece, false);
        } else {
          Consider(&best, Span{e.start, e.end}, false);
        }
      }
      if (best.found) break;
    }
  }
  return best;
}

void Report(const Found &f, TimeValue *interestingTime, TimeValue *interestingDuration) {
  if (interestingTime) *interestingTime = f.found ? ClampTime(f.span.begin) : -1;
  if (interestingDuration) *interestingDuration = f.found ? ClampTime(f.span.end - f.span.begin) : 0;
}

bool FlagsOffered(SInt16 flags) { return (flags & ~kKnownFlags) == 0; }

// Media-time search over the samples in display order.
Found SearchMedia(PL_MediaRecord *media, SInt64 time, bool edge, bool forward) {
  Found best;
  Span extent = MediaExtent(media);
  if (extent.end <= extent.begin) return best;
  Span s;
  if (forward) {
    SInt64 lo = std::max(edge ? time : time + 1, extent.begin);
    if (lo >= extent.end || !ShownSample(media, lo, &s, nullptr)) return best;
    if (s.begin < lo && !ShownSample(media, s.end, &s, nullptr)) return best;
  } else {
    SInt64 hi = std::min(edge ? time : time - 1, extent.end - 1);
    if (hi < extent.begin || !ShownSample(media, hi, &s, nullptr)) return best;
  }
  best = Found{true, s};
  return best;
}

PL_MediaRecord *MediaOf(MediaHandler mh) { return reinterpret_cast<PL_MediaRecord *>(mh); }

}  // namespace

// ---- Interesting times ----

void GetMovieNextInterestingTime(Movie theMovie, SInt16 interestingTimeFlags, SInt16 numMediaTypes,
                                 const OSType *whichMediaTypes, TimeValue time, Fixed rate, TimeValue *interestingTime,
                                 TimeValue *interestingDuration) {
  Report(Found{}, interestingTime, interestingDuration);
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return;
  }
  if (!FlagsOffered(interestingTimeFlags) || numMediaTypes < 0 || (numMediaTypes > 0 && whichMediaTypes == nullptr)) {
    PL_SetMoviesError(paramErr);
    return;
  }
  // The enabled tracks of the wanted media types or characteristics.
  std::vector<PL_TrackRecord *> tracks;
  if (numMediaTypes == 0) {
    for (auto &t : theMovie->tracks)
      if (t->flags & 1) tracks.push_back(t.get());
  } else {
    for (SInt16 k = 0; k < numMediaTypes; ++k) {
      for (SInt32 i = 1;; ++i) {
        Track t = GetMovieIndTrackType(theMovie, i, whichMediaTypes[k],
                                       movieTrackMediaType | movieTrackCharacteristic | movieTrackEnabledOnly);
        if (t == nullptr) break;
        if (std::find(tracks.begin(), tracks.end(), t) == tracks.end()) tracks.push_back(t);
      }
    }
  }
  bool forward = rate >= 0;
  Found best;
  for (PL_TrackRecord *t : tracks) {
    Found f = SearchTrack(t, interestingTimeFlags, time, forward);
    if (f.found) Consider(&best, f.span, forward);
  }
  Report(best, interestingTime, interestingDuration);
  PL_SetMoviesError(noErr);
}

void GetTrackNextInterestingTime(Track theTrack, SInt16 interestingTimeFlags, TimeValue time, Fixed rate,
                                 TimeValue *interestingTime, TimeValue *interestingDuration) {
  Report(Found{}, interestingTime, interestingDuration);
  if (theTrack == nullptr) {
    PL_SetMoviesError(invalidTrack);
    return;
  }
  if (!FlagsOffered(interestingTimeFlags)) {
    PL_SetMoviesError(paramErr);
    return;
  }
  Report(SearchTrack(theTrack, interestingTimeFlags, time, rate >= 0), interestingTime, interestingDuration);
  PL_SetMoviesError(noErr);
}

void GetMediaNextInterestingTime(Media theMedia, SInt16 interestingTimeFlags, TimeValue time, Fixed rate,
                                 TimeValue *interestingTime, TimeValue *interestingDuration) {
  Report(Found{}, interestingTime, interestingDuration);
  if (theMedia == nullptr) {
    PL_SetMoviesError(invalidMedia);
    return;
  }
  if (!FlagsOffered(interestingTimeFlags)) {
    PL_SetMoviesError(paramErr);
    return;
  }
  if (interestingTimeFlags & (nextTimeMediaSample | nextTimeStep))
    Report(SearchMedia(theMedia, time, (interestingTimeFlags & nextTimeEdgeOK) != 0, rate >= 0), interestingTime,
           interestingDuration);
  PL_SetMoviesError(noErr);
}

// ---- Time records, time bases, current time and selection ----

TimeValue GetMovieTime(Movie theMovie, TimeRecord *currentTime) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), 0;
  if (currentTime) {
    currentTime->value = PL_SInt64ToWide(theMovie->currentTime);
    currentTime->scale = theMovie->timeScale;
    currentTime->base = reinterpret_cast<TimeBase>(theMovie);
  }
  PL_SetMoviesError(noErr);
  return theMovie->currentTime;
}

void SetMovieTimeValue(Movie theMovie, TimeValue newtime) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return;
  }
  theMovie->currentTime = ClampTime(std::clamp<SInt64>(newtime, 0, PL_MovieDuration(theMovie)));
  PL_SetMoviesError(noErr);
}

TimeBase GetMovieTimeBase(Movie theMovie) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), nullptr;
  PL_SetMoviesError(noErr);
  return reinterpret_cast<TimeBase>(theMovie);
}

TimeValue GetTimeBaseStartTime(TimeBase tb, TimeScale s, TimeRecord *tr) {
  if (tb == nullptr) return PL_SetMoviesError(paramErr), 0;
  if (tr) {
    tr->value = PL_SInt64ToWide(0);
    tr->scale = s != 0 ? s : reinterpret_cast<PL_MovieRecord *>(tb)->timeScale;
    tr->base = tb;
  }
  PL_SetMoviesError(noErr);
  return 0;
}

void GetMovieSelection(Movie theMovie, TimeValue *selectionTime, TimeValue *selectionDuration) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return;
  }
  if (selectionTime) *selectionTime = theMovie->selectionTime;
  if (selectionDuration) *selectionDuration = theMovie->selectionDuration;
  PL_SetMoviesError(noErr);
}

void SetMovieSelection(Movie theMovie, TimeValue selectionTime, TimeValue selectionDuration) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return;
  }
  if (selectionTime < 0 || selectionDuration < 0) {
    PL_SetMoviesError(paramErr);
    return;
  }
  theMovie->selectionTime = selectionTime;
  theMovie->selectionDuration = selectionDuration;
  PL_SetMoviesError(noErr);
}

// ---- Edit rates ----

Fixed GetTrackEditRate64(Track theTrack, TimeValue64 atTime) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), 0;
  SInt64 start = 0;
  for (const PL_Edit &e : theTrack->edits) {
    if (atTime >= start && atTime < start + e.trackDuration) {
      PL_SetMoviesError(noErr);
      return e.mediaRate;
    }
    start += e.trackDuration;
  }
  PL_SetMoviesError(timeNotInTrack);
  return 0;
}

Fixed GetTrackEditRate(Track theTrack, TimeValue atTime) { return GetTrackEditRate64(theTrack, atTime); }

// ---- Reading samples into a buffer ----

OSErr GetMediaSample2(Media theMedia, UInt8 *dataOut, ByteCount maxDataSize, ByteCount *size, TimeValue64 decodeTime,
                      TimeValue64 *sampleDecodeTime, TimeValue64 *decodeDuration, TimeValue64 *displayOffset,
                      SampleDescriptionHandle sampleDescriptionH, ItemCount *sampleDescriptionIndex,
                      ItemCount maxNumberOfSamples, ItemCount *numberOfSamples, MediaSampleFlags *sampleFlags) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  size_t r = 0;
  UInt32 first = 0;
  if (!PL_MediaFindTime(theMedia, decodeTime, &r, &first)) return PL_SetMoviesError(invalidTime);
  const PL_SampleRun &run = theMedia->runs[r];
  UInt32 left = run.numberOfSamples - first;
  UInt32 n = 1;
  if (maxNumberOfSamples > 0) {
    n = std::min<UInt32>(left, maxNumberOfSamples);
  } else if (theMedia->mediaType == SoundMediaType) {
    UInt64 each = std::max<UInt64>(1, run.dataSize / run.numberOfSamples);
    n = UInt32(std::clamp<UInt64>(kSoundReadLimit / each, 1, left));
  }
  SInt64 begin, last;
  UInt64 firstSize, lastSize;
  PL_RunSampleSpan(run, first, &begin, &firstSize);
  PL_RunSampleSpan(run, first + n - 1, &last, &lastSize);
  UInt64 bytes = UInt64(last - begin) + lastSize;
  if (bytes > 0xFFFFFFFFu) return PL_SetMoviesError(paramErr);
  if (size) *size = ByteCount(bytes);
  if (numberOfSamples) *numberOfSamples = n;
  if (sampleDecodeTime) *sampleDecodeTime = run.startTime + SInt64(first) * run.durationPerSample;
  if (decodeDuration) *decodeDuration = run.durationPerSample;
  if (sampleFlags) *sampleFlags = MediaSampleFlags(UInt16(run.sampleFlags));
  if (sampleDescriptionIndex) *sampleDescriptionIndex = run.descIndex;
  if (displayOffset) {
    *displayOffset = 0;
    SInt64 sampleNum = run.firstSample + first, counted = 0;
    for (const auto &[count, offset] : theMedia->compositionOffsets) {
      if (sampleNum <= counted + SInt64(count)) {
        *displayOffset = offset;
        break;
      }
      counted += count;
    }
  }
  if (sampleDescriptionH != nullptr) {
    const std::vector<UInt8> &desc = theMedia->descriptions[run.descIndex - 1];
    SetHandleSize(reinterpret_cast<Handle>(sampleDescriptionH), Size(desc.size()));
    if (MemError() != noErr) return PL_SetMoviesError(MemError());
    std::memcpy(*sampleDescriptionH, desc.data(), desc.size());
  }
  if (dataOut == nullptr) return PL_SetMoviesError(noErr);
  if (bytes > maxDataSize) return PL_SetMoviesError(maxSizeToGrowTooSmall);
  int fd = -1;
  UInt64 fileSize = 0;
  OSStatus err = PL_MediaDataFile(theMedia, run.descIndex, &fd, &fileSize);
  if (err != noErr) return PL_SetMoviesError(err);
  if (UInt64(begin) > fileSize || bytes > fileSize - UInt64(begin)) return PL_SetMoviesError(eofErr);
  return PL_SetMoviesError(PL_MediaReadData(theMedia, run.descIndex, begin, dataOut, size_t(bytes)));
}

// ---- Data sizes and display times ----

OSErr GetMediaDataSizeTime64(Media theMedia, TimeValue64 startDisplayTime, TimeValue64 displayDuration,
                             SInt64 *dataSize) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  if (dataSize == nullptr) return PL_SetMoviesError(paramErr);
  if (startDisplayTime < 0 || displayDuration < 0) return PL_SetMoviesError(invalidTime);
  *dataSize = 0;
  SInt64 end = displayDuration > std::numeric_limits<SInt64>::max() - startDisplayTime
                   ? std::numeric_limits<SInt64>::max()
                   : startDisplayTime + displayDuration;
  UInt64 total = 0;
  if (!theMedia->hasCompositionOffsets) {
    for (const PL_SampleRun &run : theMedia->runs) {
      if (run.durationPerSample <= 0) continue;
      SInt64 runEnd = run.startTime + SInt64(run.numberOfSamples) * run.durationPerSample;
      if (runEnd <= startDisplayTime || run.startTime >= end) continue;
      SInt64 firstSample = std::max<SInt64>(0, (startDisplayTime - run.startTime) / run.durationPerSample);
      SInt64 lastSample = std::min<SInt64>(run.numberOfSamples - 1, (end - 1 - run.startTime) / run.durationPerSample);
      if (lastSample < firstSample) continue;
      SInt64 a, b;
      UInt64 sa, sb;
      PL_RunSampleSpan(run, UInt32(firstSample), &a, &sa);
      PL_RunSampleSpan(run, UInt32(lastSample), &b, &sb);
      total += UInt64(b - a) + sb;
    }
  } else {
    auto order = DisplayOrder(theMedia);
    auto it = std::upper_bound(order->starts.begin(), order->starts.end(), startDisplayTime);
    size_t k = it == order->starts.begin() ? 0 : size_t(it - order->starts.begin()) - 1;
    for (; k < order->starts.size() && order->starts[k] < end; ++k) {
      if (order->ends[k] <= startDisplayTime) continue;
      size_t r = 0;
      UInt32 i = 0;
      if (!PL_MediaFindSample(theMedia, order->sampleNums[k], &r, &i)) continue;
      SInt64 offset;
      UInt64 bytes;
      PL_RunSampleSpan(theMedia->runs[r], i, &offset, &bytes);
      total += bytes;
    }
  }
  *dataSize = SInt64(std::min<UInt64>(total, UInt64(std::numeric_limits<SInt64>::max())));
  return PL_SetMoviesError(noErr);
}

OSErr GetMediaDataSize64(Media theMedia, TimeValue startTime, TimeValue duration, SInt64 *dataSize) {
  return GetMediaDataSizeTime64(theMedia, startTime, duration, dataSize);
}

TimeValue64 GetMediaDisplayStartTime(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia), 0;
  PL_SetMoviesError(noErr);
  return MediaExtent(theMedia).begin;
}

TimeValue64 GetMediaDisplayEndTime(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia), 0;
  PL_SetMoviesError(noErr);
  return MediaExtent(theMedia).end;
}

TimeValue64 GetMediaDisplayDuration(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia), 0;
  PL_SetMoviesError(noErr);
  Span s = MediaExtent(theMedia);
  return s.end - s.begin;
}

TimeValue64 GetMediaDecodeDuration(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia), 0;
  PL_SetMoviesError(noErr);
  return theMedia->duration;
}

// ---- Media handlers ----

MediaHandler GetMediaHandler(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia), nullptr;
  PL_SetMoviesError(noErr);
  return reinterpret_cast<MediaHandler>(theMedia);
}

ComponentResult MediaGetNextStepTime(MediaHandler mh, SInt16 flags, TimeValue mediaTimeIn, TimeValue *mediaTimeOut,
                                     Fixed rate) {
  if (mh == nullptr || mediaTimeOut == nullptr) return paramErr;
  GetMediaNextInterestingTime(reinterpret_cast<Media>(MediaOf(mh)), SInt16(flags | nextTimeStep), mediaTimeIn, rate,
                              mediaTimeOut, nullptr);
  return GetMoviesError();
}

ComponentResult MediaGetGraphicsMode(MediaHandler mh, SInt32 *mode, RGBColor *opColor) {
  if (mh == nullptr || mode == nullptr) return paramErr;
  const PL_MediaRecord *media = MediaOf(mh);
  // vmhd: version and flags, then the mode and three colour words; gmhd holds the same in its 'gmin'.
  const UInt8 *p = nullptr;
  const std::vector<UInt8> &h = media->mediaHeader;
  if (media->mediaHeaderType == 'vmhd' && h.size() >= 12) {
    p = h.data() + 4;
  } else if (media->mediaHeaderType == 'gmhd' && h.size() >= 8 + 12 && h[4] == 'g' && h[5] == 'm' && h[6] == 'i' &&
             h[7] == 'n') {
    p = h.data() + 12;
  }
  if (p == nullptr) return invalidHandler;
  *mode = SInt32((UInt16(p[0]) << 8) | p[1]);
  if (opColor != nullptr) {
    opColor->red = UInt16((p[2] << 8) | p[3]);
    opColor->green = UInt16((p[4] << 8) | p[5]);
    opColor->blue = UInt16((p[6] << 8) | p[7]);
  }
  return noErr;
}
