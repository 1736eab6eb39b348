// Decompression: codecs from image descriptions, the conversion of decoded pictures into offscreen
// worlds, single images, sequences and the media decoder.
#include "platform/movie/decompression.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/image_descriptions.h"
#include "platform/movie/movie_model.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// The compression side ends its own sequences (true when seqID was one). It lives in the compression module;
// a program that never links it has no compression sequences to end.
Boolean PL_EndCompressionSequence(ImageSequence seqID) __attribute__((weak));

namespace {

constexpr OSType kRaw2vuy = '2vuy', kRawYuvs = 'yuvs', kRawYuv2 = 'yuv2', kRawYuvu = 'yuvu', kRawY420 = 'y420';

OSErr FromAV(int averr) {
  if (averr >= 0) return noErr;
  if (averr == AVERROR(ENOMEM)) return memFullErr;
  return codecBadDataErr;
}

// ---- Pictures and targets ----

// A decoded (or raw) picture: planes as libswscale takes them.
struct SourcePicture {
  const UInt8 *data[4] = {};
  int linesize[4] = {};
  AVPixelFormat format = AV_PIX_FMT_NONE;
  int width = 0, height = 0;
  bool fullRange = false;
  AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
  // Packed 4:2:2 over the caller's bytes, which end with the frame: libswscale reads a little past a row's
  // end, so such a picture is scaled from a padded copy.
  bool unpadded = false;
};

struct TargetFormat {
  AVPixelFormat format;
  bool signedChroma;  // 'yuv2': Cb and Cr stored as signed bytes
  bool yuv;
};

bool TargetOf(OSType pixelFormat, TargetFormat *t) {
  switch (pixelFormat) {
    case k2vuyPixelFormat: *t = {AV_PIX_FMT_UYVY422, false, true}; return true;
    case kYUVSPixelFormat: *t = {AV_PIX_FMT_YUYV422, false, true}; return true;
    case kComponentVideoPixelFormat: *t = {AV_PIX_FMT_YUYV422, true, true}; return true;
    case kYUVUPixelFormat: *t = {AV_PIX_FMT_YUYV422, true, true}; return true;
    case kYUV420PixelFormat: *t = {AV_PIX_FMT_YUV420P, false, true}; return true;
    case k32ARGBPixelFormat: *t = {AV_PIX_FMT_ARGB, false, false}; return true;
    case k32BGRAPixelFormat: *t = {AV_PIX_FMT_BGRA, false, false}; return true;
    case k32RGBAPixelFormat: *t = {AV_PIX_FMT_RGBA, false, false}; return true;
    case k24RGBPixelFormat: *t = {AV_PIX_FMT_RGB24, false, false}; return true;
    case k16BE555PixelFormat: *t = {AV_PIX_FMT_RGB555BE, false, false}; return true;
    case k8IndexedGrayPixelFormat: *t = {AV_PIX_FMT_GRAY8, false, true}; return true;
    default: return false;
  }
}

UInt32 ReadBE32(const UInt8 *p) { return UInt32(p[0]) << 24 | UInt32(p[1]) << 16 | UInt32(p[2]) << 8 | p[3]; }

// The planes of a world's pixel map.
struct TargetPlanes {
  UInt8 *data[4] = {};
  int linesize[4] = {};
  int width = 0, height = 0;
};

OSErr PlanesOf(const PixMap *pm, const TargetFormat &tf, TargetPlanes *planes) {
  if (pm->baseAddr == nullptr) return paramErr;
  planes->width = pm->bounds.right - pm->bounds.left;
  planes->height = pm->bounds.bottom - pm->bounds.top;
  if (planes->width <= 0 || planes->height <= 0) return paramErr;
  UInt8 *base = reinterpret_cast<UInt8 *>(pm->baseAddr);
  if (tf.format == AV_PIX_FMT_YUV420P) {
    // The planes are where the big-endian header says.
    UInt32 offY = ReadBE32(base), rbY = ReadBE32(base + 4), offCb = ReadBE32(base + 8), rbCb = ReadBE32(base + 12);
    UInt32 offCr = ReadBE32(base + 16), rbCr = ReadBE32(base + 20);
    UInt32 chromaWidth = UInt32(planes->width + 1) / 2;
    if (offY < 24 || offCb < 24 || offCr < 24 || rbY < UInt32(planes->width) || rbCb < chromaWidth ||
        rbCr < chromaWidth || rbY > 0x7FFFFFF || rbCb > 0x7FFFFFF || rbCr > 0x7FFFFFF)
      return paramErr;
    planes->data[0] = base + offY;
    planes->data[1] = base + offCb;
    planes->data[2] = base + offCr;
    planes->linesize[0] = int(rbY);
    planes->linesize[1] = int(rbCb);
    planes->linesize[2] = int(rbCr);
    return noErr;
  }
  SInt32 minimum = PL_PixelFormatMinRowBytes(pm->pixelFormat, planes->width);
  if (minimum <= 0 || pm->rowBytes < minimum) return paramErr;
  planes->data[0] = base;
  planes->linesize[0] = pm->rowBytes;
  return noErr;
}

// Bytes from the start of a plane's row to pixel x, and the row of line y.
size_t PlaneOffset(AVPixelFormat format, int plane, int x, int y, int linesize) {
  const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(format);
  int shiftX = (plane == 1 || plane == 2) ? d->log2_chroma_w : 0;
  int shiftY = (plane == 1 || plane == 2) ? d->log2_chroma_h : 0;
  size_t step;
  if (d->flags & AV_PIX_FMT_FLAG_PLANAR) {
    int steps[4];
    av_image_fill_max_pixsteps(steps, nullptr, d);
    step = size_t(steps[plane]);
  } else {
    step = size_t(av_get_bits_per_pixel(d) / 8);
  }
  return size_t(y >> shiftY) * size_t(linesize) + size_t(x >> shiftX) * step;
}

int PlaneCount(AVPixelFormat format) { return av_pix_fmt_count_planes(format); }

// Cb and Cr of a YUYV area become signed bytes.
void FlipChromaSign(UInt8 *row, int linesize, int width, int height) {
  size_t bytes = size_t((width + 1) / 2) * 4;
  for (int y = 0; y < height; ++y, row += linesize)
    for (size_t i = 1; i < bytes; i += 2) row[i] ^= 0x80;
}

// Planar 4:2:2 to '2vuy' at the same size: a plain interleave, as libswscale's converter gives it, only
// faster. (4:2:0 stays with libswscale, whose vertical chroma interpolation the reference decodes share.)
void PlanarToUyvy(const UInt8 *const src[4], const int srcLinesize[4], UInt8 *dst, int dstLinesize, int width,
                  int height) {
  int pairs = width / 2;
  for (int y = 0; y < height; ++y) {
    const UInt8 *luma = src[0] + size_t(y) * size_t(srcLinesize[0]);
    const UInt8 *cb = src[1] + size_t(y) * size_t(srcLinesize[1]);
    const UInt8 *cr = src[2] + size_t(y) * size_t(srcLinesize[2]);
    UInt8 *out = dst + size_t(y) * size_t(dstLinesize);
    int i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= pairs; i += 8) {
      __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i *>(luma + 2 * i));
      __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(cb + i));
      __m128i r = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(cr + i));
      __m128i c = _mm_unpacklo_epi8(b, r);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * i), _mm_unpacklo_epi8(c, l));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * i + 16), _mm_unpackhi_epi8(c, l));
    }
#endif
    for (; i < pairs; ++i) {
      out[4 * i] = cb[i];
      out[4 * i + 1] = luma[2 * i];
      out[4 * i + 2] = cr[i];
      out[4 * i + 3] = luma[2 * i + 1];
    }
  }
}

// Planar 4:1:1 to '2vuy' at the same size: each chroma sample stands on its first pixel (DV's siting), so it
// becomes the chroma of the even pair it stands on and the odd pair between two samples takes their rounded
// mean (the last one repeats its sample). Our 4:1:1 compressors thin by the exact inverse of this, so a
// picture goes through 4:2:2 and back unchanged.
void Planar411ToUyvy(const UInt8 *const src[4], const int srcLinesize[4], UInt8 *dst, int dstLinesize, int width,
                     int height) {
  const int pairs = width / 2, samples = (width + 3) / 4;
  for (int y = 0; y < height; ++y) {
    const UInt8 *luma = src[0] + size_t(y) * size_t(srcLinesize[0]);
    const UInt8 *cb = src[1] + size_t(y) * size_t(srcLinesize[1]);
    const UInt8 *cr = src[2] + size_t(y) * size_t(srcLinesize[2]);
    UInt8 *out = dst + size_t(y) * size_t(dstLinesize);
    for (int i = 0; i < pairs; ++i) {
      const int k = i / 2, next = std::min(k + 1, samples - 1);
      const bool between = (i & 1) != 0;
      out[4 * i] = between ? UInt8((cb[k] + cb[next] + 1) >> 1) : cb[k];
      out[4 * i + 1] = luma[2 * i];
      out[4 * i + 2] = between ? UInt8((cr[k] + cr[next] + 1) >> 1) : cr[k];
      out[4 * i + 3] = luma[2 * i + 1];
    }
  }
}

// libswscale's context of one user (a sequence or decoder), kept between frames.
struct Scaler {
  SwsContext *context = nullptr;
  int srcRange = -1, space = -1;
  std::vector<UInt8> padded;  // an unpadded source's rows, each with room behind it
  ~Scaler() { sws_freeContext(context); }

  OSErr Scale(const SourcePicture &src, const UInt8 *const srcDataIn[4], int sw, int sh, AVPixelFormat dstFormat,
              UInt8 *const dstData[4], const int dstLinesize[4], int dw, int dh, bool dstYuv) {
    const UInt8 *srcData[4] = {srcDataIn[0], srcDataIn[1], srcDataIn[2], srcDataIn[3]};
    int srcLinesize[4] = {src.linesize[0], src.linesize[1], src.linesize[2], src.linesize[3]};
    if (src.unpadded) {
      // The SIMD readers may take up to a vector's width past a row's last pixel; 64 bytes behind every row
      // (and behind the last) cover them.
      const size_t rowLength = size_t((sw + 1) / 2) * 4;
      const size_t stride = (rowLength + 64 + 63) / 64 * 64;
      try {
        padded.resize(stride * size_t(sh) + 64);
      } catch (const std::bad_alloc &) {
        return memFullErr;
      }
      for (int y = 0; y < sh; ++y)
        std::memcpy(padded.data() + size_t(y) * stride, srcData[0] + size_t(y) * size_t(src.linesize[0]), rowLength);
      srcData[0] = padded.data();
      srcLinesize[0] = int(stride);
    }
    SwsContext *c = sws_getCachedContext(context, sw, sh, src.format, dw, dh, dstFormat, SWS_BICUBIC, nullptr, nullptr,
                                         nullptr);
    if (c == nullptr) {
      context = nullptr;
      return memFullErr;
    }
    if (c != context) srcRange = -1;
    context = c;
    int range = src.fullRange ? 1 : 0;
    int colorspace = SWS_CS_ITU601;
    if (src.space == AVCOL_SPC_BT709 || (src.space == AVCOL_SPC_UNSPECIFIED && src.height > 576))
      colorspace = SWS_CS_ITU709;
    else if (src.space == AVCOL_SPC_SMPTE240M)
      colorspace = SWS_CS_SMPTE240M;
    if (range != srcRange || colorspace != space) {
      const int *coefficients = sws_getCoefficients(colorspace);
      sws_setColorspaceDetails(context, coefficients, range, coefficients, dstYuv ? 0 : 1, 0, 1 << 16, 1 << 16);
      srcRange = range;
      space = colorspace;
    }
    sws_scale(context, srcData, srcLinesize, 0, sh, dstData, dstLinesize);
    return noErr;
  }
};

// Maps srcRect (in the description's coordinates, descW x descH) of the picture onto dstRect of the pixel
// map, clipped to the map.
OSErr DrawPicture(Scaler *scaler, const SourcePicture &src, int descW, int descH, const Rect *srcRectIn,
                  const Rect &dstRect, PixMap *pm) {
  TargetFormat tf;
  if (!TargetOf(pm->pixelFormat, &tf)) return cDepthErr;
  TargetPlanes planes;
  OSErr err = PlanesOf(pm, tf, &planes);
  if (err != noErr) return err;
  if (src.width <= 0 || src.height <= 0 || descW <= 0 || descH <= 0) return codecBadDataErr;

  // Source rectangle in the picture's own pixels (a decoder may give another size than described).
  Rect sr = srcRectIn != nullptr ? *srcRectIn : Rect{0, 0, SInt16(descH), SInt16(descW)};
  SInt64 sx0 = std::clamp<SInt64>(SInt64(sr.left) * src.width / descW, 0, src.width);
  SInt64 sx1 = std::clamp<SInt64>(SInt64(sr.right) * src.width / descW, 0, src.width);
  SInt64 sy0 = std::clamp<SInt64>(SInt64(sr.top) * src.height / descH, 0, src.height);
  SInt64 sy1 = std::clamp<SInt64>(SInt64(sr.bottom) * src.height / descH, 0, src.height);
  const AVPixFmtDescriptor *sd = av_pix_fmt_desc_get(src.format);
  if (sd == nullptr) return codecBadDataErr;
  sx0 &= ~SInt64((1 << sd->log2_chroma_w) - 1);
  sy0 &= ~SInt64((1 << sd->log2_chroma_h) - 1);
  int sw = int(sx1 - sx0), sh = int(sy1 - sy0);
  if (sw <= 0 || sh <= 0) return paramErr;
  const UInt8 *srcData[4] = {};
  for (int p = 0; p < PlaneCount(src.format); ++p)
    srcData[p] = src.data[p] + PlaneOffset(src.format, p, int(sx0), int(sy0), src.linesize[p]);
  // An indexed picture's colour table travels as its second plane.
  if (sd->flags & AV_PIX_FMT_FLAG_PAL) srcData[1] = src.data[1];

  // Destination, relative to the map's top left corner; its corner moves onto whole chroma units.
  const AVPixFmtDescriptor *dd = av_pix_fmt_desc_get(tf.format);
  int alignX = 1 << dd->log2_chroma_w, alignY = 1 << dd->log2_chroma_h;
  auto floorTo = [](int v, int a) { return v >= 0 ? v / a * a : -((-v + a - 1) / a * a); };
  int dx = floorTo(dstRect.left - pm->bounds.left, alignX), dy = floorTo(dstRect.top - pm->bounds.top, alignY);
  int dw = dstRect.right - dstRect.left, dh = dstRect.bottom - dstRect.top;
  if (dw <= 0 || dh <= 0) return noErr;
  int cx0 = std::max(dx, 0), cy0 = std::max(dy, 0);
  int cx1 = std::min(dx + dw, planes.width), cy1 = std::min(dy + dh, planes.height);
  if (cx0 >= cx1 || cy0 >= cy1) return noErr;

  bool inside = cx0 == dx && cy0 == dy && cx1 == dx + dw && cy1 == dy + dh;
  bool aligned = (dw % alignX == 0 || dx + dw == planes.width) && (dh % alignY == 0 || dy + dh == planes.height);
  if (inside && aligned) {
    UInt8 *dstData[4] = {};
    for (int p = 0; p < PlaneCount(tf.format); ++p)
      dstData[p] = planes.data[p] + PlaneOffset(tf.format, p, dx, dy, planes.linesize[p]);
    if (src.format == AV_PIX_FMT_YUV422P && !src.fullRange && tf.format == AV_PIX_FMT_UYVY422 && sw == dw &&
        sh == dh && dw % 2 == 0) {
      PlanarToUyvy(srcData, src.linesize, dstData[0], planes.linesize[0], dw, dh);
    } else if (src.format == AV_PIX_FMT_YUV411P && !src.fullRange && tf.format == AV_PIX_FMT_UYVY422 && sw == dw &&
               sh == dh && dw % 2 == 0) {
      Planar411ToUyvy(srcData, src.linesize, dstData[0], planes.linesize[0], dw, dh);
    } else if (src.format == tf.format && sw == dw && sh == dh && !(dd->flags & AV_PIX_FMT_FLAG_PLANAR)) {
      size_t rowBytes = PlaneOffset(tf.format, 0, (dw + alignX - 1) / alignX * alignX, 0, 0);
      for (int y = 0; y < dh; ++y)
        std::memcpy(dstData[0] + size_t(y) * planes.linesize[0], srcData[0] + size_t(y) * src.linesize[0], rowBytes);
    } else {
      err = scaler->Scale(src, srcData, sw, sh, tf.format, dstData, planes.linesize, dw, dh, tf.yuv);
      if (err != noErr) return err;
    }
    if (tf.signedChroma) FlipChromaSign(dstData[0], planes.linesize[0], dw, dh);
    return noErr;
  }

  // The picture does not lie wholly in the map: scale into a frame of its own, then copy the visible part
  // in whole chroma units.
  UInt8 *tmp[4] = {};
  int tmpLinesize[4] = {};
  if (av_image_alloc(tmp, tmpLinesize, dw + alignX, dh + alignY, tf.format, 64) < 0) return memFullErr;
  err = scaler->Scale(src, srcData, sw, sh, tf.format, tmp, tmpLinesize, dw, dh, tf.yuv);
  if (err == noErr) {
    if (tf.signedChroma) FlipChromaSign(tmp[0], tmpLinesize[0], dw, dh);
    int ex = std::min((cx1 + alignX - 1) / alignX * alignX, (planes.width + alignX - 1) / alignX * alignX);
    for (int p = 0; p < PlaneCount(tf.format); ++p) {
      int shiftY = (p == 1 || p == 2) ? dd->log2_chroma_h : 0;
      size_t start = PlaneOffset(tf.format, p, cx0, 0, 0);
      size_t length = PlaneOffset(tf.format, p, ex, 0, 0) - start;
      size_t from = PlaneOffset(tf.format, p, cx0 - dx, 0, 0);
      int row0 = cy0 >> shiftY, row1 = (cy1 + (1 << shiftY) - 1) >> shiftY;
      for (int r = row0; r < row1; ++r)
        std::memcpy(planes.data[p] + size_t(r) * planes.linesize[p] + start,
                    tmp[p] + size_t(r - (dy >> shiftY)) * tmpLinesize[p] + from, length);
    }
  }
  av_freep(&tmp[0]);
  return err;
}

// ---- Codecs ----

bool IsOwn422(OSType cType) {
  return cType == kRaw2vuy || cType == kRawYuvs || cType == kRawYuv2 || cType == kRawYuvu;
}

// Formats our own code reads: packed 4:2:2 and planar 'y420'.
bool IsOwnFormat(OSType cType) { return IsOwn422(cType) || cType == kRawY420; }

AVCodecID CodecIdOf(OSType cType) {
  // MPEG-2 video as QuickTime's MPEG importers name it, which the QuickTime file tags do not list.
  if (cType == 'm2v ') return AV_CODEC_ID_MPEG2VIDEO;
  const AVCodecTag *tables[] = {avformat_get_mov_video_tags(), nullptr};
  UInt32 tag = __builtin_bswap32(cType);
  return av_codec_get_id(tables, tag);
}

struct DescInfo {
  OSType cType = 0;
  int width = 0, height = 0, depth = 0;
  SInt32 dataSize = 0;
  Fixed gamma = 0;
  std::vector<UInt8> bytes;  // the whole description, for equivalence tests
};

OSErr ReadDesc(ImageDescriptionHandle desc, DescInfo *info) {
  if (desc == nullptr || *desc == nullptr) return paramErr;
  Size handleSize = GetHandleSize(reinterpret_cast<Handle>(desc));
  if (handleSize < Size(sizeof(ImageDescription))) return badImageDescription;
  const ImageDescription *id = *desc;
  info->cType = id->cType;
  info->width = id->width;
  info->height = id->height;
  info->depth = id->depth;
  info->dataSize = id->dataSize;
  if (info->width <= 0 || info->height <= 0) return badImageDescription;
  Fixed gamma = 0;
  if (ICMImageDescriptionGetProperty(desc, kQTPropertyClass_ImageDescription, kICMImageDescriptionPropertyID_GammaLevel,
                                     sizeof(gamma), &gamma, nullptr) != noErr)
    gamma = PL_DefaultGammaForCodec(info->cType);
  info->gamma = gamma;
  const UInt8 *b = reinterpret_cast<const UInt8 *>(*desc);
  info->bytes.assign(b, b + handleSize);
  return noErr;
}

// Reads a descriptor length of an MPEG-4 elementary stream descriptor (1 to 4 bytes of 7 bits).
bool ReadDescriptorLength(const UInt8 *&p, const UInt8 *end, size_t *length) {
  size_t value = 0;
  for (int i = 0; i < 4; ++i) {
    if (p >= end) return false;
    UInt8 b = *p++;
    value = value << 7 | (b & 0x7F);
    if (!(b & 0x80)) {
      *length = value;
      return true;
    }
  }
  *length = value;
  return true;
}

// The decoder-specific information inside an 'esds' payload (ES, decoder configuration, then specific info).
std::vector<UInt8> EsdsDecoderInfo(const UInt8 *p, size_t size) {
  const UInt8 *end = p + size;
  if (size >= 4 && p[0] != 0x03) p += 4;  // version and flags
  while (p < end) {
    UInt8 tag = *p++;
    size_t length = 0;
    if (!ReadDescriptorLength(p, end, &length) || length > size_t(end - p)) break;
    const UInt8 *body = p;
    if (tag == 0x03) {  // ES descriptor: id, flags and their optional fields, then sub-descriptors
      if (length < 3) break;
      UInt8 flags = body[2];
      const UInt8 *q = body + 3;
      if (flags & 0x80) q += 2;
      if ((flags & 0x40) && q < body + length) q += 1 + *q;
      if (flags & 0x20) q += 2;
      if (q > body + length) break;
      p = q;
      end = body + length;
      continue;
    }
    if (tag == 0x04) {  // decoder configuration: 13 fixed bytes, then sub-descriptors
      if (length < 13) break;
      p = body + 13;
      end = body + length;
      continue;
    }
    if (tag == 0x05) return std::vector<UInt8>(body, body + length);
    p = body + length;
  }
  return {};
}

// One codec instance for a description.
struct ImageCodec {
  DescInfo desc;
  bool own422 = false;  // read by our own code: packed 4:2:2 or planar 'y420'
  AVCodecContext *context = nullptr;
  AVPacket *packet = nullptr;
  AVFrame *frame = nullptr;     // the last picture the codec gave
  bool havePicture = false;
  std::vector<UInt8> signedCopy;  // 'yuv2' data with unsigned chroma
  SourcePicture raw;              // own formats: the picture over the caller's data

  ~ImageCodec() {
    avcodec_free_context(&context);
    av_packet_free(&packet);
    av_frame_free(&frame);
  }
};

void SetExtradata(AVCodecContext *c, const std::vector<UInt8> &bytes) {
  if (bytes.empty()) return;
  c->extradata = static_cast<uint8_t *>(av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (c->extradata == nullptr) return;
  std::memcpy(c->extradata, bytes.data(), bytes.size());
  c->extradata_size = int(bytes.size());
}

std::vector<UInt8> ExtensionBytes(ImageDescriptionHandle desc, OSType type) {
  Handle h = nullptr;
  std::vector<UInt8> bytes;
  if (GetImageDescriptionExtension(desc, &h, type, 1) == noErr && h != nullptr) {
    const UInt8 *p = reinterpret_cast<const UInt8 *>(*h);
    bytes.assign(p, p + GetHandleSize(h));
  }
  if (h != nullptr) DisposeHandle(h);
  return bytes;
}

// frameThreads: pictures may come out some samples late (a media decoder copes, a sequence does not).
OSErr OpenCodec(ImageDescriptionHandle desc, bool frameThreads, std::unique_ptr<ImageCodec> *out) {
  // Damaged samples come back as error numbers; the codecs' own complaints would only flood the output.
  static std::once_flag quiet;
  std::call_once(quiet, [] {
    if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_FATAL);
  });
  auto codec = std::make_unique<ImageCodec>();
  OSErr err = ReadDesc(desc, &codec->desc);
  if (err != noErr) return err;
  if (IsOwnFormat(codec->desc.cType)) {
    codec->own422 = true;
    *out = std::move(codec);
    return noErr;
  }
  AVCodecID id = CodecIdOf(codec->desc.cType);
  const AVCodec *decoder = id != AV_CODEC_ID_NONE ? avcodec_find_decoder(id) : nullptr;
  if (decoder == nullptr) return noCodecErr;
  codec->context = avcodec_alloc_context3(decoder);
  codec->packet = av_packet_alloc();
  codec->frame = av_frame_alloc();
  if (codec->context == nullptr || codec->packet == nullptr || codec->frame == nullptr) return memFullErr;
  AVCodecContext *c = codec->context;
  c->codec_tag = __builtin_bswap32(codec->desc.cType);
  c->width = c->coded_width = codec->desc.width;
  c->height = c->coded_height = codec->desc.height;
  c->bits_per_coded_sample = codec->desc.depth;
  OSType type = codec->desc.cType;
  if (type == 'avc1' || type == 'avc3')
    SetExtradata(c, ExtensionBytes(desc, 'avcC'));
  else if (type == 'hvc1' || type == 'hev1')
    SetExtradata(c, ExtensionBytes(desc, 'hvcC'));
  else if (type == 'mp4v') {
    std::vector<UInt8> esds = ExtensionBytes(desc, 'esds');
    SetExtradata(c, EsdsDecoderInfo(esds.data(), esds.size()));
  }
  // Any codec's configuration as it is ('glbl'), where no configuration of its own kind came.
  if (c->extradata == nullptr) SetExtradata(c, ExtensionBytes(desc, 'glbl'));
  c->thread_count = 0;
  c->thread_type = frameThreads ? (FF_THREAD_FRAME | FF_THREAD_SLICE) : FF_THREAD_SLICE;
  if (avcodec_open2(c, decoder, nullptr) < 0) return noCodecErr;
  *out = std::move(codec);
  return noErr;
}

SourcePicture PictureOfFrame(const AVFrame *f) {
  SourcePicture p;
  for (int i = 0; i < 4; ++i) {
    p.data[i] = f->data[i];
    p.linesize[i] = f->linesize[i];
  }
  p.format = AVPixelFormat(f->format);
  p.width = f->width;
  p.height = f->height;
  // libswscale picks its converter when the context is made and knows the range then only from the
  // format: full-range pictures travel as the JPEG formats.
  p.fullRange = f->color_range == AVCOL_RANGE_JPEG;
  if (p.fullRange) {
    switch (p.format) {
      case AV_PIX_FMT_YUV420P: p.format = AV_PIX_FMT_YUVJ420P; break;
      case AV_PIX_FMT_YUV422P: p.format = AV_PIX_FMT_YUVJ422P; break;
      case AV_PIX_FMT_YUV444P: p.format = AV_PIX_FMT_YUVJ444P; break;
      case AV_PIX_FMT_YUV440P: p.format = AV_PIX_FMT_YUVJ440P; break;
      case AV_PIX_FMT_YUV411P: p.format = AV_PIX_FMT_YUVJ411P; break;
      default: break;
    }
  }
  switch (p.format) {
    case AV_PIX_FMT_YUVJ420P: case AV_PIX_FMT_YUVJ422P: case AV_PIX_FMT_YUVJ444P: case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P: p.fullRange = true; break;
    default: break;
  }
  p.space = f->colorspace;
  return p;
}

// An own 4:2:2 frame: checked against its size and wrapped (no copy except for 'yuv2').
OSErr WrapOwn422(ImageCodec *codec, const void *data, size_t size, SourcePicture *picture) {
  int w = codec->desc.width, h = codec->desc.height;
  size_t minRow = size_t((w + 1) / 2) * 4;
  if (size < minRow * size_t(h)) return codecBadDataErr;
  size_t rowBytes = size / size_t(h);
  if (rowBytes > minRow + 64 * 4) rowBytes = minRow;  // padding beyond alignment is not a row stride
  SourcePicture p;
  p.width = w;
  p.height = h;
  p.linesize[0] = int(rowBytes);
  p.space = AVCOL_SPC_UNSPECIFIED;
  p.unpadded = true;
  if (codec->desc.cType == kRaw2vuy) {
    p.format = AV_PIX_FMT_UYVY422;
    p.data[0] = static_cast<const UInt8 *>(data);
  } else {
    p.format = AV_PIX_FMT_YUYV422;
    p.data[0] = static_cast<const UInt8 *>(data);
    if (codec->desc.cType == kRawYuv2 || codec->desc.cType == kRawYuvu) {
      try {
        codec->signedCopy.assign(p.data[0], p.data[0] + rowBytes * size_t(h));
      } catch (const std::bad_alloc &) {
        return memFullErr;
      }
      FlipChromaSign(codec->signedCopy.data(), int(rowBytes), w, h);
      p.data[0] = codec->signedCopy.data();
    }
  }
  *picture = p;
  return noErr;
}

// An own 'y420' frame: planes where its big-endian header says (offset and row bytes of Y, Cb, Cr), each
// plane's whole rows checked to lie inside the sample, so that a damaged header gives an error, never a read
// past the data.
OSErr WrapOwnY420(ImageCodec *codec, const void *data, size_t size, SourcePicture *picture) {
  const int w = codec->desc.width, h = codec->desc.height;
  if (w <= 0 || h <= 0 || data == nullptr || size < 24) return codecBadDataErr;
  const UInt8 *base = static_cast<const UInt8 *>(data);
  const UInt64 widths[3] = {UInt64(w), UInt64(w + 1) / 2, UInt64(w + 1) / 2};
  const UInt64 heights[3] = {UInt64(h), UInt64(h + 1) / 2, UInt64(h + 1) / 2};
  SourcePicture p;
  for (int plane = 0; plane < 3; ++plane) {
    const UInt64 offset = ReadBE32(base + 8 * plane), rowBytes = ReadBE32(base + 8 * plane + 4);
    if (offset < 24 || rowBytes < widths[plane] || rowBytes > 0x7FFFFFF ||
        offset + rowBytes * heights[plane] > size)
      return codecBadDataErr;
    p.data[plane] = base + offset;
    p.linesize[plane] = int(rowBytes);
  }
  p.format = AV_PIX_FMT_YUV420P;
  p.width = w;
  p.height = h;
  p.space = AVCOL_SPC_UNSPECIFIED;
  *picture = p;
  return noErr;
}

// Sends one sample to a libavcodec codec (NULL data drains it). pts travels to the picture; `key` marks a sync
// sample, which decoders that keep pictures (PNG, for one) must not take as a change to the previous picture.
OSErr SendSample(ImageCodec *codec, const void *data, size_t size, SInt64 pts, bool key) {
  if (data == nullptr) return FromAV(avcodec_send_packet(codec->context, nullptr));
  if (size == 0) return noErr;  // an empty packet would end the stream; an empty sample holds no picture
  if (size > size_t(INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE)) return codecBadDataErr;
  av_packet_unref(codec->packet);
  if (av_new_packet(codec->packet, int(size)) < 0) return memFullErr;
  std::memcpy(codec->packet->data, data, size);
  codec->packet->pts = pts;
  codec->packet->dts = AV_NOPTS_VALUE;
  if (key) codec->packet->flags |= AV_PKT_FLAG_KEY;
  // Indexed pictures of the grey depths carry no colour table: the decoder is given the grey ramp.
  if (UInt32 ramp[256]; PL_GetGreyRampPalette(SInt16(codec->desc.depth), ramp)) {
    UInt8 *palette = av_packet_new_side_data(codec->packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (palette == nullptr) return memFullErr;
    std::memcpy(palette, ramp, AVPALETTE_SIZE);
  }
  int r = avcodec_send_packet(codec->context, codec->packet);
  if (r == AVERROR(EAGAIN)) return noErr;  // the caller receives first and sends again
  return FromAV(r);
}

// 1 when a picture came (codec->frame), 0 when the codec wants more data, -1 at the end of a drain.
int ReceivePicture(ImageCodec *codec, OSErr *err) {
  *err = noErr;
  int r = avcodec_receive_frame(codec->context, codec->frame);
  if (r == 0) {
    codec->havePicture = true;
    return 1;
  }
  if (r == AVERROR(EAGAIN)) return 0;
  if (r == AVERROR_EOF) return -1;
  *err = FromAV(r);
  return -1;
}

// Decodes one picture from one sample at once (draining the codec when it holds pictures back). Samples
// that stand alone (single images, sequences, media without temporal compression) are key samples.
OSErr DecodeOne(ImageCodec *codec, const void *data, size_t size, bool key, SourcePicture *picture) {
  if (codec->own422)
    return codec->desc.cType == kRawY420 ? WrapOwnY420(codec, data, size, picture)
                                         : WrapOwn422(codec, data, size, picture);
  if (data == nullptr || size == 0) return codecBadDataErr;
  OSErr err = SendSample(codec, data, size, 0, key);
  if (err != noErr) return err;
  int got = ReceivePicture(codec, &err);
  if (got == 0) {
    // A codec that holds pictures back gives this one only when drained; it starts afresh afterwards.
    err = SendSample(codec, nullptr, 0, 0, false);
    if (err == noErr) got = ReceivePicture(codec, &err);
    avcodec_flush_buffers(codec->context);
  }
  if (err != noErr) return err;
  if (got != 1) return codecBadDataErr;
  *picture = PictureOfFrame(codec->frame);
  return noErr;
}

size_t ImageDataSize(const DescInfo &d, SInt32 given) {
  if (given > 0) return size_t(given);
  if (d.dataSize > 0) return size_t(d.dataSize);
  if (IsOwn422(d.cType)) return size_t((d.width + 1) / 2) * 4 * size_t(d.height);
  // 'y420': rows of 32-byte multiples, lines to a multiple of 4, behind a 32-byte header.
  if (d.cType == kRawY420)
    return size_t((d.width + 31) & ~31) * size_t((d.height + 3) & ~3) * 3 / 2 + 32;
  // DV frames have the sizes of their standard when the description states none.
  if (d.cType == 'dvc ' || d.cType == 'dvcp' || d.cType == 'dvpp') return d.height == 480 ? 120000 : 144000;
  if (d.cType == 'dv5n' || d.cType == 'dv5p') return d.height == 480 ? 240000 : 288000;
  return 0;
}

// ---- Sequences ----

struct Sequence {
  std::mutex lock;
  std::unique_ptr<ImageCodec> codec;
  CGrafPtr port = nullptr;
  bool hasSrcRect = false;
  Rect srcRect{};
  Rect dstRect{};  // where srcRect lands in the world
  Scaler scaler;
};

std::mutex gSequencesLock;
std::map<ImageSequence, std::shared_ptr<Sequence>> gSequences;
ImageSequence gNextSequence = 1;

std::shared_ptr<Sequence> FindSequence(ImageSequence seqID) {
  std::lock_guard<std::mutex> guard(gSequencesLock);
  auto it = gSequences.find(seqID);
  return it == gSequences.end() ? nullptr : it->second;
}

// Where a source rectangle lands through a scale-and-translate matrix.
OSErr MapRect(const Rect &src, const MatrixRecord *matrix, Rect *dst) {
  *dst = src;
  if (matrix == nullptr) return noErr;
  if (GetMatrixType(matrix) > scaleTranslateMatrixType) return codecUnimpErr;
  TransformRect(matrix, dst, nullptr);
  return noErr;
}

OSErr DrawFrameOfSequence(Sequence *seq, const void *data, size_t size) {
  PixMapHandle pm = GetGWorldPixMap(seq->port);
  if (pm == nullptr || *pm == nullptr) return paramErr;
  SourcePicture picture;
  OSErr err = DecodeOne(seq->codec.get(), data, size, true, &picture);
  if (err != noErr) return err;
  err = DrawPicture(&seq->scaler, picture, seq->codec->desc.width, seq->codec->desc.height,
                    seq->hasSrcRect ? &seq->srcRect : nullptr, seq->dstRect, *pm);
  if (err == noErr) QTSetPixMapHandleGammaLevel(pm, seq->codec->desc.gamma);
  return err;
}

}  // namespace

OSErr PL_DecompressImageWithSize(const void *data, size_t dataSize, ImageDescriptionHandle desc, PixMapHandle dst,
                                 const Rect *srcRect, const Rect *dstRect) {
  if (data == nullptr || dst == nullptr || *dst == nullptr) return paramErr;
  std::unique_ptr<ImageCodec> codec;
  OSErr err = OpenCodec(desc, false, &codec);
  if (err != noErr) return err;
  TargetFormat tf;
  if (!TargetOf((*dst)->pixelFormat, &tf)) return cDepthErr;
  SourcePicture picture;
  err = DecodeOne(codec.get(), data, dataSize, true, &picture);
  if (err != noErr) return err;
  Scaler scaler;
  Rect whole = dstRect != nullptr ? *dstRect : (*dst)->bounds;
  err = DrawPicture(&scaler, picture, codec->desc.width, codec->desc.height, srcRect, whole, *dst);
  if (err == noErr) QTSetPixMapHandleGammaLevel(dst, codec->desc.gamma);
  return err;
}

OSErr DecompressImage(Ptr data, ImageDescriptionHandle desc, PixMapHandle dst, const Rect *srcRect,
                      const Rect *dstRect, SInt16 mode, RgnHandle mask) {
  if (mode != srcCopy && mode != ditherCopy) return paramErr;
  if (mask != nullptr) return codecUnimpErr;
  DescInfo info;
  OSErr err = ReadDesc(desc, &info);
  if (err != noErr) return err;
  size_t size = ImageDataSize(info, 0);
  if (size == 0) return paramErr;
  return PL_DecompressImageWithSize(data, size, desc, dst, srcRect, dstRect);
}

OSErr DecompressSequenceBeginS(ImageSequence *seqID, ImageDescriptionHandle desc, Ptr data, SInt32 dataSize,
                               CGrafPtr port, GDHandle, const Rect *srcRect, MatrixRecordPtr matrix, SInt16 mode,
                               RgnHandle mask, CodecFlags, CodecQ, DecompressorComponent) {
  if (seqID == nullptr) return paramErr;
  *seqID = 0;
  if (mode != srcCopy && mode != ditherCopy) return paramErr;
  if (mask != nullptr) return codecUnimpErr;
  if (port == nullptr) GetGWorld(&port, nullptr);
  PixMapHandle pm = GetGWorldPixMap(port);
  if (pm == nullptr || *pm == nullptr) return paramErr;
  TargetFormat tf;
  if (!TargetOf((*pm)->pixelFormat, &tf)) return cDepthErr;
  auto seq = std::make_shared<Sequence>();
  OSErr err = OpenCodec(desc, false, &seq->codec);
  if (err != noErr) return err;
  seq->port = port;
  Rect whole{0, 0, SInt16(seq->codec->desc.height), SInt16(seq->codec->desc.width)};
  if (srcRect != nullptr) {
    seq->hasSrcRect = true;
    seq->srcRect = *srcRect;
    if (srcRect->right <= srcRect->left || srcRect->bottom <= srcRect->top) return paramErr;
  }
  err = MapRect(seq->hasSrcRect ? seq->srcRect : whole, matrix, &seq->dstRect);
  if (err != noErr) return err;
  if (matrix == nullptr && seq->hasSrcRect) {
    // Without a matrix the chosen part is drawn at the world's origin.
    seq->dstRect = Rect{0, 0, SInt16(srcRect->bottom - srcRect->top), SInt16(srcRect->right - srcRect->left)};
  }
  if (data != nullptr) {
    err = DrawFrameOfSequence(seq.get(), data, ImageDataSize(seq->codec->desc, dataSize));
    if (err != noErr) return err;
  }
  std::lock_guard<std::mutex> guard(gSequencesLock);
  ImageSequence id = 0;
  do {
    id = gNextSequence;
    gNextSequence = gNextSequence >= kPL_FirstCompressionSequenceID - 1 ? 1 : gNextSequence + 1;
  } while (gSequences.count(id) != 0);
  gSequences[id] = seq;
  *seqID = id;
  return noErr;
}

OSErr DecompressSequenceFrameS(ImageSequence seqID, Ptr data, SInt32 dataSize, CodecFlags, CodecFlags *outFlags,
                               ICMCompletionProcRecordPtr asyncCompletionProc) {
  if (outFlags != nullptr) *outFlags = 0;
  std::shared_ptr<Sequence> seq = FindSequence(seqID);
  if (seq == nullptr || data == nullptr || dataSize < 0) return paramErr;
  OSErr err;
  {
    std::lock_guard<std::mutex> guard(seq->lock);
    size_t size = ImageDataSize(seq->codec->desc, dataSize);
    err = size == 0 ? OSErr(paramErr) : DrawFrameOfSequence(seq.get(), data, size);
  }
  if (asyncCompletionProc != nullptr && asyncCompletionProc->completionProc != nullptr) {
    asyncCompletionProc->completionProc(err, codecCompletionSource | codecCompletionDest,
                                        asyncCompletionProc->completionRefCon);
    return noErr;
  }
  return err;
}

OSErr DecompressSequenceFrameWhen(ImageSequence seqID, Ptr data, SInt32 dataSize, CodecFlags inFlags,
                                  CodecFlags *outFlags, ICMCompletionProcRecordPtr asyncCompletionProc,
                                  ICMFrameTimePtr frameTime) {
  if (frameTime != nullptr) return paramErr;
  return DecompressSequenceFrameS(seqID, data, dataSize, inFlags, outFlags, asyncCompletionProc);
}

OSErr CDSequenceEquivalentImageDescription(ImageSequence seqID, ImageDescriptionHandle newDesc, Boolean *equivalent) {
  if (equivalent != nullptr) *equivalent = false;
  std::shared_ptr<Sequence> seq = FindSequence(seqID);
  if (seq == nullptr || newDesc == nullptr || *newDesc == nullptr || equivalent == nullptr) return paramErr;
  std::lock_guard<std::mutex> guard(seq->lock);
  std::vector<UInt8> &bytes = seq->codec->desc.bytes;
  Handle own = NewHandle(Size(bytes.size()));
  if (own == nullptr) return memFullErr;
  std::memcpy(*own, bytes.data(), bytes.size());
  *equivalent = PL_ImageDescriptionsEquivalent(reinterpret_cast<ImageDescriptionHandle>(own), newDesc);
  DisposeHandle(own);
  return noErr;
}

OSErr CDSequenceEnd(ImageSequence seqID) {
  if (seqID == 0) return noErr;
  if (PL_EndCompressionSequence != nullptr && PL_EndCompressionSequence(seqID)) return noErr;
  std::shared_ptr<Sequence> seq;
  {
    std::lock_guard<std::mutex> guard(gSequencesLock);
    auto it = gSequences.find(seqID);
    if (it == gSequences.end()) return paramErr;
    seq = std::move(it->second);
    gSequences.erase(it);
  }
  // A frame still being decoded on another thread finishes before the codec goes.
  std::lock_guard<std::mutex> guard(seq->lock);
  return noErr;
}


Boolean PL_CanDecompressCodecType(OSType cType) {
  if (IsOwnFormat(cType)) return true;
  AVCodecID id = CodecIdOf(cType);
  return id != AV_CODEC_ID_NONE && avcodec_find_decoder(id) != nullptr;
}

Boolean PL_CanDecompressToPixelFormat(OSType pixelFormat) {
  TargetFormat tf;
  return TargetOf(pixelFormat, &tf);
}

// ---- Media decoder ----

namespace {

struct SampleEntry {
  SInt64 decodeTime;
  SInt64 displayTime;
  SInt64 offset;
  UInt64 size;
  UInt32 descIndex;
  bool sync;
};

}  // namespace

struct PL_MediaDecoder {
  Media media = nullptr;
  SInt64 indexedCount = -1;
  std::vector<SampleEntry> samples;    // decode order
  std::vector<UInt32> byDisplay;       // sample indices in display order
  std::vector<SInt64> displayEnds;     // end of each display-order entry's stretch
  bool intraOnly = true;
  std::unique_ptr<ImageCodec> codec;
  UInt32 codecDesc = 0;                // description index the codec was opened for
  Handle descHandle = nullptr;
  SInt64 nextToSend = -1;              // decode-order index of the next sample to send; -1 idle
  SInt64 pictureSample = -1;           // sample whose picture the codec's frame holds
  SInt64 lastOutDisplay = -1;          // display time of the last picture that came out
  std::vector<UInt8> data;
  Scaler scaler;
  bool freshCodec = false;             // opened and not yet fed
  SInt64 samplesDecoded = 0, restarts = 0;

  ~PL_MediaDecoder() {
    if (descHandle != nullptr) DisposeHandle(descHandle);
  }
};

namespace {

OSErr BuildIndex(PL_MediaDecoder *d) {
  PL_MediaRecord *m = d->media;
  if (d->indexedCount == m->sampleCount) return noErr;
  try {
    d->samples.clear();
    d->samples.reserve(size_t(std::max<SInt64>(m->sampleCount, 0)));
    size_t ctts = 0;
    UInt32 usedInEntry = 0;
    d->intraOnly = !m->hasCompositionOffsets;
    for (const PL_SampleRun &run : m->runs) {
      if (run.sampleFlags & mediaSampleNotSync) d->intraOnly = false;
      for (UInt32 i = 0; i < run.numberOfSamples; ++i) {
        SInt32 offset = 0;
        if (m->hasCompositionOffsets) {
          while (ctts < m->compositionOffsets.size() && usedInEntry >= m->compositionOffsets[ctts].first) {
            ++ctts;
            usedInEntry = 0;
          }
          if (ctts < m->compositionOffsets.size()) {
            offset = m->compositionOffsets[ctts].second;
            ++usedInEntry;
          }
        }
        SInt64 at = 0;
        UInt64 size = 0;
        PL_RunSampleSpan(run, i, &at, &size);
        SInt64 decodeTime = run.startTime + SInt64(i) * run.durationPerSample;
        d->samples.push_back(SampleEntry{decodeTime, decodeTime + offset, at, size, run.descIndex,
                                         (run.sampleFlags & mediaSampleNotSync) == 0});
      }
    }
    d->byDisplay.resize(d->samples.size());
    for (size_t i = 0; i < d->byDisplay.size(); ++i) d->byDisplay[i] = UInt32(i);
    std::stable_sort(d->byDisplay.begin(), d->byDisplay.end(), [d](UInt32 a, UInt32 b) {
      return d->samples[a].displayTime < d->samples[b].displayTime;
    });
    d->displayEnds.resize(d->byDisplay.size());
    for (size_t i = 0; i < d->byDisplay.size(); ++i) {
      SInt64 end = i + 1 < d->byDisplay.size() ? d->samples[d->byDisplay[i + 1]].displayTime
                                               : d->samples[d->byDisplay[i]].displayTime +
                                                     (m->duration - d->samples[d->byDisplay[i]].decodeTime);
      d->displayEnds[i] = end;
    }
  } catch (const std::bad_alloc &) {
    d->indexedCount = -1;
    return memFullErr;
  }
  d->indexedCount = m->sampleCount;
  d->nextToSend = -1;
  d->pictureSample = -1;
  return noErr;
}

// The decode-order index of the sample shown at a display time; -1 when none is.
SInt64 SampleShownAt(const PL_MediaDecoder *d, SInt64 time) {
  if (d->byDisplay.empty()) return -1;
  auto it = std::upper_bound(d->byDisplay.begin(), d->byDisplay.end(), time,
                             [d](SInt64 t, UInt32 i) { return t < d->samples[i].displayTime; });
  if (it == d->byDisplay.begin()) return -1;
  size_t k = size_t(it - d->byDisplay.begin()) - 1;
  if (time >= d->displayEnds[k]) return -1;
  return d->byDisplay[k];
}

OSErr EnsureCodec(PL_MediaDecoder *d, UInt32 descIndex) {
  if (d->codec && d->codecDesc == descIndex) return noErr;
  d->codec.reset();
  d->nextToSend = -1;
  d->pictureSample = -1;
  if (d->descHandle == nullptr) d->descHandle = NewHandle(0);
  if (d->descHandle == nullptr) return memFullErr;
  GetMediaSampleDescription(d->media, SInt32(descIndex), reinterpret_cast<SampleDescriptionHandle>(d->descHandle));
  OSErr err = GetMoviesError();
  if (err != noErr) return err;
  err = OpenCodec(reinterpret_cast<ImageDescriptionHandle>(d->descHandle), !d->intraOnly, &d->codec);
  if (err != noErr) return err;
  d->codecDesc = descIndex;
  d->freshCodec = true;
  ++d->restarts;
  return noErr;
}

OSErr ReadSample(PL_MediaDecoder *d, const SampleEntry &s) {
  // Sizes come from the file: a sample that reaches past the file's end is not allocated for.
  int fd = -1;
  UInt64 fileSize = 0;
  OSErr err = PL_MediaDataFile(d->media, s.descIndex, &fd, &fileSize);
  if (err != noErr) return err;
  if (s.offset < 0 || UInt64(s.offset) > fileSize || s.size > fileSize - UInt64(s.offset)) return eofErr;
  if (s.size > 0x40000000) return codecBadDataErr;  // no picture sample is a gigabyte
  try {
    d->data.resize(size_t(s.size));
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  return PL_MediaReadData(d->media, s.descIndex, s.offset, d->data.data(), d->data.size());
}

// Brings the picture of sample `target` into the codec's frame.
OSErr DecodeSample(PL_MediaDecoder *d, SInt64 target, SourcePicture *picture) {
  const SampleEntry &t = d->samples[size_t(target)];
  OSErr err = EnsureCodec(d, t.descIndex);
  if (err != noErr) return err;
  ImageCodec *codec = d->codec.get();
  if (codec->own422 || d->intraOnly) {
    if (d->pictureSample == target && !codec->own422) {
      *picture = PictureOfFrame(codec->frame);
      return noErr;
    }
    err = ReadSample(d, t);
    if (err != noErr) return err;
    d->pictureSample = -1;
    ++d->samplesDecoded;
    err = DecodeOne(codec, d->data.data(), d->data.size(), t.sync, picture);
    if (err == noErr) d->pictureSample = target;
    return err;
  }
  if (d->pictureSample == target && codec->havePicture) {
    *picture = PictureOfFrame(codec->frame);
    return noErr;
  }
  // Start from the sync sample before the target unless the codec runs towards it already. A sync sample
  // shown after the target (an open group of pictures: pictures that follow it in decode order but come
  // before it on screen lean on the group before) cannot start the decoding for it.
  SInt64 sync = target;
  while (sync > 0 && (!d->samples[size_t(sync)].sync || d->samples[size_t(sync)].displayTime > t.displayTime)) --sync;
  bool restart = d->nextToSend < 0 || t.displayTime <= d->lastOutDisplay || sync > d->nextToSend ||
                 target < d->nextToSend - 64;
  if (restart) {
    if (!d->freshCodec) {
      avcodec_flush_buffers(codec->context);
      ++d->restarts;
    }
    d->nextToSend = sync;
    d->lastOutDisplay = -1;
    d->pictureSample = -1;
  }
  d->freshCodec = false;
  bool draining = false;
  for (;;) {
    int got = ReceivePicture(codec, &err);
    if (got == 1) {
      SInt64 shown = codec->frame->pts;
      d->lastOutDisplay = shown;
      if (shown >= t.displayTime) {
        d->pictureSample = target;
        *picture = PictureOfFrame(codec->frame);
        return noErr;
      }
      continue;
    }
    if (got < 0 || err != noErr) {
      // Drained (or failed) without the picture: the codec starts afresh next time.
      avcodec_flush_buffers(codec->context);
      d->nextToSend = -1;
      d->pictureSample = -1;
      return err != noErr ? err : OSErr(codecBadDataErr);
    }
    if (draining) continue;
    if (d->nextToSend >= SInt64(d->samples.size()) || d->samples[size_t(d->nextToSend)].descIndex != t.descIndex) {
      err = SendSample(codec, nullptr, 0, 0, false);
      draining = true;
    } else {
      const SampleEntry &s = d->samples[size_t(d->nextToSend)];
      err = ReadSample(d, s);
      if (err == noErr) err = SendSample(codec, d->data.data(), d->data.size(), s.displayTime, s.sync);
      ++d->nextToSend;
      ++d->samplesDecoded;
    }
    if (err != noErr) {
      avcodec_flush_buffers(codec->context);
      d->nextToSend = -1;
      d->pictureSample = -1;
      return err;
    }
  }
}

}  // namespace

OSErr PL_NewMediaDecoder(Media media, PL_MediaDecoder **decoder) {
  if (decoder == nullptr) return paramErr;
  *decoder = nullptr;
  if (media == nullptr || media->mediaType != VideoMediaType) return invalidMedia;
  auto d = std::make_unique<PL_MediaDecoder>();
  d->media = media;
  *decoder = d.release();
  return noErr;
}

void PL_DisposeMediaDecoder(PL_MediaDecoder *decoder) { delete decoder; }

OSErr PL_MediaDecoderDraw(PL_MediaDecoder *d, TimeValue64 mediaTime, PixMapHandle dst, const Rect *dstRect,
                          Fixed *gamma) {
  if (d == nullptr || dst == nullptr || *dst == nullptr) return paramErr;
  OSErr err = BuildIndex(d);
  if (err != noErr) return err;
  SInt64 target = SampleShownAt(d, mediaTime);
  if (target < 0) return invalidTime;
  SourcePicture picture;
  err = DecodeSample(d, target, &picture);
  if (err != noErr) return err;
  const DescInfo &desc = d->codec->desc;
  Rect whole = dstRect != nullptr ? *dstRect : Rect{0, 0, SInt16(desc.height), SInt16(desc.width)};
  err = DrawPicture(&d->scaler, picture, desc.width, desc.height, nullptr, whole, *dst);
  if (err != noErr) return err;
  QTSetPixMapHandleGammaLevel(dst, desc.gamma);
  if (gamma != nullptr) *gamma = desc.gamma;
  return noErr;
}

OSErr PL_GetMediaDecodedPixelFormat(Media media, OSType *pixelFormat) {
  if (pixelFormat == nullptr) return paramErr;
  *pixelFormat = 0;
  PL_MediaDecoder *made = nullptr;
  OSErr err = PL_NewMediaDecoder(media, &made);
  if (err != noErr) return err;
  std::unique_ptr<PL_MediaDecoder> d(made);
  if ((err = BuildIndex(d.get())) != noErr) return err;
  if (d->byDisplay.empty()) return invalidMedia;
  SourcePicture picture;
  if ((err = DecodeSample(d.get(), SInt64(d->byDisplay[0]), &picture)) != noErr) return err;
  switch (picture.format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P: *pixelFormat = kYUV420PixelFormat; break;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_UYVY422:
    case AV_PIX_FMT_YUYV422: *pixelFormat = k2vuyPixelFormat; break;
    default: break;
  }
  return noErr;
}

void PL_MediaDecoderCounts(const PL_MediaDecoder *decoder, SInt64 *samplesDecoded, SInt64 *restarts) {
  if (samplesDecoded != nullptr) *samplesDecoded = decoder != nullptr ? decoder->samplesDecoded : 0;
  if (restarts != nullptr) *restarts = decoder != nullptr ? decoder->restarts : 0;
}
