// The AIFF exporter: the sound of one track written as an AIFF-C file of uncompressed big-endian samples.
//
// The sound is taken from onlyThisTrack or else the movie's first enabled sound track. Uncompressed sound
// ('twos', 'sowt', 'raw ', 'NONE', 8 to 32 bits) is copied as it is (byte order and sign made those of AIFF);
// DV sound ('vdva', whose samples are the DV frames) is extracted from the frames into 16-bit samples. The
// rate and channels stay the source's: this exporter makes a file the movie library can import, it does
// not convert.
#include "platform/core/files.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/dv_audio.h"
#include "platform/movie/movie_export_jobs.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/sound_files.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

Track SoundTrackOf(const PL_ExportRequest &r) {
  if (r.onlyThisTrack != nullptr) {
    OSType type = 0;
    GetMediaHandlerDescription(GetTrackMedia(r.onlyThisTrack), &type, nullptr, nullptr);
    return type == SoundMediaType ? r.onlyThisTrack : nullptr;
  }
  return GetMovieIndTrackType(r.movie, 1, SoundMediaType, 1 | 4);
}

// The media stretch that the movie stretch shows (one edit assumed beyond the track's start).
void MediaStretch(Track track, TimeValue startTime, TimeValue duration, TimeValue *mediaStart, TimeValue *mediaEnd) {
  Media media = GetTrackMedia(track);
  const TimeValue mediaDuration = GetMediaDuration(media);
  const double scale = double(GetMediaTimeScale(media)) / double(std::max<TimeScale>(1, GetMovieTimeScale(GetTrackMovie(track))));
  TimeValue first = TrackTimeToMediaTime(startTime, track);
  if (first < 0) first = 0;
  const SInt64 end = SInt64(first) + std::llround(double(duration) * scale);
  *mediaStart = std::min(first, mediaDuration);
  *mediaEnd = TimeValue(std::clamp<SInt64>(end, *mediaStart, mediaDuration));
}

// Uncompressed samples of the stretch as AIFF wants them (signed, big-endian).
OSErr ReadPCM(Media media, const SoundDescription &d, TimeValue mediaStart, TimeValue mediaEnd, PL_ExportProgress *progress,
              std::vector<UInt8> *out) {
  const OSType format = d.dataFormat;
  if (format != 'twos' && format != 'sowt' && format != 'raw ' && format != 'NONE') return noCodecErr;
  if (d.numChannels <= 0 || d.sampleSize < 8 || d.sampleSize > 32 || d.sampleSize % 8 != 0) return noCodecErr;
  const size_t bytesPerSample = size_t(d.sampleSize / 8);
  Handle chunk = NewHandle(0);
  if (chunk == nullptr) return memFullErr;
  OSErr err = noErr;
  const SInt32 kChunkFrames = 1 << 15;
  for (TimeValue t = mediaStart; t < mediaEnd && err == noErr;) {
    SInt32 size = 0, count = 0;
    TimeValue sampleTime = 0, durationPerSample = 0;
    err = GetMediaSample(media, chunk, 0, &size, t, &sampleTime, &durationPerSample, nullptr, nullptr,
                         std::min<SInt32>(kChunkFrames, mediaEnd - t), &count, nullptr);
    if (err != noErr) break;
    if (count <= 0 || durationPerSample <= 0) {
      err = badDataRefIndex;
      break;
    }
    const size_t oldSize = out->size();
    out->insert(out->end(), *chunk, *chunk + size);
    UInt8 *p = out->data() + oldSize;
    if (format == 'sowt' && bytesPerSample > 1) {
      for (size_t i = 0; i + bytesPerSample <= size_t(size); i += bytesPerSample) std::reverse(p + i, p + i + bytesPerSample);
    } else if (format == 'raw ') {
      for (size_t i = 0; i < size_t(size); i += bytesPerSample) p[i] ^= 0x80;  // offset binary to two's complement
    }
    t = sampleTime + count * durationPerSample;
    err = progress->Update(double(t - mediaStart) / double(std::max<TimeValue>(1, mediaEnd - mediaStart)));
  }
  DisposeHandle(chunk);
  return err;
}

OSErr WriteAIFF(const std::string &path, SInt16 channels, UInt32 rate16_16, SInt16 sampleSize, const std::vector<UInt8> &bytes) {
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  if (fd < 0) return errno == ENOSPC ? dskFulErr : errno == EACCES ? permErr : ioErr;
  ::close(fd);
  FSRef ref{};
  OSErr err = OSErr(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr));
  FSIORefNum fork = 0;
  if (err == noErr) err = FSOpenFork(&ref, 0, nullptr, fsRdWrPerm, &fork);
  if (err != noErr) return err;
  const size_t frameBytes = size_t(channels) * size_t(sampleSize / 8);
  const UInt32 frames = UInt32(bytes.size() / frameBytes);
  const UInt32 dataBytes = UInt32(size_t(frames) * frameBytes);
  const UInt32 padded = dataBytes + (dataBytes & 1);
  err = SetupAIFFHeader(fork, channels, rate16_16, sampleSize, 'NONE', padded, frames);
  ByteCount written = 0;
  if (err == noErr && dataBytes > 0) err = FSWriteFork(fork, fsAtMark, 0, dataBytes, bytes.data(), &written);
  if (err == noErr && (dataBytes & 1) != 0) {
    const UInt8 pad = 0;
    err = FSWriteFork(fork, fsAtMark, 0, 1, &pad, &written);
  }
  OSErr closeErr = FSCloseFork(fork);
  return err != noErr ? err : closeErr;
}

}  // namespace

OSErr PL_ExportAIFF(const PL_ExportRequest &request) {
  Track track = SoundTrackOf(request);
  if (track == nullptr) return noSoundTrackInMovieErr;
  Media media = GetTrackMedia(track);
  SampleDescriptionHandle desc = reinterpret_cast<SampleDescriptionHandle>(NewHandle(0));
  if (desc == nullptr) return memFullErr;
  GetMediaSampleDescription(media, 1, desc);
  OSErr err = GetMoviesError();
  if (err == noErr && GetHandleSize(reinterpret_cast<Handle>(desc)) < Size(sizeof(SoundDescription))) err = noCodecErr;
  SoundDescription d{};
  if (err == noErr) std::memcpy(&d, *desc, sizeof d);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  if (err != noErr) return err;

  TimeValue mediaStart = 0, mediaEnd = 0;
  MediaStretch(track, request.startTime, request.duration, &mediaStart, &mediaEnd);
  PL_ExportProgress progress(request);
  err = progress.Open();
  std::vector<UInt8> bytes;
  SInt16 channels = d.numChannels, sampleSize = d.sampleSize;
  UInt32 rate = d.sampleRate;
  if (err == noErr && d.dataFormat == 'vdva') {
    Handle pcm = NewHandle(0);
    UInt32 dvRate = 0, frames = 0;
    UInt16 dvChannels = 0;
    err = pcm != nullptr ? OSErr(PL_ExtractDVAudio(media, mediaStart, mediaEnd - mediaStart, pcm, &dvRate, &dvChannels, &frames))
                         : OSErr(memFullErr);
    if (err == noErr) {
      bytes.assign(*pcm, *pcm + GetHandleSize(pcm));
      channels = SInt16(dvChannels);
      sampleSize = 16;
      rate = dvRate << 16;
      err = progress.Update(1.0);
    }
    DisposeHandle(pcm);
  } else if (err == noErr) {
    err = ReadPCM(media, d, mediaStart, mediaEnd, &progress, &bytes);
  }
  if (err == noErr) err = WriteAIFF(request.path, channels, rate, sampleSize, bytes);
  progress.Close();
  if (err != noErr) ::unlink(request.path.c_str());
  return err;
}
