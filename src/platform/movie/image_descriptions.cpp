// Image description extensions and properties over the description handle's bytes.
#include "platform/movie/image_descriptions.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr size_t kFixedSize = sizeof(ImageDescription);

struct Extension {
  OSType type;
  size_t offset;      // of the atom in the description
  size_t size;        // of the whole atom
  size_t dataOffset;  // of its data
};

// The description's extent (idSize, checked against the handle) and its extensions in order.
OSErr ListExtensions(ImageDescriptionHandle desc, size_t *extent, std::vector<Extension> *list) {
  if (desc == nullptr || *desc == nullptr) return paramErr;
  Size handleSize = GetHandleSize(reinterpret_cast<Handle>(desc));
  if (handleSize < Size(kFixedSize)) return badImageDescription;
  SInt32 idSize = (**desc).idSize;
  if (idSize < SInt32(kFixedSize) || idSize > handleSize) return badImageDescription;
  const UInt8 *base = reinterpret_cast<const UInt8 *>(*desc);
  list->clear();
  UInt64 offset = kFixedSize;
  for (;;) {
    PL_AtomHeader h;
    OSStatus err = PL_NextAtom(base, UInt64(idSize), &offset, &h, badImageDescription);
    if (err == kPL_AtomListEnd) break;
    if (err != noErr) return OSErr(err);
    list->push_back(Extension{h.type, size_t(h.offset), size_t(h.size), size_t(h.offset + h.headerSize)});
  }
  *extent = size_t(idSize);
  return noErr;
}

// The index-th (from 1) extension of the type, or nullptr.
const Extension *FindExtension(const std::vector<Extension> &list, OSType type, SInt32 index) {
  SInt32 seen = 0;
  for (const Extension &e : list)
    if (e.type == type && ++seen == index) return &e;
  return nullptr;
}

OSErr AppendExtension(ImageDescriptionHandle desc, size_t extent, OSType type, const void *data, size_t size) {
  if (size > size_t(std::numeric_limits<SInt32>::max()) - 8 - extent) return paramErr;
  size_t newSize = extent + 8 + size;
  SetHandleSize(reinterpret_cast<Handle>(desc), Size(newSize));
  if (MemError() != noErr) return MemError();
  UInt8 *base = reinterpret_cast<UInt8 *>(*desc);
  PL_PutBE32(base + extent, UInt32(8 + size));
  PL_PutBE32(base + extent + 4, type);
  if (size > 0) std::memcpy(base + extent + 8, data, size);
  (**desc).idSize = SInt32(newSize);
  return noErr;
}

OSErr EraseExtension(ImageDescriptionHandle desc, size_t extent, const Extension &e) {
  UInt8 *base = reinterpret_cast<UInt8 *>(*desc);
  std::memmove(base + e.offset, base + e.offset + e.size, extent - e.offset - e.size);
  size_t newSize = extent - e.size;
  (**desc).idSize = SInt32(newSize);
  SetHandleSize(reinterpret_cast<Handle>(desc), Size(newSize));
  return MemError();
}

// Replaces every extension of the type by one holding `data`; size 0 with null data only removes them.
OSErr ReplaceExtensions(ImageDescriptionHandle desc, OSType type, const void *data, size_t size) {
  for (;;) {
    size_t extent = 0;
    std::vector<Extension> list;
    OSErr err = ListExtensions(desc, &extent, &list);
    if (err != noErr) return err;
    const Extension *e = FindExtension(list, type, 1);
    if (e == nullptr) return data == nullptr ? OSErr(noErr) : AppendExtension(desc, extent, type, data, size);
    err = EraseExtension(desc, extent, *e);
    if (err != noErr) return err;
  }
}

// The data of extension 1 of the type, which must hold at least `size` bytes.
OSErr ReadExtension(ImageDescriptionHandle desc, OSType type, UInt8 *out, size_t size) {
  size_t extent = 0;
  std::vector<Extension> list;
  OSErr err = ListExtensions(desc, &extent, &list);
  if (err != noErr) return err;
  const Extension *e = FindExtension(list, type, 1);
  if (e == nullptr) return codecExtensionNotFoundErr;
  if (e->size - (e->dataOffset - e->offset) < size) return badImageDescription;
  std::memcpy(out, reinterpret_cast<const UInt8 *>(*desc) + e->dataOffset, size);
  return noErr;
}

bool IsDvCodec(OSType t) {
  switch (t) {
    case 'dvc ':
    case 'dvcp':
    case 'dvpp':
    case 'dv5n':
    case 'dv5p':
    case 'dvh5':
    case 'dvh6':
    case 'dvhp':
    case 'dvhq':
    case 'dvh1':
    case 'dvh2':
    case 'dvh3':
    case 'dvh4':
      return true;
    default:
      return false;
  }
}

bool IsRgbCodec(OSType t) {
  switch (t) {
    case 'raw ':
    case 'rle ':
    case 'Mczm':
    case 'b64a':
    case 'b48r':
    case 'b32a':
    case 'b16g':
    case 'WRLE':
    case 'WRAW':
    case 'smc ':
    case 'rpza':
    case 'png ':
    case 'tiff':
    case '8BPS':
    case 'tga ':
    case 'gif ':
      return true;
    default:
      return false;
  }
}

// The big-endian bytes of native records, field by field.
void PutWords(UInt8 *out, const UInt32 *words, size_t count) {
  for (size_t i = 0; i < count; ++i) PL_PutBE32(out + 4 * i, words[i]);
}
void GetWords(const UInt8 *in, UInt32 *words, size_t count) {
  for (size_t i = 0; i < count; ++i) words[i] = PL_GetBE32(in + 4 * i);
}

}  // namespace

Fixed PL_DefaultGammaForCodec(OSType cType) {
  if (IsDvCodec(cType)) return X2Fix(2.2222223);
  if (IsRgbCodec(cType)) return X2Fix(1.8);
  return X2Fix(2.2);
}

OSErr GetImageDescriptionExtension(ImageDescriptionHandle desc, Handle *extension, OSType idType, SInt32 index) {
  if (extension == nullptr) return paramErr;
  *extension = nullptr;
  size_t extent = 0;
  std::vector<Extension> list;
  OSErr err = ListExtensions(desc, &extent, &list);
  if (err != noErr) return err;
  const Extension *e = FindExtension(list, idType, index);
  if (e == nullptr) return codecExtensionNotFoundErr;
  size_t n = e->size - (e->dataOffset - e->offset);
  Handle h = NewHandle(Size(n));
  if (h == nullptr) return MemError();
  if (n > 0) std::memcpy(*h, reinterpret_cast<const UInt8 *>(*desc) + e->dataOffset, n);
  *extension = h;
  return noErr;
}

OSErr AddImageDescriptionExtension(ImageDescriptionHandle desc, Handle extension, OSType idType) {
  if (extension == nullptr || *extension == nullptr) return paramErr;
  size_t extent = 0;
  std::vector<Extension> list;
  OSErr err = ListExtensions(desc, &extent, &list);
  if (err != noErr) return err;
  // A copy: the extension handle could be the description itself.
  std::vector<UInt8> data(reinterpret_cast<const UInt8 *>(*extension),
                          reinterpret_cast<const UInt8 *>(*extension) + GetHandleSize(extension));
  return AppendExtension(desc, extent, idType, data.data(), data.size());
}

OSErr RemoveImageDescriptionExtension(ImageDescriptionHandle desc, OSType idType, SInt32 index) {
  size_t extent = 0;
  std::vector<Extension> list;
  OSErr err = ListExtensions(desc, &extent, &list);
  if (err != noErr) return err;
  const Extension *e = FindExtension(list, idType, index);
  if (e == nullptr) return codecExtensionNotFoundErr;
  return EraseExtension(desc, extent, *e);
}

OSErr CountImageDescriptionExtensionType(ImageDescriptionHandle desc, OSType idType, SInt32 *count) {
  if (count == nullptr) return paramErr;
  size_t extent = 0;
  std::vector<Extension> list;
  OSErr err = ListExtensions(desc, &extent, &list);
  if (err != noErr) return err;
  *count = SInt32(std::count_if(list.begin(), list.end(), [idType](const Extension &e) { return e.type == idType; }));
  return noErr;
}

OSErr GetNextImageDescriptionExtensionType(ImageDescriptionHandle desc, OSType *idType) {
  if (idType == nullptr) return paramErr;
  size_t extent = 0;
  std::vector<Extension> list;
  OSErr err = ListExtensions(desc, &extent, &list);
  if (err != noErr) return err;
  std::vector<OSType> types;
  for (const Extension &e : list)
    if (std::find(types.begin(), types.end(), e.type) == types.end()) types.push_back(e.type);
  if (*idType == 0) {
    *idType = types.empty() ? 0 : types.front();
    return noErr;
  }
  auto it = std::find(types.begin(), types.end(), *idType);
  *idType = (it == types.end() || it + 1 == types.end()) ? 0 : *(it + 1);
  return noErr;
}

OSStatus ICMImageDescriptionGetProperty(ImageDescriptionHandle desc, OSType propClass, OSType propID,
                                        ByteCount propValueSize, void *propValueAddress, ByteCount *propSizeUsed) {
  if (desc == nullptr || *desc == nullptr || propValueAddress == nullptr) return paramErr;
  if (propClass != kQTPropertyClass_ImageDescription) return kQTPropertyNotSupportedErr;
  size_t extent = 0;
  std::vector<Extension> list;
  OSErr err = ListExtensions(desc, &extent, &list);
  if (err != noErr) return err;
  UInt8 raw[32];
  size_t need = 0;
  switch (propID) {
    case kICMImageDescriptionPropertyID_GammaLevel: {
      if (propValueSize < 4) return kQTPropertyBadValueSizeErr;
      Fixed gamma = 0;
      err = ReadExtension(desc, kGammaLevelImageDescriptionExtension, raw, 4);
      if (err == noErr) gamma = Fixed(PL_GetBE32(raw));
      if (err != noErr && err != codecExtensionNotFoundErr) return err;
      if (gamma == 0) gamma = PL_DefaultGammaForCodec((**desc).cType);
      std::memcpy(propValueAddress, &gamma, 4);
      need = 4;
      break;
    }
    case kICMImageDescriptionPropertyID_PixelAspectRatio:
    case kICMImageDescriptionPropertyID_CleanAperture: {
      size_t words = propID == kICMImageDescriptionPropertyID_CleanAperture ? 8 : 2;
      need = words * 4;
      if (propValueSize < need) return kQTPropertyBadValueSizeErr;
      err = ReadExtension(desc, propID, raw, need);
      if (err != noErr) return err;
      UInt32 values[8];
      GetWords(raw, values, words);
      std::memcpy(propValueAddress, values, need);
      break;
    }
    case kICMImageDescriptionPropertyID_NCLCColorInfo: {
      need = sizeof(NCLCColorInfoImageDescriptionExtension);
      if (propValueSize < need) return kQTPropertyBadValueSizeErr;
      // A colour extension of another kind (an ICC profile) is no nclc, whatever its length.
      err = ReadExtension(desc, kColorInfoImageDescriptionExtension, raw, 4);
      if (err != noErr) return err;
      if (PL_GetBE32(raw) != kVideoColorInfoImageDescriptionExtensionType) return codecExtensionNotFoundErr;
      err = ReadExtension(desc, kColorInfoImageDescriptionExtension, raw, need);
      if (err != noErr) return err;
      NCLCColorInfoImageDescriptionExtension nclc{PL_GetBE32(raw), PL_GetBE16(raw + 4), PL_GetBE16(raw + 6),
                                                  PL_GetBE16(raw + 8)};
      std::memcpy(propValueAddress, &nclc, need);
      break;
    }
    case kICMImageDescriptionPropertyID_FieldInfo:
      need = 2;
      if (propValueSize < need) return kQTPropertyBadValueSizeErr;
      err = ReadExtension(desc, kFieldInfoImageDescriptionExtension, raw, need);
      if (err != noErr) return err;
      std::memcpy(propValueAddress, raw, need);
      break;
    case kICMImageDescriptionPropertyID_EncodedWidth:
    case kICMImageDescriptionPropertyID_EncodedHeight: {
      need = 4;
      if (propValueSize < need) return kQTPropertyBadValueSizeErr;
      SInt32 v = propID == kICMImageDescriptionPropertyID_EncodedWidth ? (**desc).width : (**desc).height;
      std::memcpy(propValueAddress, &v, 4);
      break;
    }
    default:
      return kQTPropertyNotSupportedErr;
  }
  if (propSizeUsed) *propSizeUsed = ByteCount(need);
  return noErr;
}

OSStatus ICMImageDescriptionSetProperty(ImageDescriptionHandle desc, OSType propClass, OSType propID,
                                        ByteCount propValueSize, const void *propValueAddress) {
  if (desc == nullptr || *desc == nullptr || propValueAddress == nullptr) return paramErr;
  if (propClass != kQTPropertyClass_ImageDescription) return kQTPropertyNotSupportedErr;
  size_t extent = 0;
  std::vector<Extension> list;
  OSErr err = ListExtensions(desc, &extent, &list);
  if (err != noErr) return err;
  UInt8 raw[32];
  switch (propID) {
    case kICMImageDescriptionPropertyID_GammaLevel: {
      if (propValueSize != 4) return kQTPropertyBadValueSizeErr;
      Fixed gamma;
      std::memcpy(&gamma, propValueAddress, 4);
      if (gamma == 0) return ReplaceExtensions(desc, kGammaLevelImageDescriptionExtension, nullptr, 0);
      PL_PutBE32(raw, UInt32(gamma));
      return ReplaceExtensions(desc, kGammaLevelImageDescriptionExtension, raw, 4);
    }
    case kICMImageDescriptionPropertyID_PixelAspectRatio:
    case kICMImageDescriptionPropertyID_CleanAperture: {
      size_t words = propID == kICMImageDescriptionPropertyID_CleanAperture ? 8 : 2;
      if (propValueSize != words * 4) return kQTPropertyBadValueSizeErr;
      UInt32 values[8];
      std::memcpy(values, propValueAddress, words * 4);
      PutWords(raw, values, words);
      return ReplaceExtensions(desc, propID, raw, words * 4);
    }
    case kICMImageDescriptionPropertyID_NCLCColorInfo: {
      if (propValueSize != sizeof(NCLCColorInfoImageDescriptionExtension)) return kQTPropertyBadValueSizeErr;
      NCLCColorInfoImageDescriptionExtension nclc;
      std::memcpy(&nclc, propValueAddress, sizeof(nclc));
      PL_PutBE32(raw, kVideoColorInfoImageDescriptionExtensionType);
      PL_PutBE16(raw + 4, nclc.primaries);
      PL_PutBE16(raw + 6, nclc.transferFunction);
      PL_PutBE16(raw + 8, nclc.matrix);
      return ReplaceExtensions(desc, kColorInfoImageDescriptionExtension, raw, 10);
    }
    case kICMImageDescriptionPropertyID_FieldInfo:
      if (propValueSize != 2) return kQTPropertyBadValueSizeErr;
      return ReplaceExtensions(desc, kFieldInfoImageDescriptionExtension, propValueAddress, 2);
    case kICMImageDescriptionPropertyID_EncodedWidth:
    case kICMImageDescriptionPropertyID_EncodedHeight: {
      if (propValueSize != 4) return kQTPropertyBadValueSizeErr;
      SInt32 v;
      std::memcpy(&v, propValueAddress, 4);
      if (v < 0 || v > 0x7FFF) return paramErr;
      if (propID == kICMImageDescriptionPropertyID_EncodedWidth)
        (**desc).width = SInt16(v);
      else
        (**desc).height = SInt16(v);
      return noErr;
    }
    default:
      return kQTPropertyNotSupportedErr;
  }
}

Boolean PL_ImageDescriptionsEquivalent(ImageDescriptionHandle a, ImageDescriptionHandle b) {
  size_t extentA = 0, extentB = 0;
  std::vector<Extension> listA, listB;
  if (ListExtensions(a, &extentA, &listA) != noErr || ListExtensions(b, &extentB, &listB) != noErr) return false;
  const ImageDescription &da = **a, &db = **b;
  if (da.cType != db.cType || da.width != db.width || da.height != db.height || da.depth != db.depth ||
      da.clutID != db.clutID)
    return false;
  return extentA == extentB &&
         std::memcmp(reinterpret_cast<const UInt8 *>(*a) + kFixedSize, reinterpret_cast<const UInt8 *>(*b) + kFixedSize,
                     extentA - kFixedSize) == 0;
}

Boolean PL_GetGreyRampPalette(SInt16 depth, UInt32 palette[256]) {
  if (palette == nullptr || (depth != 34 && depth != 36 && depth != 40)) return false;
  const UInt32 last = (1u << (depth - 32)) - 1;
  for (UInt32 i = 0; i < 256; ++i) {
    const UInt32 grey = i <= last ? 255 - i * 255 / last : 0;
    palette[i] = 0xFF000000u | grey << 16 | grey << 8 | grey;
  }
  return true;
}
