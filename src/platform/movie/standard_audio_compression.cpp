// Standard audio compression (see the header).
#include "platform/movie/standard_audio_compression.h"

#include "platform/core/cf_data.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/audio_codecs.h"
#include "platform/movie/image_descriptions.h"
#include "platform/movie/sound_description_properties.h"
#include "platform/movie/standard_compression.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

namespace {

constexpr UInt32 kPullFrames = 4096;
constexpr UInt32 kAppleLossless16BitSourceData = 1, kAppleLossless24BitSourceData = 3;

struct State {
  AudioStreamBasicDescription input{};
  AudioStreamBasicDescription output{};
  std::vector<UInt8> inputLayout, outputLayout, inputCookie;
  std::vector<AudioChannelLayoutTag> restrictedTags;
  std::vector<AudioFormatID> restrictedFormats;
  SCAudioFormatFlagsRestrictions flagRestriction{0, 0};
  UInt32 quality = 0x60;
  UInt32 bitRate = 0;
  bool haveCodecSettings = false;
  std::vector<UInt8> extendedProcs;
  // The compression in progress.
  bool running = false;
  bool inputEnded = false;
  AudioStreamBasicDescription resolved{};
  PL_AudioEncoder *encoder = nullptr;
  SwrContext *resampler = nullptr;
  std::deque<PL_EncodedPacket> packets;
  std::vector<double> frames;  // linear PCM output not yet written
  UInt64 framesIn = 0, framesOut = 0;
  AudioConverterPrimeInfo prime{0, 0};

  void Stop() {
    PL_DisposeAudioEncoder(encoder);
    encoder = nullptr;
    swr_free(&resampler);
    packets.clear();
    frames.clear();
    running = inputEnded = false;
    framesIn = framesOut = 0;
  }
  ~State() { Stop(); }
};

State *StateOf(ComponentInstance ci) {
  return PL_IsStandardAudioCompression(ci)
             ? static_cast<State *>(PL_GetComponentInstanceStorage(ci, StandardCompressionType))
             : nullptr;
}

OSErr Open(const void *, void **storage) {
  auto *s = new (std::nothrow) State;
  if (s == nullptr) return memFullErr;
  s->output.mFormatID = kAudioFormatMPEG4AAC;
  *storage = s;
  return noErr;
}

void Close(void *storage) { delete static_cast<State *>(storage); }

bool HasEncoder(AudioFormatID id) {
  if (id == kAudioFormatLinearPCM) return true;
  AudioStreamBasicDescription probe{};
  probe.mFormatID = id;
  probe.mSampleRate = 44100;
  probe.mChannelsPerFrame = 2;
  probe.mBitsPerChannel = 16;
  PL_AudioEncoder *encoder = nullptr;
  const OSStatus err = PL_NewAudioEncoder(probe, 0, &encoder);
  PL_DisposeAudioEncoder(encoder);
  return err != noCodecErr;
}

// The output format with what follows the input filled in and the codec's own fields.
AudioStreamBasicDescription Resolve(const State &s) {
  AudioStreamBasicDescription a = s.output;
  if (!(a.mSampleRate > 0)) a.mSampleRate = s.input.mSampleRate;
  if (a.mChannelsPerFrame == 0) a.mChannelsPerFrame = s.input.mChannelsPerFrame;
  const UInt32 channels = a.mChannelsPerFrame;
  switch (a.mFormatID) {
    case kAudioFormatLinearPCM: {
      if (a.mBitsPerChannel == 0) a.mBitsPerChannel = s.input.mBitsPerChannel != 0 ? s.input.mBitsPerChannel : 16;
      if (a.mFormatFlags == 0) a.mFormatFlags = kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger;
      a.mFormatFlags = (a.mFormatFlags & ~s.flagRestriction.formatFlagsMask) |
                       (s.flagRestriction.formatFlagsValues & s.flagRestriction.formatFlagsMask);
      a.mFormatFlags |= kAudioFormatFlagIsPacked;
      const UInt32 sample = a.mBitsPerChannel / 8;
      a.mFramesPerPacket = 1;
      a.mBytesPerFrame = a.mBytesPerPacket = (a.mFormatFlags & kAudioFormatFlagIsNonInterleaved) ? sample : sample * channels;
      break;
    }
    case kAudioFormatMPEG4AAC:
      a.mFramesPerPacket = 1024, a.mBytesPerPacket = 0, a.mBytesPerFrame = 0, a.mBitsPerChannel = 0, a.mFormatFlags = 0;
      break;
    case kAudioFormatAppleLossless: {
      const UInt32 bits = s.input.mBitsPerChannel > 16 && !(s.input.mFormatFlags & kAudioFormatFlagIsFloat) ? 24 : 16;
      a.mFormatFlags = bits == 24 ? kAppleLossless24BitSourceData : kAppleLossless16BitSourceData;
      a.mFramesPerPacket = 4096, a.mBytesPerPacket = 0, a.mBytesPerFrame = 0, a.mBitsPerChannel = 0;
      break;
    }
    case kAudioFormatAppleIMA4:
      a.mFramesPerPacket = 64, a.mBytesPerPacket = 34 * channels, a.mBytesPerFrame = 0, a.mBitsPerChannel = 0,
      a.mFormatFlags = 0;
      break;
    case kAudioFormatULaw:
    case kAudioFormatALaw:
      a.mFramesPerPacket = 1, a.mBytesPerPacket = a.mBytesPerFrame = channels, a.mBitsPerChannel = 8, a.mFormatFlags = 0;
      break;
    default: break;
  }
  return a;
}

// The encoder's view of the output: Apple Lossless takes its sample size from the flags.
AudioStreamBasicDescription EncoderFormat(const AudioStreamBasicDescription &a) {
  AudioStreamBasicDescription e = a;
  if (a.mFormatID == kAudioFormatAppleLossless) e.mBitsPerChannel = a.mFormatFlags == kAppleLossless24BitSourceData ? 24 : 16;
  return e;
}

// The output's layout: the input's when the restriction allows it (or lets any layout pass), else the first
// allowed tag of the output's channel count, else the channels in order.
std::vector<UInt8> OutputLayout(const State &s, UInt32 channels) {
  if (!s.outputLayout.empty()) return s.outputLayout;
  std::vector<UInt8> in = s.inputLayout.empty() ? PL_DefaultChannelLayout(channels) : s.inputLayout;
  const AudioChannelLayoutTag inTag = reinterpret_cast<const AudioChannelLayout *>(in.data())->mChannelLayoutTag;
  const bool passthrough =
      std::find(s.restrictedTags.begin(), s.restrictedTags.end(), kAudioChannelLayoutTag_UseChannelDescriptions) !=
      s.restrictedTags.end();
  const UInt32 inChannels = s.input.mChannelsPerFrame;
  if (channels == inChannels &&
      (s.restrictedTags.empty() || passthrough ||
       std::find(s.restrictedTags.begin(), s.restrictedTags.end(), inTag) != s.restrictedTags.end()))
    return in;
  for (AudioChannelLayoutTag tag : s.restrictedTags) {
    if (tag != kAudioChannelLayoutTag_UseChannelDescriptions && AudioChannelLayoutTag_GetNumberOfChannels(tag) == channels) {
      std::vector<UInt8> out(PL_AudioChannelLayoutSize(0), 0);
      reinterpret_cast<AudioChannelLayout *>(out.data())->mChannelLayoutTag = tag;
      return out;
    }
  }
  return PL_DefaultChannelLayout(channels);
}

// A temporary encoder for questions about the output (cookie, packet size).
OSStatus ProbeEncoder(const State &s, PL_AudioEncoder **encoder) {
  const AudioStreamBasicDescription a = Resolve(s);
  if (a.mChannelsPerFrame == 0 || !(a.mSampleRate > 0)) return paramErr;
  return PL_NewAudioEncoder(EncoderFormat(a), s.bitRate, encoder);
}

template <typename T>
ComponentResult GetValue(const T &value, ByteCount size, void *address, ByteCount *used) {
  if (address == nullptr || size < sizeof(T)) return kQTPropertyBadValueSizeErr;
  std::memcpy(address, &value, sizeof(T));
  if (used) *used = sizeof(T);
  return noErr;
}

ComponentResult GetBytes(const std::vector<UInt8> &bytes, ByteCount size, void *address, ByteCount *used) {
  if (size < bytes.size() || (address == nullptr && !bytes.empty())) return kQTPropertyBadValueSizeErr;
  if (!bytes.empty()) std::memcpy(address, bytes.data(), bytes.size());
  if (used) *used = bytes.size();
  return noErr;
}

template <typename T>
ComponentResult SetValue(T *value, ByteCount size, const void *address) {
  if (address == nullptr || size != sizeof(T)) return kQTPropertyBadValueSizeErr;
  std::memcpy(value, address, sizeof(T));
  return noErr;
}

bool CodecHasSettings(const State &s) { return s.output.mFormatID == kAudioFormatMPEG4AAC; }

ComponentResult PropertyValue(State *s, QTPropertyID id, std::vector<UInt8> *value) {
  auto bytesOf = [value](const auto &v) {
    const UInt8 *p = reinterpret_cast<const UInt8 *>(&v);
    value->assign(p, p + sizeof v);
  };
  switch (id) {
    case kQTSCAudioPropertyID_InputBasicDescription: bytesOf(s->input); return noErr;
    case kQTSCAudioPropertyID_BasicDescription: bytesOf(Resolve(*s)); return noErr;
    case kQTSCAudioPropertyID_InputChannelLayout:
      *value = s->inputLayout.empty() ? PL_DefaultChannelLayout(s->input.mChannelsPerFrame) : s->inputLayout;
      return noErr;
    case kQTSCAudioPropertyID_ChannelLayout: *value = OutputLayout(*s, Resolve(*s).mChannelsPerFrame); return noErr;
    case kQTSCAudioPropertyID_ClientRestrictedChannelLayoutTagList:
      value->resize(s->restrictedTags.size() * 4);
      if (!s->restrictedTags.empty()) std::memcpy(value->data(), s->restrictedTags.data(), value->size());
      return noErr;
    case kQTSCAudioPropertyID_ClientRestrictedLPCMFlags: bytesOf(s->flagRestriction); return noErr;
    case kQTSCAudioPropertyID_ClientRestrictedCompressionFormatList:
      value->resize(s->restrictedFormats.size() * 4);
      if (!s->restrictedFormats.empty()) std::memcpy(value->data(), s->restrictedFormats.data(), value->size());
      return noErr;
    case kQTSCAudioPropertyID_RenderQuality: bytesOf(s->quality); return noErr;
    case kQTSCAudioPropertyID_InputMagicCookie: *value = s->inputCookie; return noErr;
    case kQTSCAudioPropertyID_RequiresPacketDescriptions: {
      const AudioStreamBasicDescription a = Resolve(*s);
      const Boolean variable = a.mFormatID != kAudioFormatLinearPCM && a.mBytesPerPacket == 0;
      bytesOf(variable);
      return noErr;
    }
    case kQTSCAudioPropertyID_MagicCookie:
    case kQTSCAudioPropertyID_MaximumOutputPacketSize: {
      const AudioStreamBasicDescription a = Resolve(*s);
      if (a.mFormatID == kAudioFormatLinearPCM) {
        if (id == kQTSCAudioPropertyID_MagicCookie) value->clear();
        else bytesOf(a.mBytesPerFrame);
        return noErr;
      }
      PL_AudioEncoder *encoder = nullptr;
      OSStatus err = ProbeEncoder(*s, &encoder);
      if (err != noErr) return err;
      if (id == kQTSCAudioPropertyID_MagicCookie) *value = PL_AudioEncoderCookie(encoder);
      else bytesOf(PL_AudioEncoderMaxPacketSize(encoder));
      PL_DisposeAudioEncoder(encoder);
      return noErr;
    }
    case kQTSCAudioPropertyID_PrimeInfo: {
      AudioConverterPrimeInfo prime = s->prime;
      if (!s->running && Resolve(*s).mFormatID != kAudioFormatLinearPCM) {
        PL_AudioEncoder *encoder = nullptr;
        if (ProbeEncoder(*s, &encoder) == noErr) prime.leadingFrames = PL_AudioEncoderPriming(encoder);
        PL_DisposeAudioEncoder(encoder);
      }
      bytesOf(prime);
      return noErr;
    }
    default: return kQTPropertyNotSupportedErr;
  }
}

ComponentResult GetPropertyInfo(void *storage, QTPropertyClass propClass, QTPropertyID propID, OSType *type,
                                ByteCount *size, ComponentPropertyFlags *flags) {
  if (propClass != kQTPropertyClass_SCAudio) return kQTPropertyNotSupportedErr;
  State *s = static_cast<State *>(storage);
  UInt32 f = kComponentPropertyFlagCanGetNow | kComponentPropertyFlagCanSetNow;
  ByteCount n = 0;
  switch (propID) {
    case kQTSCAudioPropertyID_CodecSpecificSettingsArray:
      n = sizeof(CFDataRef);
      f = kComponentPropertyFlagCanSetNow | (CodecHasSettings(*s) ? UInt32(kComponentPropertyFlagCanGetNow) : 0u);
      break;
    case kQTSCAudioPropertyID_InputSoundDescription:
      n = sizeof(SoundDescriptionHandle);
      f = kComponentPropertyFlagCanSetNow;
      break;
    case kQTSCAudioPropertyID_SoundDescription:
      n = sizeof(SoundDescriptionHandle);
      f = kComponentPropertyFlagCanGetNow;
      break;
    case kQTSCAudioPropertyID_ExtendedProcs:
      n = s->extendedProcs.size();
      f = kComponentPropertyFlagCanSetNow;
      break;
    default: {
      std::vector<UInt8> value;
      ComponentResult err = PropertyValue(s, propID, &value);
      if (err != noErr) return err;
      n = value.size();
      if (propID == kQTSCAudioPropertyID_MagicCookie || propID == kQTSCAudioPropertyID_RequiresPacketDescriptions ||
          propID == kQTSCAudioPropertyID_MaximumOutputPacketSize || propID == kQTSCAudioPropertyID_PrimeInfo)
        f = kComponentPropertyFlagCanGetNow;
    }
  }
  if (type) *type = propID;
  if (size) *size = n;
  if (flags) *flags = f;
  return noErr;
}

ComponentResult GetProperty(void *storage, QTPropertyClass propClass, QTPropertyID propID, ByteCount size, void *value,
                            ByteCount *sizeUsed) {
  if (propClass != kQTPropertyClass_SCAudio) return kQTPropertyNotSupportedErr;
  State *s = static_cast<State *>(storage);
  if (propID == kQTSCAudioPropertyID_CodecSpecificSettingsArray) {
    if (!CodecHasSettings(*s)) return kQTPropertyNotSupportedErr;
    UInt8 bytes[4];
    PL_PutBE32(bytes, s->bitRate);
    CFDataRef data = CFDataCreate(nullptr, bytes, 4);
    if (data == nullptr) return memFullErr;
    ComponentResult err = GetValue(data, size, value, sizeUsed);
    if (err != noErr) CFRelease(data);
    return err;
  }
  if (propID == kQTSCAudioPropertyID_SoundDescription) {
    if (value == nullptr || size < sizeof(SoundDescriptionHandle)) return kQTPropertyBadValueSizeErr;
    const AudioStreamBasicDescription a = Resolve(*s);
    std::vector<UInt8> cookie, layout = OutputLayout(*s, a.mChannelsPerFrame);
    ComponentResult err = PropertyValue(s, kQTSCAudioPropertyID_MagicCookie, &cookie);
    SoundDescriptionHandle desc = nullptr;
    if (err == noErr)
      err = QTSoundDescriptionCreate(&a, reinterpret_cast<const AudioChannelLayout *>(layout.data()), layout.size(),
                                     cookie.empty() ? nullptr : cookie.data(), cookie.size(),
                                     kQTSoundDescriptionKind_Movie_LowestPossibleVersion, &desc);
    if (err != noErr) return err;
    return GetValue(desc, size, value, sizeUsed);
  }
  std::vector<UInt8> bytes;
  ComponentResult err = PropertyValue(s, propID, &bytes);
  if (err != noErr) return err;
  return GetBytes(bytes, size, value, sizeUsed);
}

ComponentResult SetProperty(void *storage, QTPropertyClass propClass, QTPropertyID propID, ByteCount size,
                            const void *value) {
  if (propClass != kQTPropertyClass_SCAudio) return kQTPropertyNotSupportedErr;
  State *s = static_cast<State *>(storage);
  const UInt8 *p = static_cast<const UInt8 *>(value);
  if (p == nullptr && size > 0) return kQTPropertyBadValueSizeErr;
  switch (propID) {
    case kQTSCAudioPropertyID_InputBasicDescription: {
      AudioStreamBasicDescription a;
      ComponentResult err = SetValue(&a, size, value);
      if (err != noErr) return err;
      if (a.mFormatID != kAudioFormatLinearPCM || !PL_IsSupportedPCM(a) || a.mChannelsPerFrame == 0) return paramErr;
      s->input = a;
      return noErr;
    }
    case kQTSCAudioPropertyID_BasicDescription: {
      AudioStreamBasicDescription a;
      ComponentResult err = SetValue(&a, size, value);
      if (err != noErr) return err;
      if (!HasEncoder(a.mFormatID)) return noCodecErr;
      if (a.mFormatID == kAudioFormatLinearPCM && a.mBitsPerChannel != 0 && !PL_IsSupportedPCM(a)) return paramErr;
      s->output = a;
      s->outputLayout.clear();
      return noErr;
    }
    case kQTSCAudioPropertyID_InputChannelLayout:
    case kQTSCAudioPropertyID_ChannelLayout:
      if (size < PL_AudioChannelLayoutSize(0)) return kQTPropertyBadValueSizeErr;
      (propID == kQTSCAudioPropertyID_ChannelLayout ? s->outputLayout : s->inputLayout).assign(p, p + size);
      return noErr;
    case kQTSCAudioPropertyID_ClientRestrictedChannelLayoutTagList:
      if (size % 4 != 0) return kQTPropertyBadValueSizeErr;
      s->restrictedTags.resize(size / 4);
      if (size > 0) std::memcpy(s->restrictedTags.data(), p, size);
      return noErr;
    case kQTSCAudioPropertyID_ClientRestrictedCompressionFormatList:
      if (size % 4 != 0) return kQTPropertyBadValueSizeErr;
      s->restrictedFormats.resize(size / 4);
      if (size > 0) std::memcpy(s->restrictedFormats.data(), p, size);
      return noErr;
    case kQTSCAudioPropertyID_ClientRestrictedLPCMFlags: return SetValue(&s->flagRestriction, size, value);
    case kQTSCAudioPropertyID_RenderQuality: {
      ComponentResult err = SetValue(&s->quality, size, value);
      s->quality = std::min<UInt32>(s->quality, 0x7F);
      return err;
    }
    case kQTSCAudioPropertyID_InputMagicCookie: s->inputCookie.assign(p, p + size); return noErr;
    case kQTSCAudioPropertyID_CodecSpecificSettingsArray: {
      CFDataRef data = nullptr;
      ComponentResult err = SetValue(&data, size, value);
      if (err != noErr) return err;
      if (data == nullptr) {
        s->bitRate = 0;
        s->haveCodecSettings = false;
        return noErr;
      }
      if (CFGetTypeID(data) != CFDataGetTypeID() || CFDataGetLength(data) < 4) return paramErr;
      s->bitRate = PL_GetBE32(CFDataGetBytePtr(data));
      s->haveCodecSettings = true;
      return noErr;
    }
    case kQTSCAudioPropertyID_InputSoundDescription: {
      SoundDescriptionHandle desc = nullptr;
      ComponentResult err = SetValue(&desc, size, value);
      if (err != noErr) return err;
      PL_SoundFormat f;
      if ((err = PL_ReadSoundFormat(desc, &f)) != noErr) return err;
      if (!PL_IsSupportedPCM(f.asbd)) return paramErr;
      s->input = f.asbd;
      s->inputLayout = f.layout;
      s->inputCookie = f.cookie;
      return noErr;
    }
    case kQTSCAudioPropertyID_ExtendedProcs: s->extendedProcs.assign(p, p + size); return noErr;
    case kQTSCAudioPropertyID_SoundDescription:
    case kQTSCAudioPropertyID_MagicCookie:
    case kQTSCAudioPropertyID_RequiresPacketDescriptions:
    case kQTSCAudioPropertyID_MaximumOutputPacketSize:
    case kQTSCAudioPropertyID_PrimeInfo: return kQTPropertyReadOnlyErr;
    default: return kQTPropertyNotSupportedErr;
  }
}

const PL_ComponentFuncs kFuncs = {Open, Close, nullptr, 0, GetPropertyInfo, GetProperty, SetProperty};

void RegisterAudioCompression() {
  PL_ComponentDefinition definition{
      {StandardCompressionType, StandardCompressionSubTypeAudio, 'appl', 0, 0}, "Standard Audio Compression", "",
      &kFuncs, nullptr};
  PL_RegisterComponent(&definition, nullptr);
}

const PL_ComponentRegistrar kRegistrar(RegisterAudioCompression);

// ---- Compressing ----

OSStatus Start(State *s) {
  if (s->input.mFormatID != kAudioFormatLinearPCM || !PL_IsSupportedPCM(s->input) || s->input.mChannelsPerFrame == 0 ||
      !(s->input.mSampleRate > 0))
    return paramErr;
  s->Stop();
  s->resolved = Resolve(*s);
  const AudioStreamBasicDescription &a = s->resolved;
  if (a.mFormatID == kAudioFormatLinearPCM) {
    if (!PL_IsSupportedPCM(a)) return paramErr;
  } else {
    OSStatus err = PL_NewAudioEncoder(EncoderFormat(a), s->bitRate, &s->encoder);
    if (err != noErr) return err;
    s->prime.leadingFrames = PL_AudioEncoderPriming(s->encoder);
    s->prime.trailingFrames = 0;
  }
  if (a.mSampleRate != s->input.mSampleRate) {
    AVChannelLayout layout;
    av_channel_layout_default(&layout, int(a.mChannelsPerFrame));
    if (swr_alloc_set_opts2(&s->resampler, &layout, AV_SAMPLE_FMT_DBL, int(std::lround(a.mSampleRate)), &layout,
                            AV_SAMPLE_FMT_DBL, int(std::lround(s->input.mSampleRate)), 0, nullptr) < 0)
      return memFullErr;
    av_opt_set_int(s->resampler, "filter_size", s->quality >= 0x60 ? 64 : 16, 0);
    if (swr_init(s->resampler) < 0) return codecOpenErr;
  }
  s->running = true;
  return noErr;
}

// Takes input from the procedure and turns it into output frames or packets; sets inputEnded at its end.
OSStatus PullInput(State *s, ComponentInstance ci, SCAudioInputDataProc proc, void *refCon) {
  const AudioStreamBasicDescription &in = s->input;
  const bool planar = (in.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0;
  const UInt32 inChannels = in.mChannelsPerFrame, outChannels = s->resolved.mChannelsPerFrame;
  const UInt32 buffers = planar ? inChannels : 1;
  std::vector<UInt8> listBytes(PL_AudioBufferListSize(buffers), 0);
  auto *list = reinterpret_cast<AudioBufferList *>(listBytes.data());
  list->mNumberBuffers = buffers;
  for (UInt32 b = 0; b < buffers; ++b) list->mBuffers[b] = {planar ? 1u : inChannels, 0, nullptr};
  UInt32 packets = kPullFrames;
  AudioStreamPacketDescription *descriptions = nullptr;
  OSStatus err = proc(ci, &packets, list, &descriptions, refCon);
  if (err != noErr) return err;
  std::vector<double> frames;
  if (packets > 0) {
    const UInt32 sample = PL_PCMSampleBytes(in);
    for (UInt32 b = 0; b < buffers; ++b) {
      const UInt32 per = planar ? sample : sample * inChannels;
      if (list->mBuffers[b].mData == nullptr || list->mBuffers[b].mDataByteSize < packets * per) return paramErr;
    }
    std::vector<double> read;
    if (planar) {
      std::vector<std::vector<double>> channels(inChannels);
      for (UInt32 c = 0; c < inChannels; ++c) PL_PCMToDoubles(in, 1, list->mBuffers[c].mData, packets, &channels[c]);
      read.resize(size_t(packets) * inChannels);
      for (UInt32 i = 0; i < packets; ++i)
        for (UInt32 c = 0; c < inChannels; ++c) read[size_t(i) * inChannels + c] = channels[c][i];
    } else {
      PL_PCMToDoubles(in, inChannels, list->mBuffers[0].mData, packets, &read);
    }
    // The input's channels to the output's: in order, mono into every channel, silence past the input.
    frames.resize(size_t(packets) * outChannels);
    for (UInt32 i = 0; i < packets; ++i)
      for (UInt32 c = 0; c < outChannels; ++c)
        frames[size_t(i) * outChannels + c] =
            c < inChannels ? read[size_t(i) * inChannels + c] : inChannels == 1 ? read[size_t(i) * inChannels] : 0.0;
    s->framesIn += packets;
  } else {
    s->inputEnded = true;
  }
  if (s->resampler != nullptr) {
    const int count = int(frames.size() / outChannels);
    const int capacity = swr_get_out_samples(s->resampler, count) + 16;
    std::vector<double> out(size_t(std::max(capacity, 0)) * outChannels);
    uint8_t *outPlanes[1] = {reinterpret_cast<uint8_t *>(out.data())};
    const uint8_t *inPlanes[1] = {reinterpret_cast<const uint8_t *>(frames.data())};
    const int got = swr_convert(s->resampler, outPlanes, capacity, packets > 0 ? inPlanes : nullptr, count);
    if (got < 0) return codecErr;
    out.resize(size_t(got) * outChannels);
    frames.swap(out);
  }
  if (s->encoder == nullptr) {
    s->frames.insert(s->frames.end(), frames.begin(), frames.end());
    return noErr;
  }
  std::vector<PL_EncodedPacket> encoded;
  if (!frames.empty()) {
    err = PL_AudioEncode(s->encoder, frames.data(), frames.size() / outChannels, &encoded);
    if (err != noErr) return err;
  }
  if (s->inputEnded) {
    err = PL_AudioEncode(s->encoder, nullptr, 0, &encoded);
    if (err != noErr) return err;
  }
  for (auto &p : encoded) {
    s->framesOut += p.frames;
    s->packets.push_back(std::move(p));
  }
  if (s->inputEnded) {
    const UInt64 expected = UInt64(std::llround(double(s->framesIn) * s->resolved.mSampleRate / s->input.mSampleRate));
    const UInt64 covered = expected + s->prime.leadingFrames;
    s->prime.trailingFrames = s->framesOut > covered ? UInt32(s->framesOut - covered) : 0;
  }
  return noErr;
}

}  // namespace

Boolean PL_IsStandardAudioCompression(ComponentInstance ci) {
  Component component = PL_GetComponentOfInstance(ci);
  if (component == nullptr) return false;
  ComponentDescription cd{};
  if (GetComponentInfo(component, &cd, nullptr, nullptr, nullptr) != noErr) return false;
  return cd.componentType == StandardCompressionType && cd.componentSubType == StandardCompressionSubTypeAudio;
}

ComponentResult SCAudioReset(ComponentInstance ci) {
  State *s = StateOf(ci);
  if (s == nullptr) return badComponentInstance;
  s->Stop();
  return noErr;
}

ComponentResult SCAudioFillBuffer(ComponentInstance ci, SCAudioInputDataProc inInputDataProc,
                                  void *inInputDataProcRefCon, UInt32 *ioOutputDataPacketSize,
                                  AudioBufferList *outOutputData, AudioStreamPacketDescription *outPacketDescription) {
  State *s = StateOf(ci);
  if (s == nullptr) return badComponentInstance;
  if (inInputDataProc == nullptr || ioOutputDataPacketSize == nullptr || outOutputData == nullptr) return paramErr;
  if (!s->running) {
    OSStatus err = Start(s);
    if (err != noErr) return err;
  }
  const AudioStreamBasicDescription &a = s->resolved;
  const bool linear = a.mFormatID == kAudioFormatLinearPCM;
  const bool planar = linear && (a.mFormatFlags & kAudioFormatFlagIsNonInterleaved);
  const UInt32 channels = a.mChannelsPerFrame;
  const UInt32 buffers = planar ? channels : 1;
  if (outOutputData->mNumberBuffers != buffers) return paramErr;
  for (UInt32 b = 0; b < buffers; ++b)
    if (outOutputData->mBuffers[b].mData == nullptr) return paramErr;
  const UInt32 wanted = *ioOutputDataPacketSize;
  UInt32 done = 0, bytes = 0;
  while (done < wanted) {
    if (linear) {
      const size_t have = s->frames.size() / channels;
      if (have == 0) {
        if (s->inputEnded) break;
        OSStatus err = PullInput(s, ci, inInputDataProc, inInputDataProcRefCon);
        if (err != noErr) return err;
        continue;
      }
      const UInt32 room = (outOutputData->mBuffers[0].mDataByteSize - bytes) / a.mBytesPerFrame;
      const size_t n = std::min<size_t>({have, size_t(wanted - done), size_t(room)});
      if (n == 0) break;
      if (planar) {
        std::vector<double> one(n);
        for (UInt32 c = 0; c < channels; ++c) {
          for (size_t i = 0; i < n; ++i) one[i] = s->frames[i * channels + c];
          PL_DoublesToPCM(a, 1, one.data(), n, static_cast<UInt8 *>(outOutputData->mBuffers[c].mData) + bytes);
        }
      } else {
        PL_DoublesToPCM(a, channels, s->frames.data(), n, static_cast<UInt8 *>(outOutputData->mBuffers[0].mData) + bytes);
      }
      if (outPacketDescription != nullptr)
        for (size_t i = 0; i < n; ++i)
          outPacketDescription[done + i] = {SInt64(bytes + i * a.mBytesPerFrame), 0, a.mBytesPerFrame};
      s->frames.erase(s->frames.begin(), s->frames.begin() + ptrdiff_t(n * channels));
      bytes += UInt32(n) * a.mBytesPerFrame;
      done += UInt32(n);
      continue;
    }
    if (s->packets.empty()) {
      if (s->inputEnded) break;
      OSStatus err = PullInput(s, ci, inInputDataProc, inInputDataProcRefCon);
      if (err != noErr) return err;
      continue;
    }
    const PL_EncodedPacket &p = s->packets.front();
    if (p.bytes.size() > outOutputData->mBuffers[0].mDataByteSize - bytes) {
      if (done == 0) return paramErr;  // a buffer too small for even one packet
      break;
    }
    std::memcpy(static_cast<UInt8 *>(outOutputData->mBuffers[0].mData) + bytes, p.bytes.data(), p.bytes.size());
    if (outPacketDescription != nullptr)
      outPacketDescription[done] = {SInt64(bytes), a.mFramesPerPacket != p.frames ? p.frames : 0,
                                    UInt32(p.bytes.size())};
    bytes += UInt32(p.bytes.size());
    ++done;
    s->packets.pop_front();
  }
  for (UInt32 b = 0; b < buffers; ++b) outOutputData->mBuffers[b].mDataByteSize = planar ? bytes : bytes;
  *ioOutputDataPacketSize = done;
  return noErr;
}

// ---- Settings containers ----

ComponentResult PL_SCAudioSetSettingsFromAtomContainer(ComponentInstance ci, QTAtomContainer settings) {
  State *s = StateOf(ci);
  if (s == nullptr) return badComponentInstance;
  OSErr err = PL_CheckAtomContainer(settings);
  if (err != noErr) return err;
  auto leaf = [settings](OSType type, const UInt8 **data, SInt32 *size) {
    QTAtom atom = QTFindChildByIndex(settings, kParentAtomIsContainer, type, 1, nullptr);
    Ptr p = nullptr;
    if (atom == 0 || QTGetAtomDataPtr(settings, atom, size, &p) != noErr) return false;
    *data = reinterpret_cast<const UInt8 *>(p);
    return true;
  };
  // Checked whole before anything changes.
  State next;
  next.output = s->output;
  next.outputLayout = s->outputLayout;
  next.quality = s->quality;
  next.bitRate = s->bitRate;
  next.haveCodecSettings = s->haveCodecSettings;
  const UInt8 *d = nullptr;
  SInt32 size = 0;
  if (leaf('osbd', &d, &size)) {
    if (size < 40) return paramErr;
    AudioStreamBasicDescription a{};
    const UInt64 rateBits = PL_GetBE64(d);
    std::memcpy(&a.mSampleRate, &rateBits, 8);
    UInt32 *fields = &a.mFormatID;
    for (int i = 0; i < 8; ++i) fields[i] = PL_GetBE32(d + 8 + 4 * i);
    if (!HasEncoder(a.mFormatID)) return noCodecErr;
    next.output = a;
    next.outputLayout.clear();
  }
  if (leaf('clay', &d, &size)) {
    std::vector<UInt8> layout;
    if (!PL_ChannelLayoutFromChan(d, size_t(size), &layout)) return paramErr;
    next.outputLayout = layout;
  }
  if (leaf('qlty', &d, &size)) {
    if (size < 4) return paramErr;
    next.quality = std::min<UInt32>(PL_GetBE32(d), 0x7F);
  }
  if (leaf('cdst', &d, &size)) {
    if (size < 4) return paramErr;
    next.bitRate = PL_GetBE32(d);
    next.haveCodecSettings = true;
  }
  s->output = next.output;
  s->outputLayout = next.outputLayout;
  s->quality = next.quality;
  s->bitRate = next.bitRate;
  s->haveCodecSettings = next.haveCodecSettings;
  s->Stop();
  return noErr;
}

ComponentResult PL_SCAudioGetSettingsAsAtomContainer(ComponentInstance ci, QTAtomContainer *settings) {
  if (settings == nullptr) return paramErr;
  *settings = nullptr;
  State *s = StateOf(ci);
  if (s == nullptr) return badComponentInstance;
  QTAtomContainer c = nullptr;
  OSErr err = QTNewAtomContainer(&c);
  if (err != noErr) return err;
  UInt8 asbd[40];
  UInt64 rateBits;
  std::memcpy(&rateBits, &s->output.mSampleRate, 8);
  PL_PutBE64(asbd, rateBits);
  const UInt32 *fields = &s->output.mFormatID;
  for (int i = 0; i < 8; ++i) PL_PutBE32(asbd + 8 + 4 * i, fields[i]);
  UInt8 quality[4], bitRate[4];
  PL_PutBE32(quality, s->quality);
  PL_PutBE32(bitRate, s->bitRate);
  err = QTInsertChild(c, kParentAtomIsContainer, 'osbd', 1, 0, sizeof asbd, asbd, nullptr);
  if (err == noErr && !s->outputLayout.empty()) {
    const std::vector<UInt8> chan = PL_ChannelLayoutToChan(
        reinterpret_cast<const AudioChannelLayout *>(s->outputLayout.data()), s->outputLayout.size());
    err = QTInsertChild(c, kParentAtomIsContainer, 'clay', 1, 0, SInt32(chan.size()), const_cast<UInt8 *>(chan.data()),
                        nullptr);
  }
  if (err == noErr) err = QTInsertChild(c, kParentAtomIsContainer, 'qlty', 1, 0, 4, quality, nullptr);
  if (err == noErr && s->haveCodecSettings) err = QTInsertChild(c, kParentAtomIsContainer, 'cdst', 1, 0, 4, bitRate, nullptr);
  if (err != noErr) {
    QTDisposeAtomContainer(c);
    return err;
  }
  *settings = c;
  return noErr;
}
