// The QuickTime movie exporter: copies the samples of a stretch of a movie into a new movie file.
//
// The new file is laid out as the movie library lays out its own output: 8 'wide', the 'mdat' header, the
// sample data in the order it is copied, the size patch ('wide' joins a 64-bit 'mdat' from 0x7FFFFFFF
// bytes on), then the movie atom. Each exported track gets the source's samples that its edits show in
// the stretch, whole samples only, and edits that show exactly the same media time as before.
#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_export_jobs.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr UInt64 kLargeMdat = 0x7FFFFFFF;

struct Target {
  int fd = -1;
  UInt64 dataEnd = 16;  // behind the 16-byte header
};

// A media time span for a span of movie time inside an edit, rounded to nearest.
SInt64 MovieToMediaDuration(SInt64 movieDuration, TimeScale movieScale, TimeScale mediaScale, Fixed rate) {
  if (movieScale <= 0) return 0;
  double media = double(movieDuration) * double(mediaScale) * (double(rate) / 65536.0) / double(movieScale);
  return SInt64(std::llround(media));
}

OSType FirstFormat(Media media) {
  Handle desc = NewHandle(0);
  if (desc == nullptr) return 0;
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  OSType format = GetHandleSize(desc) >= Size(sizeof(SampleDescription))
                      ? reinterpret_cast<SampleDescription *>(*desc)->dataFormat
                      : 0;
  DisposeHandle(desc);
  return format;
}

OSType MediaTypeOf(Track track) {
  Media media = GetTrackMedia(track);
  if (media == nullptr) return 0;
  OSType type = 0;
  GetMediaHandlerDescription(media, &type, nullptr, nullptr);
  return type;
}

// Whether the settings ask for a format the samples do not have: only copying is done here.
bool NeedsRecompression(const PL_ExportRequest &r, const std::vector<Track> &tracks) {
  UInt8 videoOn = 0, soundOn = 0;
  UInt32 codecType = 0, soundFormat = 0;
  // 'envi' holding 'past' means pass-through: its first byte alone is not a switch then.
  UInt32 envi = 0;
  bool passThrough = PL_ExportSetting32(r.settings, 0, 'envi', &envi) && envi == 'past';
  bool video = !passThrough && PL_ExportSetting8(r.settings, 0, 'envi', &videoOn) && videoOn != 0 &&
               PL_ExportSetting32(r.settings, 'vide', 'sptl', &codecType) && codecType != 0;
  bool sound = PL_ExportSetting8(r.settings, 0, 'enso', &soundOn) && soundOn != 0 &&
               PL_ExportSetting32(r.settings, 'soun', 'ssct', &soundFormat) && soundFormat != 0;
  for (Track track : tracks) {
    OSType type = MediaTypeOf(track);
    OSType format = FirstFormat(GetTrackMedia(track));
    if (video && type == VideoMediaType && format != codecType) return true;
    if (sound && type == SoundMediaType && format != soundFormat) return true;
  }
  return false;
}

// Copies the media samples that cover [mt0, mt1) to the target media; *newStart gets the new media time
// of mt0. `report(position)` is told how far the copy got (media time).
template <typename Report>
OSErr CopySamples(Media source, Media target, Target &file, SInt64 mt0, SInt64 mt1, SInt64 *newStart, Report report) {
  Handle data = NewHandle(0);
  Handle desc = NewHandle(0);
  OSErr err = (data == nullptr || desc == nullptr) ? OSErr(memFullErr) : OSErr(noErr);
  bool first = true;
  bool video = false;
  {
    OSType type = 0;
    GetMediaHandlerDescription(source, &type, nullptr, nullptr);
    video = type != SoundMediaType;
  }
  SInt64 t = mt0;
  while (err == noErr && t < mt1) {
    SInt32 size = 0, count = 0;
    TimeValue sampleTime = 0, perSample = 0;
    SInt16 flags = 0;
    // Sound comes in chunks of up to 1 MB; chunks whose bytes do not split evenly go sample by sample.
    SInt32 want = video ? 1 : 0;
    for (;;) {
      err = GetMediaSample(source, data, 0, &size, TimeValue(t), &sampleTime, &perSample,
                           reinterpret_cast<SampleDescriptionHandle>(desc), nullptr, want, &count, &flags);
      if (err != noErr || count <= 1 || size % count == 0 || want == 1) break;
      want = 1;
    }
    if (err != noErr) break;
    if (count <= 0 || perSample <= 0) break;  // nothing more to copy, or samples without duration
    err = PL_WriteFully(file.fd, file.dataEnd, *data, size_t(size));
    if (err != noErr) break;
    SampleReference64Record ref{SInt64(file.dataEnd), UInt32(size), perSample, UInt32(count), flags};
    TimeValue added = 0;
    err = AddMediaSampleReferences64(target, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &ref, &added);
    if (err != noErr) break;
    if (first) {
      *newStart = SInt64(added) + (mt0 - sampleTime);
      first = false;
    }
    file.dataEnd += UInt64(size);
    t = SInt64(sampleTime) + SInt64(perSample) * count;
    err = report(std::min(t, mt1));
  }
  if (first && err == noErr) *newStart = -1;  // nothing was there to copy
  if (data != nullptr) DisposeHandle(data);
  if (desc != nullptr) DisposeHandle(desc);
  return err;
}

OSErr CopyTrack(const PL_ExportRequest &r, Track source, Movie targetMovie, Target &file, size_t trackIndex,
                size_t trackCount, PL_ExportProgress &progress) {
  Media sourceMedia = GetTrackMedia(source);
  if (sourceMedia == nullptr) return invalidMedia;
  OSType type = MediaTypeOf(source);
  Fixed width = 0, height = 0;
  GetTrackDimensions(source, &width, &height);
  Track track = NewMovieTrack(targetMovie, width, height, GetTrackVolume(source));
  if (track == nullptr) return GetMoviesError();
  MatrixRecord matrix;
  GetTrackMatrix(source, &matrix);
  SetTrackMatrix(track, &matrix);
  SetTrackLayer(track, GetTrackLayer(source));
  Media media = NewTrackMedia(track, type, GetMediaTimeScale(sourceMedia), nullptr, 0);
  if (media == nullptr) return GetMoviesError();

  const TimeScale movieScale = GetMovieTimeScale(r.movie);
  const TimeScale mediaScale = GetMediaTimeScale(sourceMedia);
  const SInt64 start = r.startTime, end = SInt64(r.startTime) + r.duration;
  SInt64 editStart = 0;
  SInt64 trackEnd = 0;  // of the new track, relative to the stretch
  const std::vector<PL_Edit> edits = source->edits;
  for (const PL_Edit &edit : edits) {
    SInt64 s = std::max(editStart, start), e = std::min(editStart + edit.trackDuration, end);
    SInt64 thisEditStart = editStart;
    editStart += edit.trackDuration;
    if (s >= e || edit.mediaTime < 0) continue;
    if (edit.mediaRate <= 0) return paramErr;  // reverse play cannot be copied as samples
    SInt64 mt0 = edit.mediaTime + MovieToMediaDuration(s - thisEditStart, movieScale, mediaScale, edit.mediaRate);
    SInt64 mt1 = edit.mediaTime + MovieToMediaDuration(e - thisEditStart, movieScale, mediaScale, edit.mediaRate);
    if (mt1 <= mt0) continue;
    SInt64 newStart = -1;
    OSErr err = CopySamples(sourceMedia, media, file, mt0, mt1, &newStart, [&](SInt64 at) {
      double within = double(at - mt0) / double(mt1 - mt0) * double(e - s);
      double done = double(trackIndex) * double(r.duration) + double(s - start) + within;
      return progress.Update(r.duration > 0 ? done / (double(r.duration) * double(trackCount)) : 1.0);
    });
    if (err != noErr) return err;
    if (newStart < 0) continue;
    if (s - start > trackEnd) track->edits.push_back(PL_Edit{s - start - trackEnd, -1, fixed1});
    track->edits.push_back(PL_Edit{e - s, newStart, edit.mediaRate});
    trackEnd = e - start;
  }
  SetTrackEnabled(track, true);
  return noErr;
}

OSErr PatchMdat(Target &file) {
  UInt8 header[16];
  if (file.dataEnd - 8 < kLargeMdat) {
    PL_PutBE32(header, UInt32(file.dataEnd - 8));
    return PL_WriteFully(file.fd, 8, header, 4);
  }
  PL_PutBE32(header, 1);
  PL_PutBE32(header + 4, 'mdat');
  PL_PutBE64(header + 8, file.dataEnd);
  return PL_WriteFully(file.fd, 0, header, 16);
}

}  // namespace

OSErr PL_ExportQuickTimeMovie(const PL_ExportRequest &r) {
  std::vector<Track> tracks;
  if (r.onlyThisTrack != nullptr) {
    tracks.push_back(r.onlyThisTrack);
  } else {
    for (SInt32 i = 1; i <= GetMovieTrackCount(r.movie); ++i) {
      Track track = GetMovieIndTrack(r.movie, i);
      OSType type = MediaTypeOf(track);
      if (GetTrackEnabled(track) && (type == VideoMediaType || type == SoundMediaType)) tracks.push_back(track);
    }
  }
  if (NeedsRecompression(r, tracks)) return noCodecErr;

  DataHandler storage = nullptr;
  Movie target = nullptr;
  OSErr err = CreateMovieStorage(r.dataRef, r.dataRefType, 0, 0, SInt32(createMovieFileDeleteCurFile), &storage, &target);
  if (err != noErr) return err;
  Target file;
  file.fd = open(r.path.c_str(), O_RDWR | O_CLOEXEC);
  if (file.fd < 0) err = PL_OSStatusFromErrno(errno);
  if (err == noErr) {
    UInt8 header[16];
    PL_PutBE32(header, 8);
    PL_PutBE32(header + 4, 'wide');
    PL_PutBE32(header + 8, 8);
    PL_PutBE32(header + 12, 'mdat');
    err = PL_WriteFully(file.fd, 0, header, sizeof(header));
  }
  PL_ExportProgress progress(r);
  if (err == noErr) err = progress.Open();
  if (err == noErr) {
    SetMovieTimeScale(target, GetMovieTimeScale(r.movie));
    MatrixRecord matrix;
    GetMovieMatrix(r.movie, &matrix);
    SetMovieMatrix(target, &matrix);
  }
  for (size_t i = 0; err == noErr && i < tracks.size(); ++i)
    err = CopyTrack(r, tracks[i], target, file, i, tracks.size(), progress);
  if (err == noErr) err = progress.Update(1.0);
  if (err == noErr) err = PatchMdat(file);
  if (file.fd >= 0) close(file.fd);
  if (err == noErr) err = AddMovieToStorage(target, storage);
  progress.Close();
  CloseMovieStorage(storage);
  DisposeMovie(target);
  if (err != noErr) DeleteMovieStorage(r.dataRef, r.dataRefType);
  return err;
}
