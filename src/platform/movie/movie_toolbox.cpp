// Movie Toolbox calls over the movie model: movies, tracks, media, sample references and user data.
// Storage calls (files) are in movie_storage.cpp.
#include "platform/movie/movie_toolbox.h"

#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/toolbox_time.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace {

thread_local OSErr gMoviesError = noErr;
thread_local OSErr gMoviesStickyError = noErr;

constexpr UInt64 kSoundReadLimit = 1 << 20;

TimeValue ClampTime(SInt64 t) {
  if (t > std::numeric_limits<TimeValue>::max()) return std::numeric_limits<TimeValue>::max();
  if (t < std::numeric_limits<TimeValue>::min()) return std::numeric_limits<TimeValue>::min();
  return TimeValue(t);
}

UInt64 Now() {
  UInt32 secs = 0;
  GetDateTime(&secs);
  return secs;
}

std::vector<UInt8> PascalName(const char *text) {
  size_t n = std::strlen(text);
  std::vector<UInt8> name(n + 1);
  name[0] = UInt8(n);
  std::memcpy(name.data() + 1, text, n);
  return name;
}

bool HasCharacteristic(OSType mediaType, OSType characteristic) {
  if (characteristic == 'eyes') {
    switch (mediaType) {
      case VideoMediaType:
      case TextMediaType:
      case TimeCodeMediaType:
      case 'sprt':
      case 'tx3g':
      case 'sbtl':
      case 'clcp':
      case 'subp':
      case 'qd3d':
      case 'flsh':
      case 'skin':
      case 'MPEG':
      case 'm1s ':
      case 'm2s ':
        return true;
      default:
        return false;
    }
  }
  if (characteristic == 'ears') {
    switch (mediaType) {
      case SoundMediaType:
      case 'musi':
      case 'MPEG':
      case 'm1s ':
      case 'm2s ':
        return true;
      default:
        return false;
    }
  }
  return false;
}

// Copies a description from a handle into its stored form for the media: checked size, data reference
// index 0 taken as 1.
OSStatus DescriptionFromHandle(const PL_MediaRecord *media, SampleDescriptionHandle descH, std::vector<UInt8> *out) {
  if (descH == nullptr || *descH == nullptr) return paramErr;
  Size handleSize = GetHandleSize(reinterpret_cast<Handle>(descH));
  if (handleSize < Size(sizeof(SampleDescription))) return paramErr;
  SampleDescription head;
  std::memcpy(&head, *descH, sizeof(head));
  const UInt8 *bytes = reinterpret_cast<const UInt8 *>(*descH);
  size_t minimum = PL_DescriptionMinimumSize(media->mediaType, bytes, size_t(handleSize));
  if (head.descSize < 0 || size_t(head.descSize) < minimum || head.descSize > handleSize) return paramErr;
  if (head.dataRefIndex == 0) head.dataRefIndex = 1;
  if (head.dataRefIndex < 0 || size_t(head.dataRefIndex) > media->dataRefs.size()) return badDataRefIndex;
  out->assign(bytes, bytes + head.descSize);
  std::memcpy(out->data(), &head, sizeof(head));
  return noErr;
}

OSStatus CopyDescriptionToHandle(const PL_MediaRecord *media, UInt32 index, SampleDescriptionHandle descH) {
  if (descH == nullptr) return noErr;
  const std::vector<UInt8> &desc = media->descriptions[index - 1];
  SetHandleSize(reinterpret_cast<Handle>(descH), Size(desc.size()));
  if (MemError() != noErr) return MemError();
  std::memcpy(*descH, desc.data(), desc.size());
  return noErr;
}

}  // namespace

OSErr PL_SetMoviesError(OSStatus err) {
  gMoviesError = OSErr(err);
  if (err != noErr && gMoviesStickyError == noErr) gMoviesStickyError = OSErr(err);
  return OSErr(err);
}

OSErr GetMoviesError() { return gMoviesError; }

OSErr EnterMovies() { return noErr; }
OSErr GetMoviesStickyError() { return gMoviesStickyError; }
void ClearMoviesStickyError() { gMoviesStickyError = noErr; }

// ---- Movies ----

Movie NewMovie(SInt32 flags) {
  try {
    std::unique_ptr<PL_MovieRecord> movie = PL_NewMovieRecord();
    movie->creationTime = movie->modificationTime = Now();
    movie->active = (flags & newMovieActive) != 0;
    PL_SetMoviesError(noErr);
    return movie.release();
  } catch (const std::bad_alloc &) {
    PL_SetMoviesError(memFullErr);
    return nullptr;
  }
}

void DisposeMovie(Movie theMovie) {
  if (theMovie == nullptr) return;
  PL_FinishMediaData(theMovie);
  PL_CloseMovieFiles(theMovie);
  delete theMovie;
  PL_SetMoviesError(noErr);
}

TimeScale GetMovieTimeScale(Movie theMovie) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), 0;
  PL_SetMoviesError(noErr);
  return theMovie->timeScale;
}

void SetMovieTimeScale(Movie theMovie, TimeScale timeScale) {
  if (theMovie == nullptr || timeScale <= 0) {
    PL_SetMoviesError(theMovie == nullptr ? invalidMovie : paramErr);
    return;
  }
  TimeScale old = theMovie->timeScale;
  auto scale = [old, timeScale](SInt64 t) {
    __int128 v = (__int128)t * timeScale;
    return SInt64((v >= 0 ? v + old / 2 : v - old / 2) / old);
  };
  for (auto &track : theMovie->tracks)
    for (PL_Edit &e : track->edits) e.trackDuration = scale(e.trackDuration);
  theMovie->previewTime = ClampTime(scale(theMovie->previewTime));
  theMovie->previewDuration = ClampTime(scale(theMovie->previewDuration));
  theMovie->posterTime = ClampTime(scale(theMovie->posterTime));
  theMovie->selectionTime = ClampTime(scale(theMovie->selectionTime));
  theMovie->selectionDuration = ClampTime(scale(theMovie->selectionDuration));
  theMovie->currentTime = ClampTime(scale(theMovie->currentTime));
  theMovie->timeScale = timeScale;
  PL_SetMoviesError(noErr);
}

TimeValue GetMovieDuration(Movie theMovie) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), 0;
  PL_SetMoviesError(noErr);
  return ClampTime(PL_MovieDuration(theMovie));
}

void GetMovieMatrix(Movie theMovie, MatrixRecord *matrix) {
  if (theMovie == nullptr || matrix == nullptr) {
    PL_SetMoviesError(theMovie == nullptr ? invalidMovie : paramErr);
    return;
  }
  *matrix = theMovie->matrix;
  PL_SetMoviesError(noErr);
}

void SetMovieMatrix(Movie theMovie, const MatrixRecord *matrix) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return;
  }
  if (matrix == nullptr)
    PL_SetIdentityMatrix(&theMovie->matrix);
  else
    theMovie->matrix = *matrix;
  PL_SetMoviesError(noErr);
}

Fixed GetMoviePreferredRate(Movie theMovie) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), 0;
  PL_SetMoviesError(noErr);
  return theMovie->preferredRate;
}

void SetMoviePreferredRate(Movie theMovie, Fixed rate) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return;
  }
  theMovie->preferredRate = rate;
  PL_SetMoviesError(noErr);
}

void SetMovieActive(Movie theMovie, Boolean active) {
  if (theMovie == nullptr) {
    PL_SetMoviesError(invalidMovie);
    return;
  }
  theMovie->active = active != 0;
  PL_SetMoviesError(noErr);
}

Boolean GetMovieActive(Movie theMovie) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), false;
  PL_SetMoviesError(noErr);
  return theMovie->active;
}

SInt32 GetMovieTrackCount(Movie theMovie) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), 0;
  PL_SetMoviesError(noErr);
  return SInt32(theMovie->tracks.size());
}

Track GetMovieIndTrack(Movie theMovie, SInt32 index) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), nullptr;
  if (index < 1 || size_t(index) > theMovie->tracks.size()) return PL_SetMoviesError(badTrackIndex), nullptr;
  PL_SetMoviesError(noErr);
  return theMovie->tracks[size_t(index) - 1].get();
}

Track GetMovieTrack(Movie theMovie, SInt32 trackID) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), nullptr;
  for (auto &track : theMovie->tracks) {
    if (track->trackID == UInt32(trackID)) {
      PL_SetMoviesError(noErr);
      return track.get();
    }
  }
  PL_SetMoviesError(trackIDNotFound);
  return nullptr;
}

Track GetMovieIndTrackType(Movie theMovie, SInt32 index, OSType trackType, SInt32 flags) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), nullptr;
  PL_SetMoviesError(noErr);
  if (index < 1) return nullptr;
  SInt32 found = 0;
  for (auto &track : theMovie->tracks) {
    if ((flags & 4) && (track->flags & 1) == 0) continue;
    OSType type = track->media ? track->media->mediaType : 0;
    bool match = ((flags & 1) && type == trackType) || ((flags & 2) && HasCharacteristic(type, trackType));
    if (match && ++found == index) return track.get();
  }
  return nullptr;
}

UserData GetMovieUserData(Movie theMovie) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), nullptr;
  PL_SetMoviesError(noErr);
  return reinterpret_cast<UserData>(&theMovie->userData);
}

// ---- Tracks ----

Track NewMovieTrack(Movie theMovie, Fixed width, Fixed height, SInt16 trackVolume) {
  if (theMovie == nullptr) return PL_SetMoviesError(invalidMovie), nullptr;
  try {
    auto track = std::make_unique<PL_TrackRecord>();
    track->movie = theMovie;
    track->trackID = theMovie->nextTrackID++;
    track->flags = 1 | trackUsageInMovie | trackUsageInPreview | trackUsageInPoster;
    track->creationTime = track->modificationTime = Now();
    track->volume = trackVolume;
    track->width = width;
    track->height = height;
    PL_SetIdentityMatrix(&track->matrix);
    theMovie->tracks.push_back(std::move(track));
    PL_SetMoviesError(noErr);
    return theMovie->tracks.back().get();
  } catch (const std::bad_alloc &) {
    PL_SetMoviesError(memFullErr);
    return nullptr;
  }
}

void DisposeMovieTrack(Track theTrack) {
  if (theTrack == nullptr) {
    PL_SetMoviesError(invalidTrack);
    return;
  }
  auto &tracks = theTrack->movie->tracks;
  tracks.erase(std::remove_if(tracks.begin(), tracks.end(), [theTrack](const auto &t) { return t.get() == theTrack; }),
               tracks.end());
  PL_SetMoviesError(noErr);
}

Media NewTrackMedia(Track theTrack, OSType mediaType, TimeScale timeScale, Handle dataRef, OSType dataRefType) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), nullptr;
  if (theTrack->media || timeScale <= 0) return PL_SetMoviesError(paramErr), nullptr;
  try {
    auto media = std::make_unique<PL_MediaRecord>();
    media->track = theTrack;
    media->mediaType = mediaType;
    media->timeScale = timeScale;
    media->creationTime = media->modificationTime = Now();
    if (dataRef == nullptr) {
      media->dataRefs.push_back(PL_DataRef{kPL_DataRefSelf, rAliasType, {}, {}});
    } else {
      if (*dataRef == nullptr) return PL_SetMoviesError(paramErr), nullptr;
      PL_DataRef ref;
      OSStatus err = PL_DataRefFromBytes(reinterpret_cast<const UInt8 *>(*dataRef), size_t(GetHandleSize(dataRef)),
                                         dataRefType, &ref);
      if (err != noErr) return PL_SetMoviesError(err), nullptr;
      if (ref.kind != kPL_DataRefFile) return PL_SetMoviesError(paramErr), nullptr;
      media->dataRefs.push_back(std::move(ref));
    }
    media->hdlrComponentType = 'mhlr';
    const char *handlerName = "Media Handler";
    PL_AtomWriter header;
    if (mediaType == VideoMediaType) {
      handlerName = "Video Media Handler";
      media->mediaHeaderType = 'vmhd';
      header.Put32(1);  // version 0, flags 1 (no lean ahead)
      header.Put16(0x40);  // dither copy
      header.Put16(0x8000), header.Put16(0x8000), header.Put16(0x8000);
    } else if (mediaType == SoundMediaType) {
      handlerName = "Sound Media Handler";
      media->mediaHeaderType = 'smhd';
      header.Put32(0);
      header.Put16(0);  // balance
      header.Put16(0);
    } else {
      media->mediaHeaderType = 'gmhd';
      header.BeginFull('gmin', 0, 0);
      header.Put16(0x40);
      header.Put16(0x8000), header.Put16(0x8000), header.Put16(0x8000);
      header.Put16(0);
      header.Put16(0);
      header.End();
    }
    media->mediaHeader = header.bytes;
    media->hdlrName = PascalName(handlerName);
    PL_AtomWriter dhlr;
    dhlr.Put32(0);
    dhlr.Put32('dhlr');
    dhlr.Put32(rAliasType);
    dhlr.Put32(0), dhlr.Put32(0), dhlr.Put32(0);
    std::vector<UInt8> name = PascalName("Alias Data Handler");
    dhlr.PutBytes(name.data(), name.size());
    media->hasDataHandlerHdlr = true;
    media->dataHandlerHdlr = dhlr.bytes;
    theTrack->media = std::move(media);
    PL_SetMoviesError(noErr);
    return theTrack->media.get();
  } catch (const std::bad_alloc &) {
    PL_SetMoviesError(memFullErr);
    return nullptr;
  }
}

void DisposeTrackMedia(Media theMedia) {
  if (theMedia == nullptr) {
    PL_SetMoviesError(invalidMedia);
    return;
  }
  PL_TrackRecord *track = theMedia->track;
  track->edits.clear();
  track->media.reset();
  PL_SetMoviesError(noErr);
}

Media GetTrackMedia(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), nullptr;
  PL_SetMoviesError(noErr);
  return theTrack->media.get();
}

Track GetMediaTrack(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia), nullptr;
  PL_SetMoviesError(noErr);
  return theMedia->track;
}

Movie GetTrackMovie(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), nullptr;
  PL_SetMoviesError(noErr);
  return theTrack->movie;
}

SInt32 GetTrackID(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), 0;
  PL_SetMoviesError(noErr);
  return SInt32(theTrack->trackID);
}

TimeValue GetTrackDuration(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), 0;
  PL_SetMoviesError(noErr);
  return ClampTime(PL_TrackDuration(theTrack));
}

TimeValue GetTrackOffset(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), 0;
  SInt64 offset = 0;
  for (const PL_Edit &e : theTrack->edits) {
    if (e.mediaTime != -1) break;
    offset += e.trackDuration;
  }
  PL_SetMoviesError(noErr);
  return ClampTime(offset);
}

Boolean GetTrackEnabled(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), false;
  PL_SetMoviesError(noErr);
  return (theTrack->flags & 1) != 0;
}

void SetTrackEnabled(Track theTrack, Boolean isEnabled) {
  if (theTrack == nullptr) {
    PL_SetMoviesError(invalidTrack);
    return;
  }
  theTrack->flags = isEnabled ? (theTrack->flags | 1) : (theTrack->flags & ~1u);
  PL_SetMoviesError(noErr);
}

SInt16 GetTrackLayer(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), 0;
  PL_SetMoviesError(noErr);
  return theTrack->layer;
}

void SetTrackLayer(Track theTrack, SInt16 layer) {
  if (theTrack == nullptr) {
    PL_SetMoviesError(invalidTrack);
    return;
  }
  theTrack->layer = layer;
  PL_SetMoviesError(noErr);
}

SInt16 GetTrackVolume(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), 0;
  PL_SetMoviesError(noErr);
  return theTrack->volume;
}

void SetTrackVolume(Track theTrack, SInt16 volume) {
  if (theTrack == nullptr) {
    PL_SetMoviesError(invalidTrack);
    return;
  }
  theTrack->volume = volume;
  PL_SetMoviesError(noErr);
}

void GetTrackDimensions(Track theTrack, Fixed *width, Fixed *height) {
  if (theTrack == nullptr) {
    PL_SetMoviesError(invalidTrack);
    return;
  }
  if (width) *width = theTrack->width;
  if (height) *height = theTrack->height;
  PL_SetMoviesError(noErr);
}

void SetTrackDimensions(Track theTrack, Fixed width, Fixed height) {
  if (theTrack == nullptr) {
    PL_SetMoviesError(invalidTrack);
    return;
  }
  theTrack->width = width;
  theTrack->height = height;
  PL_SetMoviesError(noErr);
}

void GetTrackMatrix(Track theTrack, MatrixRecord *matrix) {
  if (theTrack == nullptr || matrix == nullptr) {
    PL_SetMoviesError(theTrack == nullptr ? invalidTrack : paramErr);
    return;
  }
  *matrix = theTrack->matrix;
  PL_SetMoviesError(noErr);
}

void SetTrackMatrix(Track theTrack, const MatrixRecord *matrix) {
  if (theTrack == nullptr) {
    PL_SetMoviesError(invalidTrack);
    return;
  }
  if (matrix == nullptr)
    PL_SetIdentityMatrix(&theTrack->matrix);
  else
    theTrack->matrix = *matrix;
  PL_SetMoviesError(noErr);
}

UserData GetTrackUserData(Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), nullptr;
  PL_SetMoviesError(noErr);
  return reinterpret_cast<UserData>(&theTrack->userData);
}

OSErr InsertMediaIntoTrack(Track theTrack, TimeValue trackStart, TimeValue mediaTime, TimeValue mediaDuration,
                           Fixed mediaRate) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack);
  PL_MediaRecord *media = theTrack->media.get();
  if (media == nullptr) return PL_SetMoviesError(invalidMedia);
  if (mediaRate == 0 || trackStart < -1) return PL_SetMoviesError(paramErr);
  // Media with composition offsets are shown until their display end, which may lie past the decode end.
  const SInt64 mediaEnd = std::max<SInt64>(media->duration, GetMediaDisplayEndTime(media));
  if (mediaDuration < 0 || mediaTime < -1 || (mediaTime >= 0 && SInt64(mediaTime) + mediaDuration > mediaEnd))
    return PL_SetMoviesError(invalidDuration);
  SInt64 duration = PL_MediaToMovieDuration(mediaDuration, media->timeScale, theTrack->movie->timeScale, mediaRate);
  if (duration == 0) return PL_SetMoviesError(noErr);
  SInt64 end = PL_TrackDuration(theTrack);
  SInt64 start = trackStart == -1 ? end : trackStart;
  if (start > end) {
    OSStatus err = PL_TrackInsertEdit(theTrack, end, PL_Edit{start - end, -1, fixed1});
    if (err != noErr) return PL_SetMoviesError(err);
  }
  return PL_SetMoviesError(PL_TrackInsertEdit(theTrack, start, PL_Edit{duration, mediaTime, mediaRate}));
}

TimeValue TrackTimeToMediaTime(TimeValue value, Track theTrack) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), -1;
  PL_SetMoviesError(noErr);
  if (value < 0 || !theTrack->media) return -1;
  SInt64 editStart = 0;
  for (const PL_Edit &e : theTrack->edits) {
    if (value < editStart + e.trackDuration) {
      if (e.mediaTime < 0) return -1;
      __int128 offset =
          (__int128)(value - editStart) * theTrack->media->timeScale * e.mediaRate / ((__int128)theTrack->movie->timeScale * 65536);
      return ClampTime(e.mediaTime + SInt64(offset));
    }
    editStart += e.trackDuration;
  }
  return -1;
}

OSErr AddTrackReference(Track theTrack, Track refTrack, OSType refType, SInt32 *addedIndex) {
  if (theTrack == nullptr || refTrack == nullptr) return PL_SetMoviesError(invalidTrack);
  if (refTrack->movie != theTrack->movie) return PL_SetMoviesError(trackNotInMovie);
  try {
    auto it = std::find_if(theTrack->references.begin(), theTrack->references.end(),
                           [refType](const PL_TrackReference &r) { return r.type == refType; });
    if (it == theTrack->references.end()) {
      theTrack->references.push_back(PL_TrackReference{refType, {}});
      it = theTrack->references.end() - 1;
    }
    auto same = std::find(it->trackIDs.begin(), it->trackIDs.end(), refTrack->trackID);
    if (same == it->trackIDs.end()) {
      it->trackIDs.push_back(refTrack->trackID);
      same = it->trackIDs.end() - 1;
    }
    if (addedIndex) *addedIndex = SInt32(same - it->trackIDs.begin()) + 1;
  } catch (const std::bad_alloc &) {
    return PL_SetMoviesError(memFullErr);
  }
  return PL_SetMoviesError(noErr);
}

Track GetTrackReference(Track theTrack, OSType refType, SInt32 index) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), nullptr;
  PL_SetMoviesError(noErr);
  for (const PL_TrackReference &r : theTrack->references) {
    if (r.type != refType) continue;
    if (index < 1 || size_t(index) > r.trackIDs.size()) return nullptr;
    for (auto &t : theTrack->movie->tracks)
      if (t->trackID == r.trackIDs[size_t(index) - 1]) return t.get();
    return nullptr;
  }
  return nullptr;
}

SInt32 GetTrackReferenceCount(Track theTrack, OSType refType) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), 0;
  PL_SetMoviesError(noErr);
  for (const PL_TrackReference &r : theTrack->references)
    if (r.type == refType) return SInt32(r.trackIDs.size());
  return 0;
}

OSType GetNextTrackReferenceType(Track theTrack, OSType refType) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack), 0;
  PL_SetMoviesError(noErr);
  const auto &refs = theTrack->references;
  size_t i = 0;
  if (refType != 0) {
    while (i < refs.size() && refs[i].type != refType) ++i;
    if (i == refs.size()) return 0;
    ++i;
  }
  return i < refs.size() ? refs[i].type : 0;
}

// ---- Media ----

TimeScale GetMediaTimeScale(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia), 0;
  PL_SetMoviesError(noErr);
  return theMedia->timeScale;
}

TimeValue GetMediaDuration(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia), 0;
  PL_SetMoviesError(noErr);
  return ClampTime(theMedia->duration);
}

SInt32 GetMediaSampleCount(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia), 0;
  PL_SetMoviesError(noErr);
  return SInt32(std::min<SInt64>(theMedia->sampleCount, std::numeric_limits<SInt32>::max()));
}

SInt32 GetMediaSampleDescriptionCount(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia), 0;
  PL_SetMoviesError(noErr);
  return SInt32(theMedia->descriptions.size());
}

void GetMediaSampleDescription(Media theMedia, SInt32 index, SampleDescriptionHandle descH) {
  if (theMedia == nullptr) {
    PL_SetMoviesError(invalidMedia);
    return;
  }
  if (index < 1 || size_t(index) > theMedia->descriptions.size()) {
    PL_SetMoviesError(invalidSampleDescIndex);
    return;
  }
  PL_SetMoviesError(CopyDescriptionToHandle(theMedia, UInt32(index), descH));
}

OSErr SetMediaSampleDescription(Media theMedia, SInt32 index, SampleDescriptionHandle descH) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  if (index < 1 || size_t(index) > theMedia->descriptions.size()) return PL_SetMoviesError(invalidSampleDescIndex);
  std::vector<UInt8> desc;
  OSStatus err = DescriptionFromHandle(theMedia, descH, &desc);
  if (err != noErr) return PL_SetMoviesError(err);
  theMedia->descriptions[size_t(index) - 1] = std::move(desc);
  return PL_SetMoviesError(noErr);
}

void GetMediaHandlerDescription(Media theMedia, OSType *mediaType, Str255 creatorName, OSType *creatorManufacturer) {
  if (theMedia == nullptr) {
    PL_SetMoviesError(invalidMedia);
    return;
  }
  if (mediaType) *mediaType = theMedia->mediaType;
  if (creatorManufacturer) *creatorManufacturer = theMedia->hdlrManufacturer;
  if (creatorName) {
    // Stored names are Pascal strings in QuickTime files and C strings in others.
    const std::vector<UInt8> &n = theMedia->hdlrName;
    size_t len = 0;
    const UInt8 *text = n.data();
    if (!n.empty() && size_t(n[0]) + 1 <= n.size() && n[0] != 0) {
      len = n[0];
      text = n.data() + 1;
    } else {
      while (len < n.size() && n[len] != 0) ++len;
    }
    len = std::min<size_t>(len, 255);
    creatorName[0] = UInt8(len);
    if (len > 0) std::memcpy(creatorName + 1, text, len);
  }
  PL_SetMoviesError(noErr);
}

OSErr GetMediaDataRefCount(Media theMedia, SInt16 *count) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  if (count) *count = SInt16(std::min<size_t>(theMedia->dataRefs.size(), 0x7FFF));
  return PL_SetMoviesError(noErr);
}

OSErr GetMediaDataRef(Media theMedia, SInt16 index, Handle *dataRef, OSType *dataRefType, SInt32 *dataRefAttributes) {
  if (dataRef) *dataRef = nullptr;
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  if (index < 1 || size_t(index) > theMedia->dataRefs.size()) return PL_SetMoviesError(badDataRefIndex);
  const PL_DataRef &ref = theMedia->dataRefs[size_t(index) - 1];
  SInt32 attributes = ref.kind == kPL_DataRefSelf ? dataRefSelfReference : 0;
  std::string path;
  OSStatus err = PL_MediaDataRefPath(theMedia, index, &path);
  std::vector<UInt8> bytes;
  OSType type = ref.type;
  try {
    if (err == noErr && (ref.kind == kPL_DataRefSelf || ref.type == rAliasType)) {
      // Files come as aliases (the movie's own file for a self reference); a missing file as the record
      // it was given or read with.
      type = rAliasType;
      if (PL_NewAliasBytes(path, &bytes) != noErr) {
        attributes |= dataRefWasNotResolved;
        bytes = ref.data;
      }
    } else if (err == noErr) {
      std::string url = PL_PathToFileURL(path);
      bytes.assign(url.begin(), url.end());
      bytes.push_back(0);
      if (access(path.c_str(), F_OK) != 0) attributes |= dataRefWasNotResolved;
    } else {
      // Not a local file (or a self reference of a movie without a file): the reference as it is.
      attributes |= dataRefWasNotResolved;
      bytes = ref.data;
    }
  } catch (const std::bad_alloc &) {
    return PL_SetMoviesError(memFullErr);
  }
  if (dataRef) {
    Handle h = NewHandle(Size(bytes.size()));
    if (h == nullptr) return PL_SetMoviesError(MemError());
    if (!bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
    *dataRef = h;
  }
  if (dataRefType) *dataRefType = type;
  if (dataRefAttributes) *dataRefAttributes = attributes;
  return PL_SetMoviesError(noErr);
}

OSErr AddMediaDataRef(Media theMedia, SInt16 *index, Handle dataRef, OSType dataRefType) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  if (dataRef == nullptr || *dataRef == nullptr) return PL_SetMoviesError(paramErr);
  if (theMedia->dataRefs.size() >= 0x7FFF) return PL_SetMoviesError(paramErr);
  PL_DataRef ref;
  OSStatus err = PL_DataRefFromBytes(reinterpret_cast<const UInt8 *>(*dataRef), size_t(GetHandleSize(dataRef)),
                                     dataRefType, &ref);
  if (err != noErr) return PL_SetMoviesError(err);
  try {
    theMedia->dataRefs.push_back(std::move(ref));
  } catch (const std::bad_alloc &) {
    return PL_SetMoviesError(memFullErr);
  }
  if (index) *index = SInt16(theMedia->dataRefs.size());
  return PL_SetMoviesError(noErr);
}

OSErr BeginMediaEdits(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  theMedia->editing = true;
  return PL_SetMoviesError(noErr);
}

OSErr EndMediaEdits(Media theMedia) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  theMedia->editing = false;
  // The samples added during the edits get their 'mdat' closed once no media of the movie is being edited.
  PL_MovieRecord *movie = theMedia->track->movie;
  for (const auto &t : movie->tracks)
    if (t->media && t->media->editing) return PL_SetMoviesError(noErr);
  return PL_SetMoviesError(PL_FinishMediaData(movie));
}

OSErr AddMediaSampleReferences64(Media theMedia, SampleDescriptionHandle descH, SInt32 numberOfRecords,
                                 const SampleReference64Record *sampleRefs, TimeValue *sampleTime) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  if (numberOfRecords < 0 || (numberOfRecords > 0 && sampleRefs == nullptr)) return PL_SetMoviesError(paramErr);
  std::vector<UInt8> desc;
  OSStatus err = DescriptionFromHandle(theMedia, descH, &desc);
  if (err != noErr) return PL_SetMoviesError(err);
  bool sound = theMedia->mediaType == SoundMediaType;
  for (SInt32 i = 0; i < numberOfRecords; ++i) {
    const SampleReference64Record &r = sampleRefs[i];
    if (r.numberOfSamples == 0 || r.dataOffset < 0 || r.durationPerSample < 0 ||
        (!sound && r.dataSize % r.numberOfSamples != 0))
      return PL_SetMoviesError(paramErr);
  }
  try {
    auto same = std::find(theMedia->descriptions.begin(), theMedia->descriptions.end(), desc);
    UInt32 descIndex = UInt32(same - theMedia->descriptions.begin()) + 1;
    if (same == theMedia->descriptions.end()) theMedia->descriptions.push_back(std::move(desc));
    SInt64 firstTime = theMedia->duration;
    for (SInt32 i = 0; i < numberOfRecords; ++i) {
      const SampleReference64Record &r = sampleRefs[i];
      err = PL_MediaAppendRun(theMedia, r.dataOffset, r.dataSize, r.numberOfSamples, r.durationPerSample,
                              r.sampleFlags, descIndex);
      if (err != noErr) return PL_SetMoviesError(err);
      theMedia->samplesChanged = true;
    }
    if (sampleTime) *sampleTime = ClampTime(firstTime);
  } catch (const std::bad_alloc &) {
    return PL_SetMoviesError(memFullErr);
  }
  return PL_SetMoviesError(noErr);
}

OSErr GetMediaSampleReferences64(Media theMedia, TimeValue time, TimeValue *sampleTime,
                                 SampleDescriptionHandle sampleDescriptionH, SInt32 *sampleDescriptionIndex,
                                 SInt32 maxNumberOfEntries, SInt32 *actualNumberOfEntries,
                                 SampleReference64Record *sampleRefs) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  if (maxNumberOfEntries < 1 || sampleRefs == nullptr) return PL_SetMoviesError(paramErr);
  if (time < 0) return PL_SetMoviesError(invalidTime);
  if (actualNumberOfEntries) *actualNumberOfEntries = 0;
  size_t r = 0;
  UInt32 first = 0;
  if (!PL_MediaFindTime(theMedia, time, &r, &first)) {
    if (sampleTime) *sampleTime = -1;
    return PL_SetMoviesError(noErr);
  }
  UInt32 descIndex = theMedia->runs[r].descIndex;
  OSStatus err = CopyDescriptionToHandle(theMedia, descIndex, sampleDescriptionH);
  if (err != noErr) return PL_SetMoviesError(err);
  if (sampleDescriptionIndex) *sampleDescriptionIndex = SInt32(descIndex);
  if (sampleTime) *sampleTime = ClampTime(theMedia->runs[r].startTime + SInt64(first) * theMedia->runs[r].durationPerSample);
  SInt32 count = 0;
  for (; r < theMedia->runs.size() && count < maxNumberOfEntries; ++r, first = 0) {
    const PL_SampleRun &run = theMedia->runs[r];
    if (run.descIndex != descIndex) break;
    UInt64 largest = (run.dataSize + run.numberOfSamples - 1) / run.numberOfSamples;
    UInt64 fitting = largest == 0 ? run.numberOfSamples : 0xFFFFFFFFu / largest;
    if (fitting == 0) return PL_SetMoviesError(paramErr);
    while (first < run.numberOfSamples && count < maxNumberOfEntries) {
      UInt32 n = UInt32(std::min<UInt64>(run.numberOfSamples - first, fitting));
      SInt64 begin, last;
      UInt64 size, lastSize;
      PL_RunSampleSpan(run, first, &begin, &size);
      PL_RunSampleSpan(run, first + n - 1, &last, &lastSize);
      SampleReference64Record &out = sampleRefs[count++];
      out.dataOffset = begin;
      out.dataSize = UInt32(UInt64(last - begin) + lastSize);
      out.durationPerSample = run.durationPerSample;
      out.numberOfSamples = n;
      out.sampleFlags = run.sampleFlags;
      first += n;
    }
  }
  if (actualNumberOfEntries) *actualNumberOfEntries = count;
  return PL_SetMoviesError(noErr);
}

OSErr GetMediaSample(Media theMedia, Handle dataOut, SInt32 maxSizeToGrow, SInt32 *size, TimeValue time,
                     TimeValue *sampleTime, TimeValue *durationPerSample, SampleDescriptionHandle sampleDescriptionH,
                     SInt32 *sampleDescriptionIndex, SInt32 maxNumberOfSamples, SInt32 *numberOfSamples,
                     SInt16 *sampleFlags) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  size_t r = 0;
  UInt32 first = 0;
  if (!PL_MediaFindTime(theMedia, time, &r, &first)) return PL_SetMoviesError(invalidTime);
  const PL_SampleRun &run = theMedia->runs[r];
  UInt32 left = run.numberOfSamples - first;
  UInt32 n = 1;
  if (maxNumberOfSamples > 0) {
    n = std::min<UInt32>(left, UInt32(maxNumberOfSamples));
  } else if (theMedia->mediaType == SoundMediaType) {
    UInt64 each = std::max<UInt64>(1, run.dataSize / run.numberOfSamples);
    n = UInt32(std::clamp<UInt64>(kSoundReadLimit / each, 1, left));
  }
  SInt64 begin, last;
  UInt64 lastSize;
  UInt64 firstSize;
  PL_RunSampleSpan(run, first, &begin, &firstSize);
  PL_RunSampleSpan(run, first + n - 1, &last, &lastSize);
  UInt64 bytes = UInt64(last - begin) + lastSize;
  if (bytes > UInt64(std::numeric_limits<SInt32>::max())) return PL_SetMoviesError(paramErr);
  if (size) *size = SInt32(bytes);
  if (numberOfSamples) *numberOfSamples = SInt32(n);
  if (sampleTime) *sampleTime = ClampTime(run.startTime + SInt64(first) * run.durationPerSample);
  if (durationPerSample) *durationPerSample = run.durationPerSample;
  if (sampleDescriptionIndex) *sampleDescriptionIndex = SInt32(run.descIndex);
  if (sampleFlags) *sampleFlags = run.sampleFlags;
  if (maxSizeToGrow > 0 && bytes > UInt64(maxSizeToGrow)) return PL_SetMoviesError(maxSizeToGrowTooSmall);
  OSStatus err = CopyDescriptionToHandle(theMedia, run.descIndex, sampleDescriptionH);
  if (err != noErr) return PL_SetMoviesError(err);
  if (dataOut != nullptr) {
    // Data that a damaged table places past the end of its file is refused before anything is allocated.
    int fd = -1;
    UInt64 fileSize = 0;
    err = PL_MediaDataFile(theMedia, run.descIndex, &fd, &fileSize);
    if (err != noErr) return PL_SetMoviesError(err);
    if (UInt64(begin) > fileSize || bytes > fileSize - UInt64(begin)) return PL_SetMoviesError(eofErr);
    SetHandleSize(dataOut, Size(bytes));
    if (MemError() != noErr) return PL_SetMoviesError(MemError());
    err = PL_MediaReadData(theMedia, run.descIndex, begin, *dataOut, size_t(bytes));
    if (err != noErr) return PL_SetMoviesError(err);
  }
  return PL_SetMoviesError(noErr);
}

void MediaTimeToSampleNum(Media theMedia, TimeValue time, SInt32 *sampleNum, TimeValue *sampleTime,
                          TimeValue *sampleDuration) {
  if (sampleNum) *sampleNum = -1;
  if (sampleTime) *sampleTime = -1;
  if (sampleDuration) *sampleDuration = -1;
  if (theMedia == nullptr) {
    PL_SetMoviesError(invalidMedia);
    return;
  }
  size_t r = 0;
  UInt32 i = 0;
  if (!PL_MediaFindTime(theMedia, time, &r, &i)) {
    PL_SetMoviesError(invalidTime);
    return;
  }
  const PL_SampleRun &run = theMedia->runs[r];
  if (sampleNum) *sampleNum = SInt32(std::min<SInt64>(run.firstSample + i, std::numeric_limits<SInt32>::max()));
  if (sampleTime) *sampleTime = ClampTime(run.startTime + SInt64(i) * run.durationPerSample);
  if (sampleDuration) *sampleDuration = run.durationPerSample;
  PL_SetMoviesError(noErr);
}

void SampleNumToMediaTime(Media theMedia, SInt32 logicalSampleNum, TimeValue *sampleTime, TimeValue *sampleDuration) {
  if (sampleTime) *sampleTime = -1;
  if (sampleDuration) *sampleDuration = -1;
  if (theMedia == nullptr) {
    PL_SetMoviesError(invalidMedia);
    return;
  }
  size_t r = 0;
  UInt32 i = 0;
  if (!PL_MediaFindSample(theMedia, logicalSampleNum, &r, &i)) {
    PL_SetMoviesError(invalidSampleNum);
    return;
  }
  const PL_SampleRun &run = theMedia->runs[r];
  if (sampleTime) *sampleTime = ClampTime(run.startTime + SInt64(i) * run.durationPerSample);
  if (sampleDuration) *sampleDuration = run.durationPerSample;
  PL_SetMoviesError(noErr);
}

// ---- User data ----

namespace {
PL_UserDataRecord *Items(UserData ud) { return reinterpret_cast<PL_UserDataRecord *>(ud); }
}  // namespace

OSErr GetUserData(UserData theUserData, Handle data, OSType udType, SInt32 index) {
  if (theUserData == nullptr) return PL_SetMoviesError(paramErr);
  SInt32 seen = 0;
  for (const PL_UserDataItem &item : Items(theUserData)->items) {
    if (item.type != udType || ++seen != index) continue;
    if (data != nullptr) {
      SetHandleSize(data, Size(item.data.size()));
      if (MemError() != noErr) return PL_SetMoviesError(MemError());
      if (!item.data.empty()) std::memcpy(*data, item.data.data(), item.data.size());
    }
    return PL_SetMoviesError(noErr);
  }
  return PL_SetMoviesError(userDataItemNotFound);
}

OSErr AddUserData(UserData theUserData, Handle data, OSType udType) {
  if (theUserData == nullptr || data == nullptr) return PL_SetMoviesError(paramErr);
  try {
    const UInt8 *bytes = reinterpret_cast<const UInt8 *>(*data);
    Items(theUserData)->items.push_back(PL_UserDataItem{udType, std::vector<UInt8>(bytes, bytes + GetHandleSize(data))});
  } catch (const std::bad_alloc &) {
    return PL_SetMoviesError(memFullErr);
  }
  return PL_SetMoviesError(noErr);
}

OSErr RemoveUserData(UserData theUserData, OSType udType, SInt32 index) {
  if (theUserData == nullptr) return PL_SetMoviesError(paramErr);
  auto &items = Items(theUserData)->items;
  SInt32 seen = 0;
  for (auto it = items.begin(); it != items.end(); ++it) {
    if (it->type == udType && ++seen == index) {
      items.erase(it);
      return PL_SetMoviesError(noErr);
    }
  }
  return PL_SetMoviesError(userDataItemNotFound);
}

SInt16 CountUserDataType(UserData theUserData, OSType udType) {
  if (theUserData == nullptr) return PL_SetMoviesError(paramErr), 0;
  PL_SetMoviesError(noErr);
  SInt16 n = 0;
  for (const PL_UserDataItem &item : Items(theUserData)->items)
    if (item.type == udType && n < 0x7FFF) ++n;
  return n;
}

OSType GetNextUserDataType(UserData theUserData, OSType udType) {
  if (theUserData == nullptr) return PL_SetMoviesError(paramErr), 0;
  PL_SetMoviesError(noErr);
  // Types in the order of their first item.
  std::vector<OSType> types;
  for (const PL_UserDataItem &item : Items(theUserData)->items)
    if (std::find(types.begin(), types.end(), item.type) == types.end()) types.push_back(item.type);
  if (udType == 0) return types.empty() ? 0 : types.front();
  auto it = std::find(types.begin(), types.end(), udType);
  if (it == types.end() || it + 1 == types.end()) return 0;
  return *(it + 1);
}
