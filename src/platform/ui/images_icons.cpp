// Icon Services stand-in, icon families.
#include "platform/ui/images_icons.h"

#include "platform/core/mac_errors.h"
#include "platform/core/quickdraw_pictures.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

UInt32 ReadBE(const UInt8 *p) { return UInt32(p[0]) << 24 | UInt32(p[1]) << 16 | UInt32(p[2]) << 8 | p[3]; }
void WriteBE(UInt8 *p, UInt32 v) {
  p[0] = UInt8(v >> 24);
  p[1] = UInt8(v >> 16);
  p[2] = UInt8(v >> 8);
  p[3] = UInt8(v);
}

bool IsFamily(const UInt8 *bytes, size_t size) {
  return bytes != nullptr && size >= 8 && ReadBE(bytes) == kIconFamilyType && ReadBE(bytes + 4) >= 8 &&
         ReadBE(bytes + 4) <= size;
}

// The element's data (offset and size inside the family), false when there is none.
bool FindElement(const UInt8 *bytes, size_t size, OSType type, size_t *offset, size_t *length) {
  const size_t total = ReadBE(bytes + 4);
  for (size_t at = 8; at + 8 <= total && at + 8 <= size;) {
    const UInt32 elementLength = ReadBE(bytes + at + 4);
    if (elementLength < 8 || at + elementLength > total) return false;  // damaged: stop here
    if (ReadBE(bytes + at) == type) {
      *offset = at + 8;
      *length = elementLength - 8;
      return true;
    }
    at += elementLength;
  }
  return false;
}

OSStatus IconFromARGB(SInt32 width, SInt32 height, const void *argb, SInt32 rowBytes, IconRef *icon) {
  const Rect frame{0, 0, SInt16(height), SInt16(width)};
  PicHandle picture = nullptr;
  OSStatus err = PL_NewARGBPicture(&frame, width, height, argb, rowBytes, &picture);
  if (err != noErr) return err;
  err = PL_NewIconRefFromPicture(picture, icon);
  KillPicture(picture);
  return err;
}

std::map<std::pair<OSType, OSType>, IconRef> gRegistered;

}  // namespace

OSErr SetIconFamilyData(IconFamilyHandle iconFamily, OSType iconType, Handle h) {
  if (iconFamily == nullptr || *iconFamily == nullptr || h == nullptr) return paramErr;
  const Size familySize = GetHandleSize(iconFamily);
  auto *bytes = reinterpret_cast<UInt8 *>(*iconFamily);
  if (!IsFamily(bytes, size_t(familySize))) return paramErr;
  std::vector<UInt8> family(bytes, bytes + ReadBE(bytes + 4));
  size_t offset = 0, length = 0;
  if (FindElement(family.data(), family.size(), iconType, &offset, &length))
    family.erase(family.begin() + std::ptrdiff_t(offset - 8), family.begin() + std::ptrdiff_t(offset + length));
  const Size dataSize = GetHandleSize(h);
  UInt8 header[8];
  WriteBE(header, iconType);
  WriteBE(header + 4, UInt32(dataSize + 8));
  family.insert(family.end(), header, header + 8);
  if (dataSize > 0) family.insert(family.end(), reinterpret_cast<UInt8 *>(*h), reinterpret_cast<UInt8 *>(*h) + dataSize);
  WriteBE(family.data() + 4, UInt32(family.size()));
  SetHandleSize(iconFamily, Size(family.size()));
  if (MemError() != noErr) return MemError();
  std::memcpy(*iconFamily, family.data(), family.size());
  return noErr;
}

OSErr GetIconFamilyData(IconFamilyHandle iconFamily, OSType iconType, Handle h) {
  if (iconFamily == nullptr || *iconFamily == nullptr || h == nullptr) return paramErr;
  const auto *bytes = reinterpret_cast<const UInt8 *>(*iconFamily);
  const size_t size = size_t(GetHandleSize(iconFamily));
  if (!IsFamily(bytes, size)) return paramErr;
  size_t offset = 0, length = 0;
  if (!FindElement(bytes, size, iconType, &offset, &length)) return noSuchIconErr;
  std::vector<UInt8> data(bytes + offset, bytes + offset + length);
  SetHandleSize(h, Size(length));
  if (MemError() != noErr) return MemError();
  if (length > 0) std::memcpy(*h, data.data(), length);
  return noErr;
}

OSErr GetIconRefFromIconFamilyPtr(const void *inIconFamilyPtr, Size inSize, IconRef *outIconRef) {
  if (outIconRef == nullptr) return paramErr;
  *outIconRef = nullptr;
  const auto *bytes = static_cast<const UInt8 *>(inIconFamilyPtr);
  if (inSize < 0 || !IsFamily(bytes, size_t(inSize))) return paramErr;
  const size_t size = ReadBE(bytes + 4);
  size_t offset = 0, length = 0;
  if (FindElement(bytes, size, kIconServices256PixelDataARGB, &offset, &length) && length == 256 * 256 * 4)
    return OSErr(IconFromARGB(256, 256, bytes + offset, 256 * 4, outIconRef));
  if (FindElement(bytes, size, kPictureIconFamilyElement, &offset, &length) && length > 0) {
    Handle picture = NewHandle(Size(length));
    if (picture == nullptr) return memFullErr;
    std::memcpy(*picture, bytes + offset, length);
    const OSStatus err = PL_NewIconRefFromPicture(reinterpret_cast<PicHandle>(picture), outIconRef);
    DisposeHandle(picture);
    return OSErr(err);
  }
  // A real icon file: Qt's reader takes its largest image.
  const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), qsizetype(size));
  QBuffer buffer;
  buffer.setData(data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "icns");
  QImage image;
  for (int i = 0; i < std::max(1, reader.imageCount()); ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    QImage next = reader.read();
    if (!next.isNull() && (image.isNull() || next.width() * next.height() > image.width() * image.height()))
      image = next;
  }
  if (image.isNull()) return invalidIconRefErr;
  image = image.convertToFormat(QImage::Format_ARGB32);
  std::vector<UInt8> argb(size_t(image.width()) * size_t(image.height()) * 4);
  for (int y = 0; y < image.height(); ++y) {
    const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      UInt8 *p = &argb[(size_t(y) * size_t(image.width()) + size_t(x)) * 4];
      p[0] = UInt8(qAlpha(line[x]));
      p[1] = UInt8(qRed(line[x]));
      p[2] = UInt8(qGreen(line[x]));
      p[3] = UInt8(qBlue(line[x]));
    }
  }
  return OSErr(IconFromARGB(image.width(), image.height(), argb.data(), image.width() * 4, outIconRef));
}

OSErr ReadIconFromFSRef(const FSRef *ref, IconFamilyHandle *iconFamily) {
  if (ref == nullptr || iconFamily == nullptr) return paramErr;
  *iconFamily = nullptr;
  std::string path;
  OSStatus err = PL_FSRefMakePathString(ref, &path);
  if (err != noErr) return OSErr(err);
  std::ifstream file(path, std::ios::binary);
  if (!file) return fnfErr;
  std::vector<UInt8> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!IsFamily(bytes.data(), bytes.size())) return invalidIconRefErr;
  Handle family = NewHandle(Size(bytes.size()));
  if (family == nullptr) return memFullErr;
  std::memcpy(*family, bytes.data(), bytes.size());
  *iconFamily = family;
  return noErr;
}

OSErr RegisterIconRefFromFSRef(OSType creator, OSType iconType, const FSRef *iconFile, IconRef *theIconRef) {
  if (theIconRef != nullptr) *theIconRef = nullptr;
  IconFamilyHandle family = nullptr;
  OSErr err = ReadIconFromFSRef(iconFile, &family);
  if (err != noErr) return err;
  IconRef icon = nullptr;
  err = GetIconRefFromIconFamilyPtr(*family, GetHandleSize(family), &icon);
  DisposeHandle(family);
  if (err != noErr) return err;
  IconRef &slot = gRegistered[{creator, iconType}];
  if (slot != nullptr) ReleaseIconRef(slot);
  slot = icon;
  if (theIconRef != nullptr) *theIconRef = icon;
  return noErr;
}

OSErr GetIconRef(SInt16, OSType creator, OSType iconType, IconRef *theIconRef) {
  if (theIconRef == nullptr) return paramErr;
  *theIconRef = nullptr;
  auto found = gRegistered.find({creator, iconType});
  if (found == gRegistered.end()) return noSuchIconErr;
  AcquireIconRef(found->second);
  *theIconRef = found->second;
  return noErr;
}

OSStatus PL_GetIconRefSize(IconRef iconRef, SInt32 *width, SInt32 *height) {
  PicHandle picture = PL_GetIconRefPicture(iconRef);
  if (picture == nullptr) return paramErr;
  return PL_GetPictureImage(picture, width, height, nullptr);
}
