// Codec families, 'y420' buffers, DV types and portable-device settings.
#include "movie/codecs.h"

#include "general/geometry.h"
#include "platform/movie/atoms.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

bool OneOf(OSType t, std::initializer_list<OSType> codes) { return std::find(codes.begin(), codes.end(), t) != codes.end(); }

struct Y420Layout {
  SInt64 rowBytesY;
  SInt64 height4;
};

Y420Layout LayoutFor(SInt32 height, SInt32 width) {
  SInt64 w = std::max<SInt32>(width, 0), h = std::max<SInt32>(height, 0);
  return Y420Layout{(w + 31) & ~SInt64(31), (h + 3) & ~SInt64(3)};
}

constexpr size_t kY420HeaderWords = 6;

void SwapWords(void *ptr) {
  UInt8 *p = static_cast<UInt8 *>(ptr);
  for (size_t i = 0; i < kY420HeaderWords; ++i) {
    UInt32 v;
    std::memcpy(&v, p + 4 * i, 4);
    v = __builtin_bswap32(v);
    std::memcpy(p + 4 * i, &v, 4);
  }
}

struct DvRow {
  OSType dvType, pal, ntsc;
};
constexpr DvRow kDvTable[] = {{'dv  ', 'dvcp', 'dvc '}, {'dvp ', 'dvpp', 'dvc '}, {'dvp5', 'dv5p', 'dv5n'}};

char Letter(UInt64 sum) {
  unsigned v = unsigned(sum % 52);
  return char(v < 26 ? 'a' + v : 'A' + (v - 26));
}

// Linear from (p0, r0) to (p1, r1) at p, single precision; the share of the way first, so that the ends
// come out exact.
float Interpolate(float p, float p0, float r0, float p1, float r1) { return r0 + (p - p0) / (p1 - p0) * (r1 - r0); }

}  // namespace

// ---- 4:2:0 buffers ----

SInt32 QT_GetY420_FrameSize(SInt32 height, SInt32 width) {
  Y420Layout l = LayoutFor(height, width);
  SInt64 size = l.rowBytesY * l.height4 * 3 / 2 + 32;
  return SInt32(std::min<SInt64>(size, 0x7FFFFFFF));
}

void QT_SetY420_Header(void *ptr, SInt32 height, SInt32 width) {
  Y420Layout l = LayoutFor(height, width);
  SInt64 cb = 32 + l.rowBytesY * l.height4;
  SInt64 cr = cb + l.rowBytesY * l.height4 / 4;
  const UInt32 words[kY420HeaderWords] = {32u, UInt32(l.rowBytesY), UInt32(cb), UInt32(l.rowBytesY / 2), UInt32(cr),
                                          UInt32(l.rowBytesY / 2)};
  std::memcpy(ptr, words, sizeof(words));
  QT_FlipPlanarPixmapInfoYUV420_NtoB(ptr);
}

void QT_FlipPlanarPixmapInfoYUV420_NtoB(void *ptr) { SwapWords(ptr); }

void QT_FlipPlanarPixmapInfoYUV420_BtoN(void *ptr) { SwapWords(ptr); }

// ---- Codec families ----

Boolean QT_IsYC_CodecType(OSType t) {
  return OneOf(t, {'yuv2', '2vuy', 'myuv', 'y420', 'syv9', 'r408', 'v308', 'v408', 'v216', 'v210', 'yuvu', 'yuvs',
                   'v410'});
}

Boolean QT_IsFixedSizeCompressor(OSType t) { return QT_IsYC_CodecType(t) || t == 'raw ' || QT_IsDV_CodecType(t); }

Boolean QT_IsDV_CodecType(OSType t) { return OneOf(t, {'dvc ', 'dvcp', 'dvpp', 'dv5n', 'dv5p'}); }

Boolean QT_IsDVCProHD_CodecType(OSType t) { return OneOf(t, {'dvh5', 'dvh6', 'dvhp', 'dvhq'}); }

Boolean QT_CTypeHasEnforcedDims(OSType t) { return OneOf(t, {'dvc ', 'dvpp', 'dv5n', 'dv5p', 'dvhp', 'dvh6', 'dvh5'}); }

Boolean QT_IsJPEG_CodecType(OSType t) { return OneOf(t, {'jpeg', 'mjpa', 'mjpb', 'avr ', 'dmb1'}); }

Boolean QT_IsRGB_CodecType(OSType t) {
  return OneOf(t, {'raw ', 'rle ', 'Mczm', 'b64a', 'b48r', 'b32a', 'b16g', 'WRLE', 'WRAW'});
}

Boolean QT_Is_iDeviceSubType(OSType t) { return OneOf(t, {'M4V ', 'M4VH', 'M4VP', 'iphE'}); }

// ---- DV types ----

OSType QT_GetDV_CodecType(OSType dvType, Boolean exportPAL) {
  for (const DvRow &r : kDvTable)
    if (r.dvType == dvType) return exportPAL ? r.pal : r.ntsc;
  return 0;
}

void QT_GetDV_Type(OSType dvCodecType, OSType *dvType, Boolean *exportPAL) {
  for (const DvRow &r : kDvTable) {
    if (r.pal == dvCodecType || r.ntsc == dvCodecType) {
      *dvType = r.dvType;
      *exportPAL = r.pal == dvCodecType;
      return;
    }
  }
  *dvType = 0;
  *exportPAL = 255;
}

// ---- Names ----

OSType GL_NameToFourCC(const char *compName) {
  UInt64 even = 0, odd = 0, evenWeighted = 0, oddWeighted = 0;
  size_t length = compName ? std::strlen(compName) : 0;
  for (size_t i = 0; i < length; ++i) {
    UInt64 code = UInt8(compName[i]);
    if (i % 2 == 0) {
      even += code;
      evenWeighted += code * i;
    } else {
      odd += code;
      oddWeighted += code * i;
    }
  }
  const char c[4] = {Letter(even), Letter(odd), Letter(evenWeighted), Letter(oddWeighted)};
  return PL_FourCC(c);
}

// ---- Portable devices ----

void QT_Get_iDeviceBox(OSType subType, Boolean small_iPod, float frameRate, Rect *box) {
  SInt16 height = 0, width = 0;
  switch (subType) {
    case 'M4V ':
      height = small_iPod ? 240 : 480;
      width = small_iPod ? 320 : 640;
      break;
    case 'iphE':
      height = 144;
      width = 176;
      break;
    case 'M4VP':
      height = 360;
      width = 480;
      break;
    case 'M4VH':
      height = frameRate < 24.999f ? 720 : 540;
      width = frameRate < 24.999f ? 1280 : 960;
      break;
    default:
      break;
  }
  GL_SetRectTlbr(box, 0, 0, height, width);
}

void QT_ScaleTo_iDeviceBox(OSType subType, Boolean small_iPod, float frameRate, const Rect *movieRect,
                           Boolean scaleUp, Rect *scaledMovieRect) {
  Rect box;
  QT_Get_iDeviceBox(subType, small_iPod, frameRate, &box);
  SInt32 w = SInt32(movieRect->right) - movieRect->left, h = SInt32(movieRect->bottom) - movieRect->top;
  SInt32 bw = box.right - box.left, bh = box.bottom - box.top;
  if (w > bw || h > bh) {
    GL_FitRectInBox(movieRect, &box, scaledMovieRect, nullptr, nullptr);
  } else if (w < bw && h < bh) {
    if (scaleUp) GL_FitRectInBox(movieRect, &box, scaledMovieRect, nullptr, nullptr);
  } else {
    *scaledMovieRect = *movieRect;
  }
}

UInt32 QT_Get_iDeviceDataRate(OSType subType, SInt32 height, SInt32 width) {
  float p = float(SInt64(width) * SInt64(height));
  float rate = 0.0f;
  switch (subType) {
    case 'M4V ':
      rate = p <= 76799.0f ? 112000.0f : Interpolate(p, 76800.0f, 112000.0f, 307200.0f, 203500.0f);
      break;
    case 'M4VP':
      rate = p <= 76799.0f ? 103500.0f : Interpolate(p, 76800.0f, 103500.0f, 172800.0f, 128500.0f);
      break;
    case 'M4VH':
      if (p <= 76799.0f)
        rate = 112000.0f;
      else if (p <= 407039.0f)
        rate = Interpolate(p, 76800.0f, 112000.0f, 407040.0f, 391000.0f);
      else
        rate = Interpolate(p, 407040.0f, 391000.0f, 921600.0f, 641000.0f);
      break;
    case 'iphE':
      rate = 10000.0f;
      break;
    default:
      return 0;
  }
  if (!(rate > 0.0f)) return 0;
  if (rate >= 4294967295.0f) return 0xFFFFFFFFu;
  return UInt32(rate);
}

float QT_Get_iDeviceFrameRate(OSType subType, float inFrameRate) {
  if (subType == 'iphE') return 15.0f;
  return std::min(inFrameRate, 30.0f);
}

// ==== Decompression and rendering ====

#include "movie/movie_errors.h"
#include "movie/movie_queries.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/decompression.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"

namespace {

// Row bytes of a buffer of `width` pixels in the format; 0 for a format the buffers are not laid out for.
SInt32 BufferRowBytes(OSType pixelFormat, SInt32 width) {
  switch (pixelFormat) {
    case '2vuy': case 'UYVY': case 'YVYU': case 'yuv2': case 'yuvs': case 'yuvu': return width * 2;
    case 8: case 40: return width;
    case 16: return width * 2;
    case 24: return width * 3;
    case 32: return width * 4;
    default: return 0;
  }
}

}  // namespace

OSStatus QT_DecompressImageToBuffer(Ptr sourcePtr, ImageDescriptionHandle desc, Ptr targetPtr, OSType pixelFormat) {
  if (sourcePtr == nullptr || targetPtr == nullptr || desc == nullptr || *desc == nullptr ||
      GetHandleSize(reinterpret_cast<Handle>(desc)) < Size(sizeof(ImageDescription)))
    return paramErr;
  SInt32 width = (*desc)->width, height = (*desc)->height;
  SInt32 rowBytes = BufferRowBytes(pixelFormat, width);
  if (rowBytes == 0) return kQT_DecompressImageErr;
  if (width <= 0 || height <= 0) return badImageDescription;
  Rect bounds{0, 0, SInt16(height), SInt16(width)};
  GWorldPtr world = nullptr;
  OSStatus err = QTNewGWorldFromPtr(&world, pixelFormat, &bounds, nullptr, nullptr, 0, targetPtr, rowBytes);
  if (err != noErr) return err;
  err = DecompressImage(sourcePtr, desc, GetGWorldPixMap(world), nullptr, nullptr, srcCopy, nullptr);
  DisposeGWorld(world);
  return err;
}

Boolean QT_CanRenderMovieToPixelFormat(Movie movie, OSType pixelFormat, Boolean checkOneVideoTrack) {
  if (pixelFormat <= 40) return true;
  if (movie == nullptr) return false;
  MatrixRecord matrix;
  GetMovieMatrix(movie, &matrix);
  if (GetMatrixType(&matrix) > scaleTranslateMatrixType) return false;
  Track video = QT_GetFirstVideoTrack(movie);
  if (video == nullptr) return false;
  Media media = GetTrackMedia(video);
  if (checkOneVideoTrack) {
    if (GetMovieIndTrackType(movie, 2, VisualMediaCharacteristic, movieTrackCharacteristic) != nullptr) return false;
    if (GetMediaSampleDescriptionCount(media) > 1) return false;
  }
  Handle desc = NewHandle(0);
  if (desc == nullptr) return false;
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  bool ok = GetMoviesError() == noErr && GetHandleSize(desc) >= Size(sizeof(ImageDescription)) &&
            PL_CanDecompressCodecType(reinterpret_cast<ImageDescriptionHandle>(desc)[0]->cType) &&
            PL_CanDecompressToPixelFormat(pixelFormat);
  DisposeHandle(desc);
  return ok;
}

OSStatus QT_TryToRenderMovieToPixelFormat(Movie movie, OSType pixelFormat) {
  if (movie == nullptr) return invalidMovie;
  Rect box;
  GetMovieBox(movie, &box);
  if (box.right <= box.left || box.bottom <= box.top) return invalidMovie;
  GWorldPtr world = nullptr;
  OSStatus err = QTNewGWorld(&world, pixelFormat, &box, nullptr, nullptr, 0);
  if (err != noErr) return err;
  CGrafPtr savedPort = nullptr;
  GDHandle savedDevice = nullptr;
  GetMovieGWorld(movie, &savedPort, &savedDevice);
  Boolean wasActive = GetMovieActive(movie);
  SetMovieGWorld(movie, world, nullptr);
  SetMovieActive(movie, true);
  MoviesTask(movie, 0);
  err = GetMovieStatus(movie, nullptr);
  SetMovieActive(movie, wasActive);
  // Back to the movie's own world (none when it had none).
  if (savedPort != nullptr) {
    SetMovieGWorld(movie, savedPort, savedDevice);
  } else {
    CGrafPtr current = nullptr;
    GetGWorld(&current, nullptr);
    SetGWorld(nullptr, nullptr);
    SetMovieGWorld(movie, nullptr, nullptr);
    SetGWorld(current, nullptr);
  }
  DisposeGWorld(world);
  return err;
}

OSStatus QT_TryToRenderMovieToGWorld(Movie movie, GWorldPtr gWorld) {
  if (movie == nullptr) return invalidMovie;
  SetMovieGWorld(movie, gWorld, nullptr);
  OSStatus err = GetMoviesError();
  if (err != noErr) return err;
  SetMovieActive(movie, true);
  MoviesTask(movie, 0);
  return GetMovieStatus(movie, nullptr);
}
