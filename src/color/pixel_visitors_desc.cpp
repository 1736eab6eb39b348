// Media-sample visitors: the image description says what the sample holds.
#include "color/pixel_visitors_desc.h"

#include "general/error_keys.h"
#include "platform/core/mac_errors.h"

namespace {

constexpr SInt16 kGreyWithColourTableDepth = 40;

struct SampleFormat {
  OSType cType;
  SInt16 depth;
  SInt32 width, height;
  SInt32 bytesPerPixel;  // 0 for a format the visitors do not know
  SInt32 dataSize;
};

SampleFormat FormatOf(const ImageDescription &desc) {
  SampleFormat f{desc.cType, desc.depth == kGreyWithColourTableDepth ? SInt16(8) : desc.depth, desc.width,
                 desc.height, 0, desc.dataSize};
  if (f.cType == 'yuv2') f.bytesPerPixel = 2;
  else if (f.cType == 'raw ' && (f.depth == 8 || f.depth == 16 || f.depth == 24 || f.depth == 32))
    f.bytesPerPixel = f.depth / 8;
  return f;
}

}  // namespace

OSStatus CO_TransformMediaSample(Ptr samplePtr, ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                                 ProcessYCbCr8_422ProcPtr yCbCrProc, ImageDescriptionHandle imageDescH, void *refCon) {
  if (samplePtr == nullptr || imageDescH == nullptr || *imageDescH == nullptr) return paramErr;
  SampleFormat f = FormatOf(**imageDescH);
  if (f.bytesPerPixel == 0) return paramErr;
  if (f.dataSize > 0 && SInt64(f.dataSize) < SInt64(f.width) * f.height * f.bytesPerPixel) return paramErr;
  return CO_TransformPixels(samplePtr, f.cType, f.depth, f.width, f.height, 0, grayProc, colorProc, yCbCrProc,
                            refCon);
}

OSStatus CO_TransformMediaSampleSubRect(Ptr samplePtr, ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                                        ProcessYCbCr8_422ProcPtr yCbCrProc, ImageDescriptionHandle imageDescH,
                                        const Rect *subRect, void *refCon) {
  if (samplePtr == nullptr || imageDescH == nullptr || *imageDescH == nullptr || subRect == nullptr) return paramErr;
  SampleFormat f = FormatOf(**imageDescH);
  if (f.bytesPerPixel == 0 || f.height <= 0) return paramErr;
  if (subRect->top < 0 || subRect->left < 0 || subRect->bottom > f.height || subRect->right > f.width ||
      subRect->top > subRect->bottom || subRect->left > subRect->right)
    return kGL_RectangleErr;
  SInt32 rowBytes = f.dataSize / f.height;
  if (rowBytes < SInt32(subRect->right) * f.bytesPerPixel) return paramErr;  // rows would run past the sample
  return CO_TransformPixelsInSubRect(samplePtr, f.cType, f.depth, rowBytes, subRect, grayProc, colorProc, yCbCrProc,
                                     refCon);
}

OSStatus CO_MediaSampleFullRangeToVideoRange(Ptr samplePtr, ImageDescriptionHandle imageDescH) {
  return CO_TransformMediaSample(samplePtr, CO_8RGB_FullRangeToVideoRange, CO_24RGB_FullRangeToVideoRange,
                                 CO_YCbCr8_422_FullRangeToVideoRange, imageDescH, nullptr);
}
