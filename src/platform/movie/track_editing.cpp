// Track editing over the movie model: new tracks like others, track segments, samples added with their data.
#include "platform/movie/track_editing.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

// One file receiving sample data: the 'mdat' atom that begins at mdatStart and ends at `end` so far.
struct PL_MediaDataWriter {
  std::string path;
  int fd = -1;
  UInt64 mdatStart = 0;
  UInt64 end = 0;
};

struct PL_MediaDataWriters {
  std::vector<PL_MediaDataWriter> files;
};

namespace {

constexpr UInt64 kLargeMdat = 0x7FFFFFFF;
// Samples are copied in reads of about this many bytes (at least one sample each).
constexpr UInt64 kCopyChunk = 1 << 20;

// Gives the writer's 'mdat' its size: the 32-bit form behind the 8-byte 'wide' atom, or, from 0x7FFFFFFF bytes
// on, one atom with a 64-bit size over both.
OSStatus FinishWriter(PL_MediaDataWriter &w) {
  UInt64 size = w.end - w.mdatStart;
  UInt8 head[16];
  OSStatus err = noErr;
  if (size < kLargeMdat) {
    PL_PutBE32(head, UInt32(size - 8));
    err = PL_WriteFully(w.fd, w.mdatStart + 8, head, 4);
  } else {
    PL_PutBE32(head, 1);
    PL_PutBE32(head + 4, 'mdat');
    PL_PutBE64(head + 8, size);
    err = PL_WriteFully(w.fd, w.mdatStart, head, 16);
  }
  if (close(w.fd) != 0 && err == noErr) err = PL_OSStatusFromErrno(errno);
  w.fd = -1;
  return err;
}

// The description in a new handle with its data reference index replaced (0 keeps it). Owned.
SampleDescriptionHandle DescriptionHandle(const std::vector<UInt8> &desc, SInt16 dataRefIndex) {
  Handle h = NewHandle(Size(desc.size()));
  if (h == nullptr) return nullptr;
  std::memcpy(*h, desc.data(), desc.size());
  if (dataRefIndex != 0) reinterpret_cast<SampleDescription *>(*h)->dataRefIndex = dataRefIndex;
  return reinterpret_cast<SampleDescriptionHandle>(h);
}

// The display offset of sample `sampleNum` (from 1).
SInt32 DisplayOffsetOf(const PL_MediaRecord *media, SInt64 sampleNum) {
  SInt64 counted = 0;
  for (const auto &[count, offset] : media->compositionOffsets) {
    if (sampleNum <= counted + SInt64(count)) return offset;
    counted += count;
  }
  return 0;
}

// Adds sample references and keeps the composition offsets in step with the samples.
OSErr AddRecord(Media media, SampleDescriptionHandle descH, const SampleReference64Record &record,
                TimeValue64 displayOffset, TimeValue *sampleTime) {
  if (displayOffset < std::numeric_limits<SInt32>::min() || displayOffset > std::numeric_limits<SInt32>::max())
    return PL_SetMoviesError(paramErr);
  SInt64 before = media->sampleCount;
  OSErr err = AddMediaSampleReferences64(media, descH, 1, &record, sampleTime);
  if (err != noErr || (displayOffset == 0 && !media->hasCompositionOffsets)) return err;
  try {
    auto &offsets = media->compositionOffsets;
    if (!media->hasCompositionOffsets) {
      media->hasCompositionOffsets = true;
      media->compositionOffsetsVersion = 0;
      if (before > 0) offsets.emplace_back(UInt32(before), 0);
    }
    if (displayOffset < 0) media->compositionOffsetsVersion = 1;
    if (!offsets.empty() && offsets.back().second == SInt32(displayOffset) &&
        UInt64(offsets.back().first) + record.numberOfSamples <= 0xFFFFFFFFu)
      offsets.back().first += record.numberOfSamples;
    else
      offsets.emplace_back(record.numberOfSamples, SInt32(displayOffset));
  } catch (const std::bad_alloc &) {
    return PL_SetMoviesError(memFullErr);
  }
  return noErr;
}

// The index of dst's data reference that names what src's reference `srcIndex` names, added when missing.
OSStatus MapDataRef(PL_MediaRecord *src, SInt16 srcIndex, PL_MediaRecord *dst, SInt16 *dstIndex) {
  if (srcIndex < 1 || size_t(srcIndex) > src->dataRefs.size()) return badDataRefIndex;
  PL_DataRef ref = src->dataRefs[size_t(srcIndex) - 1];
  PL_MovieRecord *srcMovie = src->track->movie;
  PL_MovieRecord *dstMovie = dst->track->movie;
  if (ref.kind == kPL_DataRefSelf && srcMovie != dstMovie) {
    // The source movie's own file, seen from another movie.
    if (srcMovie->defaultPath.empty()) return noDefaultDataRef;
    ref = PL_DataRef{kPL_DataRefFile, rAliasType, srcMovie->defaultPath, {}};
    OSStatus err = PL_NewAliasBytes(ref.path, &ref.data);
    if (err != noErr) return err;
  }
  for (size_t i = 0; i < dst->dataRefs.size(); ++i) {
    const PL_DataRef &d = dst->dataRefs[i];
    bool same = false;
    if (ref.kind == kPL_DataRefSelf) {
      same = d.kind == kPL_DataRefSelf;
    } else if (ref.kind == kPL_DataRefFile) {
      std::string path;
      same = PL_MediaDataRefPath(dst, SInt32(i + 1), &path) == noErr && d.kind != kPL_DataRefOther &&
             PL_SameFile(path, ref.path);
    } else if (ref.kind == kPL_DataRefStream) {
      same = d.kind == kPL_DataRefStream && d.pieces == ref.pieces;
    } else {
      same = d.kind == kPL_DataRefOther && d.type == ref.type && d.data == ref.data;
    }
    if (same) {
      *dstIndex = SInt16(i + 1);
      return noErr;
    }
  }
  if (dst->dataRefs.size() >= 0x7FFF) return paramErr;
  try {
    dst->dataRefs.push_back(std::move(ref));
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  *dstIndex = SInt16(dst->dataRefs.size());
  return noErr;
}

// Puts the samples of src from the one holding media time m0 up to the last one starting before m1 into dst:
// copied (data appended) or referred to. *firstTime gets the source time of the first sample and *dstStart the
// destination media time it lands at.
OSErr TransferSamples(PL_MediaRecord *src, PL_MediaRecord *dst, SInt64 m0, SInt64 m1, bool copy, SInt64 *firstTime,
                      SInt64 *dstStart) {
  size_t r = 0;
  UInt32 i = 0;
  if (!PL_MediaFindTime(src, m0, &r, &i)) return invalidTime;
  *firstTime = src->runs[r].startTime + SInt64(i) * src->runs[r].durationPerSample;
  *dstStart = dst->duration;
  std::vector<UInt8> buffer;
  SInt64 t = *firstTime;
  while (t < m1) {
    if (!PL_MediaFindTime(src, t, &r, &i)) break;
    const PL_SampleRun run = src->runs[r];
    UInt32 left = run.numberOfSamples - i;
    UInt32 wanted = UInt32(std::min<SInt64>(left, (m1 - t + run.durationPerSample - 1) / run.durationPerSample));
    UInt64 each = std::max<UInt64>(1, run.dataSize / run.numberOfSamples);
    UInt32 n = UInt32(std::clamp<UInt64>(kCopyChunk / each, 1, wanted));
    if (src->hasCompositionOffsets) n = 1;
    SInt64 begin, last;
    UInt64 firstSize, lastSize;
    PL_RunSampleSpan(run, i, &begin, &firstSize);
    PL_RunSampleSpan(run, i + n - 1, &last, &lastSize);
    UInt64 bytes = UInt64(last - begin) + lastSize;
    if (bytes > 0xFFFFFFFFu) return paramErr;
    SInt32 displayOffset = src->hasCompositionOffsets ? DisplayOffsetOf(src, run.firstSample + i) : 0;
    OSErr err = noErr;
    SInt16 dataRefIndex = 1;
    if (!copy) {
      SampleDescription head;
      std::memcpy(&head, src->descriptions[run.descIndex - 1].data(), sizeof head);
      OSStatus mapped = MapDataRef(src, head.dataRefIndex == 0 ? 1 : head.dataRefIndex, dst, &dataRefIndex);
      if (mapped != noErr) return mapped;
    }
    SampleDescriptionHandle descH = DescriptionHandle(src->descriptions[run.descIndex - 1], dataRefIndex);
    if (descH == nullptr) return MemError();
    if (copy) {
      try {
        buffer.resize(size_t(bytes));
      } catch (const std::bad_alloc &) {
        DisposeHandle(reinterpret_cast<Handle>(descH));
        return memFullErr;
      }
      err = OSErr(PL_MediaReadData(src, run.descIndex, begin, buffer.data(), buffer.size()));
      if (err == noErr)
        err = AddMediaSample2(dst, buffer.data(), ByteCount(bytes), run.durationPerSample, displayOffset, descH, n,
                              MediaSampleFlags(UInt16(run.sampleFlags)), nullptr);
    } else {
      SampleReference64Record record{begin, UInt32(bytes), run.durationPerSample, n, run.sampleFlags};
      err = AddRecord(dst, descH, record, displayOffset, nullptr);
    }
    DisposeHandle(reinterpret_cast<Handle>(descH));
    if (err != noErr) return err;
    t += SInt64(n) * run.durationPerSample;
  }
  return noErr;
}

// A source media stretch in media time for a stretch of track time inside an edit, rounded to nearest.
SInt64 TrackToMediaSpan(SInt64 trackSpan, TimeScale movieScale, TimeScale mediaScale, Fixed rate) {
  __int128 num = (__int128)trackSpan * mediaScale * rate;
  __int128 den = (__int128)movieScale * 65536;
  return SInt64((num + den / 2) / den);
}

SInt64 ConvertTime(SInt64 t, TimeScale from, TimeScale to) {
  if (from == to) return t;
  __int128 num = (__int128)t * to;
  return SInt64((num + from / 2) / from);
}

}  // namespace

OSStatus PL_AppendMediaData(PL_MediaRecord *media, SInt16 dataRefIndex, const void *data, size_t size, SInt64 *offset) {
  std::string path;
  OSStatus err = PL_MediaDataRefPath(media, dataRefIndex == 0 ? 1 : dataRefIndex, &path);
  if (err != noErr) return err;
  PL_MovieRecord *movie = media->track->movie;
  try {
    if (!movie->dataWriters) movie->dataWriters = std::make_shared<PL_MediaDataWriters>();
    auto &files = movie->dataWriters->files;
    auto it = std::find_if(files.begin(), files.end(), [&path](const PL_MediaDataWriter &w) { return w.path == path; });
    if (it == files.end()) {
      PL_MediaDataWriter w;
      w.path = path;
      w.fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
      if (w.fd < 0) return PL_OSStatusFromErrno(errno);
      struct stat st;
      if (fstat(w.fd, &st) != 0) {
        err = PL_OSStatusFromErrno(errno);
        close(w.fd);
        return err;
      }
      // A free 'wide' atom keeps room for a 64-bit size in front of the new 'mdat'.
      UInt8 head[16];
      PL_PutBE32(head, 8);
      PL_PutBE32(head + 4, 'wide');
      PL_PutBE32(head + 8, 8);
      PL_PutBE32(head + 12, 'mdat');
      w.mdatStart = UInt64(st.st_size);
      err = PL_WriteFully(w.fd, w.mdatStart, head, sizeof head);
      if (err != noErr) {
        if (ftruncate(w.fd, off_t(w.mdatStart)) != 0) err = PL_OSStatusFromErrno(errno);
        close(w.fd);
        return err;
      }
      w.end = w.mdatStart + sizeof head;
      files.push_back(w);
      it = files.end() - 1;
    }
    err = PL_WriteFully(it->fd, it->end, data, size);
    if (err != noErr) {
      // A full disk: the partial sample is taken off again and not added.
      if (ftruncate(it->fd, off_t(it->end)) != 0) return PL_OSStatusFromErrno(errno);
      return err;
    }
    *offset = SInt64(it->end);
    it->end += size;
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  return noErr;
}

OSStatus PL_FinishMediaData(PL_MovieRecord *movie) {
  if (movie == nullptr || !movie->dataWriters) return noErr;
  OSStatus first = noErr;
  for (PL_MediaDataWriter &w : movie->dataWriters->files) {
    OSStatus err = FinishWriter(w);
    if (first == noErr) first = err;
  }
  movie->dataWriters->files.clear();
  return first;
}

OSErr AddEmptyTrackToMovie(Track srcTrack, Movie dstMovie, Handle dataRef, OSType dataRefType, Track *dstTrack) {
  if (dstTrack) *dstTrack = nullptr;
  if (srcTrack == nullptr) return PL_SetMoviesError(invalidTrack);
  if (dstMovie == nullptr) return PL_SetMoviesError(invalidMovie);
  if (dstTrack == nullptr) return PL_SetMoviesError(paramErr);
  PL_MediaRecord *srcMedia = srcTrack->media.get();
  if (srcMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  Track track = NewMovieTrack(dstMovie, srcTrack->width, srcTrack->height, srcTrack->volume);
  if (track == nullptr) return GetMoviesError();
  Media media = NewTrackMedia(track, srcMedia->mediaType, srcMedia->timeScale, dataRef, dataRefType);
  if (media == nullptr) {
    OSErr err = GetMoviesError();
    DisposeMovieTrack(track);
    return PL_SetMoviesError(err);
  }
  try {
    track->flags = srcTrack->flags;
    track->layer = srcTrack->layer;
    track->alternateGroup = srcTrack->alternateGroup;
    track->matrix = srcTrack->matrix;
    track->hasClef = srcTrack->hasClef, track->hasProf = srcTrack->hasProf, track->hasEnof = srcTrack->hasEnof;
    track->clef = srcTrack->clef, track->prof = srcTrack->prof, track->enof = srcTrack->enof;
    media->language = srcMedia->language;
    media->quality = srcMedia->quality;
    media->hdlrComponentType = srcMedia->hdlrComponentType;
    media->hdlrManufacturer = srcMedia->hdlrManufacturer;
    media->hdlrFlags = srcMedia->hdlrFlags;
    media->hdlrFlagsMask = srcMedia->hdlrFlagsMask;
    media->hdlrName = srcMedia->hdlrName;
    media->mediaHeaderType = srcMedia->mediaHeaderType;
    media->mediaHeader = srcMedia->mediaHeader;
  } catch (const std::bad_alloc &) {
    DisposeMovieTrack(track);
    return PL_SetMoviesError(memFullErr);
  }
  *dstTrack = track;
  return PL_SetMoviesError(noErr);
}

OSErr InsertTrackSegment(Track srcTrack, Track dstTrack, TimeValue srcIn, TimeValue srcDuration, TimeValue dstIn) {
  if (srcTrack == nullptr || dstTrack == nullptr) return PL_SetMoviesError(invalidTrack);
  PL_MediaRecord *src = srcTrack->media.get();
  PL_MediaRecord *dst = dstTrack->media.get();
  if (src == nullptr || dst == nullptr) return PL_SetMoviesError(invalidMedia);
  if (src == dst || src->mediaType != dst->mediaType || srcIn < 0 || srcDuration < 0 || dstIn < -1)
    return PL_SetMoviesError(paramErr);
  TimeScale srcScale = srcTrack->movie->timeScale;
  TimeScale dstScale = dstTrack->movie->timeScale;
  SInt64 dstEnd = PL_TrackDuration(dstTrack);
  SInt64 at = dstIn == -1 ? dstEnd : dstIn;
  // The pieces of the source's edits inside the stretch, taken before the destination changes (the two tracks
  // may be one movie's).
  const std::vector<PL_Edit> edits = srcTrack->edits;
  SInt64 stretchEnd = SInt64(srcIn) + srcDuration;
  OSStatus err = noErr;
  if (at > dstEnd) {
    err = PL_TrackInsertEdit(dstTrack, dstEnd, PL_Edit{at - dstEnd, -1, fixed1});
    if (err != noErr) return PL_SetMoviesError(err);
  }
  SInt64 editStart = 0;
  for (const PL_Edit &e : edits) {
    SInt64 editEnd = editStart + e.trackDuration;
    SInt64 a = std::max<SInt64>(srcIn, editStart), b = std::min<SInt64>(stretchEnd, editEnd);
    if (a < b) {
      SInt64 span = ConvertTime(b - a, srcScale, dstScale);
      PL_Edit piece{span, -1, fixed1};
      if (e.mediaTime >= 0 && e.mediaRate > 0 && span > 0) {
        SInt64 m0 = e.mediaTime + TrackToMediaSpan(a - editStart, srcScale, src->timeScale, e.mediaRate);
        SInt64 m1 = std::min<SInt64>(e.mediaTime + TrackToMediaSpan(b - editStart, srcScale, src->timeScale, e.mediaRate),
                                     src->duration);
        if (m0 < m1) {
          SInt64 firstTime = 0, dstStart = 0;
          err = TransferSamples(src, dst, m0, m1, dst->editing, &firstTime, &dstStart);
          if (err != noErr) return PL_SetMoviesError(err);
          piece.mediaTime = dstStart + (m0 - firstTime);
          piece.mediaRate = e.mediaRate;
        }
      }
      if (span > 0) {
        err = PL_TrackInsertEdit(dstTrack, at, piece);
        if (err != noErr) return PL_SetMoviesError(err);
        at += span;
      }
    }
    editStart = editEnd;
  }
  return PL_SetMoviesError(noErr);
}

OSErr InsertMovieSegment(Movie srcMovie, Movie dstMovie, TimeValue srcIn, TimeValue srcDuration, TimeValue dstIn) {
  if (srcMovie == nullptr || dstMovie == nullptr) return PL_SetMoviesError(invalidMovie);
  if (srcMovie == dstMovie || srcIn < 0 || srcDuration < 0 || dstIn < 0) return PL_SetMoviesError(paramErr);
  if (dstMovie->tracks.empty() && srcMovie->timeScale > 0) dstMovie->timeScale = srcMovie->timeScale;
  // The source's tracks as they are now: new destination tracks must not be taken for source tracks.
  std::vector<Track> srcTracks;
  try {
    for (const auto &t : srcMovie->tracks) srcTracks.push_back(t.get());
  } catch (const std::bad_alloc &) {
    return PL_SetMoviesError(memFullErr);
  }
  for (Track src : srcTracks) {
    if (src->media == nullptr) continue;
    Track dst = nullptr;
    for (const auto &t : dstMovie->tracks) {
      if (t->trackID == src->trackID && t->media != nullptr && t->media->mediaType == src->media->mediaType) {
        dst = t.get();
        break;
      }
    }
    if (dst == nullptr) {
      OSErr err = AddEmptyTrackToMovie(src, dstMovie, nullptr, 0, &dst);
      if (err != noErr) return err;
    }
    OSErr err = InsertTrackSegment(src, dst, srcIn, srcDuration, dstIn);
    if (err != noErr) return err;
  }
  return PL_SetMoviesError(noErr);
}

OSErr InsertEmptyTrackSegment(Track dstTrack, TimeValue dstIn, TimeValue dstDuration) {
  if (dstTrack == nullptr) return PL_SetMoviesError(invalidTrack);
  if (dstIn < 0 || dstDuration < 0) return PL_SetMoviesError(paramErr);
  if (dstDuration == 0) return PL_SetMoviesError(noErr);
  SInt64 end = PL_TrackDuration(dstTrack);
  SInt64 at = std::min<SInt64>(dstIn, end);
  return PL_SetMoviesError(PL_TrackInsertEdit(dstTrack, at, PL_Edit{SInt64(dstDuration) + (dstIn - at), -1, fixed1}));
}

OSErr DeleteTrackSegment(Track theTrack, TimeValue startTime, TimeValue duration) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack);
  if (startTime < 0 || duration < 0) return PL_SetMoviesError(paramErr);
  try {
    size_t first = PL_TrackSplitAt(theTrack, startTime);
    size_t last = PL_TrackSplitAt(theTrack, SInt64(startTime) + duration);
    theTrack->edits.erase(theTrack->edits.begin() + SInt64(first), theTrack->edits.begin() + SInt64(last));
  } catch (const std::bad_alloc &) {
    return PL_SetMoviesError(memFullErr);
  }
  return PL_SetMoviesError(noErr);
}

OSErr ScaleTrackSegment(Track theTrack, TimeValue startTime, TimeValue oldDuration, TimeValue newDuration) {
  if (theTrack == nullptr) return PL_SetMoviesError(invalidTrack);
  if (startTime < 0 || oldDuration <= 0 || newDuration <= 0) return PL_SetMoviesError(paramErr);
  try {
    size_t first = PL_TrackSplitAt(theTrack, startTime);
    size_t last = PL_TrackSplitAt(theTrack, SInt64(startTime) + oldDuration);
    for (size_t i = first; i < last; ++i) {
      PL_Edit &e = theTrack->edits[i];
      SInt64 d = std::max<SInt64>(1, (e.trackDuration * newDuration + oldDuration / 2) / oldDuration);
      if (e.mediaTime >= 0) {
        __int128 rate = ((__int128)e.mediaRate * e.trackDuration * 2 + d) / (2 * (__int128)d);
        if (rate <= 0 || rate > std::numeric_limits<Fixed>::max()) return PL_SetMoviesError(paramErr);
        e.mediaRate = Fixed(rate);
      }
      e.trackDuration = d;
    }
  } catch (const std::bad_alloc &) {
    return PL_SetMoviesError(memFullErr);
  }
  return PL_SetMoviesError(noErr);
}

OSErr AddMediaSample(Media theMedia, Handle dataIn, SInt32 inOffset, UInt32 size, TimeValue durationPerSample,
                     SampleDescriptionHandle sampleDescriptionH, SInt32 numberOfSamples, SInt16 sampleFlags,
                     TimeValue *sampleTime) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  if (dataIn == nullptr || *dataIn == nullptr || inOffset < 0 || numberOfSamples <= 0 || durationPerSample < 0)
    return PL_SetMoviesError(paramErr);
  if (UInt64(inOffset) + size > UInt64(GetHandleSize(dataIn))) return PL_SetMoviesError(paramErr);
  TimeValue64 decodeTime = 0;
  OSErr err = AddMediaSample2(theMedia, reinterpret_cast<const UInt8 *>(*dataIn) + inOffset, size, durationPerSample, 0,
                              sampleDescriptionH, ItemCount(numberOfSamples), MediaSampleFlags(UInt16(sampleFlags)),
                              &decodeTime);
  if (err == noErr && sampleTime)
    *sampleTime = TimeValue(std::min<TimeValue64>(decodeTime, std::numeric_limits<TimeValue>::max()));
  return err;
}

OSErr AddMediaSample2(Media theMedia, const UInt8 *dataIn, ByteCount size, TimeValue64 decodeDurationPerSample,
                      TimeValue64 displayOffset, SampleDescriptionHandle sampleDescriptionH, ItemCount numberOfSamples,
                      MediaSampleFlags sampleFlags, TimeValue64 *sampleDecodeTimeOut) {
  if (theMedia == nullptr) return PL_SetMoviesError(invalidMedia);
  if (dataIn == nullptr || size == 0 || size > 0xFFFFFFFFu || numberOfSamples == 0 || numberOfSamples > 0xFFFFFFFFu ||
      decodeDurationPerSample < 0 || decodeDurationPerSample > std::numeric_limits<TimeValue>::max())
    return PL_SetMoviesError(paramErr);
  if (sampleDescriptionH == nullptr || *sampleDescriptionH == nullptr ||
      GetHandleSize(reinterpret_cast<Handle>(sampleDescriptionH)) < Size(sizeof(SampleDescription)))
    return PL_SetMoviesError(paramErr);
  if (theMedia->mediaType != SoundMediaType && size % numberOfSamples != 0) return PL_SetMoviesError(paramErr);
  SInt16 dataRefIndex = (**sampleDescriptionH).dataRefIndex;
  SInt64 offset = 0;
  OSStatus err = PL_AppendMediaData(theMedia, dataRefIndex, dataIn, size, &offset);
  if (err != noErr) return PL_SetMoviesError(err);
  SampleReference64Record record{offset, UInt32(size), TimeValue(decodeDurationPerSample), UInt32(numberOfSamples),
                                 SInt16(sampleFlags)};
  TimeValue first = 0;
  SInt64 before = theMedia->duration;
  OSErr added = AddRecord(theMedia, sampleDescriptionH, record, displayOffset, &first);
  if (added != noErr) return added;
  if (sampleDecodeTimeOut) *sampleDecodeTimeOut = before;
  return PL_SetMoviesError(noErr);
}
