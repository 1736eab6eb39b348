// DV sound through libavformat's DV reader, fed with the media's frames one by one.
#include "platform/movie/dv_audio.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kIOBufferSize = 1 << 16;

// The frames of the stretch, handed to the reader in order.
struct FrameFeed {
  Media media;
  TimeValue next;
  TimeValue end;
  Handle frame;
  size_t used = 0;
  size_t size = 0;
  OSStatus error = noErr;
};

int ReadFrames(void *opaque, uint8_t *buf, int bufSize) {
  auto *feed = static_cast<FrameFeed *>(opaque);
  if (feed->used == feed->size) {
    if (feed->next >= feed->end) return AVERROR_EOF;
    SInt32 size = 0;
    TimeValue sampleTime = 0, duration = 0;
    OSErr err = GetMediaSample(feed->media, feed->frame, 0, &size, feed->next, &sampleTime, &duration, nullptr, nullptr,
                               1, nullptr, nullptr);
    if (err != noErr || duration <= 0) {
      feed->error = err != noErr ? OSStatus(err) : OSStatus(kPL_DVFramesErr);
      return AVERROR(EIO);
    }
    feed->next = sampleTime + duration;
    feed->size = size_t(size);
    feed->used = 0;
  }
  size_t n = std::min(size_t(bufSize), feed->size - feed->used);
  std::memcpy(buf, *feed->frame + feed->used, n);
  feed->used += n;
  return int(n);
}

}  // namespace

OSStatus PL_ExtractDVAudio(Media dvMedia, TimeValue mediaStart, TimeValue mediaDuration, Handle pcm,
                           UInt32 *sampleRate, UInt16 *channels, UInt32 *frames) {
  if (dvMedia == nullptr || pcm == nullptr || mediaStart < 0) return paramErr;
  TimeValue mediaEnd = GetMediaDuration(dvMedia);
  if (mediaDuration >= 0) mediaEnd = TimeValue(std::min<SInt64>(mediaEnd, SInt64(mediaStart) + mediaDuration));
  FrameFeed feed{dvMedia, mediaStart, mediaEnd, NewHandle(0)};
  if (feed.frame == nullptr) return MemError();
  const AVInputFormat *dv = av_find_input_format("dv");
  auto *ioBuffer = static_cast<uint8_t *>(av_malloc(kIOBufferSize));
  AVIOContext *io = ioBuffer ? avio_alloc_context(ioBuffer, kIOBufferSize, 0, &feed, ReadFrames, nullptr, nullptr) : nullptr;
  AVFormatContext *format = io ? avformat_alloc_context() : nullptr;
  OSStatus err = noErr;
  if (dv == nullptr) err = kPL_DVFramesErr;
  else if (format == nullptr) err = memFullErr;
  if (err == noErr) {
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&format, nullptr, dv, nullptr) < 0) {
      format = nullptr;  // freed by the failed open
      err = feed.error != noErr ? feed.error : OSStatus(kPL_DVFramesErr);
    }
  }
  std::vector<UInt8> samples;
  int audioStream = -1, rate = 0, count = 0;
  if (err == noErr) {
    AVPacket *packet = av_packet_alloc();
    if (packet == nullptr) err = memFullErr;
    while (err == noErr) {
      int r = av_read_frame(format, packet);
      if (r == AVERROR_EOF) break;
      if (r < 0) {
        err = feed.error != noErr ? feed.error : OSStatus(kPL_DVFramesErr);
        break;
      }
      const AVCodecParameters *par = format->streams[packet->stream_index]->codecpar;
      if (audioStream < 0 && par->codec_type == AVMEDIA_TYPE_AUDIO) {
        audioStream = packet->stream_index;
        rate = par->sample_rate;
        count = par->ch_layout.nb_channels;
      }
      if (packet->stream_index == audioStream && par->codec_id == AV_CODEC_ID_PCM_S16LE) {
        // Little-endian from the reader, big-endian ('twos') for the movie library.
        for (int i = 0; i + 1 < packet->size; i += 2) {
          samples.push_back(packet->data[i + 1]);
          samples.push_back(packet->data[i]);
        }
      }
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (err == noErr && feed.error != noErr) err = feed.error;
  }
  if (format != nullptr) avformat_close_input(&format);
  if (io != nullptr) {
    av_freep(&io->buffer);
    avio_context_free(&io);
  } else if (ioBuffer != nullptr) {
    av_free(ioBuffer);
  }
  DisposeHandle(feed.frame);
  if (err != noErr) return err;
  if (audioStream < 0 || count <= 0 || rate <= 0 || samples.empty()) return kPL_NoDVAudioErr;
  SetHandleSize(pcm, Size(samples.size()));
  if (MemError() != noErr) return MemError();
  std::memcpy(*pcm, samples.data(), samples.size());
  if (sampleRate) *sampleRate = UInt32(rate);
  if (channels) *channels = UInt16(count);
  if (frames) *frames = UInt32(samples.size() / (2 * size_t(count)));
  return noErr;
}
