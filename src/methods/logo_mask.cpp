// The logo mask read from an image (see the header).
#include "methods/logo_mask.h"

#include "movie/pictures.h"
#include "platform/movie/components.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/core/quickdraw_ports.h"
#include "platform/ui/images_graphics.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr SInt32 kWhiteTolerance = 7;

// One ARGB pixel over white: whether any of red, green and blue lies more than the tolerance below white.
bool IsMaskColour(const UInt8 *argb) {
  const SInt32 alpha = argb[0];
  for (SInt32 c = 1; c <= 3; ++c) {
    const SInt32 over = (argb[c] * alpha + 255 * (255 - alpha) + 127) / 255;
    if (over < 255 - kWhiteTolerance) return true;
  }
  return false;
}

}  // namespace

OSStatus BZ_RlCheckMask(BZ_RlDlgTaskData *rlDlgTaskData, const FSRef *maskFile) {
  if (rlDlgTaskData == nullptr || maskFile == nullptr) return paramErr;
  FSCatalogInfo info{};
  if (FSGetCatalogInfo(maskFile, kFSCatInfoNone, &info, nullptr, nullptr, nullptr) != noErr)
    return kBZ_AuxFileNotFoundErr;
  GraphicsImportComponent gi = nullptr;
  OSStatus err = QT_GetGraphicsImporterForFile(maskFile, &gi);
  if (err == fnfErr) err = kBZ_AuxFileNotFoundErr;
  if (err != noErr) return err;
  Rect bounds{};
  GWorldPtr world = nullptr;
  err = GraphicsImportGetNaturalBounds(gi, &bounds);
  if (err == noErr) err = GraphicsImportSetBoundsRect(gi, &bounds);
  if (err == noErr) err = NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0);
  PixMapHandle pm = world != nullptr ? GetGWorldPixMap(world) : nullptr;
  const SInt32 width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
  UInt8 *base = pm != nullptr ? reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm)) : nullptr;
  const SInt32 rowBytes = pm != nullptr ? GetPixRowBytes(pm) : 0;
  if (err == noErr && base != nullptr) {
    // A white page under the image: transparent parts stay white.
    for (SInt32 row = 0; row < height; ++row) std::memset(base + size_t(row) * rowBytes, 0xFF, size_t(width) * 4);
    err = GraphicsImportSetGWorld(gi, world, nullptr);
    if (err == noErr) err = GraphicsImportDraw(gi);
  }
  std::vector<UInt8> full;
  SInt32 count = 0, top = height, left = width, bottom = 0, right = 0;
  if (err == noErr && base != nullptr) {
    full.assign(size_t(width) * size_t(height), 0);
    for (SInt32 row = 0; row < height; ++row)
      for (SInt32 col = 0; col < width; ++col) {
        if (!IsMaskColour(base + size_t(row) * rowBytes + size_t(col) * 4)) continue;
        full[size_t(row) * width + col] = 1;
        ++count;
        top = std::min(top, row), left = std::min(left, col);
        bottom = std::max(bottom, row + 1), right = std::max(right, col + 1);
      }
    if (count == 0) err = kBZ_LogoEmptyErr;
  }
  DisposeGWorld(world);
  CloseComponent(gi);
  if (err != noErr) return err;

  const SInt32 boxWidth = right - left, boxHeight = bottom - top;
  auto *mask = static_cast<UInt8 *>(std::malloc(size_t(boxWidth) * size_t(boxHeight)));
  if (mask == nullptr) return memFullErr;
  for (SInt32 row = 0; row < boxHeight; ++row)
    std::memcpy(mask + size_t(row) * boxWidth, full.data() + size_t(top + row) * width + left, size_t(boxWidth));
  std::free(rlDlgTaskData->isMaskPixel);
  std::free(rlDlgTaskData->logoPixels);
  rlDlgTaskData->logoPixels = nullptr;
  rlDlgTaskData->numLogoPixels = 0;
  rlDlgTaskData->isMaskPixel = mask;
  rlDlgTaskData->numMaskPix = count;
  rlDlgTaskData->logoRectInPic = Rect{SInt16(top), SInt16(left), SInt16(bottom), SInt16(right)};
  rlDlgTaskData->logoPicBounds = Rect{0, 0, SInt16(height), SInt16(width)};
  rlDlgTaskData->maskRect = rlDlgTaskData->logoRectInPic;
  return noErr;
}

void BZ_RlMaskRectAtAnchor(const BZ_RlDlgTaskData *rlDlgTaskData, SInt32 maskAnchor, SInt32 height, SInt32 width,
                           Rect *logoRect) {
  if (rlDlgTaskData == nullptr || logoRect == nullptr) return;
  Rect r = rlDlgTaskData->logoRectInPic;
  const SInt32 dv = height - rlDlgTaskData->logoPicBounds.bottom, dh = width - rlDlgTaskData->logoPicBounds.right;
  if (maskAnchor == 1 || maskAnchor == 2) r.top = SInt16(r.top + dv), r.bottom = SInt16(r.bottom + dv);
  if (maskAnchor == 2 || maskAnchor == 3) r.left = SInt16(r.left + dh), r.right = SInt16(r.right + dh);
  *logoRect = r;
}
