// Movie audio extraction (see the header). Each enabled sound track is a source read along its own
// timeline (its edits in frames of its own rate), resampled to the output rate where needed, then the
// sources are mixed in doubles and written in the output format.
#include "platform/movie/movie_audio_extraction.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/audio_codecs.h"
#include "platform/movie/dv_audio.h"
#include "platform/movie/image_descriptions.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/sound_description_properties.h"
#include "platform/movie/toolbox_time.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr size_t kChunkFrames = 8192;  // track frames read at a time
constexpr SInt32 kCodecReadSamples = 4096;

// A stretch of a track in frames of the track's rate: [start, start + length) shows media frames from
// mediaFrame on, or silence (-1).
struct Segment {
  SInt64 start;
  SInt64 length;
  SInt64 mediaFrame;
};

enum class SourceKind { kPCM, kCodec, kDV };

struct Source {
  Track track = nullptr;
  Media media = nullptr;
  PL_SoundFormat format{};
  SourceKind kind = SourceKind::kPCM;
  double rate = 0;
  UInt32 channels = 0;
  double gain = 1.0;
  TimeScale mediaScale = 1;
  SInt64 mediaDuration = 0;
  std::vector<Segment> segments;
  Handle data = nullptr;
  // A decoded stretch of the media (codecs and DV): decoded[0] is media frame decodedStart.
  PL_AudioDecoder *decoder = nullptr;
  std::vector<double> decoded;
  SInt64 decodedStart = 0;
  SInt64 nextMediaTime = 0;
  bool mediaEnded = false;
  // Frames at the output rate, ready to be mixed, and the next track frame to read.
  SwrContext *resampler = nullptr;
  std::vector<double> ready;
  SInt64 trackCursor = 0;

  ~Source() {
    if (data != nullptr) DisposeHandle(data);
    PL_DisposeAudioDecoder(decoder);
    swr_free(&resampler);
  }
  SInt64 FrameOfMediaTime(SInt64 t) const { return SInt64(std::llround(double(t) * rate / double(mediaScale))); }
  SInt64 MediaTimeOfFrame(SInt64 f) const { return SInt64(std::floor(double(f) * double(mediaScale) / rate + 1e-9)); }
};

}  // namespace

struct PL_AudioExtractionRecord {
  Movie movie = nullptr;
  std::vector<std::unique_ptr<Source>> sources;
  AudioStreamBasicDescription format{};
  std::vector<UInt8> layout;
  bool discrete = false;
  UInt32 quality = kQTAudioRenderQuality_Medium;
  UInt32 maxSampleSize = 0;
  SInt64 position = 0;     // output frames
  SInt64 totalFrames = 0;
  std::vector<double> mix;
};

namespace {

UInt32 MixChannels(const PL_AudioExtractionRecord &x) {
  UInt32 n = 0;
  for (const auto &s : x.sources) n = x.discrete ? n + s->channels : std::max(n, s->channels);
  return std::max<UInt32>(n, 1);
}

AudioStreamBasicDescription FloatFormat(double rate, UInt32 channels) {
  AudioStreamBasicDescription a{};
  a.mSampleRate = rate;
  a.mFormatID = kAudioFormatLinearPCM;
  a.mFormatFlags = kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved;
  a.mBitsPerChannel = 32;
  a.mChannelsPerFrame = channels;
  a.mFramesPerPacket = 1;
  a.mBytesPerFrame = a.mBytesPerPacket = 4;
  return a;
}

void UpdateLayout(PL_AudioExtractionRecord *x) {
  const UInt32 channels = x->format.mChannelsPerFrame;
  if (!x->discrete && x->sources.size() == 1 && !x->sources[0]->format.layout.empty() &&
      x->sources[0]->channels == channels) {
    x->layout = x->sources[0]->format.layout;
  } else {
    x->layout = PL_DefaultChannelLayout(channels);
  }
}

SInt64 TotalFrames(const PL_AudioExtractionRecord &x) {
  const TimeScale scale = std::max<TimeScale>(GetMovieTimeScale(x.movie), 1);
  return SInt64(std::llround(double(PL_MovieDuration(x.movie)) * x.format.mSampleRate / double(scale)));
}

// The source's timeline in frames of its own rate, from the track's edits (rates other than 1 play as 1).
void MakeSegments(Source *s, TimeScale movieScale) {
  const PL_TrackRecord *track = s->track;
  s->segments.clear();
  const double toFrames = s->rate / double(std::max<TimeScale>(movieScale, 1));
  if (track->edits.empty()) {
    s->segments.push_back({0, s->FrameOfMediaTime(s->mediaDuration), 0});
    return;
  }
  SInt64 trackTime = 0;
  for (const PL_Edit &edit : track->edits) {
    const SInt64 start = SInt64(std::llround(double(trackTime) * toFrames));
    trackTime += edit.trackDuration;
    const SInt64 end = SInt64(std::llround(double(trackTime) * toFrames));
    s->segments.push_back({start, end - start, edit.mediaTime < 0 ? -1 : s->FrameOfMediaTime(edit.mediaTime)});
  }
}

// ---- Reading a source's media ----

// Uncompressed frames [frame, frame + n) of the media into out (interleaved; silence past its end).
OSStatus ReadPCM(Source *s, SInt64 frame, size_t n, double *out) {
  const UInt32 frameBytes = s->format.asbd.mBytesPerFrame;
  size_t done = 0;
  std::vector<double> converted;
  while (done < n) {
    const SInt64 t = s->MediaTimeOfFrame(frame);
    if (t < 0 || t >= s->mediaDuration) break;
    SInt32 size = 0, count = 0;
    TimeValue sampleTime = 0, perSample = 0;
    OSErr err = GetMediaSample(s->media, s->data, 0, &size, TimeValue(t), &sampleTime, &perSample, nullptr, nullptr,
                               SInt32(std::min<size_t>(n - done, 1 << 20)), &count, nullptr);
    if (err != noErr) return err;
    if (count <= 0 || perSample <= 0) break;
    const SInt64 first = s->FrameOfMediaTime(sampleTime);
    const SInt64 skip = std::clamp<SInt64>(frame - first, 0, count);
    const SInt64 whole = std::min<SInt64>(count, SInt64(size) / std::max<UInt32>(frameBytes, 1));
    const size_t take = size_t(std::clamp<SInt64>(whole - skip, 0, SInt64(n - done)));
    if (take == 0) break;
    converted.clear();
    PL_PCMToDoubles(s->format.asbd, s->channels, reinterpret_cast<const UInt8 *>(*s->data) + skip * frameBytes, take,
                    &converted);
    std::copy(converted.begin(), converted.end(), out + done * s->channels);
    done += take;
    frame += SInt64(take);
  }
  return noErr;
}

// Decodes further media (codec or DV) behind what is decoded; mediaEnded at the end.
OSStatus DecodeMore(Source *s) {
  if (s->mediaEnded) return noErr;
  if (s->nextMediaTime >= s->mediaDuration) {
    s->mediaEnded = true;
    return s->kind == SourceKind::kCodec ? PL_AudioDecode(s->decoder, nullptr, 0, &s->decoded) : OSStatus(noErr);
  }
  if (s->kind == SourceKind::kDV) {
    // A second of DV frames at a time (the media's own time scale).
    const TimeValue duration = TimeValue(std::max<TimeScale>(s->mediaScale, 1));
    UInt32 rate = 0, frames = 0;
    UInt16 channels = 0;
    Handle pcm = NewHandle(0);
    if (pcm == nullptr) return memFullErr;
    OSStatus err = PL_ExtractDVAudio(s->media, TimeValue(s->nextMediaTime), duration, pcm, &rate, &channels, &frames);
    if (err == noErr) {
      AudioStreamBasicDescription twos{};
      twos.mFormatID = kAudioFormatLinearPCM;
      twos.mFormatFlags = kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
      twos.mBitsPerChannel = 16;
      // The source keeps the channels it began with.
      std::vector<double> got;
      PL_PCMToDoubles(twos, channels, *pcm, frames, &got);
      for (UInt32 i = 0; i < frames; ++i)
        for (UInt32 c = 0; c < s->channels; ++c) s->decoded.push_back(c < channels ? got[size_t(i) * channels + c] : 0.0);
    }
    DisposeHandle(pcm);
    s->nextMediaTime += duration;
    return err;
  }
  // One packet (variable-size formats), else a run of whole packets.
  const AudioStreamBasicDescription &a = s->format.asbd;
  const bool variable = a.mBytesPerPacket == 0;
  SInt32 size = 0, count = 0;
  TimeValue sampleTime = 0, perSample = 0;
  const SInt32 wanted = variable ? 1 : kCodecReadSamples * SInt32(std::max<UInt32>(a.mFramesPerPacket, 1));
  OSErr err = GetMediaSample(s->media, s->data, 0, &size, TimeValue(s->nextMediaTime), &sampleTime, &perSample,
                             nullptr, nullptr, wanted, &count, nullptr);
  if (err != noErr) return err;
  if (count <= 0 || perSample <= 0) {
    s->nextMediaTime = s->mediaDuration;
    return noErr;
  }
  s->nextMediaTime = SInt64(sampleTime) + SInt64(count) * perSample;
  return PL_AudioDecode(s->decoder, reinterpret_cast<const UInt8 *>(*s->data), size_t(size), &s->decoded);
}

// Starts decoding again a little before media frame `frame` (codecs need the packet before to overlap).
OSStatus RestartDecoding(Source *s, SInt64 frame) {
  s->decoded.clear();
  s->mediaEnded = false;
  if (s->kind == SourceKind::kDV) {
    s->decodedStart = 0;
    s->nextMediaTime = 0;
    return noErr;
  }
  PL_DisposeAudioDecoder(s->decoder);
  s->decoder = nullptr;
  OSStatus err = PL_NewAudioDecoder(s->format, &s->decoder);
  if (err != noErr) return err;
  const SInt64 lead = 2 * SInt64(std::max<UInt32>(s->format.asbd.mFramesPerPacket, 1));
  TimeValue sampleTime = 0;
  MediaTimeToSampleNum(s->media, TimeValue(s->MediaTimeOfFrame(std::max<SInt64>(0, frame - lead))), nullptr,
                       &sampleTime, nullptr);
  s->nextMediaTime = std::max<TimeValue>(sampleTime, 0);
  s->decodedStart = s->FrameOfMediaTime(s->nextMediaTime);
  return noErr;
}

OSStatus ReadDecoded(Source *s, SInt64 frame, size_t n, double *out) {
  const size_t ch = s->channels;
  const SInt64 decodedFrames = SInt64(s->decoded.size() / ch);
  if (frame < s->decodedStart || frame > s->decodedStart + decodedFrames + SInt64(kChunkFrames) * 4) {
    OSStatus err = RestartDecoding(s, frame);
    if (err != noErr) return err;
  }
  while (SInt64(s->decoded.size() / ch) + s->decodedStart < frame + SInt64(n) && !s->mediaEnded) {
    OSStatus err = DecodeMore(s);
    if (err != noErr) return err;
  }
  const SInt64 have = SInt64(s->decoded.size() / ch);
  const SInt64 from = frame - s->decodedStart;
  const SInt64 take = std::clamp<SInt64>(have - from, 0, SInt64(n));
  if (take > 0) std::copy_n(s->decoded.begin() + from * SInt64(ch), size_t(take) * ch, out);
  // What lies before this read is not needed again in order.
  const SInt64 drop = std::clamp<SInt64>(from, 0, have);
  if (drop > 0) {
    s->decoded.erase(s->decoded.begin(), s->decoded.begin() + drop * SInt64(ch));
    s->decodedStart += drop;
  }
  return noErr;
}

OSStatus ReadMedia(Source *s, SInt64 frame, size_t n, double *out) {
  return s->kind == SourceKind::kPCM ? ReadPCM(s, frame, n, out) : ReadDecoded(s, frame, n, out);
}

// Track frames [frame, frame + n) as the edits show them.
OSStatus ReadTrack(Source *s, SInt64 frame, size_t n, double *out) {
  std::fill(out, out + n * s->channels, 0.0);
  for (const Segment &seg : s->segments) {
    if (seg.mediaFrame < 0) continue;
    const SInt64 from = std::max(frame, seg.start), to = std::min(frame + SInt64(n), seg.start + seg.length);
    if (from >= to) continue;
    OSStatus err = ReadMedia(s, seg.mediaFrame + (from - seg.start), size_t(to - from), out + (from - frame) * s->channels);
    if (err != noErr) return err;
  }
  return noErr;
}

// ---- Rendering ----

OSStatus PrepareResampler(Source *s, double outRate, UInt32 quality) {
  swr_free(&s->resampler);
  if (s->rate == outRate) return noErr;
  AVChannelLayout layout;
  av_channel_layout_default(&layout, int(s->channels));
  if (swr_alloc_set_opts2(&s->resampler, &layout, AV_SAMPLE_FMT_DBL, int(std::lround(outRate)), &layout,
                          AV_SAMPLE_FMT_DBL, int(std::lround(s->rate)), 0, nullptr) < 0)
    return memFullErr;
  av_opt_set_int(s->resampler, "filter_size", quality >= kQTAudioRenderQuality_High ? 64 : 16, 0);
  if (swr_init(s->resampler) < 0) return codecOpenErr;
  return noErr;
}

// Puts every source at output frame `position`.
OSStatus Seek(PL_AudioExtractionRecord *x, SInt64 position) {
  x->position = position;
  for (auto &s : x->sources) {
    s->ready.clear();
    s->trackCursor = SInt64(std::llround(double(position) * s->rate / x->format.mSampleRate));
    OSStatus err = PrepareResampler(s.get(), x->format.mSampleRate, x->quality);
    if (err != noErr) return err;
  }
  return noErr;
}

// Makes n frames of the source ready at the output rate.
OSStatus Produce(Source *s, size_t n) {
  std::vector<double> in;
  while (s->ready.size() / s->channels < n) {
    in.assign(kChunkFrames * s->channels, 0.0);
    OSStatus err = ReadTrack(s, s->trackCursor, kChunkFrames, in.data());
    if (err != noErr) return err;
    s->trackCursor += SInt64(kChunkFrames);
    if (s->resampler == nullptr) {
      s->ready.insert(s->ready.end(), in.begin(), in.end());
      continue;
    }
    const int capacity = swr_get_out_samples(s->resampler, int(kChunkFrames));
    if (capacity < 0) return codecErr;
    const size_t at = s->ready.size();
    s->ready.resize(at + size_t(capacity) * s->channels);
    uint8_t *outPlanes[1] = {reinterpret_cast<uint8_t *>(s->ready.data() + at)};
    const uint8_t *inPlanes[1] = {reinterpret_cast<const uint8_t *>(in.data())};
    const int got = swr_convert(s->resampler, outPlanes, capacity, inPlanes, int(kChunkFrames));
    if (got < 0) return codecErr;
    s->ready.resize(at + size_t(got) * s->channels);
  }
  return noErr;
}

// Mixes n output frames into x->mix (interleaved, the mix's channels).
OSStatus Mix(PL_AudioExtractionRecord *x, size_t n) {
  const UInt32 mixChannels = MixChannels(*x);
  x->mix.assign(n * mixChannels, 0.0);
  UInt32 offset = 0;
  for (auto &s : x->sources) {
    OSStatus err = Produce(s.get(), n);
    if (err != noErr) return err;
    const double *in = s->ready.data();
    for (size_t i = 0; i < n; ++i) {
      double *o = x->mix.data() + i * mixChannels;
      const double *f = in + i * s->channels;
      if (x->discrete) {
        for (UInt32 c = 0; c < s->channels; ++c) o[offset + c] += s->gain * f[c];
      } else if (s->channels == 1 && mixChannels >= 2) {
        o[0] += s->gain * f[0];
        o[1] += s->gain * f[0];
      } else {
        for (UInt32 c = 0; c < s->channels; ++c) o[c] += s->gain * f[c];
      }
    }
    s->ready.erase(s->ready.begin(), s->ready.begin() + ptrdiff_t(n * s->channels));
    offset += s->channels;
  }
  return noErr;
}

bool ValidOutputFormat(const AudioStreamBasicDescription &a) {
  return PL_IsSupportedPCM(a) && a.mChannelsPerFrame > 0 && a.mSampleRate >= 1 && a.mSampleRate <= 768000;
}

OSStatus SetFormat(PL_AudioExtractionRecord *x, const AudioStreamBasicDescription &requested) {
  if (!ValidOutputFormat(requested)) return paramErr;
  AudioStreamBasicDescription a = requested;
  const UInt32 sample = PL_PCMSampleBytes(a);
  a.mFormatFlags |= kAudioFormatFlagIsPacked;
  a.mFramesPerPacket = 1;
  a.mBytesPerFrame = a.mBytesPerPacket =
      (a.mFormatFlags & kAudioFormatFlagIsNonInterleaved) ? sample : sample * a.mChannelsPerFrame;
  // The position stays where it was in time.
  const double seconds = x->format.mSampleRate > 0 ? double(x->position) / x->format.mSampleRate : 0.0;
  x->format = a;
  x->totalFrames = TotalFrames(*x);
  UpdateLayout(x);
  return Seek(x, SInt64(std::llround(seconds * a.mSampleRate)));
}

OSStatus OpenSource(Track track, std::unique_ptr<Source> *out) {
  auto s = std::make_unique<Source>();
  s->track = track;
  s->media = GetTrackMedia(track);
  if (s->media == nullptr) return invalidMedia;
  s->data = NewHandle(0);
  if (s->data == nullptr) return memFullErr;
  SoundDescriptionHandle desc = reinterpret_cast<SoundDescriptionHandle>(NewHandle(0));
  if (desc == nullptr) return memFullErr;
  GetMediaSampleDescription(s->media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  OSStatus err = GetMoviesError();
  if (err == noErr) err = PL_ReadSoundFormat(desc, &s->format);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  if (err != noErr) return err;
  const AudioStreamBasicDescription &a = s->format.asbd;
  s->mediaScale = std::max<TimeScale>(GetMediaTimeScale(s->media), 1);
  s->mediaDuration = s->media->duration;
  s->gain = double(GetTrackVolume(track)) / 256.0;
  s->rate = a.mSampleRate;
  s->channels = a.mChannelsPerFrame;
  if (a.mFormatID == kAudioFormatLinearPCM) {
    if (!PL_IsSupportedPCM(a) || a.mBytesPerFrame == 0) return noCodecErr;
    s->kind = SourceKind::kPCM;
  } else if (a.mFormatID == kAudioFormatDVAudio) {
    // The first second tells the sound's rate and channels.
    s->kind = SourceKind::kDV;
    Handle pcm = NewHandle(0);
    if (pcm == nullptr) return memFullErr;
    UInt32 rate = 0, frames = 0;
    UInt16 channels = 0;
    err = PL_ExtractDVAudio(s->media, 0, s->mediaScale, pcm, &rate, &channels, &frames);
    DisposeHandle(pcm);
    if (err != noErr) return err;
    s->rate = rate;
    s->channels = channels;
  } else {
    s->kind = SourceKind::kCodec;
    if ((err = PL_NewAudioDecoder(s->format, &s->decoder)) != noErr) return err;
  }
  if (s->channels == 0 || !(s->rate > 0)) return noCodecErr;
  MakeSegments(s.get(), GetMovieTimeScale(GetTrackMovie(track)));
  *out = std::move(s);
  return noErr;
}

UInt32 StatedSampleSize(const Source &s) {
  if (s.kind == SourceKind::kDV) return 16;
  if (s.format.asbd.mFormatID == kAudioFormatLinearPCM) return s.format.asbd.mBitsPerChannel;
  return UInt32(std::max<SInt16>(s.format.sampleSize, 8));
}

template <typename T>
OSStatus GetValue(const T &value, ByteCount size, void *address, ByteCount *used) {
  if (address == nullptr || size < sizeof(T)) return kQTPropertyBadValueSizeErr;
  std::memcpy(address, &value, sizeof(T));
  if (used) *used = sizeof(T);
  return noErr;
}

}  // namespace

OSStatus MovieAudioExtractionBegin(Movie m, UInt32 flags, MovieAudioExtractionRef *outSession) {
  if (outSession == nullptr) return paramErr;
  *outSession = nullptr;
  if (m == nullptr || flags != 0) return paramErr;
  auto x = std::make_unique<PL_AudioExtractionRecord>();
  x->movie = m;
  for (SInt32 i = 1;; ++i) {
    Track track = GetMovieIndTrackType(m, i, SoundMediaType, 1 | 4);
    if (track == nullptr) break;
    std::unique_ptr<Source> source;
    OSStatus err = OpenSource(track, &source);
    if (err != noErr) return err;
    x->maxSampleSize = std::max(x->maxSampleSize, StatedSampleSize(*source));
    x->sources.push_back(std::move(source));
  }
  if (x->sources.empty()) return noSoundTrackInMovieErr;
  double rate = 0;
  for (const auto &s : x->sources) rate = std::max(rate, s->rate);
  x->format = FloatFormat(rate, MixChannels(*x));
  OSStatus err = SetFormat(x.get(), x->format);
  if (err != noErr) return err;
  *outSession = x.release();
  return noErr;
}

OSStatus MovieAudioExtractionEnd(MovieAudioExtractionRef session) {
  if (session == nullptr) return paramErr;
  delete session;
  return noErr;
}

OSStatus MovieAudioExtractionGetPropertyInfo(MovieAudioExtractionRef session, QTPropertyClass inPropClass,
                                             QTPropertyID inPropID, OSType *outPropType, ByteCount *outPropValueSize,
                                             UInt32 *outPropertyFlags) {
  if (session == nullptr) return paramErr;
  ByteCount size = 0;
  UInt32 flags = kComponentPropertyFlagCanGetNow | kComponentPropertyFlagCanSetNow;
  if (inPropClass == kQTPropertyClass_MovieAudioExtraction_Audio) {
    switch (inPropID) {
      case kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription: size = sizeof(AudioStreamBasicDescription); break;
      case kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout: size = session->layout.size(); break;
      case kQTMovieAudioExtractionAudioPropertyID_RenderQuality: size = sizeof(UInt32); break;
      case kQTMovieAudioExtractionAudioPropertyID_MaxSampleSize:
        size = sizeof(UInt32);
        flags = kComponentPropertyFlagCanGetNow;
        break;
      default: return kQTPropertyNotSupportedErr;
    }
  } else if (inPropClass == kQTPropertyClass_MovieAudioExtraction_Movie) {
    switch (inPropID) {
      case kQTMovieAudioExtractionMoviePropertyID_AllChannelsDiscrete: size = sizeof(Boolean); break;
      case kQTMovieAudioExtractionMoviePropertyID_CurrentTime: size = sizeof(TimeRecord); break;
      default: return kQTPropertyNotSupportedErr;
    }
  } else {
    return kQTPropertyNotSupportedErr;
  }
  if (outPropType) *outPropType = inPropID;
  if (outPropValueSize) *outPropValueSize = size;
  if (outPropertyFlags) *outPropertyFlags = flags;
  return noErr;
}

OSStatus MovieAudioExtractionGetProperty(MovieAudioExtractionRef session, QTPropertyClass inPropClass,
                                         QTPropertyID inPropID, ByteCount inPropValueSize, void *outPropValueAddress,
                                         ByteCount *outPropValueSizeUsed) {
  if (session == nullptr) return paramErr;
  if (inPropClass == kQTPropertyClass_MovieAudioExtraction_Audio) {
    switch (inPropID) {
      case kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription:
        return GetValue(session->format, inPropValueSize, outPropValueAddress, outPropValueSizeUsed);
      case kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout:
        if (outPropValueAddress == nullptr || inPropValueSize < session->layout.size()) return kQTPropertyBadValueSizeErr;
        std::memcpy(outPropValueAddress, session->layout.data(), session->layout.size());
        if (outPropValueSizeUsed) *outPropValueSizeUsed = session->layout.size();
        return noErr;
      case kQTMovieAudioExtractionAudioPropertyID_RenderQuality:
        return GetValue(session->quality, inPropValueSize, outPropValueAddress, outPropValueSizeUsed);
      case kQTMovieAudioExtractionAudioPropertyID_MaxSampleSize:
        return GetValue(session->maxSampleSize, inPropValueSize, outPropValueAddress, outPropValueSizeUsed);
      default: return kQTPropertyNotSupportedErr;
    }
  }
  if (inPropClass == kQTPropertyClass_MovieAudioExtraction_Movie) {
    switch (inPropID) {
      case kQTMovieAudioExtractionMoviePropertyID_AllChannelsDiscrete: {
        const Boolean discrete = session->discrete;
        return GetValue(discrete, inPropValueSize, outPropValueAddress, outPropValueSizeUsed);
      }
      case kQTMovieAudioExtractionMoviePropertyID_CurrentTime: {
        TimeRecord time{};
        const TimeScale scale = GetMovieTimeScale(session->movie);
        const SInt64 value = SInt64(std::llround(double(session->position) * scale / session->format.mSampleRate));
        time.value.hi = SInt32(value >> 32);
        time.value.lo = UInt32(value);
        time.scale = scale;
        return GetValue(time, inPropValueSize, outPropValueAddress, outPropValueSizeUsed);
      }
      default: return kQTPropertyNotSupportedErr;
    }
  }
  return kQTPropertyNotSupportedErr;
}

OSStatus MovieAudioExtractionSetProperty(MovieAudioExtractionRef session, QTPropertyClass inPropClass,
                                         QTPropertyID inPropID, ByteCount inPropValueSize, const void *inPropValueAddress) {
  if (session == nullptr) return paramErr;
  if (inPropValueAddress == nullptr) return kQTPropertyBadValueSizeErr;
  if (inPropClass == kQTPropertyClass_MovieAudioExtraction_Audio) {
    switch (inPropID) {
      case kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription: {
        if (inPropValueSize != sizeof(AudioStreamBasicDescription)) return kQTPropertyBadValueSizeErr;
        AudioStreamBasicDescription a;
        std::memcpy(&a, inPropValueAddress, sizeof a);
        return SetFormat(session, a);
      }
      case kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout: {
        if (inPropValueSize < PL_AudioChannelLayoutSize(0)) return kQTPropertyBadValueSizeErr;
        const UInt8 *p = static_cast<const UInt8 *>(inPropValueAddress);
        session->layout.assign(p, p + inPropValueSize);
        return noErr;
      }
      case kQTMovieAudioExtractionAudioPropertyID_RenderQuality: {
        if (inPropValueSize != sizeof(UInt32)) return kQTPropertyBadValueSizeErr;
        std::memcpy(&session->quality, inPropValueAddress, sizeof(UInt32));
        session->quality = std::min<UInt32>(session->quality, kQTAudioRenderQuality_Max);
        return Seek(session, session->position);
      }
      case kQTMovieAudioExtractionAudioPropertyID_MaxSampleSize: return kQTPropertyReadOnlyErr;
      default: return kQTPropertyNotSupportedErr;
    }
  }
  if (inPropClass == kQTPropertyClass_MovieAudioExtraction_Movie) {
    switch (inPropID) {
      case kQTMovieAudioExtractionMoviePropertyID_AllChannelsDiscrete: {
        if (inPropValueSize != sizeof(Boolean)) return kQTPropertyBadValueSizeErr;
        const bool discrete = *static_cast<const Boolean *>(inPropValueAddress) != 0;
        if (discrete == session->discrete) return noErr;
        session->discrete = discrete;
        AudioStreamBasicDescription a = session->format;
        a.mChannelsPerFrame = MixChannels(*session);
        return SetFormat(session, a);
      }
      case kQTMovieAudioExtractionMoviePropertyID_CurrentTime: {
        if (inPropValueSize != sizeof(TimeRecord)) return kQTPropertyBadValueSizeErr;
        TimeRecord time;
        std::memcpy(&time, inPropValueAddress, sizeof time);
        const SInt64 value = (SInt64(time.value.hi) << 32) | time.value.lo;
        if (value < 0 || time.scale <= 0) return paramErr;
        return Seek(session, SInt64(std::llround(double(value) * session->format.mSampleRate / double(time.scale))));
      }
      default: return kQTPropertyNotSupportedErr;
    }
  }
  return kQTPropertyNotSupportedErr;
}

OSStatus MovieAudioExtractionFillBuffer(MovieAudioExtractionRef session, UInt32 *ioNumberFrames,
                                        AudioBufferList *ioData, UInt32 *outFlags) {
  if (session == nullptr || ioNumberFrames == nullptr || ioData == nullptr) return paramErr;
  const AudioStreamBasicDescription &f = session->format;
  const bool planar = (f.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0;
  const UInt32 channels = f.mChannelsPerFrame;
  const UInt32 buffers = planar ? channels : 1;
  if (ioData->mNumberBuffers != buffers) return paramErr;
  // No more frames than every buffer holds.
  SInt64 frames = std::min<SInt64>(*ioNumberFrames, session->totalFrames - session->position);
  for (UInt32 b = 0; b < buffers; ++b) {
    const AudioBuffer &buffer = ioData->mBuffers[b];
    if (buffer.mData == nullptr || buffer.mNumberChannels != (planar ? 1 : channels)) return paramErr;
    frames = std::min<SInt64>(frames, buffer.mDataByteSize / f.mBytesPerFrame);
  }
  frames = std::max<SInt64>(frames, 0);
  if (frames > 0) {
    OSStatus err = Mix(session, size_t(frames));
    if (err != noErr) return err;
    // The mix's channels to the format's: channel by channel, a mono mix into every channel, silence past the mix.
    const UInt32 mixChannels = MixChannels(*session);
    std::vector<double> shaped(size_t(frames) * channels);
    for (SInt64 i = 0; i < frames; ++i)
      for (UInt32 c = 0; c < channels; ++c) {
        const double *m = session->mix.data() + size_t(i) * mixChannels;
        shaped[size_t(i) * channels + c] = c < mixChannels ? m[c] : mixChannels == 1 ? m[0] : 0.0;
      }
    if (planar) {
      std::vector<double> one(static_cast<size_t>(frames));
      for (UInt32 c = 0; c < channels; ++c) {
        for (SInt64 i = 0; i < frames; ++i) one[size_t(i)] = shaped[size_t(i) * channels + c];
        PL_DoublesToPCM(f, 1, one.data(), size_t(frames), ioData->mBuffers[c].mData);
      }
    } else {
      PL_DoublesToPCM(f, channels, shaped.data(), size_t(frames), ioData->mBuffers[0].mData);
    }
    session->position += frames;
  }
  for (UInt32 b = 0; b < buffers; ++b) ioData->mBuffers[b].mDataByteSize = UInt32(frames) * f.mBytesPerFrame;
  *ioNumberFrames = UInt32(frames);
  if (outFlags) *outFlags = session->position >= session->totalFrames ? UInt32(kQTMovieAudioExtractionComplete) : 0u;
  return noErr;
}
