// The codec table of the Image Compression Manager stand-in: codec information, the codec name list, and
// the compressor and decompressor components with their pixel-format lists, settings and properties.
#include "platform/movie/codec_info.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/compression.h"
#include "platform/movie/decompression.h"
#include "platform/movie/image_descriptions.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct CodecEntry {
  CodecType type;
  const char *name;
  SInt16 version;
  SInt16 revision;
};

// The codecs this platform reads or writes: uncompressed formats by our own code, the rest through
// libavcodec. Names are what the codec lists show.
constexpr CodecEntry kCodecs[] = {
    {'2vuy', "8-bit 4:2:2 Component Y'CbCr", 1, 1},
    {'yuv2', "Component Video", 1, 0},
    {'yuvs', "Component Y'CbCr 8-bit 4:2:2", 1, 0},
    {'v210', "10-bit 4:2:2 Component Y'CbCr", 1, 0},
    {'y420', "Y'CbCr 4:2:0", 1, 0},
    {'raw ', "None", 1, 0},
    {'smc ', "Graphics", 1, 0},
    {'rle ', "Animation", 1, 0},
    {'jpeg', "Photo - JPEG", 1, 0},
    {'mjpa', "Motion JPEG A", 1, 0},
    {'mjpb', "Motion JPEG B", 1, 0},
    {'dvc ', "DV - NTSC", 1, 0},
    {'dvcp', "DV - PAL", 1, 0},
    {'dvpp', "DVCPRO - PAL", 1, 0},
    {'dv5n', "DVCPRO50 - NTSC", 1, 0},
    {'dv5p', "DVCPRO50 - PAL", 1, 0},
    {'dvh6', "DVCPRO HD 1080i60", 1, 0},
    {'dvh5', "DVCPRO HD 1080i50", 1, 0},
    {'dvhp', "DVCPRO HD 720p60", 1, 0},
    {'dvhq', "DVCPRO HD 720p50", 1, 0},
};

constexpr OSType kCodecManufacturer = 'appl';
// DV compressors' codec settings: 'dvco', the progressive and 16:9 bytes, two zero bytes.
constexpr Size kDVSettingsSize = 8;

const CodecEntry *FindEntry(CodecType cType) {
  for (const CodecEntry &e : kCodecs)
    if (e.type == cType) return &e;
  return nullptr;
}

bool IsDVType(CodecType t) { return t == 'dvc ' || t == 'dvcp' || t == 'dvpp' || t == 'dv5n' || t == 'dv5p'; }
bool IsNTSCType(CodecType t) { return t == 'dvc ' || t == 'dv5n'; }
bool IsDVCProHDType(CodecType t) { return t == 'dvh6' || t == 'dvh5' || t == 'dvhp' || t == 'dvhq'; }

// ---- Component instances ----

struct CodecInstance {
  CodecType cType = 0;
  bool compressor = false;
  std::vector<UInt8> settings;
  Boolean progressive = false;
  Boolean is16x9 = false;
};

OSErr OpenCodec(const void *refCon, void **storage) {
  auto *instance = new CodecInstance(*static_cast<const CodecInstance *>(refCon));
  *storage = instance;
  return noErr;
}

void CloseCodec(void *storage) { delete static_cast<CodecInstance *>(storage); }

// The instance's storage when ci is an open codec instance of either kind.
CodecInstance *InstanceOf(ComponentInstance ci) {
  void *s = PL_GetComponentInstanceStorage(ci, compressorComponentType);
  if (s == nullptr) s = PL_GetComponentInstanceStorage(ci, decompressorComponentType);
  return static_cast<CodecInstance *>(s);
}

// What a DV compressor enforces, from its 'dvco' settings. Rec. 601 active picture: 704 x 480 of the
// 525-line raster, 702 x 576 of the 625-line one; DV frames are interlaced, lower field first.
struct Enforced {
  SInt32 width, height;
  CleanApertureImageDescriptionExtension clap;
  PixelAspectRatioImageDescriptionExtension pasp;
  FieldInfoImageDescriptionExtension2 fiel;
};

Enforced EnforcedOf(const CodecInstance &c) {
  Enforced e{};
  if (IsDVCProHDType(c.cType)) {
    // Stored narrower than shown: 1280 (3:2) or 1440 (4:3) of 1920, 960 (4:3) of 1280; 1080-line frames
    // are interlaced, upper field first; 720-line frames progressive.
    bool hd1080 = c.cType == 'dvh6' || c.cType == 'dvh5';
    e.width = c.cType == 'dvh6' ? 1280 : c.cType == 'dvh5' ? 1440 : 960;
    e.height = hd1080 ? 1080 : 720;
    e.clap = {UInt32(e.width), 1, UInt32(e.height), 1, 0, 1, 0, 1};
    e.pasp = c.cType == 'dvh6' ? PixelAspectRatioImageDescriptionExtension{3, 2} : PixelAspectRatioImageDescriptionExtension{4, 3};
    e.fiel = hd1080 ? FieldInfoImageDescriptionExtension2{kQTFieldsInterlaced, kQTFieldDetailSpatialFirstLineEarly}
                    : FieldInfoImageDescriptionExtension2{kQTFieldsProgressiveScan, kQTFieldDetailUnknown};
    return e;
  }
  bool ntsc = IsNTSCType(c.cType);
  e.width = 720;
  e.height = ntsc ? 480 : 576;
  e.clap = {UInt32(ntsc ? 704 : 702), 1, UInt32(e.height), 1, 0, 1, 0, 1};
  if (ntsc)
    e.pasp = c.is16x9 ? PixelAspectRatioImageDescriptionExtension{40, 33} : PixelAspectRatioImageDescriptionExtension{10, 11};
  else
    e.pasp = c.is16x9 ? PixelAspectRatioImageDescriptionExtension{118, 81} : PixelAspectRatioImageDescriptionExtension{59, 54};
  e.fiel = c.progressive ? FieldInfoImageDescriptionExtension2{kQTFieldsProgressiveScan, kQTFieldDetailUnknown}
                         : FieldInfoImageDescriptionExtension2{kQTFieldsInterlaced, kQTFieldDetailSpatialFirstLineLate};
  return e;
}

// The value of a property: its bytes, or the reason there is none.
OSStatus PropertyBytes(const CodecInstance &c, QTPropertyClass propClass, QTPropertyID propID, std::vector<UInt8> *bytes,
                       OSType *type, bool *writable) {
  auto put = [bytes](const void *p, size_t n) {
    const UInt8 *b = static_cast<const UInt8 *>(p);
    bytes->assign(b, b + n);
  };
  *writable = false;
  if (!c.compressor || !(IsDVType(c.cType) || IsDVCProHDType(c.cType))) return kQTPropertyNotSupportedErr;
  if (propClass == kQTPropertyClass_DVCompressor) {
    if (!IsDVType(c.cType)) return kQTPropertyNotSupportedErr;
    *writable = true;
    *type = 'bool';
    if (propID == kDVCompressorPropertyID_ProgressiveScan) return put(&c.progressive, 1), noErr;
    if (propID == kDVCompressorPropertyID_AspectRatio16x9) return put(&c.is16x9, 1), noErr;
    return kQTPropertyNotSupportedErr;
  }
  if (propClass != kQTPropertyClass_ImageCompressor) return kQTPropertyNotSupportedErr;
  Enforced e = EnforcedOf(c);
  switch (propID) {
    case kICMImageCompressorPropertyID_EnforcedWidth: *type = 'long'; put(&e.width, 4); return noErr;
    case kICMImageCompressorPropertyID_EnforcedHeight: *type = 'long'; put(&e.height, 4); return noErr;
    case kICMImageCompressorPropertyID_EnforcedCleanAperture: *type = 'clap'; put(&e.clap, sizeof(e.clap)); return noErr;
    case kICMImageCompressorPropertyID_EnforcedPixelAspectRatio: *type = 'pasp'; put(&e.pasp, sizeof(e.pasp)); return noErr;
    case kICMImageCompressorPropertyID_EnforcedFieldInfo: *type = 'fiel'; put(&e.fiel, sizeof(e.fiel)); return noErr;
    default: return kQTPropertyNotSupportedErr;
  }
}

ComponentResult GetPropertyInfo(void *storage, QTPropertyClass propClass, QTPropertyID propID, OSType *type,
                                ByteCount *size, ComponentPropertyFlags *flags) {
  std::vector<UInt8> bytes;
  OSType t = 0;
  bool writable = false;
  OSStatus err = PropertyBytes(*static_cast<CodecInstance *>(storage), propClass, propID, &bytes, &t, &writable);
  if (err != noErr) return err;
  if (type != nullptr) *type = t;
  if (size != nullptr) *size = bytes.size();
  // Readable (1), and writable (2) for the DV settings.
  if (flags != nullptr) *flags = writable ? 3 : 1;
  return noErr;
}

ComponentResult GetProperty(void *storage, QTPropertyClass propClass, QTPropertyID propID, ByteCount size, void *value,
                            ByteCount *sizeUsed) {
  std::vector<UInt8> bytes;
  OSType t = 0;
  bool writable = false;
  OSStatus err = PropertyBytes(*static_cast<CodecInstance *>(storage), propClass, propID, &bytes, &t, &writable);
  if (err != noErr) return err;
  if (value == nullptr || size < bytes.size()) return kQTPropertyBadValueSizeErr;
  std::memcpy(value, bytes.data(), bytes.size());
  if (sizeUsed != nullptr) *sizeUsed = bytes.size();
  return noErr;
}

ComponentResult SetProperty(void *storage, QTPropertyClass propClass, QTPropertyID propID, ByteCount size,
                            const void *value) {
  auto &c = *static_cast<CodecInstance *>(storage);
  std::vector<UInt8> bytes;
  OSType t = 0;
  bool writable = false;
  OSStatus err = PropertyBytes(c, propClass, propID, &bytes, &t, &writable);
  if (err != noErr) return err;
  if (!writable) return kQTPropertyReadOnlyErr;
  if (value == nullptr || size != 1) return kQTPropertyBadValueSizeErr;
  Boolean v = *static_cast<const UInt8 *>(value) != 0;
  if (propID == kDVCompressorPropertyID_ProgressiveScan)
    c.progressive = v;
  else
    c.is16x9 = v;
  return noErr;
}

constexpr SInt16 kCompressorSelectors[] = {kImageCodecGetCodecInfoSelect, kImageCodecGetMaxCompressionSizeSelect,
                                           kImageCodecBandCompressSelect, kImageCodecRequestSettingsSelect,
                                           kImageCodecGetSettingsSelect, kImageCodecSetSettingsSelect};
constexpr SInt16 kDecompressorSelectors[] = {kImageCodecGetCodecInfoSelect, kImageCodecBandDecompressSelect};

const PL_ComponentFuncs kCompressorFuncs{OpenCodec,   CloseCodec,  kCompressorSelectors, std::size(kCompressorSelectors),
                                         GetPropertyInfo, GetProperty, SetProperty};
const PL_ComponentFuncs kDecompressorFuncs{OpenCodec, CloseCodec, kDecompressorSelectors, std::size(kDecompressorSelectors),
                                           GetPropertyInfo, GetProperty, SetProperty};

// Per-type prototypes of the instances; they live as long as the components.
std::vector<CodecInstance> gPrototypes;
std::vector<Component> gCompressors, gDecompressors;  // parallel to kCodecs; null where there is none

void PutBE32(UInt8 *p, UInt32 v) {
  p[0] = UInt8(v >> 24), p[1] = UInt8(v >> 16), p[2] = UInt8(v >> 8), p[3] = UInt8(v);
}

std::vector<UInt8> PixelFormatList(std::initializer_list<OSType> formats) {
  std::vector<UInt8> bytes(formats.size() * 4);
  size_t i = 0;
  for (OSType f : formats) PutBE32(bytes.data() + 4 * i++, f);
  return bytes;
}

std::once_flag gRegistered;

// Registration happens inside the Component Manager's first use; the lookups here trigger it.
void EnsureRegistered() {
  ComponentDescription any{0, 0, 0, 0, 0};
  (void)FindNextComponent(nullptr, &any);
}

}  // namespace

void PL_RegisterCodecComponents() {
  std::call_once(gRegistered, [] {
    gPrototypes.reserve(2 * std::size(kCodecs));
    gCompressors.assign(std::size(kCodecs), nullptr);
    gDecompressors.assign(std::size(kCodecs), nullptr);
    // Compressors read the working format and ARGB; decompressors draw into the same two.
    const std::vector<UInt8> formats = PixelFormatList({k2vuyPixelFormat, k32ARGBPixelFormat});
    for (size_t i = 0; i < std::size(kCodecs); ++i) {
      const CodecEntry &e = kCodecs[i];
      for (bool compressor : {true, false}) {
        if (compressor ? !PL_HasEncoder(e.type) : !PL_CanDecompressCodecType(e.type)) continue;
        gPrototypes.push_back(CodecInstance{e.type, compressor, {}, false, false});
        PL_ComponentDefinition definition{
            {compressor ? compressorComponentType : decompressorComponentType, e.type, kCodecManufacturer, 0, 0},
            e.name,
            e.name,
            compressor ? &kCompressorFuncs : &kDecompressorFuncs,
            &gPrototypes.back()};
        Component component = nullptr;
        if (PL_RegisterComponent(&definition, &component) != noErr) continue;
        PL_AddComponentPublicResource(component, kCodecPixelFormatListResourceType, 1, formats.data(), Size(formats.size()));
        (compressor ? gCompressors : gDecompressors)[i] = component;
      }
    }
  });
}

OSErr GetCodecInfo(CodecInfo *info, CodecType cType, CodecComponent) {
  if (info == nullptr) return paramErr;
  const CodecEntry *e = FindEntry(cType);
  if (e == nullptr) return noCodecErr;
  std::memset(info, 0, sizeof(*info));
  size_t n = std::strlen(e->name);
  info->typeName[0] = UInt8(n);
  std::memcpy(info->typeName + 1, e->name, n);
  info->version = e->version;
  info->revisionLevel = e->revision;
  info->vendor = SInt32(kCodecManufacturer);
  info->compressionAccuracy = 0xFF;
  info->decompressionAccuracy = 0xFF;
  return noErr;
}

OSErr GetCodecNameList(CodecNameSpecListPtr *list, SInt16 showAll) {
  (void)showAll;
  if (list == nullptr) return paramErr;
  *list = nullptr;
  EnsureRegistered();
  const size_t count = std::size(kCodecs);
  auto *result = reinterpret_cast<CodecNameSpecList *>(
      NewPtrClear(Size(offsetof(CodecNameSpecList, list) + count * sizeof(CodecNameSpec))));
  if (result == nullptr) return memFullErr;
  for (size_t i = 0; i < count; ++i) {
    // Only codecs that something here compresses or decompresses are listed.
    if (gCompressors[i] == nullptr && gDecompressors[i] == nullptr) continue;
    const CodecEntry &e = kCodecs[i];
    CodecNameSpec &spec = result->list[result->count];
    spec.codec = gCompressors[i] != nullptr ? gCompressors[i] : gDecompressors[i];
    spec.cType = e.type;
    size_t n = std::strlen(e.name);
    spec.typeName[0] = UInt8(n);
    std::memcpy(spec.typeName + 1, e.name, n);
    spec.name = NewHandle(0);
    OSErr err = spec.name == nullptr ? OSErr(memFullErr) : GetComponentInfo(spec.codec, nullptr, spec.name, nullptr, nullptr);
    result->count += 1;
    if (err != noErr) {
      DisposeCodecNameList(result);
      return err;
    }
  }
  *list = result;
  return noErr;
}

OSErr DisposeCodecNameList(CodecNameSpecListPtr list) {
  if (list == nullptr) return noErr;
  for (SInt16 i = 0; i < list->count; ++i)
    if (list->list[i].name != nullptr) DisposeHandle(list->list[i].name);
  DisposePtr(reinterpret_cast<Ptr>(list));
  return noErr;
}

OSErr FindCodec(CodecType cType, CodecComponent specCodec, CompressorComponent *compressor,
                DecompressorComponent *decompressor) {
  if (compressor != nullptr) *compressor = nullptr;
  if (decompressor != nullptr) *decompressor = nullptr;
  EnsureRegistered();
  size_t i = 0;
  while (i < std::size(kCodecs) && kCodecs[i].type != cType) ++i;
  if (i == std::size(kCodecs)) return noCodecErr;
  Component comp = gCompressors[i], decomp = gDecompressors[i];
  if (specCodec != anyCodec && specCodec != bestSpeedCodec && specCodec != bestFidelityCodec &&
      specCodec != bestCompressionCodec) {
    // A named component: it must be one of this type's.
    if (specCodec != comp && specCodec != decomp) return noCodecErr;
    if (specCodec == comp) decomp = nullptr;
    else comp = nullptr;
  }
  if (comp == nullptr && decomp == nullptr) return noCodecErr;
  if (compressor != nullptr) *compressor = comp;
  if (decompressor != nullptr) *decompressor = decomp;
  return noErr;
}

ComponentResult ImageCodecSetSettings(ComponentInstance ci, Handle settings) {
  CodecInstance *c = InstanceOf(ci);
  if (c == nullptr) return badComponentInstance;
  if (settings == nullptr || *settings == nullptr) {
    c->settings.clear();
    return noErr;
  }
  const UInt8 *bytes = reinterpret_cast<const UInt8 *>(*settings);
  const Size size = GetHandleSize(settings);
  if (c->compressor && IsDVType(c->cType)) {
    // DV compressors keep their 'dvco' settings in their codec settings; other bytes are not theirs.
    if (size >= kDVSettingsSize && bytes[0] == 'd' && bytes[1] == 'v' && bytes[2] == 'c' && bytes[3] == 'o') {
      c->progressive = bytes[4] != 0;
      c->is16x9 = bytes[5] != 0;
    }
    return noErr;
  }
  c->settings.assign(bytes, bytes + size);
  return noErr;
}

ComponentResult ImageCodecGetSettings(ComponentInstance ci, Handle settings) {
  CodecInstance *c = InstanceOf(ci);
  if (c == nullptr) return badComponentInstance;
  if (settings == nullptr) return paramErr;
  std::vector<UInt8> bytes = c->settings;
  if (c->compressor && IsDVType(c->cType))
    bytes = {'d', 'v', 'c', 'o', UInt8(c->progressive ? 1 : 0), UInt8(c->is16x9 ? 1 : 0), 0, 0};
  SetHandleSize(settings, Size(bytes.size()));
  if (OSErr err = MemError(); err != noErr) return err;
  if (!bytes.empty()) std::memcpy(*settings, bytes.data(), bytes.size());
  return noErr;
}

ComponentResult ImageCodecRequestSettings(ComponentInstance ci, Handle settings, Rect *rp, void *filterProc) {
  (void)rp, (void)filterProc;
  if (InstanceOf(ci) == nullptr) return badComponentInstance;
  if (settings == nullptr) return paramErr;
  return noErr;
}

OSErr PL_GetCompressorState(ComponentInstance ci, PL_CompressorState *state) {
  if (state == nullptr) return paramErr;
  auto *c = static_cast<CodecInstance *>(PL_GetComponentInstanceStorage(ci, compressorComponentType));
  if (c == nullptr) return paramErr;
  *state = PL_CompressorState{c->cType, c->progressive, c->is16x9};
  return noErr;
}
