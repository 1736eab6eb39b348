// The DV stream and MPEG-4 exporters: pictures of the movie's video track and its sound, encoded with
// libavcodec and written with libavformat's muxers.
//
// Both exporters produce frames at a fixed rate (DV: the standard's; MPEG-4: the settings' or the source's)
// and take for each the source picture shown at its movie time, scaled to the output size. Sound is read
// as PCM from the first enabled sound track, converted to the output rate and channels, cut or padded with
// silence to the length of the video, and encoded (16-bit PCM locked into the DV frames, AAC in MPEG-4).
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/decompression.h"
#include "platform/movie/movie_export_jobs.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// libavcodec's and libavformat's errors become the toolbox's numbers the callers know.
OSErr FromAV(int averr, OSErr fallback = ioErr) {
  if (averr >= 0) return noErr;
  if (averr == AVERROR(ENOMEM)) return memFullErr;
  if (averr == AVERROR(ENOSPC)) return dskFulErr;
  if (averr == AVERROR(EACCES) || averr == AVERROR(EPERM)) return permErr;
  if (averr == AVERROR(ENOENT)) return fnfErr;
  return fallback;
}

OSType MediaTypeOf(Track track) {
  Media media = track != nullptr ? GetTrackMedia(track) : nullptr;
  if (media == nullptr) return 0;
  OSType type = 0;
  GetMediaHandlerDescription(media, &type, nullptr, nullptr);
  return type;
}

// The exported track of a kind: onlyThisTrack when it is of that kind, else the movie's first enabled one.
Track ExportedTrack(const PL_ExportRequest &r, OSType mediaType) {
  if (r.onlyThisTrack != nullptr) return MediaTypeOf(r.onlyThisTrack) == mediaType ? r.onlyThisTrack : nullptr;
  return GetMovieIndTrackType(r.movie, 1, mediaType, 1 | 4);
}

// ---- Pictures ----

// The pictures of a video track in '2vuy', one sample at a time, decoded from whatever codec the track has.
struct VideoSource {
  Track track = nullptr;
  Media media = nullptr;
  SInt32 width = 0, height = 0;
  PL_MediaDecoder *decoder = nullptr;
  GWorldPtr world = nullptr;
  const UInt8 *pixels = nullptr;
  TimeValue loadedTime = -1;  // media time of the sample drawn into the world
  size_t rowBytes = 0;

  ~VideoSource() {
    PL_DisposeMediaDecoder(decoder);
    DisposeGWorld(world);
  }

  OSErr Open(Track t) {
    track = t;
    media = GetTrackMedia(t);
    if (media == nullptr) return invalidMedia;
    Handle desc = NewHandle(0);
    if (desc == nullptr) return memFullErr;
    GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
    OSType cType = 0;
    if (GetHandleSize(desc) >= Size(sizeof(ImageDescription))) {
      const ImageDescription *id = reinterpret_cast<const ImageDescription *>(*desc);
      width = id->width;
      height = id->height;
      cType = id->cType;
    }
    DisposeHandle(desc);
    if (width <= 0 || height <= 0) return badImageDescription;
    if (!PL_CanDecompressCodecType(cType)) return noCodecErr;
    Rect bounds{0, 0, SInt16(height), SInt16(width)};
    OSErr err = QTNewGWorld(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0);
    if (err != noErr) return err;
    PixMapHandle pm = GetGWorldPixMap(world);
    pixels = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(pm));
    rowBytes = size_t(GetPixRowBytes(pm));
    return PL_NewMediaDecoder(media, &decoder);
  }

  // Points *picture at the picture shown at the movie time (null in an empty edit, a black picture then).
  OSErr PictureAt(SInt64 movieTime, const UInt8 **picture) {
    *picture = nullptr;
    TimeValue mediaTime = TrackTimeToMediaTime(TimeValue(std::min<SInt64>(movieTime, 0x7FFFFFFF)), track);
    if (mediaTime < 0) return noErr;
    TimeValue sampleTime = 0;
    MediaTimeToSampleNum(media, mediaTime, nullptr, &sampleTime, nullptr);
    if (sampleTime != loadedTime || loadedTime < 0) {
      loadedTime = -1;
      // A damaged sample (short, or not decodable) is refused rather than read past.
      OSErr err = PL_MediaDecoderDraw(decoder, mediaTime, GetGWorldPixMap(world), nullptr, nullptr);
      if (err != noErr) return err;
      loadedTime = sampleTime;
    }
    *picture = pixels;
    return noErr;
  }
};

// ---- Sound ----

// Uncompressed sound of the first description of a sound track, read in media order as interleaved
// floats.
struct SoundSource {
  Media media = nullptr;
  Track track = nullptr;
  OSType format = 0;
  int channels = 0;
  int bitsPerSample = 0;
  bool isFloat = false, bigEndian = true, isSigned = true;
  double rate = 0;
  Handle data = nullptr;
  SInt64 next = 0;       // media time of the next sample to read
  SInt64 end = 0;        // media time to stop at

  ~SoundSource() {
    if (data != nullptr) DisposeHandle(data);
  }

  OSErr Open(Track t) {
    track = t;
    media = GetTrackMedia(t);
    if (media == nullptr) return invalidMedia;
    data = NewHandle(0);
    Handle desc = NewHandle(0);
    if (data == nullptr || desc == nullptr) {
      if (desc != nullptr) DisposeHandle(desc);
      return memFullErr;
    }
    GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
    OSErr err = Describe(desc);
    DisposeHandle(desc);
    return err;
  }

  OSErr Describe(Handle desc) {
    if (GetHandleSize(desc) < Size(sizeof(SoundDescription))) return invalidSampleDescription;
    const SoundDescription *sd = reinterpret_cast<const SoundDescription *>(*desc);
    format = sd->dataFormat;
    if (sd->version == 2) {
      if (GetHandleSize(desc) < Size(sizeof(SoundDescriptionV2))) return invalidSampleDescription;
      const SoundDescriptionV2 *v2 = reinterpret_cast<const SoundDescriptionV2 *>(*desc);
      channels = int(v2->numAudioChannels);
      rate = v2->audioSampleRate;
      bitsPerSample = int(v2->constBitsPerChannel);
      isFloat = (v2->formatSpecificFlags & 1) != 0;
      bigEndian = (v2->formatSpecificFlags & 2) != 0;
      isSigned = (v2->formatSpecificFlags & 4) != 0 || isFloat;
      if (format != 'lpcm') return noCodecErr;
    } else {
      channels = sd->numChannels;
      rate = double(sd->sampleRate) / 65536.0;
      bitsPerSample = sd->sampleSize;
      switch (format) {
        case 'twos': isSigned = true; bigEndian = true; break;
        case 'sowt': isSigned = true; bigEndian = false; break;
        case 'raw ': isSigned = false; bitsPerSample = 8; break;
        case 'in24': bitsPerSample = 24; break;
        case 'in32': bitsPerSample = 32; break;
        case 'fl32': isFloat = true; bitsPerSample = 32; break;
        case 'fl64': isFloat = true; bitsPerSample = 64; break;
        default: return noCodecErr;  // compressed sound is not read here
      }
    }
    bool known = isFloat ? (bitsPerSample == 32 || bitsPerSample == 64)
                         : (bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 || bitsPerSample == 32);
    if (!known || channels <= 0 || channels > 8 || !(rate > 0)) return invalidSampleDescription;
    return noErr;
  }

  // Starts reading at the media time shown at the movie time.
  void Seek(SInt64 movieTime, SInt64 movieDuration, TimeScale movieScale) {
    TimeValue mediaTime = TrackTimeToMediaTime(TimeValue(std::min<SInt64>(movieTime, 0x7FFFFFFF)), track);
    next = std::max<SInt64>(mediaTime, 0);
    end = next + SInt64(std::llround(double(movieDuration) * GetMediaTimeScale(media) / movieScale));
    if (mediaTime < 0) end = next;  // starts in an empty edit: silence
  }

  double Sample(const UInt8 *p) const {
    switch (bitsPerSample) {
      case 8: return isSigned ? double(SInt8(p[0])) / 128.0 : (double(p[0]) - 128.0) / 128.0;
      case 16: {
        UInt16 v = bigEndian ? UInt16(p[0] << 8 | p[1]) : UInt16(p[1] << 8 | p[0]);
        return double(SInt16(v)) / 32768.0;
      }
      case 24: {
        SInt32 v = bigEndian ? (p[0] << 16 | p[1] << 8 | p[2]) : (p[2] << 16 | p[1] << 8 | p[0]);
        if (v & 0x800000) v -= 0x1000000;
        return double(v) / 8388608.0;
      }
      case 32: {
        UInt32 v = bigEndian ? PL_GetBE32(p) : (UInt32(p[3]) << 24 | UInt32(p[2]) << 16 | UInt32(p[1]) << 8 | p[0]);
        if (isFloat) {
          float f;
          std::memcpy(&f, &v, 4);
          return f;
        }
        return double(SInt32(v)) / 2147483648.0;
      }
      default: {
        UInt64 v = bigEndian ? PL_GetBE64(p) : 0;
        if (!bigEndian)
          for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
        double d;
        std::memcpy(&d, &v, 8);
        return d;
      }
    }
  }

  // The next chunk as interleaved floats; an empty result at the end.
  OSErr Read(std::vector<float> *out) {
    out->clear();
    if (next >= end) return noErr;
    SInt32 size = 0, count = 0;
    TimeValue sampleTime = 0;
    OSErr err = GetMediaSample(media, data, 0, &size, TimeValue(next), &sampleTime, nullptr, nullptr, nullptr, 0, &count,
                               nullptr);
    if (err != noErr) return err;
    if (count <= 0) {
      next = end;
      return noErr;
    }
    size_t frameBytes = size_t(channels) * size_t(bitsPerSample / 8);
    size_t frames = std::min<size_t>(size_t(size) / frameBytes, size_t(count));
    // Samples before `next` (a chunk starting earlier) and beyond `end` are dropped.
    size_t skip = size_t(std::clamp<SInt64>(next - sampleTime, 0, SInt64(frames)));
    size_t take = size_t(std::clamp<SInt64>(end - (sampleTime + SInt64(skip)), 0, SInt64(frames - skip)));
    out->resize(take * size_t(channels));
    const UInt8 *p = reinterpret_cast<const UInt8 *>(*data) + skip * frameBytes;
    for (size_t i = 0; i < out->size(); ++i) (*out)[i] = float(Sample(p + i * size_t(bitsPerSample / 8)));
    next = sampleTime + SInt64(skip + std::max<size_t>(take, 1));
    if (take == 0) next = std::max(next, SInt64(sampleTime) + count);
    return noErr;
  }
};

// ---- Output ----

struct Output {
  AVFormatContext *format = nullptr;
  AVCodecContext *video = nullptr;
  AVStream *videoStream = nullptr;
  AVCodecContext *audio = nullptr;
  AVStream *audioStream = nullptr;
  SwsContext *scaler = nullptr;
  SwrContext *resampler = nullptr;
  AVAudioFifo *fifo = nullptr;
  AVFrame *frame = nullptr;
  AVFrame *audioFrame = nullptr;
  AVPacket *packet = nullptr;
  bool headerWritten = false;
  SInt64 audioSamplesWritten = 0;
  std::string path;

  ~Output() {
    if (format != nullptr) {
      if (format->pb != nullptr) avio_closep(&format->pb);
      avformat_free_context(format);
    }
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    sws_freeContext(scaler);
    swr_free(&resampler);
    if (fifo != nullptr) av_audio_fifo_free(fifo);
    av_frame_free(&frame);
    av_frame_free(&audioFrame);
    av_packet_free(&packet);
  }

  OSErr Create(const char *muxer, const std::string &file) {
    path = file;
    // The muxer knows the file by name too: the MPEG-4 muxer reads it back to move the movie atom forward.
    int averr = avformat_alloc_output_context2(&format, nullptr, muxer, ("file:" + file).c_str());
    if (averr < 0 || format == nullptr) return FromAV(averr, memFullErr);
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    audioFrame = av_frame_alloc();
    if (packet == nullptr || frame == nullptr || audioFrame == nullptr) return memFullErr;
    return noErr;
  }

  OSErr AddStream(const AVCodec *codec, AVCodecContext *ctx, AVStream **stream, AVDictionary **options) {
    if (format->oformat->flags & AVFMT_GLOBALHEADER) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int averr = avcodec_open2(ctx, codec, options);
    if (averr < 0) return codecOpenErr;
    *stream = avformat_new_stream(format, nullptr);
    if (*stream == nullptr) return memFullErr;
    (*stream)->time_base = ctx->time_base;
    if (ctx->codec_type == AVMEDIA_TYPE_VIDEO) (*stream)->avg_frame_rate = ctx->framerate;
    return FromAV(avcodec_parameters_from_context((*stream)->codecpar, ctx), memFullErr);
  }

  OSErr Begin(AVDictionary **muxOptions) {
    // "file:" keeps names with colons from being taken for protocols.
    int averr = avio_open(&format->pb, format->url, AVIO_FLAG_WRITE);
    if (averr < 0) return FromAV(averr);
    averr = avformat_write_header(format, muxOptions);
    if (averr < 0) return FromAV(averr, codecOpenErr);
    headerWritten = true;
    return noErr;
  }

  // Sends a frame (null: the end) to an encoder and writes what comes out.
  OSErr Encode(AVCodecContext *ctx, AVStream *stream, AVFrame *in) {
    int averr = avcodec_send_frame(ctx, in);
    if (averr < 0 && averr != AVERROR_EOF) return FromAV(averr, codecErr);
    for (;;) {
      averr = avcodec_receive_packet(ctx, packet);
      if (averr == AVERROR(EAGAIN) || averr == AVERROR_EOF) return noErr;
      if (averr < 0) return FromAV(averr, codecErr);
      av_packet_rescale_ts(packet, ctx->time_base, stream->time_base);
      packet->stream_index = stream->index;
      averr = av_interleaved_write_frame(format, packet);
      if (averr < 0) return FromAV(averr);
    }
  }

  // Sound up to `untilSamples` (at the output rate) from the source, padded with silence.
  OSErr WriteAudio(SoundSource *source, SInt64 untilSamples, bool flush) {
    if (audio == nullptr) return noErr;
    std::vector<float> chunk;
    while (av_audio_fifo_size(fifo) + audioSamplesWritten < untilSamples) {
      OSErr err = source != nullptr ? source->Read(&chunk) : OSErr(noErr);
      if (err != noErr) return err;
      if (chunk.empty()) {
        // The source has ended: silence.
        SInt64 missing = untilSamples - (av_audio_fifo_size(fifo) + audioSamplesWritten);
        std::vector<float> silence(size_t(missing) * size_t(audio->ch_layout.nb_channels), 0.0f);
        err = PushConverted(silence.data(), int(missing), true);
        if (err != noErr) return err;
        break;
      }
      err = PushConverted(chunk.data(), int(chunk.size() / size_t(source->channels)), false);
      if (err != noErr) return err;
    }
    // Whole encoder frames while the stream goes on; at the end the rest, up to the total.
    int frameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
    for (;;) {
      int n = frameSize;
      if (flush)
        n = int(std::min<SInt64>({SInt64(frameSize), SInt64(av_audio_fifo_size(fifo)), untilSamples - audioSamplesWritten}));
      else if (av_audio_fifo_size(fifo) < frameSize)
        n = 0;
      if (n <= 0) break;
      av_frame_unref(audioFrame);
      audioFrame->nb_samples = n;
      audioFrame->format = audio->sample_fmt;
      audioFrame->sample_rate = audio->sample_rate;
      if (av_channel_layout_copy(&audioFrame->ch_layout, &audio->ch_layout) < 0 || av_frame_get_buffer(audioFrame, 0) < 0)
        return memFullErr;
      if (av_audio_fifo_read(fifo, reinterpret_cast<void **>(audioFrame->data), n) != n) return memFullErr;
      audioFrame->pts = audioSamplesWritten;
      audioSamplesWritten += n;
      OSErr err = Encode(audio, audioStream, audioFrame);
      if (err != noErr) return err;
    }
    return noErr;
  }

  // Converts interleaved floats: from the source's layout and rate, or (silence) already at the output's.
  OSErr PushConverted(const float *samples, int count, bool outputFormat) {
    if (count <= 0) return noErr;
    if (outputFormat) {
      // Silence in the encoder's own sample format is all zero bytes for every format used here.
      std::vector<std::vector<UInt8>> planes;
      int planeCount = av_sample_fmt_is_planar(audio->sample_fmt) ? audio->ch_layout.nb_channels : 1;
      int bytes = av_samples_get_buffer_size(nullptr, audio->ch_layout.nb_channels, count, audio->sample_fmt, 1);
      if (bytes < 0) return memFullErr;
      std::vector<void *> pointers;
      for (int p = 0; p < planeCount; ++p) planes.emplace_back(size_t(bytes / planeCount), 0);
      for (auto &plane : planes) pointers.push_back(plane.data());
      (void)samples;
      return av_audio_fifo_write(fifo, pointers.data(), count) == count ? OSErr(noErr) : OSErr(memFullErr);
    }
    int capacity = swr_get_out_samples(resampler, count);
    if (capacity < 0) return memFullErr;
    uint8_t **converted = nullptr;
    if (av_samples_alloc_array_and_samples(&converted, nullptr, audio->ch_layout.nb_channels, std::max(capacity, 1),
                                           audio->sample_fmt, 0) < 0)
      return memFullErr;
    const uint8_t *in[1] = {reinterpret_cast<const uint8_t *>(samples)};
    int got = swr_convert(resampler, converted, capacity, in, count);
    OSErr err = got < 0 ? OSErr(codecErr) : OSErr(noErr);
    if (err == noErr && got > 0 && av_audio_fifo_write(fifo, reinterpret_cast<void **>(converted), got) != got)
      err = memFullErr;
    av_freep(&converted[0]);
    av_freep(&converted);
    return err;
  }

  OSErr SetUpResampler(const SoundSource *source) {
    AVChannelLayout in;
    av_channel_layout_default(&in, source != nullptr ? source->channels : audio->ch_layout.nb_channels);
    int inRate = source != nullptr ? int(std::lround(source->rate)) : audio->sample_rate;
    int averr = swr_alloc_set_opts2(&resampler, &audio->ch_layout, audio->sample_fmt, audio->sample_rate, &in,
                                    AV_SAMPLE_FMT_FLT, inRate, 0, nullptr);
    av_channel_layout_uninit(&in);
    if (averr < 0 || swr_init(resampler) < 0) return codecOpenErr;
    fifo = av_audio_fifo_alloc(audio->sample_fmt, audio->ch_layout.nb_channels, 4096);
    return fifo != nullptr ? OSErr(noErr) : OSErr(memFullErr);
  }

  // Scales a '2vuy' picture (null: black) into the encoder's frame.
  OSErr PutPicture(const UInt8 *picture, const VideoSource &source, SInt64 pts, bool interlaced, bool topFieldFirst) {
    av_frame_unref(frame);
    frame->format = video->pix_fmt;
    frame->width = video->width;
    frame->height = video->height;
    if (av_frame_get_buffer(frame, 0) < 0) return memFullErr;
    if (picture == nullptr) {
      ptrdiff_t linesizes[4] = {frame->linesize[0], frame->linesize[1], frame->linesize[2], frame->linesize[3]};
      av_image_fill_black(frame->data, linesizes, video->pix_fmt, AVCOL_RANGE_MPEG, video->width, video->height);
    } else {
      const uint8_t *src[4] = {picture, nullptr, nullptr, nullptr};
      int srcStride[4] = {int(source.rowBytes), 0, 0, 0};
      sws_scale(scaler, src, srcStride, 0, source.height, frame->data, frame->linesize);
    }
    frame->pts = pts;
    frame->pkt_duration = 1;  // one frame in the encoder's time base, so the last frame keeps its length
    frame->interlaced_frame = interlaced ? 1 : 0;
    frame->top_field_first = topFieldFirst ? 1 : 0;
    return Encode(video, videoStream, frame);
  }

  OSErr Finish() {
    OSErr err = noErr;
    if (video != nullptr) err = Encode(video, videoStream, nullptr);
    if (err == noErr && audio != nullptr) err = Encode(audio, audioStream, nullptr);
    if (err == noErr && headerWritten) err = FromAV(av_write_trailer(format));
    if (format != nullptr && format->pb != nullptr) {
      int averr = avio_closep(&format->pb);
      if (err == noErr) err = FromAV(averr);
    }
    return err;
  }
};

// The common frame loop: `frames` pictures at frameRate (num/den per second) from the video source (if
// any) and the sound to match.
OSErr RunExport(const PL_ExportRequest &r, Output &out, VideoSource *video, SoundSource *sound, SInt64 frames,
                AVRational frameRate, bool interlaced, bool topFieldFirst) {
  PL_ExportProgress progress(r);
  OSErr err = progress.Open();
  const TimeScale scale = GetMovieTimeScale(r.movie);
  const SInt64 totalAudio =
      out.audio != nullptr ? SInt64(std::llround(double(frames) * frameRate.den * out.audio->sample_rate / frameRate.num)) : 0;
  for (SInt64 k = 0; err == noErr && k < frames; ++k) {
    if (video != nullptr) {
      SInt64 movieTime = r.startTime + SInt64(std::floor(double(k) * frameRate.den * scale / frameRate.num + 1e-9));
      const UInt8 *picture = nullptr;
      err = video->PictureAt(movieTime, &picture);
      if (err == noErr) err = out.PutPicture(picture, *video, k, interlaced, topFieldFirst);
    }
    SInt64 audioUntil = SInt64(std::llround(double(k + 1) * frameRate.den * (out.audio ? out.audio->sample_rate : 0) /
                                            frameRate.num));
    if (err == noErr) err = out.WriteAudio(sound, std::min(audioUntil, totalAudio), k + 1 == frames);
    if (err == noErr) err = progress.Update(double(k + 1) / double(frames));
  }
  if (err == noErr) err = out.Finish();
  progress.Close();
  return err;
}

SInt64 FrameCount(const PL_ExportRequest &r, AVRational frameRate) {
  double seconds = double(r.duration) / GetMovieTimeScale(r.movie);
  return std::max<SInt64>(SInt64(std::llround(seconds * frameRate.num / frameRate.den)), r.duration > 0 ? 1 : 0);
}

OSErr OpenSources(const PL_ExportRequest &r, bool wantVideo, bool wantSound, VideoSource *video, SoundSource *sound,
                  bool *haveVideo, bool *haveSound) {
  *haveVideo = *haveSound = false;
  Track v = wantVideo ? ExportedTrack(r, VideoMediaType) : nullptr;
  Track s = wantSound ? ExportedTrack(r, SoundMediaType) : nullptr;
  if (v != nullptr) {
    OSErr err = video->Open(v);
    if (err != noErr) return err;
    *haveVideo = true;
  }
  if (s != nullptr) {
    OSErr err = sound->Open(s);
    if (err != noErr) return err;
    sound->Seek(r.startTime, r.duration, GetMovieTimeScale(r.movie));
    *haveSound = true;
  }
  return noErr;
}

OSErr Finished(const PL_ExportRequest &r, OSErr err) {
  if (err != noErr) unlink(r.path.c_str());
  return err;
}

}  // namespace

bool PL_ExportH264Available() { return avcodec_find_encoder_by_name("libx264") != nullptr; }

OSErr PL_ExportDVStream(const PL_ExportRequest &r) {
  UInt8 ntsc = 0, is16x9 = 0, progressive = 0;
  UInt32 dvType = 'dv  ', sampleRate = 48000u << 16;
  PL_ExportSetting8(r.settings, 0, 'dvcv', &ntsc);
  PL_ExportSetting8(r.settings, 0, '16x9', &is16x9);
  PL_ExportSetting8(r.settings, 0, 'prog', &progressive);
  PL_ExportSetting32(r.settings, 0, 'dvcf', &dvType);
  if (!PL_ExportSetting32(r.settings, 'soun', 'ssrt', &sampleRate)) PL_ExportSetting32(r.settings, 0, 'ssrt', &sampleRate);
  const bool pal = ntsc == 0;
  const int hertz = int(sampleRate >> 16);
  if (hertz != 48000 && hertz != 44100 && hertz != 32000) return paramErr;
  AVPixelFormat pixels;
  switch (dvType) {
    case 'dv  ': pixels = pal ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV411P; break;
    case 'dvp ': pixels = AV_PIX_FMT_YUV411P; break;
    case 'dvp5': pixels = AV_PIX_FMT_YUV422P; break;
    default: return paramErr;
  }
  const AVRational frameRate = pal ? AVRational{25, 1} : AVRational{30000, 1001};
  const int width = 720, height = pal ? 576 : 480;

  VideoSource video;
  SoundSource sound;
  bool haveVideo = false, haveSound = false;
  OSErr err = OpenSources(r, true, true, &video, &sound, &haveVideo, &haveSound);
  if (err != noErr) return err;

  Output out;
  err = out.Create("dv", r.path);
  const AVCodec *dv = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
  const AVCodec *pcm = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
  if (err == noErr && (dv == nullptr || pcm == nullptr)) err = noCodecErr;
  if (err == noErr) {
    out.video = avcodec_alloc_context3(dv);
    out.audio = avcodec_alloc_context3(pcm);
    if (out.video == nullptr || out.audio == nullptr) err = memFullErr;
  }
  if (err == noErr) {
    AVCodecContext *c = out.video;
    c->width = width;
    c->height = height;
    c->pix_fmt = pixels;
    c->time_base = av_inv_q(frameRate);
    c->framerate = frameRate;
    // The pixel aspect of 4:3 or 16:9 pictures; the encoder marks 16:9 frames from it.
    c->sample_aspect_ratio = pal ? (is16x9 ? AVRational{64, 45} : AVRational{16, 15})
                                 : (is16x9 ? AVRational{32, 27} : AVRational{8, 9});
    c->field_order = progressive ? AV_FIELD_PROGRESSIVE : AV_FIELD_BB;
    err = out.AddStream(dv, c, &out.videoStream, nullptr);
  }
  if (err == noErr) {
    AVCodecContext *a = out.audio;
    a->sample_fmt = AV_SAMPLE_FMT_S16;
    a->sample_rate = hertz;
    av_channel_layout_default(&a->ch_layout, 2);
    a->time_base = AVRational{1, hertz};
    err = out.AddStream(pcm, a, &out.audioStream, nullptr);
  }
  if (err == noErr) err = out.SetUpResampler(haveSound ? &sound : nullptr);
  if (err == noErr && haveVideo) {
    out.scaler = sws_getContext(video.width, video.height, AV_PIX_FMT_UYVY422, width, height, pixels, SWS_BICUBIC,
                                nullptr, nullptr, nullptr);
    if (out.scaler == nullptr) err = memFullErr;
  }
  if (err == noErr) err = out.Begin(nullptr);
  // A DV stream is pictures: without a video track it is black frames for the duration.
  if (err == noErr)
    err = RunExport(r, out, haveVideo ? &video : nullptr, haveSound ? &sound : nullptr, FrameCount(r, frameRate),
                    frameRate, !progressive, false);
  if (!haveVideo && err == noErr) err = noVideoTrackInMovieErr;
  return Finished(r, err);
}

OSErr PL_ExportMPEG4(const PL_ExportRequest &r) {
  UInt8 videoOn = 1, soundOn = 1, fastStart = 0;
  UInt32 codecType = 'avc1', dataRate = 0, width = 0, height = 0, sampleRate = 0, soundFormat = 'aac ';
  UInt16 channels = 0;
  UInt8 temporal[12] = {};
  PL_ExportSetting8(r.settings, 0, 'envi', &videoOn);
  PL_ExportSetting8(r.settings, 0, 'enso', &soundOn);
  PL_ExportSetting32(r.settings, 'vide', 'sptl', &codecType);
  PL_ExportSetting32(r.settings, 'vide', 'tdrt', &dataRate);
  PL_ExportSetting32(r.settings, 'isiz', 'iwdt', &width);
  PL_ExportSetting32(r.settings, 'isiz', 'ihgt', &height);
  PL_ExportSetting32(r.settings, 'soun', 'ssrt', &sampleRate);
  PL_ExportSetting16(r.settings, 'soun', 'sscc', &channels);
  PL_ExportSetting32(r.settings, 'soun', 'ssct', &soundFormat);
  PL_ExportSetting8(r.settings, 'save', 'fast', &fastStart);
  {
    QTAtom v = QTFindChildByIndex(r.settings, kParentAtomIsContainer, 'vide', 1, nullptr);
    QTAtom t = v != 0 ? QTFindChildByIndex(r.settings, v, 'tprl', 1, nullptr) : 0;
    SInt32 size = 0;
    Ptr data = nullptr;
    if (t != 0 && QTGetAtomDataPtr(r.settings, t, &size, &data) == noErr && size >= 12) std::memcpy(temporal, data, 12);
  }
  const Fixed frameRateSetting = Fixed(PL_GetBE32(temporal + 4));
  const SInt32 keyFrameRate = SInt32(PL_GetBE32(temporal + 8));
  if (soundOn && soundFormat != 'aac ' && soundFormat != 0) return noCodecErr;
  const AVCodec *videoCodec = nullptr;
  if (codecType == 'avc1' || codecType == 0) videoCodec = avcodec_find_encoder_by_name("libx264");
  else if (codecType == 'mp4v') videoCodec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (videoOn && videoCodec == nullptr) return noCodecErr;

  VideoSource video;
  SoundSource sound;
  bool haveVideo = false, haveSound = false;
  OSErr err = OpenSources(r, videoOn != 0, soundOn != 0, &video, &sound, &haveVideo, &haveSound);
  if (err != noErr) return err;
  if (!haveVideo && !haveSound) return noVideoTrackInMovieErr;

  // The frame rate: the settings', else the source's (its first sample's duration).
  AVRational frameRate{25, 1};
  if (frameRateSetting > 0) {
    frameRate = av_d2q(double(frameRateSetting) / 65536.0, 1 << 16);
  } else if (haveVideo) {
    TimeValue duration = 0;
    SampleNumToMediaTime(video.media, 1, nullptr, &duration);
    if (duration > 0) frameRate = av_make_q(GetMediaTimeScale(video.media), duration);
  }
  av_reduce(&frameRate.num, &frameRate.den, frameRate.num, frameRate.den, 1 << 30);
  if (frameRate.num <= 0 || frameRate.den <= 0) return paramErr;

  Output out;
  err = out.Create("mp4", r.path);
  if (err == noErr && haveVideo) {
    out.video = avcodec_alloc_context3(videoCodec);
    if (out.video == nullptr) err = memFullErr;
  }
  if (err == noErr && haveVideo) {
    AVCodecContext *c = out.video;
    // Sizes of 4:2:0 pictures are even.
    c->width = int(width > 0 ? width : UInt32(video.width)) & ~1;
    c->height = int(height > 0 ? height : UInt32(video.height)) & ~1;
    if (c->width <= 0 || c->height <= 0) err = paramErr;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = av_inv_q(frameRate);
    c->framerate = frameRate;
    c->gop_size = keyFrameRate > 0 ? keyFrameRate : 12;
    if (dataRate > 0) c->bit_rate = SInt64(dataRate) * 8;
    AVDictionary *options = nullptr;
    if (dataRate == 0 && std::string(videoCodec->name) == "mpeg4") c->global_quality = FF_QP2LAMBDA * 4, c->flags |= AV_CODEC_FLAG_QSCALE;
    if (err == noErr) err = out.AddStream(videoCodec, c, &out.videoStream, &options);
    av_dict_free(&options);
    if (err == noErr) {
      out.scaler = sws_getContext(video.width, video.height, AV_PIX_FMT_UYVY422, c->width, c->height, c->pix_fmt,
                                  SWS_BICUBIC, nullptr, nullptr, nullptr);
      if (out.scaler == nullptr) err = memFullErr;
    }
  }
  if (err == noErr && haveSound) {
    const AVCodec *aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (aac == nullptr) err = noCodecErr;
    if (err == noErr) out.audio = avcodec_alloc_context3(aac);
    if (err == noErr && out.audio == nullptr) err = memFullErr;
    if (err == noErr) {
      AVCodecContext *a = out.audio;
      int hertz = sampleRate != 0 ? int(sampleRate >> 16) : int(std::lround(sound.rate));
      a->sample_fmt = AV_SAMPLE_FMT_FLTP;
      a->sample_rate = hertz > 0 ? hertz : 48000;
      av_channel_layout_default(&a->ch_layout, channels > 0 ? std::min<int>(channels, 8) : std::min(sound.channels, 2));
      a->time_base = AVRational{1, a->sample_rate};
      a->bit_rate = 64000 * a->ch_layout.nb_channels;
      err = out.AddStream(aac, a, &out.audioStream, nullptr);
    }
    if (err == noErr) err = out.SetUpResampler(&sound);
  }
  AVDictionary *muxOptions = nullptr;
  if (fastStart) av_dict_set(&muxOptions, "movflags", "+faststart", 0);
  if (err == noErr) err = out.Begin(&muxOptions);
  av_dict_free(&muxOptions);
  if (err == noErr)
    err = RunExport(r, out, haveVideo ? &video : nullptr, haveSound ? &sound : nullptr, FrameCount(r, frameRate),
                    frameRate, false, true);
  return Finished(r, err);
}
