// Samples to and from doubles, and libavcodec's audio decoders and encoders (see the header).
#include "platform/movie/audio_codecs.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/atoms.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// ---- Linear PCM ----

UInt64 LoadWord(const UInt8 *p, UInt32 bytes, bool bigEndian) {
  UInt64 v = 0;
  for (UInt32 i = 0; i < bytes; ++i) v |= UInt64(p[bigEndian ? i : bytes - 1 - i]) << (8 * (bytes - 1 - i));
  return v;
}

void StoreWord(UInt8 *p, UInt64 v, UInt32 bytes, bool bigEndian) {
  for (UInt32 i = 0; i < bytes; ++i) p[bigEndian ? i : bytes - 1 - i] = UInt8(v >> (8 * (bytes - 1 - i)));
}

double SampleToDouble(const UInt8 *p, const AudioStreamBasicDescription &f) {
  const UInt32 bytes = PL_PCMSampleBytes(f);
  const bool bigEndian = (f.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0;
  const UInt64 word = LoadWord(p, bytes, bigEndian);
  if (f.mFormatFlags & kAudioFormatFlagIsFloat) {
    if (bytes == 4) {
      const UInt32 w = UInt32(word);
      float v;
      std::memcpy(&v, &w, 4);
      return v;
    }
    double v;
    std::memcpy(&v, &word, 8);
    return v;
  }
  const int bits = int(bytes * 8);
  SInt64 v = SInt64(word);
  if (f.mFormatFlags & kAudioFormatFlagIsSignedInteger) {
    if (bits < 64 && (v & (SInt64(1) << (bits - 1)))) v -= SInt64(1) << bits;
  } else {
    v -= SInt64(1) << (bits - 1);  // offset binary
  }
  return double(v) / double(SInt64(1) << (bits - 1));
}

void DoubleToSample(double x, const AudioStreamBasicDescription &f, UInt8 *p) {
  const UInt32 bytes = PL_PCMSampleBytes(f);
  const bool bigEndian = (f.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0;
  if (f.mFormatFlags & kAudioFormatFlagIsFloat) {
    UInt64 word;
    if (bytes == 4) {
      const float v = float(x);
      UInt32 w;
      std::memcpy(&w, &v, 4);
      word = w;
    } else {
      std::memcpy(&word, &x, 8);
    }
    StoreWord(p, word, bytes, bigEndian);
    return;
  }
  const int bits = int(bytes * 8);
  const double scale = double(SInt64(1) << (bits - 1));
  const double lo = -scale, hi = scale - 1.0;
  SInt64 v = SInt64(std::nearbyint(std::clamp(x * scale, lo, hi)));
  if (!(f.mFormatFlags & kAudioFormatFlagIsSignedInteger)) v += SInt64(1) << (bits - 1);
  StoreWord(p, UInt64(v), bytes, bigEndian);
}

// ---- libavcodec ----

void AppendFrame(const AVFrame *frame, std::vector<double> *out) {
  const int channels = frame->ch_layout.nb_channels;
  const auto format = AVSampleFormat(frame->format);
  const bool planar = av_sample_fmt_is_planar(format);
  const size_t at = out->size();
  out->resize(at + size_t(frame->nb_samples) * size_t(channels));
  double *o = out->data() + at;
  for (int i = 0; i < frame->nb_samples; ++i) {
    for (int c = 0; c < channels; ++c) {
      const int plane = planar ? c : 0;
      const int index = planar ? i : i * channels + c;
      const UInt8 *data = frame->extended_data[plane];
      double v = 0;
      switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8: v = (double(data[index]) - 128.0) / 128.0; break;
        case AV_SAMPLE_FMT_S16: v = double(reinterpret_cast<const int16_t *>(data)[index]) / 32768.0; break;
        case AV_SAMPLE_FMT_S32: v = double(reinterpret_cast<const int32_t *>(data)[index]) / 2147483648.0; break;
        case AV_SAMPLE_FMT_FLT: v = reinterpret_cast<const float *>(data)[index]; break;
        case AV_SAMPLE_FMT_DBL: v = reinterpret_cast<const double *>(data)[index]; break;
        default: break;
      }
      *o++ = v;
    }
  }
}

void FillFrame(AVFrame *frame, const double *in, int count, int channels) {
  const auto format = AVSampleFormat(frame->format);
  const bool planar = av_sample_fmt_is_planar(format);
  for (int i = 0; i < count; ++i) {
    for (int c = 0; c < channels; ++c) {
      const double x = std::clamp(in[size_t(i) * channels + c], -1.0, 1.0);
      const int plane = planar ? c : 0;
      const int index = planar ? i : i * channels + c;
      UInt8 *data = frame->extended_data[plane];
      switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_S16:
          reinterpret_cast<int16_t *>(data)[index] = int16_t(std::nearbyint(std::clamp(x * 32768.0, -32768.0, 32767.0)));
          break;
        case AV_SAMPLE_FMT_S32:
          reinterpret_cast<int32_t *>(data)[index] =
              int32_t(std::nearbyint(std::clamp(x * 2147483648.0, -2147483648.0, 2147483647.0)));
          break;
        case AV_SAMPLE_FMT_FLT: reinterpret_cast<float *>(data)[index] = float(x); break;
        case AV_SAMPLE_FMT_DBL: reinterpret_cast<double *>(data)[index] = x; break;
        default: break;
      }
    }
  }
}

// The length of an MPEG-4 descriptor at p (up to four bytes of seven bits).
bool DescriptorLength(const UInt8 *&p, const UInt8 *end, UInt32 *length) {
  *length = 0;
  for (int i = 0; i < 4; ++i) {
    if (p >= end) return false;
    const UInt8 b = *p++;
    *length = (*length << 7) | (b & 0x7F);
    if (!(b & 0x80)) return true;
  }
  return true;
}

// The decoder-specific info (the AudioSpecificConfig) inside an 'esds' payload.
bool AudioSpecificConfig(const std::vector<UInt8> &esds, std::vector<UInt8> *config) {
  const UInt8 *p = esds.data() + 4, *end = esds.data() + esds.size();  // behind version and flags
  if (esds.size() < 4) return false;
  while (p < end) {
    const UInt8 tag = *p++;
    UInt32 length = 0;
    if (!DescriptorLength(p, end, &length) || length > UInt32(end - p)) return false;
    if (tag == 0x03) {  // ES descriptor: id, flags, optional parts, then its children
      if (length < 3) return false;
      const UInt8 flags = p[2];
      p += 3;
      if (flags & 0x80) p += 2;
      if (flags & 0x40) {
        if (p >= end) return false;
        p += 1 + *p;
      }
      if (flags & 0x20) p += 2;
      continue;
    }
    if (tag == 0x04) {  // decoder configuration: 13 bytes, then its children
      if (length < 13) return false;
      p += 13;
      continue;
    }
    if (tag == 0x05) {
      config->assign(p, p + length);
      return true;
    }
    p += length;
  }
  return false;
}

void PutDescriptor(std::vector<UInt8> *out, UInt8 tag, const std::vector<UInt8> &body) {
  out->push_back(tag);
  const UInt32 n = UInt32(body.size());
  out->push_back(UInt8(0x80 | ((n >> 21) & 0x7F)));
  out->push_back(UInt8(0x80 | ((n >> 14) & 0x7F)));
  out->push_back(UInt8(0x80 | ((n >> 7) & 0x7F)));
  out->push_back(UInt8(n & 0x7F));
  out->insert(out->end(), body.begin(), body.end());
}

}  // namespace

std::vector<UInt8> PL_MakeEsdsAtom(const std::vector<UInt8> &config, UInt32 bitRate) {
  std::vector<UInt8> decoderConfig = {0x40, 0x15, 0, 0x18, 0};  // AAC, audio stream, buffer 6144
  for (int i = 3; i >= 0; --i) decoderConfig.push_back(UInt8(bitRate >> (8 * i)));
  for (int i = 3; i >= 0; --i) decoderConfig.push_back(UInt8(bitRate >> (8 * i)));
  PutDescriptor(&decoderConfig, 0x05, config);
  std::vector<UInt8> es = {0, 0, 0};  // id 0, no flags
  PutDescriptor(&es, 0x04, decoderConfig);
  PutDescriptor(&es, 0x06, {0x02});
  std::vector<UInt8> payload = {0, 0, 0, 0};  // version and flags
  PutDescriptor(&payload, 0x03, es);
  std::vector<UInt8> atom(8);
  PL_PutBE32(atom.data(), UInt32(8 + payload.size()));
  PL_PutBE32(atom.data() + 4, 'esds');
  atom.insert(atom.end(), payload.begin(), payload.end());
  return atom;
}

namespace {

AVCodecID DecoderFor(AudioFormatID id) {
  switch (id) {
    case kAudioFormatMPEG4AAC: return AV_CODEC_ID_AAC;
    case kAudioFormatAppleLossless: return AV_CODEC_ID_ALAC;
    case kAudioFormatAppleIMA4: return AV_CODEC_ID_ADPCM_IMA_QT;
    case kAudioFormatULaw: return AV_CODEC_ID_PCM_MULAW;
    case kAudioFormatALaw: return AV_CODEC_ID_PCM_ALAW;
    case kAudioFormatMPEGLayer3: return AV_CODEC_ID_MP3;
    case kAudioFormatAC3: return AV_CODEC_ID_AC3;
    default: return AV_CODEC_ID_NONE;
  }
}

// libavcodec's informational lines (an encoder's statistics when it closes) stay off the trace.
void QuietCodecs() {
  if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_FATAL);
}

OSStatus FromAV(int averr, OSStatus fallback) {
  if (averr >= 0) return noErr;
  if (averr == AVERROR(ENOMEM)) return memFullErr;
  return fallback;
}

}  // namespace

bool PL_IsSupportedPCM(const AudioStreamBasicDescription &f) {
  if (f.mFormatID != kAudioFormatLinearPCM) return false;
  if (f.mFormatFlags & kAudioFormatFlagIsFloat) return f.mBitsPerChannel == 32 || f.mBitsPerChannel == 64;
  return f.mBitsPerChannel == 8 || f.mBitsPerChannel == 16 || f.mBitsPerChannel == 24 || f.mBitsPerChannel == 32;
}

void PL_PCMToDoubles(const AudioStreamBasicDescription &f, UInt32 channels, const void *bytes, size_t frames,
                     std::vector<double> *out) {
  const UInt32 sample = PL_PCMSampleBytes(f);
  const UInt8 *p = static_cast<const UInt8 *>(bytes);
  const size_t at = out->size();
  out->resize(at + frames * channels);
  for (size_t i = 0; i < frames * channels; ++i) (*out)[at + i] = SampleToDouble(p + i * sample, f);
}

void PL_DoublesToPCM(const AudioStreamBasicDescription &f, UInt32 channels, const double *in, size_t frames, void *bytes) {
  const UInt32 sample = PL_PCMSampleBytes(f);
  UInt8 *p = static_cast<UInt8 *>(bytes);
  for (size_t i = 0; i < frames * channels; ++i) DoubleToSample(in[i], f, p + i * sample);
}

// ---- Decoding ----

struct PL_AudioDecoder {
  AVCodecContext *context = nullptr;
  AVPacket *packet = nullptr;
  AVFrame *frame = nullptr;
  int channels = 0;
  int blockAlign = 0;  // 'ima4': bytes of one packet
  bool drained = false;
};

OSStatus PL_NewAudioDecoder(const PL_SoundFormat &format, PL_AudioDecoder **decoder) {
  if (decoder == nullptr) return paramErr;
  *decoder = nullptr;
  const AudioStreamBasicDescription &a = format.asbd;
  if (a.mChannelsPerFrame == 0 || !(a.mSampleRate > 0)) return paramErr;
  QuietCodecs();
  const AVCodecID id = DecoderFor(a.mFormatID);
  const AVCodec *codec = id != AV_CODEC_ID_NONE ? avcodec_find_decoder(id) : nullptr;
  if (codec == nullptr) return noCodecErr;
  auto *d = new (std::nothrow) PL_AudioDecoder;
  if (d == nullptr) return memFullErr;
  d->context = avcodec_alloc_context3(codec);
  d->packet = av_packet_alloc();
  d->frame = av_frame_alloc();
  if (d->context == nullptr || d->packet == nullptr || d->frame == nullptr) {
    PL_DisposeAudioDecoder(d);
    return memFullErr;
  }
  d->channels = int(a.mChannelsPerFrame);
  AVCodecContext *c = d->context;
  c->sample_rate = int(std::lround(a.mSampleRate));
  av_channel_layout_default(&c->ch_layout, d->channels);
  // The codec's configuration from its atoms.
  std::vector<UInt8> extradata, payload;
  if (a.mFormatID == kAudioFormatMPEG4AAC && PL_FindAudioAtom(format.cookie, 'esds', &payload)) {
    AudioSpecificConfig(payload, &extradata);
  } else if (a.mFormatID == kAudioFormatAppleLossless && PL_FindAudioAtom(format.cookie, 'alac', &payload)) {
    extradata.resize(8);  // the decoder takes the whole atom
    PL_PutBE32(extradata.data(), UInt32(8 + payload.size()));
    PL_PutBE32(extradata.data() + 4, 'alac');
    extradata.insert(extradata.end(), payload.begin(), payload.end());
  }
  if (a.mFormatID == kAudioFormatAppleIMA4) {
    d->blockAlign = 34 * d->channels;
    c->block_align = d->blockAlign;
  }
  if (!extradata.empty()) {
    c->extradata = static_cast<uint8_t *>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (c->extradata == nullptr) {
      PL_DisposeAudioDecoder(d);
      return memFullErr;
    }
    std::memcpy(c->extradata, extradata.data(), extradata.size());
    c->extradata_size = int(extradata.size());
  }
  if (avcodec_open2(c, codec, nullptr) < 0) {
    PL_DisposeAudioDecoder(d);
    return codecOpenErr;
  }
  *decoder = d;
  return noErr;
}

void PL_DisposeAudioDecoder(PL_AudioDecoder *decoder) {
  if (decoder == nullptr) return;
  avcodec_free_context(&decoder->context);
  av_packet_free(&decoder->packet);
  av_frame_free(&decoder->frame);
  delete decoder;
}

UInt32 PL_AudioDecoderDelay(PL_AudioDecoder *decoder) {
  return decoder != nullptr && decoder->context->delay > 0 ? UInt32(decoder->context->delay) : 0;
}

OSStatus PL_AudioDecode(PL_AudioDecoder *decoder, const UInt8 *packet, size_t size, std::vector<double> *out) {
  if (decoder == nullptr || out == nullptr) return paramErr;
  if (packet == nullptr) {
    if (decoder->drained) return noErr;
    decoder->drained = true;
    avcodec_send_packet(decoder->context, nullptr);
  }
  // 'ima4' data comes as runs of packets: one at a time.
  const size_t step = packet != nullptr && decoder->blockAlign > 0 ? size_t(decoder->blockAlign) : size;
  for (size_t at = 0; packet == nullptr || at < size; at += step) {
    if (packet != nullptr) {
      const size_t n = std::min(step, size - at);
      if (av_new_packet(decoder->packet, int(n)) < 0) return memFullErr;
      std::memcpy(decoder->packet->data, packet + at, n);
      const int sent = avcodec_send_packet(decoder->context, decoder->packet);
      av_packet_unref(decoder->packet);
      if (sent < 0 && sent != AVERROR(EAGAIN)) return FromAV(sent, codecBadDataErr);
    }
    for (;;) {
      const int got = avcodec_receive_frame(decoder->context, decoder->frame);
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
      if (got < 0) return FromAV(got, codecBadDataErr);
      if (decoder->frame->ch_layout.nb_channels != decoder->channels) {
        av_frame_unref(decoder->frame);
        return codecBadDataErr;
      }
      AppendFrame(decoder->frame, out);
      av_frame_unref(decoder->frame);
    }
    if (packet == nullptr) break;
  }
  return noErr;
}

// ---- Encoding ----

struct PL_AudioEncoder {
  AVCodecContext *context = nullptr;
  AVFrame *frame = nullptr;
  AVPacket *packet = nullptr;
  int channels = 0;
  UInt32 bitRate = 0;
  std::vector<double> waiting;  // frames not yet a whole codec frame
  bool ended = false;
};

OSStatus PL_NewAudioEncoder(const AudioStreamBasicDescription &format, UInt32 bitRate, PL_AudioEncoder **encoder) {
  if (encoder == nullptr) return paramErr;
  *encoder = nullptr;
  if (format.mChannelsPerFrame == 0 || !(format.mSampleRate > 0)) return paramErr;
  const char *name = nullptr;
  AVSampleFormat sampleFormat = AV_SAMPLE_FMT_S16;
  switch (format.mFormatID) {
    case kAudioFormatMPEG4AAC: name = "aac", sampleFormat = AV_SAMPLE_FMT_FLTP; break;
    case kAudioFormatAppleLossless:
      name = "alac", sampleFormat = format.mBitsPerChannel > 16 ? AV_SAMPLE_FMT_S32P : AV_SAMPLE_FMT_S16P;
      break;
    case kAudioFormatAppleIMA4: name = "adpcm_ima_qt", sampleFormat = AV_SAMPLE_FMT_S16P; break;
    case kAudioFormatULaw: name = "pcm_mulaw"; break;
    case kAudioFormatALaw: name = "pcm_alaw"; break;
    default: break;
  }
  const AVCodec *codec = name != nullptr ? avcodec_find_encoder_by_name(name) : nullptr;
  if (codec == nullptr) return noCodecErr;
  QuietCodecs();
  auto *e = new (std::nothrow) PL_AudioEncoder;
  if (e == nullptr) return memFullErr;
  e->context = avcodec_alloc_context3(codec);
  e->frame = av_frame_alloc();
  e->packet = av_packet_alloc();
  if (e->context == nullptr || e->frame == nullptr || e->packet == nullptr) {
    PL_DisposeAudioEncoder(e);
    return memFullErr;
  }
  e->channels = int(format.mChannelsPerFrame);
  AVCodecContext *c = e->context;
  c->sample_rate = int(std::lround(format.mSampleRate));
  c->sample_fmt = sampleFormat;
  av_channel_layout_default(&c->ch_layout, e->channels);
  c->time_base = AVRational{1, c->sample_rate};
  if (format.mFormatID == kAudioFormatMPEG4AAC) {
    e->bitRate = bitRate != 0 ? bitRate : UInt32(64000 * std::min(e->channels, 2) + 32000 * std::max(0, e->channels - 2));
    c->bit_rate = e->bitRate;
  }
  if (format.mFormatID == kAudioFormatAppleLossless) c->bits_per_raw_sample = format.mBitsPerChannel > 16 ? 24 : 16;
  const int opened = avcodec_open2(c, codec, nullptr);
  if (opened < 0) {
    PL_DisposeAudioEncoder(e);
    return opened == AVERROR(ENOMEM) ? OSStatus(memFullErr) : OSStatus(codecOpenErr);
  }
  *encoder = e;
  return noErr;
}

void PL_DisposeAudioEncoder(PL_AudioEncoder *encoder) {
  if (encoder == nullptr) return;
  avcodec_free_context(&encoder->context);
  av_frame_free(&encoder->frame);
  av_packet_free(&encoder->packet);
  delete encoder;
}

UInt32 PL_AudioEncoderFramesPerPacket(PL_AudioEncoder *encoder) {
  if (encoder->context->codec_id == AV_CODEC_ID_PCM_MULAW || encoder->context->codec_id == AV_CODEC_ID_PCM_ALAW) return 1;
  return UInt32(std::max(encoder->context->frame_size, 0));
}

UInt32 PL_AudioEncoderConstantPacketSize(PL_AudioEncoder *encoder) {
  switch (encoder->context->codec_id) {
    case AV_CODEC_ID_ADPCM_IMA_QT: return UInt32(34 * encoder->channels);
    case AV_CODEC_ID_PCM_MULAW:
    case AV_CODEC_ID_PCM_ALAW: return UInt32(encoder->channels);
    default: return 0;
  }
}

UInt32 PL_AudioEncoderMaxPacketSize(PL_AudioEncoder *encoder) {
  const UInt32 constant = PL_AudioEncoderConstantPacketSize(encoder);
  if (constant != 0) return constant;
  const UInt32 frames = std::max<UInt32>(PL_AudioEncoderFramesPerPacket(encoder), 1);
  // Apple Lossless never needs much more than the samples themselves; AAC stays below 6144 bits a channel.
  if (encoder->context->codec_id == AV_CODEC_ID_ALAC)
    return frames * UInt32(encoder->channels) * (encoder->context->bits_per_raw_sample > 16 ? 3 : 2) + 64;
  return 768 * UInt32(encoder->channels);
}

std::vector<UInt8> PL_AudioEncoderCookie(PL_AudioEncoder *encoder) {
  const AVCodecContext *c = encoder->context;
  if (c->extradata == nullptr || c->extradata_size <= 0) return {};
  const std::vector<UInt8> extradata(c->extradata, c->extradata + c->extradata_size);
  if (c->codec_id == AV_CODEC_ID_AAC) return PL_MakeEsdsAtom(extradata, encoder->bitRate);
  if (c->codec_id == AV_CODEC_ID_ALAC && extradata.size() >= 8 && PL_GetBE32(extradata.data() + 4) == 'alac')
    return extradata;  // already an 'alac' atom
  return {};
}

UInt32 PL_AudioEncoderPriming(PL_AudioEncoder *encoder) {
  return encoder->context->initial_padding > 0 ? UInt32(encoder->context->initial_padding) : 0;
}

OSStatus PL_AudioEncode(PL_AudioEncoder *encoder, const double *frames, size_t count,
                        std::vector<PL_EncodedPacket> *packets) {
  if (encoder == nullptr || packets == nullptr) return paramErr;
  if (encoder->ended) return noErr;
  AVCodecContext *c = encoder->context;
  const size_t channels = size_t(encoder->channels);
  if (count > 0) encoder->waiting.insert(encoder->waiting.end(), frames, frames + count * channels);
  const bool ending = count == 0;
  // Codecs of fixed frame sizes take whole frames; the last may be short only where the codec allows it.
  const size_t frameSize = c->frame_size > 0 ? size_t(c->frame_size) : std::max<size_t>(encoder->waiting.size() / channels, 1);
  const bool shortLast = (c->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0 || c->frame_size <= 0 ||
                         c->codec_id == AV_CODEC_ID_AAC || c->codec_id == AV_CODEC_ID_ALAC;
  size_t at = 0;
  auto receive = [&]() -> OSStatus {
    for (;;) {
      const int got = avcodec_receive_packet(c, encoder->packet);
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return noErr;
      if (got < 0) return FromAV(got, codecErr);
      PL_EncodedPacket p;
      p.bytes.assign(encoder->packet->data, encoder->packet->data + encoder->packet->size);
      p.frames = encoder->packet->duration > 0 ? UInt32(encoder->packet->duration) : PL_AudioEncoderFramesPerPacket(encoder);
      av_packet_unref(encoder->packet);
      packets->push_back(std::move(p));
    }
  };
  for (;;) {
    const size_t available = encoder->waiting.size() / channels - at;
    size_t take = 0;
    if (available >= frameSize) take = frameSize;
    else if (ending && available > 0) take = available;
    if (take == 0) break;
    AVFrame *frame = encoder->frame;
    av_frame_unref(frame);
    frame->format = c->sample_fmt;
    frame->sample_rate = c->sample_rate;
    frame->nb_samples = int(shortLast || take == frameSize ? take : frameSize);
    if (av_channel_layout_copy(&frame->ch_layout, &c->ch_layout) < 0 || av_frame_get_buffer(frame, 0) < 0)
      return memFullErr;
    if (frame->nb_samples > int(take)) av_samples_set_silence(frame->extended_data, 0, frame->nb_samples, encoder->channels, c->sample_fmt);
    FillFrame(frame, encoder->waiting.data() + at * channels, int(take), encoder->channels);
    at += take;
    const int sent = avcodec_send_frame(c, frame);
    if (sent < 0) return FromAV(sent, codecErr);
    OSStatus err = receive();
    if (err != noErr) return err;
  }
  encoder->waiting.erase(encoder->waiting.begin(), encoder->waiting.begin() + ptrdiff_t(at * channels));
  if (ending) {
    encoder->ended = true;
    avcodec_send_frame(c, nullptr);
    return receive();
  }
  return noErr;
}
