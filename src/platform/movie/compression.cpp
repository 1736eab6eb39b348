// Compression sequences: source pixels gathered into planar Y'CbCr of the codec's sampling, then either
// packed by our own code (uncompressed formats) or encoded by libavcodec (DV, JPEG).
#include "platform/movie/compression.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/chroma_thinning.h"
#include "platform/movie/components.h"
#include "platform/movie/image_descriptions.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

enum class Kind { k2vuy, kYuv2, kY420, kDV, kJpeg, kMjpa, kSmc };
enum class Sampling { k422, k420, k411 };

struct EncoderInfo {
  CodecType type;
  Kind kind;
  Sampling sampling;
  SInt32 fixedWidth, fixedHeight;  // 0: the source's size
  SInt32 fixedFrameSize;           // DV: bytes per frame
  int frameDuration, timeScale;    // DV: the standard's frame rate, which chooses the profile with the size
};

constexpr EncoderInfo kEncoders[] = {
    {'2vuy', Kind::k2vuy, Sampling::k422, 0, 0, 0, 0, 0},
    {'yuv2', Kind::kYuv2, Sampling::k422, 0, 0, 0, 0, 0},
    {'y420', Kind::kY420, Sampling::k420, 0, 0, 0, 0, 0},
    {'dvc ', Kind::kDV, Sampling::k411, 720, 480, 120000, 1001, 30000},
    {'dvcp', Kind::kDV, Sampling::k420, 720, 576, 144000, 1, 25},
    {'dvpp', Kind::kDV, Sampling::k411, 720, 576, 144000, 1, 25},
    {'dv5n', Kind::kDV, Sampling::k422, 720, 480, 240000, 1001, 30000},
    {'dv5p', Kind::kDV, Sampling::k422, 720, 576, 288000, 1, 25},
    // DVCPRO HD stores its frames narrower than they are shown (pixel aspect 3:2 or 4:3).
    {'dvh6', Kind::kDV, Sampling::k422, 1280, 1080, 480000, 1001, 30000},
    {'dvh5', Kind::kDV, Sampling::k422, 1440, 1080, 576000, 1, 25},
    {'dvhp', Kind::kDV, Sampling::k422, 960, 720, 240000, 1001, 60000},
    {'dvhq', Kind::kDV, Sampling::k422, 960, 720, 288000, 1, 50},
    {'jpeg', Kind::kJpeg, Sampling::k422, 0, 0, 0, 0, 0},
    {'mjpa', Kind::kMjpa, Sampling::k422, 0, 0, 0, 0, 0},
    {'smc ', Kind::kSmc, Sampling::k422, 0, 0, 0, 0, 0},
};

const EncoderInfo *FindEncoder(CodecType cType) {
  for (const EncoderInfo &e : kEncoders)
    if (e.type == cType) return &e;
  return nullptr;
}

// Size of the APP1 'mjpg' marker segment: marker (2), length (2), then 40 bytes of fields.
constexpr SInt32 kMjpaApp1Size = 44;

SInt64 JpegMaxSize(SInt64 width, SInt64 height) {
  // 4:2:2 samples are 2 bytes a pixel; entropy coding of noise at the finest quantiser stays well within
  // twice that, plus the headers (tables are fixed, under 1 KB).
  return width * height * 4 + 4096;
}

// 'smc ' codes 4 x 4 blocks; the dearest block is a run of one: its opcode and its 16 pixels. Then the
// 4-byte chunk header.
SInt64 SmcMaxSize(SInt64 width, SInt64 height) { return 4 + ((width + 3) / 4) * ((height + 3) / 4) * 17; }

// 'smc ' pictures are 8-bit grey (depth 40): index i shows grey 255 - i, the ramp a QuickTime grey
// description stands for.
constexpr SInt16 kSmcGreyDepth = 40;

SInt64 MaxSizeFor(const EncoderInfo &e, SInt64 width, SInt64 height) {
  switch (e.kind) {
    case Kind::k2vuy:
    case Kind::kYuv2: return (width + 1) / 2 * 4 * height;
    case Kind::kY420: return ((width + 31) & ~SInt64(31)) * ((height + 3) & ~SInt64(3)) * 3 / 2 + 32;
    case Kind::kDV: return e.fixedFrameSize;
    case Kind::kJpeg: return JpegMaxSize(width, height);
    case Kind::kMjpa: return 2 * (JpegMaxSize(width, (height + 1) / 2) + kMjpaApp1Size);
    case Kind::kSmc: return SmcMaxSize(width, height);
  }
  return 0;
}

// ---- Source pixels ----

// Video-range Rec. 601 from 8-bit R, G, B.
inline UInt8 LumaOf(int r, int g, int b) { return UInt8(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16); }
inline UInt8 CbOf(int r, int g, int b) { return UInt8(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128); }
inline UInt8 CrOf(int r, int g, int b) { return UInt8(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128); }

// One row of ARGB pixels as '2vuy' (chroma of each pair from the mean of its two pixels).
void ArgbRowTo2vuy(const UInt8 *in, SInt32 width, UInt8 *out) {
  for (SInt32 x = 0; x < width; x += 2) {
    const UInt8 *p0 = in + 4 * x;
    const UInt8 *p1 = x + 1 < width ? p0 + 4 : p0;
    int r = (p0[1] + p1[1] + 1) / 2, g = (p0[2] + p1[2] + 1) / 2, b = (p0[3] + p1[3] + 1) / 2;
    UInt8 *o = out + 2 * x;
    o[0] = CbOf(r, g, b);
    o[1] = LumaOf(p0[1], p0[2], p0[3]);
    o[2] = CrOf(r, g, b);
    o[3] = LumaOf(p1[1], p1[2], p1[3]);
  }
}

// Planar picture with its own rows.
struct Planes {
  SInt32 width = 0, height = 0;
  SInt32 chromaWidth = 0, chromaHeight = 0;
  std::vector<UInt8> y, cb, cr;

  void Resize(SInt32 w, SInt32 h, Sampling s) {
    width = w;
    height = h;
    chromaWidth = s == Sampling::k411 ? (w + 3) / 4 : (w + 1) / 2;
    chromaHeight = s == Sampling::k420 ? (h + 1) / 2 : h;
    y.assign(size_t(w) * size_t(h), 0);
    cb.assign(size_t(chromaWidth) * size_t(chromaHeight), 0);
    cr.assign(cb.size(), 0);
  }
};

// One 4:2:0 chroma row from the '2vuy' lines around its pair, by the filter matched to our decoders'
// interpolation (chroma_thinning.h), with the lines beyond the picture (or field) repeating its edge line.
// line(j) gives the '2vuy' line of the j-th line of the row's line sequence (the frame, or one field), clamped
// by the caller's count. The SSE kernel reads whole pixel pairs, so it takes only even widths, whose lines
// hold them.
template <typename LineOf>
void MatchedChromaRow(LineOf line, SInt32 lines, SInt32 pairIndex, SInt32 width, UInt8 *cb, UInt8 *cr) {
  auto at = [&](SInt32 j) { return line(std::clamp(j, SInt32(0), lines - 1)); };
  const bool sse = PL_ChromaThinningHasSSE3() && (width & 1) == 0;
  PL_ThinChroma420RowUni(sse, at(2 * pairIndex - 1), at(2 * pairIndex), at(2 * pairIndex + 1), at(2 * pairIndex + 2),
                         (width + 1) / 2, cb, cr);
}

// '2vuy' rows (any row bytes) into planes of the sampling; chroma thinned horizontally (4:1:1) or vertically
// (4:2:0) by the filters matched to our decoders' interpolation, 4:2:0 within each field when the picture is
// interlaced (chroma row 2q from lines 4q and 4q + 2, row 2q + 1 from lines 4q + 1 and 4q + 3).
void Unpack2vuy(const UInt8 *base, SInt32 rowBytes, Sampling s, bool interlaced, Planes *p) {
  const SInt32 w = p->width, h = p->height;
  for (SInt32 row = 0; row < h; ++row) {
    const UInt8 *in = base + size_t(row) * size_t(rowBytes);
    UInt8 *y = p->y.data() + size_t(row) * size_t(w);
    for (SInt32 x = 0; x < w; ++x) y[x] = in[2 * x + 1];
  }
  const SInt32 pairs = (w + 1) / 2;
  for (SInt32 crow = 0; crow < p->chromaHeight; ++crow) {
    UInt8 *cb = p->cb.data() + size_t(crow) * size_t(p->chromaWidth);
    UInt8 *cr = p->cr.data() + size_t(crow) * size_t(p->chromaWidth);
    if (s == Sampling::k420) {
      if (interlaced && h > 1) {
        const SInt32 parity = crow & 1;
        const SInt32 fieldLines = (h - parity + 1) / 2;
        auto fieldLine = [&](SInt32 j) { return base + size_t(2 * j + parity) * size_t(rowBytes); };
        MatchedChromaRow(fieldLine, fieldLines, crow >> 1, w, cb, cr);
      } else {
        auto frameLine = [&](SInt32 j) { return base + size_t(j) * size_t(rowBytes); };
        MatchedChromaRow(frameLine, h, crow, w, cb, cr);
      }
    } else if (s == Sampling::k411) {
      // The filter matched to the decoders' 4:1:1 interpolation (chroma_thinning.h).
      const UInt8 *a = base + size_t(crow) * size_t(rowBytes);
      PL_ThinChroma411RowUni(PL_ChromaThinningHasSSE3() && (w & 1) == 0, a, pairs, p->chromaWidth, cb, cr);
    } else {
      const UInt8 *a = base + size_t(crow) * size_t(rowBytes);
      for (SInt32 k = 0; k < pairs; ++k) {
        cb[k] = a[4 * k];
        cr[k] = a[4 * k + 2];
      }
    }
  }
}

// Video range to full range (JPEG's), in place.
void ExpandToFullRange(Planes *p) {
  static const auto tables = [] {
    std::array<std::array<UInt8, 256>, 2> t{};
    for (int v = 0; v < 256; ++v) {
      t[0][size_t(v)] = UInt8(std::clamp(std::lround((v - 16) * 255.0 / 219.0), 0L, 255L));
      t[1][size_t(v)] = UInt8(std::clamp(std::lround((v - 128) * 255.0 / 224.0 + 128.0), 0L, 255L));
    }
    return t;
  }();
  for (UInt8 &v : p->y) v = tables[0][v];
  for (UInt8 &v : p->cb) v = tables[1][v];
  for (UInt8 &v : p->cr) v = tables[1][v];
}

// ---- Sequences ----

struct AvEncoder {
  AVCodecContext *ctx = nullptr;
  AVFrame *frame = nullptr;
  AVPacket *packet = nullptr;
  int64_t nextPts = 0;  // encoders want rising time stamps even for intra-only frames
  ~AvEncoder() {
    avcodec_free_context(&ctx);
    av_frame_free(&frame);
    av_packet_free(&packet);
  }
};

struct Sequence {
  // Held while a frame is compressed or the quality changes: a sequence called from two threads at once
  // serialises instead of sharing its buffers and encoder.
  std::mutex lock;
  ImageSequence id = 0;
  const EncoderInfo *info = nullptr;
  OSType sourceFormat = 0;
  SInt32 srcWidth = 0, srcHeight = 0;  // the source rectangle's size
  Rect srcRect{};                      // where frames are read when the caller gives no rectangle
  SInt32 width = 0, height = 0;        // encoded size
  CodecQ quality = codecNormalQuality;
  bool secondFieldFirst = false;       // 'mjpa': the odd lines form the first field
  bool interlaced = false;             // 4:2:0 chroma rows are made within each field
  std::vector<UInt8> source2vuy;       // ARGB sources and scaled frames pass through '2vuy'
  std::vector<UInt8> scaled2vuy;
  SwsContext *scaler = nullptr;
  Planes planes, field;
  std::unique_ptr<AvEncoder> encoder;
  std::vector<UInt8> fieldBytes;
  std::vector<UInt8> indices;          // 'smc ': one grey index a pixel

  ~Sequence() { sws_freeContext(scaler); }
};

std::mutex gSequencesMutex;
std::map<ImageSequence, std::shared_ptr<Sequence>> gSequences;
std::atomic<ImageSequence> gNextSequenceID{kPL_FirstCompressionSequenceID};

std::shared_ptr<Sequence> FindSequence(ImageSequence id) {
  std::lock_guard<std::mutex> lock(gSequencesMutex);
  auto it = gSequences.find(id);
  return it != gSequences.end() ? it->second : nullptr;
}

// The JPEG quantiser scale of a spatial quality: 1 at the maximum, doubling every fifth of the range.
int QScaleOf(CodecQ quality) {
  double q = std::pow(2.0, (double(codecMaxQuality) - double(std::min<CodecQ>(quality, codecMaxQuality))) / 205.0);
  return std::clamp(int(std::lround(q)), 1, 31);
}

// dvco: the settings of the compressor instance a DV sequence was begun with (defaults otherwise).
OSErr OpenAvEncoder(const EncoderInfo &e, SInt32 width, SInt32 height, CodecQ quality, const PL_CompressorState &dvco,
                    std::unique_ptr<AvEncoder> *out) {
  bool dv = e.kind == Kind::kDV;
  const bool smc = e.kind == Kind::kSmc;
  const AVCodec *codec =
      avcodec_find_encoder(dv ? AV_CODEC_ID_DVVIDEO : smc ? AV_CODEC_ID_SMC : AV_CODEC_ID_MJPEG);
  if (codec == nullptr) return noCodecErr;
  auto enc = std::make_unique<AvEncoder>();
  enc->ctx = avcodec_alloc_context3(codec);
  enc->frame = av_frame_alloc();
  enc->packet = av_packet_alloc();
  if (enc->ctx == nullptr || enc->frame == nullptr || enc->packet == nullptr) return memFullErr;
  AVCodecContext *c = enc->ctx;
  c->width = width;
  c->height = height;
  c->flags |= AV_CODEC_FLAG_BITEXACT;
  c->thread_count = 1;
  if (dv) {
    c->pix_fmt = e.sampling == Sampling::k411 ? AV_PIX_FMT_YUV411P
                 : e.sampling == Sampling::k420 ? AV_PIX_FMT_YUV420P
                                                : AV_PIX_FMT_YUV422P;
    c->time_base = AVRational{e.frameDuration, e.timeScale};
    // Interlaced frames may take the field-wise DCT; the frame header carries the 16:9 flag.
    if (!dvco.progressive) c->flags |= AV_CODEC_FLAG_INTERLACED_DCT;
    // The DV segments of a frame are coded independently: spread over every core, the bytes stay the same.
    c->thread_count = 0;
    c->thread_type = FF_THREAD_SLICE;
    if (dvco.is16x9 && e.fixedWidth == 720) c->sample_aspect_ratio = e.fixedHeight == 480 ? AVRational{32, 27} : AVRational{64, 45};
  } else if (smc) {
    c->pix_fmt = AV_PIX_FMT_PAL8;
    c->time_base = AVRational{1, 25};
    // Every frame a key frame: a sample must decode without the one before (the references are all sync).
    c->gop_size = 1;
  } else {
    c->pix_fmt = AV_PIX_FMT_YUV422P;
    c->color_range = AVCOL_RANGE_JPEG;
    c->time_base = AVRational{1, 25};
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * QScaleOf(quality);
  }
  if (avcodec_open2(c, codec, nullptr) < 0) return codecOpenErr;
  AVFrame *f = enc->frame;
  f->format = c->pix_fmt;
  f->width = width;
  f->height = height;
  *out = std::move(enc);
  return noErr;
}

// Sends the filled frame and appends the packets it gives to *out. Intra-only encoders give the packet at
// once; the encoder stays usable for the next frame.
OSErr SendAndReceive(AvEncoder *enc, AVFrame *f, std::vector<UInt8> *out) {
  int r = avcodec_send_frame(enc->ctx, f);
  OSErr err = r < 0 ? (r == AVERROR(ENOMEM) ? OSErr(memFullErr) : OSErr(codecErr)) : OSErr(noErr);
  while (err == noErr) {
    r = avcodec_receive_packet(enc->ctx, enc->packet);
    if (r == AVERROR(EAGAIN)) break;
    if (r < 0) {
      err = codecErr;
      break;
    }
    out->insert(out->end(), enc->packet->data, enc->packet->data + enc->packet->size);
    av_packet_unref(enc->packet);
  }
  return err;
}

// Encodes the planes (already in the encoder's sampling and range) and appends the bytes to out.
OSErr Encode(AvEncoder *enc, const Planes &p, CodecQ quality, bool jpeg, std::vector<UInt8> *out) {
  AVFrame *f = enc->frame;
  f->data[0] = const_cast<UInt8 *>(p.y.data());
  f->data[1] = const_cast<UInt8 *>(p.cb.data());
  f->data[2] = const_cast<UInt8 *>(p.cr.data());
  f->linesize[0] = p.width;
  f->linesize[1] = p.chromaWidth;
  f->linesize[2] = p.chromaWidth;
  f->pts = enc->nextPts++;
  f->pict_type = AV_PICTURE_TYPE_I;
  if (jpeg) f->quality = FF_QP2LAMBDA * QScaleOf(quality);
  return SendAndReceive(enc, f, out);
}

// Encodes one 8-bit indexed picture (rows of `width` bytes) with the grey ramp as its palette.
OSErr EncodeGreyIndexed(AvEncoder *enc, const std::vector<UInt8> &indices, SInt32 width, std::vector<UInt8> *out) {
  static const auto kPalette = [] {
    std::array<UInt32, 256> palette{};
    PL_GetGreyRampPalette(kSmcGreyDepth, palette.data());
    return palette;
  }();
  AVFrame *f = enc->frame;
  f->data[0] = const_cast<UInt8 *>(indices.data());
  f->linesize[0] = width;
  f->data[1] = reinterpret_cast<uint8_t *>(const_cast<UInt32 *>(kPalette.data()));
  f->linesize[1] = 0;
  f->pts = enc->nextPts++;
  f->pict_type = AV_PICTURE_TYPE_I;
  return SendAndReceive(enc, f, out);
}

void PutBE32(UInt8 *p, UInt32 v) {
  p[0] = UInt8(v >> 24), p[1] = UInt8(v >> 16), p[2] = UInt8(v >> 8), p[3] = UInt8(v);
}

// Inserts the APP1 'mjpg' segment after the SOI of one field's JPEG; offsets count from the field's SOI.
OSErr AddMjpaMarker(const std::vector<UInt8> &jpeg, UInt32 nextFieldOffset, std::vector<UInt8> *out) {
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return codecErr;
  UInt32 fieldSize = UInt32(jpeg.size() + kMjpaApp1Size);
  UInt32 dqt = 0, dht = 0, sof = 0, sos = 0, data = 0;
  // Walk the marker segments up to the scan; every offset moves by the inserted segment.
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
    UInt8 marker = jpeg[pos + 1];
    size_t length = (size_t(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
    UInt32 at = UInt32(pos + kMjpaApp1Size);
    if (marker == 0xDB && dqt == 0) dqt = at;
    if (marker == 0xC4 && dht == 0) dht = at;
    if (marker == 0xC0 && sof == 0) sof = at;
    if (marker == 0xDA) {
      sos = at;
      data = UInt32(at + 2 + length);
      break;
    }
    pos += 2 + length;
  }
  if (sos == 0 || data > fieldSize) return codecErr;
  UInt8 app1[kMjpaApp1Size] = {0xFF, 0xE1, 0x00, 0x2A, 0, 0, 0, 0, 'm', 'j', 'p', 'g'};
  PutBE32(app1 + 12, fieldSize);        // field size
  PutBE32(app1 + 16, fieldSize);        // padded field size
  PutBE32(app1 + 20, nextFieldOffset);  // offset of the next field, 0 for the last
  PutBE32(app1 + 24, dqt);
  PutBE32(app1 + 28, dht);
  PutBE32(app1 + 32, sof);
  PutBE32(app1 + 36, sos);
  PutBE32(app1 + 40, data);
  out->insert(out->end(), jpeg.begin(), jpeg.begin() + 2);
  out->insert(out->end(), app1, app1 + kMjpaApp1Size);
  out->insert(out->end(), jpeg.begin() + 2, jpeg.end());
  return noErr;
}

// The lines of one field (0: even, 1: odd) of a 4:2:2 picture; a missing last line repeats the one above.
void TakeField(const Planes &frame, int parity, Planes *field) {
  SInt32 fieldHeight = (frame.height + 1) / 2;
  field->Resize(frame.width, fieldHeight, Sampling::k422);
  for (SInt32 row = 0; row < fieldHeight; ++row) {
    SInt32 from = std::min(2 * row + parity, frame.height - 1);
    std::memcpy(field->y.data() + size_t(row) * size_t(frame.width), frame.y.data() + size_t(from) * size_t(frame.width),
                size_t(frame.width));
    std::memcpy(field->cb.data() + size_t(row) * size_t(frame.chromaWidth),
                frame.cb.data() + size_t(from) * size_t(frame.chromaWidth), size_t(frame.chromaWidth));
    std::memcpy(field->cr.data() + size_t(row) * size_t(frame.chromaWidth),
                frame.cr.data() + size_t(from) * size_t(frame.chromaWidth), size_t(frame.chromaWidth));
  }
}

// ---- Arguments ----

bool ValidRect(const Rect &r) { return r.right > r.left && r.bottom > r.top; }

bool Inside(const Rect &inner, const Rect &outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

bool ReadableFormat(OSType format) { return format == k2vuyPixelFormat || format == k32ARGBPixelFormat; }

// The codec argument names cType's compressor: a selector, a compressor component of cType or an open
// instance of one.
OSErr CheckCodec(CodecType cType, CompressorComponent codec, ComponentInstance *instance) {
  *instance = nullptr;
  if (codec == anyCodec || codec == bestSpeedCodec || codec == bestFidelityCodec || codec == bestCompressionCodec)
    return noErr;
  Component component = codec;
  if (Component of = PL_GetComponentOfInstance(reinterpret_cast<ComponentInstance>(codec)); of != nullptr) {
    component = of;
    *instance = reinterpret_cast<ComponentInstance>(codec);
  }
  ComponentDescription cd{};
  if (GetComponentInfo(component, &cd, nullptr, nullptr, nullptr) != noErr) return noCodecErr;
  if (cd.componentType != 'imco' || cd.componentSubType != cType) return noCodecErr;
  return noErr;
}

void FillDescription(ImageDescriptionHandle desc, const EncoderInfo &e, SInt32 width, SInt32 height,
                     CodecQ spatialQuality, CodecQ temporalQuality) {
  CodecInfo info{};
  GetCodecInfo(&info, e.type, anyCodec);
  ImageDescription *d = *desc;
  std::memset(d, 0, sizeof(ImageDescription));
  d->idSize = sizeof(ImageDescription);
  d->cType = e.type;
  d->version = info.version;
  d->revisionLevel = info.revisionLevel;
  d->vendor = OSType(info.vendor);
  d->temporalQuality = temporalQuality;
  d->spatialQuality = spatialQuality;
  d->width = SInt16(width);
  d->height = SInt16(height);
  d->hRes = 72 << 16;
  d->vRes = 72 << 16;
  d->frameCount = 1;
  std::memcpy(d->name, info.typeName, sizeof(d->name));
  d->depth = e.kind == Kind::kSmc ? kSmcGreyDepth : 24;
  d->clutID = -1;
}

// Reads the frame at `at` of the source map into the sequence's planes (encoded size and sampling).
OSErr GatherPlanes(Sequence *s, PixMapHandle src, const Rect &at) {
  const PixMap &pm = **src;
  const SInt32 bytesPerPixel = pm.pixelFormat == k2vuyPixelFormat ? 2 : 4;
  const UInt8 *base = reinterpret_cast<const UInt8 *>(pm.baseAddr) +
                      ptrdiff_t(at.top - pm.bounds.top) * pm.rowBytes + ptrdiff_t(at.left - pm.bounds.left) * bytesPerPixel;
  SInt32 rowBytes = pm.rowBytes;
  const SInt32 w = s->srcWidth, h = s->srcHeight;
  if (pm.pixelFormat == k32ARGBPixelFormat) {
    SInt32 outRowBytes = (w + 1) / 2 * 4;
    s->source2vuy.resize(size_t(outRowBytes) * size_t(h));
    for (SInt32 row = 0; row < h; ++row)
      ArgbRowTo2vuy(base + ptrdiff_t(row) * rowBytes, w, s->source2vuy.data() + size_t(row) * size_t(outRowBytes));
    base = s->source2vuy.data();
    rowBytes = outRowBytes;
  }
  if (w != s->width || h != s->height) {
    // DV sizes are fixed: scale the '2vuy' picture to them (video range stays video range).
    s->scaler = sws_getCachedContext(s->scaler, w, h, AV_PIX_FMT_UYVY422, s->width, s->height, AV_PIX_FMT_UYVY422,
                                     SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (s->scaler == nullptr) return memFullErr;
    SInt32 outRowBytes = (s->width + 1) / 2 * 4;
    s->scaled2vuy.resize(size_t(outRowBytes) * size_t(s->height) + 64);
    const UInt8 *srcData[4] = {base, nullptr, nullptr, nullptr};
    int srcStride[4] = {rowBytes, 0, 0, 0};
    UInt8 *dstData[4] = {s->scaled2vuy.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {outRowBytes, 0, 0, 0};
    sws_scale(s->scaler, srcData, srcStride, 0, h, dstData, dstStride);
    base = s->scaled2vuy.data();
    rowBytes = outRowBytes;
  }
  s->planes.Resize(s->width, s->height, s->info->sampling);
  Unpack2vuy(base, rowBytes, s->info->sampling, s->interlaced, &s->planes);
  return noErr;
}

// Packs or encodes the gathered planes into out.
OSErr Produce(Sequence *s, PixMapHandle src, const Rect &at, std::vector<UInt8> *out) {
  const PixMap &pm = **src;
  const EncoderInfo &e = *s->info;
  out->clear();
  if (e.kind == Kind::k2vuy || e.kind == Kind::kYuv2) {
    // Straight copies of the rows (ARGB through the conversion).
    const SInt32 rowOut = (s->width + 1) / 2 * 4;
    const UInt8 *base;
    SInt32 rowBytes;
    if (pm.pixelFormat == k2vuyPixelFormat) {
      base = reinterpret_cast<const UInt8 *>(pm.baseAddr) + ptrdiff_t(at.top - pm.bounds.top) * pm.rowBytes +
             ptrdiff_t(at.left - pm.bounds.left) * 2;
      rowBytes = pm.rowBytes;
    } else {
      s->source2vuy.resize(size_t(rowOut) * size_t(s->height));
      const UInt8 *argb = reinterpret_cast<const UInt8 *>(pm.baseAddr) + ptrdiff_t(at.top - pm.bounds.top) * pm.rowBytes +
                          ptrdiff_t(at.left - pm.bounds.left) * 4;
      for (SInt32 row = 0; row < s->height; ++row)
        ArgbRowTo2vuy(argb + ptrdiff_t(row) * pm.rowBytes, s->width, s->source2vuy.data() + size_t(row) * size_t(rowOut));
      base = s->source2vuy.data();
      rowBytes = rowOut;
    }
    out->resize(size_t(rowOut) * size_t(s->height));
    for (SInt32 row = 0; row < s->height; ++row) {
      const UInt8 *in = base + ptrdiff_t(row) * rowBytes;
      UInt8 *o = out->data() + size_t(row) * size_t(rowOut);
      if (e.kind == Kind::k2vuy) {
        std::memcpy(o, in, size_t(rowOut));
      } else {
        for (SInt32 i = 0; i < rowOut; i += 4) {
          o[i] = in[i + 1];
          o[i + 1] = UInt8(in[i] ^ 0x80);
          o[i + 2] = in[i + 3];
          o[i + 3] = UInt8(in[i + 2] ^ 0x80);
        }
      }
    }
    return noErr;
  }
  if (e.kind == Kind::kSmc) {
    // The luma byte is kept exactly as the grey index 255 - Y; chroma has no place in a grey picture.
    const SInt32 bytesPerPixel = pm.pixelFormat == k2vuyPixelFormat ? 2 : 4;
    const UInt8 *base = reinterpret_cast<const UInt8 *>(pm.baseAddr) +
                        ptrdiff_t(at.top - pm.bounds.top) * pm.rowBytes +
                        ptrdiff_t(at.left - pm.bounds.left) * bytesPerPixel;
    s->indices.resize(size_t(s->width) * size_t(s->height));
    for (SInt32 row = 0; row < s->height; ++row) {
      const UInt8 *in = base + ptrdiff_t(row) * pm.rowBytes;
      UInt8 *o = s->indices.data() + size_t(row) * size_t(s->width);
      if (bytesPerPixel == 2) {
        for (SInt32 x = 0; x < s->width; ++x) o[x] = UInt8(255 - in[2 * x + 1]);
      } else {
        for (SInt32 x = 0; x < s->width; ++x) {
          const UInt8 *p = in + 4 * x;
          o[x] = UInt8(255 - ((77 * p[1] + 150 * p[2] + 29 * p[3] + 128) >> 8));
        }
      }
    }
    return EncodeGreyIndexed(s->encoder.get(), s->indices, s->width, out);
  }
  if (OSErr err = GatherPlanes(s, src, at); err != noErr) return err;
  if (e.kind == Kind::kY420) {
    const SInt32 rowY = (s->width + 31) & ~31, h4 = (s->height + 3) & ~3, rowC = rowY / 2;
    out->assign(size_t(MaxSizeFor(e, s->width, s->height)), 0);
    UInt8 *o = out->data();
    const UInt32 cbOffset = UInt32(32 + rowY * h4), crOffset = UInt32(cbOffset + rowY * h4 / 4);
    PutBE32(o, 32);
    PutBE32(o + 4, UInt32(rowY));
    PutBE32(o + 8, cbOffset);
    PutBE32(o + 12, UInt32(rowC));
    PutBE32(o + 16, crOffset);
    PutBE32(o + 20, UInt32(rowC));
    // Rows beyond the picture repeat its last row, so that padding does not bleed dark into the edge.
    for (SInt32 row = 0; row < h4; ++row) {
      SInt32 from = std::min(row, s->height - 1);
      UInt8 *y = o + 32 + size_t(row) * size_t(rowY);
      std::memcpy(y, s->planes.y.data() + size_t(from) * size_t(s->width), size_t(s->width));
      std::memset(y + s->width, y[s->width - 1], size_t(rowY - s->width));
    }
    for (SInt32 crow = 0; crow < h4 / 2; ++crow) {
      SInt32 from = std::min(crow, s->planes.chromaHeight - 1);
      const SInt32 cw = s->planes.chromaWidth;
      UInt8 *cb = o + cbOffset + size_t(crow) * size_t(rowC);
      UInt8 *cr = o + crOffset + size_t(crow) * size_t(rowC);
      std::memcpy(cb, s->planes.cb.data() + size_t(from) * size_t(cw), size_t(cw));
      std::memcpy(cr, s->planes.cr.data() + size_t(from) * size_t(cw), size_t(cw));
      std::memset(cb + cw, cb[cw - 1], size_t(rowC - cw));
      std::memset(cr + cw, cr[cw - 1], size_t(rowC - cw));
    }
    return noErr;
  }
  if (e.kind == Kind::kDV) return Encode(s->encoder.get(), s->planes, s->quality, false, out);
  ExpandToFullRange(&s->planes);
  if (e.kind == Kind::kJpeg) return Encode(s->encoder.get(), s->planes, s->quality, true, out);
  // 'mjpa': each field its own JPEG, the first pointing at the second.
  std::vector<UInt8> first, second;
  TakeField(s->planes, s->secondFieldFirst ? 1 : 0, &s->field);
  OSErr err = Encode(s->encoder.get(), s->field, s->quality, true, &first);
  if (err == noErr) {
    TakeField(s->planes, s->secondFieldFirst ? 0 : 1, &s->field);
    err = Encode(s->encoder.get(), s->field, s->quality, true, &second);
  }
  if (err == noErr) err = AddMjpaMarker(first, UInt32(first.size() + kMjpaApp1Size), out);
  if (err == noErr) err = AddMjpaMarker(second, 0, out);
  return err;
}

OSErr BeginSequence(PixMapHandle src, const Rect *srcRect, CodecType cType, CompressorComponent codec,
                    CodecQ spatialQuality, std::shared_ptr<Sequence> *out) {
  if (src == nullptr || *src == nullptr) return paramErr;
  const PixMap &pm = **src;
  Rect r = srcRect != nullptr ? *srcRect : pm.bounds;
  if (!ValidRect(r) || !Inside(r, pm.bounds) || pm.baseAddr == nullptr) return paramErr;
  const EncoderInfo *e = FindEncoder(cType);
  if (e == nullptr) return noCodecErr;
  ComponentInstance instance = nullptr;
  if (OSErr err = CheckCodec(cType, codec, &instance); err != noErr) return err;
  if (!ReadableFormat(pm.pixelFormat)) return cDepthErr;
  auto s = std::make_shared<Sequence>();
  s->info = e;
  s->sourceFormat = pm.pixelFormat;
  s->srcRect = r;
  s->srcWidth = r.right - r.left;
  s->srcHeight = r.bottom - r.top;
  s->width = e->fixedWidth != 0 ? e->fixedWidth : s->srcWidth;
  s->height = e->fixedHeight != 0 ? e->fixedHeight : s->srcHeight;
  s->quality = spatialQuality;
  if (instance != nullptr && e->kind == Kind::kMjpa) {
    // The compressor's settings name the lines of the first field: 'mjpa' then 'even' or 'odd '.
    Handle settings = NewHandle(0);
    if (settings != nullptr && ImageCodecGetSettings(instance, settings) == noErr && GetHandleSize(settings) >= 8) {
      const UInt8 *b = reinterpret_cast<const UInt8 *>(*settings);
      auto code = [b](int at) { return OSType(b[at]) << 24 | OSType(b[at + 1]) << 16 | OSType(b[at + 2]) << 8 | b[at + 3]; };
      if (code(0) == kPL_MotionJpegASettingsTag) s->secondFieldFirst = code(4) == kPL_MotionJpegAOddFieldFirst;
    }
    if (settings != nullptr) DisposeHandle(settings);
  }
  if (e->kind == Kind::kDV || e->kind == Kind::kJpeg || e->kind == Kind::kMjpa || e->kind == Kind::kSmc) {
    SInt32 encodedHeight = e->kind == Kind::kMjpa ? (s->height + 1) / 2 : s->height;
    PL_CompressorState dvco{cType, false, false};
    if (instance != nullptr) PL_GetCompressorState(instance, &dvco);
    s->interlaced = e->kind == Kind::kDV && !dvco.progressive;
    if (OSErr err = OpenAvEncoder(*e, s->width, encodedHeight, spatialQuality, dvco, &s->encoder); err != noErr)
      return err;
  }
  *out = std::move(s);
  return noErr;
}

}  // namespace

Boolean PL_HasEncoder(CodecType cType) { return FindEncoder(cType) != nullptr; }

OSErr CompressSequenceBegin(ImageSequence *seqID, PixMapHandle src, PixMapHandle prev, const Rect *srcRect,
                            const Rect *prevRect, SInt16 colorDepth, CodecType cType, CompressorComponent codec,
                            CodecQ spatialQuality, CodecQ temporalQuality, SInt32 keyFrameRate, CTabHandle ctable,
                            CodecFlags flags, ImageDescriptionHandle desc) {
  (void)prev, (void)prevRect, (void)colorDepth, (void)keyFrameRate, (void)ctable, (void)flags;
  if (seqID == nullptr || desc == nullptr) return paramErr;
  *seqID = 0;
  std::shared_ptr<Sequence> s;
  if (OSErr err = BeginSequence(src, srcRect, cType, codec, spatialQuality, &s); err != noErr) return err;
  if (GetHandleSize(reinterpret_cast<Handle>(desc)) < Size(sizeof(ImageDescription))) {
    SetHandleSize(reinterpret_cast<Handle>(desc), sizeof(ImageDescription));
    if (OSErr err = MemError(); err != noErr) return err;
  }
  FillDescription(desc, *s->info, s->width, s->height, spatialQuality, temporalQuality);
  s->id = gNextSequenceID.fetch_add(1);
  std::lock_guard<std::mutex> lock(gSequencesMutex);
  gSequences.emplace(s->id, s);
  *seqID = s->id;
  return noErr;
}

OSErr CompressSequenceFrame(ImageSequence seqID, PixMapHandle src, const Rect *srcRect, CodecFlags flags, Ptr data,
                            SInt32 *dataSize, UInt8 *similarity, ICMCompletionProcRecordPtr asyncCompletionProc) {
  (void)flags;
  std::shared_ptr<Sequence> s = FindSequence(seqID);
  if (s == nullptr) return paramErr;
  if (src == nullptr || *src == nullptr || data == nullptr || dataSize == nullptr) return paramErr;
  const PixMap &pm = **src;
  Rect at = srcRect != nullptr ? *srcRect : s->srcRect;
  if (!ValidRect(at) || !Inside(at, pm.bounds) || pm.baseAddr == nullptr || at.right - at.left != s->srcWidth ||
      at.bottom - at.top != s->srcHeight)
    return paramErr;
  if (!ReadableFormat(pm.pixelFormat)) return cDepthErr;
  if (similarity != nullptr) *similarity = 0;

  std::vector<UInt8> out;
  OSErr err;
  {
    std::lock_guard<std::mutex> guard(s->lock);
    err = Produce(s.get(), src, at, &out);
  }
  if (err == noErr && SInt64(out.size()) > MaxSizeFor(*s->info, s->width, s->height)) err = codecSizeErr;
  if (err == noErr) {
    std::memcpy(data, out.data(), out.size());
    *dataSize = SInt32(out.size());
  } else {
    *dataSize = 0;
  }
  if (asyncCompletionProc != nullptr && asyncCompletionProc->completionProc != nullptr) {
    asyncCompletionProc->completionProc(err, SInt16(codecCompletionSource | codecCompletionDest),
                                        asyncCompletionProc->completionRefCon);
    return noErr;
  }
  return err;
}

OSErr SetCSequenceQuality(ImageSequence seqID, CodecQ spatialQuality, CodecQ temporalQuality) {
  (void)temporalQuality;
  std::shared_ptr<Sequence> s = FindSequence(seqID);
  if (s == nullptr) return paramErr;
  std::lock_guard<std::mutex> guard(s->lock);
  s->quality = spatialQuality;
  return noErr;
}

OSErr GetMaxCompressionSize(PixMapHandle src, const Rect *srcRect, SInt16 colorDepth, CodecQ quality, CodecType cType,
                            CompressorComponent codec, SInt32 *size) {
  (void)colorDepth, (void)quality;
  if (size == nullptr) return paramErr;
  *size = 0;
  Rect r{};
  if (srcRect != nullptr) {
    r = *srcRect;
  } else {
    if (src == nullptr || *src == nullptr) return paramErr;
    r = (*src)->bounds;
  }
  if (!ValidRect(r)) return paramErr;
  const EncoderInfo *e = FindEncoder(cType);
  if (e == nullptr) return noCodecErr;
  ComponentInstance instance = nullptr;
  if (OSErr err = CheckCodec(cType, codec, &instance); err != noErr) return err;
  SInt64 w = e->fixedWidth != 0 ? e->fixedWidth : r.right - r.left;
  SInt64 h = e->fixedHeight != 0 ? e->fixedHeight : r.bottom - r.top;
  SInt64 max = MaxSizeFor(*e, w, h);
  if (max > 0x7FFFFFFF) return memFullErr;
  *size = SInt32(max);
  return noErr;
}

OSErr CompressImage(PixMapHandle src, const Rect *srcRect, CodecQ quality, CodecType cType,
                    ImageDescriptionHandle desc, Ptr data) {
  if (desc == nullptr || data == nullptr) return paramErr;
  std::shared_ptr<Sequence> s;
  if (OSErr err = BeginSequence(src, srcRect, cType, anyCodec, quality, &s); err != noErr) return err;
  if (!ReadableFormat((*src)->pixelFormat)) return cDepthErr;
  std::vector<UInt8> out;
  if (OSErr err = Produce(s.get(), src, s->srcRect, &out); err != noErr) return err;
  if (SInt64(out.size()) > MaxSizeFor(*s->info, s->width, s->height)) return codecSizeErr;
  if (GetHandleSize(reinterpret_cast<Handle>(desc)) < Size(sizeof(ImageDescription))) {
    SetHandleSize(reinterpret_cast<Handle>(desc), sizeof(ImageDescription));
    if (OSErr err = MemError(); err != noErr) return err;
  }
  FillDescription(desc, *s->info, s->width, s->height, quality, 0);
  (*desc)->dataSize = SInt32(out.size());
  std::memcpy(data, out.data(), out.size());
  return noErr;
}

Boolean PL_EndCompressionSequence(ImageSequence seqID) {
  std::shared_ptr<Sequence> s;
  {
    std::lock_guard<std::mutex> lock(gSequencesMutex);
    auto it = gSequences.find(seqID);
    if (it == gSequences.end()) return false;
    s = std::move(it->second);
    gSequences.erase(it);
  }
  // A frame still being compressed on another thread keeps its own reference; the last one frees it.
  return true;
}
