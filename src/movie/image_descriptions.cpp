// Image descriptions and their extensions.
#include "movie/image_descriptions.h"

#include "general/geometry.h"
#include "general/strings_text.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr char k2vuyName[] = "8-bit 4:2:2 Component Y'CbCr";

// Owns a handle for the length of a scope.
struct HandleHolder {
  Handle h = nullptr;
  ~HandleHolder() { DisposeHandle(h); }
  HandleHolder() = default;
  HandleHolder(const HandleHolder &) = delete;
  HandleHolder &operator=(const HandleHolder &) = delete;
};

bool ValidDescription(ImageDescriptionHandle desc) {
  return desc != nullptr && *desc != nullptr &&
         GetHandleSize(reinterpret_cast<Handle>(desc)) >= Size(sizeof(ImageDescription));
}

void SetPascalName(unsigned char *name, const char *text) {
  size_t n = std::min<size_t>(std::strlen(text), 31);
  std::memset(name, 0, 32);
  name[0] = UInt8(n);
  std::memcpy(name + 1, text, n);
}

// The media's first sample description in a new handle (owned by the holder).
OSStatus GetFirstDescription(Media media, HandleHolder *holder) {
  holder->h = NewHandle(0);
  if (holder->h == nullptr) return MemError();
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(holder->h));
  return GetMoviesError();
}

// Copies extension 1 of the type (which must hold at least `size` bytes) into out, as stored.
// *found false and noErr when the description has none.
OSStatus CopyExtensionData(ImageDescriptionHandle desc, OSType type, void *out, size_t size, Boolean *found) {
  *found = false;
  HandleHolder ext;
  OSStatus err = GetImageDescriptionExtension(desc, &ext.h, type, 1);
  if (err == codecExtensionNotFoundErr) return noErr;
  if (err != noErr) return err;
  if (size_t(GetHandleSize(ext.h)) < size) return badImageDescription;
  std::memcpy(out, *ext.h, size);
  *found = true;
  return noErr;
}

// Differences of the fixed fields, desc2 - desc1, wrapping like the field's own type.
template <typename T>
void DiffField(T ImageDescription::*field, const ImageDescription &d1, const ImageDescription &d2,
               const ImageDescription &mask, ImageDescription &diff) {
  if (mask.*field != 0) diff.*field = T(std::make_unsigned_t<T>(d2.*field) - std::make_unsigned_t<T>(d1.*field));
}

OSStatus AddZeroExtension(ImageDescriptionHandle diff, OSType type) {
  HandleHolder zero;
  zero.h = NewHandleClear(4);
  if (zero.h == nullptr) return MemError();
  return AddImageDescriptionExtension(diff, zero.h, type);
}

bool ExtensionsEqual(Handle a, Handle b) {
  Size n = GetHandleSize(a);
  return n == GetHandleSize(b) && (n == 0 || std::memcmp(*a, *b, size_t(n)) == 0);
}

// The extension types of a description in order of first appearance.
OSStatus ListTypes(ImageDescriptionHandle desc, std::vector<OSType> *types) {
  types->clear();
  OSType type = 0;
  for (;;) {
    OSStatus err = GetNextImageDescriptionExtensionType(desc, &type);
    if (err != noErr) return err;
    if (type == 0) return noErr;
    types->push_back(type);
  }
}

// Compares the extensions of one type of both descriptions and records the differences in diff.
OSStatus CompareExtensionsOfType(ImageDescriptionHandle desc1, ImageDescriptionHandle desc2, OSType type,
                                 ImageDescriptionHandle diff) {
  SInt32 n1 = 0, n2 = 0;
  OSStatus err = CountImageDescriptionExtensionType(desc1, type, &n1);
  if (err == noErr) err = CountImageDescriptionExtensionType(desc2, type, &n2);
  if (err != noErr) return err;
  SInt32 common = std::min(n1, n2);
  for (SInt32 i = 1; i <= common; ++i) {
    HandleHolder a, b;
    err = GetImageDescriptionExtension(desc1, &a.h, type, i);
    if (err == noErr) err = GetImageDescriptionExtension(desc2, &b.h, type, i);
    if (err != noErr) return err;
    if (!ExtensionsEqual(a.h, b.h)) {
      err = AddZeroExtension(diff, type);
      if (err != noErr) return err;
    }
  }
  for (SInt32 i = common; i < std::max(n1, n2); ++i) {
    err = AddZeroExtension(diff, type);
    if (err != noErr) return err;
  }
  return noErr;
}

UInt32 Swap32(UInt32 v) { return __builtin_bswap32(v); }
UInt16 Swap16(UInt16 v) { return __builtin_bswap16(v); }

// A clap fraction as a double; a zero denominator gives `whenZero`.
double Fraction(double numerator, UInt32 denominator, double whenZero) {
  return denominator == 0 ? whenZero : numerator / double(denominator);
}

SInt16 ClampShort(double v) {
  if (!(v > -32768.0)) return -32768;  // also NaN
  if (v > 32767.0) return 32767;
  return SInt16(v);
}

// Scales a spacing or denominator by a reduction factor: + 0.5 truncated into 32 bits, and never down
// to 0 from a valid value, which would leave a ratio without meaning.
UInt32 ScaleFactor(UInt32 value, double factor) {
  double v = std::floor(double(value) * factor + 0.5);
  v = std::clamp(v, 0.0, 4294967295.0);
  if (v < 1.0 && value != 0) v = 1.0;
  return UInt32(v);
}

}  // namespace

// ---- Building descriptions ----

OSStatus QT_MakeImageDescription(SInt16 width, SInt16 height, SCSpatialSettings *rSpatial, SInt32 size,
                                 ImageDescriptionHandle desc) {
  if (rSpatial == nullptr || desc == nullptr) return paramErr;
  CodecInfo info{};
  if (rSpatial->codecType == '2vuy') {
    // The length byte of this name is 29: it counts the text's terminating zero.
    SetPascalName(info.typeName, k2vuyName);
    info.typeName[0] = UInt8(sizeof(k2vuyName));
    info.version = 1;
    info.revisionLevel = 1;
    info.vendor = SInt32('appl');
    rSpatial->spatialQuality = codecMaxQuality;
  } else {
    OSErr err = GetCodecInfo(&info, rSpatial->codecType, anyCodec);
    if (err != noErr) return err;
  }
  SetHandleSize(reinterpret_cast<Handle>(desc), sizeof(ImageDescription));
  if (MemError() != noErr) return MemError();
  ImageDescription &d = **desc;
  std::memset(&d, 0, sizeof(d));
  d.idSize = sizeof(ImageDescription);
  d.cType = rSpatial->codecType;
  d.version = info.version;
  d.revisionLevel = info.revisionLevel;
  d.vendor = OSType(info.vendor);
  d.temporalQuality = 0;
  d.spatialQuality = rSpatial->spatialQuality;
  d.width = width;
  d.height = height;
  d.hRes = 72 << 16;
  d.vRes = 72 << 16;
  d.dataSize = size;
  d.frameCount = 1;
  std::memcpy(d.name, info.typeName, sizeof(d.name));
  d.depth = rSpatial->depth;
  d.clutID = -1;
  return noErr;
}

OSStatus QT_MakeYuv2ImageDescription(ImageDescriptionHandle imageDesc, SInt16 width, SInt16 height) {
  if (!ValidDescription(imageDesc)) return paramErr;
  ImageDescription &d = **imageDesc;
  d.idSize = sizeof(ImageDescription);
  d.cType = 'yuv2';
  d.resvd1 = 0;
  d.resvd2 = 0;
  d.dataRefIndex = 0;
  d.version = 1;
  d.revisionLevel = 0;
  d.vendor = 'appl';
  d.temporalQuality = 0;
  d.spatialQuality = codecLosslessQuality;
  d.width = width;
  d.height = height;
  d.hRes = 72 << 16;
  d.vRes = 72 << 16;
  d.dataSize = SInt32(width) * SInt32(height) * 2;
  d.frameCount = 1;
  SetPascalName(d.name, "Component Video");
  d.depth = 24;
  d.clutID = -1;
  return noErr;
}

// ---- Comparing ----

OSStatus QT_AreAllImageDescsEquivalent(Media media, GWorldPtr, Boolean *equivalent) {
  if (equivalent == nullptr) return paramErr;
  SInt32 count = GetMediaSampleDescriptionCount(media);
  OSStatus err = GetMoviesError();
  if (err != noErr) return err;
  *equivalent = true;
  if (count < 2) return noErr;
  HandleHolder first, other;
  first.h = NewHandle(0);
  other.h = NewHandle(0);
  if (first.h == nullptr || other.h == nullptr) return MemError();
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(first.h));
  if ((err = GetMoviesError()) != noErr) return err;
  for (SInt32 i = 2; i <= count; ++i) {
    GetMediaSampleDescription(media, i, reinterpret_cast<SampleDescriptionHandle>(other.h));
    if ((err = GetMoviesError()) != noErr) return err;
    if (!PL_ImageDescriptionsEquivalent(reinterpret_cast<ImageDescriptionHandle>(first.h),
                                        reinterpret_cast<ImageDescriptionHandle>(other.h))) {
      *equivalent = false;
      break;
    }
  }
  return noErr;
}

OSStatus QT_EqualImageDescs(ImageDescriptionHandle desc1, ImageDescriptionHandle desc2, ImageDescriptionHandle mask,
                            Boolean compareExtensions, SInt32 numTypes, const OSType *typeList,
                            ImageDescriptionHandle diff) {
  if (!ValidDescription(desc1) || !ValidDescription(desc2) || !ValidDescription(mask) || !ValidDescription(diff))
    return paramErr;
  if (numTypes < 0 || (numTypes > 0 && typeList == nullptr)) return paramErr;
  const ImageDescription d1 = **desc1, d2 = **desc2, m = **mask;
  ImageDescription out = **diff;
  DiffField(&ImageDescription::cType, d1, d2, m, out);
  DiffField(&ImageDescription::resvd1, d1, d2, m, out);
  DiffField(&ImageDescription::resvd2, d1, d2, m, out);
  DiffField(&ImageDescription::dataRefIndex, d1, d2, m, out);
  DiffField(&ImageDescription::version, d1, d2, m, out);
  DiffField(&ImageDescription::revisionLevel, d1, d2, m, out);
  DiffField(&ImageDescription::vendor, d1, d2, m, out);
  DiffField(&ImageDescription::temporalQuality, d1, d2, m, out);
  DiffField(&ImageDescription::spatialQuality, d1, d2, m, out);
  DiffField(&ImageDescription::width, d1, d2, m, out);
  DiffField(&ImageDescription::height, d1, d2, m, out);
  DiffField(&ImageDescription::hRes, d1, d2, m, out);
  DiffField(&ImageDescription::vRes, d1, d2, m, out);
  DiffField(&ImageDescription::dataSize, d1, d2, m, out);
  DiffField(&ImageDescription::frameCount, d1, d2, m, out);
  DiffField(&ImageDescription::depth, d1, d2, m, out);
  DiffField(&ImageDescription::clutID, d1, d2, m, out);
  if (m.name[0] != 0) {
    size_t n1 = std::min<size_t>(d1.name[0], 31), n2 = std::min<size_t>(d2.name[0], 31);
    if (n1 != n2 || std::memcmp(d1.name + 1, d2.name + 1, n1) != 0) out.name[0] = 1;
  }
  // diff's idSize stays its own size, which its extensions need; the extension differences below tell
  // how the sizes differ.
  SInt32 diffExtent = (**diff).idSize;
  std::memcpy(*diff, &out, sizeof(out));
  (**diff).idSize = diffExtent;
  if (!compareExtensions) return noErr;
  std::vector<OSType> types;
  OSStatus err = noErr;
  if (numTypes > 0) {
    types.assign(typeList, typeList + numTypes);
  } else {
    std::vector<OSType> types2;
    err = ListTypes(desc1, &types);
    if (err == noErr) err = ListTypes(desc2, &types2);
    if (err != noErr) return err;
    // Each type of desc1 is struck from desc2's list when compared; what is left exists in desc2 only.
    for (OSType t : types2)
      if (std::find(types.begin(), types.end(), t) == types.end()) types.push_back(t);
  }
  for (OSType t : types) {
    err = CompareExtensionsOfType(desc1, desc2, t, diff);
    if (err != noErr) return err;
  }
  return noErr;
}

// ---- Extensions ----

OSStatus QT_CountImageDescExtTypes(ImageDescriptionHandle desc, SInt32 *typesCount) {
  if (typesCount == nullptr) return paramErr;
  *typesCount = 0;
  OSType type = 0;
  for (;;) {
    OSStatus err = GetNextImageDescriptionExtensionType(desc, &type);
    if (err != noErr) return err;
    if (type == 0) return noErr;
    ++*typesCount;
  }
}

OSStatus QT_AddSingleImageDescExtension(ImageDescriptionHandle desc, OSType type, Handle extension) {
  for (;;) {
    OSStatus err = RemoveImageDescriptionExtension(desc, type, 1);
    if (err == codecExtensionNotFoundErr) return AddImageDescriptionExtension(desc, extension, type);
    if (err != noErr) return err;
  }
}

OSStatus QT_SetIndexedImageDescExtension(ImageDescriptionHandle desc, OSType type, SInt32 index, Handle extension) {
  if (extension == nullptr || *extension == nullptr) return paramErr;
  SInt32 count = 0;
  OSStatus err = CountImageDescriptionExtensionType(desc, type, &count);
  if (err != noErr) return err;
  if (index < 1 || index > count + 1) return codecExtensionNotFoundErr;
  // Work on a copy, so that a failure half-way leaves the caller's description whole. Each extension set
  // aside keeps its own handle and size: none is assumed to be as large as the new one.
  HandleHolder work;
  work.h = reinterpret_cast<Handle>(desc);
  if ((err = HandToHand(&work.h)) != noErr) {
    work.h = nullptr;
    return err;
  }
  auto workDesc = reinterpret_cast<ImageDescriptionHandle>(work.h);
  std::vector<Handle> aside;
  auto disposeAside = [&aside]() {
    for (Handle h : aside) DisposeHandle(h);
  };
  for (SInt32 i = count; i > index && err == noErr; --i) {
    Handle h = nullptr;
    err = GetImageDescriptionExtension(workDesc, &h, type, i);
    if (err == noErr) {
      aside.insert(aside.begin(), h);
      err = RemoveImageDescriptionExtension(workDesc, type, i);
    }
  }
  if (err == noErr && index <= count) err = RemoveImageDescriptionExtension(workDesc, type, index);
  if (err == noErr) err = AddImageDescriptionExtension(workDesc, extension, type);
  for (size_t i = 0; i < aside.size() && err == noErr; ++i) err = AddImageDescriptionExtension(workDesc, aside[i], type);
  disposeAside();
  if (err != noErr) return err;
  Size size = GetHandleSize(work.h);
  SetHandleSize(reinterpret_cast<Handle>(desc), size);
  if (MemError() != noErr) return MemError();
  std::memcpy(*desc, *work.h, size_t(size));
  return noErr;
}

OSStatus QT_CopySingleImageDescExtOfType(OSType type, ImageDescriptionHandle srcDesc, ImageDescriptionHandle trgtDesc) {
  HandleHolder ext;
  OSStatus err = GetImageDescriptionExtension(srcDesc, &ext.h, type, 1);
  if (err == codecExtensionNotFoundErr) return noErr;
  if (err != noErr) return err;
  return QT_AddSingleImageDescExtension(trgtDesc, type, ext.h);
}

OSStatus QT_CopyAllImageDescExts(ImageDescriptionHandle srcDesc, ImageDescriptionHandle trgtDesc, Boolean replacing) {
  std::vector<OSType> types;
  OSStatus err = ListTypes(srcDesc, &types);
  if (err != noErr) return err;
  for (OSType type : types) {
    SInt32 n = 0, m = 0;
    err = CountImageDescriptionExtensionType(srcDesc, type, &n);
    if (err == noErr) err = CountImageDescriptionExtensionType(trgtDesc, type, &m);
    if (err != noErr) return err;
    for (SInt32 i = 1; i <= n; ++i) {
      HandleHolder ext;
      err = GetImageDescriptionExtension(srcDesc, &ext.h, type, i);
      if (err == codecExtensionNotFoundErr) break;
      if (err != noErr) return err;
      if (replacing && i <= m) {
        err = RemoveImageDescriptionExtension(trgtDesc, type, 1);
        if (err != noErr) return err;
      }
      if (replacing || i > m) {
        err = AddImageDescriptionExtension(trgtDesc, ext.h, type);
        if (err != noErr) return err;
      }
    }
  }
  return noErr;
}

// ---- Gamma ----

OSStatus QT_GetImageDescGammaLevel(ImageDescriptionHandle desc, Fixed *gamma, Boolean *hasGamaIde) {
  if (gamma == nullptr || hasGamaIde == nullptr) return paramErr;
  UInt8 raw[4];
  OSStatus err = CopyExtensionData(desc, kGammaLevelImageDescriptionExtension, raw, 4, hasGamaIde);
  if (err != noErr) return err;
  *gamma = *hasGamaIde ? Fixed(PL_GetBE32(raw)) : 0;
  return noErr;
}

OSStatus QT_SetImageDescGammaLevel(ImageDescriptionHandle desc, Fixed gamma) {
  return ICMImageDescriptionSetProperty(desc, kQTPropertyClass_ImageDescription,
                                        kICMImageDescriptionPropertyID_GammaLevel, sizeof(gamma), &gamma);
}

Boolean QT_GammaEqualsMacGamma(float gamma) { return gamma == 0.0f || (gamma > 1.799f && gamma < 1.801f); }

// ---- Fields ----

OSStatus QT_GetFieldInfo(ImageDescriptionHandle desc, QT_FielExt *fieldInfoImageDescExt2) {
  if (fieldInfoImageDescExt2 == nullptr) return paramErr;
  Boolean found = false;
  OSStatus err = CopyExtensionData(desc, kFieldInfoImageDescriptionExtension, fieldInfoImageDescExt2,
                                   sizeof(QT_FielExt), &found);
  if (err != noErr) return err;
  return found ? noErr : codecExtensionNotFoundErr;
}

void QT_SetFieldDetail(CodecType cType, Boolean topFieldFirst, QT_FielExt *fielExt) {
  if (cType == 'mjpa' || cType == 'mjpb')
    fielExt->detail = topFieldFirst ? kQTFieldDetailTemporalTopFirst : kQTFieldDetailTemporalBottomFirst;
  else
    fielExt->detail = topFieldFirst ? kQTFieldDetailSpatialFirstLineEarly : kQTFieldDetailSpatialFirstLineLate;
}

OSStatus QT_AddFielExtension(ImageDescriptionHandle desc, const QT_FielExt *fielExt) {
  if (fielExt == nullptr) return paramErr;
  HandleHolder ext;
  OSStatus err = PtrToHand(fielExt, &ext.h, sizeof(QT_FielExt));
  if (err != noErr) return err;
  return QT_AddSingleImageDescExtension(desc, kFieldInfoImageDescriptionExtension, ext.h);
}

OSStatus QT_GetFielData(Media media, Boolean *hasFielExt, Boolean *interlaced, Boolean *topFieldFirst) {
  if (hasFielExt == nullptr || interlaced == nullptr || topFieldFirst == nullptr) return paramErr;
  HandleHolder desc;
  OSStatus err = GetFirstDescription(media, &desc);
  if (err != noErr) return err;
  QT_FielExt fiel{};
  err = CopyExtensionData(reinterpret_cast<ImageDescriptionHandle>(desc.h), kFieldInfoImageDescriptionExtension, &fiel,
                          sizeof(fiel), hasFielExt);
  if (err == noErr && *hasFielExt) QT_GetInterlaceFromFiel(&fiel, interlaced, topFieldFirst);
  return err;
}

void QT_GetInterlaceFromFiel(const QT_FielExt *fielExt, Boolean *interlaced, Boolean *topFieldFirst) {
  *interlaced = fielExt->fields == kQTFieldsInterlaced;
  if (*interlaced)
    *topFieldFirst =
        fielExt->detail == kQTFieldDetailTemporalTopFirst || fielExt->detail == kQTFieldDetailSpatialFirstLineEarly;
}

// ---- Aspect, aperture and colour ----

OSStatus QT_GetPaspData(Media media, Boolean *hasPaspExt, QT_PaspExt *paspExt) {
  if (hasPaspExt == nullptr || paspExt == nullptr) return paramErr;
  HandleHolder desc;
  OSStatus err = GetFirstDescription(media, &desc);
  if (err != noErr) return err;
  QT_PaspExt pasp;
  err = CopyExtensionData(reinterpret_cast<ImageDescriptionHandle>(desc.h), kPixelAspectRatioImageDescriptionExtension,
                          &pasp, sizeof(pasp), hasPaspExt);
  if (err == noErr && *hasPaspExt) {
    QT_FlipPasp(&pasp);
    *paspExt = pasp;
  }
  return err;
}

OSStatus QT_GetClapData(Media media, Boolean *hasClapExt, QT_ClapExt *clapExt) {
  if (hasClapExt == nullptr || clapExt == nullptr) return paramErr;
  HandleHolder desc;
  OSStatus err = GetFirstDescription(media, &desc);
  if (err != noErr) return err;
  QT_ClapExt clap;
  err = CopyExtensionData(reinterpret_cast<ImageDescriptionHandle>(desc.h), kCleanApertureImageDescriptionExtension,
                          &clap, sizeof(clap), hasClapExt);
  if (err == noErr && *hasClapExt) {
    QT_FlipClap(&clap);
    *clapExt = clap;
  }
  return err;
}

OSStatus QT_GetColrData(Media media, Boolean *hasColrExt, Boolean *isNclc, QT_NclcExt *nclcExt) {
  if (hasColrExt == nullptr || isNclc == nullptr || nclcExt == nullptr) return paramErr;
  HandleHolder desc;
  OSStatus err = GetFirstDescription(media, &desc);
  if (err != noErr) return err;
  *hasColrExt = false;
  *isNclc = false;
  HandleHolder ext;
  err = GetImageDescriptionExtension(reinterpret_cast<ImageDescriptionHandle>(desc.h), &ext.h,
                                     kColorInfoImageDescriptionExtension, 1);
  if (err == codecExtensionNotFoundErr) {
    std::memset(nclcExt, 0, sizeof(*nclcExt));
    return noErr;
  }
  if (err != noErr) return err;
  *hasColrExt = true;
  Size n = GetHandleSize(ext.h);
  const UInt8 *data = reinterpret_cast<const UInt8 *>(*ext.h);
  *isNclc = n >= 4 && PL_GetBE32(data) == kVideoColorInfoImageDescriptionExtensionType;
  if (!*isNclc) return noErr;
  if (n < Size(sizeof(QT_NclcExt))) return badImageDescription;
  std::memcpy(nclcExt, data, sizeof(*nclcExt));
  QT_FlipNclc(nclcExt);
  return noErr;
}

OSStatus QT_HasGamm22inNclc(ImageDescriptionHandle desc, Boolean *hasGamm22inNclc) {
  if (hasGamm22inNclc == nullptr) return paramErr;
  *hasGamm22inNclc = false;
  if (desc == nullptr) return noErr;
  HandleHolder ext;
  OSStatus err = GetImageDescriptionExtension(desc, &ext.h, kColorInfoImageDescriptionExtension, 1);
  if (err == codecExtensionNotFoundErr) return noErr;
  if (err != noErr) return err;
  const UInt8 *data = reinterpret_cast<const UInt8 *>(*ext.h);
  if (GetHandleSize(ext.h) < Size(sizeof(QT_NclcExt)) || PL_GetBE32(data) != kVideoColorInfoImageDescriptionExtensionType)
    return noErr;
  *hasGamm22inNclc = PL_GetBE16(data + 6) != 2;
  return noErr;
}

OSStatus QT_SetPaspInImageDesc(ImageDescriptionHandle desc, const QT_PaspExt *paspExt) {
  return ICMImageDescriptionSetProperty(desc, kQTPropertyClass_ImageDescription,
                                        kICMImageDescriptionPropertyID_PixelAspectRatio, sizeof(*paspExt), paspExt);
}

OSStatus QT_SetClapInImageDesc(ImageDescriptionHandle desc, const QT_ClapExt *clapExt) {
  return ICMImageDescriptionSetProperty(desc, kQTPropertyClass_ImageDescription,
                                        kICMImageDescriptionPropertyID_CleanAperture, sizeof(*clapExt), clapExt);
}

OSStatus QT_SetNclcInImageDesc(ImageDescriptionHandle desc, const QT_NclcExt *nclcExt) {
  return ICMImageDescriptionSetProperty(desc, kQTPropertyClass_ImageDescription,
                                        kICMImageDescriptionPropertyID_NCLCColorInfo, sizeof(*nclcExt), nclcExt);
}

void QT_FlipPasp(QT_PaspExt *paspExt) {
  paspExt->hSpacing = Swap32(paspExt->hSpacing);
  paspExt->vSpacing = Swap32(paspExt->vSpacing);
}

void QT_FlipClap(QT_ClapExt *clapExt) {
  UInt32 words[8];
  std::memcpy(words, clapExt, sizeof(words));
  for (UInt32 &w : words) w = Swap32(w);
  std::memcpy(clapExt, words, sizeof(words));
}

void QT_FlipNclc(QT_NclcExt *nclcExt) {
  nclcExt->colorParamType = Swap32(nclcExt->colorParamType);
  nclcExt->primaries = Swap16(nclcExt->primaries);
  nclcExt->transferFunction = Swap16(nclcExt->transferFunction);
  nclcExt->matrix = Swap16(nclcExt->matrix);
}

// ---- Geometry ----

void QT_GetScaledClip(Fixed width, Fixed height, const QT_PaspExt *paspExt, const QT_ClapExt *clapExt, Rect *clipRect,
                      FixedRect *clipRectF, Boolean scaleHorizontal) {
  double w = Fix2X(width), h = Fix2X(height);
  double left = 0.0, top = 0.0, right = w, bottom = h;
  if (clapExt != nullptr && clapExt->cleanApertureWidthD != 0 && clapExt->cleanApertureHeightD != 0) {
    double cleanW = double(clapExt->cleanApertureWidthN) / double(clapExt->cleanApertureWidthD);
    double cleanH = double(clapExt->cleanApertureHeightN) / double(clapExt->cleanApertureHeightD);
    left = Fraction(clapExt->horizOffN, clapExt->horizOffD, 0.0) + (w - cleanW) * 0.5;
    right = left + cleanW;
    top = Fraction(clapExt->vertOffN, clapExt->vertOffD, 0.0) + (h - cleanH) * 0.5;
    bottom = top + cleanH;
  }
  if (paspExt != nullptr && paspExt->hSpacing != 0 && paspExt->vSpacing != 0) {
    if (scaleHorizontal) {
      double s = double(paspExt->hSpacing) / double(paspExt->vSpacing);
      left *= s;
      right *= s;
    } else {
      double s = double(paspExt->vSpacing) / double(paspExt->hSpacing);
      top *= s;
      bottom *= s;
    }
  }
  if (clipRect != nullptr) {
    auto awayFromZero = [](double x) { return ClampShort(x > 0.0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5)); };
    clipRect->left = awayFromZero(left);
    clipRect->right = awayFromZero(right);
    clipRect->top = ClampShort(std::trunc(top + 0.5));
    clipRect->bottom = ClampShort(std::trunc(bottom + 0.5));
  }
  if (clipRectF != nullptr) {
    clipRectF->left = X2Fix(left);
    clipRectF->top = X2Fix(top);
    clipRectF->right = X2Fix(right);
    clipRectF->bottom = X2Fix(bottom);
  }
}

void QT_CalcFixedApertureRects(const Rect *rect, const QT_PaspExt *paspExt, const QT_ClapExt *clapExt,
                               FixedRect *cleanRectF, FixedRect *prodRectF, FixedRect *clippedRectF) {
  Fixed w = Long2Fix(SInt32(rect->right) - rect->left), h = Long2Fix(SInt32(rect->bottom) - rect->top);
  if (cleanRectF) QT_GetScaledClip(w, h, paspExt, clapExt, nullptr, cleanRectF, true);
  if (prodRectF) QT_GetScaledClip(w, h, paspExt, nullptr, nullptr, prodRectF, true);
  if (clippedRectF) {
    QT_GetScaledClip(w, h, nullptr, clapExt, nullptr, clippedRectF, true);
    GL_OffsetFixedRect(clippedRectF, Long2Fix(rect->left), Long2Fix(rect->top));
  }
}

void QT_FixedClipToClap(const FixedRect *rawRectF, const FixedRect *clipRectF, QT_ClapExt *clapExt) {
  SInt64 rawW = SInt64(rawRectF->right) - rawRectF->left, rawH = SInt64(rawRectF->bottom) - rawRectF->top;
  SInt64 left = SInt64(clipRectF->left) - rawRectF->left, right = SInt64(clipRectF->right) - rawRectF->left;
  SInt64 top = SInt64(clipRectF->top) - rawRectF->top, bottom = SInt64(clipRectF->bottom) - rawRectF->top;
  auto size = [](SInt64 v) { return UInt32(std::clamp<SInt64>(v, 0, 0xFFFFFFFF)); };
  auto offset = [](SInt64 v) { return SInt32(std::clamp<SInt64>(v, std::numeric_limits<SInt32>::min(),
                                                                 std::numeric_limits<SInt32>::max())); };
  clapExt->cleanApertureWidthN = size(right - left);
  clapExt->cleanApertureWidthD = 65536;
  clapExt->cleanApertureHeightN = size(bottom - top);
  clapExt->cleanApertureHeightD = 65536;
  clapExt->horizOffN = offset(left + right - rawW);
  clapExt->horizOffD = 131072;
  clapExt->vertOffN = offset(top + bottom - rawH);
  clapExt->vertOffD = 131072;
  QT_ReducePaspAndClap(nullptr, clapExt);
}

void QT_ReducePaspAndClap(QT_PaspExt *paspExt, QT_ClapExt *clapExt) {
  if (paspExt != nullptr) {
    UInt64 g = GL_GetGCD(paspExt->hSpacing, paspExt->vSpacing);
    if (g != 0) {
      paspExt->hSpacing = UInt32(paspExt->hSpacing / g);
      paspExt->vSpacing = UInt32(paspExt->vSpacing / g);
    }
  }
  if (clapExt == nullptr) return;
  auto reduceUnsigned = [](UInt32 &n, UInt32 &d) {
    UInt64 g = GL_GetGCD(n, d);
    if (g != 0) n = UInt32(n / g), d = UInt32(d / g);
  };
  auto reduceSigned = [](SInt32 &n, UInt32 &d) {
    UInt64 magnitude = n < 0 ? UInt64(-SInt64(n)) : UInt64(n);
    UInt64 g = GL_GetGCD(magnitude, d);
    if (g != 0) n = SInt32(SInt64(n) / SInt64(g)), d = UInt32(d / g);
  };
  reduceUnsigned(clapExt->cleanApertureWidthN, clapExt->cleanApertureWidthD);
  reduceUnsigned(clapExt->cleanApertureHeightN, clapExt->cleanApertureHeightD);
  reduceSigned(clapExt->horizOffN, clapExt->horizOffD);
  reduceSigned(clapExt->vertOffN, clapExt->vertOffD);
}

OSStatus QT_CheckPaspAndClapForOverflow(ImageDescriptionHandle desc) {
  QT_PaspExt pasp;
  QT_ClapExt clap;
  Boolean hasPasp = false, hasClap = false;
  OSStatus err = CopyExtensionData(desc, kPixelAspectRatioImageDescriptionExtension, &pasp, sizeof(pasp), &hasPasp);
  if (err == noErr) err = CopyExtensionData(desc, kCleanApertureImageDescriptionExtension, &clap, sizeof(clap), &hasClap);
  if (err != noErr || !hasPasp || !hasClap) return err;
  QT_FlipPasp(&pasp);
  QT_FlipClap(&clap);
  if (UInt64(clap.cleanApertureWidthN) * pasp.hSpacing < (UInt64(1) << 31)) return noErr;
  auto asFactor = [](UInt32 v) { return SInt32(std::min<UInt32>(v, 0x7FFFFFFF)); };
  Boolean reducePasp = false, reduceClap = false;
  double paspFactor = 1.0, clapFactor = 1.0;
  GL_Reduce32bitFactors(asFactor(pasp.hSpacing), asFactor(clap.cleanApertureWidthN), &reducePasp, &reduceClap,
                        &paspFactor, &clapFactor);
  if (reducePasp) {
    pasp.hSpacing = ScaleFactor(pasp.hSpacing, paspFactor);
    pasp.vSpacing = ScaleFactor(pasp.vSpacing, paspFactor);
    err = QT_SetPaspInImageDesc(desc, &pasp);
    if (err != noErr) return err;
  }
  if (reduceClap) {
    clap.cleanApertureWidthN = ScaleFactor(clap.cleanApertureWidthN, clapFactor);
    clap.cleanApertureWidthD = ScaleFactor(clap.cleanApertureWidthD, clapFactor);
    err = QT_SetClapInImageDesc(desc, &clap);
  }
  return err;
}

Boolean QT_TransformPasp(const QT_PaspExt *paspExt, const Rect *oldRect, const Rect *newRect, QT_PaspExt *newPaspExt) {
  GL_LongRatio pasp, oldShape, newShape, product, result;
  Boolean exact = GL_CreateLongRatio(paspExt->hSpacing, paspExt->vSpacing, &pasp);
  exact &= GL_CreateLongRatio(SInt64(oldRect->right) - oldRect->left, SInt64(oldRect->bottom) - oldRect->top, &oldShape);
  exact &= GL_CreateLongRatio(SInt64(newRect->right) - newRect->left, SInt64(newRect->bottom) - newRect->top, &newShape);
  exact &= GL_LongRatioMul2(&pasp, &oldShape, &product);
  exact &= GL_LongRatioDiv2(&product, &newShape, &result);
  newPaspExt->hSpacing = UInt32(std::max<SInt32>(result.n, 0));
  newPaspExt->vSpacing = result.d;
  return exact;
}

Boolean QT_ClapExtToLongRatio(const QT_ClapExt *oldClapExt, GL_LongRatio *oldWidth, GL_LongRatio *oldHeight,
                              GL_LongRatio *oldOffsetH, GL_LongRatio *oldOffsetV) {
  Boolean w = GL_SetLongRatioFromSInt64(oldClapExt->cleanApertureWidthN, oldClapExt->cleanApertureWidthD, oldWidth);
  Boolean h = GL_SetLongRatioFromSInt64(oldClapExt->cleanApertureHeightN, oldClapExt->cleanApertureHeightD, oldHeight);
  Boolean x = GL_SetLongRatioFromSInt64(oldClapExt->horizOffN, oldClapExt->horizOffD, oldOffsetH);
  Boolean y = GL_SetLongRatioFromSInt64(oldClapExt->vertOffN, oldClapExt->vertOffD, oldOffsetV);
  return w && h && x && y;
}

Boolean QT_ClapHasEffect(const QT_ClapExt *clapExt, SInt16 height, SInt16 width) {
  Rect clip, frame;
  QT_GetScaledClip(Long2Fix(width), Long2Fix(height), nullptr, clapExt, &clip, nullptr, true);
  GL_SetRectTlbr(&frame, 0, 0, height, width);
  return !GL_IsRectInRect(&frame, &clip);
}

Boolean QT_EqualPasp(const QT_PaspExt *paspExt1, const QT_PaspExt *paspExt2) {
  QT_PaspExt a = *paspExt1, b = *paspExt2;
  QT_ReducePaspAndClap(&a, nullptr);
  QT_ReducePaspAndClap(&b, nullptr);
  return a.hSpacing == b.hSpacing && a.vSpacing == b.vSpacing;
}

Boolean QT_EqualPasp2(SInt32 width, const QT_PaspExt *paspExt1, const QT_PaspExt *paspExt2) {
  auto scaled = [width](const QT_PaspExt *p) {
    float ratio = p->vSpacing == 0 ? 1.0f : float(p->hSpacing) / float(p->vSpacing);
    return SInt64(float(width) * ratio + 0.5f);
  };
  return scaled(paspExt1) == scaled(paspExt2);
}

Boolean QT_EqualClap(const QT_ClapExt *clapExt1, const QT_ClapExt *clapExt2) {
  QT_ClapExt a = *clapExt1, b = *clapExt2;
  QT_ReducePaspAndClap(nullptr, &a);
  QT_ReducePaspAndClap(nullptr, &b);
  return std::memcmp(&a, &b, sizeof(a)) == 0;
}

// ---- Text and trace ----

void GL_AddPaspFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, const QT_PaspExt *paspExt) {
  GL_AddCFStringToTextPtr(textPtr, textSize, title);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("Horizontal Spacing"), paspExt->hSpacing);
  GL_AddLongFieldDescrToTextPtr(textPtr, textSize, CFSTR("Vertical Spacing"), paspExt->vSpacing);
}

void QT_PrintClapWithName(const QT_ClapExt *clapExt, const char *name) {
  std::printf("%s: clean w,h = %lu/%lu,%lu/%lu, offset h,v = %ld/%lu,%ld/%lu\n", name ? name : "",
              (unsigned long)clapExt->cleanApertureWidthN, (unsigned long)clapExt->cleanApertureWidthD,
              (unsigned long)clapExt->cleanApertureHeightN, (unsigned long)clapExt->cleanApertureHeightD,
              (long)clapExt->horizOffN, (unsigned long)clapExt->horizOffD, (long)clapExt->vertOffN,
              (unsigned long)clapExt->vertOffD);
}

void QT_PrintFielWithName(const QT_FielExt *fielExt, const char *name) {
  std::printf("%s: fields %u, detail %u\n", name ? name : "", unsigned(fielExt->fields), unsigned(fielExt->detail));
}

void QT_PrintPaspWithName(const QT_PaspExt *paspExt, const char *name) {
  std::printf("%s: hSp,vSp = %lu,%lu\n", name ? name : "", (unsigned long)paspExt->hSpacing,
              (unsigned long)paspExt->vSpacing);
}
