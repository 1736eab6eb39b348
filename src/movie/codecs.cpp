// Codec families, 'y420' buffers, DV types and portable-device settings.
#include "movie/codecs.h"

#include "general/geometry.h"
#include "movie/export_settings.h"
#include "movie/movie_errors.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/compression.h"
#include "platform/movie/decompression.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/toolbox_time.h"
#include "platform/movie/movie_properties.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

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

// ---- Codec lookup, pixel formats, enforced properties, compressed sizes ----

namespace {

// The codec list for the time of one call.
struct NameList {
  CodecNameSpecListPtr list = nullptr;
  OSErr err = GetCodecNameList(&list, 1);
  ~NameList() { DisposeCodecNameList(list); }
  NameList() = default;
  NameList(const NameList &) = delete;
  NameList &operator=(const NameList &) = delete;
  SInt16 count() const { return list != nullptr ? list->count : 0; }
  const CodecNameSpec &at(SInt16 i) const { return list->list[i]; }
};

std::string TypeNameText(const CodecNameSpec &spec) {
  return std::string(reinterpret_cast<const char *>(spec.typeName + 1), spec.typeName[0]);
}

// The entries of a 'cpix' list, read within the resource's size.
std::vector<OSType> PixelFormats(Handle resource) {
  std::vector<OSType> formats;
  if (resource == nullptr || *resource == nullptr) return formats;
  const UInt8 *b = reinterpret_cast<const UInt8 *>(*resource);
  Size size = GetHandleSize(resource);
  for (Size at = 0; at + 4 <= size; at += 4) formats.push_back(PL_GetBE32(b + at));
  return formats;
}

// A component's default instance for the time of one call.
struct DefaultCompressor {
  ComponentInstance ci = nullptr;
  OSErr err;
  explicit DefaultCompressor(OSType cType) : err(OpenADefaultComponent(compressorComponentType, cType, &ci)) {}
  ~DefaultCompressor() { CloseComponent(ci); }
  DefaultCompressor(const DefaultCompressor &) = delete;
  DefaultCompressor &operator=(const DefaultCompressor &) = delete;
};

}  // namespace

OSStatus QT_GetCodecNameSpec(OSType cType, CodecComponent codec, CodecNameSpec *nameSpec) {
  if (nameSpec == nullptr) return paramErr;
  NameList names;
  if (names.err != noErr) return names.err;
  for (SInt16 i = 0; i < names.count(); ++i) {
    const CodecNameSpec &e = names.at(i);
    if ((cType != 0 && e.cType == cType) || (codec != nullptr && e.codec == codec)) {
      // The list's name handle goes with the list: the caller gets a copy of its own.
      Handle name = e.name;
      if (name != nullptr) {
        OSErr err = HandToHand(&name);
        if (err != noErr) return err;
      }
      *nameSpec = e;
      nameSpec->name = name;
      return noErr;
    }
  }
  return noErr;
}

OSStatus QT_IsCodecPresent(CodecType cType, const char *codecName, Boolean *isCodecPresent) {
  if (isCodecPresent == nullptr) return paramErr;
  NameList names;
  if (names.err != noErr) return names.err;
  for (SInt16 i = 0; i < names.count(); ++i) {
    const CodecNameSpec &e = names.at(i);
    if ((cType != 0 && e.cType == cType) || (codecName != nullptr && TypeNameText(e) == codecName)) {
      *isCodecPresent = true;
      break;
    }
  }
  return noErr;
}

OSStatus QT_GetCodecType(const char *name, OSType *cType) {
  if (name == nullptr || cType == nullptr) return paramErr;
  NameList names;
  if (names.err != noErr) return names.err;
  for (SInt16 i = 0; i < names.count(); ++i) {
    if (TypeNameText(names.at(i)) == name) {
      *cType = names.at(i).cType;
      break;
    }
  }
  return noErr;
}

OSStatus QT_GetCodecName(OSType cType, char *name) {
  if (name == nullptr) return paramErr;
  name[0] = 0;
  NameList names;
  if (names.err != noErr) return names.err;
  for (SInt16 i = 0; i < names.count(); ++i) {
    if (names.at(i).cType == cType) {
      std::string text = TypeNameText(names.at(i));
      std::memcpy(name, text.c_str(), text.size() + 1);
      break;
    }
  }
  return noErr;
}

OSStatus QT_GetYC_IO_Codecs(OSType ycType, SInt32 *numCodecsFound, ComponentDescription **compDesc, Boolean input) {
  if (numCodecsFound == nullptr || compDesc == nullptr) return paramErr;
  *numCodecsFound = 0;
  *compDesc = nullptr;
  ComponentDescription looking{input ? compressorComponentType : decompressorComponentType, 0, 0, 0, 0};
  QTAtomContainer resources = nullptr;
  OSErr err = GetComponentPublicResourceList(kCodecPixelFormatListResourceType, 1, 0, &looking, nullptr, nullptr,
                                             &resources);
  if (err != noErr) return err;
  std::vector<ComponentDescription> found;
  SInt16 count = QTCountChildrenOfType(resources, kParentAtomIsContainer, 'comp');
  for (SInt16 i = 1; i <= count && err == noErr; ++i) {
    QTAtom comp = QTFindChildByIndex(resources, kParentAtomIsContainer, 'comp', i, nullptr);
    QTAtom cmpd = QTFindChildByIndex(resources, comp, 'cmpd', 1, nullptr);
    QTAtom cpix = QTFindChildByIndex(resources, comp, kCodecPixelFormatListResourceType, 1, nullptr);
    if (comp == 0 || cmpd == 0 || cpix == 0) continue;
    SInt32 size = 0;
    Ptr data = nullptr;
    if (QTGetAtomDataPtr(resources, cpix, &size, &data) != noErr || data == nullptr) continue;
    bool takes = false;
    for (SInt32 at = 0; at + 4 <= size && !takes; at += 4) {
      OSType f = PL_GetBE32(reinterpret_cast<const UInt8 *>(data) + at);
      takes = ycType != 0 ? f == ycType : QT_IsYC_CodecType(f);
    }
    if (!takes) continue;
    SInt32 descSize = 0;
    Ptr desc = nullptr;
    if (QTGetAtomDataPtr(resources, cmpd, &descSize, &desc) != noErr || descSize < 20) continue;
    const UInt8 *d = reinterpret_cast<const UInt8 *>(desc);
    ComponentDescription exact{PL_GetBE32(d), PL_GetBE32(d + 4), PL_GetBE32(d + 8), PL_GetBE32(d + 12), 0};
    Component component = FindNextComponent(nullptr, &exact);
    if (component == nullptr) continue;
    ComponentDescription info{};
    err = GetComponentInfo(component, &info, nullptr, nullptr, nullptr);
    if (err == noErr) found.push_back(info);
  }
  QTDisposeAtomContainer(resources);
  if (err != noErr) return err;
  if (found.empty()) return noErr;
  Ptr block = NewPtr(Size(found.size() * sizeof(ComponentDescription)));
  if (block == nullptr) return memFullErr;
  std::memcpy(block, found.data(), found.size() * sizeof(ComponentDescription));
  *compDesc = reinterpret_cast<ComponentDescription *>(block);
  *numCodecsFound = SInt32(found.size());
  return noErr;
}

OSStatus QT_GetCPixList(OSType cType, CodecComponent spec, Handle *theResource, Boolean compressing) {
  if (theResource == nullptr) return paramErr;
  *theResource = nullptr;
  CompressorComponent comp = nullptr;
  DecompressorComponent decomp = nullptr;
  OSErr err = FindCodec(cType, spec, &comp, &decomp);
  if (err != noErr) return err;
  Component c = compressing ? comp : decomp;
  if (c == nullptr) return noCodecErr;
  return GetComponentPublicResource(c, kCodecPixelFormatListResourceType, 1, theResource);
}

OSStatus QT_CodecSuppPixelFormat(OSType cType, OSType pixelType, Boolean *pixelFormatSupported, Boolean compressing) {
  if (pixelFormatSupported == nullptr) return paramErr;
  *pixelFormatSupported = false;
  Handle list = nullptr;
  OSErr err = QT_GetCPixList(cType, bestFidelityCodec, &list, compressing);
  if (err == resNotFound) return noErr;
  if (err != noErr) return err;
  std::vector<OSType> formats = PixelFormats(list);
  *pixelFormatSupported = std::find(formats.begin(), formats.end(), pixelType) != formats.end();
  DisposeHandle(list);
  return noErr;
}

OSStatus QT_GetCodecFavoritePixelFormat(OSType cType, OSType *pixelType, Boolean compressing) {
  if (pixelType == nullptr) return paramErr;
  *pixelType = 0;
  Handle list = nullptr;
  OSErr err = QT_GetCPixList(cType, bestFidelityCodec, &list, compressing);
  if (err == resNotFound) return noErr;
  if (err != noErr) return err;
  std::vector<OSType> formats = PixelFormats(list);
  if (!formats.empty()) *pixelType = formats.front();
  DisposeHandle(list);
  return noErr;
}

OSStatus QT_CanCodecChFieldDomLossless(OSType cType, Boolean *canChFieldDomLossless) {
  if (canChFieldDomLossless == nullptr) return paramErr;
  *canChFieldDomLossless = false;
  DefaultCompressor compressor(cType);
  if (compressor.err != noErr) return kQT_NoComponentFoundErr;
  *canChFieldDomLossless =
      cType != 'jpeg' && ComponentFunctionImplemented(compressor.ci, kImageCodecExtractAndCombineFieldsSelect) != 0;
  return noErr;
}

OSStatus QT_GetImageCodecUserSett(OSType cType, Handle settings) {
  DefaultCompressor compressor(cType);
  if (compressor.err != noErr) return kQT_NoComponentFoundErr;
  // The compressor has no dialog here: the caller's settings come back as they went in.
  Rect r{0, 0, 200, 200};
  return ImageCodecRequestSettings(compressor.ci, settings, &r, nullptr);
}

OSStatus QT_GetCompressorEnforcedProperties(OSType cType, Handle codecSett, const QT_DV_ExportSettings *dvSett,
                                            QT_ComprEnfProps *comprEnfProps) {
  if (comprEnfProps == nullptr) return paramErr;
  std::memset(comprEnfProps, 0, sizeof(*comprEnfProps));
  DefaultCompressor compressor(cType);
  if (compressor.err != noErr) return compressor.err;
  ComponentInstance ci = compressor.ci;
  OSStatus err = noErr;
  if (QT_IsDV_CodecType(cType) && dvSett != nullptr) err = QT_SetDV_SettingsAsProps(ci, dvSett);
  const Size settSize = codecSett != nullptr && *codecSett != nullptr ? GetHandleSize(codecSett) : 0;
  if (err == noErr && settSize > 0) err = ImageCodecSetSettings(ci, codecSett);
  if (err != noErr) return err;

  struct Prop {
    OSType id;
    void *value;
    ByteCount size;
  };
  const Prop props[] = {
      {kICMImageCompressorPropertyID_EnforcedWidth, &comprEnfProps->width, 4},
      {kICMImageCompressorPropertyID_EnforcedHeight, &comprEnfProps->height, 4},
      {kICMImageCompressorPropertyID_EnforcedCleanAperture, &comprEnfProps->clap, sizeof(comprEnfProps->clap)},
      {kICMImageCompressorPropertyID_EnforcedPixelAspectRatio, &comprEnfProps->pasp, sizeof(comprEnfProps->pasp)},
      {kICMImageCompressorPropertyID_EnforcedFieldInfo, &comprEnfProps->fiel, sizeof(comprEnfProps->fiel)},
  };
  OSStatus result = noErr;
  for (const Prop &p : props) {
    ByteCount used = 0;
    OSStatus e = QTGetComponentProperty(ci, kQTPropertyClass_ImageCompressor, p.id, p.size, p.value, &used);
    if (e == kQTPropertyNotSupportedErr) continue;
    if (e == kQTPropertyAskLaterErr) {
      result = e;
      continue;
    }
    if (e != noErr) return e;
  }

  if (cType == 'icod') {
    // The settings say the frame kind at bytes 8 to 11 and the field information at 22 and 23 (native
    // order); settings too short to hold them count as another kind with no field information.
    OSType kind = 0;
    if (settSize >= 12) std::memcpy(&kind, *codecSett + 8, 4);
    QT_PaspExt pasp{0, 0};
    UInt32 clapW = 0, clapH = 0;
    if (kind == '720p') pasp = {1, 1}, clapW = 1248, clapH = 702;
    else if (kind == '108i') pasp = {4, 3}, clapW = 1416, clapH = 1062;
    comprEnfProps->pasp = pasp;
    comprEnfProps->clap = QT_ClapExt{clapW, 1, clapH, 1, 0, 1, 0, 1};
    if (settSize >= 24) std::memcpy(&comprEnfProps->fiel, *codecSett + 22, 2);
    else comprEnfProps->fiel = QT_FielExt{0, 0};
  }
  if (QT_IsDVCProHD_CodecType(cType)) {
    if (comprEnfProps->height == 1080) comprEnfProps->width = comprEnfProps->pasp.hSpacing == 3 ? 1280 : 1440;
    else if (comprEnfProps->height == 720) comprEnfProps->width = 960;
  }
  return result;
}

OSStatus QT_GetMaxCompressionSize(const Rect *srcRect, CodecQ quality, OSType cType, SInt32 *size) {
  if (srcRect == nullptr || size == nullptr) return paramErr;
  GWorldPtr world = nullptr;
  OSErr err = QTNewGWorld(&world, k2vuyPixelFormat, srcRect, nullptr, nullptr, 0);
  if (err != noErr) return err;
  err = GetMaxCompressionSize(GetGWorldPixMap(world), srcRect, 0, quality, cType, anyCodec, size);
  DisposeGWorld(world);
  return err;
}

OSStatus QT_GetMaxCompressionSizeFromMovieSimple(Movie movie, CodecQ quality, OSType cType, SInt32 *maxSize) {
  if (movie == nullptr || maxSize == nullptr) return paramErr;
  Rect box{};
  GetMovieBox(movie, &box);
  GWorldPtr world = nullptr;
  OSErr err = NewGWorld(&world, 32, &box, nullptr, nullptr, 0);
  if (err != noErr) return err;
  err = GetMaxCompressionSize(GetGWorldPixMap(world), &box, 32, quality, cType, bestFidelityCodec, maxSize);
  DisposeGWorld(world);
  return err;
}

OSStatus QT_CompressPixmap(PixMapHandle pixmap, SInt16 depth, CodecQ codecQuality, OSType codecType,
                           ImageDescriptionHandle imageDesc, Handle compressedData) {
  if (pixmap == nullptr || *pixmap == nullptr || imageDesc == nullptr || compressedData == nullptr) return paramErr;
  Rect bounds = (*pixmap)->bounds;
  SInt32 maxSize = 0;
  OSErr err = GetMaxCompressionSize(pixmap, &bounds, depth, codecQuality, codecType, anyCodec, &maxSize);
  if (err != noErr) return err;
  SetHandleSize(compressedData, maxSize);
  if ((err = MemError()) != noErr) return err;
  HLock(compressedData);
  err = CompressImage(pixmap, &bounds, codecQuality, codecType, imageDesc, *compressedData);
  HUnlock(compressedData);
  if (err != noErr) return err;
  SetHandleSize(compressedData, (*imageDesc)->dataSize);
  return MemError();
}

OSStatus QT_GetMaxCompressionSizeFromMovie(Movie movie, Boolean isMpeg, SInt32 numMovieFrames, TimeValue frameDuration,
                                           CodecQ quality, OSType cType, Boolean simple, SInt32 *absMaxSize,
                                           SInt32 *maxSize, SInt32 *averageSize, SInt32 *stddev) {
  if (movie == nullptr) return paramErr;
  SInt32 frames = numMovieFrames;
  if (!isMpeg) {
    OSErr err = QT_GetNumVisualMovieSamples(movie, 0, GetMovieDuration(movie), &frames);
    if (err != noErr) return err;
  }
  const SInt32 tests = frames <= 9 ? std::max<SInt32>(frames, 0) : 10;
  if (tests == 0) return noMovieFound;

  Rect box{};
  GetMovieBox(movie, &box);
  GWorldPtr world = nullptr;
  OSErr err = NewGWorld(&world, 32, &box, nullptr, nullptr, 0);
  if (err != noErr) return err;
  PixMapHandle pm = GetGWorldPixMap(world);
  // The movie draws into the test world for the time of the call only: its own world, activity and
  // drawing procedure come back afterwards, so it never keeps a world that is freed here.
  CGrafPtr oldPort = nullptr;
  GDHandle oldDevice = nullptr;
  GetMovieGWorld(movie, &oldPort, &oldDevice);
  const Boolean wasActive = GetMovieActive(movie);
  const TimeValue oldTime = GetMovieTime(movie, nullptr);
  Boolean drawn = false;
  SetMovieGWorld(movie, world, nullptr);
  SetMovieActive(movie, true);
  SetMovieDrawingCompleteProc(movie, movieDrawingCallAlways, QT_MinimalDrawingCompleteProc, long(&drawn));

  auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
  ImageSequence seq = 0;
  SInt32 absMax = 0;
  std::vector<SInt64> sizes;
  err = desc == nullptr ? OSErr(memFullErr) : OSErr(noErr);
  if (err == noErr)
    err = CompressSequenceBegin(&seq, pm, nullptr, &box, nullptr, 32, cType, bestFidelityCodec, quality, 0, 0, nullptr,
                                0, desc);
  if (err == noErr) err = GetMaxCompressionSize(pm, &box, 32, quality, cType, bestFidelityCodec, &absMax);
  std::vector<UInt8> buffer;
  if (err == noErr && !simple) buffer.resize(size_t(absMax));
  for (SInt32 i = 0; err == noErr && !simple && i < tests; ++i) {
    SInt32 frame = SInt32(SInt64(frames) * i / tests);
    TimeValue t = isMpeg ? TimeValue(SInt64(frame) * frameDuration) : QT_MovieFrameNumberToTime(movie, frame);
    SetMovieTimeValue(movie, t);
    drawn = false;
    // A movie draws on the first task after its time changed; a few more allow for one that waits.
    for (int task = 0; task < 8 && !drawn; ++task) MoviesTask(movie, 0);
    err = GetMovieStatus(movie, nullptr);
    if (err == noErr && !drawn) err = codecErr;
    SInt32 size = 0;
    if (err == noErr)
      err = CompressSequenceFrame(seq, pm, &box, codecFlagUpdatePrevious, reinterpret_cast<Ptr>(buffer.data()), &size,
                                  nullptr, nullptr);
    if (err == noErr) sizes.push_back(size);
  }
  if (err == noErr) {
    SInt64 sum = 0, largest = 0;
    for (SInt64 s : sizes) sum += s, largest = std::max(largest, s);
    SInt64 average = sum / tests, deviation = 0;
    for (SInt64 s : sizes) deviation += s > average ? s - average : average - s;
    deviation /= tests;
    SInt64 estimate = std::max(average + 3 * deviation, largest + deviation) * 3 / 2;
    if (absMaxSize != nullptr) *absMaxSize = absMax;
    if (maxSize != nullptr) *maxSize = SInt32(std::min<SInt64>(estimate, 0x7FFFFFFF));
    if (averageSize != nullptr) *averageSize = SInt32(average);
    if (stddev != nullptr) *stddev = SInt32(deviation);
  }
  if (seq != 0) CDSequenceEnd(seq);
  if (desc != nullptr) DisposeHandle(reinterpret_cast<Handle>(desc));
  SetMovieDrawingCompleteProc(movie, 0, nullptr, 0);
  if (oldPort != nullptr) {
    SetMovieGWorld(movie, oldPort, oldDevice);
  } else {
    // A null world means the current one: make that none for the moment, so the movie keeps none.
    CGrafPtr current = nullptr;
    GDHandle currentDevice = nullptr;
    GetGWorld(&current, &currentDevice);
    SetGWorld(nullptr, nullptr);
    SetMovieGWorld(movie, nullptr, nullptr);
    SetGWorld(current, currentDevice);
  }
  SetMovieActive(movie, wasActive);
  SetMovieTimeValue(movie, oldTime);
  DisposeGWorld(world);
  return err;
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
