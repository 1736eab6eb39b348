// Track copying and track lists.
#include "movie/track_copying.h"

#include "general/file_layer.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "platform/core/cf_string.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/compression.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/toolbox_time.h"
#include "platform/movie/track_editing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr size_t kMinCopyBuffer = 0x100000;

struct EditSpan {
  TimeValue start;
  TimeValue duration;
};

// The track's edits (empty ones too), in track order.
std::vector<EditSpan> TrackEdits(Track track) {
  std::vector<EditSpan> edits;
  TimeValue t = 0, d = 0;
  GetTrackNextInterestingTime(track, nextTimeEdgeOK | nextTimeTrackEdit, 0, fixed1, &t, &d);
  while (t >= 0 && d > 0) {
    edits.push_back(EditSpan{t, d});
    GetTrackNextInterestingTime(track, nextTimeTrackEdit, t, fixed1, &t, &d);
  }
  return edits;
}

// The track's media intervals over [begin, end) as closed media-time stretches, clipped to the media.
OSStatus CollectIntervals(Track track, TimeValue begin, TimeValue end, bool fromSamples, LL_IntervalLE **list,
                          SInt32 *frameCount) {
  Media media = GetTrackMedia(track);
  if (media == nullptr) return GetMoviesError() != noErr ? GetMoviesError() : OSStatus(invalidMedia);
  TimeValue mediaDuration = GetMediaDuration(media);
  for (const EditSpan &e : TrackEdits(track)) {
    TimeValue a = std::max(begin, e.start);
    TimeValue b = TimeValue(std::min<SInt64>(end, SInt64(e.start) + e.duration));
    if (a >= b) continue;
    TimeValue start = -1, duration = 0;
    OSStatus err = QT_TrackEditToMediaInterval(track, a, b - a, &start, &duration);
    if (err != noErr) return err;
    if (start < 0 || duration <= 0) continue;
    TimeValue last = TimeValue(std::min<SInt64>(SInt64(start) + duration, mediaDuration)) - 1;
    if (last < start) continue;
    if (fromSamples) {
      SInt32 firstNum = 0, lastNum = 0;
      TimeValue firstTime = 0, lastTime = 0, lastDuration = 0;
      MediaTimeToSampleNum(media, start, &firstNum, &firstTime, nullptr);
      MediaTimeToSampleNum(media, last, &lastNum, &lastTime, &lastDuration);
      if (firstNum < 1 || lastNum < firstNum) continue;
      start = firstTime;
      last = lastTime + lastDuration - 1;
      if (frameCount) *frameCount += lastNum - firstNum + 1;
    }
    LL_IntervalLE *element = nullptr;
    err = LL_AddNewPtr(sizeof(LL_IntervalLE), nullptr, list, &element);
    if (err != noErr) return err;
    element->start = start;
    element->end = last;
  }
  return noErr;
}

SInt64 SummedLength(const LL_IntervalLE *first) {
  SInt64 total = 0;
  for (; first != nullptr; first = first->next) total += SInt64(first->end) - first->start + 1;
  return total;
}

OSStatus MakeIntervalList(Track track, TimeValue begin, TimeValue end, Boolean reduce, bool fromSamples,
                          LL_IntervalLE **list, SInt32 *frameCount, Boolean *overlap) {
  if (list == nullptr) return paramErr;
  if (overlap) *overlap = false;
  if (frameCount) *frameCount = 0;
  OSStatus err = CollectIntervals(track, begin, end, fromSamples, list, frameCount);
  if (err != noErr || !reduce) return err;
  SInt64 before = SummedLength(*list);
  LL_OrderReduceIntervalList(list);
  if (overlap) *overlap = SummedLength(*list) < before;
  return noErr;
}

// Sample references at a media time: the first record (starting at that sample) and its description's index.
OSStatus RecordAt(Media media, TimeValue time, SampleReference64Record *record, SInt16 *dataRefIndex) {
  Handle desc = NewHandle(0);
  if (desc == nullptr) return MemError();
  SInt32 count = 0;
  OSStatus err = GetMediaSampleReferences64(media, time, nullptr, reinterpret_cast<SampleDescriptionHandle>(desc),
                                            nullptr, 1, &count, record);
  if (err == noErr && count == 0) err = invalidTime;
  if (err == noErr && dataRefIndex) *dataRefIndex = reinterpret_cast<SampleDescription *>(*desc)->dataRefIndex;
  DisposeHandle(desc);
  return err;
}

// Copies the tracks the source refers to into the target, each referenced from newTrack under the same type.
OSStatus CopyReferencedTracks(Track srcTrack, Movie targetMovie, const FSRef *targetFile, Track newTrack) {
  for (OSType type = GetNextTrackReferenceType(srcTrack, 0); type != 0; type = GetNextTrackReferenceType(srcTrack, type)) {
    SInt32 count = GetTrackReferenceCount(srcTrack, type);
    for (SInt32 i = 1; i <= count; ++i) {
      Track referenced = GetTrackReference(srcTrack, type, i);
      if (referenced == nullptr) continue;
      Track copy = nullptr;
      OSStatus err = QT_CopyTrack(referenced, targetMovie, targetFile, true, &copy);
      if (err == noErr && copy != nullptr && newTrack != nullptr) err = AddTrackReference(newTrack, copy, type, nullptr);
      if (err != noErr) return err;
    }
  }
  return noErr;
}

OSStatus Progress(MovieProgressProcPtr proc, Movie movie, SInt16 message, Fixed percent, SRefCon refCon) {
  return proc == nullptr ? OSStatus(noErr) : OSStatus(proc(movie, message, progressOpCopy, percent, refCon));
}

}  // namespace

// ---- Track lists ----

OSStatus QT_GetTrackList(Movie movie, QT_TrackLE **first) {
  if (first == nullptr) return paramErr;
  if (movie == nullptr) return invalidMovie;
  SInt32 count = GetMovieTrackCount(movie);
  for (SInt32 i = 1; i <= count; ++i) {
    Track track = GetMovieIndTrack(movie, i);
    if (track == nullptr) break;
    QT_TrackLE *element = nullptr;
    OSStatus err = LL_AddNewPtr(sizeof(QT_TrackLE), nullptr, first, &element);
    if (err != noErr) return err;
    element->track = track;
    element->index = i;
    element->ID = GetTrackID(track);
    element->layer = GetTrackLayer(track);
    element->enabled = GetTrackEnabled(track);
    err = QT_GetTrackType(track, &element->mediaType);
    if (err == noErr) err = QT_GetMediaCharacteristic(track, &element->mediaCharacteristic);
    if (err != noErr) return err;
  }
  for (QT_TrackLE *e = *first; e != nullptr; e = e->next) {
    for (OSType type = GetNextTrackReferenceType(e->track, 0); type != 0;
         type = GetNextTrackReferenceType(e->track, type)) {
      SInt32 refs = GetTrackReferenceCount(e->track, type);
      for (SInt32 r = 1; r <= refs; ++r) {
        Track referenced = GetTrackReference(e->track, type, r);
        for (QT_TrackLE *target = *first; target != nullptr; target = target->next) {
          if (target->track != referenced || target->isRefTrack) continue;
          target->isRefTrack = true;
          target->refType = type;
        }
      }
    }
  }
  return noErr;
}

QT_TrackLE *QT_FindReferencingTrack(QT_TrackLE *first, const QT_TrackLE *element) {
  if (element == nullptr || element->refType == 0) return nullptr;
  for (QT_TrackLE *e = first; e != nullptr; e = e->next) {
    SInt32 refs = GetTrackReferenceCount(e->track, element->refType);
    for (SInt32 r = 1; r <= refs; ++r)
      if (GetTrackReference(e->track, element->refType, r) == element->track) return e;
  }
  return nullptr;
}

Boolean QT_TrackReferencedByAnyTrackOfType(QT_TrackLE *first, const QT_TrackLE *element, OSType type,
                                           OSType characteristic) {
  if (element == nullptr || element->refType == 0) return false;
  for (QT_TrackLE *e = first; e != nullptr; e = e->next) {
    if (e->mediaType != type && e->mediaCharacteristic != characteristic) continue;
    SInt32 refs = GetTrackReferenceCount(e->track, element->refType);
    for (SInt32 r = 1; r <= refs; ++r)
      if (GetTrackReference(e->track, element->refType, r) == element->track) return true;
  }
  return false;
}

// ---- Copying tracks and media ----

OSStatus QT_CopyTrack(Track srcTrack, Movie targetMovie, const FSRef *targetFile, Boolean copyData, Track *newTrack) {
  if (newTrack) *newTrack = nullptr;
  if ((copyData || targetMovie == nullptr) && (targetFile == nullptr || !GL_FSRefValid(targetFile))) return paramErr;
  Media srcMedia = GetTrackMedia(srcTrack);
  if (srcMedia == nullptr) return GetMoviesError();
  Movie opened = nullptr;
  OSStatus err = noErr;
  if (targetMovie == nullptr) {
    err = QT_OpenMovieFile(targetFile, 0, &opened);
    if (err != noErr) return err;
    targetMovie = opened;
  }
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  if (!copyData) {
    err = GetMediaDataRef(srcMedia, 1, &dataRef, &dataRefType, nullptr);
    // Samples that no file names (a stream inside a multiplexed file) cannot be referred to: they are copied.
    if (err == noErr && dataRefType != rAliasType && dataRefType != URLDataHandlerSubType && targetFile != nullptr &&
        GL_FSRefValid(targetFile)) {
      DisposeHandle(dataRef);
      dataRef = nullptr;
      copyData = true;
    }
  }
  if (copyData) err = QTNewDataReferenceFromFSRef(targetFile, 0, &dataRef, &dataRefType);
  Track track = nullptr;
  if (err == noErr) err = AddEmptyTrackToMovie(srcTrack, targetMovie, dataRef, dataRefType, &track);
  if (dataRef != nullptr) DisposeHandle(dataRef);
  if (err == noErr) {
    Media media = GetTrackMedia(track);
    if (copyData) err = BeginMediaEdits(media);
    if (err == noErr) err = InsertTrackSegment(srcTrack, track, 0, GetTrackDuration(srcTrack), 0);
    if (copyData) {
      OSStatus endErr = EndMediaEdits(media);
      if (err == noErr) err = endErr;
    }
  }
  // A track whose copy failed is taken out again: left empty or cut short it would spoil the movie.
  if (err != noErr && track != nullptr) DisposeMovieTrack(track);
  if (opened != nullptr) {
    if (err == noErr) {
      Boolean saved = true;
      err = QT_SaveMovie(opened, targetFile, &saved);
    }
    QT_DisposeMovie(&opened);
    return err;
  }
  if (err == noErr && newTrack) *newTrack = track;
  return err;
}

OSStatus QT_CopyTrackTotally(Track srcTrack, Movie targetMovie, Boolean copyData, const FSRef *targetFile,
                             Track *newTrack) {
  Track track = nullptr;
  OSStatus err = QT_CopyTrack(srcTrack, targetMovie, targetFile, copyData, &track);
  if (newTrack) *newTrack = track;
  if (err != noErr || targetMovie == nullptr) return err;
  return CopyReferencedTracks(srcTrack, targetMovie, targetFile, track);
}

OSStatus QT_CopyTrackTotallyWithProgress(Track srcTrack, Movie targetMovie, const FSRef *targetFile, Track *newTrack,
                                         MovieProgressProcPtr progressProc, SRefCon refCon) {
  if (newTrack) *newTrack = nullptr;
  if (targetMovie == nullptr) return invalidMovie;
  if (targetFile == nullptr || !GL_FSRefValid(targetFile)) return paramErr;
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSStatus err = QTNewDataReferenceFromFSRef(targetFile, 0, &dataRef, &dataRefType);
  if (err != noErr) return err;
  Track track = nullptr;
  err = AddEmptyTrackToMovie(srcTrack, targetMovie, dataRef, dataRefType, &track);
  DisposeHandle(dataRef);
  if (err != noErr) return err;
  err = QT_CopyTrackWithProgress(srcTrack, track, progressProc, refCon);
  if (err == noErr) err = CopyReferencedTracks(srcTrack, targetMovie, targetFile, track);
  // A copy that failed or stopped short (a full disk, a cancel) takes its track away again: an empty or
  // shortened track would spoil the movie it is saved in, or pass for the whole sound.
  if (err != noErr) {
    DisposeMovieTrack(track);
    return err;
  }
  if (newTrack) *newTrack = track;
  return noErr;
}

OSStatus QT_CopyTrackWithProgress(Track srcTrack, Track dstTrack, MovieProgressProcPtr progressProc, SRefCon refCon) {
  Media srcMedia = GetTrackMedia(srcTrack), dstMedia = GetTrackMedia(dstTrack);
  if (srcMedia == nullptr || dstMedia == nullptr) return GetMoviesError() != noErr ? GetMoviesError() : OSStatus(invalidMedia);
  OSStatus err = QT_CopyMediaWithProgress(srcMedia, dstMedia, progressProc, refCon);
  if (err != noErr) return err;
  TimeScale srcScale = GetMovieTimeScale(GetTrackMovie(srcTrack));
  TimeScale dstScale = GetMovieTimeScale(GetTrackMovie(dstTrack));
  TimeScale mediaScale = GetMediaTimeScale(srcMedia);
  SInt64 displayDuration = GetMediaDisplayDuration(srcMedia);
  for (const EditSpan &e : TrackEdits(srcTrack)) {
    TimeValue mediaStart = TrackTimeToMediaTime(e.start, srcTrack);
    if (mediaStart == -1) continue;  // an empty edit
    Fixed rate = GetTrackEditRate64(srcTrack, e.start);
    // The end follows from the edit itself: the track time behind the edit may show other media.
    __int128 span = (__int128)e.duration * mediaScale * rate;
    __int128 den = (__int128)srcScale * 65536;
    SInt64 mediaEnd = std::min<SInt64>(mediaStart + SInt64((span + den / 2) / den), displayDuration);
    if (mediaEnd <= mediaStart) continue;
    SInt64 target = srcScale > 0 ? (SInt64(e.start) * dstScale + srcScale / 2) / srcScale : 0;
    target = std::max<SInt64>(target, GetTrackDuration(dstTrack));
    if (target > std::numeric_limits<TimeValue>::max() || mediaEnd - mediaStart > std::numeric_limits<TimeValue>::max())
      return paramErr;
    err = QT_InsertMediaIntoTrack(dstTrack, TimeValue(target), mediaStart, TimeValue(mediaEnd - mediaStart), rate);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus QT_CopyMediaWithProgress(Media srcMedia, Media dstMedia, MovieProgressProcPtr progressProc, SRefCon refCon) {
  if (srcMedia == nullptr || dstMedia == nullptr) return invalidMedia;
  Movie movie = GetTrackMovie(GetMediaTrack(dstMedia));
  SInt64 dataSize = 0;
  OSStatus err = GetMediaDataSizeTime64(srcMedia, GetMediaDisplayStartTime(srcMedia),
                                        GetMediaDisplayDuration(srcMedia), &dataSize);
  if (err != noErr) return err;
  std::vector<UInt8> buffer;
  Handle desc = NewHandle(0);
  if (desc == nullptr) return MemError();
  auto descH = reinterpret_cast<SampleDescriptionHandle>(desc);
  try {
    buffer.resize(kMinCopyBuffer);
  } catch (const std::bad_alloc &) {
    DisposeHandle(desc);
    return memFullErr;
  }
  err = BeginMediaEdits(dstMedia);
  if (err == noErr) err = Progress(progressProc, movie, movieProgressOpen, 0, refCon);
  SInt64 copied = 0;
  ItemCount limit = 0;
  TimeValue64 decodeTime = 0, decodeEnd = GetMediaDecodeDuration(srcMedia);
  while (err == noErr && copied < dataSize && decodeTime < decodeEnd) {
    ByteCount size = 0;
    TimeValue64 sampleTime = 0, duration = 0, displayOffset = 0;
    ItemCount descIndex = 0, count = 0;
    MediaSampleFlags flags = 0;
    err = GetMediaSample2(srcMedia, buffer.data(), buffer.size(), &size, decodeTime, &sampleTime, &duration,
                          &displayOffset, descH, &descIndex, limit, &count, &flags);
    if (err == maxSizeToGrowTooSmall) {
      // Grow to what the run needs, and read no more samples at a time from now on.
      try {
        buffer.resize(size);
      } catch (const std::bad_alloc &) {
        err = memFullErr;
        break;
      }
      limit = count;
      continue;
    }
    if (err != noErr) break;
    (**descH).dataRefIndex = 1;
    err = AddMediaSample2(dstMedia, buffer.data(), size, duration, displayOffset, descH, count, flags, nullptr);
    if (err != noErr) break;
    copied += SInt64(size);
    decodeTime = sampleTime + duration * TimeValue64(count);
    Fixed done = dataSize > 0 ? Fixed(std::min<SInt64>(fixed1, (copied * fixed1) / dataSize)) : fixed1;
    err = Progress(progressProc, movie, movieProgressUpdatePercent, done, refCon);
  }
  if (err == noErr) err = Progress(progressProc, movie, movieProgressClose, fixed1, refCon);
  // The samples added so far keep their data in a finished 'mdat', also when the copy stops early.
  OSStatus endErr = EndMediaEdits(dstMedia);
  if (err == noErr) err = endErr;
  DisposeHandle(desc);
  return err;
}

OSStatus QT_CopyMedia(Media oldMedia, Media newMedia, TimeValue begin, TimeValue end) {
  if (oldMedia == nullptr || newMedia == nullptr) return invalidMedia;
  TimeValue duration = GetMediaDuration(oldMedia);
  if (end == 0x7FFFFFFF || end > duration) end = duration;
  if (begin < 0) return paramErr;
  if (end <= begin) return noErr;
  SInt32 count = 0, largest = 0, smallest = 0;
  float average = 0, rate = 0;
  OSStatus err = QT_GetMediaPartInfo(oldMedia, begin, end, &count, &largest, &smallest, &average, &rate);
  if (err != noErr) return err;
  Handle data = NewHandle(Size(std::max<size_t>(kMinCopyBuffer, size_t(std::max(largest, 0)))));
  Handle desc = NewHandle(0);
  if (data == nullptr || desc == nullptr) {
    if (data) DisposeHandle(data);
    if (desc) DisposeHandle(desc);
    return memFullErr;
  }
  auto descH = reinterpret_cast<SampleDescriptionHandle>(desc);
  err = BeginMediaEdits(newMedia);
  TimeValue t = begin;
  while (err == noErr && t < end) {
    TimeValue sampleTime = 0, each = 0;
    SInt32 available = 0;
    err = GetMediaSample(oldMedia, nullptr, 0, nullptr, t, &sampleTime, &each, nullptr, nullptr, 0x7FFFFFFF, &available,
                         nullptr);
    if (err != noErr || each <= 0) break;
    // A sample cut by begin or end goes alone with the part of its duration inside; whole ones in runs.
    SInt32 n = 1;
    TimeValue inside = each;
    if (sampleTime < t || SInt64(sampleTime) + each > end) {
      inside = TimeValue(std::min<SInt64>(SInt64(sampleTime) + each, end) - std::max(sampleTime, t));
    } else {
      n = SInt32(std::min<SInt64>(available, (SInt64(end) - sampleTime) / each));
    }
    SInt32 size = 0, got = 0;
    SInt16 flags = 0;
    err = GetMediaSample(oldMedia, data, 0, &size, t, nullptr, nullptr, descH, nullptr, n, &got, &flags);
    if (err != noErr) break;
    (**descH).dataRefIndex = 1;
    err = AddMediaSample(newMedia, data, 0, UInt32(size), inside, descH, got, flags, nullptr);
    SInt64 next = inside != each ? std::min<SInt64>(SInt64(sampleTime) + each, end) : SInt64(sampleTime) + SInt64(each) * got;
    t = TimeValue(std::max<SInt64>(next, SInt64(t) + 1));
  }
  OSStatus endErr = EndMediaEdits(newMedia);
  if (err == noErr) err = endErr;
  DisposeHandle(data);
  DisposeHandle(desc);
  return err;
}

OSStatus QT_CopyMediaWithUpdate(Media srcMedia, TimeValue begin, TimeValue end, Movie targetMovie,
                                const FSRef *targetFile, Track targetTrack, Media targetMedia, Boolean *saved) {
  if (targetMovie == nullptr) return invalidMovie;
  if (targetTrack == nullptr) return invalidTrack;
  if (saved == nullptr || targetFile == nullptr || !GL_FSRefValid(targetFile)) return paramErr;
  if (targetMedia == nullptr || GetTrackMedia(targetTrack) != targetMedia || GetTrackMovie(targetTrack) != targetMovie)
    return paramErr;
  TimeValue before = GetMediaDuration(targetMedia);
  OSStatus err = QT_CopyMedia(srcMedia, targetMedia, begin, end);
  if (err != noErr) return err;
  TimeValue added = GetMediaDuration(targetMedia) - before;
  if (added > 0) err = QT_InsertMediaIntoTrack(targetTrack, GetTrackDuration(targetTrack), before, added, fixed1);
  if (err == noErr) err = QT_SaveMovie(targetMovie, targetFile, saved);
  return err;
}

namespace {

// Lets the main thread's events run between the steps of a long copy, as the event loop would.
void LetEventsRun() {
  if (PL_IsMainThread()) PL_DispatchPendingEvents(nullptr);
}

// The movie of the file and its first video track.
OSStatus OpenVideoSource(const FSRef *sourceFile, Movie *movie, Track *video) {
  *movie = nullptr;
  *video = nullptr;
  if (sourceFile == nullptr || !GL_FSRefValid(sourceFile)) return paramErr;
  OSStatus err = QT_OpenMovieFile(sourceFile, 0, movie);
  if (err != noErr) return err;
  *video = GetMovieIndTrackType(*movie, 1, VideoMediaType, movieTrackMediaType);
  if (*video == nullptr || GetTrackMedia(*video) == nullptr) {
    QT_DisposeMovie(movie);
    return invalidTrack;
  }
  return noErr;
}

// A new video track in the movie like the source's (its size, its media's time scale), its data in the file.
OSStatus NewVideoTrackLike(Track video, Movie movie, const FSRef *file, Track *track, Media *media) {
  Fixed width = 0, height = 0;
  GetTrackDimensions(video, &width, &height);
  return QT_NewVideoTrack(movie, file, Fix2Long(height), Fix2Long(width), GetMediaTimeScale(GetTrackMedia(video)),
                          track, media);
}

}  // namespace

OSStatus QT_CopyVideoFileToMedia(const FSRef *sourceFile, TimeValue begin, TimeValue end, Movie targetMovie,
                                 const FSRef *targetFile, Track targetTrack, Media targetMedia, Boolean *saved) {
  Movie source = nullptr;
  Track video = nullptr;
  OSStatus err = OpenVideoSource(sourceFile, &source, &video);
  if (err != noErr) return err;
  err = QT_CopyMediaWithUpdate(GetTrackMedia(video), begin, end, targetMovie, targetFile, targetTrack, targetMedia,
                               saved);
  QT_DisposeMovie(&source);
  return err;
}

OSStatus QT_CopyVideoFileToMovieFile(const FSRef *sourceFile, TimeValue begin, TimeValue end, const FSRef *targetFile) {
  if (targetFile == nullptr || !GL_FSRefValid(targetFile)) return paramErr;
  Movie source = nullptr, target = nullptr;
  Track video = nullptr;
  OSStatus err = OpenVideoSource(sourceFile, &source, &video);
  if (err != noErr) return err;
  LetEventsRun();
  err = QT_OpenMovieFile(targetFile, 0, &target);
  Track track = nullptr;
  Media media = nullptr;
  if (err == noErr) err = NewVideoTrackLike(video, target, targetFile, &track, &media);
  LetEventsRun();
  // The file holds its movie already: saving updates it.
  Boolean saved = true;
  if (err == noErr)
    err = QT_CopyMediaWithUpdate(GetTrackMedia(video), begin, end, target, targetFile, track, media, &saved);
  LetEventsRun();
  QT_DisposeMovie(&target);
  QT_DisposeMovie(&source);
  return err;
}

OSStatus QT_CopyVideoFileToNewFile(const FSRef *sourceFile, TimeValue begin, TimeValue end, const FSRef *parent,
                                   CFStringRef name, FSRef *newFile) {
  if (newFile) std::memset(newFile, 0, sizeof(FSRef));
  if (parent == nullptr || !GL_FSRefValid(parent) || name == nullptr) return paramErr;
  Movie source = nullptr;
  Track video = nullptr;
  OSStatus err = OpenVideoSource(sourceFile, &source, &video);
  if (err != noErr) return err;
  // Creating the new file replaces a file of that name: never the source that is being read.
  std::string sourcePath, parentPath;
  char nameBytes[1024];
  if (PL_FSRefMakePathString(sourceFile, &sourcePath) != noErr || PL_FSRefMakePathString(parent, &parentPath) != noErr ||
      !CFStringGetCString(name, nameBytes, sizeof(nameBytes), kCFStringEncodingUTF8)) {
    QT_DisposeMovie(&source);
    return paramErr;
  }
  // Both paths come resolved from their FSRefs.
  if (sourcePath == parentPath + "/" + nameBytes) {
    QT_DisposeMovie(&source);
    return paramErr;
  }
  LetEventsRun();
  FSRef file;
  Movie target = nullptr;
  err = QT_CreateMovieFile(parent, name, 0, SInt32(createMovieFileDeleteCurFile), &file, &target);
  if (err != noErr) {
    QT_DisposeMovie(&source);
    return err;
  }
  Track track = nullptr;
  Media media = nullptr;
  err = NewVideoTrackLike(video, target, &file, &track, &media);
  LetEventsRun();
  Boolean saved = false;
  if (err == noErr)
    err = QT_CopyMediaWithUpdate(GetTrackMedia(video), begin, end, target, &file, track, media, &saved);
  LetEventsRun();
  QT_DisposeMovie(&target);
  QT_DisposeMovie(&source);
  if (err != noErr) {
    QT_DeleteMovieFile(&file);
    return err;
  }
  if (newFile) *newFile = file;
  return noErr;
}

// ---- Copying sample references ----

namespace {

struct ReferenceBatch {
  std::vector<UInt8> desc;
  std::vector<SampleReference64Record> records;
};

// The references of the samples that overlap [begin, end) of the old media appended to the new media, whole
// samples each, data reference indices mapped through the table (made here when NULL). With limit32 nothing
// is added when a record's data lies beyond what 32-bit references hold.
OSStatus CopyReferences(Media oldMedia, Media newMedia, TimeValue begin, TimeValue end, const SInt16 *table,
                        bool limit32, TimeValue *firstTime) {
  if (oldMedia == nullptr || newMedia == nullptr) return invalidMedia;
  if (begin < 0) return paramErr;
  TimeValue duration = GetMediaDuration(oldMedia);
  if (end == 0x7FFFFFFF || end > duration) end = duration;
  if (end <= begin) return noErr;
  SInt16 refCount = 0;
  OSStatus err = GetMediaDataRefCount(oldMedia, &refCount);
  if (err != noErr) return err;
  SInt16 *made = nullptr;
  if (table == nullptr) {
    err = QT_CopyDataReferencesIfNeeded(oldMedia, newMedia, &made);
    if (err != noErr) return err;
    table = made;
  }
  Handle desc = NewHandle(0);
  if (desc == nullptr) {
    if (made) DisposePtr(reinterpret_cast<Ptr>(made));
    return MemError();
  }
  auto descH = reinterpret_cast<SampleDescriptionHandle>(desc);
  std::vector<ReferenceBatch> batches;
  constexpr SInt32 kRecords = 64;
  SampleReference64Record records[kRecords];
  try {
    TimeValue t = begin;
    while (err == noErr && t < end) {
      TimeValue sampleTime = 0;
      SInt32 count = 0;
      err = GetMediaSampleReferences64(oldMedia, t, &sampleTime, descH, nullptr, kRecords, &count, records);
      if (err != noErr || count == 0) break;
      SInt16 index = (**descH).dataRefIndex == 0 ? SInt16(1) : (**descH).dataRefIndex;
      if (table == nullptr || index < 1 || index > refCount || table[index - 1] < 1) {
        err = badDataRefIndex;
        break;
      }
      ReferenceBatch batch;
      SInt64 at = sampleTime;
      for (SInt32 i = 0; i < count && at < end; ++i) {
        SampleReference64Record r = records[i];
        SInt64 d = r.durationPerSample;
        if (d > 0 && at + d * SInt64(r.numberOfSamples) > end) {
          // Only the samples that begin before the end.
          UInt32 keep = UInt32((SInt64(end) - at + d - 1) / d);
          r.dataSize = UInt32(UInt64(r.dataSize) * keep / r.numberOfSamples);
          r.numberOfSamples = keep;
        }
        if (limit32 && (r.dataOffset > 0x7FFFFFFF || r.dataOffset + SInt64(r.dataSize) > 0x7FFFFFFF)) {
          err = fileBoundsErr;
          break;
        }
        batch.records.push_back(r);
        at += d * SInt64(r.numberOfSamples);
      }
      if (err != noErr) break;
      batch.desc.assign(reinterpret_cast<UInt8 *>(*desc), reinterpret_cast<UInt8 *>(*desc) + GetHandleSize(desc));
      reinterpret_cast<SampleDescription *>(batch.desc.data())->dataRefIndex = table[index - 1];
      batches.push_back(std::move(batch));
      // Zero-length samples alone cannot move the time on.
      t = TimeValue(std::max<SInt64>(at, SInt64(t) + 1));
    }
  } catch (const std::bad_alloc &) {
    err = memFullErr;
  }
  bool first = true;
  for (size_t b = 0; err == noErr && b < batches.size(); ++b) {
    if (batches[b].records.empty()) continue;
    SetHandleSize(desc, Size(batches[b].desc.size()));
    err = MemError();
    if (err != noErr) break;
    std::memcpy(*desc, batches[b].desc.data(), batches[b].desc.size());
    TimeValue added = 0;
    err = AddMediaSampleReferences64(newMedia, descH, SInt32(batches[b].records.size()), batches[b].records.data(),
                                     &added);
    if (err == noErr && first && firstTime) *firstTime = added;
    first = false;
  }
  DisposeHandle(desc);
  if (made) DisposePtr(reinterpret_cast<Ptr>(made));
  return err;
}

}  // namespace

OSStatus QT_CopyMediaByReference(Media oldMedia, Media newMedia, TimeValue begin, TimeValue end,
                                 const SInt16 *dataRefIndexTable) {
  return CopyReferences(oldMedia, newMedia, begin, end, dataRefIndexTable, true, nullptr);
}

OSStatus QT_CopyMediaByReference64(Media oldMedia, Media newMedia, TimeValue begin, TimeValue end,
                                   const SInt16 *dataRefIndexTable) {
  return CopyReferences(oldMedia, newMedia, begin, end, dataRefIndexTable, false, nullptr);
}

OSStatus QT_CopySoundMediaByReference64(TimeValue start, TimeValue end, Media oldMedia, Media newMedia) {
  if (oldMedia == nullptr || newMedia == nullptr) return invalidMedia;
  OSType type = 0;
  GetMediaHandlerDescription(oldMedia, &type, nullptr, nullptr);
  if (type != SoundMediaType) return invalidMedia;
  return CopyReferences(oldMedia, newMedia, start, end, nullptr, false, nullptr);
}

OSStatus QT_CopyMediaSampleReference(Media oldMedia, Media newMedia, TimeValue time, TimeValue *sampleTime) {
  if (oldMedia == nullptr || newMedia == nullptr) return invalidMedia;
  if (time < 0 || time >= GetMediaDuration(oldMedia)) return invalidTime;
  TimeValue added = -1;
  OSStatus err = CopyReferences(oldMedia, newMedia, time, time + 1, nullptr, false, &added);
  if (err == noErr && sampleTime) *sampleTime = added;
  return err;
}

OSStatus QT_AddMediaSampleReference64(Media media, SInt64 dataOffset, UInt32 size, TimeValue durationPerSample,
                                      SampleDescriptionHandle desc, UInt32 numberOfSamples, SInt16 flags,
                                      TimeValue *sampleTime) {
  SampleReference64Record record{dataOffset, size, durationPerSample, numberOfSamples, flags};
  return AddMediaSampleReferences64(media, desc, 1, &record, sampleTime);
}

// ---- New tracks ----

namespace {

OSStatus NewTrackWithMedia(Movie movie, const FSRef *movieFile, Fixed width, Fixed height, SInt16 volume,
                           OSType mediaType, TimeScale timeScale, Track *track, Media *media) {
  if (track == nullptr || media == nullptr) return paramErr;
  *track = nullptr;
  *media = nullptr;
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  if (movieFile != nullptr) {
    OSStatus err = QTNewDataReferenceFromFSRef(movieFile, 0, &dataRef, &dataRefType);
    if (err != noErr) return err;
  }
  Track t = NewMovieTrack(movie, width, height, volume);
  OSStatus err = GetMoviesError();
  Media m = nullptr;
  if (t != nullptr) {
    m = NewTrackMedia(t, mediaType, timeScale, dataRef, dataRefType);
    err = GetMoviesError();
    if (m == nullptr) DisposeMovieTrack(t);
  }
  if (dataRef != nullptr) DisposeHandle(dataRef);
  if (err != noErr) return err;
  *track = t;
  *media = m;
  return noErr;
}

}  // namespace

OSStatus QT_NewVideoTrack(Movie movie, const FSRef *movieFile, SInt32 height, SInt32 width, TimeScale timeScale,
                          Track *track, Media *media) {
  return NewTrackWithMedia(movie, movieFile, Long2Fix(width), Long2Fix(height), 0, VideoMediaType, timeScale, track,
                           media);
}

OSStatus QT_NewSoundTrack(Movie movie, const FSRef *movieFile, TimeScale timeScale, Track *track, Media *media) {
  return NewTrackWithMedia(movie, movieFile, 0, 0, 0x100, SoundMediaType, timeScale, track, media);
}

// ---- Enabling tracks ----

OSStatus QT_EnableOneTrack(Movie movie, Track track) {
  if (movie == nullptr) return invalidMovie;
  for (SInt32 i = 1; i <= GetMovieTrackCount(movie); ++i) {
    Track each = GetMovieIndTrack(movie, i);
    SetTrackEnabled(each, each == track);
  }
  return GetMoviesError();
}

OSStatus QT_EnableAllTracks(Movie movie, Boolean enable) {
  if (movie == nullptr) return invalidMovie;
  for (SInt32 i = 1; i <= GetMovieTrackCount(movie); ++i) SetTrackEnabled(GetMovieIndTrack(movie, i), enable);
  return GetMoviesError();
}

OSStatus QT_EnableAllTracksOfType(Movie movie, OSType type, SInt32 flags, Boolean enable) {
  if (movie == nullptr) return invalidMovie;
  if (flags == 0) flags = movieTrackMediaType;
  // Collected first: disabling changes what a search for enabled tracks finds.
  std::vector<Track> tracks;
  for (SInt32 i = 1;; ++i) {
    Track t = GetMovieIndTrackType(movie, i, type, flags);
    if (t == nullptr) break;
    tracks.push_back(t);
  }
  for (Track t : tracks) SetTrackEnabled(t, enable);
  return noErr;
}

OSStatus QT_DisableTextAndTimeCodeTracks(Movie movie) {
  OSStatus err = QT_EnableAllTracksOfType(movie, TimeCodeMediaType, movieTrackMediaType, false);
  if (err == noErr) err = QT_EnableAllTracksOfType(movie, TextMediaType, movieTrackMediaType, false);
  return err;
}

OSStatus QT_RestoreAllTracksEnabledState(Movie movie, QT_TrackEnabledStateLE *saved, OSType type, SInt32 flags) {
  if (movie == nullptr) return invalidMovie;
  if (flags == 0) flags = movieTrackMediaType;
  std::vector<Track> tracks;
  for (SInt32 i = 1;; ++i) {
    Track t = type == 0 ? (i <= GetMovieTrackCount(movie) ? GetMovieIndTrack(movie, i) : nullptr)
                        : GetMovieIndTrackType(movie, i, type, flags);
    if (t == nullptr) break;
    tracks.push_back(t);
  }
  for (Track t : tracks)
    for (QT_TrackEnabledStateLE *s = saved; s != nullptr; s = s->next)
      if (s->track == t) SetTrackEnabled(t, s->enabled);
  return noErr;
}

// ---- Edits ----

OSStatus QT_InsertEmptyMovieSegment(Movie movie, OSType mediaType, TimeValue time, TimeValue duration) {
  if (movie == nullptr) return invalidMovie;
  for (SInt32 i = 1;; ++i) {
    Track t = GetMovieIndTrackType(movie, i, mediaType, movieTrackMediaType);
    if (t == nullptr) break;
    OSStatus err = InsertEmptyTrackSegment(t, time, duration);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus QT_SetTrackContentToEntireMedia(Track track) {
  Media media = GetTrackMedia(track);
  if (media == nullptr) return GetMoviesError();
  OSStatus err = DeleteTrackSegment(track, 0, GetTrackDuration(track));
  if (err == noErr) err = InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1);
  return err;
}

OSStatus QT_AddEmptyTrackEdits(Track track, QT_IndTimeIntvl *first) {
  for (; first != nullptr; first = first->next) {
    OSStatus err = InsertEmptyTrackSegment(track, first->begin, first->duration);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus QT_InsertMediaIntoTrack(Track track, TimeValue trackTime, TimeValue mediaTime, TimeValue mediaDuration,
                                 Fixed rate) {
  TimeValue end = GetTrackDuration(track);
  OSStatus err = GetMoviesError();
  if (err == noErr && trackTime > end) err = InsertEmptyTrackSegment(track, end, trackTime - end);
  if (err == noErr) err = InsertMediaIntoTrack(track, trackTime, mediaTime, mediaDuration, rate);
  return err;
}

OSStatus QT_InsertLongMediaIntoTrack(Track track, TimeValue trackTime, TimeValue mediaTime, TimeValue mediaDuration) {
  TimeValue before = GetTrackDuration(track);
  OSStatus err = InsertMediaIntoTrack(track, trackTime, mediaTime, mediaDuration, fixed1);
  if (err != noErr) return err;
  TimeValue grown = GetTrackDuration(track) - before;
  TimeScale mediaScale = GetMediaTimeScale(GetTrackMedia(track));
  TimeScale movieScale = GetMovieTimeScale(GetTrackMovie(track));
  if (grown <= 0 || mediaScale <= 0) return noErr;
  SInt64 wanted = (SInt64(mediaDuration) * movieScale + mediaScale / 2) / mediaScale;
  if (wanted <= 0 || wanted > std::numeric_limits<TimeValue>::max()) return paramErr;
  return ScaleTrackSegment(track, trackTime, grown, TimeValue(wanted));
}

namespace {

// A time of one scale in another, rounded to nearest.
SInt64 ConvertTime(SInt64 value, TimeScale from, TimeScale to) {
  if (from <= 0) return 0;
  __int128 v = (__int128)value * to;
  return SInt64(v >= 0 ? (v + from / 2) / from : -((-v + from / 2) / from));
}

}  // namespace

OSStatus QT_AddTrackEditsFromSourceMovie(Movie srcMovie, Track dstTrack, Boolean doubleDuration) {
  if (srcMovie == nullptr) return invalidMovie;
  Media media = GetTrackMedia(dstTrack);
  if (media == nullptr) return GetMoviesError() != noErr ? GetMoviesError() : OSStatus(invalidTrack);
  TimeScale movieScale = GetMovieTimeScale(srcMovie), mediaScale = GetMediaTimeScale(media);
  SInt64 factor = doubleDuration ? 2 : 1;
  OSType eyes = VisualMediaCharacteristic;
  TimeValue t = -1, d = 0;
  GetMovieNextInterestingTime(srcMovie, nextTimeStep | nextTimeEdgeOK, 1, &eyes, 0, fixed1, &t, &d);
  while (t >= 0 && d > 0) {
    // Both ends converted, so that rounding does not add up over the frames.
    SInt64 m0 = ConvertTime(t, movieScale, mediaScale) * factor;
    SInt64 m1 = ConvertTime(SInt64(t) + d, movieScale, mediaScale) * factor;
    if (m1 > std::numeric_limits<TimeValue>::max()) return paramErr;
    if (m1 > m0) {
      OSStatus err = QT_InsertMediaIntoTrack(dstTrack, GetTrackDuration(dstTrack), TimeValue(m0), TimeValue(m1 - m0),
                                             fixed1);
      if (err != noErr) return err;
    }
    GetMovieNextInterestingTime(srcMovie, nextTimeStep, 1, &eyes, t, fixed1, &t, &d);
  }
  return noErr;
}

OSStatus QT_CopyTrackEditsUsingMediaIntervalList(Track srcTrack, Track dstTrack, LL_IntervalLE *intervals,
                                                 Boolean doubleDuration) {
  Media srcMedia = GetTrackMedia(srcTrack), dstMedia = GetTrackMedia(dstTrack);
  if (srcMedia == nullptr || dstMedia == nullptr)
    return GetMoviesError() != noErr ? GetMoviesError() : OSStatus(invalidTrack);
  TimeScale srcMovieScale = GetMovieTimeScale(GetTrackMovie(srcTrack));
  TimeScale dstMovieScale = GetMovieTimeScale(GetTrackMovie(dstTrack));
  TimeScale srcScale = GetMediaTimeScale(srcMedia), dstScale = GetMediaTimeScale(dstMedia);
  SInt64 mediaDuration = GetMediaDuration(srcMedia);
  SInt64 factor = doubleDuration ? 2 : 1;
  for (const EditSpan &e : TrackEdits(srcTrack)) {
    TimeValue mediaStart = TrackTimeToMediaTime(e.start, srcTrack);
    if (mediaStart == -1) continue;  // an empty edit: the gap before the next one stays
    Fixed rate = GetTrackEditRate64(srcTrack, e.start);
    if (rate <= 0) return paramErr;
    __int128 span = (__int128)e.duration * srcScale * rate;
    __int128 den = (__int128)srcMovieScale * 65536;
    SInt64 mediaEnd = std::min<SInt64>(mediaStart + SInt64((span + den / 2) / den), mediaDuration);
    // The interval that holds the edit's media, and where it begins in the target's media.
    SInt64 base = 0;
    const LL_IntervalLE *holder = nullptr;
    for (const LL_IntervalLE *i = intervals; i != nullptr; i = i->next) {
      if (mediaStart >= i->start && mediaStart <= i->end) {
        holder = i;
        break;
      }
      base += SInt64(i->end) - i->start + 1;
    }
    // The edit's stretch as the interval lists see it must lie in the interval; the played stretch is
    // kept inside it, so that rounding never reaches into the next interval's media.
    TimeValue used = -1, usedDuration = 0;
    OSStatus err = QT_TrackEditToMediaInterval(srcTrack, e.start, e.duration, &used, &usedDuration);
    if (err != noErr) return err;
    SInt64 lastUsed = std::min<SInt64>(SInt64(used) + usedDuration, mediaDuration) - 1;
    if (holder == nullptr || lastUsed > holder->end) return paramErr;
    mediaEnd = std::min<SInt64>(mediaEnd, SInt64(holder->end) + 1);
    if (mediaEnd <= mediaStart) continue;
    SInt64 t0 = ConvertTime(base + mediaStart - holder->start, srcScale, dstScale) * factor;
    SInt64 t1 = ConvertTime(base + mediaEnd - holder->start, srcScale, dstScale) * factor;
    // Doubled media plays twice as long: its track times (and so the gaps between edits) double too.
    SInt64 target =
        std::max<SInt64>(ConvertTime(e.start, srcMovieScale, dstMovieScale) * factor, GetTrackDuration(dstTrack));
    if (t1 > std::numeric_limits<TimeValue>::max() || target > std::numeric_limits<TimeValue>::max()) return paramErr;
    if (t1 <= t0) continue;
    err = QT_InsertMediaIntoTrack(dstTrack, TimeValue(target), TimeValue(t0), TimeValue(t1 - t0), rate);
    if (err != noErr) return err;
  }
  return noErr;
}

// ---- Track display ----

OSStatus QT_AddCompressedTextImageToMedia(SInt32 width, SInt32 height, QT_DrawTextLineProcPtr drawProc,
                                          const RGBColor *colors, CFStringRef lineText, Media media,
                                          CodecType codecType, TimeValue duration, TimeValue *sampleTime) {
  if (media == nullptr) return invalidMedia;
  if (drawProc == nullptr || width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF || duration <= 0)
    return paramErr;
  Rect bounds{0, 0, SInt16(height), SInt16(width)};
  GWorldPtr world = nullptr;
  OSStatus err = NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0);
  if (err != noErr) return err;
  CGrafPtr savedPort = nullptr;
  GDHandle savedDevice = nullptr;
  GetGWorld(&savedPort, &savedDevice);
  SetGWorld(world, nullptr);
  err = drawProc(world, &bounds, colors, lineText);
  SetGWorld(savedPort, savedDevice);
  PixMapHandle pixels = GetGWorldPixMap(world);
  SInt32 maxSize = 0;
  if (err == noErr) err = GetMaxCompressionSize(pixels, &bounds, 32, codecNormalQuality, codecType, nullptr, &maxSize);
  Ptr data = nullptr;
  Handle desc = nullptr;
  if (err == noErr) {
    data = NewPtr(Size(maxSize));
    desc = NewHandle(0);
    if (data == nullptr || desc == nullptr) err = memFullErr;
  }
  auto imageDesc = reinterpret_cast<ImageDescriptionHandle>(desc);
  if (err == noErr) err = CompressImage(pixels, &bounds, codecNormalQuality, codecType, imageDesc, data);
  TimeValue64 added = 0;
  if (err == noErr)
    err = AddMediaSample2(media, reinterpret_cast<const UInt8 *>(data), ByteCount((**imageDesc).dataSize), duration, 0,
                          reinterpret_cast<SampleDescriptionHandle>(desc), 1, 0, &added);
  if (err == noErr && sampleTime) *sampleTime = TimeValue(added);
  if (data) DisposePtr(data);
  if (desc) DisposeHandle(desc);
  DisposeGWorld(world);
  return err;
}

OSStatus QT_CopyTrackDisplayLocation(Movie inMovie, Movie outMovie, Track inTrack, Track outTrack,
                                     Boolean copyEnabled, Boolean preserveHeight) {
  if (inMovie == nullptr || outMovie == nullptr) return invalidMovie;
  if (inTrack == nullptr || outTrack == nullptr) return invalidTrack;
  Rect inBox{}, outBox{};
  GetMovieBox(inMovie, &inBox);
  GetMovieBox(outMovie, &outBox);
  MatrixRecord matrix;
  GetTrackMatrix(inTrack, &matrix);
  if (preserveHeight) {
    Fixed inWidth = 0, inHeight = 0, outWidth = 0, outHeight = 0;
    GetTrackDimensions(inTrack, &inWidth, &inHeight);
    GetTrackDimensions(outTrack, &outWidth, &outHeight);
    if (outHeight > 0 && inHeight > 0 && outHeight != inHeight) {
      Fixed ratio = FixDiv(inHeight, outHeight);
      for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 2; ++col) matrix.matrix[row][col] = FixMul(matrix.matrix[row][col], ratio);
    }
  }
  // The same place relative to the movie's box.
  matrix.matrix[2][0] += Long2Fix(outBox.left - inBox.left);
  matrix.matrix[2][1] += Long2Fix(outBox.top - inBox.top);
  SetTrackMatrix(outTrack, &matrix);
  SetTrackLayer(outTrack, GetTrackLayer(inTrack));
  if (copyEnabled) SetTrackEnabled(outTrack, GetTrackEnabled(inTrack));
  return GetMoviesError();
}

// ---- User data ----

OSStatus QT_GetIndexedTrackFirstUserData(Movie movie, SInt32 trackIndex, Handle data, OSType type) {
  Track track = GetMovieIndTrack(movie, trackIndex);
  if (track == nullptr) return GetMoviesError();
  return QT_GetTrackFirstUserData(track, data, type);
}

OSStatus QT_GetTrackFirstUserData(Track track, Handle data, OSType type) {
  UserData ud = GetTrackUserData(track);
  if (ud == nullptr) return GetMoviesError();
  return GetUserData(ud, data, type, 1);
}

OSStatus QT_AddUserDataToTrack(Track track, Handle data, OSType type, Boolean replace) {
  UserData ud = GetTrackUserData(track);
  if (ud == nullptr) return GetMoviesError();
  if (replace && CountUserDataType(ud, type) > 0) {
    OSStatus err = RemoveUserData(ud, type, 1);
    if (err != noErr) return err;
  }
  return AddUserData(ud, data, type);
}

// ---- Metadata ----

namespace {

// One property of an item in a new block (NULL for an empty one).
OSStatus CopyItemProperty(QTMetaDataRef metaData, QTMetaDataItem item, QTPropertyID propID, UInt8 **block,
                          ByteCount *size) {
  *block = nullptr;
  ByteCount needed = 0;
  OSStatus err = QTMetaDataGetItemPropertyInfo(metaData, item, kPropertyClass_MetaDataItem, propID, nullptr, &needed,
                                               nullptr);
  if (err != noErr) return err;
  if (size) *size = needed;
  if (needed == 0) return noErr;
  Ptr p = NewPtr(Size(needed));
  if (p == nullptr) return MemError();
  err = QTMetaDataGetItemProperty(metaData, item, kPropertyClass_MetaDataItem, propID, needed, p, nullptr);
  if (err != noErr) {
    DisposePtr(p);
    return err;
  }
  *block = reinterpret_cast<UInt8 *>(p);
  return noErr;
}

OSStatus ItemWord(QTMetaDataRef metaData, QTMetaDataItem item, QTPropertyID propID, UInt32 *value) {
  return QTMetaDataGetItemProperty(metaData, item, kPropertyClass_MetaDataItem, propID, sizeof(UInt32), value, nullptr);
}

void FreeBlock(UInt8 **block) {
  if (block != nullptr && *block != nullptr) {
    DisposePtr(reinterpret_cast<Ptr>(*block));
    *block = nullptr;
  }
}

}  // namespace

OSStatus QT_GetMetaDataItemProps(QTMetaDataRef metaData, QTMetaDataItem item, QTMetaDataStorageFormat *storageFormat,
                                 QTMetaDataKeyFormat *keyFormat, UInt8 **key, ByteCount *keySize, UInt8 **value,
                                 ByteCount *valueSize, UInt32 *dataType) {
  if (key) *key = nullptr;
  if (value) *value = nullptr;
  OSStatus err = noErr;
  if (storageFormat) err = ItemWord(metaData, item, kQTMetaDataItemPropertyID_StorageFormat, storageFormat);
  if (err == noErr && keyFormat) err = ItemWord(metaData, item, kQTMetaDataItemPropertyID_KeyFormat, keyFormat);
  if (err == noErr && dataType) err = ItemWord(metaData, item, kQTMetaDataItemPropertyID_DataType, dataType);
  if (err == noErr && key) err = QT_GetMetaDataItemKey(metaData, item, key, keySize);
  if (err == noErr && value) err = QT_GetMetaDataItemValue(metaData, item, value, valueSize);
  if (err != noErr) {
    FreeBlock(key);
    FreeBlock(value);
  }
  return err;
}

OSStatus QT_GetMetaDataItemValue(QTMetaDataRef metaData, QTMetaDataItem item, UInt8 **value, ByteCount *size) {
  if (value == nullptr) return paramErr;
  return CopyItemProperty(metaData, item, kQTMetaDataItemPropertyID_Value, value, size);
}

OSStatus QT_GetMetaDataItemKey(QTMetaDataRef metaData, QTMetaDataItem item, UInt8 **key, ByteCount *size) {
  if (key == nullptr) return paramErr;
  return CopyItemProperty(metaData, item, kQTMetaDataItemPropertyID_Key, key, size);
}

OSStatus QT_CopyMetaDataItemLocale(QTMetaDataRef srcMetaData, QTMetaDataItem srcItem, QTMetaDataRef dstMetaData,
                                   QTMetaDataItem dstItem) {
  UInt32 locale = 0;
  OSStatus err = ItemWord(srcMetaData, srcItem, kQTMetaDataItemPropertyID_Locale, &locale);
  if (err == noErr)
    err = QTMetaDataSetItemProperty(dstMetaData, dstItem, kPropertyClass_MetaDataItem,
                                    kQTMetaDataItemPropertyID_Locale, sizeof(locale), &locale);
  return err;
}

OSStatus QT_CopyMetaData(QTMetaDataRef srcMetaData, QTMetaDataRef dstMetaData) {
  if (srcMetaData == nullptr || dstMetaData == nullptr) return kQTMetaDataInvalidMetaDataErr;
  // The items are listed first: copying a metadata into itself must not meet the items it adds.
  std::vector<QTMetaDataItem> items;
  QTMetaDataItem item = kQTMetaDataItemUninitialized;
  OSStatus err;
  while ((err = QTMetaDataGetNextItem(srcMetaData, kQTMetaDataStorageFormatWildcard, item,
                                      kQTMetaDataKeyFormatWildcard, nullptr, 0, &item)) == noErr)
    items.push_back(item);
  if (err != kQTMetaDataNoMoreItemsErr) return err;
  err = noErr;
  for (QTMetaDataItem each : items) {
    QTMetaDataStorageFormat storage = 0;
    QTMetaDataKeyFormat keyFormat = 0;
    UInt8 *key = nullptr, *value = nullptr;
    ByteCount keySize = 0, valueSize = 0;
    UInt32 dataType = 0;
    err = QT_GetMetaDataItemProps(srcMetaData, each, &storage, &keyFormat, &key, &keySize, &value, &valueSize,
                                  &dataType);
    QTMetaDataItem added = kQTMetaDataItemUninitialized;
    if (err == noErr)
      err = QTMetaDataAddItem(dstMetaData, storage, keyFormat, key, keySize, value, valueSize, dataType, &added);
    if (err == noErr) err = QT_CopyMetaDataItemLocale(srcMetaData, each, dstMetaData, added);
    FreeBlock(&key);
    FreeBlock(&value);
    if (err != noErr) break;
  }
  return err;
}

namespace {

// QT_CopyMetaData between two references made by the callers' copy functions, released here.
OSStatus CopyAndRelease(OSStatus err, QTMetaDataRef src, QTMetaDataRef dst) {
  if (err == noErr) err = QT_CopyMetaData(src, dst);
  QTMetaDataRelease(src);
  QTMetaDataRelease(dst);
  return err;
}

}  // namespace

OSStatus QT_CopyMovieMetaData(Movie srcMovie, Movie dstMovie) {
  QTMetaDataRef src = nullptr, dst = nullptr;
  OSStatus err = QTCopyMovieMetaData(srcMovie, &src);
  if (err == noErr) err = QTCopyMovieMetaData(dstMovie, &dst);
  return CopyAndRelease(err, src, dst);
}

OSStatus QT_CopyTrackMetaData(Track srcTrack, Track dstTrack) {
  QTMetaDataRef src = nullptr, dst = nullptr;
  OSStatus err = QTCopyTrackMetaData(srcTrack, &src);
  if (err == noErr) err = QTCopyTrackMetaData(dstTrack, &dst);
  return CopyAndRelease(err, src, dst);
}

OSStatus QT_CopyMediaMetaData(Media srcMedia, Media dstMedia) {
  QTMetaDataRef src = nullptr, dst = nullptr;
  OSStatus err = QTCopyMediaMetaData(srcMedia, &src);
  if (err == noErr) err = QTCopyMediaMetaData(dstMedia, &dst);
  return CopyAndRelease(err, src, dst);
}

// ---- Media intervals ----

OSStatus QT_MakeMediaIntervalList(Track track, TimeValue begin, TimeValue end, Boolean reduce, LL_IntervalLE **list,
                                  Boolean *overlap) {
  return MakeIntervalList(track, begin, end, reduce, false, list, nullptr, overlap);
}

OSStatus QT_MakeMediaIntervalListNew(Track track, TimeValue begin, TimeValue end, Boolean reduce,
                                     LL_IntervalLE **list, SInt32 *frameCount, Boolean *overlap) {
  return MakeIntervalList(track, begin, end, reduce, true, list, frameCount, overlap);
}

OSStatus QT_FillInMediaInterval(Media media, TimeValue start, TimeValue duration, QT_MediaIntervalLE *element) {
  if (element == nullptr || duration <= 0) return paramErr;
  SampleReference64Record first, last;
  SInt16 dataRefIndex = 0;
  OSStatus err = RecordAt(media, start, &first, &dataRefIndex);
  if (err == noErr) err = RecordAt(media, start + duration - 1, &last, nullptr);
  if (err != noErr) return err;
  element->dataRefIndex = dataRefIndex;
  element->startOffset = first.dataOffset;
  element->endOffset = last.dataOffset + SInt64(last.dataSize / std::max<UInt32>(1, last.numberOfSamples));
  return noErr;
}

SInt32 QT_MediaIntervalComparator(const QT_MediaIntervalLE *a, const QT_MediaIntervalLE *b) {
  if (a->dataRefIndex != b->dataRefIndex) return a->dataRefIndex < b->dataRefIndex ? -1 : 1;
  if (a->startOffset != b->startOffset) return a->startOffset < b->startOffset ? -1 : 1;
  return 0;
}

OSStatus QT_MediaIntervalsOverlapIndirectly(Media media, LL_IntervalLE *first, Boolean *overlap) {
  if (overlap == nullptr) return paramErr;
  *overlap = false;
  std::vector<QT_MediaIntervalLE> spans;
  for (LL_IntervalLE *i = first; i != nullptr; i = i->next) {
    QT_MediaIntervalLE span{};
    OSStatus err = QT_FillInMediaInterval(media, i->start, i->end - i->start + 1, &span);
    if (err != noErr) return err;
    spans.push_back(span);
  }
  std::sort(spans.begin(), spans.end(),
            [](const QT_MediaIntervalLE &a, const QT_MediaIntervalLE &b) { return QT_MediaIntervalComparator(&a, &b) < 0; });
  for (size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].dataRefIndex == spans[i - 1].dataRefIndex && spans[i].startOffset < spans[i - 1].endOffset) {
      *overlap = true;
      break;
    }
  }
  return noErr;
}

OSStatus QT_PackMediaIntervalLists(QT_MediaIntervalListPtrLE *first, QT_MediaIntervalLE **table, SInt32 *count) {
  if (table == nullptr || count == nullptr) return paramErr;
  *table = nullptr;
  *count = 0;
  std::vector<QT_MediaIntervalLE> all;
  for (QT_MediaIntervalListPtrLE *l = first; l != nullptr; l = l->next)
    for (QT_MediaIntervalLE *i = l->first; i != nullptr; i = i->next) all.push_back(*i);
  if (all.empty()) return noErr;
  std::sort(all.begin(), all.end(),
            [](const QT_MediaIntervalLE &a, const QT_MediaIntervalLE &b) { return QT_MediaIntervalComparator(&a, &b) < 0; });
  auto *block = reinterpret_cast<QT_MediaIntervalLE *>(NewPtr(Size(all.size() * sizeof(QT_MediaIntervalLE))));
  if (block == nullptr) return MemError();
  for (size_t i = 0; i < all.size(); ++i) {
    block[i] = all[i];
    block[i].next = nullptr;
  }
  *table = block;
  *count = SInt32(all.size());
  return noErr;
}
