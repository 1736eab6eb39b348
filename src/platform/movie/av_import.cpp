// Movies imported through libavformat: the file's kind is probed, its streams are planned as tracks (sample
// positions in the file, times, descriptions), and the plan becomes a movie through the toolbox calls.
#include "platform/movie/av_import.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/codec_info.h"
#include "platform/movie/image_descriptions.h"
#include "platform/movie/movie_model.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// ---- Kinds of files ----

enum class Road { kDV, kAVI, kProgramStream, kElementaryStream };

struct FileKind {
  const char *demuxer;
  Road road;
};

constexpr FileKind kFileKinds[] = {{"dv", Road::kDV},
                                   {"avi", Road::kAVI},
                                   {"mpeg", Road::kProgramStream},
                                   {"mpegvideo", Road::kElementaryStream}};

// Enough of a file's start for libavformat to tell these kinds apart.
constexpr size_t kProbeBytes = 1 << 16;

bool ProbeFile(const std::string &path, Road *road, const AVInputFormat **format) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<uint8_t> head(kProbeBytes + AVPROBE_PADDING_SIZE, 0);
  ssize_t n = pread(fd, head.data(), kProbeBytes, 0);
  close(fd);
  if (n <= 0) return false;
  AVProbeData probe{};
  probe.filename = path.c_str();
  probe.buf = head.data();
  probe.buf_size = int(n);
  int score = AVPROBE_SCORE_RETRY;
  const AVInputFormat *found = av_probe_input_format2(&probe, 1, &score);
  if (found == nullptr) return false;
  for (const FileKind &kind : kFileKinds) {
    if (std::strcmp(found->name, kind.demuxer) == 0) {
      *road = kind.road;
      *format = found;
      return true;
    }
  }
  return false;
}

// ---- Plans ----

// One sample record: `count` samples of `duration` each in `size` bytes at `offset` (in the file, or in the
// stream for a stream of pieces).
struct PlannedSample {
  SInt64 offset;
  UInt32 size;
  UInt32 count;
  TimeValue duration;
  SInt32 displayOffset;
  bool sync;
};

struct PlannedTrack {
  OSType mediaType = 0;
  TimeScale timeScale = 0;
  Fixed width = 0, height = 0;
  std::vector<UInt8> description;  // native fixed fields, then the extensions
  std::vector<PlannedSample> samples;
  std::shared_ptr<PL_StreamPieces> pieces;  // set: the samples lie in these pieces of the file
  SInt64 displayStart = 0;                  // media time at which showing begins
  SInt64 startTs = 0;                       // the file's time stamp of that moment, in startTb
  AVRational startTb{1, 1};
};

struct FormatContextCloser {
  void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
using FormatContext = std::unique_ptr<AVFormatContext, FormatContextCloser>;

struct PacketFree {
  void operator()(AVPacket *p) const { av_packet_free(&p); }
};
using Packet = std::unique_ptr<AVPacket, PacketFree>;

struct FileCloser {
  int fd;
  ~FileCloser() {
    if (fd >= 0) close(fd);
  }
};

bool IsPALRate(AVRational rate) {
  if (rate.num <= 0 || rate.den <= 0) return false;
  const double fps = av_q2d(rate);
  return std::fabs(fps - 25.0) < 0.5 || std::fabs(fps - 50.0) < 1.0;
}

// The image description of a codec type without extensions.
std::vector<UInt8> ImageDescriptionBytes(OSType cType, int width, int height) {
  ImageDescription d{};
  d.idSize = sizeof(ImageDescription);
  d.cType = cType;
  d.dataRefIndex = 1;
  d.spatialQuality = codecNormalQuality;
  d.width = SInt16(width);
  d.height = SInt16(height);
  d.hRes = d.vRes = 72 << 16;
  d.frameCount = 1;
  CodecInfo info{};
  if (GetCodecInfo(&info, cType, nullptr) == noErr) {
    std::memcpy(d.name, info.typeName, sizeof d.name);
    d.vendor = OSType(info.vendor);
    d.version = info.version;
    d.revisionLevel = info.revisionLevel;
  }
  d.depth = 24;
  d.clutID = -1;
  const auto *p = reinterpret_cast<const UInt8 *>(&d);
  return std::vector<UInt8>(p, p + sizeof d);
}

// Adds an extension (big-endian payload bytes) to a description kept as bytes.
OSStatus AddExtension(std::vector<UInt8> *description, OSType type, const void *payload, size_t size) {
  Handle desc = NewHandle(Size(description->size()));
  Handle ext = NewHandle(Size(size));
  OSStatus err = desc != nullptr && ext != nullptr ? OSStatus(noErr) : OSStatus(memFullErr);
  if (err == noErr) {
    std::memcpy(*desc, description->data(), description->size());
    if (size > 0) std::memcpy(*ext, payload, size);
    err = AddImageDescriptionExtension(reinterpret_cast<ImageDescriptionHandle>(desc), ext, type);
  }
  if (err == noErr) description->assign(*desc, *desc + GetHandleSize(desc));
  if (desc != nullptr) DisposeHandle(desc);
  if (ext != nullptr) DisposeHandle(ext);
  return err;
}

OSStatus AddFieldInfo(std::vector<UInt8> *description, UInt8 fields, UInt8 detail) {
  const UInt8 fiel[2] = {fields, detail};
  return AddExtension(description, kFieldInfoImageDescriptionExtension, fiel, sizeof fiel);
}

OSStatus AddPixelAspect(std::vector<UInt8> *description, AVRational aspect) {
  if (aspect.num <= 0 || aspect.den <= 0) return noErr;
  av_reduce(&aspect.num, &aspect.den, aspect.num, aspect.den, INT_MAX);
  UInt8 pasp[8];
  PL_PutBE32(pasp, UInt32(aspect.num));
  PL_PutBE32(pasp + 4, UInt32(aspect.den));
  return AddExtension(description, kPixelAspectRatioImageDescriptionExtension, pasp, sizeof pasp);
}

// A sound description: version 0 for formats whose samples are sample frames, version 1 (variable packets of
// samplesPerPacket frames) for compressed ones. Empty when the rate does not fit the description.
std::vector<UInt8> SoundDescriptionBytes(OSType format, int channels, int sampleSize, int rate,
                                         UInt32 samplesPerPacket) {
  if (rate <= 0 || rate > 65535 || channels <= 0 || channels > 0x7FFF) return {};
  SoundDescriptionV1 d{};
  d.desc.descSize = samplesPerPacket > 0 ? sizeof(SoundDescriptionV1) : sizeof(SoundDescription);
  d.desc.dataFormat = format;
  d.desc.dataRefIndex = 1;
  d.desc.version = samplesPerPacket > 0 ? 1 : 0;
  d.desc.numChannels = SInt16(channels);
  d.desc.sampleSize = SInt16(sampleSize);
  d.desc.sampleRate = UInt32(rate) << 16;
  if (samplesPerPacket > 0) {
    d.desc.compressionID = -2;
    d.samplesPerPacket = samplesPerPacket;
    d.bytesPerSample = 2;
  }
  const auto *p = reinterpret_cast<const UInt8 *>(&d);
  return std::vector<UInt8>(p, p + d.desc.descSize);
}

// ---- Building the movie ----

// The track's start in movie time, relative to `anchor` (also movie time).
SInt64 MovieStart(const PlannedTrack &t, TimeScale movieScale) {
  return av_rescale_q(t.startTs, t.startTb, AVRational{1, movieScale});
}

OSStatus AddPlannedTrack(Movie movie, Handle dataRef, OSType dataRefType, const PlannedTrack &plan, SInt64 anchor) {
  const bool sound = plan.mediaType == SoundMediaType;
  Track track = NewMovieTrack(movie, plan.width, plan.height, sound ? 0x100 : 0);
  Media media = track != nullptr ? NewTrackMedia(track, plan.mediaType, plan.timeScale, dataRef, dataRefType) : nullptr;
  OSStatus err = GetMoviesError();
  if (err == noErr && media == nullptr) err = invalidMedia;
  if (err != noErr) return err;
  if (plan.pieces != nullptr) {
    PL_DataRef &ref = media->dataRefs.front();
    ref.kind = kPL_DataRefStream;
    ref.type = kPL_StreamDataRefType;
    ref.pieces = plan.pieces;
    const std::string url = PL_PathToFileURL(ref.path);
    ref.data.assign(url.begin(), url.end());
    ref.data.push_back(0);
  }
  Handle desc = NewHandle(Size(plan.description.size()));
  if (desc == nullptr) return memFullErr;
  std::memcpy(*desc, plan.description.data(), plan.description.size());
  std::vector<SampleReference64Record> records;
  bool offsets = false;
  try {
    records.reserve(plan.samples.size());
    for (const PlannedSample &s : plan.samples) {
      records.push_back(SampleReference64Record{s.offset, s.size, s.duration, s.count,
                                                SInt16(s.sync ? 0 : mediaSampleNotSync)});
      offsets = offsets || s.displayOffset != 0;
    }
  } catch (const std::bad_alloc &) {
    DisposeHandle(desc);
    return memFullErr;
  }
  err = AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), SInt32(records.size()),
                                   records.data(), nullptr);
  DisposeHandle(desc);
  if (err != noErr) return err;
  if (offsets) {
    try {
      auto &runs = media->compositionOffsets;
      for (const PlannedSample &s : plan.samples) {
        if (!runs.empty() && runs.back().second == s.displayOffset && runs.back().first < 0xFFFFFFFFu - s.count)
          runs.back().first += s.count;
        else
          runs.emplace_back(s.count, s.displayOffset);
        if (s.displayOffset < 0) media->compositionOffsetsVersion = 1;
      }
      media->hasCompositionOffsets = true;
    } catch (const std::bad_alloc &) {
      return memFullErr;
    }
  }
  // Each track is placed where the file's time stamps put it: a later start begins with an empty edit, an
  // earlier one is cut to the anchor.
  const SInt64 duration = GetMediaDisplayEndTime(media) - plan.displayStart;
  SInt64 trackStart = MovieStart(plan, GetMovieTimeScale(movie)) - anchor;
  SInt64 mediaStart = plan.displayStart;
  if (trackStart < 0) {
    mediaStart += av_rescale_q(-trackStart, AVRational{1, GetMovieTimeScale(movie)}, AVRational{1, plan.timeScale});
    trackStart = 0;
  }
  if (duration <= 0 || mediaStart >= plan.displayStart + duration) {
    DisposeMovieTrack(track);  // nothing of it is shown
    return noErr;
  }
  if (trackStart > INT32_MAX) return kPL_MovieSampleTableErr;
  return InsertMediaIntoTrack(track, TimeValue(trackStart), TimeValue(mediaStart),
                              TimeValue(plan.displayStart + duration - mediaStart), fixed1);
}

OSStatus BuildMovie(const std::string &path, const std::vector<PlannedTrack> &plans, TimeScale movieScale,
                    Movie *out) {
  if (plans.empty() || movieScale <= 0) return noMovieFound;
  Movie movie = NewMovie(0);
  if (movie == nullptr) return memFullErr;
  movie->importedFrom = path;
  SetMovieTimeScale(movie, movieScale);
  // An alias of the file, as every file reference of a movie: callers resolve it to read samples directly.
  std::vector<UInt8> alias;
  OSStatus err = PL_NewAliasBytes(path, &alias);
  Handle dataRef = err == noErr ? NewHandle(Size(alias.size())) : nullptr;
  const OSType dataRefType = rAliasType;
  if (err == noErr && dataRef == nullptr) err = memFullErr;
  if (err == noErr) std::memcpy(*dataRef, alias.data(), alias.size());
  // The video (the first track planned) begins at movie time 0.
  const SInt64 anchor = MovieStart(plans.front(), movieScale);
  for (size_t i = 0; err == noErr && i < plans.size(); ++i)
    err = AddPlannedTrack(movie, dataRef, dataRefType, plans[i], anchor);
  if (dataRef != nullptr) DisposeHandle(dataRef);
  if (err == noErr && GetMovieTrackCount(movie) == 0) err = noMovieFound;
  if (err != noErr) {
    DisposeMovie(movie);
    return err;
  }
  *out = movie;
  return noErr;
}

// ---- DV ----

OSType DVCodecType(int frameSize, const AVCodecParameters *par, AVRational rate) {
  const bool pal = IsPALRate(rate);
  if (par->height >= 1080) return pal ? 'dvh5' : 'dvh6';
  if (par->height >= 720) return pal ? 'dvhq' : 'dvhp';
  switch (frameSize) {
    case 120000: return 'dvc ';
    case 144000: return par->format == AV_PIX_FMT_YUV420P ? 'dvcp' : 'dvpp';
    case 240000: return 'dv5n';
    case 288000: return 'dv5p';
    default: return 0;
  }
}

// The DV frames' description: fields bottom first for standard definition, 1080 lines top first, 720 lines
// progressive; the pixel aspect when libavcodec states one.
OSStatus DVDescription(OSType cType, const AVStream *stream, std::vector<UInt8> *description) {
  const AVCodecParameters *par = stream->codecpar;
  *description = ImageDescriptionBytes(cType, par->width, par->height);
  OSStatus err = par->height >= 1080  ? AddFieldInfo(description, kQTFieldsInterlaced, kQTFieldDetailSpatialFirstLineEarly)
                 : par->height >= 720 ? AddFieldInfo(description, kQTFieldsProgressiveScan, kQTFieldDetailUnknown)
                                      : AddFieldInfo(description, kQTFieldsInterlaced, kQTFieldDetailSpatialFirstLineLate);
  if (err == noErr) err = AddPixelAspect(description, par->sample_aspect_ratio);
  return err;
}

// The time scale and frame duration of a stream whose time base is one frame.
bool FrameTiming(AVRational timeBase, TimeScale *scale, TimeValue *duration) {
  if (timeBase.num <= 0 || timeBase.den <= 0) return false;
  *scale = timeBase.den;
  *duration = timeBase.num;
  return true;
}

// A 'vdva' track over the DV frames of `video`: the sound inside them.
bool PlanDVSound(const PlannedTrack &video, const AVStream *audio, PlannedTrack *sound) {
  if (audio == nullptr) return false;
  const AVCodecParameters *par = audio->codecpar;
  sound->description = SoundDescriptionBytes('vdva', par->ch_layout.nb_channels, 16, par->sample_rate, 0);
  if (sound->description.empty()) return false;
  sound->mediaType = SoundMediaType;
  sound->timeScale = video.timeScale;
  sound->samples = video.samples;
  sound->startTs = video.startTs;
  sound->startTb = video.startTb;
  return true;
}

OSStatus PlanDV(AVFormatContext *format, UInt64 fileSize, std::vector<PlannedTrack> *plans, TimeScale *movieScale) {
  if (avformat_find_stream_info(format, nullptr) < 0) return noMovieFound;
  const int v = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (v < 0) return noMovieFound;
  const int a = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  const AVStream *vs = format->streams[v];
  // The packets read while probing come again from the start: the first frame shows where the frames begin
  // and how large all of them are.
  Packet packet{av_packet_alloc()};
  if (packet == nullptr) return memFullErr;
  int r = 0;
  while ((r = av_read_frame(format, packet.get())) >= 0 && packet->stream_index != v) av_packet_unref(packet.get());
  if (r < 0 || packet->size <= 0 || packet->pos < 0) return noMovieFound;
  const UInt64 first = UInt64(packet->pos), frameSize = UInt64(packet->size);
  const UInt64 frames = first < fileSize ? (fileSize - first) / frameSize : 0;
  if (frames == 0) return noMovieFound;
  if (frames > INT32_MAX) return kPL_MovieSampleTableErr;
  PlannedTrack video;
  video.mediaType = VideoMediaType;
  TimeValue duration = 0;
  if (!FrameTiming(vs->time_base, &video.timeScale, &duration)) return kPL_MovieSampleTableErr;
  const OSType cType = DVCodecType(int(frameSize), vs->codecpar, av_inv_q(vs->time_base));
  if (cType == 0) return noMovieFound;
  OSStatus err = DVDescription(cType, vs, &video.description);
  if (err != noErr) return err;
  video.width = Long2Fix(vs->codecpar->width);
  video.height = Long2Fix(vs->codecpar->height);
  try {
    video.samples.reserve(size_t(frames));
    for (UInt64 k = 0; k < frames; ++k)
      video.samples.push_back(PlannedSample{SInt64(first + k * frameSize), UInt32(frameSize), 1, duration, 0, true});
    plans->push_back(video);
    PlannedTrack sound;
    if (PlanDVSound(video, a >= 0 ? format->streams[a] : nullptr, &sound)) plans->push_back(std::move(sound));
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  *movieScale = video.timeScale;
  return noErr;
}

// ---- AVI ----

// What an AVI stream becomes: its sample description and, for PCM, the bytes of one sample frame.
struct AVIStreamKind {
  OSType mediaType = 0;
  std::vector<UInt8> description;
  UInt32 frameBytes = 0;  // PCM sound
  bool dv = false;
};

OSStatus KindOfAVIStream(const AVStream *st, UInt32 firstSampleSize, AVIStreamKind *kind) {
  const AVCodecParameters *par = st->codecpar;
  if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
    OSType format = 0;
    switch (par->codec_id) {
      case AV_CODEC_ID_PCM_S16LE: format = 'sowt'; break;
      case AV_CODEC_ID_PCM_S16BE: format = 'twos'; break;
      case AV_CODEC_ID_PCM_U8: format = 'raw '; break;
      default: return noErr;
    }
    const int bits = format == 'raw ' ? 8 : 16;
    kind->description = SoundDescriptionBytes(format, par->ch_layout.nb_channels, bits, par->sample_rate, 0);
    if (kind->description.empty()) return noErr;
    kind->mediaType = SoundMediaType;
    kind->frameBytes = UInt32(par->ch_layout.nb_channels * bits / 8);
    return noErr;
  }
  if (par->codec_type != AVMEDIA_TYPE_VIDEO || par->width <= 0 || par->height <= 0 || par->width > 0x7FFF ||
      par->height > 0x7FFF)
    return noErr;
  OSType cType = 0;
  if (par->codec_id == AV_CODEC_ID_DVVIDEO) {
    cType = DVCodecType(int(firstSampleSize), par, st->avg_frame_rate);
    kind->dv = true;
  } else if (par->codec_id == AV_CODEC_ID_MJPEG) {
    cType = 'jpeg';
  } else if (par->codec_id == AV_CODEC_ID_RAWVIDEO) {
    cType = par->format == AV_PIX_FMT_UYVY422 ? '2vuy' : par->format == AV_PIX_FMT_YUYV422 ? 'yuvs' : 0;
  } else {
    const AVCodecTag *tables[] = {avformat_get_mov_video_tags(), nullptr};
    cType = __builtin_bswap32(av_codec_get_tag(tables, par->codec_id));
  }
  if (cType == 0) return noErr;
  OSStatus err = noErr;
  if (kind->dv) {
    err = DVDescription(cType, st, &kind->description);
  } else {
    kind->description = ImageDescriptionBytes(cType, par->width, par->height);
    if (st->sample_aspect_ratio.num > 0) err = AddPixelAspect(&kind->description, st->sample_aspect_ratio);
    // The codec's configuration travels with the description, as QuickTime files keep it.
    if (err == noErr && par->extradata_size > 0 && !kind->dv && cType != 'jpeg')
      err = AddExtension(&kind->description, 'glbl', par->extradata, size_t(par->extradata_size));
  }
  if (err == noErr) kind->mediaType = VideoMediaType;
  return err;
}

// One chunk of a stream: its data and time stamp.
struct Chunk {
  SInt64 offset;
  UInt32 size;
  SInt64 ts;
  bool key;
};

// The chunks of a stream from the file's index, when the index is there and its ends check out against the
// chunk headers ('##xx' and the size, just before the data).
bool ChunksFromIndex(int fd, AVStream *st, std::vector<Chunk> *chunks) {
  const int n = avformat_index_get_entries_count(st);
  if (n <= 0) return false;
  auto headerMatches = [fd](const AVIndexEntry *e) {
    UInt8 h[8];
    if (e->pos < 0 || PL_ReadFully(fd, UInt64(e->pos), h, sizeof h) != noErr) return false;
    const UInt32 size = UInt32(h[4]) | UInt32(h[5]) << 8 | UInt32(h[6]) << 16 | UInt32(h[7]) << 24;
    return size == UInt32(e->size) && h[0] >= '0' && h[0] <= '9' && h[1] >= '0' && h[1] <= '9';
  };
  if (!headerMatches(avformat_index_get_entry(st, 0)) || !headerMatches(avformat_index_get_entry(st, n - 1)))
    return false;
  chunks->reserve(size_t(n));
  for (int i = 0; i < n; ++i) {
    const AVIndexEntry *e = avformat_index_get_entry(st, i);
    chunks->push_back(Chunk{e->pos + 8, UInt32(e->size), e->timestamp, (e->flags & AVINDEX_KEYFRAME) != 0});
  }
  return true;
}

// The chunks of the wanted streams read packet by packet, each checked against the file's bytes. A stream
// whose packets are not the file's bytes (sound that the reader takes out of DV frames) is no longer wanted.
OSStatus ChunksFromPackets(AVFormatContext *format, int fd, std::vector<bool> *wanted,
                           std::vector<std::vector<Chunk>> *chunks) {
  Packet packet{av_packet_alloc()};
  if (packet == nullptr) return memFullErr;
  if (av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) < 0) return kPL_MovieSampleTableErr;
  std::vector<UInt8> bytes;
  for (;;) {
    const int r = av_read_frame(format, packet.get());
    if (r == AVERROR_EOF) return noErr;
    if (r < 0) return kPL_MovieSampleTableErr;
    const size_t s = size_t(packet->stream_index);
    if (s < wanted->size() && (*wanted)[s]) {
      bytes.resize(size_t(packet->size));
      if (packet->pos < 0 || PL_ReadFully(fd, UInt64(packet->pos), bytes.data(), bytes.size()) != noErr ||
          (packet->size > 0 && std::memcmp(bytes.data(), packet->data, bytes.size()) != 0)) {
        (*wanted)[s] = false;
        (*chunks)[s].clear();
      } else {
        const SInt64 ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        (*chunks)[s].push_back(Chunk{packet->pos, UInt32(packet->size), ts, (packet->flags & AV_PKT_FLAG_KEY) != 0});
      }
    }
    av_packet_unref(packet.get());
  }
}

SInt64 StreamStart(const AVStream *st) { return st->start_time != AV_NOPTS_VALUE ? st->start_time : 0; }

// Video chunks as samples: durations from the time stamps, empty chunks (a frame shown longer) added to the
// sample before them.
bool PlanVideoChunks(const AVStream *st, const std::vector<Chunk> &chunks, PlannedTrack *plan) {
  TimeValue unit = 0;
  if (!FrameTiming(st->time_base, &plan->timeScale, &unit)) return false;
  SInt64 leading = 0;
  for (size_t i = 0; i < chunks.size(); ++i) {
    SInt64 step = i + 1 < chunks.size() ? chunks[i + 1].ts - chunks[i].ts : 1;
    if (step <= 0 || step > INT32_MAX / unit) step = 1;
    const TimeValue duration = TimeValue(step * unit);
    if (chunks[i].size == 0) {
      if (plan->samples.empty())
        leading += step;
      else
        plan->samples.back().duration += duration;
      continue;
    }
    plan->samples.push_back(PlannedSample{chunks[i].offset, chunks[i].size, 1, duration, 0, chunks[i].key});
  }
  plan->startTs = StreamStart(st) + leading;
  plan->startTb = st->time_base;
  return !plan->samples.empty();
}

// PCM chunks as runs of sample frames at the sound's rate.
bool PlanSoundChunks(const AVStream *st, UInt32 frameBytes, const std::vector<Chunk> &chunks, PlannedTrack *plan) {
  plan->timeScale = st->codecpar->sample_rate;
  for (const Chunk &c : chunks) {
    const UInt32 count = c.size / frameBytes;
    if (count > 0) plan->samples.push_back(PlannedSample{c.offset, count * frameBytes, count, 1, 0, true});
  }
  plan->startTs = StreamStart(st);
  plan->startTb = st->time_base;
  return !plan->samples.empty();
}

OSStatus PlanAVI(AVFormatContext *format, int fd, std::vector<PlannedTrack> *plans, TimeScale *movieScale) {
  if (avformat_find_stream_info(format, nullptr) < 0) return noMovieFound;
  const size_t n = format->nb_streams;
  std::vector<AVIStreamKind> kinds(n);
  std::vector<std::vector<Chunk>> chunks(n);
  std::vector<bool> wanted(n, false);
  bool indexed = true;
  int video = -1;
  for (size_t i = 0; i < n; ++i) {
    AVStream *st = format->streams[i];
    const bool isVideo = st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    if (isVideo && video >= 0) continue;  // the first picture stream only
    const bool fromIndex = ChunksFromIndex(fd, st, &chunks[i]);
    const AVIndexEntry *first = fromIndex ? avformat_index_get_entry(st, 0) : nullptr;
    OSStatus err = KindOfAVIStream(st, first != nullptr ? UInt32(first->size) : 0, &kinds[i]);
    if (err != noErr) return err;
    if (kinds[i].mediaType == 0) continue;
    wanted[i] = true;
    indexed = indexed && fromIndex;
    if (isVideo) video = int(i);
  }
  if (!indexed) {
    for (auto &c : chunks) c.clear();
    OSStatus err = ChunksFromPackets(format, fd, &wanted, &chunks);
    if (err != noErr) return err;
    if (video >= 0 && !wanted[size_t(video)]) return kPL_MovieSampleTableErr;
    // DV in a file without an index: its type follows from the frame size.
    if (video >= 0 && kinds[size_t(video)].dv && !chunks[size_t(video)].empty()) {
      AVIStreamKind dv;
      if ((err = KindOfAVIStream(format->streams[video], chunks[size_t(video)].front().size, &dv)) != noErr) return err;
      kinds[size_t(video)] = std::move(dv);
    }
  }
  // The picture track first: the movie's time begins with it.
  std::vector<size_t> order;
  if (video >= 0 && kinds[size_t(video)].mediaType == VideoMediaType) order.push_back(size_t(video));
  for (size_t i = 0; i < n; ++i)
    if (wanted[i] && kinds[i].mediaType == SoundMediaType) order.push_back(i);
  try {
    bool sound = false;
    for (size_t i : order) {
      const AVStream *st = format->streams[i];
      PlannedTrack plan;
      plan.mediaType = kinds[i].mediaType;
      plan.description = std::move(kinds[i].description);
      const bool ok = plan.mediaType == VideoMediaType ? PlanVideoChunks(st, chunks[i], &plan)
                                                      : PlanSoundChunks(st, kinds[i].frameBytes, chunks[i], &plan);
      if (!ok) continue;
      if (plan.mediaType == VideoMediaType) {
        plan.width = Long2Fix(st->codecpar->width);
        plan.height = Long2Fix(st->codecpar->height);
      }
      sound = sound || plan.mediaType == SoundMediaType;
      plans->push_back(std::move(plan));
    }
    // DV whose sound the file keeps only inside the frames (one interleaved DV stream).
    if (!sound && !plans->empty() && plans->front().mediaType == VideoMediaType && kinds[size_t(video)].dv) {
      PlannedTrack dvSound;
      const int a = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
      if (PlanDVSound(plans->front(), a >= 0 ? format->streams[a] : nullptr, &dvSound))
        plans->push_back(std::move(dvSound));
    }
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  if (plans->empty()) return noMovieFound;
  *movieScale = plans->front().timeScale;
  return noErr;
}

// ---- MPEG program and elementary streams ----

constexpr int kMpegClock = 90000;

// What the headers in front of a picture say (scanned up to its first slice).
struct PictureHeaders {
  bool picture = false;
  int temporalReference = 0;
  bool gop = false;            // a group of pictures begins: temporal references count from it
  bool mpeg2 = false;          // a sequence extension was seen
  int aspectCode = 0;          // of a sequence header, 0 when none
};

PictureHeaders ScanPictureHeaders(const UInt8 *p, size_t size) {
  PictureHeaders h;
  for (size_t i = 0; i + 6 <= size; ++i) {
    if (p[i] != 0 || p[i + 1] != 0 || p[i + 2] != 1) continue;
    const UInt8 code = p[i + 3];
    if (code == 0xB3 && i + 8 <= size) {
      h.aspectCode = p[i + 7] >> 4;
    } else if (code == 0xB5) {
      h.mpeg2 = h.mpeg2 || (p[i + 4] >> 4) == 1;
    } else if (code == 0xB8) {
      h.gop = true;
    } else if (code == 0x00) {
      h.picture = true;
      h.temporalReference = (p[i + 4] << 2) | (p[i + 5] >> 6);
    } else if (code >= 0x01 && code <= 0xAF) {
      break;  // the first slice: the headers are behind
    }
    i += 3;
  }
  return h;
}

struct ParsedFrame {
  UInt64 offset;  // in the stream
  UInt32 size;
  SInt64 pts;
  int pictureType;
  int duration;   // sound: sample frames
  PictureHeaders headers;
  AVFieldOrder fieldOrder;
};

// One elementary stream split into frames by libavcodec's parser; for a program stream, the pieces of the
// file that its packets' payloads occupy.
struct ElementaryStream {
  int id = 0;
  AVCodecID codec = AV_CODEC_ID_NONE;
  AVCodecParserContext *parser = nullptr;
  AVCodecContext *context = nullptr;
  std::shared_ptr<PL_StreamPieces> pieces;
  UInt64 fed = 0;  // stream bytes handed to the parser
  UInt64 out = 0;  // stream bytes that came back as frames
  std::vector<ParsedFrame> frames;

  ElementaryStream() = default;
  ElementaryStream(const ElementaryStream &) = delete;
  ElementaryStream &operator=(const ElementaryStream &) = delete;
  ~ElementaryStream() {
    if (parser != nullptr) av_parser_close(parser);
    avcodec_free_context(&context);
  }
};

bool IsVideoCodec(AVCodecID c) { return c == AV_CODEC_ID_MPEG1VIDEO || c == AV_CODEC_ID_MPEG2VIDEO; }

OSType SoundFormatOf(AVCodecID c) {
  switch (c) {
    case AV_CODEC_ID_MP1: return '.mp1';
    case AV_CODEC_ID_MP2: return '.mp2';
    case AV_CODEC_ID_MP3: return '.mp3';
    case AV_CODEC_ID_AC3: return 'ac-3';
    default: return 0;
  }
}

OSStatus OpenParser(ElementaryStream *es, int id, AVCodecID codec) {
  es->id = id;
  es->codec = codec;
  es->parser = av_parser_init(codec);
  es->context = avcodec_alloc_context3(nullptr);
  if (es->parser == nullptr || es->context == nullptr) return memFullErr;
  es->context->codec_id = codec;
  es->context->codec_type = IsVideoCodec(codec) ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
  return noErr;
}

void TakeFrame(ElementaryStream *es, const UInt8 *data, int size) {
  ParsedFrame f{};
  f.offset = es->out;
  f.size = UInt32(size);
  f.pts = es->parser->pts;
  f.pictureType = es->parser->pict_type;
  f.duration = es->parser->duration;
  f.fieldOrder = es->parser->field_order;
  if (IsVideoCodec(es->codec)) f.headers = ScanPictureHeaders(data, size_t(size));
  es->frames.push_back(f);
  es->out += UInt64(size);
}

// Hands bytes of the stream to the parser (null data: the end), taking the frames that come back.
void Feed(ElementaryStream *es, const UInt8 *data, int size, SInt64 pts, SInt64 dts) {
  es->fed += UInt64(size);
  const bool flush = data == nullptr;
  do {
    UInt8 *frame = nullptr;
    int frameSize = 0;
    const int used = av_parser_parse2(es->parser, es->context, &frame, &frameSize, data, size, pts, dts, 0);
    if (used < 0) return;
    if (!flush) {
      data += used;
      size -= used;
      pts = dts = AV_NOPTS_VALUE;
    }
    if (frameSize > 0) TakeFrame(es, frame, frameSize);
    else if (flush || used == 0) return;
  } while (flush || size > 0);
}

// The elementary stream is the file: it is fed in blocks.
OSStatus ParseElementaryFile(int fd, UInt64 fileSize, ElementaryStream *es) {
  std::vector<UInt8> block(size_t(1) << 20);
  for (UInt64 at = 0; at < fileSize;) {
    const size_t n = size_t(std::min<UInt64>(block.size(), fileSize - at));
    OSStatus err = PL_ReadFully(fd, at, block.data(), n);
    if (err != noErr) return err;
    Feed(es, block.data(), int(n), AV_NOPTS_VALUE, AV_NOPTS_VALUE);
    at += n;
  }
  Feed(es, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE);
  return noErr;
}

// The packets of a program stream, read without libavformat's parsers: each payload lies at the end of its
// packet (the packet length follows the start code), which the file's bytes must confirm.
OSStatus ParseProgramStream(const std::string &path, const AVInputFormat *input, int fd,
                            std::vector<std::unique_ptr<ElementaryStream>> *streams) {
  AVFormatContext *raw = avformat_alloc_context();
  if (raw == nullptr) return memFullErr;
  raw->flags |= AVFMT_FLAG_NOPARSE | AVFMT_FLAG_NOFILLIN;
  if (avformat_open_input(&raw, path.c_str(), input, nullptr) < 0) return noMovieFound;
  FormatContext format{raw};
  Packet packet{av_packet_alloc()};
  if (packet == nullptr) return memFullErr;
  std::vector<UInt8> bytes;
  for (;;) {
    const int r = av_read_frame(format.get(), packet.get());
    if (r == AVERROR_EOF) break;
    if (r < 0) return kPL_MovieSampleTableErr;
    AVStream *st = format->streams[packet->stream_index];
    const AVCodecID codec = st->codecpar->codec_id;
    if (!IsVideoCodec(codec) && SoundFormatOf(codec) == 0) {
      av_packet_unref(packet.get());
      continue;
    }
    auto es = std::find_if(streams->begin(), streams->end(), [st](const auto &e) { return e->id == st->id; });
    if (es == streams->end()) {
      streams->push_back(std::make_unique<ElementaryStream>());
      es = streams->end() - 1;
      if (OSStatus err = OpenParser(es->get(), st->id, codec); err != noErr) return err;
      (*es)->pieces = std::make_shared<PL_StreamPieces>();
    }
    UInt8 head[6];
    if (packet->pos < 0 || PL_ReadFully(fd, UInt64(packet->pos), head, sizeof head) != noErr)
      return kPL_MovieSampleTableErr;
    const UInt64 end = UInt64(packet->pos) + 6 + PL_GetBE16(head + 4);
    if (UInt64(packet->size) > end - UInt64(packet->pos) - 6) return kPL_MovieSampleTableErr;
    const UInt64 start = end - UInt64(packet->size);
    bytes.resize(size_t(packet->size));
    if (PL_ReadFully(fd, start, bytes.data(), bytes.size()) != noErr ||
        std::memcmp(bytes.data(), packet->data, bytes.size()) != 0)
      return kPL_MovieSampleTableErr;
    if (packet->size > 0) {
      PL_StreamPieces &pieces = *(*es)->pieces;
      if (!pieces.pieces.empty() && pieces.pieces.back().fileOffset + pieces.pieces.back().size == start &&
          pieces.pieces.back().size <= UINT32_MAX - UInt32(packet->size))
        pieces.pieces.back().size += UInt32(packet->size);
      else
        pieces.pieces.push_back(PL_StreamPiece{pieces.size, start, UInt32(packet->size)});
      pieces.size += UInt64(packet->size);
      Feed(es->get(), packet->data, packet->size, packet->pts, packet->dts);
    }
    av_packet_unref(packet.get());
  }
  for (auto &es : *streams) Feed(es.get(), nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE);
  return noErr;
}

// The pixel aspect of an MPEG-2 sequence from its display aspect code.
AVRational Mpeg2PixelAspect(int aspectCode, int width, int height) {
  static const AVRational kDisplay[] = {{0, 1}, {1, 1}, {4, 3}, {16, 9}, {221, 100}};
  if (aspectCode < 1 || aspectCode > 4 || width <= 0 || height <= 0) return AVRational{0, 1};
  if (aspectCode == 1) return AVRational{1, 1};
  return av_mul_q(kDisplay[aspectCode], AVRational{height, width});
}

// Pictures evenly spaced at the frame rate in decode order, shown in the order of their temporal references
// (counted from each group of pictures); the decoder's delay is skipped by the track's edit.
bool PlanMpegVideo(const ElementaryStream &es, PlannedTrack *plan) {
  const std::vector<ParsedFrame> &frames = es.frames;
  const AVRational rate = es.context->framerate;
  if (frames.empty() || rate.num <= 0 || rate.den <= 0 || es.context->width <= 0 || es.context->height <= 0 ||
      es.context->width > 0x7FFF || es.context->height > 0x7FFF)
    return false;
  const double frameDuration = double(kMpegClock) * rate.den / rate.num;
  const size_t n = frames.size();
  // Display ranks: temporal reference within its group of pictures, groups in decode order.
  std::vector<SInt64> key(n);
  SInt64 groupStart = 0;
  for (size_t k = 0; k < n; ++k) {
    if (frames[k].headers.gop) groupStart = SInt64(k);
    key[k] = groupStart + frames[k].headers.temporalReference;
  }
  std::vector<size_t> byDisplay(n);
  std::iota(byDisplay.begin(), byDisplay.end(), size_t(0));
  std::stable_sort(byDisplay.begin(), byDisplay.end(), [&key](size_t a, size_t b) { return key[a] < key[b]; });
  std::vector<SInt64> rank(n);
  for (size_t r = 0; r < n; ++r) rank[byDisplay[r]] = SInt64(r);
  SInt64 delay = 0;
  for (size_t k = 0; k < n; ++k) delay = std::max(delay, SInt64(k) - rank[k]);
  auto at = [frameDuration](SInt64 frame) { return SInt64(std::llround(double(frame) * frameDuration)); };
  if (at(SInt64(n) + delay) > INT32_MAX) return false;
  bool mpeg2 = false;
  int aspectCode = 0;
  SInt64 start = AV_NOPTS_VALUE;
  for (size_t k = 0; k < n; ++k) {
    const ParsedFrame &f = frames[k];
    mpeg2 = mpeg2 || f.headers.mpeg2;
    if (aspectCode == 0) aspectCode = f.headers.aspectCode;
    if (start == AV_NOPTS_VALUE && f.pts != AV_NOPTS_VALUE) start = f.pts - at(rank[k]);
    const TimeValue duration = TimeValue(at(SInt64(k) + 1) - at(SInt64(k)));
    const SInt32 offset = SInt32(at(rank[k] + delay) - at(SInt64(k)));
    plan->samples.push_back(
        PlannedSample{SInt64(f.offset), f.size, 1, duration, offset, f.pictureType == AV_PICTURE_TYPE_I});
  }
  plan->mediaType = VideoMediaType;
  plan->timeScale = kMpegClock;
  plan->displayStart = at(delay);
  plan->startTs = start != AV_NOPTS_VALUE ? start : 0;
  plan->startTb = AVRational{1, kMpegClock};
  const int width = es.context->width, height = es.context->height;
  plan->width = Long2Fix(width);
  plan->height = Long2Fix(height);
  plan->description = ImageDescriptionBytes(mpeg2 ? 'm2v ' : 'm1v ', width, height);
  OSStatus err = noErr;
  switch (mpeg2 ? frames.front().fieldOrder : AV_FIELD_PROGRESSIVE) {
    case AV_FIELD_PROGRESSIVE: err = AddFieldInfo(&plan->description, kQTFieldsProgressiveScan, kQTFieldDetailUnknown); break;
    case AV_FIELD_TT:
    case AV_FIELD_TB: err = AddFieldInfo(&plan->description, kQTFieldsInterlaced, kQTFieldDetailSpatialFirstLineEarly); break;
    case AV_FIELD_BB:
    case AV_FIELD_BT: err = AddFieldInfo(&plan->description, kQTFieldsInterlaced, kQTFieldDetailSpatialFirstLineLate); break;
    default: break;
  }
  if (err == noErr && mpeg2) err = AddPixelAspect(&plan->description, Mpeg2PixelAspect(aspectCode, width, height));
  return err == noErr;
}

// Sound frames one sample each, at the sound's rate.
bool PlanMpegSound(const ElementaryStream &es, PlannedTrack *plan) {
  const int rate = es.context->sample_rate;
  if (es.frames.empty() || rate <= 0) return false;
  SInt64 elapsed = 0;
  SInt64 start = AV_NOPTS_VALUE;
  for (const ParsedFrame &f : es.frames) {
    if (f.duration <= 0) return false;
    if (start == AV_NOPTS_VALUE && f.pts != AV_NOPTS_VALUE)
      start = f.pts - av_rescale(elapsed, kMpegClock, rate);
    plan->samples.push_back(PlannedSample{SInt64(f.offset), f.size, 1, f.duration, 0, true});
    elapsed += f.duration;
  }
  if (elapsed > INT32_MAX) return false;
  plan->description = SoundDescriptionBytes(SoundFormatOf(es.codec), es.context->ch_layout.nb_channels, 16, rate,
                                            UInt32(es.frames.front().duration));
  if (plan->description.empty()) return false;
  plan->mediaType = SoundMediaType;
  plan->timeScale = rate;
  plan->startTs = start != AV_NOPTS_VALUE ? start : 0;
  plan->startTb = AVRational{1, kMpegClock};
  return true;
}

OSStatus PlanMpeg(const std::string &path, Road road, const AVInputFormat *input, int fd, UInt64 fileSize,
                  std::vector<PlannedTrack> *plans, TimeScale *movieScale) {
  std::vector<std::unique_ptr<ElementaryStream>> streams;
  OSStatus err = noErr;
  try {
    if (road == Road::kElementaryStream) {
      streams.push_back(std::make_unique<ElementaryStream>());
      if ((err = OpenParser(streams.front().get(), 0, AV_CODEC_ID_MPEG2VIDEO)) == noErr)
        err = ParseElementaryFile(fd, fileSize, streams.front().get());
    } else {
      err = ParseProgramStream(path, input, fd, &streams);
    }
    if (err != noErr) return err;
    // The first picture stream and every sound stream, each only when all its bytes came back as frames.
    std::stable_sort(streams.begin(), streams.end(), [](const auto &a, const auto &b) {
      return IsVideoCodec(a->codec) && !IsVideoCodec(b->codec);
    });
    bool haveVideo = false;
    for (const auto &es : streams) {
      const bool video = IsVideoCodec(es->codec);
      if ((video && haveVideo) || es->out != es->fed) {
        if (video && !haveVideo) return kPL_MovieSampleTableErr;
        continue;
      }
      PlannedTrack plan;
      plan.pieces = es->pieces;
      if (video ? PlanMpegVideo(*es, &plan) : PlanMpegSound(*es, &plan)) {
        haveVideo = haveVideo || video;
        plans->push_back(std::move(plan));
      }
    }
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  if (plans->empty()) return noMovieFound;
  *movieScale = kMpegClock;
  return noErr;
}

// The movie's time scale: the video's, made fine enough for the sound's rate where the movie's length allows
// (the sound's edit is kept in movie time, and a coarse scale would cut its end), so that the tracks' edits
// keep every sample.
TimeScale MovieScaleFor(const std::vector<PlannedTrack> &plans, TimeScale base) {
  if (plans.empty() || plans.front().mediaType != VideoMediaType) return base;
  SInt64 durationUnits = 0;
  for (const PlannedSample &s : plans.front().samples) durationUnits += SInt64(s.duration) * s.count;
  const double seconds = double(durationUnits) / plans.front().timeScale;
  SInt64 scale = base;
  for (const PlannedTrack &t : plans) {
    if (t.mediaType != SoundMediaType) continue;
    const SInt64 finer = std::lcm(scale, SInt64(t.timeScale));
    if (finer <= INT32_MAX && seconds * double(finer) < double(INT32_MAX) / 2) scale = finer;
  }
  return TimeScale(scale);
}

}  // namespace

Boolean PL_CanImportMovieFile(const std::string &path) {
  Road road;
  const AVInputFormat *format = nullptr;
  return ProbeFile(path, &road, &format);
}

OSStatus PL_ImportMovieFile(const std::string &path, Movie *movie) {
  if (movie == nullptr) return paramErr;
  *movie = nullptr;
  Road road;
  const AVInputFormat *input = nullptr;
  if (!ProbeFile(path, &road, &input)) return noMovieFound;
  // Damaged files come back as error numbers; libavformat's own complaints would only flood the output.
  if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_FATAL);
  FileCloser file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return PL_OSStatusFromErrno(errno);
  struct stat st;
  if (fstat(file.fd, &st) != 0) return PL_OSStatusFromErrno(errno);
  const UInt64 fileSize = UInt64(st.st_size);
  std::vector<PlannedTrack> plans;
  TimeScale movieScale = 0;
  OSStatus err = noErr;
  if (road == Road::kProgramStream || road == Road::kElementaryStream) {
    err = PlanMpeg(path, road, input, file.fd, fileSize, &plans, &movieScale);
  } else {
    AVFormatContext *raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), input, nullptr) < 0) return noMovieFound;
    FormatContext format{raw};
    err = road == Road::kDV ? PlanDV(format.get(), fileSize, &plans, &movieScale)
                            : PlanAVI(format.get(), file.fd, &plans, &movieScale);
  }
  if (err != noErr) return err;
  if (road != Road::kProgramStream && road != Road::kElementaryStream) movieScale = MovieScaleFor(plans, movieScale);
  return BuildMovie(path, plans, movieScale, movie);
}
