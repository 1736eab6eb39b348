// The AIFF exporter: the sound of one track written as an AIFF-C file of uncompressed big-endian samples.
//
// The sound is taken from onlyThisTrack or else the movie's first enabled sound track. Uncompressed sound
// ('twos', 'sowt', 'raw ', 'NONE', 8 to 32 bits) is copied as it is (byte order and sign made those of AIFF);
// DV sound ('vdva', whose samples are the DV frames) is extracted from the frames into 16-bit samples. The
// rate and channels stay the source's: this exporter makes a file the movie library can import, it does
// not convert. Exported from procedures, the sound is what a data procedure delivers, in 8 or 16 bits as
// its property procedure asks.
#include "platform/core/files.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/dv_audio.h"
#include "platform/movie/movie_export_jobs.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/sound_files.h"

#include <algorithm>
#include <cerrno>
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

// ---- Export from procedures ----

namespace {

// One sample as a signed value: 8 or 16 bits, big-endian unless 'sowt', offset binary for 'raw '.
SInt32 SampleValue(const UInt8 *p, SInt16 bytes, OSType format) {
  if (bytes == 1) return format == 'raw ' ? SInt32(p[0]) - 128 : SInt32(SInt8(p[0]));
  return format == 'sowt' ? SInt32(SInt16(UInt16(p[0] | (p[1] << 8)))) : SInt32(SInt16(UInt16((p[0] << 8) | p[1])));
}

bool IsPCM(OSType format, SInt16 sampleSize) {
  return (format == 'twos' || format == 'sowt' || format == 'raw ' || format == 'NONE') &&
         (sampleSize == 8 || sampleSize == 16);
}

// The source's description from a data procedure's answer.
bool DescriptionOf(const MovieExportGetDataParams &p, SoundDescription *d) {
  if (p.desc == nullptr || *p.desc == nullptr || GetHandleSize(reinterpret_cast<Handle>(p.desc)) < Size(sizeof *d))
    return false;
  std::memcpy(d, *p.desc, sizeof *d);
  return true;
}

OSErr CreateFork(const std::string &path, FSIORefNum *fork) {
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  if (fd < 0) return errno == ENOSPC ? dskFulErr : errno == EACCES ? permErr : errno == ENOENT ? fnfErr : ioErr;
  ::close(fd);
  FSRef ref{};
  OSErr err = OSErr(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr));
  if (err == noErr) err = FSOpenFork(&ref, 0, nullptr, fsRdWrPerm, fork);
  return err;
}

}  // namespace

OSErr PL_ExportAIFFFromProcedures(const PL_ExportRequest &request) {
  const PL_ExportDataSource *source = nullptr;
  for (size_t i = 0; i < request.sourceCount && source == nullptr; ++i)
    if (request.sources[i].trackType == SoundMediaType) source = &request.sources[i];
  if (source == nullptr) return noSoundTrackInMovieErr;

  // The first answer tells the source's format; the properties may change what is written.
  MovieExportGetDataParams params{};
  params.recordSize = sizeof params;
  params.trackID = source->trackID;
  params.sourceTimeScale = source->scale;
  params.requestedTime = 0;
  OSErr err = source->getData(source->refCon, &params);
  const bool empty = err == eofErr;
  SoundDescription src{};
  if (empty) {
    err = noErr;
  } else if (err == noErr && (!DescriptionOf(params, &src) || !IsPCM(src.dataFormat, src.sampleSize) ||
                              src.numChannels < 1)) {
    err = paramErr;
  }
  if (err != noErr) return err;
  OSType compression = src.sampleSize == 8 ? 'raw ' : 'twos';
  SInt16 channels = src.numChannels, bits = src.sampleSize;
  Fixed rate = Fixed(src.sampleRate);
  if (source->getProperty != nullptr) {
    OSType c = 0;
    SInt16 n = 0, b = 0;
    Fixed r = 0;
    if (source->getProperty(source->refCon, source->trackID, scSoundCompressionType, &c) == noErr) compression = c;
    if (source->getProperty(source->refCon, source->trackID, scSoundChannelCountType, &n) == noErr) channels = n;
    if (source->getProperty(source->refCon, source->trackID, scSoundSampleSizeType, &b) == noErr) bits = b;
    if (source->getProperty(source->refCon, source->trackID, scSoundSampleRateType, &r) == noErr) rate = r;
  }
  if (compression == 'NONE') compression = bits == 8 ? 'raw ' : 'twos';
  const SInt16 outBytes = compression == 'twos' ? 2 : compression == 'raw ' ? 1 : 0;
  if (empty) {
    if (outBytes == 0 || channels < 1 || rate <= 0) return paramErr;
  } else if (outBytes == 0 || bits != outBytes * 8 || channels != src.numChannels || UInt32(rate) != src.sampleRate) {
    return paramErr;
  }

  FSIORefNum fork = 0;
  err = CreateFork(request.path, &fork);
  PL_ExportProgress progress(request);
  if (err == noErr) err = progress.Open();
  if (err == noErr) err = SetupAIFFHeader(fork, channels, UInt32(rate), SInt16(outBytes * 8), compression, 0, 0);
  UInt64 bytes = 0, frames = 0;
  std::vector<UInt8> out;
  for (bool answered = !empty; answered && err == noErr;) {
    SoundDescription d{};
    const UInt64 n = UInt64(std::max<SInt32>(0, params.actualSampleCount));
    if (!DescriptionOf(params, &d) || !IsPCM(d.dataFormat, d.sampleSize) || d.numChannels != channels || n == 0 ||
        params.dataSize < 0 || UInt64(params.dataSize) < n * UInt64(channels) * UInt64(d.sampleSize / 8) ||
        params.dataPtr == nullptr) {
      err = paramErr;
      break;
    }
    const SInt16 srcBytes = SInt16(d.sampleSize / 8);
    out.resize(size_t(n * UInt64(channels) * UInt64(outBytes)));
    const UInt8 *p = reinterpret_cast<const UInt8 *>(params.dataPtr);
    for (size_t i = 0; i < size_t(n) * size_t(channels); ++i) {
      SInt32 v = SampleValue(p + i * size_t(srcBytes), srcBytes, d.dataFormat);
      if (srcBytes == 2 && outBytes == 1) v >>= 8;
      if (srcBytes == 1 && outBytes == 2) v *= 256;
      if (outBytes == 2) {
        out[2 * i] = UInt8(UInt16(v) >> 8);
        out[2 * i + 1] = UInt8(v);
      } else {
        out[i] = UInt8(v ^ 0x80);
      }
    }
    err = FSWriteFork(fork, fsFromStart, SInt64(kPL_AIFFHeaderSize + bytes), out.size(), out.data(), nullptr);
    bytes += out.size();
    frames += n;
    const TimeValue next = params.actualTime + TimeValue(n) * std::max<TimeValue>(1, params.durationPerSample);
    if (err == noErr && next <= params.requestedTime) err = paramErr;  // it would ask for the same again
    if (err != noErr) break;
    params.requestedTime = next;
    err = source->getData(source->refCon, &params);
    if (err == eofErr) {
      err = noErr;
      answered = false;
    }
  }
  if (err == noErr && (bytes & 1)) {
    const UInt8 zero = 0;
    err = FSWriteFork(fork, fsFromStart, SInt64(kPL_AIFFHeaderSize + bytes), 1, &zero, nullptr);
    ++bytes;
  }
  if (err == noErr && (bytes > 0xFFFFFFFFu - kPL_AIFFHeaderSize || frames > 0xFFFFFFFFu)) err = paramErr;
  if (err == noErr) err = FSSetForkPosition(fork, fsFromStart, 0);
  if (err == noErr)
    err = SetupAIFFHeader(fork, channels, UInt32(rate), SInt16(outBytes * 8), compression, UInt32(bytes), UInt32(frames));
  if (err == noErr) err = progress.Update(1.0);
  progress.Close();
  if (fork != 0) {
    OSErr closeErr = FSCloseFork(fork);
    if (err == noErr) err = closeErr;
  }
  if (err != noErr) ::unlink(request.path.c_str());
  return err;
}
