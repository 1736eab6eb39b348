// AIFF export and import, the resampler, and the error keys.
#include "movie/aiff_export_import.h"

#include "general/least_squares.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr size_t kBufferBytes = 1048576;

// One source sample as a signed value: 8- or 16-bit, big-endian unless 'sowt', offset binary for 'raw '.
SInt32 SampleValue(const UInt8 *p, SInt16 bytes, OSType format) {
  if (bytes == 1) return format == 'raw ' ? SInt32(p[0]) - 128 : SInt32(SInt8(p[0]));
  return format == 'sowt' ? SInt32(SInt16(UInt16(p[0] | (p[1] << 8)))) : SInt32(SInt16(UInt16((p[0] << 8) | p[1])));
}

OSType FormatOf(SoundDescriptionHandle desc) {
  return desc != nullptr && *desc != nullptr ? (**desc).dataFormat : 0;
}

OSStatus OpenForWriting(const FSRef *file, FSIORefNum *fork) {
  OSStatus err = FSOpenFork(file, 0, nullptr, fsRdWrPerm, fork);
  if (err == noErr) err = FSSetForkSize(*fork, fsFromStart, 0);
  if (err == noErr) err = FSSetForkPosition(*fork, fsFromStart, 0);
  return err;
}

// Closes the header: the pad byte behind an odd number of sample bytes, then the final header at 0.
OSStatus FinishAIFF(FSIORefNum fork, SInt16 channels, UInt32 rate, SInt16 bits, OSType compression, UInt64 bytes,
                    UInt64 frames) {
  OSStatus err = noErr;
  if (bytes & 1) {
    UInt8 zero = 0;
    err = FSWriteFork(fork, fsFromStart, SInt64(kPL_AIFFHeaderSize + bytes), 1, &zero, nullptr);
    ++bytes;
  }
  if (err == noErr && (bytes > 0xFFFFFFFFu - kPL_AIFFHeaderSize || frames > 0xFFFFFFFFu)) err = paramErr;
  if (err == noErr) err = FSSetForkSize(fork, fsFromStart, SInt64(kPL_AIFFHeaderSize + bytes));
  if (err == noErr) err = FSSetForkPosition(fork, fsFromStart, 0);
  if (err == noErr) err = SetupAIFFHeader(fork, channels, rate, bits, compression, UInt32(bytes), UInt32(frames));
  return err;
}

}  // namespace

void IA_GetLibErrorKey(OSStatus error, CFStringRef *errorKey) {
  if (errorKey == nullptr) return;
  switch (error) {
    case kIA_SoundExportCompNotFoundErr: *errorKey = CFSTR("IA SoundExportCompNotFoundErr"); break;
    case kIA_SoundImportCompNotFoundErr: *errorKey = CFSTR("IA SoundImportCompNotFoundErr"); break;
    default: *errorKey = CFSTR("GL UnknownErr"); break;
  }
}

// ---- Export from procedures ----

OSErr IA_GetSoundTrackProperty_1(void *refcon, SInt32 trackID, OSType propertyType, void *propertyValue) {
  (void)trackID;
  auto *ref = static_cast<IA_SoundRef *>(refcon);
  if (ref == nullptr || propertyValue == nullptr || ref->srcDesc == nullptr || *ref->srcDesc == nullptr) return paramErr;
  const SoundDescription &d = **ref->srcDesc;
  switch (propertyType) {
    case scSoundCompressionType:
      *static_cast<OSType *>(propertyValue) = d.sampleSize == 16 ? 'twos' : 'raw ';
      return noErr;
    case scSoundChannelCountType:
      *static_cast<SInt16 *>(propertyValue) = d.numChannels;
      return noErr;
    case scSoundSampleSizeType:
      *static_cast<SInt16 *>(propertyValue) = d.sampleSize;
      return noErr;
    case scSoundSampleRateType:
      *static_cast<Fixed *>(propertyValue) = ref->outSamplingRate;
      return noErr;
    default:
      return paramErr;
  }
}

OSErr IA_GetSoundTrackData_1(void *refCon, MovieExportGetDataParams *params) {
  auto *ref = static_cast<IA_SoundRef *>(refCon);
  if (ref == nullptr || params == nullptr || ref->srcDesc == nullptr || *ref->srcDesc == nullptr) return paramErr;
  if (params->requestedTime >= ref->mediaDuration) return eofErr;
  const SoundDescription &d = **ref->srcDesc;
  // A description without channels or with samples below a byte would divide by zero below.
  if (d.numChannels <= 0 || d.sampleSize < 8) return paramErr;
  SInt32 frameBytes = SInt32(d.numChannels) * (d.sampleSize / 8);
  SInt32 wanted = std::max<SInt32>(1, ref->chunkSize / frameBytes);
  wanted = std::min<SInt32>(wanted, ref->mediaDuration - params->requestedTime);
  SInt32 size = 0, count = 0, descIndex = 0;
  TimeValue sampleTime = 0, durationPerSample = 0;
  SInt16 flags = 0;
  OSErr err = GetMediaSample(ref->srcMedia, ref->soundBytes, 0, &size, params->requestedTime + ref->mediaStart,
                             &sampleTime, &durationPerSample, nullptr, &descIndex, wanted, &count, &flags);
  if (err != noErr) return err;
  params->dataPtr = *ref->soundBytes;
  params->dataSize = size;
  params->actualTime = sampleTime - ref->mediaStart;
  params->actualSampleCount = count;
  params->durationPerSample = durationPerSample;
  params->descSeed = descIndex;
  params->desc = reinterpret_cast<SampleDescriptionHandle>(ref->srcDesc);
  params->descType = SoundMediaType;
  params->sampleFlags = flags;
  return noErr;
}

OSStatus IA_ExportSoundToAIFF(const FSRef *aiffFile, IA_SoundRef *soundRef,
                              MovieExportGetPropertyProcPtr getSoundTrackProperty,
                              MovieExportGetDataProcPtr getSoundTrackData) {
  if (soundRef == nullptr || getSoundTrackProperty == nullptr || getSoundTrackData == nullptr) return paramErr;
  soundRef->getSoundTrackProperty = getSoundTrackProperty;
  soundRef->getSoundTrackData = getSoundTrackData;
  soundRef->nextMediaTime = soundRef->mediaStart;
  OSType compression = 0;
  SInt16 channels = 0, bits = 0;
  Fixed rate = 0;
  OSStatus err = getSoundTrackProperty(soundRef, 1, scSoundCompressionType, &compression);
  if (err == noErr) err = getSoundTrackProperty(soundRef, 1, scSoundChannelCountType, &channels);
  if (err == noErr) err = getSoundTrackProperty(soundRef, 1, scSoundSampleSizeType, &bits);
  if (err == noErr) err = getSoundTrackProperty(soundRef, 1, scSoundSampleRateType, &rate);
  if (err != noErr) return err;
  if (soundRef->srcDesc == nullptr || *soundRef->srcDesc == nullptr) return paramErr;
  const SoundDescription src = **soundRef->srcDesc;
  SInt16 outBytes = compression == 'twos' ? 2 : compression == 'raw ' ? 1 : 0;
  bool convertible = (src.dataFormat == 'twos' || src.dataFormat == 'sowt' || src.dataFormat == 'raw ' ||
                      src.dataFormat == 'NONE') &&
                     (src.sampleSize == 8 || src.sampleSize == 16);
  // Only sample formats are converted here: the channels and the rate stay the source's.
  if (outBytes == 0 || bits != outBytes * 8 || channels != src.numChannels || channels < 1 || !convertible ||
      UInt32(rate) != src.sampleRate)
    return paramErr;
  FSIORefNum fork = 0;
  err = OpenForWriting(aiffFile, &fork);
  if (err != noErr) return err;
  MovieProgressProcPtr progress = soundRef->progressProc;
  if (progress) err = progress(soundRef->movie, movieProgressOpen, progressOpExportMovie, 0, soundRef->progressRefcon);
  if (err == noErr) err = SetupAIFFHeader(fork, channels, UInt32(rate), bits, compression, 0, 0);
  UInt64 bytes = 0, frames = 0;
  SInt16 srcBytes = src.sampleSize / 8;
  std::vector<UInt8> out;
  MovieExportGetDataParams params{};
  params.recordSize = sizeof params;
  params.trackID = 1;
  while (err == noErr) {
    params.requestedTime = soundRef->nextMediaTime - soundRef->mediaStart;
    params.sourceTimeScale = GetMediaTimeScale(soundRef->srcMedia);
    OSErr got = getSoundTrackData(soundRef, &params);
    if (got == eofErr) break;
    if (got != noErr) {
      err = got;
      break;
    }
    UInt64 n = UInt64(params.actualSampleCount);
    if (params.dataSize < 0 || UInt64(params.dataSize) < n * UInt64(channels) * UInt64(srcBytes) || n == 0) {
      err = paramErr;
      break;
    }
    out.resize(size_t(n * UInt64(channels) * UInt64(outBytes)));
    const UInt8 *p = reinterpret_cast<const UInt8 *>(params.dataPtr);
    for (size_t i = 0; i < n * UInt64(channels); ++i) {
      SInt32 v = SampleValue(p + i * size_t(srcBytes), srcBytes, src.dataFormat);
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
    soundRef->nextMediaTime = soundRef->mediaStart + params.actualTime + TimeValue(n) * params.durationPerSample;
    if (err == noErr && progress) {
      double done = soundRef->mediaDuration > 0
                        ? double(soundRef->nextMediaTime - soundRef->mediaStart) / soundRef->mediaDuration
                        : 1.0;
      err = progress(soundRef->movie, movieProgressUpdatePercent, progressOpExportMovie,
                     Fixed(std::clamp(done, 0.0, 1.0) * fixed1), soundRef->progressRefcon);
    }
  }
  if (err == noErr) err = FinishAIFF(fork, channels, UInt32(rate), bits, compression, bytes, frames);
  if (progress) {
    OSStatus closeErr = progress(soundRef->movie, movieProgressClose, progressOpExportMovie, fixed1, soundRef->progressRefcon);
    if (err == noErr) err = closeErr;
  }
  OSStatus closeErr = FSCloseFork(fork);
  return err != noErr ? err : closeErr;
}

// ---- Resampling ----

OSStatus IA_WriteSoundSamples(FSIORefNum dataForkID, SInt16 numChannels, SInt16 bytesPerSample, const void *newSoundPtr,
                              SInt32 curNewSampleNum, SInt32 newSampleNum, double newNumSamplesDInv,
                              Fixed newSamplingRate, void *progressData) {
  (void)newSampleNum, (void)newNumSamplesDInv, (void)newSamplingRate, (void)progressData;
  if (curNewSampleNum <= 0) return noErr;
  ByteCount bytes = ByteCount(curNewSampleNum) * ByteCount(numChannels) * ByteCount(bytesPerSample);
  return FSWriteFork(dataForkID, fsAtMark, 0, bytes, newSoundPtr, nullptr);
}

OSStatus IA_ResampleSoundToAIFF(const FSRef *aiffFile, Media soundMedia, SInt16 numChannels, SInt16 bytesPerSample,
                                TimeValue mediaStart, TimeValue mediaDuration, double oldSamplingRate,
                                Fixed newSamplingRate, void *progressData) {
  if (soundMedia == nullptr || numChannels < 1 || numChannels > 2 || bytesPerSample < 1 || bytesPerSample > 2 ||
      mediaStart < 0 || mediaDuration <= 0 || !(oldSamplingRate > 0) || newSamplingRate <= 0)
    return paramErr;
  const double ratio = double(UInt32(newSamplingRate)) / oldSamplingRate;
  const double inverse = 1.0 / (double(mediaDuration) * ratio);
  const size_t frameBytes = size_t(numChannels) * size_t(bytesPerSample);
  const SInt32 maxNumSamples = SInt32(kBufferBytes / frameBytes);
  FSIORefNum fork = 0;
  OSStatus err = OpenForWriting(aiffFile, &fork);
  if (err != noErr) return err;
  Handle fetched = NewHandle(0);
  Handle desc = NewHandle(0);
  std::vector<UInt8> out;
  try {
    out.resize(kBufferBytes);
  } catch (const std::bad_alloc &) {
    err = memFullErr;
  }
  if (fetched == nullptr || desc == nullptr) err = memFullErr;
  if (err == noErr)
    err = SetupAIFFHeader(fork, numChannels, UInt32(newSamplingRate), SInt16(bytesPerSample * 8), 'twos',
                          UInt32(kBufferBytes), UInt32(maxNumSamples));
  // The source frames [windowStart, windowStart + window.size() / channels), as signed values.
  std::vector<SInt32> window;
  SInt64 windowStart = mediaStart;
  SInt64 fetchedTo = mediaStart;
  const SInt64 sourceEnd = SInt64(mediaStart) + mediaDuration;
  const double limit = double(sourceEnd) - 2;
  const SInt32 lo = bytesPerSample == 1 ? -127 : -32768, hi = bytesPerSample == 1 ? 127 : 32767;
  SInt64 produced = 0, inBuffer = 0;
  for (SInt64 k = 0; err == noErr; ++k) {
    double x = double(mediaStart) + double(mediaDuration) * double(k) * inverse;
    if (x >= limit) break;
    if (x < double(mediaStart) + 1) continue;  // counted, not written
    SInt64 base = SInt64(x) - 1;
    // Fetch until the four points are there; drop what lies before them now and then.
    while (err == noErr && fetchedTo < base + 4) {
      SInt32 want = SInt32(std::min<SInt64>(maxNumSamples, sourceEnd - fetchedTo));
      SInt32 size = 0, count = 0;
      TimeValue sampleTime = 0;
      err = GetMediaSample(soundMedia, fetched, 0, &size, TimeValue(fetchedTo), &sampleTime, nullptr,
                           reinterpret_cast<SampleDescriptionHandle>(desc), nullptr, want, &count, nullptr);
      if (err != noErr) break;
      OSType format = FormatOf(reinterpret_cast<SoundDescriptionHandle>(desc));
      if (sampleTime != fetchedTo || count <= 0 || size_t(size) < size_t(count) * frameBytes) {
        err = paramErr;
        break;
      }
      const UInt8 *p = reinterpret_cast<const UInt8 *>(*fetched);
      for (size_t i = 0; i < size_t(count) * size_t(numChannels); ++i)
        window.push_back(SampleValue(p + i * size_t(bytesPerSample), bytesPerSample, format));
      fetchedTo += count;
    }
    if (err != noErr) break;
    if (base - windowStart > maxNumSamples) {
      window.erase(window.begin(), window.begin() + (base - windowStart) * numChannels);
      windowStart = base;
    }
    UInt8 *o = out.data() + size_t(inBuffer) * frameBytes;
    for (SInt16 c = 0; c < numChannels; ++c) {
      float ya[4];
      for (int j = 0; j < 4; ++j) ya[j] = float(window[size_t((base - windowStart + j) * numChannels + c)]);
      float v = NR_polintEq(0.0f, 1.0f, ya, 4, float(x - double(base)));
      v = std::clamp(v, float(lo), float(hi));
      SInt32 s = SInt32(v > 0 ? v + 0.49f : v - 0.49f);
      if (bytesPerSample == 1) {
        o[c] = UInt8(s ^ 128);
      } else {
        o[2 * c] = UInt8(UInt16(s) >> 8);
        o[2 * c + 1] = UInt8(s);
      }
    }
    ++produced;
    if (++inBuffer == maxNumSamples) {
      err = IA_WriteSoundSamples(fork, numChannels, bytesPerSample, out.data(), SInt32(inBuffer), SInt32(produced),
                                 inverse, newSamplingRate, progressData);
      inBuffer = 0;
    }
  }
  if (err == noErr)
    err = IA_WriteSoundSamples(fork, numChannels, bytesPerSample, out.data(), SInt32(inBuffer), SInt32(produced),
                               inverse, newSamplingRate, progressData);
  if (err == noErr)
    err = FinishAIFF(fork, numChannels, UInt32(newSamplingRate), SInt16(bytesPerSample * 8),
                     bytesPerSample == 1 ? 'raw ' : 'twos', UInt64(produced) * frameBytes, UInt64(produced));
  OSStatus closeErr = FSCloseFork(fork);
  if (fetched) DisposeHandle(fetched);
  if (desc) DisposeHandle(desc);
  return err != noErr ? err : closeErr;
}

// ---- Import ----

OSStatus IA_ImportAIFF(const FSRef *aiffFile, IA_SoundRef *soundRef) {
  if (soundRef == nullptr || soundRef->movie == nullptr) return paramErr;
  soundRef->track = nullptr;
  FSIORefNum fork = 0;
  OSStatus err = FSOpenFork(aiffFile, 0, nullptr, fsRdPerm, &fork);
  if (err != noErr) return err;
  PL_AIFFInfo info;
  err = PL_ReadAIFFHeader(fork, &info);
  FSCloseFork(fork);
  if (err != noErr) return err;
  OSType format = info.compression == 'NONE' ? 'twos' : info.compression;
  if (info.sampleSize > 16 && format == 'twos') format = info.sampleSize == 24 ? 'in24' : 'in32';
  if (info.sampleRate > 65535 || info.sampleRate < 1) return kPL_AIFFFormatErr;
  size_t frameBytes = size_t(info.numChannels) * size_t((info.sampleSize + 7) / 8);
  UInt64 frames = info.dataSize / frameBytes;
  if (frames == 0 || frames > 0x7FFFFFFF) return kPL_AIFFFormatErr;
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  err = QTNewDataReferenceFromFSRef(aiffFile, 0, &dataRef, &dataRefType);
  if (err != noErr) return err;
  TimeScale scale = TimeScale(std::lround(info.sampleRate));
  Track track = NewMovieTrack(soundRef->movie, 0, 0, 0x100);
  Media media = track != nullptr ? NewTrackMedia(track, SoundMediaType, scale, dataRef, dataRefType) : nullptr;
  err = GetMoviesError();
  DisposeHandle(dataRef);
  Handle desc = NewHandleClear(sizeof(SoundDescription));
  if (err == noErr && desc == nullptr) err = MemError();
  if (err == noErr) {
    SoundDescription &d = *reinterpret_cast<SoundDescription *>(*desc);
    d.descSize = sizeof(SoundDescription);
    d.dataFormat = format;
    d.dataRefIndex = 1;
    d.numChannels = info.numChannels;
    d.sampleSize = info.sampleSize;
    d.sampleRate = UInt32(std::lround(info.sampleRate * 65536.0));
    SampleReference64Record record{info.dataOffset, UInt32(frames * frameBytes), 1, UInt32(frames), 0};
    err = AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &record, nullptr);
  }
  if (err == noErr) err = InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1);
  if (desc) DisposeHandle(desc);
  if (err != noErr) {
    if (track) DisposeMovieTrack(track);
    return err;
  }
  soundRef->track = track;
  return noErr;
}
