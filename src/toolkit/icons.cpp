// Icons of the user-interface toolkit.
#include "toolkit/icons.h"

#include "general/cf_encodings.h"
#include "general/error_keys.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/ui/images.h"

#include <string>
#include <vector>

namespace {

constexpr SInt32 kIconSide = 256;

}  // namespace

OSStatus IC_PicToIcon(PicHandle picture, IconRef *iconRef) {
  if (iconRef == nullptr) return paramErr;
  return PL_NewIconRefFromPicture(picture, iconRef);
}

OSStatus IC_PictureFileToIconRef(const FSRef *file, IconRef *iconRef) {
  if (iconRef == nullptr) return paramErr;
  *iconRef = nullptr;
  std::string path;
  OSStatus err = PL_FSRefMakePathString(file, &path);
  if (err != noErr) return err;
  GWorldPtr world = nullptr;
  if ((err = PL_ImageDecodeFile(path.c_str(), &world)) != noErr) return err;
  PixMapHandle pixels = GetGWorldPixMap(world);
  const Rect bounds = (*pixels)->bounds;
  CGImageRef image = PL_CGImageCreateARGB(size_t(bounds.right - bounds.left), size_t(bounds.bottom - bounds.top),
                                          GetPixBaseAddr(pixels), size_t(GetPixRowBytes(pixels)));
  DisposeGWorld(world);
  if (image == nullptr) return memFullErr;
  err = IC_GetIconRefFromCGImage(image, iconRef);
  CGImageRelease(image);
  return err;
}

OSStatus IC_GetIconRefFromCGImage(CGImageRef image, IconRef *iconRef) {
  if (iconRef == nullptr) return paramErr;
  *iconRef = nullptr;
  const UInt8 *source = PL_CGImageGetARGBPixels(image);
  const size_t width = CGImageGetWidth(image), height = CGImageGetHeight(image);
  if (source == nullptr || width == 0 || height == 0) return paramErr;
  const size_t rowBytes = CGImageGetBytesPerRow(image);
  const bool premultiplied = PL_CGImageIsPremultiplied(image);
  // Scaled to fill the icon (nearest pixel), with straight alpha: the element holds unpremultiplied ARGB.
  Handle bitmap = NewHandleClear(kIconSide * kIconSide * 4);
  if (bitmap == nullptr) return memFullErr;
  auto *out = reinterpret_cast<UInt8 *>(*bitmap);
  for (SInt32 y = 0; y < kIconSide; ++y) {
    const UInt8 *row = source + (size_t(y) * height / kIconSide) * rowBytes;
    for (SInt32 x = 0; x < kIconSide; ++x) {
      const UInt8 *p = row + (size_t(x) * width / kIconSide) * 4;
      UInt8 *q = out + (size_t(y) * kIconSide + size_t(x)) * 4;
      q[0] = p[0];
      for (int c = 1; c < 4; ++c)
        q[c] = premultiplied && p[0] != 0 && p[0] != 255 ? UInt8(std::min(255, (p[c] * 255 + p[0] / 2) / p[0])) : p[c];
    }
  }
  Handle family = NewHandle(8);
  if (family == nullptr) {
    DisposeHandle(bitmap);
    return memFullErr;
  }
  auto *header = reinterpret_cast<UInt8 *>(*family);
  const UInt8 kHeader[8] = {'i', 'c', 'n', 's', 0, 0, 0, 8};
  std::copy(kHeader, kHeader + 8, header);
  OSStatus err = SetIconFamilyData(family, kIconServices256PixelDataARGB, bitmap);
  if (err == noErr) err = GetIconRefFromIconFamilyPtr(*family, GetHandleSize(family), iconRef);
  DisposeHandle(bitmap);
  DisposeHandle(family);
  return err;
}

OSStatus IC_RegisterIconInAppBundle(FourCharCode creator, FourCharCode type, const char *name, IconRef *iconRef) {
  if (iconRef != nullptr) *iconRef = nullptr;
  if (name == nullptr || name[0] == '\0') return paramErr;
  if (CFBundleGetMainBundle() == nullptr) return kGL_BundleResourceNotFoundErr;
  PL_CFScoped<CFStringRef> fileName(CFStringCreateWithCString(nullptr, name, kCFStringEncodingASCII));
  if (fileName.get() == nullptr) return fnfErr;
  FSRef file{};
  if (CF_GetNamedFileInAppBundle(fileName.get(), &file) != noErr) return noErr;  // nothing to register
  return RegisterIconRefFromFSRef(creator, type, &file, iconRef);
}

OSStatus IC_IconFromAppBundle(CFStringRef name, IconRef *iconRef) {
  if (iconRef == nullptr) return paramErr;
  *iconRef = nullptr;
  FSRef file{};
  OSStatus err = CF_GetNamedFileInAppBundle(name, &file);
  if (err != noErr) return err;
  IconFamilyHandle family = nullptr;
  if ((err = ReadIconFromFSRef(&file, &family)) != noErr) return err;
  err = GetIconRefFromIconFamilyPtr(*family, GetHandleSize(family), iconRef);
  DisposeHandle(family);
  return err;
}
