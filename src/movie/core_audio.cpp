// Core Audio routines (see the header).
#include "movie/core_audio.h"

#include "movie/movie_queries.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/sound_description_properties.h"
#include "platform/movie/standard_compression.h"
#include "platform/movie/toolbox_time.h"
#include "platform/movie/track_editing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr Float64 kFillSeconds = 5.0;

// The standard layout tags (number, channels) the compressor may choose among.
const UInt32 kRestrictedTags[][2] = {{100, 1}, {101, 2}, {108, 4}, {117, 5}, {118, 5}, {119, 5}, {120, 5}, {121, 6},
                                     {122, 6}, {123, 6}, {124, 6}, {139, 6}, {141, 6}, {125, 7}, {142, 7}, {140, 7},
                                     {143, 7}, {126, 8}, {127, 8}, {128, 8}, {129, 8}, {144, 8}};

// Reads a property of any size into a new malloc block: size first, then the value. NULL and 0 for size 0.
template <typename SizeQuery, typename Getter>
OSStatus GetAllocated(SizeQuery askSize, Getter get, bool zeroed, void **out, UInt32 *outSize) {
  *out = nullptr;
  *outSize = 0;
  ByteCount size = 0;
  OSStatus err = askSize(&size);
  if (err != noErr || size == 0) return err;
  void *block = zeroed ? std::calloc(1, size) : std::malloc(size);
  if (block == nullptr) return memFullErr;
  ByteCount used = size;
  if ((err = get(size, block, &used)) != noErr) {
    std::free(block);
    return err;
  }
  *out = block;
  *outSize = UInt32(used);
  return noErr;
}

OSStatus SCGet(ComponentInstance ci, QTPropertyID id, ByteCount size, void *value) {
  return QTGetComponentProperty(ci, kQTPropertyClass_SCAudio, id, size, value, nullptr);
}

OSStatus SCSet(ComponentInstance ci, QTPropertyID id, ByteCount size, const void *value) {
  return QTSetComponentProperty(ci, kQTPropertyClass_SCAudio, id, size, value);
}

OSStatus SCGetAllocated(ComponentInstance ci, QTPropertyID id, void **out, UInt32 *outSize) {
  return GetAllocated(
      [ci, id](ByteCount *size) {
        return OSStatus(QTGetComponentPropertyInfo(ci, kQTPropertyClass_SCAudio, id, nullptr, size, nullptr));
      },
      [ci, id](ByteCount size, void *block, ByteCount *used) {
        return OSStatus(QTGetComponentProperty(ci, kQTPropertyClass_SCAudio, id, size, block, used));
      },
      false, out, outSize);
}

OSStatus ExtrGet(MovieAudioExtractionRef mae, QTPropertyClass cls, QTPropertyID id, ByteCount size, void *value) {
  return MovieAudioExtractionGetProperty(mae, cls, id, size, value, nullptr);
}

OSStatus ExtrSet(MovieAudioExtractionRef mae, QTPropertyClass cls, QTPropertyID id, ByteCount size, const void *value) {
  return MovieAudioExtractionSetProperty(mae, cls, id, size, value);
}

OSStatus FileGetAllocated(AudioFileID file, AudioFilePropertyID id, void **out, UInt32 *outSize) {
  return GetAllocated(
      [file, id](ByteCount *size) {
        UInt32 n = 0;
        OSStatus err = AudioFileGetPropertyInfo(file, id, &n, nullptr);
        *size = n;
        return err;
      },
      [file, id](ByteCount size, void *block, ByteCount *used) {
        UInt32 n = UInt32(size);
        OSStatus err = AudioFileGetProperty(file, id, &n, block);
        *used = n;
        return err;
      },
      false, out, outSize);
}

void FreeInputBuffers(CA_InputProcData *ipData) {
  if (ipData->inputBuffers != nullptr) {
    for (UInt32 i = 0; i < ipData->numInputBuffers; ++i) std::free(ipData->inputBuffers[i]);
    std::free(ipData->inputBuffers);
  }
  ipData->inputBuffers = nullptr;
  ipData->numInputBuffers = 0;
  ipData->inBufferSize = 0;
}

void DisposeOutBufferList(AudioBufferList *abl) {
  if (abl == nullptr) return;
  std::free(abl->mBuffers[0].mData);
  std::free(abl);
}

// Reports progress; a non-zero answer stops the caller.
OSStatus Report(CA_ProgressProcPtr proc, void *refcon, double done, double total) {
  if (proc == nullptr) return noErr;
  const float fraction = total > 0 ? float(std::min(1.0, done / total)) : 1.0f;
  return proc(fraction, refcon);
}

Float64 MovieSeconds(Movie movie) {
  const TimeScale scale = GetMovieTimeScale(movie);
  return scale > 0 ? Float64(GetMovieDuration(movie)) / Float64(scale) : 0.0;
}

}  // namespace

// ---- Standard audio compression ----

OSStatus CA_GetA_SCAudioCompInst(ComponentInstance *stdAudio) {
  if (stdAudio == nullptr) return paramErr;
  return OpenADefaultComponent(StandardCompressionType, StandardCompressionSubTypeAudio, stdAudio);
}

OSStatus CA_SCAudioRequestSettings(ComponentInstance audioCi, CFStringRef title) {
  // The extended procedures: filter, hook and refcon words, then the custom name as a Pascal string.
  UInt8 procs[44] = {};
  char name[256] = {};
  if (title != nullptr) CFStringGetCString(title, name, sizeof name, kCFStringEncodingUTF8);
  const size_t length = std::min<size_t>(std::strlen(name), 31);
  procs[12] = UInt8(length);
  std::memcpy(procs + 13, name, length);
  OSStatus err = SCSet(audioCi, kQTSCAudioPropertyID_ExtendedProcs, sizeof procs, procs);
  if (err != noErr) return err;
  return SCRequestImageSettings(audioCi);
}

OSStatus CA_RestrictSCAudioChannelLayoutTagList(ComponentInstance audioCi, UInt32 numDiscreteInputChannels,
                                                Boolean allowCustomChannelLayoutPassthru) {
  std::vector<AudioChannelLayoutTag> tags;
  for (const auto &t : kRestrictedTags) tags.push_back(PL_LayoutTag(t[0], t[1]));
  tags.push_back(kAudioChannelLayoutTag_DiscreteInOrder | (numDiscreteInputChannels & 0xFFFF));
  if (allowCustomChannelLayoutPassthru) tags.push_back(kAudioChannelLayoutTag_UseChannelDescriptions);
  return SCSet(audioCi, kQTSCAudioPropertyID_ClientRestrictedChannelLayoutTagList, tags.size() * 4, tags.data());
}

OSStatus CA_AddChannelLayoutPassthruToRestrictList(ComponentInstance audioCi) {
  void *list = nullptr;
  UInt32 size = 0;
  OSStatus err = SCGetAllocated(audioCi, kQTSCAudioPropertyID_ClientRestrictedChannelLayoutTagList, &list, &size);
  if (err != noErr) return err;
  std::vector<AudioChannelLayoutTag> tags(size / 4);
  if (!tags.empty()) std::memcpy(tags.data(), list, tags.size() * 4);
  std::free(list);
  if (std::find(tags.begin(), tags.end(), kAudioChannelLayoutTag_UseChannelDescriptions) != tags.end()) return noErr;
  tags.push_back(kAudioChannelLayoutTag_UseChannelDescriptions);
  return SCSet(audioCi, kQTSCAudioPropertyID_ClientRestrictedChannelLayoutTagList, tags.size() * 4, tags.data());
}

OSStatus CA_GetSCAudioRequiresPackets(ComponentInstance audioCi, Boolean *requiresPackets) {
  if (requiresPackets == nullptr) return paramErr;
  return SCGet(audioCi, kQTSCAudioPropertyID_RequiresPacketDescriptions, sizeof(Boolean), requiresPackets);
}

OSStatus CA_SetSCAudioInputSoundDescription(ComponentInstance audioCi, SoundDescriptionHandle inSndDesc) {
  return SCSet(audioCi, kQTSCAudioPropertyID_InputSoundDescription, sizeof inSndDesc, &inSndDesc);
}

// Reads the output description with the getter: handing the value to the setter, as a first reading of this
// routine would, gives the caller nothing.
OSStatus CA_GetSCAudioSoundDescription(ComponentInstance audioCi, SoundDescriptionHandle *outSndDesc) {
  if (outSndDesc == nullptr) return paramErr;
  *outSndDesc = nullptr;
  return SCGet(audioCi, kQTSCAudioPropertyID_SoundDescription, sizeof *outSndDesc, outSndDesc);
}

OSStatus CA_GetSCAudioMaxOutPacketSize(ComponentInstance audioCi, UInt32 *maxOutPacketSize) {
  if (maxOutPacketSize == nullptr) return paramErr;
  return SCGet(audioCi, kQTSCAudioPropertyID_MaximumOutputPacketSize, sizeof(UInt32), maxOutPacketSize);
}

OSStatus CA_SetSCAudioFormatInterleaved(ComponentInstance audioCi, Boolean interleaved) {
  const SCAudioFormatFlagsRestrictions restriction{kAudioFormatFlagIsNonInterleaved,
                                                   interleaved ? 0u : UInt32(kAudioFormatFlagIsNonInterleaved)};
  return SCSet(audioCi, kQTSCAudioPropertyID_ClientRestrictedLPCMFlags, sizeof restriction, &restriction);
}

OSStatus CA_SetSCAudioRestrictedFormat(ComponentInstance audioCi, AudioFormatID format) {
  return SCSet(audioCi, kQTSCAudioPropertyID_ClientRestrictedCompressionFormatList, sizeof format, &format);
}

OSStatus CA_GetSCAudioRenderQuality(ComponentInstance audioCi, UInt32 *renderQuality) {
  if (renderQuality == nullptr) return paramErr;
  return SCGet(audioCi, kQTSCAudioPropertyID_RenderQuality, sizeof(UInt32), renderQuality);
}

OSStatus CA_GetSCAudioOutChannelLayout(ComponentInstance audioCi, AudioChannelLayout **layout, UInt32 *layoutSize) {
  if (layout == nullptr || layoutSize == nullptr) return paramErr;
  void *block = nullptr;
  OSStatus err = SCGetAllocated(audioCi, kQTSCAudioPropertyID_ChannelLayout, &block, layoutSize);
  *layout = static_cast<AudioChannelLayout *>(block);
  return err;
}

OSStatus CA_SetSCAudioInChannelLayout(ComponentInstance audioCi, const AudioChannelLayout *layout, UInt32 layoutSize) {
  return SCSet(audioCi, kQTSCAudioPropertyID_InputChannelLayout, layoutSize, layout);
}

OSStatus CA_GetSCAudioMagicCookie(ComponentInstance audioCi, void **magicCookie, UInt32 *magicCookieSize) {
  if (magicCookie == nullptr || magicCookieSize == nullptr) return paramErr;
  return SCGetAllocated(audioCi, kQTSCAudioPropertyID_MagicCookie, magicCookie, magicCookieSize);
}

OSStatus CA_SetSCAudioInputMagicCookie(ComponentInstance audioCi, const void *magicCookie, UInt32 magicCookieSize) {
  return SCSet(audioCi, kQTSCAudioPropertyID_InputMagicCookie, magicCookieSize, magicCookie);
}

OSStatus CA_GetSCAudioOutAbsd(ComponentInstance audioCi, AudioStreamBasicDescription *asbd) {
  if (asbd == nullptr) return paramErr;
  *asbd = AudioStreamBasicDescription{};
  return SCGet(audioCi, kQTSCAudioPropertyID_BasicDescription, sizeof *asbd, asbd);
}

OSStatus CA_SetSCAudioInAbsd(ComponentInstance audioCi, const AudioStreamBasicDescription *asbd) {
  return SCSet(audioCi, kQTSCAudioPropertyID_InputBasicDescription, sizeof *asbd, asbd);
}

OSStatus CA_GetSCAudioCdecSett(ComponentInstance audioCi, CFDataRef *codecSpecificSett) {
  if (codecSpecificSett == nullptr) return paramErr;
  *codecSpecificSett = nullptr;
  ComponentPropertyFlags flags = 0;
  OSStatus err = QTGetComponentPropertyInfo(audioCi, kQTPropertyClass_SCAudio, kQTSCAudioPropertyID_CodecSpecificSettingsArray,
                                            nullptr, nullptr, &flags);
  if (err != noErr || !(flags & kComponentPropertyFlagCanGetNow)) return err;
  return SCGet(audioCi, kQTSCAudioPropertyID_CodecSpecificSettingsArray, sizeof *codecSpecificSett, codecSpecificSett);
}

OSStatus CA_GetSCAudioSettings(ComponentInstance stdAudio, CFDataRef *codecSpecificSett, void **magicCookie,
                               UInt32 *magicCookieSize) {
  OSStatus err = CA_GetSCAudioCdecSett(stdAudio, codecSpecificSett);
  if (err != noErr) return err;
  return CA_GetSCAudioMagicCookie(stdAudio, magicCookie, magicCookieSize);
}

// ---- Movie audio extraction ----

OSStatus CA_SetAudioExtrRenderQuality(MovieAudioExtractionRef mae, UInt32 renderQuality) {
  return ExtrSet(mae, kQTPropertyClass_MovieAudioExtraction_Audio, kQTMovieAudioExtractionAudioPropertyID_RenderQuality,
                 sizeof renderQuality, &renderQuality);
}

OSStatus CA_SetAudioExtrAllChannelsDiscrete(MovieAudioExtractionRef mae, Boolean allChansDiscrete) {
  return ExtrSet(mae, kQTPropertyClass_MovieAudioExtraction_Movie,
                 kQTMovieAudioExtractionMoviePropertyID_AllChannelsDiscrete, sizeof allChansDiscrete, &allChansDiscrete);
}

OSStatus CA_GetAudioExtrChannelLayout(MovieAudioExtractionRef mae, AudioChannelLayout **layout, UInt32 *layoutSize) {
  if (layout == nullptr || layoutSize == nullptr) return paramErr;
  void *block = nullptr;
  OSStatus err = GetAllocated(
      [mae](ByteCount *size) {
        return MovieAudioExtractionGetPropertyInfo(mae, kQTPropertyClass_MovieAudioExtraction_Audio,
                                                   kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout, nullptr,
                                                   size, nullptr);
      },
      [mae](ByteCount size, void *value, ByteCount *used) {
        return MovieAudioExtractionGetProperty(mae, kQTPropertyClass_MovieAudioExtraction_Audio,
                                               kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout, size, value,
                                               used);
      },
      true, &block, layoutSize);
  *layout = static_cast<AudioChannelLayout *>(block);
  return err;
}

OSStatus CA_GetAudioExtrAsbd(MovieAudioExtractionRef mae, AudioStreamBasicDescription *asbd) {
  return ExtrGet(mae, kQTPropertyClass_MovieAudioExtraction_Audio,
                 kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription, sizeof *asbd, asbd);
}

OSStatus CA_SetAudioExtrAsbd(MovieAudioExtractionRef mae, const AudioStreamBasicDescription *asbd) {
  return ExtrSet(mae, kQTPropertyClass_MovieAudioExtraction_Audio,
                 kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription, sizeof *asbd, asbd);
}

OSStatus CA_GetAudioExtrMaxSampleSize(MovieAudioExtractionRef mae, UInt32 *maxSampleSize) {
  return ExtrGet(mae, kQTPropertyClass_MovieAudioExtraction_Audio, kQTMovieAudioExtractionAudioPropertyID_MaxSampleSize,
                 sizeof *maxSampleSize, maxSampleSize);
}

OSStatus CA_SetAudioExtrCurrentTime(Movie movie, MovieAudioExtractionRef mae, Float64 timeInSec) {
  TimeRecord time{};
  time.scale = GetMovieTimeScale(movie);
  const SInt64 value = SInt64(std::llround(Float64(time.scale) * timeInSec));
  time.value.hi = SInt32(value >> 32);
  time.value.lo = UInt32(value);
  time.base = nullptr;
  return ExtrSet(mae, kQTPropertyClass_MovieAudioExtraction_Movie, kQTMovieAudioExtractionMoviePropertyID_CurrentTime,
                 sizeof time, &time);
}

OSStatus CA_SetAudioExtrNativeInterleaved16bit(MovieAudioExtractionRef mae) {
  AudioStreamBasicDescription asbd{};
  OSStatus err = CA_GetAudioExtrAsbd(mae, &asbd);
  if (err != noErr) return err;
  asbd.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked | kAudioFormatFlagsNativeEndian;
  asbd.mBitsPerChannel = 16;
  asbd.mBytesPerFrame = asbd.mBytesPerPacket = asbd.mChannelsPerFrame * 2;
  asbd.mFramesPerPacket = 1;
  return CA_SetAudioExtrAsbd(mae, &asbd);
}

OSStatus CA_GetAudioExtrNumDiscrInputChnls(MovieAudioExtractionRef mae, UInt32 *numDiscrInputChanls) {
  if (numDiscrInputChanls == nullptr) return paramErr;
  OSStatus err = CA_SetAudioExtrAllChannelsDiscrete(mae, true);
  if (err != noErr) return err;
  AudioStreamBasicDescription asbd{};
  err = CA_GetAudioExtrAsbd(mae, &asbd);
  if (err == noErr) *numDiscrInputChanls = asbd.mChannelsPerFrame;
  const OSStatus back = CA_SetAudioExtrAllChannelsDiscrete(mae, false);
  return err != noErr ? err : back;
}

OSStatus CA_AudioExtrGetSomeNativeInterleaved16bitStereoSamples(MovieAudioExtractionRef mae, UInt32 *numFrames,
                                                                 void **buffer, Boolean *extrComplete) {
  if (numFrames == nullptr || buffer == nullptr || extrComplete == nullptr) return paramErr;
  *buffer = nullptr;
  void *block = std::malloc(std::max<size_t>(size_t(*numFrames) * 4, 1));
  if (block == nullptr) return memFullErr;
  AudioBufferList list{};
  list.mNumberBuffers = 1;
  list.mBuffers[0] = {2, *numFrames * 4, block};
  UInt32 flags = 0;
  OSStatus err = MovieAudioExtractionFillBuffer(mae, numFrames, &list, &flags);
  if (err != noErr) {
    std::free(block);
    return err;
  }
  *extrComplete = (flags & kQTMovieAudioExtractionComplete) != 0;
  *buffer = block;
  return noErr;
}

Boolean CA_LayoutIsDualMono(const AudioChannelLayout *layout) {
  return layout != nullptr && layout->mNumberChannelDescriptions == 2 &&
         layout->mChannelDescriptions[0].mChannelLabel == kAudioChannelLabel_Mono &&
         layout->mChannelDescriptions[1].mChannelLabel == kAudioChannelLabel_Mono;
}

OSStatus CA_GetSoundMovieAsbd(Movie soundMovie, AudioStreamBasicDescription *asbd) {
  if (asbd == nullptr) return paramErr;
  Track track = QT_GetFirstSoundTrack(soundMovie);
  if (track == nullptr) return noSoundTrackInMovieErr;
  SoundDescriptionHandle desc = reinterpret_cast<SoundDescriptionHandle>(NewHandle(0));
  if (desc == nullptr) return memFullErr;
  GetMediaSampleDescription(GetTrackMedia(track), 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  OSStatus err = GetMoviesError();
  if (err == noErr) err = CA_GetSndDescAsbd(desc, asbd);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  return err;
}

OSStatus CA_MovieAudioExtractionBegin(Movie srcMovie, MovieAudioExtractionRef *mae, AudioStreamBasicDescription *inAsbd,
                                      UInt32 *layoutSize, AudioChannelLayout **inLayout) {
  if (mae == nullptr || inAsbd == nullptr || layoutSize == nullptr || inLayout == nullptr) return paramErr;
  *inLayout = nullptr;
  *layoutSize = 0;
  OSStatus err = MovieAudioExtractionBegin(srcMovie, 0, mae);
  if (err != noErr) return err;
  UInt32 maxSampleSize = 0;
  err = CA_GetAudioExtrAsbd(*mae, inAsbd);
  if (err == noErr) err = CA_GetAudioExtrMaxSampleSize(*mae, &maxSampleSize);
  if (err == noErr) {
    inAsbd->mBitsPerChannel = maxSampleSize;
    if (maxSampleSize <= 32) {
      inAsbd->mFormatFlags &= ~AudioFormatFlags(kAudioFormatFlagIsFloat | kAudioFormatFlagIsNonInterleaved);
      inAsbd->mFormatFlags |= kAudioFormatFlagIsSignedInteger;
    } else {
      // The whole operations fill one interleaved buffer: floats stay floats, interleaved.
      inAsbd->mFormatFlags &= ~AudioFormatFlags(kAudioFormatFlagIsNonInterleaved);
      inAsbd->mBitsPerChannel = 32;
    }
    inAsbd->mBytesPerFrame = inAsbd->mBytesPerPacket = (inAsbd->mBitsPerChannel / 8) * inAsbd->mChannelsPerFrame;
    err = CA_SetAudioExtrAsbd(*mae, inAsbd);
  }
  if (err == noErr) err = CA_GetAudioExtrAsbd(*mae, inAsbd);
  if (err == noErr) err = CA_GetAudioExtrChannelLayout(*mae, inLayout, layoutSize);
  if (err != noErr) {
    MovieAudioExtractionEnd(*mae);
    *mae = nullptr;
  }
  return err;
}

OSStatus CA_AddSoundTrackToMovie(Movie trgtMovie, const AudioStreamBasicDescription *asbd, UInt32 layoutSize,
                                 const AudioChannelLayout *layout, UInt32 cookieSize, const void *magicCookie,
                                 Track *track, Media *media, SoundDescriptionHandle *sndDesc) {
  if (asbd == nullptr || track == nullptr || media == nullptr || sndDesc == nullptr) return paramErr;
  *track = nullptr;
  *media = nullptr;
  *sndDesc = nullptr;
  const bool withCookie = cookieSize > 0 && magicCookie != nullptr;
  OSStatus err = QTSoundDescriptionCreate(asbd, layout, layout != nullptr ? layoutSize : 0, withCookie ? magicCookie : nullptr,
                                          withCookie ? cookieSize : 0,
                                          kQTSoundDescriptionKind_Movie_LowestPossibleVersion, sndDesc);
  if (err != noErr) return err;
  *track = NewMovieTrack(trgtMovie, 0, 0, 0x100);  // full volume
  err = GetMoviesError();
  if (err == noErr && *track != nullptr) {
    *media = NewTrackMedia(*track, SoundMediaType, TimeScale(asbd->mSampleRate), nullptr, 0);
    err = GetMoviesError();
  }
  if (err == noErr && (*track == nullptr || *media == nullptr)) err = paramErr;
  if (err != noErr) {
    if (*track != nullptr) DisposeMovieTrack(*track);
    DisposeHandle(reinterpret_cast<Handle>(*sndDesc));
    *track = nullptr;
    *media = nullptr;
    *sndDesc = nullptr;
  }
  return err;
}

// ---- Audio files ----

OSStatus CA_GetAudioFilePacketCount(AudioFileID audioFile, UInt64 *packetCount) {
  UInt32 size = sizeof *packetCount;
  return AudioFileGetProperty(audioFile, kAudioFilePropertyAudioDataPacketCount, &size, packetCount);
}

OSStatus CA_GetAudioFileMaxPacketSize(AudioFileID audioFile, UInt32 *maxPacketSize) {
  UInt32 size = sizeof *maxPacketSize;
  return AudioFileGetProperty(audioFile, kAudioFilePropertyMaximumPacketSize, &size, maxPacketSize);
}

OSStatus CA_GetAudioFileAbsd(AudioFileID audioFile, AudioStreamBasicDescription *asbd) {
  UInt32 size = sizeof *asbd;
  return AudioFileGetProperty(audioFile, kAudioFilePropertyDataFormat, &size, asbd);
}

OSStatus CA_GetAudioFileChannelLayout(AudioFileID audioFile, AudioChannelLayout **layout, UInt32 *layoutSize) {
  if (layout == nullptr || layoutSize == nullptr) return paramErr;
  void *block = nullptr;
  OSStatus err = FileGetAllocated(audioFile, kAudioFilePropertyChannelLayout, &block, layoutSize);
  *layout = static_cast<AudioChannelLayout *>(block);
  return err;
}

OSStatus CA_SetAudioFileChannelLayout(AudioFileID audioFile, const AudioChannelLayout *layout, UInt32 layoutSize) {
  return AudioFileSetProperty(audioFile, kAudioFilePropertyChannelLayout, layoutSize, layout);
}

OSStatus CA_GetAudioFileMagicCookie(AudioFileID audioFile, void **magicCookie, UInt32 *magicCookieSize) {
  if (magicCookie == nullptr || magicCookieSize == nullptr) return paramErr;
  return FileGetAllocated(audioFile, kAudioFilePropertyMagicCookieData, magicCookie, magicCookieSize);
}

OSStatus CA_SetAudioFileMagicCookie(AudioFileID audioFile, const void *magicCookie, UInt32 magicCookieSize) {
  return AudioFileSetProperty(audioFile, kAudioFilePropertyMagicCookieData, magicCookieSize, magicCookie);
}

// ---- Sound descriptions ----

OSStatus CA_GetSndDescAsbd(SoundDescriptionHandle sndDesc, AudioStreamBasicDescription *asbd) {
  if (asbd == nullptr) return paramErr;
  *asbd = AudioStreamBasicDescription{};
  return QTSoundDescriptionGetProperty(sndDesc, kQTPropertyClass_SoundDescription,
                                       kQTSoundDescriptionPropertyID_AudioStreamBasicDescription, sizeof *asbd, asbd,
                                       nullptr);
}

OSStatus CA_SetSndDescLayout(SoundDescriptionHandle sndDesc, const AudioChannelLayout *layout, UInt32 layoutSize) {
  return QTSoundDescriptionSetProperty(sndDesc, kQTPropertyClass_SoundDescription,
                                       kQTSoundDescriptionPropertyID_AudioChannelLayout, layoutSize, layout);
}

OSStatus CA_GetSndDescLayout(SoundDescriptionHandle sndDesc, AudioChannelLayout *layout, UInt32 layoutSize) {
  return QTSoundDescriptionGetProperty(sndDesc, kQTPropertyClass_SoundDescription,
                                       kQTSoundDescriptionPropertyID_AudioChannelLayout, layoutSize, layout, nullptr);
}

OSStatus CA_GetSndDescLayoutSize(SoundDescriptionHandle sndDesc, UInt32 *layoutSize) {
  if (layoutSize == nullptr) return paramErr;
  ByteCount size = 0;
  OSStatus err = QTSoundDescriptionGetPropertyInfo(sndDesc, kQTPropertyClass_SoundDescription,
                                                   kQTSoundDescriptionPropertyID_AudioChannelLayout, nullptr, &size, nullptr);
  *layoutSize = UInt32(size);
  return err;
}

OSStatus CA_SetSndDescMagicCookie(SoundDescriptionHandle sndDesc, const void *magicCookie, UInt32 magicCookieSize) {
  return QTSoundDescriptionSetProperty(sndDesc, kQTPropertyClass_SoundDescription,
                                       kQTSoundDescriptionPropertyID_MagicCookie, magicCookieSize, magicCookie);
}

// ---- Whole operations ----

OSStatus CA_ExtractAudioFromMovieToMovie(Movie srcMovie, Movie trgtMovie, CA_ProgressProcPtr progrProc,
                                         void *progrRefcon) {
  std::puts("CA_ExtractAudioFromMovieToMovie");
  MovieAudioExtractionRef mae = nullptr;
  AudioStreamBasicDescription asbd{};
  UInt32 layoutSize = 0;
  AudioChannelLayout *layout = nullptr;
  OSStatus err = CA_MovieAudioExtractionBegin(srcMovie, &mae, &asbd, &layoutSize, &layout);
  if (err != noErr) return err;
  // One fill holds 5 seconds.
  const UInt32 framesPerPacket = std::max<UInt32>(asbd.mFramesPerPacket, 1);
  const UInt32 packetsPerFill = UInt32(asbd.mSampleRate * kFillSeconds / framesPerPacket);
  const UInt32 bufferSize = asbd.mBytesPerPacket * packetsPerFill;
  const double totalPackets = double(UInt64(MovieSeconds(srcMovie) * asbd.mSampleRate) / framesPerPacket);
  void *buffer = std::malloc(std::max<UInt32>(bufferSize, 1));
  Track track = nullptr;
  Media media = nullptr;
  SoundDescriptionHandle sndDesc = nullptr;
  if (buffer == nullptr) err = memFullErr;
  if (err == noErr) err = CA_SetAudioExtrRenderQuality(mae, kQTAudioRenderQuality_Max);
  if (err == noErr) err = CA_AddSoundTrackToMovie(trgtMovie, &asbd, layoutSize, layout, 0, nullptr, &track, &media, &sndDesc);
  if (err == noErr) err = BeginMediaEdits(media);
  bool complete = false;
  double packetsDone = 0;
  float lastReported = -1;
  while (err == noErr && !complete) {
    AudioBufferList list{};
    list.mNumberBuffers = 1;
    list.mBuffers[0] = {asbd.mChannelsPerFrame, bufferSize, buffer};
    UInt32 frames = packetsPerFill;
    UInt32 flags = 0;
    err = MovieAudioExtractionFillBuffer(mae, &frames, &list, &flags);
    if (err != noErr) break;
    complete = (flags & kQTMovieAudioExtractionComplete) != 0;
    if (frames == 0) continue;
    err = AddMediaSample2(media, static_cast<const UInt8 *>(buffer), list.mBuffers[0].mDataByteSize, 1, 0,
                          reinterpret_cast<SampleDescriptionHandle>(sndDesc), ItemCount(frames) * framesPerPacket, 0,
                          nullptr);
    if (err != noErr) break;
    packetsDone += frames;
    lastReported = totalPackets > 0 ? float(std::min(1.0, packetsDone / totalPackets)) : 1.0f;
    err = Report(progrProc, progrRefcon, packetsDone, totalPackets);
  }
  if (err == noErr && lastReported < 1.0f) err = Report(progrProc, progrRefcon, 1, 1);
  if (media != nullptr) {
    const OSStatus endErr = EndMediaEdits(media);
    if (err == noErr) err = endErr;
  }
  if (err == noErr) err = InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1);
  // A stopped or failed copy leaves no half track behind.
  if (err != noErr && track != nullptr) DisposeMovieTrack(track);
  MovieAudioExtractionEnd(mae);
  std::free(buffer);
  std::free(layout);
  if (sndDesc != nullptr) DisposeHandle(reinterpret_cast<Handle>(sndDesc));
  return err;
}

OSStatus CA_CompressSoundFromMovieToMovie(Movie srcMovie, QTAtomContainer soundExportSett, Movie trgtMovie,
                                          CA_ProgressProcPtr progrProc, void *progrRefcon) {
  std::puts("CA_CompressSoundFromMovieToMovie");
  ComponentInstance stdAudio = nullptr;
  OSStatus err = CA_GetA_SCAudioCompInst(&stdAudio);
  if (err != noErr) return err;
  if (soundExportSett != nullptr) err = SCSetSettingsFromAtomContainer(stdAudio, soundExportSett);
  CA_InputProcData ipData{};
  AudioChannelLayout *inLayout = nullptr, *outLayout = nullptr;
  UInt32 inLayoutSize = 0, outLayoutSize = 0, cookieSize = 0, quality = 0;
  void *cookie = nullptr;
  AudioStreamBasicDescription outAsbd{};
  Track track = nullptr;
  Media media = nullptr;
  SoundDescriptionHandle sndDesc = nullptr;
  if (err == noErr) err = CA_MovieAudioExtractionBegin(srcMovie, &ipData.mae, &ipData.asbd, &inLayoutSize, &inLayout);
  if (err == noErr) err = CA_SetSCAudioInAbsd(stdAudio, &ipData.asbd);
  if (err == noErr) err = CA_SetSCAudioInChannelLayout(stdAudio, inLayout, inLayoutSize);
  if (err == noErr) err = CA_GetSCAudioRenderQuality(stdAudio, &quality);
  if (err == noErr) err = CA_SetAudioExtrRenderQuality(ipData.mae, quality);
  if (err == noErr) err = CA_GetSCAudioOutAbsd(stdAudio, &outAsbd);
  if (err == noErr) err = CA_GetSCAudioOutChannelLayout(stdAudio, &outLayout, &outLayoutSize);
  if (err == noErr) err = CA_GetSCAudioMagicCookie(stdAudio, &cookie, &cookieSize);
  if (err == noErr)
    err = CA_AddSoundTrackToMovie(trgtMovie, &outAsbd, outLayoutSize, outLayout, cookieSize, cookie, &track, &media, &sndDesc);
  if (err == noErr) err = BeginMediaEdits(media);
  const Float64 seconds = MovieSeconds(srcMovie);
  if (err == noErr)
    err = CA_SCAudioCompressToMedia(stdAudio, CA_SCAudioInputDataProcFromMovie, &ipData, media, sndDesc, seconds, progrProc,
                                    progrRefcon);
  if (media != nullptr) {
    const OSStatus endErr = EndMediaEdits(media);
    if (err == noErr) err = endErr;
  }
  if (err == noErr) {
    // The track shows the source's frames: the codec's priming stays in the media, unshown, so the sound
    // keeps its place against the picture.
    AudioConverterPrimeInfo prime{0, 0};
    SCGet(stdAudio, kQTSCAudioPropertyID_PrimeInfo, sizeof prime, &prime);
    const TimeValue mediaDuration = GetMediaDuration(media);
    const TimeValue start = std::min<TimeValue>(TimeValue(prime.leadingFrames), mediaDuration);
    const TimeValue shown = std::min<TimeValue>(mediaDuration - start,
                                                TimeValue(std::llround(seconds * Float64(GetMediaTimeScale(media)))));
    err = InsertMediaIntoTrack(track, 0, start, shown, fixed1);
  }
  if (err != noErr && track != nullptr) DisposeMovieTrack(track);
  FreeInputBuffers(&ipData);
  std::free(inLayout);
  std::free(outLayout);
  std::free(cookie);
  if (sndDesc != nullptr) DisposeHandle(reinterpret_cast<Handle>(sndDesc));
  CloseComponent(stdAudio);
  if (ipData.mae != nullptr) MovieAudioExtractionEnd(ipData.mae);
  return err;
}

OSStatus CA_SCAudioCompressToMedia(ComponentInstance stdAudio, SCAudioInputDataProc inInputProc,
                                   CA_InputProcData *ipData, Media media, SoundDescriptionHandle sndDesc,
                                   Float64 srcMovieDurationInSec, CA_ProgressProcPtr progrProc, void *progrRefcon) {
  std::puts("CA_SCAudioCompressToMedia");
  UInt32 numPackets = 0;
  AudioBufferList *abl = nullptr;
  AudioStreamBasicDescription outAsbd{};
  AudioStreamPacketDescription *aspds = nullptr;
  OSStatus err = CA_CreateOutBufferList(stdAudio, &numPackets, &abl, &outAsbd, &aspds);
  if (err != noErr) return err;
  const UInt32 framesPerPacket = std::max<UInt32>(outAsbd.mFramesPerPacket, 1);
  const double totalPackets = double(UInt64(srcMovieDurationInSec * outAsbd.mSampleRate) / framesPerPacket);
  UInt8 *block = static_cast<UInt8 *>(abl->mBuffers[0].mData);
  const UInt32 bufferBytes = abl->mBuffers[0].mDataByteSize;
  const UInt32 channelsPerBuffer = abl->mNumberBuffers > 1 ? 1 : outAsbd.mChannelsPerFrame;
  double packetsDone = 0;
  float lastReported = -1;
  for (;;) {
    for (UInt32 b = 0; b < abl->mNumberBuffers; ++b) abl->mBuffers[b] = {channelsPerBuffer, bufferBytes, block + size_t(b) * bufferBytes};
    UInt32 packets = numPackets;
    err = SCAudioFillBuffer(stdAudio, inInputProc, ipData, &packets, abl, aspds);
    if (err != noErr) break;
    bool empty = true;
    for (UInt32 b = 0; b < abl->mNumberBuffers; ++b) empty = empty && abl->mBuffers[b].mDataByteSize == 0;
    if (packets == 0 && empty) break;
    if ((err = CA_AddSamplesToMedia(media, sndDesc, packets, abl, &outAsbd, aspds)) != noErr) break;
    packetsDone += packets;
    lastReported = totalPackets > 0 ? float(std::min(1.0, packetsDone / totalPackets)) : 1.0f;
    if ((err = Report(progrProc, progrRefcon, packetsDone, totalPackets)) != noErr) break;
  }
  if (err == noErr && lastReported < 1.0f) err = Report(progrProc, progrRefcon, 1, 1);
  abl->mBuffers[0].mData = block;
  DisposeOutBufferList(abl);
  std::free(aspds);
  return err;
}

OSStatus CA_CreateOutBufferList(ComponentInstance stdAudio, UInt32 *numPackets, AudioBufferList **abl,
                                AudioStreamBasicDescription *outAsbd, AudioStreamPacketDescription **aspds) {
  if (numPackets == nullptr || abl == nullptr || outAsbd == nullptr || aspds == nullptr) return paramErr;
  *abl = nullptr;
  *aspds = nullptr;
  UInt32 maxPacket = 0;
  Boolean requiresPackets = false;
  OSStatus err = CA_GetSCAudioOutAbsd(stdAudio, outAsbd);
  if (err == noErr) err = CA_GetSCAudioMaxOutPacketSize(stdAudio, &maxPacket);
  if (err == noErr) err = CA_GetSCAudioRequiresPackets(stdAudio, &requiresPackets);
  if (err != noErr) return err;
  const UInt32 framesPerPacket = std::max<UInt32>(outAsbd->mFramesPerPacket, 1);
  *numPackets = std::max<UInt32>(UInt32(outAsbd->mSampleRate * kFillSeconds / framesPerPacket), 1);
  const bool planar = (outAsbd->mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0;
  const UInt32 buffers = planar ? outAsbd->mChannelsPerFrame : 1;
  const size_t bufferBytes = size_t(maxPacket) * *numPackets;
  if (requiresPackets) {
    *aspds = static_cast<AudioStreamPacketDescription *>(std::calloc(*numPackets, sizeof(AudioStreamPacketDescription)));
    if (*aspds == nullptr) return memFullErr;
  }
  auto *list = static_cast<AudioBufferList *>(std::calloc(1, PL_AudioBufferListSize(buffers)));
  UInt8 *block = static_cast<UInt8 *>(std::malloc(std::max<size_t>(bufferBytes * buffers, 1)));
  if (list == nullptr || block == nullptr || bufferBytes > 0xFFFFFFFFu) {
    std::free(list);
    std::free(block);
    std::free(*aspds);
    *aspds = nullptr;
    return memFullErr;
  }
  list->mNumberBuffers = buffers;
  for (UInt32 b = 0; b < buffers; ++b)
    list->mBuffers[b] = {planar ? 1u : outAsbd->mChannelsPerFrame, UInt32(bufferBytes), block + size_t(b) * bufferBytes};
  *abl = list;
  return noErr;
}

OSStatus CA_AddSamplesToMedia(Media media, SoundDescriptionHandle sndDesc, UInt32 numPackets, AudioBufferList *abl,
                              const AudioStreamBasicDescription *outAsbd, AudioStreamPacketDescription *aspds) {
  if (abl == nullptr || outAsbd == nullptr) return paramErr;
  const UInt8 *data = static_cast<const UInt8 *>(abl->mBuffers[0].mData);
  SampleDescriptionHandle desc = reinterpret_cast<SampleDescriptionHandle>(sndDesc);
  if (aspds == nullptr) {
    const ItemCount samples = ItemCount(outAsbd->mFramesPerPacket) * numPackets;
    if (samples == 0) return noErr;
    return AddMediaSample2(media, data, abl->mBuffers[0].mDataByteSize, 1, 0, desc, samples, 0, nullptr);
  }
  for (UInt32 i = 0; i < numPackets; ++i) {
    const AudioStreamPacketDescription &p = aspds[i];
    const TimeValue64 duration = p.mVariableFramesInPacket != 0 ? p.mVariableFramesInPacket : outAsbd->mFramesPerPacket;
    OSStatus err = AddMediaSample2(media, data + p.mStartOffset, p.mDataByteSize, duration, 0, desc, 1, 0, nullptr);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus CA_SCAudioInputDataProcFromMovie(ComponentInstance, UInt32 *ioNumberDataPackets, AudioBufferList *ioData,
                                          AudioStreamPacketDescription **outDataPacketDesc, void *refCon) {
  CA_InputProcData *ipData = static_cast<CA_InputProcData *>(refCon);
  if (ipData == nullptr || ioNumberDataPackets == nullptr || ioData == nullptr) return paramErr;
  if (outDataPacketDesc != nullptr) *outDataPacketDesc = nullptr;
  if (ipData->extrCompl) {
    FreeInputBuffers(ipData);
    *ioNumberDataPackets = 0;
    for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
      ioData->mBuffers[b].mDataByteSize = 0;
      ioData->mBuffers[b].mData = nullptr;
    }
    return noErr;
  }
  if (ioData->mNumberBuffers > 0 && ioData->mBuffers[0].mData == nullptr) {
    // The compressor offers no buffers: lend ours, made large enough for what it asks.
    const UInt32 needed = ipData->asbd.mBytesPerFrame * *ioNumberDataPackets;
    if (ipData->inputBuffers == nullptr || ipData->inBufferSize < needed || ipData->numInputBuffers != ioData->mNumberBuffers) {
      OSStatus err = CA_CreateInputBuffers(ipData, *ioNumberDataPackets);
      if (err != noErr) return err;
    }
    if (ipData->numInputBuffers != ioData->mNumberBuffers) return paramErr;
    for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
      ioData->mBuffers[b].mData = ipData->inputBuffers[b];
      ioData->mBuffers[b].mDataByteSize = ipData->inBufferSize;
    }
  }
  UInt32 flags = 0;
  OSStatus err = MovieAudioExtractionFillBuffer(ipData->mae, ioNumberDataPackets, ioData, &flags);
  if (err != noErr) return err;
  ipData->extrCompl = (flags & kQTMovieAudioExtractionComplete) != 0;
  return noErr;
}

OSStatus CA_CreateInputBuffers(CA_InputProcData *ipData, UInt32 pullPackets) {
  if (ipData == nullptr) return paramErr;
  FreeInputBuffers(ipData);
  const bool planar = (ipData->asbd.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0;
  const UInt32 buffers = planar ? ipData->asbd.mChannelsPerFrame : 1;
  const UInt32 size = ipData->asbd.mBytesPerFrame * pullPackets;
  ipData->inputBuffers = static_cast<void **>(std::calloc(buffers, sizeof(void *)));
  if (ipData->inputBuffers == nullptr) return memFullErr;
  ipData->numInputBuffers = buffers;
  for (UInt32 b = 0; b < buffers; ++b) {
    ipData->inputBuffers[b] = std::malloc(std::max<UInt32>(size, 1));
    if (ipData->inputBuffers[b] == nullptr) {
      FreeInputBuffers(ipData);
      return memFullErr;
    }
  }
  ipData->inBufferSize = size;
  return noErr;
}
