// The noise-spectrum picture.
#include "methods/noise_spectrum_ui.h"

#include "engine/runtime/engine_host.h"
#include "engine/tasks/pipeline_types.h"
#include "general/progress_types.h"
#include "general/quartz_pictures.h"
#include "methods/noise_analysis.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/ui/images_quartz.h"
#include "toolkit/dialog_items.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr float kMaxDotDiameter = 6.0f;
constexpr CGFloat kTitleFontSize = 10;

// The picture's storage, the project dialog's to own once it exists.
struct SpectrumPicture {
  void *buffer = nullptr;
  SInt32 width = 0, height = 0;
  GL_ProviderInfo provider{};
  CGImageRef image = nullptr;
};
SpectrumPicture gPicture;

// The localised title of a channel as a zero-terminated Mac Roman string of at most 31 characters.
void TitleOf(const char *key, char title[32]) {
  CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  CFStringRef text = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), k, k, nullptr);
  title[0] = 0;
  if (text == nullptr || !CFStringGetCString(text, title, 32, kCFStringEncodingMacRoman))
    std::snprintf(title, 32, "%s", key);
  if (text != nullptr) CFRelease(text);
  CFRelease(k);
}

}  // namespace

void BZ_NoiseSpectrGrid(SInt32 channel, SInt32 numHoriz, SInt32 numVert, SInt32 *rows, SInt32 *columns) {
  if (channel == 0) {
    *rows = numVert;
    *columns = numHoriz;
  } else {
    *columns = numHoriz / 2;
    *rows = numVert <= numHoriz ? numVert / 2 : numVert;
  }
  *rows = std::max<SInt32>(*rows, 1);
  *columns = std::max<SInt32>(*columns, 1);
}

void BZ_LayoutNoiseSpectrPic(const BZ_RnParams *rnParams, CGRect viewRect, CGPoint *spectrStart, CGPoint *titlePos,
                             SInt32 *numHoriz, SInt32 *numVert) {
  const CGFloat w = CGFloat(SInt32(viewRect.size.width + 0.01f)), h = CGFloat(SInt32(viewRect.size.height + 0.01f));
  switch (BZ_RnGetFilterKind(rnParams->sett)) {
    case kBZ_RnHorizKind: {
      *numHoriz = 8;
      *numVert = 1;
      const CGFloat e = (h - 90) / 3;
      spectrStart[0] = CGPoint{(w - 62) / 2, e / 2 + 10};
      spectrStart[1] = CGPoint{(w - 30) / 2, 1.5f * e + 30};
      spectrStart[2] = CGPoint{(w - 30) / 2, 60 + 2.5f * e};
      titlePos[0] = CGPoint{10, spectrStart[0].y - 6};
      for (int c = 1; c < 3; ++c) titlePos[c] = CGPoint{spectrStart[c].x, spectrStart[c].y - 6};
      break;
    }
    case kBZ_RnVertKind: {
      *numHoriz = 1;
      *numVert = 8;
      const CGFloat g = (w - 30) / 3;
      spectrStart[0] = CGPoint{g / 2, h - 82};
      spectrStart[1] = CGPoint{10 + 1.5f * g, h - 82};
      spectrStart[2] = CGPoint{20 + 2.5f * g, h - 82};
      titlePos[0] = CGPoint{10, 10};
      for (int c = 1; c < 3; ++c) titlePos[c] = CGPoint{spectrStart[c].x - 10, spectrStart[c].y - 10};
      break;
    }
    default: {  // two-dimensional (also when neither direction is on)
      *numHoriz = 8;
      *numVert = 8;
      const CGFloat a = (w - 92) / 2, b = (h - 130) / 2;
      spectrStart[0] = CGPoint{a / 2, 20};
      spectrStart[1] = CGPoint{1.5f * a + 62, 40 + b / 2};
      spectrStart[2] = CGPoint{1.5f * a + 62, 90 + 1.5f * b};
      titlePos[0] = CGPoint{10, 10};
      for (int c = 1; c < 3; ++c) titlePos[c] = CGPoint{spectrStart[c].x, spectrStart[c].y - 5};
      break;
    }
  }
}

void BZ_CalcAvSpectrValues(const BZ_RnParams *rnParams, const BZ_DlgTaskData *dlgTaskData, SInt32 numHoriz,
                           SInt32 numVert, float *avValue, const float **noiseSpectr) {
  const BZ_RnDlgTaskData *rn = dlgTaskData != nullptr ? dlgTaskData->rnDlgTaskData : nullptr;
  for (int c = 0; c < 3; ++c) {
    avValue[c] = 0.0f;
    noiseSpectr[c] = nullptr;
    if (rn == nullptr) continue;
    switch (BZ_RnGetFilterKind(rnParams->sett)) {
      case kBZ_RnHorizKind: noiseSpectr[c] = rn->noiseSpectr16H[c]; break;
      case kBZ_RnVertKind: noiseSpectr[c] = rn->noiseSpectr16V[c]; break;
      default: noiseSpectr[c] = rn->noiseSpectr2D[c]; break;
    }
    if (noiseSpectr[c] == nullptr) continue;
    const SInt32 rows = std::max<SInt32>(c == 0 ? numVert : numVert / 2, 1);
    const SInt32 columns = std::max<SInt32>(c == 0 ? numHoriz : numHoriz / 2, 1);
    float sum = 0.0f;
    for (SInt32 i = 0; i < rows; ++i)
      for (SInt32 k = 0; k < columns; ++k) sum += noiseSpectr[c][i * columns + k];
    avValue[c] = sum / float(rows * columns);
  }
}

void BZ_MakeNoiseSpectrPic(CGContextRef context, const BZ_DlgTaskData *dlgTaskData, const BZ_RnParams *rnParams,
                           CGRect viewRect) {
  static const char *const kTitleKeys[3] = {"BZ y noise", "BZ cb noise", "BZ cr noise"};
  char titles[3][32];
  for (int c = 0; c < 3; ++c) TitleOf(kTitleKeys[c], titles[c]);
  CGPoint start[3], titlePos[3];
  SInt32 numHoriz = 0, numVert = 0;
  BZ_LayoutNoiseSpectrPic(rnParams, viewRect, start, titlePos, &numHoriz, &numVert);
  float mean[3];
  const float *spectr[3];
  BZ_CalcAvSpectrValues(rnParams, dlgTaskData, numHoriz, numVert, mean, spectr);
  const CGFloat h = CGFloat(SInt32(viewRect.size.height + 0.01f));
  CGContextSetRGBFillColor(context, 0, 0, 0, 1);
  CGContextSetRGBStrokeColor(context, 0, 0, 0, 1);
  CGContextSelectFont(context, "Georgia", kTitleFontSize, kCGEncodingMacRoman);
  CGContextSetTextMatrix(context, CGAffineTransformMake(1, 0, 0, -1, 0, h));
  for (int c = 0; c < 3; ++c) {
    SInt32 rows = 0, columns = 0;
    BZ_NoiseSpectrGrid(c, numHoriz, numVert, &rows, &columns);
    for (SInt32 i = 0; spectr[c] != nullptr && i < rows; ++i)
      for (SInt32 k = 0; k < columns; ++k) {
        // A channel without power (never measured) draws no dots rather than dividing by 0.
        const float v = spectr[c][i * columns + k];
        float d = mean[c] > 0.0f && std::isfinite(v) ? std::min(3.0f * v / mean[c], kMaxDotDiameter) : 0.0f;
        if (!(d > 0.0f)) continue;
        const CGFloat x = start[c].x + 8 * CGFloat(k), y = start[c].y + 8 * CGFloat(i);
        CGContextFillEllipseInRect(context, CGRect{{x - d / 2, y - d / 2}, {d, d}});
      }
    CGContextShowTextAtPoint(context, titlePos[c].x, titlePos[c].y, titles[c], std::strlen(titles[c]));
  }
}

OSStatus BZ_DrawNoiseSpectr(const BZ_RnParams *rnParams) {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  WindowRef window = host->getProjDlgWindow(host->refCon);
  const HIViewID id{'Orl1', kBZ_NoiseSpectrViewID};
  HIRect viewRect{};
  OSStatus err = GL_HIViewGetSizeByID(window, id, &viewRect);
  if (err != noErr) return err;
  const SInt32 width = SInt32(viewRect.size.width + 0.01f), height = SInt32(viewRect.size.height + 0.01f);
  // The image shown reads the bitmap: a new size needs a new bitmap, and the old image goes with the old one.
  if (gPicture.buffer != nullptr && (width != gPicture.width || height != gPicture.height)) {
    err = GL_ImageViewSetImageByID(window, id, nullptr);
    if (gPicture.image != nullptr) CGImageRelease(gPicture.image);
    gPicture.image = nullptr;
    std::free(gPicture.buffer);
    gPicture.buffer = nullptr;
    if (err != noErr) return err;
  }
  CGContextRef context = GL_CreateStdCGContext(viewRect, &gPicture.buffer);
  if (context == nullptr) return noErr;
  gPicture.width = width;
  gPicture.height = height;
  std::memset(gPicture.buffer, 0, size_t(width) * size_t(height) * 4);
  if (rnParams != nullptr) BZ_MakeNoiseSpectrPic(context, &gBZ.dlgTaskData, rnParams, viewRect);
  CGContextRelease(context);
  gPicture.provider = GL_ProviderInfo{};
  gPicture.provider.ptr = static_cast<UPtr>(gPicture.buffer);
  gPicture.provider.height = height;
  gPicture.provider.width = width;
  CGImageRef image = nullptr;
  GL_CreateCGImage(&gPicture.provider, &image);
  err = GL_ImageViewSetImageByID(window, id, image);
  if (gPicture.image != nullptr) CGImageRelease(gPicture.image);
  gPicture.image = image;
  return err;
}

OSStatus BZ_HandleDrawNoiseSpectrEvent(EventRef event) {
  BZ_RnParams copy{};
  ByteCount size = 0;
  const OSStatus err = GetEventParameter(event, kBZ_RnParamsEventParam, kBZ_RnParamsEventParam, nullptr, sizeof copy,
                                         &size, &copy);
  if (err != noErr) return err;
  if (size != sizeof copy) return paramErr;
  return BZ_DrawNoiseSpectr(&copy);
}

const UInt8 *BZ_GetNoiseSpectrBitmap(SInt32 *width, SInt32 *height) {
  *width = gPicture.width;
  *height = gPicture.height;
  return static_cast<const UInt8 *>(gPicture.buffer);
}
