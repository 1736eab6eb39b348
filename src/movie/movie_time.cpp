// Time, frames and sample references.
#include "movie/movie_time.h"

#include "general/memory_lists.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_properties.h"
#include "movie/movie_queries.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr OSType kVisual = VisualMediaCharacteristic;
constexpr SInt16 kFirstStep = nextTimeStep | nextTimeEdgeOK;           // 0x4010
constexpr SInt16 kFirstSample = nextTimeMediaSample | nextTimeEdgeOK;  // 0x4001
constexpr SInt32 kReferenceBatch = 100;

void VisualSearch(Movie movie, SInt16 flags, TimeValue time, Fixed rate, TimeValue *found, TimeValue *duration) {
  GetMovieNextInterestingTime(movie, flags, 1, &kVisual, time, rate, found, duration);
}

// A walk over the visual frames of a movie from a time: each step gives a frame start and its shown
// duration. Ends at -1, and where a frame would not lie after the previous one.
struct FrameWalk {
  Movie movie;
  TimeValue time = -1;
  TimeValue duration = 0;

  bool First(SInt16 flags, TimeValue from) {
    VisualSearch(movie, flags, from, fixed1, &time, &duration);
    return time != -1;
  }
  bool Next() {
    TimeValue previous = time;
    VisualSearch(movie, nextTimeStep, previous, fixed1, &time, &duration);
    return time != -1 && time > previous;
  }
};

// The same on one track.
struct TrackFrameWalk {
  Track track;
  TimeValue time = -1;
  TimeValue duration = 0;

  bool First(SInt16 flags, TimeValue from) {
    GetTrackNextInterestingTime(track, flags, from, fixed1, &time, &duration);
    return time != -1;
  }
  bool Next() {
    TimeValue previous = time;
    GetTrackNextInterestingTime(track, nextTimeStep, previous, fixed1, &time, &duration);
    return time != -1 && time > previous;
  }
};

// Extent of the enabled tracks of a characteristic: the smallest offset and the longest duration.
TimeValue CharacteristicDuration(Movie movie, OSType characteristic, TimeValue *start, TimeValue *end) {
  bool any = false;
  TimeValue lo = 0, hi = 0;
  for (SInt32 i = 1;; ++i) {
    Track t = GetMovieIndTrackType(movie, i, characteristic, movieTrackCharacteristic | movieTrackEnabledOnly);
    if (t == nullptr) break;
    TimeValue offset = GetTrackOffset(t), duration = GetTrackDuration(t);
    lo = any ? std::min(lo, offset) : offset;
    hi = any ? std::max(hi, duration) : duration;
    any = true;
  }
  if (start) *start = lo;
  if (end) *end = hi;
  return hi - lo;
}

// Walks the media's sample references from time 0 in batches; visit(record) returns false to stop. A record
// that does not move time on ends the walk.
template <typename Visit>
OSStatus WalkSampleReferences(Media media, Visit visit) {
  std::vector<SampleReference64Record> refs(kReferenceBatch);
  TimeValue time = 0;
  for (;;) {
    TimeValue sampleTime = -1;
    SInt32 count = 0;
    OSStatus err = GetMediaSampleReferences64(media, time, &sampleTime, nullptr, nullptr, kReferenceBatch, &count,
                                              refs.data());
    if (err != noErr) return err;
    if (count <= 0) return noErr;
    SInt64 advance = 0;
    for (SInt32 i = 0; i < count; ++i) {
      if (!visit(refs[size_t(i)])) return noErr;
      advance += SInt64(refs[size_t(i)].durationPerSample) * refs[size_t(i)].numberOfSamples;
    }
    if (advance <= 0) return noErr;
    SInt64 next = SInt64(sampleTime) + advance;
    if (next > std::numeric_limits<TimeValue>::max()) return noErr;
    time = TimeValue(next);
  }
}

TimeValue ClampTime(SInt64 t) {
  return TimeValue(std::clamp<SInt64>(t, std::numeric_limits<TimeValue>::min(), std::numeric_limits<TimeValue>::max()));
}

// Media units in one movie time unit, as the edits are measured: at least 1.
TimeValue UnitShare(TimeScale mediaScale, TimeScale movieScale) {
  if (movieScale <= 0) return 1;
  return std::max<TimeValue>(1, TimeValue(double(mediaScale) / double(movieScale) + 0.1));
}

}  // namespace

// ---- Sample references ----

OSStatus QT_GetMediaSampleReference64(Media media, SInt64 *dataOffset, UInt32 *size, TimeValue mediaTime,
                                      TimeValue *sampleTime, TimeValue *durationPerSample,
                                      SampleDescriptionHandle sampleDesc, SInt32 *sampleDescIndex, SInt32 maxNumSamples,
                                      SInt32 *numSamples, SInt16 *sampleFlags) {
  SampleReference64Record record{};
  SInt32 records = 0;
  TimeValue time = -1;
  SInt32 descIndex = 0;
  OSStatus err =
      GetMediaSampleReferences64(media, mediaTime, &time, sampleDesc, &descIndex, 1, &records, &record);
  if (err != noErr || records == 0 || record.numberOfSamples == 0) {
    if (numSamples) *numSamples = 0;
    if (size) *size = 0;
    return err;
  }
  UInt32 n = record.numberOfSamples;
  if (maxNumSamples > 0) n = std::min<UInt32>(n, UInt32(maxNumSamples));
  if (sampleTime) *sampleTime = time;
  if (sampleDescIndex) *sampleDescIndex = descIndex;
  if (dataOffset) *dataOffset = record.dataOffset;
  if (size) *size = n * (record.dataSize / record.numberOfSamples);
  if (sampleFlags) *sampleFlags = record.sampleFlags;
  if (durationPerSample) *durationPerSample = record.durationPerSample;
  if (numSamples) *numSamples = SInt32(n);
  return noErr;
}

// ---- Stepping ----

void QT_GetMovieNextInterestingTime(Movie movie, SInt16 flags, SInt16 numMediaTypes, const OSType *mediaTypes,
                                    TimeValue time, Fixed rate, TimeValue *nextTime, TimeValue *duration) {
  TimeValue t = -1, after = -1;
  GetMovieNextInterestingTime(movie, flags, numMediaTypes, mediaTypes, time, rate, &t, nullptr);
  TimeValue d = 0;
  if (t != -1) {
    GetMovieNextInterestingTime(movie, SInt16(flags & ~nextTimeEdgeOK), numMediaTypes, mediaTypes, t, rate, &after,
                                nullptr);
    if (after != -1) {
      d = after - t;
    } else {
      TimeValue videoEnd = 0;
      QT_GetMovieVideoDuration(movie, nullptr, &videoEnd);
      d = videoEnd - t;
    }
  }
  if (nextTime) *nextTime = t;
  if (duration) *duration = d;
}

void QT_GetMovieVideoNextTime(Movie movie, TimeValue time, SInt16 extraFlags, TimeValue *nextTime,
                              TimeValue *duration) {
  TimeValue t = -1, after = -1, d = 0;
  VisualSearch(movie, SInt16(nextTimeStep | extraFlags), time, fixed1, &t, nullptr);
  if (t != -1) {
    VisualSearch(movie, nextTimeStep, t, fixed1, &after, nullptr);
    if (after != -1) {
      d = after - t;
    } else {
      TimeValue videoEnd = 0;
      QT_GetMovieVideoDuration(movie, nullptr, &videoEnd);
      d = videoEnd - t;
    }
  }
  if (nextTime) *nextTime = t;
  if (duration) *duration = d;
}

void QT_GetMovieVideoPrevTime(Movie movie, TimeValue videoEnd, TimeValue time, SInt16 extraFlags, TimeValue *prevTime,
                              TimeValue *duration) {
  TimeValue t = -1, after = -1, d = 0;
  VisualSearch(movie, SInt16(nextTimeStep | extraFlags), time, -fixed1, &t, nullptr);
  if (t != -1) {
    VisualSearch(movie, nextTimeStep, t, fixed1, &after, nullptr);
    if (after != -1) {
      d = after - t;
    } else {
      if (videoEnd == -1) QT_GetMovieVideoDuration(movie, nullptr, &videoEnd);
      d = videoEnd - t;
    }
  }
  if (prevTime) *prevTime = t;
  if (duration) *duration = d;
}

void QT_GetTrackNextTime(Track track, TimeValue time, SInt16 extraFlags, TimeValue *nextTime, TimeValue *duration) {
  TimeValue t = -1, after = -1, d = 0;
  GetTrackNextInterestingTime(track, SInt16(nextTimeStep | extraFlags), time, fixed1, &t, nullptr);
  if (t != -1) {
    GetTrackNextInterestingTime(track, nextTimeStep, t, fixed1, &after, nullptr);
    d = (after != -1 ? after : GetTrackDuration(track)) - t;
  }
  if (nextTime) *nextTime = t;
  if (duration) *duration = d;
}

void QT_GetTrackPrevTime(Track track, TimeValue time, SInt16 extraFlags, TimeValue *prevTime, TimeValue *duration) {
  TimeValue t = -1, after = -1, d = 0;
  GetTrackNextInterestingTime(track, SInt16(nextTimeStep | extraFlags), time, -fixed1, &t, nullptr);
  if (t != -1) {
    GetTrackNextInterestingTime(track, nextTimeStep, t, fixed1, &after, nullptr);
    d = (after != -1 ? after : GetTrackDuration(track)) - t;
  }
  if (prevTime) *prevTime = t;
  if (duration) *duration = d;
}

// ---- Frame numbers ----

SInt32 QT_MovieTimeToFrameNumber(Movie movie, TimeValue movieTime, TimeValue *frameStartTime,
                                 TimeValue *frameDuration) {
  TimeValue t = -1, d = 0;
  QT_GetMovieNextInterestingTime(movie, kFirstStep, 1, &kVisual, 0, fixed1, &t, &d);
  for (SInt32 n = 0; t != -1 && d >= 1; ++n) {
    if (SInt64(movieTime) < SInt64(t) + d) {
      if (frameStartTime) *frameStartTime = t;
      if (frameDuration) *frameDuration = d;
      return n;
    }
    TimeValue previous = t;
    QT_GetMovieNextInterestingTime(movie, nextTimeStep, 1, &kVisual, previous, fixed1, &t, &d);
    if (t != -1 && t <= previous) break;
  }
  if (frameStartTime) *frameStartTime = -1;
  if (frameDuration) *frameDuration = 0;
  return -1;
}

TimeValue QT_MovieFrameNumberToTime(Movie movie, SInt32 frameNumber) {
  if (frameNumber < 0) return -1;
  FrameWalk walk{movie};
  SInt32 n = 0;
  for (bool found = walk.First(kFirstSample, 0); found; found = walk.Next(), ++n)
    if (n == frameNumber) return walk.time;
  return n == frameNumber ? GetMovieDuration(movie) : -1;
}

TimeValue QT_TrackFrameNumberToTrackTime(Track track, SInt32 frameNumber) {
  if (frameNumber < 1) return -1;
  TrackFrameWalk walk{track};
  SInt32 n = 1;
  for (bool found = walk.First(kFirstSample, 0); found; found = walk.Next(), ++n)
    if (n == frameNumber) return walk.time;
  return n == frameNumber ? GetTrackDuration(track) : -1;
}

SInt32 QT_TrackTimeToTrackFrameNumber(Track track, TimeValue trackTime) {
  TrackFrameWalk walk{track};
  SInt32 n = 1;
  for (bool found = walk.First(kFirstStep, 0); found && walk.duration >= 1; found = walk.Next(), ++n)
    if (SInt64(trackTime) < SInt64(walk.time) + walk.duration) return n;
  return -1;
}

// ---- Time records and the current time ----

void QT_TimeValueToTimeRecord(Movie movie, TimeValue time, TimeRecord *timeRecord) {
  timeRecord->value = PL_SInt64ToWide(time);
  timeRecord->scale = GetMovieTimeScale(movie);
  timeRecord->base = GetMovieTimeBase(movie);
}

TimeValue QT_TimeRecordToTimeValue(TimeRecord timeRecord) {
  if (timeRecord.value.hi != 0) return -1;
  return TimeValue(timeRecord.value.lo);
}

TimeValue QT_GetMovieTimeValue(Movie movie) {
  TimeRecord record{};
  GetMovieTime(movie, &record);
  return QT_TimeRecordToTimeValue(record);
}

void QT_GetPlaybackMovieSelection(Movie movie, TimeValue *start, TimeValue *duration) {
  TimeValue s = 0, d = 0;
  GetMovieSelection(movie, &s, &d);
  if (d == 0) {
    s = 0;
    d = GetMovieDuration(movie);
  }
  if (start) *start = s;
  if (duration) *duration = d;
}

TimeScale QT_GetTimeBasePreferredTimeScale(TimeBase timeBase) {
  TimeRecord record{};
  GetTimeBaseStartTime(timeBase, 0, &record);
  return record.scale;
}

// ---- Durations and counts ----

TimeValue QT_GetMovieVideoDuration(Movie movie, TimeValue *videoStart, TimeValue *videoEnd) {
  return CharacteristicDuration(movie, VisualMediaCharacteristic, videoStart, videoEnd);
}

TimeValue QT_GetMovieSoundDuration(Movie movie, TimeValue *soundStart, TimeValue *soundEnd) {
  return CharacteristicDuration(movie, AudioMediaCharacteristic, soundStart, soundEnd);
}

TimeValue QT_GetLastMovieDuration(Movie movie) {
  TimeValue end = 0, t = -1, d = 0;
  QT_GetMovieVideoDuration(movie, nullptr, &end);
  VisualSearch(movie, nextTimeStep, end, -fixed1, &t, &d);
  return t == -1 ? 0 : d;
}

float QT_GetMovieDurationInSec(Movie movie) {
  TimeScale scale = GetMovieTimeScale(movie);
  if (scale <= 0) return 0.0f;
  return float(GetMovieDuration(movie)) / float(scale);
}

OSStatus QT_GetNumVisualMovieSamples(Movie movie, TimeValue selectionStart, TimeValue selectionDuration,
                                     SInt32 *count) {
  ClearMoviesStickyError();
  SInt32 n = 0;
  SInt64 end = SInt64(selectionStart) + selectionDuration;
  FrameWalk walk{movie};
  for (bool found = walk.First(kFirstStep, selectionStart); found && walk.time < end; found = walk.Next()) ++n;
  if (count) *count = n;
  return GetMoviesStickyError();
}

OSStatus QT_CountMovieFrames(Movie movie, SInt32 *count, QT_IndTimeIntvl **gaps) {
  SInt32 n = 0;
  FrameWalk walk{movie};
  bool found = walk.First(kFirstSample, 0);
  OSStatus err = GetMoviesError();
  UInt8 index = 0;
  while (found && err == noErr) {
    ++n;
    SInt64 frameEnd = SInt64(walk.time) + walk.duration;
    found = walk.Next();
    if (found && gaps != nullptr && walk.time > frameEnd) {
      QT_IndTimeIntvl *gap = nullptr;
      OSStatus allocErr = LL_AddNewPtr(sizeof(QT_IndTimeIntvl), nullptr, gaps, &gap);
      if (allocErr != noErr) {
        err = allocErr;
        break;
      }
      gap->index = ++index;
      gap->begin = TimeValue(frameEnd);
      gap->duration = TimeValue(walk.time - frameEnd);
    }
  }
  if (count) *count = n;
  return err;
}

SInt32 QT_CountFramesInTrack(Track track) {
  SInt32 n = 0;
  TrackFrameWalk walk{track};
  for (bool found = walk.First(kFirstStep, 0); found; found = walk.Next()) ++n;
  return n;
}

SInt32 QT_CountFramesInTrackSelection(Track track, TimeValue start, TimeValue end) {
  SInt32 n = 0;
  TrackFrameWalk walk{track};
  for (bool found = walk.First(kFirstStep, start); found && walk.time < end; found = walk.Next()) ++n;
  return n;
}

SInt32 QT_CountNonEmptyTrackEdits(Track track, TimeValue selectionStart, TimeValue selectionEnd) {
  SInt32 n = 0;
  TimeValue t = -1, d = 0;
  GetTrackNextInterestingTime(track, nextTimeTrackEdit | nextTimeEdgeOK, selectionStart, fixed1, &t, &d);
  while (t != -1 && t < selectionEnd && d >= 1) {
    if (TrackTimeToMediaTime(t, track) != -1) ++n;
    TimeValue previous = t;
    GetTrackNextInterestingTime(track, nextTimeTrackEdit, previous, fixed1, &t, &d);
    if (t != -1 && t <= previous) break;
  }
  return n;
}

float QT_NumberSamplesPerSecondInTrack(Track track) {
  SInt32 frames = QT_CountFramesInTrack(track);
  TimeScale scale = GetMovieTimeScale(GetTrackMovie(track));
  TimeValue duration = GetTrackDuration(track);
  if (frames == 0 || duration <= 0 || scale <= 0) return 0.0f;
  return float(frames) / (float(duration) / float(scale));
}

// ---- MPEG frame rates ----

OSStatus QT_GetMpegInfo(Movie movie, Boolean *isPAL, SInt32 *numFrames, TimeValue *frameDuration,
                        double *frameDurationD) {
  static const double kRates[6] = {24000.0 / 1001.0, 24.0, 25.0, 29.97, 50.0, 59.94};
  if (movie == nullptr) return invalidMovie;
  if (!GetMovieActive(movie)) SetMovieActive(movie, true);
  if (GetMovieTime(movie, nullptr) != 0) SetMovieTimeValue(movie, 0);
  Track track = GetMovieIndTrackType(movie, 1, VisualMediaCharacteristic, movieTrackCharacteristic);
  if (track == nullptr) return kQT_NoVideoTrackErr;
  MediaHandler handler = GetMediaHandler(GetTrackMedia(track));
  if (handler == nullptr) return GetMoviesError();
  TimeValue step = -1;
  OSStatus err = MediaGetNextStepTime(handler, nextTimeStep, 0, &step, fixed1);
  if (err != noErr) return err;
  TimeScale scale = GetMovieTimeScale(movie);
  if (step <= 0 || scale <= 0) return kQT_UnknownTimeScaleErr;
  double seconds = double(step) / double(scale);
  int best = 0;
  for (int i = 1; i < 6; ++i)
    if (std::fabs(seconds - 1.0 / kRates[i]) < std::fabs(seconds - 1.0 / kRates[best])) best = i;
  double rate = kRates[best];
  if (isPAL) *isPAL = best == 2 || best == 4;
  // The pictures' own duration: a sound track that runs on (an MPEG file's tracks are kept apart here, where
  // QuickTime kept them in one) would count frames that do not exist.
  if (numFrames) *numFrames = SInt32(rate * double(GetTrackDuration(track)) / double(scale));
  if (frameDuration) *frameDuration = TimeValue((double(scale) + 0.1) / rate);
  if (frameDurationD) {
    double d = double(scale) / rate;
    if (scale == 90000) {
      if (best == 5) d = 1501.5;
      if (best == 0) d = 3753.75;
      if (best == 3) d = 3003.0;
    }
    *frameDurationD = d;
  }
  return noErr;
}

OSStatus QT_MakeMpegMovieDurationList(Movie movie, TimeValue **durations, SInt32 *count) {
  if (durations == nullptr || count == nullptr) return paramErr;
  *durations = nullptr;
  *count = 0;
  SInt32 estimate = 0;
  OSStatus err = QT_GetMpegInfo(movie, nullptr, &estimate, nullptr, nullptr);
  if (err != noErr || estimate <= 0) return err;
  TimeValue *list = nullptr;
  err = GL_NewPtrClear(size_t(estimate) * sizeof(TimeValue), &list);
  if (err != noErr) return err;
  TimeValue t = -1, d = 0;
  QT_GetMovieNextInterestingTime(movie, kFirstStep, 1, &kVisual, 0, fixed1, &t, &d);
  SInt32 n = 0;
  while (t != -1 && d > 0 && n < estimate) {
    list[n++] = d;
    TimeValue previous = t;
    QT_GetMovieNextInterestingTime(movie, nextTimeStep, 1, &kVisual, previous, fixed1, &t, &d);
    if (t != -1 && t <= previous) break;
  }
  *durations = list;
  *count = n;
  return noErr;
}

// ---- Track and media time ----

OSStatus QT_PrepareMpegMovieForStepping(Movie movie, Boolean *drawingComplete, GWorldPtr *offscreen, Ptr *frameBuffer) {
  if (movie == nullptr || drawingComplete == nullptr || offscreen == nullptr || frameBuffer == nullptr) return paramErr;
  *offscreen = nullptr;
  *frameBuffer = nullptr;
  if (QT_GetFirstEnabledVideoTrack(movie) == nullptr) return kQT_NoVideoTrackErr;
  Rect box{};
  GetMovieBox(movie, &box);
  if (box.right <= box.left || box.bottom <= box.top) return paramErr;
  OffsetRect(&box, SInt16(-box.left), SInt16(-box.top));
  GWorldPtr world = nullptr;
  OSStatus err = QTNewGWorld(&world, k2vuyPixelFormat, &box, nullptr, nullptr, 0);
  if (err != noErr) return err;
  PixMapHandle pixels = GetGWorldPixMap(world);
  LockPixels(pixels);
  SetMovieBox(movie, &box);
  SetMovieGWorld(movie, world, nullptr);
  err = GetMoviesError();
  if (err != noErr) {
    DisposeGWorld(world);
    return err;
  }
  SetMoviePlayHints(movie, hintsHighQuality, hintsHighQuality);
  SetMovieRate(movie, 0);
  SetMovieActive(movie, true);
  SetMovieTimeValue(movie, 0);
  *drawingComplete = false;
  SetMovieDrawingCompleteProc(movie, movieDrawingCallAlways, QT_MinimalDrawingCompleteProc, long(drawingComplete));
  *offscreen = world;
  *frameBuffer = GetPixBaseAddr(pixels);
  return noErr;
}

TimeValue QT_MediaTimeToTrackTime(Track track, TimeValue mediaTime, SInt32 occurrence, SInt32 *count) {
  Media media = GetTrackMedia(track);
  TimeScale mediaScale = GetMediaTimeScale(media), movieScale = GetMovieTimeScale(GetTrackMovie(track));
  SInt32 seen = 0;
  TimeValue result = -1;
  TimeValue t = -1, d = 0;
  GetTrackNextInterestingTime(track, nextTimeTrackEdit | nextTimeEdgeOK, 0, fixed1, &t, &d);
  while (t != -1 && d >= 1 && mediaScale > 0 && movieScale > 0) {
    TimeValue editMedia = TrackTimeToMediaTime(t, track);
    Fixed rate = GetTrackEditRate(track, t);
    if (editMedia != -1 && rate > 0 && mediaTime >= editMedia) {
      // The first movie time of the edit whose media time reaches mediaTime, as TrackTimeToMediaTime rounds.
      __int128 num = (__int128)(mediaTime - editMedia) * movieScale * 65536;
      __int128 den = (__int128)mediaScale * rate;
      SInt64 offset = SInt64((num + den - 1) / den);
      if (offset < d && TrackTimeToMediaTime(TimeValue(t + offset), track) <= mediaTime) {
        if (++seen == occurrence) result = TimeValue(t + offset);
      }
    }
    TimeValue previous = t;
    GetTrackNextInterestingTime(track, nextTimeTrackEdit, previous, fixed1, &t, &d);
    if (t != -1 && t <= previous) break;
  }
  if (count) *count = seen;
  return result;
}

TimeValue QT_GetTrackEndMediaTime(Track track) {
  TimeValue duration = GetTrackDuration(track);
  if (duration <= 0) return -1;
  TimeValue m = TrackTimeToMediaTime(duration - 1, track);
  if (m == -1) return -1;
  Media media = GetTrackMedia(track);
  TimeScale mediaScale = GetMediaTimeScale(media), movieScale = GetMovieTimeScale(GetTrackMovie(track));
  SInt64 end = mediaScale < movieScale || movieScale <= 0 ? SInt64(m) + 1 : SInt64(m) + mediaScale / movieScale;
  return ClampTime(std::min<SInt64>(end, GetMediaDuration(media)));
}

OSStatus QT_TrackEditToMediaInterval(Track track, TimeValue editStart, TimeValue editDuration, TimeValue *intervalStart,
                                     TimeValue *intervalDuration) {
  if (intervalStart == nullptr || intervalDuration == nullptr) return paramErr;
  TimeValue start = TrackTimeToMediaTime(editStart, track);
  OSStatus err = GetMoviesError();
  *intervalStart = -1;
  *intervalDuration = 0;
  if (err != noErr || start == -1) return err;
  TimeValue share =
      UnitShare(GetMediaTimeScale(GetTrackMedia(track)), GetMovieTimeScale(GetTrackMovie(track)));
  if (editDuration <= 1) {
    *intervalStart = start;
    *intervalDuration = share;
    return noErr;
  }
  TimeValue last = TrackTimeToMediaTime(editStart + editDuration - 1, track);
  if (last == -1) return GetMoviesError();
  if (last >= start) {
    *intervalStart = start;
    *intervalDuration = last + share - start;
  } else {
    // Played backwards: the first unit shows the latest media.
    *intervalStart = last;
    *intervalDuration = start + share - last;
  }
  return noErr;
}

// ---- Durations of frames and samples ----

OSStatus QT_MovieHasOddDurations(Movie movie, Boolean *hasOddDurations) {
  if (hasOddDurations == nullptr) return paramErr;
  *hasOddDurations = false;
  FrameWalk walk{movie};
  bool found = walk.First(kFirstSample, 0);
  OSStatus err = GetMoviesError();
  for (; found; found = walk.Next()) {
    if (walk.duration % 2 != 0) {
      *hasOddDurations = true;
      break;
    }
  }
  return err;
}

OSStatus QT_MediaHasOddDurations(Media media, Boolean *hasOddDurations) {
  if (hasOddDurations == nullptr) return paramErr;
  *hasOddDurations = false;
  return WalkSampleReferences(media, [hasOddDurations](const SampleReference64Record &r) {
    if (r.durationPerSample % 2 != 0) *hasOddDurations = true;
    return !*hasOddDurations;
  });
}

OSStatus QT_AllFrameDurationsEqual(Movie movie, TimeValue *duration, float *stdDev) {
  if (duration == nullptr) return paramErr;
  std::vector<SInt64> durations;
  FrameWalk walk{movie};
  bool found = walk.First(kFirstSample, 0);
  OSStatus err = GetMoviesError();
  while (found) {
    SInt64 start = walk.time, d = walk.duration;
    found = walk.Next();
    // A gap of one unit before the next frame belongs to this frame.
    if (found && walk.time - (start + d) == 1) ++d;
    durations.push_back(d);
  }
  bool equal = !durations.empty() &&
               std::all_of(durations.begin(), durations.end(), [&](SInt64 d) { return d == durations.front(); });
  *duration = equal ? ClampTime(durations.front()) : 0;
  if (stdDev) {
    double mean = 0.0, sum = 0.0;
    for (SInt64 d : durations) mean += double(d);
    if (!durations.empty()) mean /= double(durations.size());
    for (SInt64 d : durations) sum += (double(d) - mean) * (double(d) - mean);
    *stdDev = durations.empty() ? 0.0f : float(std::sqrt(sum / double(durations.size())));
  }
  return err;
}

OSStatus QT_AllMediaDurationsEqual(Media media, TimeValue *duration) {
  if (duration == nullptr) return paramErr;
  bool first = true, equal = true;
  TimeValue common = 0;
  OSStatus err = WalkSampleReferences(media, [&](const SampleReference64Record &r) {
    if (first) {
      common = r.durationPerSample;
      first = false;
    } else if (r.durationPerSample != common) {
      equal = false;
    }
    return equal;
  });
  *duration = (!first && equal) ? common : 0;
  return err;
}

OSStatus QT_GetFirstMediaDuration(Media media, Boolean, TimeValue *duration) {
  if (duration == nullptr) return paramErr;
  *duration = 0;
  return QT_GetMediaSampleReference64(media, nullptr, nullptr, 0, nullptr, duration, nullptr, nullptr, 1, nullptr,
                                      nullptr);
}

OSStatus QT_MediaPartSizeToBeginTime(Media media, SInt64 partSize, TimeValue endTime, TimeValue *beginTime,
                                     SInt64 *actualSize) {
  if (beginTime == nullptr || actualSize == nullptr) return paramErr;
  if (endTime == 0x7FFFFFFF) endTime = GetMediaDuration(media);
  SInt64 total = 0;
  OSStatus err = GetMediaDataSize64(media, 0, endTime, &total);
  if (err != noErr) return err;
  if (total <= partSize) {
    *beginTime = 0;
    *actualSize = total;
    return noErr;
  }
  // Data up to endTime shrinks as the begin time grows: lo has too much, hi not more than the part size.
  TimeValue lo = 0, hi = endTime;
  SInt64 loSize = total, hiSize = 0;
  for (;;) {
    TimeValue mid = TimeValue(lo + (SInt64(hi) - lo) / 2);
    if (mid == lo || mid == hi) break;
    SInt64 size = 0;
    err = GetMediaDataSize64(media, mid, endTime - mid, &size);
    if (err != noErr) return err;
    if (size > partSize) {
      lo = mid;
      loSize = size;
    } else {
      hi = mid;
      hiSize = size;
    }
  }
  bool takeLo = loSize - partSize < partSize - hiSize;
  *beginTime = takeLo ? lo : hi;
  *actualSize = takeLo ? loSize : hiSize;
  return noErr;
}

OSStatus QT_GetCurrentMediaSampleDescription(Track track, SampleDescriptionHandle *desc, SInt32 *descIndex,
                                             TimeValue *mediaTime) {
  if (desc == nullptr) return paramErr;
  *desc = nullptr;
  TimeValue m = TrackTimeToMediaTime(GetMovieTime(GetTrackMovie(track), nullptr), track);
  if (mediaTime) *mediaTime = m;
  if (m == -1) return GetMoviesError();
  auto handle = reinterpret_cast<SampleDescriptionHandle>(NewHandle(0));
  if (handle == nullptr) return MemError();
  SInt32 index = 0, n = 0;
  OSStatus err = QT_GetMediaSampleReference64(GetTrackMedia(track), nullptr, nullptr, m, nullptr, nullptr, handle,
                                              &index, 1, &n, nullptr);
  if (err == noErr && n == 0) err = invalidTime;
  if (err != noErr) {
    DisposeHandle(reinterpret_cast<Handle>(handle));
    return err;
  }
  *desc = handle;
  if (descIndex) *descIndex = index;
  return noErr;
}

OSStatus QT_GetSampleInfo(Media media, SInt32 *sampleNum, TimeValue time, TimeValue *sampleTime, TimeValue *duration,
                          SampleDescriptionHandle desc, SInt32 *descIndex, SInt16 *dataRefIndex, SInt32 *size,
                          SInt64 *offset) {
  auto fail = [&](OSStatus err) {
    if (sampleNum) *sampleNum = -1;
    if (sampleTime) *sampleTime = -1;
    if (desc) SetHandleSize(reinterpret_cast<Handle>(desc), 0);
    if (descIndex) *descIndex = 0;
    if (dataRefIndex) *dataRefIndex = 0;
    if (size) *size = -1;
    if (offset) *offset = -1;
    return err;
  };
  if (sampleNum == nullptr) return paramErr;
  SInt32 count = GetMediaSampleCount(media);
  OSStatus err = GetMoviesError();
  if (err != noErr) return fail(err);
  if (*sampleNum > 0 && *sampleNum <= count) {
    TimeValue d = 0;
    SampleNumToMediaTime(media, *sampleNum, &time, &d);
    if ((err = GetMoviesError()) != noErr) return fail(err);
  } else {
    if (time < 0 || time > GetMediaDuration(media)) return fail(paramErr);
    SInt32 num = -1;
    MediaTimeToSampleNum(media, time, &num, nullptr, nullptr);
    if ((err = GetMoviesError()) != noErr) return fail(err);
    *sampleNum = num;
  }
  Handle own = nullptr;
  auto descH = desc;
  if (descH == nullptr) {
    own = NewHandle(0);
    if (own == nullptr) return fail(MemError());
    descH = reinterpret_cast<SampleDescriptionHandle>(own);
  }
  SInt64 dataOffset = -1;
  UInt32 bytes = 0;
  TimeValue t = -1, d = 0;
  SInt32 index = 0, n = 0;
  err = QT_GetMediaSampleReference64(media, &dataOffset, &bytes, time, &t, &d, descH, &index, 1, &n, nullptr);
  if (err == noErr && n == 0) err = invalidTime;
  SInt16 refIndex = 0;
  if (err == noErr && GetHandleSize(reinterpret_cast<Handle>(descH)) >= Size(sizeof(SampleDescription)))
    refIndex = (**descH).dataRefIndex;
  DisposeHandle(own);
  if (err != noErr) return fail(err);
  if (sampleTime) *sampleTime = t;
  if (duration) *duration = d;
  if (descIndex) *descIndex = index;
  if (dataRefIndex) *dataRefIndex = refIndex;
  if (size) *size = SInt32(std::min<UInt32>(bytes, 0x7FFFFFFF));
  if (offset) *offset = dataOffset;
  return noErr;
}
