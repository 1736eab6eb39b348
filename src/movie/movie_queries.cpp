// Movie, track and media queries.
#include "movie/movie_queries.h"

#include "general/memory_lists.h"
#include "general/statistics.h"
#include "movie/movie_time.h"
#include "movie/track_copying.h"
#include "platform/core/gestalt.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/quicktime_gestalt.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr SInt32 kByType = movieTrackMediaType;
constexpr SInt32 kByCharacteristic = movieTrackCharacteristic;
constexpr SInt32 kEnabled = movieTrackEnabledOnly;
constexpr SInt32 kReferenceBatch = 100;
// What some media answer when asked for sample references they cannot give; such media count as not
// temporally compressed.
constexpr OSStatus kSampleReferencesUnavailableErr = -9461;
constexpr float kDvGamma = 2.2222223f;

// Owns a handle for the length of a scope.
struct HandleHolder {
  Handle h = nullptr;
  HandleHolder() = default;
  HandleHolder(const HandleHolder &) = delete;
  HandleHolder &operator=(const HandleHolder &) = delete;
  ~HandleHolder() { DisposeHandle(h); }
  SampleDescriptionHandle Sample() const { return reinterpret_cast<SampleDescriptionHandle>(h); }
  ImageDescriptionHandle Image() const { return reinterpret_cast<ImageDescriptionHandle>(h); }
};

Track Find(Movie movie, SInt32 index, OSType type, SInt32 flags) { return GetMovieIndTrackType(movie, index, type, flags); }

SInt32 Count(Movie movie, OSType type, SInt32 flags) {
  SInt32 n = 0;
  while (Find(movie, n + 1, type, flags) != nullptr) ++n;
  return n;
}

OSType MediaTypeOf(Track track) {
  OSType type = 0;
  QT_GetTrackType(track, &type);
  return type;
}

// The formats of every description of a track's media, in index order.
OSStatus DescriptionFormats(Track track, std::vector<OSType> *formats) {
  formats->clear();
  Media media = GetTrackMedia(track);
  SInt32 count = GetMediaSampleDescriptionCount(media);
  OSStatus err = GetMoviesError();
  if (err != noErr) return err;
  HandleHolder desc;
  desc.h = NewHandle(0);
  if (desc.h == nullptr) return MemError();
  for (SInt32 i = 1; i <= count; ++i) {
    GetMediaSampleDescription(media, i, desc.Sample());
    if ((err = GetMoviesError()) != noErr) return err;
    formats->push_back((**desc.Sample()).dataFormat);
  }
  return noErr;
}

// Reads the media's sample references from time 0 in batches of 100 records; visit(record) returns false
// to stop. A record that does not move time on ends the walk.
template <typename Visit>
OSStatus WalkSampleReferences(Media media, Visit visit) {
  Ptr buffer = NewPtr(Size(kReferenceBatch * sizeof(SampleReference64Record)));
  if (buffer == nullptr) return MemError();
  auto *refs = reinterpret_cast<SampleReference64Record *>(buffer);
  OSStatus err = noErr;
  TimeValue time = 0;
  for (bool going = true; going;) {
    TimeValue sampleTime = -1;
    SInt32 count = 0;
    err = GetMediaSampleReferences64(media, time, &sampleTime, nullptr, nullptr, kReferenceBatch, &count, refs);
    if (err != noErr || count <= 0) break;
    SInt64 advance = 0;
    for (SInt32 i = 0; i < count && going; ++i) {
      going = visit(refs[i]);
      advance += SInt64(refs[i].durationPerSample) * refs[i].numberOfSamples;
    }
    SInt64 next = SInt64(sampleTime) + advance;
    if (advance <= 0 || next > std::numeric_limits<TimeValue>::max()) break;
    time = TimeValue(next);
  }
  DisposePtr(buffer);
  return err;
}

// The active track among those of a type or characteristic: showing media at the time, lowest layer, then
// lowest index.
Track ActiveTrack(Movie movie, TimeValue time, OSType type, SInt32 flags) {
  Track best = nullptr;
  SInt16 bestLayer = 0;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, type, flags | kEnabled);
    if (t == nullptr) break;
    if (TrackTimeToMediaTime(time, t) == -1) continue;
    SInt16 layer = GetTrackLayer(t);
    if (best == nullptr || layer < bestLayer) {
      best = t;
      bestLayer = layer;
    }
  }
  return best;
}

// The stretches [start, end) of a track's edits that show media.
std::vector<std::pair<TimeValue, TimeValue>> MediaEdits(Track track) {
  std::vector<std::pair<TimeValue, TimeValue>> edits;
  TimeValue t = -1, d = 0;
  GetTrackNextInterestingTime(track, nextTimeMediaEdit | nextTimeEdgeOK, 0, fixed1, &t, &d);
  while (t != -1 && d > 0) {
    edits.emplace_back(t, t + d);
    TimeValue previous = t;
    GetTrackNextInterestingTime(track, nextTimeMediaEdit, previous, fixed1, &t, &d);
    if (t != -1 && t <= previous) break;
  }
  return edits;
}

// The list of distinct types as a new block.
OSStatus TypesToBlock(const std::vector<OSType> &found, OSType **types, SInt32 *count) {
  *types = nullptr;
  *count = 0;
  if (found.empty()) return noErr;
  OSStatus err = GL_NewPtr(found.size() * sizeof(OSType), types);
  if (err != noErr) return err;
  std::copy(found.begin(), found.end(), *types);
  *count = SInt32(found.size());
  return noErr;
}

}  // namespace

// ---- Track finders ----

Track QT_GetFirstVideoTrack(Movie movie) { return Find(movie, 1, VideoMediaType, kByType); }
Track QT_GetFirstVisualTrack(Movie movie) { return Find(movie, 1, VisualMediaCharacteristic, kByCharacteristic); }
Track QT_GetFirstEnabledVisualTrack(Movie movie) {
  return Find(movie, 1, VisualMediaCharacteristic, kByCharacteristic | kEnabled);
}

Track QT_GetFirstEnabledImageTrack(Movie movie) {
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, VisualMediaCharacteristic, kByCharacteristic | kEnabled);
    if (t == nullptr) return nullptr;
    OSType type = MediaTypeOf(t);
    if (type != TextMediaType && type != TimeCodeMediaType) return t;
  }
}

Track QT_GetFirstEnabledVideoTrack(Movie movie) { return Find(movie, 1, VideoMediaType, kByType | kEnabled); }

Track QT_GetLastEnabledVideoTrack(Movie movie) {
  SInt32 n = Count(movie, VideoMediaType, kByType | kEnabled);
  return n > 0 ? Find(movie, n, VideoMediaType, kByType | kEnabled) : nullptr;
}

Track QT_GetFirstSoundTrack(Movie movie) { return Find(movie, 1, SoundMediaType, kByType); }
Track QT_GetFirstEnabledSoundTrack(Movie movie) { return Find(movie, 1, SoundMediaType, kByType | kEnabled); }
Track QT_GetEnabledSoundTrackByIndex(Movie movie, SInt32 index) {
  return Find(movie, index, SoundMediaType, kByType | kEnabled);
}

Track QT_GetTrackByID(Movie movie, SInt32 trackID) {
  SInt32 count = GetMovieTrackCount(movie);
  for (SInt32 i = 1; i <= count; ++i) {
    Track t = GetMovieIndTrack(movie, i);
    if (t != nullptr && GetTrackID(t) == trackID) return t;
  }
  return nullptr;
}

Track QT_GetActiveVideoTrack(Movie movie, TimeValue time) { return ActiveTrack(movie, time, VideoMediaType, kByType); }
Track QT_GetActiveVisualTrack(Movie movie, TimeValue time) {
  return ActiveTrack(movie, time, VisualMediaCharacteristic, kByCharacteristic);
}

// ---- Track counts ----

SInt32 QT_CountTracks(Movie movie) {
  SInt32 n = 0;
  while (GetMovieIndTrack(movie, n + 1) != nullptr) ++n;
  return n;
}

SInt32 QT_CountVisualTracks(Movie movie) { return Count(movie, VisualMediaCharacteristic, kByCharacteristic); }
SInt32 QT_CountEnabledVisualTracks(Movie movie) {
  return Count(movie, VisualMediaCharacteristic, kByCharacteristic | kEnabled);
}
SInt32 QT_CountVideoTracks(Movie movie) { return Count(movie, VideoMediaType, kByType); }
SInt32 QT_CountEnabledVideoTracks(Movie movie) { return Count(movie, VideoMediaType, kByType | kEnabled); }
SInt32 QT_CountAuralTracks(Movie movie) { return Count(movie, AudioMediaCharacteristic, kByCharacteristic); }
SInt32 QT_CountEnabledAuralTracks(Movie movie) {
  return Count(movie, AudioMediaCharacteristic, kByCharacteristic | kEnabled);
}
SInt32 QT_CountSoundTracks(Movie movie) { return Count(movie, SoundMediaType, kByType); }
SInt32 QT_CountEnabledSoundTracks(Movie movie) { return Count(movie, SoundMediaType, kByType | kEnabled); }
SInt32 QT_CountTextTracks(Movie movie) { return Count(movie, TextMediaType, kByType); }
SInt32 QT_CountEnabledTextTracks(Movie movie) { return Count(movie, TextMediaType, kByType | kEnabled); }
SInt32 QT_CountEnabledTimeCodeTracks(Movie movie) { return Count(movie, TimeCodeMediaType, kByType | kEnabled); }

SInt32 QT_CountEnabledVideTracksTrackRefs(Movie movie) {
  SInt32 n = 0;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, VideoMediaType, kByType | kEnabled);
    if (t == nullptr) break;
    for (OSType type = GetNextTrackReferenceType(t, 0); type != 0; type = GetNextTrackReferenceType(t, type))
      n += GetTrackReferenceCount(t, type);
  }
  return n;
}

// ---- The toolbox ----

SInt32 QT_GetQTVersion() {
  PL_RegisterQuickTimeGestalt();
  SInt32 response = 0;
  if (Gestalt(gestaltQuickTimeVersion, &response) != noErr) return 0;
  return SInt32((UInt32(response) >> 16) & 0xFFFF);
}

Boolean QT_IsQuickTimeInstalled() {
  PL_RegisterQuickTimeGestalt();
  SInt32 response = 0;
  return Gestalt(gestaltQuickTimeVersion, &response) == noErr;
}

Boolean QT_IsQuickTimeCFMInstalled() {
  SInt32 response = 0;
  return Gestalt('qtrs', &response) == noErr && (response & 1) != 0;
}

OSErr QT_GetMoviesStickyError() {
  OSErr err = GetMoviesStickyError();
  ClearMoviesStickyError();
  return err;
}

// ---- Tracks ----

OSStatus QT_GetTrackType(Track track, OSType *type) {
  if (type == nullptr) return paramErr;
  *type = 0;
  Media media = GetTrackMedia(track);
  if (media == nullptr && GetMoviesError() != noErr) return GetMoviesError();
  GetMediaHandlerDescription(media, type, nullptr, nullptr);
  return GetMoviesError();
}

OSStatus QT_IsImageTrack(Track track, Boolean *isImageTrack) {
  if (isImageTrack == nullptr) return paramErr;
  OSType characteristic = 0, type = 0;
  QT_GetMediaCharacteristic(track, &characteristic);
  OSStatus err = QT_GetTrackType(track, &type);
  *isImageTrack = characteristic == VisualMediaCharacteristic && type != TextMediaType && type != TimeCodeMediaType;
  return err;
}

OSStatus QT_GetMediaCharacteristic(Track track, OSType *characteristic) {
  static const OSType kOrder[] = {'eyes', 'ears', 'vsnd', 'actn', 'nonl', 'step', 'noti', 'skin', 'keyf', 'dtdd', 'apmd'};
  if (characteristic == nullptr) return paramErr;
  *characteristic = 0;
  Movie movie = GetTrackMovie(track);
  if (movie == nullptr) return noErr;
  for (OSType c : kOrder) {
    for (SInt32 i = 1;; ++i) {
      Track t = Find(movie, i, c, kByCharacteristic);
      if (t == nullptr) break;
      if (t == track) {
        *characteristic = c;
        return noErr;
      }
    }
  }
  return noErr;
}

OSStatus QT_GetTrackName(Track track, Str255 name) {
  if (name == nullptr) return paramErr;
  name[0] = 0;
  UserData ud = GetTrackUserData(track);
  if (ud == nullptr) return GetMoviesError();
  HandleHolder item;
  item.h = NewHandle(0);
  if (item.h == nullptr) return MemError();
  OSErr err = GetUserData(ud, item.h, 'name', 1);
  if (err == userDataItemNotFound) return noErr;
  if (err != noErr) return err;
  size_t n = std::min<size_t>(size_t(GetHandleSize(item.h)), 255);
  name[0] = UInt8(n);
  if (n > 0) std::memcpy(name + 1, *item.h, n);
  return noErr;
}

SInt32 QT_GetTrackIndex(Track track) {
  Movie movie = GetTrackMovie(track);
  SInt32 count = GetMovieTrackCount(movie);
  for (SInt32 i = 1; i <= count; ++i)
    if (GetMovieIndTrack(movie, i) == track) return i;
  return 0;
}

void QT_GetTrackSize(Track track, SInt32 *width, SInt32 *height) {
  Fixed w = 0, h = 0;
  GetTrackDimensions(track, &w, &h);
  if (width) *width = Fix2Long(w);
  if (height) *height = Fix2Long(h);
}

void QT_GetTrackBox(Track track, Rect *box) {
  SInt32 width = 0, height = 0;
  QT_GetTrackSize(track, &width, &height);
  SetRect(box, 0, 0, SInt16(std::clamp<SInt32>(width, 0, 32767)), SInt16(std::clamp<SInt32>(height, 0, 32767)));
  MatrixRecord matrix;
  GetTrackMatrix(track, &matrix);
  if (GetMoviesError() == noErr) TransformRect(&matrix, box, nullptr);
}

void QT_GetMovieFrameSize(Movie movie, SInt32 *width, SInt32 *height) {
  Rect box{0, 0, 0, 0};
  GetMovieBox(movie, &box);
  if (width) *width = SInt32(box.right) - box.left;
  if (height) *height = SInt32(box.bottom) - box.top;
}

OSStatus QT_GetSoundTrackSampleRate(Track track, Fixed *sampleRate) {
  if (sampleRate == nullptr) return paramErr;
  HandleHolder desc;
  desc.h = NewHandle(0);
  if (desc.h == nullptr) return MemError();
  GetMediaSampleDescription(GetTrackMedia(track), 1, desc.Sample());
  OSStatus err = GetMoviesError();
  if (err != noErr) return err;
  if (GetHandleSize(desc.h) < Size(sizeof(SoundDescription))) return invalidSampleDescription;
  *sampleRate = Fixed((**reinterpret_cast<SoundDescriptionHandle>(desc.h)).sampleRate);
  return noErr;
}

Boolean QT_IsAnySoundTrackDV(Movie movie) {
  HandleHolder desc;
  desc.h = NewHandle(0);
  if (desc.h == nullptr) return false;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, AudioMediaCharacteristic, kByCharacteristic | kEnabled);
    if (t == nullptr) return false;
    GetMediaSampleDescription(GetTrackMedia(t), 1, desc.Sample());
    if (GetMoviesError() == noErr && (**desc.Sample()).dataFormat == 'vdva') return true;
  }
}

// ---- Movies ----

OSStatus QT_MovieHasVideo(Movie movie, Boolean *hasVideo) {
  if (hasVideo == nullptr) return paramErr;
  const OSType visual = VisualMediaCharacteristic;
  TimeValue t = -1;
  GetMovieNextInterestingTime(movie, nextTimeStep | nextTimeEdgeOK, 1, &visual, 0, fixed1, &t, nullptr);
  *hasVideo = t != -1;
  return GetMoviesError();
}

OSStatus QT_MovieHasOneSimpleVideoTrack(Movie movie, Boolean *hasOneSimpleVideoTrack) {
  if (hasOneSimpleVideoTrack == nullptr) return paramErr;
  *hasOneSimpleVideoTrack = false;
  if (QT_CountEnabledVideoTracks(movie) != 1) return noErr;
  if (QT_CountEnabledVisualTracks(movie) - QT_CountEnabledTextTracks(movie) != 1) return noErr;
  Media media = GetTrackMedia(QT_GetFirstEnabledVideoTrack(movie));
  if (GetMediaSampleDescriptionCount(media) > 1) {
    // Descriptions a decompressor cannot take in one sequence make frames that direct reading would get
    // wrong: such a track is not simple.
    Boolean equivalent = false;
    OSStatus err = QT_AreAllImageDescsEquivalent(media, nullptr, &equivalent);
    if (err != noErr) return err;
    if (!equivalent) return noErr;
  }
  Boolean compressed = false;
  OSStatus err = QT_IsMediaTemporallyCompressed(media, &compressed);
  if (err == kSampleReferencesUnavailableErr) return noErr;
  if (err != noErr) return err;
  *hasOneSimpleVideoTrack = !compressed;
  return noErr;
}

OSStatus QT_GetMovieCType(Movie movie, CodecType *cType, Boolean includeText) {
  if (cType == nullptr) return paramErr;
  CodecType result = 0;
  OSStatus err = noErr;
  std::vector<OSType> formats;
  for (SInt32 i = 1; result != 0xFFFFFFFFu; ++i) {
    Track t = Find(movie, i, VisualMediaCharacteristic, kByCharacteristic);
    if (t == nullptr) break;
    OSType type = 0;
    if ((err = QT_GetTrackType(t, &type)) != noErr) break;
    if (!includeText && (type == TextMediaType || type == TimeCodeMediaType)) continue;
    CodecType contribution = type;
    if (type == VideoMediaType) {
      if ((err = DescriptionFormats(t, &formats)) != noErr) break;
      if (formats.empty()) continue;
      contribution = formats.front();
      for (OSType f : formats)
        if (f != contribution) contribution = 0xFFFFFFFFu;
    }
    if (result == 0)
      result = contribution;
    else if (contribution != result)
      result = 0xFFFFFFFFu;
  }
  *cType = result;
  return err;
}

OSStatus QT_DoEnabledVideoTracksUseOneCompressorType(Movie movie, CodecType *cType) {
  if (cType == nullptr) return paramErr;
  *cType = 0;
  CodecType common = 0;
  std::vector<OSType> formats;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, VisualMediaCharacteristic, kByCharacteristic | kEnabled);
    if (t == nullptr) break;
    if (MediaTypeOf(t) != VideoMediaType) return GetMoviesError();
    OSStatus err = DescriptionFormats(t, &formats);
    if (err != noErr) return err;
    for (OSType f : formats) {
      if (common == 0) common = f;
      if (f != common) return noErr;
    }
  }
  *cType = common;
  return noErr;
}

OSStatus QT_DoEnabledVideoTracksUseFixedSizeCompressorTypesOnly(Movie movie, Boolean *fixedSizeOnly) {
  if (fixedSizeOnly == nullptr) return paramErr;
  *fixedSizeOnly = true;
  std::vector<OSType> formats;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, VideoMediaType, kByType | kEnabled);
    if (t == nullptr) return noErr;
    OSStatus err = DescriptionFormats(t, &formats);
    if (err != noErr) return err;
    for (OSType f : formats) {
      if (!QT_IsFixedSizeCompressor(f)) {
        *fixedSizeOnly = false;
        return noErr;
      }
    }
  }
}

OSStatus QT_EnabledVideoTracksHaveEqualSpatialCharacteristics(Movie movie, Boolean *equal, RgnHandle *clip,
                                                              MatrixRecord *matrix, Fixed *height, Fixed *width) {
  if (equal == nullptr) return paramErr;
  *equal = true;
  if (clip) *clip = nullptr;
  MatrixRecord firstMatrix;
  Fixed firstWidth = 0, firstHeight = 0;
  RgnHandle firstClip = nullptr;
  OSStatus err = noErr;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, VideoMediaType, kByType | kEnabled);
    if (t == nullptr) break;
    MatrixRecord m;
    Fixed w = 0, h = 0;
    GetTrackMatrix(t, &m);
    GetTrackDimensions(t, &w, &h);
    RgnHandle c = GetTrackClipRgn(t);
    if ((err = GetMoviesError()) != noErr) {
      if (c) DisposeRgn(c);
      break;
    }
    if (i == 1) {
      firstMatrix = m;
      firstWidth = w;
      firstHeight = h;
      firstClip = c;
      if (matrix) *matrix = m;
      if (width) *width = w;
      if (height) *height = h;
      continue;
    }
    bool same = EqualMatrix(&m, &firstMatrix) && w == firstWidth && h == firstHeight &&
                ((c == nullptr && firstClip == nullptr) || (c != nullptr && firstClip != nullptr && EqualRgn(c, firstClip)));
    if (c) DisposeRgn(c);
    if (!same) {
      *equal = false;
      break;
    }
  }
  if (clip != nullptr && err == noErr)
    *clip = firstClip;
  else if (firstClip != nullptr)
    DisposeRgn(firstClip);
  return err;
}

OSStatus QT_AnyEnabledVideoTrackIsComposited(Movie movie, Boolean *composited) {
  if (composited == nullptr) return paramErr;
  *composited = false;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, VideoMediaType, kByType | kEnabled);
    if (t == nullptr) return noErr;
    SInt32 mode = 0;
    OSStatus err = MediaGetGraphicsMode(GetMediaHandler(GetTrackMedia(t)), &mode, nullptr);
    if (err != noErr) return err;
    if ((mode != 0 && mode != 64) || PL_TrackHasMatte(t)) {
      *composited = true;
      return noErr;
    }
  }
}

Boolean QT_EnabledVideoTracksHaveSameMediaTimeScale(Movie movie) {
  TimeScale first = 0;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, VideoMediaType, kByType | kEnabled);
    if (t == nullptr) return true;
    TimeScale s = GetMediaTimeScale(GetTrackMedia(t));
    if (i == 1) first = s;
    if (s != first) return false;
  }
}

Boolean QT_TrackPairOverlapTemporally(Track track1, Track track2) {
  auto a = MediaEdits(track1), b = MediaEdits(track2);
  for (const auto &x : a)
    for (const auto &y : b)
      if (x.first < y.second && y.first < x.second) return true;
  return false;
}

Boolean QT_AnyTracksOverlapTemporally(Movie movie, OSType type, SInt32 flags, Boolean enabledOnly) {
  std::vector<Track> tracks;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, type, flags | (enabledOnly ? kEnabled : 0));
    if (t == nullptr) break;
    tracks.push_back(t);
  }
  for (size_t i = 0; i < tracks.size(); ++i)
    for (size_t j = i + 1; j < tracks.size(); ++j)
      if (QT_TrackPairOverlapTemporally(tracks[i], tracks[j])) return true;
  return false;
}

// ---- Gamma and depth ----

OSStatus QT_GetMovieGamma1(Movie movie, float *gamma) {
  if (gamma == nullptr) return paramErr;
  *gamma = 1.8f;
  bool first = true;
  HandleHolder desc;
  desc.h = NewHandle(0);
  if (desc.h == nullptr) return MemError();
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, VideoMediaType, kByType);
    if (t == nullptr) return noErr;
    Media media = GetTrackMedia(t);
    SInt32 count = GetMediaSampleDescriptionCount(media);
    for (SInt32 k = 1; k <= count; ++k) {
      GetMediaSampleDescription(media, k, desc.Sample());
      OSStatus err = GetMoviesError();
      if (err != noErr) return err;
      float value;
      if (QT_IsDV_CodecType((**desc.Sample()).dataFormat)) {
        value = kDvGamma;
      } else {
        Fixed level = 0;
        Boolean stated = false;
        if ((err = QT_GetImageDescGammaLevel(desc.Image(), &level, &stated)) != noErr) return err;
        value = float(Fix2X(level));
      }
      if (first) {
        *gamma = value;
        first = false;
      } else if (value != *gamma) {
        *gamma = -1.0f;
        return noErr;
      }
    }
  }
}

OSStatus QT_GetMovieGamma2(Movie movie, GWorldPtr, float *gamma) {
  if (gamma == nullptr) return paramErr;
  *gamma = 2.2f;
  TimeValue videoStart = 0;
  QT_GetMovieVideoDuration(movie, &videoStart, nullptr);
  Track t = QT_GetActiveVideoTrack(movie, videoStart);
  if (t == nullptr) return noErr;
  TimeValue m = TrackTimeToMediaTime(videoStart, t);
  HandleHolder desc;
  desc.h = NewHandle(0);
  if (desc.h == nullptr) return MemError();
  SInt32 n = 0;
  OSStatus err = QT_GetMediaSampleReference64(GetTrackMedia(t), nullptr, nullptr, m, nullptr, nullptr, desc.Sample(),
                                              nullptr, 1, &n, nullptr);
  if (err != noErr || n == 0) return err;
  Fixed level = 0;
  err = ICMImageDescriptionGetProperty(desc.Image(), kQTPropertyClass_ImageDescription,
                                       kICMImageDescriptionPropertyID_GammaLevel, sizeof(level), &level, nullptr);
  if (err != noErr) return err;
  if (level != 0) *gamma = float(Fix2X(level));
  return noErr;
}

OSStatus QT_GetMaxDepth(Movie movie, SInt16 *depth) {
  if (depth == nullptr) return paramErr;
  *depth = 0;
  HandleHolder desc;
  desc.h = NewHandle(0);
  if (desc.h == nullptr) return MemError();
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, VisualMediaCharacteristic, kByCharacteristic | kEnabled);
    if (t == nullptr) return noErr;
    if (MediaTypeOf(t) != VideoMediaType) continue;  // only image descriptions have a depth
    Media media = GetTrackMedia(t);
    SInt32 count = GetMediaSampleDescriptionCount(media);
    for (SInt32 k = 1; k <= count; ++k) {
      GetMediaSampleDescription(media, k, desc.Sample());
      OSStatus err = GetMoviesError();
      if (err != noErr) return err;
      *depth = std::max(*depth, (**desc.Image()).depth);
    }
  }
}

// ---- Media types ----

OSStatus QT_GetMovieMediaTypes(Movie movie, OSType **types, SInt32 *count) {
  if (types == nullptr || count == nullptr) return paramErr;
  std::vector<OSType> found;
  SInt32 n = GetMovieTrackCount(movie);
  for (SInt32 i = 1; i <= n; ++i) {
    OSType type = 0;
    OSStatus err = QT_GetTrackType(GetMovieIndTrack(movie, i), &type);
    if (err != noErr) return err;
    SInt32 at = -1;
    if (!GL_IsOSTypeInArray(type, SInt16(std::min<size_t>(found.size(), 0x7FFF)), found.data(), &at))
      found.push_back(type);
  }
  return TypesToBlock(found, types, count);
}

OSStatus QT_GetMovieRefTrackTypes(Movie movie, OSType **types, SInt32 *count) {
  if (types == nullptr || count == nullptr) return paramErr;
  SInt32 n = GetMovieTrackCount(movie);
  std::vector<OSType> refType(size_t(std::max<SInt32>(n, 0)), 0);
  for (SInt32 i = 1; i <= n; ++i) {
    Track t = GetMovieIndTrack(movie, i);
    for (OSType type = GetNextTrackReferenceType(t, 0); type != 0; type = GetNextTrackReferenceType(t, type)) {
      SInt32 refs = GetTrackReferenceCount(t, type);
      for (SInt32 k = 1; k <= refs; ++k) {
        SInt32 index = QT_GetTrackIndex(GetTrackReference(t, type, k));
        if (index > 0 && refType[size_t(index - 1)] == 0) refType[size_t(index - 1)] = type;
      }
    }
  }
  std::vector<OSType> found;
  for (OSType type : refType)
    if (type != 0 && std::find(found.begin(), found.end(), type) == found.end()) found.push_back(type);
  return TypesToBlock(found, types, count);
}

// ---- Sizes ----

OSStatus QT_GetMovieTotalMediaSize64(Movie movie, UInt64 *size) {
  if (size == nullptr) return paramErr;
  *size = 0;
  UInt64 total = 0;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, VisualMediaCharacteristic, kByCharacteristic);
    if (t == nullptr) break;
    OSType type = 0;
    OSStatus err = QT_GetTrackType(t, &type);
    if (err != noErr) return err;
    Media media = GetTrackMedia(t);
    TimeValue64 start = GetMediaDisplayStartTime(media);
    TimeValue64 duration = std::min<TimeValue64>(GetMediaDisplayDuration(media), GetMediaDuration(media));
    SInt64 bytes = 0;
    err = GetMediaDataSizeTime64(media, start, duration, &bytes);
    if (err != noErr) err = GetMediaDataSizeTime64(media, 0, duration, &bytes);
    if (err != noErr) return err;
    total += UInt64(bytes);
  }
  HandleHolder desc;
  desc.h = NewHandle(0);
  if (desc.h == nullptr) return MemError();
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, AudioMediaCharacteristic, kByCharacteristic);
    if (t == nullptr) break;
    Media media = GetTrackMedia(t);
    GetMediaSampleDescription(media, 1, desc.Sample());
    // DV audio lies inside the video frames, which are counted already.
    if (GetMoviesError() == noErr && (**desc.Sample()).dataFormat == 'vdva') continue;
    TimeValue64 start = GetMediaDisplayStartTime(media);
    TimeValue64 duration = std::min<TimeValue64>(GetMediaDisplayDuration(media), GetMediaDuration(media));
    SInt64 bytes = 0;
    OSStatus err = GetMediaDataSizeTime64(media, start, duration, &bytes);
    if (err != noErr) return err;
    total += UInt64(bytes);
  }
  *size = total;
  return noErr;
}

OSStatus QT_GetMovieMediaTypeSampleCountAndSize(Movie movie, OSType mediaType, SInt32 *count, SInt64 *size) {
  if (count == nullptr || size == nullptr) return paramErr;
  SInt64 samples = 0, bytes = 0;
  for (SInt32 i = 1;; ++i) {
    Track t = Find(movie, i, mediaType, kByType);
    if (t == nullptr) break;
    Media media = GetTrackMedia(t);
    samples += GetMediaSampleCount(media);
    SInt64 s = 0;
    OSStatus err = GetMediaDataSize64(media, 0, GetMediaDuration(media), &s);
    if (err != noErr) return err;
    bytes += s;
  }
  *count = SInt32(std::min<SInt64>(samples, std::numeric_limits<SInt32>::max()));
  *size = bytes;
  return noErr;
}

OSStatus QT_GetMovieUsedMediaSizeAndSampleCount(Movie movie, TimeValue begin, TimeValue end, OSType type, SInt32 flags,
                                                Boolean enabledOnly, SInt64 *size, SInt32 *count) {
  if (size == nullptr || count == nullptr) return paramErr;
  *size = 0;
  *count = 0;
  if (movie == nullptr) return invalidMovie;
  SInt64 bytes = 0, samples = 0;
  for (SInt32 i = 1;; ++i) {
    Track t = GetMovieIndTrackType(movie, i, type, flags | (enabledOnly ? movieTrackEnabledOnly : 0));
    if (t == nullptr) break;
    SInt64 s = 0;
    SInt32 n = 0;
    OSStatus err = QT_GetTrackUsedMediaSizeAndSampleCount(t, begin, end, &s, &n);
    if (err != noErr) return err;
    bytes += s;
    samples += n;
  }
  *size = bytes;
  *count = SInt32(std::min<SInt64>(samples, std::numeric_limits<SInt32>::max()));
  return noErr;
}

OSStatus QT_GetTrackUsedMediaSizeAndSampleCount(Track track, TimeValue begin, TimeValue end, SInt64 *size,
                                                SInt32 *count) {
  if (size == nullptr || count == nullptr) return paramErr;
  *size = 0;
  *count = 0;
  Media media = GetTrackMedia(track);
  if (media == nullptr) return GetMoviesError() != noErr ? GetMoviesError() : OSStatus(invalidMedia);
  LL_IntervalLE *intervals = nullptr;
  Boolean overlap = false;
  OSStatus err = QT_MakeMediaIntervalList(track, begin, end, true, &intervals, &overlap);
  SInt64 bytes = 0, samples = 0;
  for (LL_IntervalLE *i = intervals; err == noErr && i != nullptr; i = i->next) {
    SInt32 first = 0, last = 0;
    TimeValue firstTime = 0, lastTime = 0;
    MediaTimeToSampleNum(media, i->start, &first, &firstTime, nullptr);
    MediaTimeToSampleNum(media, i->end, &last, &lastTime, nullptr);
    if (first < 1 || last < first) continue;
    // Whole samples: from the start of the first to the end of the last.
    SInt64 s = 0;
    TimeValue lastDuration = 0;
    SampleNumToMediaTime(media, last, &lastTime, &lastDuration);
    err = GetMediaDataSize64(media, firstTime, lastTime + lastDuration - firstTime, &s);
    bytes += s;
    samples += SInt64(last) - first + 1;
  }
  LL_DisposeLinkedList(&intervals);
  if (err != noErr) return err;
  *size = bytes;
  *count = SInt32(std::min<SInt64>(samples, std::numeric_limits<SInt32>::max()));
  return noErr;
}

OSStatus QT_GetSampleSize(Track track, TimeValue trackTime, SInt32 *size) {
  if (size == nullptr) return paramErr;
  *size = 0;
  TimeValue m = TrackTimeToMediaTime(trackTime, track);
  if (m == -1) return GetMoviesError() != noErr ? GetMoviesError() : OSStatus(invalidTime);
  UInt32 bytes = 0;
  SInt32 n = 0;
  OSStatus err =
      QT_GetMediaSampleReference64(GetTrackMedia(track), nullptr, &bytes, m, nullptr, nullptr, nullptr, nullptr, 1, &n, nullptr);
  if (err == noErr && n == 0) err = invalidTime;
  if (err == noErr) *size = SInt32(std::min<UInt32>(bytes, 0x7FFFFFFF));
  return err;
}

OSStatus QT_GetMediaPartInfo(Media media, TimeValue begin, TimeValue end, SInt32 *count, SInt32 *largest,
                             SInt32 *smallest, float *average, float *dataRate) {
  if (end <= begin) return paramErr;
  SInt64 samples = 0, bytes = 0;
  SInt32 most = 0, least = 0x7FFFFFFF;
  OSStatus err = noErr;
  SInt64 time = begin;
  while (time < end) {
    UInt32 size = 0;
    TimeValue duration = 0, recordStart = -1;
    SInt32 n = 0;
    err = QT_GetMediaSampleReference64(media, nullptr, &size, TimeValue(time), &recordStart, &duration, nullptr, nullptr,
                                       0, &n, nullptr);
    // A failed read, or a record that would not move the time on, ends the walk.
    if (err != noErr || n <= 0 || duration <= 0 || recordStart < 0) break;
    // The record starts at the sample holding the time: step from there, so that a begin inside a sample
    // does not make the walk skip the part of the next sample that lies before the record's end.
    time = recordStart;
    SInt64 shown = time + SInt64(duration) * n > end ? (end - time) / duration : n;
    SInt32 each = SInt32(std::min<UInt32>(size / UInt32(n), 0x7FFFFFFF));
    samples += shown;
    bytes += SInt64(each) * shown;
    most = std::max(most, each);
    least = std::min(least, each);
    time += SInt64(duration) * n;
  }
  if (count) *count = SInt32(std::min<SInt64>(samples, std::numeric_limits<SInt32>::max()));
  if (largest) *largest = most;
  if (smallest) *smallest = least;
  if (average) *average = samples > 0 ? float(bytes) / float(samples) : 0.0f;
  if (dataRate) *dataRate = float(bytes) / float(SInt64(end) - begin);
  return err;
}

OSStatus QT_GetMediaMaxSampleSize(Media media, SInt32 *size) {
  if (size == nullptr) return paramErr;
  UInt32 most = 0;
  OSStatus err = WalkSampleReferences(media, [&most](const SampleReference64Record &r) {
    if (r.numberOfSamples > 0) most = std::max(most, r.dataSize / r.numberOfSamples);
    return true;
  });
  *size = SInt32(std::min<UInt32>(most, 0x7FFFFFFF));
  return err;
}

OSStatus QT_IsMediaTemporallyCompressed(Media media, Boolean *temporallyCompressed) {
  if (temporallyCompressed == nullptr) return paramErr;
  *temporallyCompressed = false;
  return WalkSampleReferences(media, [temporallyCompressed](const SampleReference64Record &r) {
    if (r.sampleFlags & mediaSampleNotSync) *temporallyCompressed = true;
    return !*temporallyCompressed;
  });
}

Boolean QT_IsDataOffsetMonotonousWithTrackTime(Track track) {
  Media media = GetTrackMedia(track);
  SInt64 previous = -1;
  TimeValue t = -1, d = 0;
  GetTrackNextInterestingTime(track, nextTimeMediaSample | nextTimeEdgeOK, 0, fixed1, &t, &d);
  while (t != -1) {
    TimeValue m = TrackTimeToMediaTime(t, track);
    SInt64 offset = -1;
    SInt32 n = 0;
    if (m != -1 &&
        QT_GetMediaSampleReference64(media, &offset, nullptr, m, nullptr, nullptr, nullptr, nullptr, 1, &n, nullptr) ==
            noErr &&
        n > 0) {
      if (offset < previous) return false;
      previous = offset;
    }
    TimeValue last = t;
    GetTrackNextInterestingTime(track, nextTimeMediaSample, last, fixed1, &t, &d);
    if (t != -1 && t <= last) break;
  }
  return true;
}

void QT_GuessRealMpegMediaDimensions(CodecType cType, Boolean isPAL, SInt32 height, SInt32 width,
                                     Boolean anamorphic1080, SInt32 *realHeight, SInt32 *realWidth) {
  SInt32 h = height, w = width;
  if (isPAL && (cType == 'm2v ' || cType == 'm2s ')) {
    if (h >= 540 && h <= 576) h = 576;
    if (w >= 700 && w <= 1032) w = 720;
    if (w == 720 && h >= 400 && h <= 408) h = 576;
  } else {
    if (h >= 404 && h <= 540) h = 480;
    if (w >= 640 && w <= 860) w = 720;
  }
  if (h == 1080 && w == 1920) w = anamorphic1080 ? 1440 : 1920;
  if (realHeight) *realHeight = h;
  if (realWidth) *realWidth = w;
}

OSErr QT_MinimalDrawingCompleteProc(Movie, intptr_t refCon) {
  if (refCon != 0) *reinterpret_cast<Boolean *>(refCon) = true;
  return noErr;
}
