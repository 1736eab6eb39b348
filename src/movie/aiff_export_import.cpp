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

// ---- Components ----

namespace {

OSStatus OpenExporter(UInt32 flag, MovieExportComponent *ci) {
  if (ci == nullptr) return paramErr;
  *ci = nullptr;
  ComponentDescription cd{MovieExportType, kQTFileTypeAIFF, kSoundManufacturer, flag, flag};
  Component c = FindNextComponent(nullptr, &cd);
  if (c == nullptr) return kIA_SoundExportCompNotFoundErr;
  return OpenAComponent(c, ci);
}

}  // namespace

OSStatus IA_OpenExportFromProceduresComponent(MovieExportComponent *ci) {
  return OpenExporter(canMovieExportFromProcedures, ci);
}

OSStatus IA_OpenExportToFileComponent(MovieExportComponent *ci) { return OpenExporter(canMovieExportFiles, ci); }

OSStatus IA_ConfigureExportComponent(MovieExportComponent ci, IA_SoundRef *soundRef) {
  if (soundRef == nullptr) return paramErr;
  const TimeScale scale = GetMediaTimeScale(soundRef->srcMedia);
  SInt32 trackID = 0;
  return MovieExportAddDataSource(ci, SoundMediaType, scale, &trackID, soundRef->getSoundTrackProperty,
                                  soundRef->getSoundTrackData, soundRef);
}

OSStatus IA_OpenImportComponent(MovieImportComponent *ci) {
  if (ci == nullptr) return paramErr;
  *ci = nullptr;
  ComponentDescription cd{MovieImportType, kQTFileTypeAIFF, kSoundManufacturer, canMovieImportFiles,
                          canMovieImportFiles};
  Component c = FindNextComponent(nullptr, &cd);
  if (c == nullptr) return kIA_SoundImportCompNotFoundErr;
  return OpenAComponent(c, ci);
}

OSStatus IA_ConfigureImportComponent(MovieImportComponent ci, IA_SoundRef *soundRef) {
  (void)ci, (void)soundRef;
  return noErr;
}

// ---- Export and import ----

OSStatus IA_ExportSoundToAIFF(const FSRef *aiffFile, IA_SoundRef *soundRef,
                              MovieExportGetPropertyProcPtr getSoundTrackProperty,
                              MovieExportGetDataProcPtr getSoundTrackData) {
  if (soundRef == nullptr || getSoundTrackProperty == nullptr || getSoundTrackData == nullptr) return paramErr;
  MovieExportComponent ci = nullptr;
  OSStatus err = IA_OpenExportFromProceduresComponent(&ci);
  if (err != noErr) return err;
  soundRef->getSoundTrackProperty = getSoundTrackProperty;
  soundRef->getSoundTrackData = getSoundTrackData;
  soundRef->nextMediaTime = soundRef->mediaStart;
  MovieProgressUPP progress = soundRef->progressProc != nullptr
                                  ? soundRef->progressProc
                                  : reinterpret_cast<MovieProgressUPP>(kPL_DefaultMovieProgressProc);
  err = MovieExportSetProgressProc(ci, progress, soundRef->progressRefcon);
  if (err == noErr) err = IA_ConfigureExportComponent(ci, soundRef);
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  if (err == noErr) err = QTNewDataReferenceFromFSRef(aiffFile, 0, &dataRef, &dataRefType);
  if (err == noErr) err = MovieExportFromProceduresToDataRef(ci, dataRef, dataRefType);
  MovieExportSetProgressProc(ci, nullptr, nullptr);
  CloseComponent(ci);
  if (dataRef != nullptr) DisposeHandle(dataRef);
  return err;
}

OSStatus IA_ImportAIFF(const FSRef *aiffFile, IA_SoundRef *soundRef) {
  if (soundRef == nullptr || soundRef->movie == nullptr) return paramErr;
  soundRef->track = nullptr;
  MovieImportComponent ci = nullptr;
  OSStatus err = IA_OpenImportComponent(&ci);
  if (err != noErr) return err;
  if (soundRef->progressProc != nullptr) err = MovieImportSetProgressProc(ci, soundRef->progressProc, soundRef->progressRefcon);
  if (err == noErr) err = IA_ConfigureImportComponent(ci, soundRef);
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  if (err == noErr) err = QTNewDataReferenceFromFSRef(aiffFile, 0, &dataRef, &dataRefType);
  SInt32 outFlags = 0;
  if (err == noErr)
    err = MovieImportDataRef(ci, dataRef, dataRefType, soundRef->movie, nullptr, &soundRef->track, 0, nullptr,
                             movieImportCreateTrack, &outFlags);
  if (soundRef->progressProc != nullptr) MovieImportSetProgressProc(ci, nullptr, nullptr);
  CloseComponent(ci);
  if (dataRef != nullptr) DisposeHandle(dataRef);
  return err;
}

// ---- Resampling ----

OSStatus IA_WriteSoundSamples(FSIORefNum dataForkID, SInt16 numChannels, SInt16 bytesPerSample, const void *newSoundPtr,
                              SInt32 curNewSampleNum, SInt32 newSampleNum, double newNumSamplesDInv,
                              Fixed newSamplingRate, GL_ProgrData *progressData, IA_ShowProgressProcPtr showProgress) {
  OSStatus err = noErr;
  if (curNewSampleNum > 0) {
    ByteCount bytes = ByteCount(curNewSampleNum) * ByteCount(numChannels) * ByteCount(bytesPerSample);
    err = FSWriteFork(dataForkID, fsAtMark, 0, bytes, newSoundPtr, nullptr);
  }
  if (err == noErr && progressData != nullptr) {
    progressData->percWorkDone = float(double(newSampleNum) * newNumSamplesDInv);
    const double framesPerMinute = 60.0 * double(UInt32(newSamplingRate)) / 65536.0;
    progressData->count = framesPerMinute > 0 ? SInt32(double(newSampleNum) / framesPerMinute) : 0;
    if (showProgress != nullptr) err = showProgress(progressData, CFSTR("# minutes ="));
  }
  return err;
}

namespace {

// The member of kChannels channels of kBytes bytes: the chunk loop, the four points of each output frame
// across the chunk boundary, and the clamping and rounding.
template <SInt16 kChannels, SInt16 kBytes>
OSStatus Resample(FSIORefNum fork, Media media, TimeValue mediaStart, TimeValue mediaDuration, Handle oldSoundBytes,
                  Handle newSoundBytes, SInt32 maxNumSamples, SInt32 *newNumSamples, Fixed newSamplingRate,
                  double inverse, GL_ProgrData *progressData, IA_ShowProgressProcPtr showProgress) {
  constexpr size_t kFrameBytes = size_t(kChannels) * size_t(kBytes);
  constexpr SInt32 kLow = kBytes == 1 ? -127 : -32768, kHigh = kBytes == 1 ? 127 : 32767;
  if (newNumSamples == nullptr) return paramErr;
  *newNumSamples = 0;
  if (media == nullptr || oldSoundBytes == nullptr || newSoundBytes == nullptr || maxNumSamples < 1 ||
      mediaStart < 0 || mediaDuration < 0 || !(inverse >= 0) || std::isinf(inverse) ||
      size_t(GetHandleSize(newSoundBytes)) < size_t(maxNumSamples) * kFrameBytes)
    return paramErr;
  Handle desc = NewHandle(0);
  if (desc == nullptr) return memFullErr;
  const SInt64 sourceEnd = SInt64(mediaStart) + mediaDuration;
  const double lastX = double(sourceEnd) - 2;
  // The last three frames of the previous chunk, for the output frames at the chunk's start.
  SInt32 carried[3][kChannels] = {};
  SInt64 t = mediaStart;  // the next source frame to fetch
  SInt64 k = 0, skipped = 0, inBuffer = 0;
  OSType format = 0;
  OSStatus err = noErr;
  UInt8 *out = reinterpret_cast<UInt8 *>(*newSoundBytes);
  // Fetching goes on to the end of the stretch so that no output frame lacks its last point.
  while (err == noErr && t < sourceEnd) {
    const SInt64 left = sourceEnd - t;
    SInt32 want = maxNumSamples;
    if (left < maxNumSamples) {
      want = SInt32(left & ~SInt64(15));
      if (want == 0) want = SInt32(left);
    }
    SInt32 size = 0, count = 0;
    TimeValue sampleTime = 0;
    err = GetMediaSample(media, oldSoundBytes, 0, &size, TimeValue(t), &sampleTime, nullptr,
                         reinterpret_cast<SampleDescriptionHandle>(desc), nullptr, want, &count, nullptr);
    if (err != noErr) break;
    const SoundDescription *d = GetHandleSize(desc) >= Size(sizeof(SoundDescription))
                                    ? reinterpret_cast<const SoundDescription *>(*desc)
                                    : nullptr;
    // A chunk elsewhere than asked for, or of other samples than this member reads, would be read as
    // wrong sound.
    if (d == nullptr || d->numChannels != kChannels || d->sampleSize != kBytes * 8 || sampleTime != t || count <= 0 ||
        count > want || size < 0 || size_t(size) < size_t(count) * kFrameBytes) {
      err = paramErr;
      break;
    }
    format = d->dataFormat;
    const UInt8 *chunk = reinterpret_cast<const UInt8 *>(*oldSoundBytes);
    const SInt64 c = t;
    t += count;
    // Source frame j (from c - 3 on) of channel ch.
    auto value = [&](SInt64 j, SInt16 ch) -> SInt32 {
      if (j >= c) return SampleValue(chunk + (size_t(j - c) * kChannels + size_t(ch)) * kBytes, kBytes, format);
      return carried[j - (c - 3)][ch];
    };
    const double limit = std::min(double(t) - 2, lastX);
    for (;; ++k) {
      const double x = double(mediaStart) + double(mediaDuration) * (double(k) * inverse);
      if (!(x < limit)) break;
      if (x < double(mediaStart) + 1) {
        ++skipped;  // counted, not written
        continue;
      }
      const SInt64 base = SInt64(x) - 1;
      UInt8 *o = out + size_t(inBuffer) * kFrameBytes;
      for (SInt16 ch = 0; ch < kChannels; ++ch) {
        float ya[4];
        for (int j = 0; j < 4; ++j) ya[j] = float(value(base + j, ch));
        float v = NR_polintEq(0.0f, 1.0f, ya, 4, float(x - double(base)));
        v = std::clamp(v, float(kLow), float(kHigh));
        const SInt32 sample = SInt32(v > 0 ? v + 0.49f : v - 0.49f);
        if (kBytes == 1) {
          o[ch] = UInt8(sample ^ 128);
        } else {
          o[2 * ch] = UInt8(UInt16(sample) >> 8);
          o[2 * ch + 1] = UInt8(sample);
        }
      }
      if (++inBuffer == maxNumSamples) {
        err = IA_WriteSoundSamples(fork, kChannels, kBytes, out, SInt32(inBuffer), SInt32(k + 1 - skipped), inverse,
                                   newSamplingRate, progressData, showProgress);
        inBuffer = 0;
        if (err != noErr) break;
      }
    }
    if (err != noErr) break;
    SInt32 next[3][kChannels];
    for (int i = 0; i < 3; ++i)
      for (SInt16 ch = 0; ch < kChannels; ++ch) next[i][ch] = t - 3 + i >= c - 3 ? value(t - 3 + i, ch) : 0;
    std::memcpy(carried, next, sizeof carried);
  }
  const SInt64 written = k - skipped;
  if (err == noErr)
    err = IA_WriteSoundSamples(fork, kChannels, kBytes, out, SInt32(inBuffer), SInt32(written), inverse,
                               newSamplingRate, progressData, showProgress);
  DisposeHandle(desc);
  if (err == noErr) *newNumSamples = SInt32(written);
  return err;
}

}  // namespace

OSStatus IA_ResampleSoundToAIFF16Mono(FSIORefNum dataForkID, Media soundMedia, TimeValue mediaStart,
                                      TimeValue mediaDuration, Handle oldSoundBytes, Handle newSoundBytes,
                                      SInt32 maxNumSamples, SInt32 *newNumSamples, Fixed newSamplingRate,
                                      double newNumSamplesDInv, GL_ProgrData *progressData,
                                      IA_ShowProgressProcPtr showProgress) {
  return Resample<1, 2>(dataForkID, soundMedia, mediaStart, mediaDuration, oldSoundBytes, newSoundBytes, maxNumSamples,
                        newNumSamples, newSamplingRate, newNumSamplesDInv, progressData, showProgress);
}

OSStatus IA_ResampleSoundToAIFF16Stereo(FSIORefNum dataForkID, Media soundMedia, TimeValue mediaStart,
                                        TimeValue mediaDuration, Handle oldSoundBytes, Handle newSoundBytes,
                                        SInt32 maxNumSamples, SInt32 *newNumSamples, Fixed newSamplingRate,
                                        double newNumSamplesDInv, GL_ProgrData *progressData,
                                        IA_ShowProgressProcPtr showProgress) {
  return Resample<2, 2>(dataForkID, soundMedia, mediaStart, mediaDuration, oldSoundBytes, newSoundBytes, maxNumSamples,
                        newNumSamples, newSamplingRate, newNumSamplesDInv, progressData, showProgress);
}

OSStatus IA_ResampleSoundToAIFF8Mono(FSIORefNum dataForkID, Media soundMedia, TimeValue mediaStart,
                                     TimeValue mediaDuration, Handle oldSoundBytes, Handle newSoundBytes,
                                     SInt32 maxNumSamples, SInt32 *newNumSamples, Fixed newSamplingRate,
                                     double newNumSamplesDInv, GL_ProgrData *progressData,
                                     IA_ShowProgressProcPtr showProgress) {
  return Resample<1, 1>(dataForkID, soundMedia, mediaStart, mediaDuration, oldSoundBytes, newSoundBytes, maxNumSamples,
                        newNumSamples, newSamplingRate, newNumSamplesDInv, progressData, showProgress);
}

OSStatus IA_ResampleSoundToAIFF8Stereo(FSIORefNum dataForkID, Media soundMedia, TimeValue mediaStart,
                                       TimeValue mediaDuration, Handle oldSoundBytes, Handle newSoundBytes,
                                       SInt32 maxNumSamples, SInt32 *newNumSamples, Fixed newSamplingRate,
                                       double newNumSamplesDInv, GL_ProgrData *progressData,
                                       IA_ShowProgressProcPtr showProgress) {
  return Resample<2, 1>(dataForkID, soundMedia, mediaStart, mediaDuration, oldSoundBytes, newSoundBytes, maxNumSamples,
                        newNumSamples, newSamplingRate, newNumSamplesDInv, progressData, showProgress);
}

OSStatus IA_ResampleSoundToAIFF(const FSRef *aiffFile, Media soundMedia, SInt16 numChannels, SInt16 bytesPerSample,
                                TimeValue mediaStart, TimeValue mediaDuration, double oldSamplingRate,
                                Fixed newSamplingRate, GL_ProgrData *progressData,
                                IA_ShowProgressProcPtr showProgress) {
  if (soundMedia == nullptr || numChannels < 1 || numChannels > 2 || bytesPerSample < 1 || bytesPerSample > 2 ||
      mediaStart < 0 || mediaDuration < 0 || !(oldSamplingRate > 0) || newSamplingRate <= 0)
    return paramErr;
  const double ratio = double(UInt32(newSamplingRate)) / oldSamplingRate;
  const double newFrames = double(mediaDuration) * ratio;
  // An empty stretch makes no frames; its inverse is never used.
  const double inverse = newFrames > 0 ? 1.0 / newFrames : 0.0;
  const size_t frameBytes = size_t(numChannels) * size_t(bytesPerSample);
  const SInt32 maxNumSamples = SInt32(kBufferBytes / frameBytes);
  FSIORefNum fork = 0;
  OSStatus err = OpenForWriting(aiffFile, &fork);
  if (err != noErr) return err;
  Handle oldSoundBytes = NewHandle(Size(kBufferBytes));
  Handle newSoundBytes = oldSoundBytes != nullptr ? NewHandle(Size(kBufferBytes)) : nullptr;
  if (newSoundBytes == nullptr) err = MemError() != noErr ? MemError() : OSErr(memFullErr);
  if (err == noErr)
    err = SetupAIFFHeader(fork, numChannels, UInt32(newSamplingRate), SInt16(bytesPerSample * 8), 'twos',
                          UInt32(kBufferBytes), UInt32(maxNumSamples));
  SInt32 written = 0;
  if (err == noErr) {
    auto member = numChannels == 1 ? (bytesPerSample == 1 ? IA_ResampleSoundToAIFF8Mono : IA_ResampleSoundToAIFF16Mono)
                                   : (bytesPerSample == 1 ? IA_ResampleSoundToAIFF8Stereo : IA_ResampleSoundToAIFF16Stereo);
    err = member(fork, soundMedia, mediaStart, mediaDuration, oldSoundBytes, newSoundBytes, maxNumSamples, &written,
                 newSamplingRate, inverse, progressData, showProgress);
  }
  if (err == noErr)
    err = FinishAIFF(fork, numChannels, UInt32(newSamplingRate), SInt16(bytesPerSample * 8),
                     bytesPerSample == 1 ? 'raw ' : 'twos', UInt64(written) * frameBytes, UInt64(written));
  OSStatus closeErr = FSCloseFork(fork);
  if (oldSoundBytes != nullptr) DisposeHandle(oldSoundBytes);
  if (newSoundBytes != nullptr) DisposeHandle(newSoundBytes);
  return err != noErr ? err : closeErr;
}
