// The padded working frame, its padding, and the small utilities the stages and the project set-up share.
#include "engine/runtime/working_format.h"

#include "color/frame_edits.h"
#include "color/gamma_tables.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/project_settings.h"
#include "general/formatted_strings.h"
#include "general/memory_lists.h"
#include "general/unicode_strings.h"
#include "movie/codecs.h"
#include "movie/export_settings.h"
#include "platform/core/cf_string.h"
#include "platform/core/fixed_math.h"
#include "platform/core/hfs_names.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// ---- Padding ----

// A picture line for a margin line that mirrors line y: y itself when inside the picture, else the nearest
// line of the same field (step f) inside it. Only pictures shorter than their margins need the second rule.
SInt32 SourceLine(SInt32 y, SInt32 inHeight, SInt32 f) {
  if (y < 0) y += (-y + f - 1) / f * f;
  if (y > inHeight - 1) y -= (y - (inHeight - 1) + f - 1) / f * f;
  return std::clamp<SInt32>(y, 0, inHeight - 1);
}

// The same across a line: a luma source is any pixel, a chroma source keeps the parity (Cb or Cr) of x.
SInt32 SourcePixel(SInt32 x, SInt32 inWidth, SInt32 step) { return SourceLine(x, inWidth, step); }

// Sources of the margin pixels of every line, worked out once per frame. The right margin is 8 to 15
// pixels for buffers of BZ_GetBufferSize; a wider one computes the rest as it goes.
constexpr SInt32 kMaxTabledRight = 16;

struct MarginSources {
  SInt32 leftLuma[kBZ_PadLeftPixels], leftChroma[kBZ_PadLeftPixels];
  SInt32 rightLuma[kMaxTabledRight], rightChroma[kMaxTabledRight];
};

MarginSources MakeMarginSources(SInt32 inWidth) {
  MarginSources m{};
  for (SInt32 i = 0; i < kBZ_PadLeftPixels; ++i) {
    m.leftLuma[i] = SourcePixel(i, inWidth, 1);
    m.leftChroma[i] = SourcePixel(i + 1, inWidth, 2);
  }
  for (SInt32 j = 0; j < kMaxTabledRight; ++j) {
    m.rightLuma[j] = SourcePixel(inWidth - 1 - j, inWidth, 1);
    m.rightChroma[j] = SourcePixel(inWidth - 2 - j, inWidth, 2);
  }
  return m;
}

// Fills the left and right margins of one line; `pic` points at the picture's first pixel.
inline void PadLine(UInt8 *pic, SInt32 inWidth, SInt32 numRight, const MarginSources &m) {
  for (SInt32 i = 0; i < kBZ_PadLeftPixels; ++i) {
    UInt8 *pad = pic - 2 * (i + 1);
    pad[0] = pic[2 * m.leftChroma[i]];
    pad[1] = pic[2 * m.leftLuma[i] + 1];
  }
  UInt8 *right = pic + 2 * ptrdiff_t(inWidth);
  const SInt32 tabled = std::min(numRight, kMaxTabledRight);
  for (SInt32 j = 0; j < tabled; ++j) {
    right[2 * j] = pic[2 * m.rightChroma[j]];
    right[2 * j + 1] = pic[2 * m.rightLuma[j] + 1];
  }
  for (SInt32 j = tabled; j < numRight; ++j) {
    right[2 * j] = pic[2 * SourcePixel(inWidth - 2 - j, inWidth, 2)];
    right[2 * j + 1] = pic[2 * SourcePixel(inWidth - 1 - j, inWidth, 1) + 1];
  }
}

// ---- Names ----

// The export component list's extension of that subtype as a byte string, or NULL.
const char *ExportExtension(OSType exportType) {
  for (const QT_CompInfoLE *e = gBZ.expCompInfoList; e != nullptr; e = e->next) {
    if (e->subType != exportType) continue;
    // The field may be filled to its end: never read past it.
    if (std::memchr(e->fileNameExt, 0, sizeof e->fileNameExt) == nullptr) return nullptr;
    return e->fileNameExt;
  }
  return nullptr;
}

// The string's length cut back, whole composed characters at a time, to at most maxLen units.
CFIndex FittingLength(CFStringRef s, CFIndex maxLen) {
  CFIndex n = CFStringGetLength(s);
  while (n > maxLen && n > 0) n = CFStringGetRangeOfComposedCharactersAtIndex(s, n - 1).location;
  return n;
}

// Stores base + suffix into an HFS name, shortening the base so that the whole fits 255 units.
OSStatus StoreName(CFStringRef base, CFStringRef suffix, HFSUniStr255 *name) {
  const CFIndex suffixLen = suffix != nullptr ? CFStringGetLength(suffix) : 0;
  if (suffixLen > 255) return errFSNameTooLong;
  PL_CFScoped<CFMutableStringRef> whole(CFStringCreateMutableCopy(kCFAllocatorDefault, 0, base));
  if (whole == nullptr) return memFullErr;
  const CFIndex keep = FittingLength(base, 255 - suffixLen);
  CFStringDelete(whole, CFRangeMake(keep, CFStringGetLength(base) - keep));
  if (suffix != nullptr) CFStringAppend(whole, suffix);
  return FSGetHFSUniStrFromString(whole, name);
}

}  // namespace

// ---- Geometry and padding ------------------------------------------------------------------------------------

OSStatus BZ_PadFrame(const BZ_PadParams *padParams, void *inBuffer) {
  if (padParams == nullptr || inBuffer == nullptr) return paramErr;
  const SInt32 inWidth = padParams->inWidth, inHeight = padParams->inHeight;
  const SInt32 width = padParams->width, height = padParams->height;
  const SInt32 f = padParams->interlaced ? 2 : 1;
  const SInt32 top = kBZ_PadFieldLines * f;
  if (inWidth <= 0 || inHeight <= 0 || SInt64(width) * 2 > INT32_MAX) return paramErr;
  if (SInt64(width) < SInt64(inWidth) + kBZ_PadLeftPixels || SInt64(height) < SInt64(inHeight) + top)
    return paramErr;

  UInt8 *buffer = static_cast<UInt8 *>(inBuffer);
  const size_t rowBytes = size_t(width) * 2;
  auto row = [&](SInt32 bufferLine) { return buffer + ptrdiff_t(bufferLine) * ptrdiff_t(rowBytes); };

  // Left and right margins of every picture line, first, so that the row copies carry them into the corners.
  const SInt32 numRight = width - inWidth - kBZ_PadLeftPixels;
  const MarginSources sources = MakeMarginSources(inWidth);
  for (SInt32 y = 0; y < inHeight; ++y) PadLine(row(top + y) + 2 * kBZ_PadLeftPixels, inWidth, numRight, sources);

  // Top margin: pad line -m mirrors line m - 1, or within its field line m (m odd) and m - 2 (m even).
  for (SInt32 m = 1; m <= top; ++m) {
    const SInt32 y = f == 1 ? m - 1 : ((m & 1) != 0 ? m : m - 2);
    std::memcpy(row(top - m), row(top + SourceLine(y, inHeight, f)), rowBytes);
  }
  // Bottom margin: pad line inHeight + m mirrors inHeight - 1 - m, or within its field inHeight - m (m odd)
  // and inHeight - 2 - m (m even). An odd count leaves a last line of the pairs' pattern, in its own field.
  const SInt32 bottom = height - inHeight - top;
  for (SInt32 m = 0; m < bottom; ++m) {
    const SInt32 y = f == 1 ? inHeight - 1 - m : ((m & 1) != 0 ? inHeight - m : inHeight - 2 - m);
    std::memcpy(row(top + inHeight + m), row(top + SourceLine(y, inHeight, f)), rowBytes);
  }
  return noErr;
}

void BZ_PadSelectionRect(Boolean interlaced, const Rect *selRect, Rect *paddedSelRect) {
  if (selRect == nullptr || paddedSelRect == nullptr) return;
  const SInt16 dv = SInt16(interlaced ? 2 * kBZ_PadFieldLines : kBZ_PadFieldLines);
  *paddedSelRect = *selRect;
  paddedSelRect->top = SInt16(paddedSelRect->top + dv);
  paddedSelRect->bottom = SInt16(paddedSelRect->bottom + dv);
  paddedSelRect->left = SInt16(paddedSelRect->left + kBZ_PadLeftPixels);
  paddedSelRect->right = SInt16(paddedSelRect->right + kBZ_PadLeftPixels);
}

void BZ_PadPoint(Boolean interlaced, Point pt, Point *paddedPt) {
  if (paddedPt == nullptr) return;
  paddedPt->v = SInt16(pt.v + (interlaced ? 2 * kBZ_PadFieldLines : kBZ_PadFieldLines));
  paddedPt->h = SInt16(pt.h + kBZ_PadLeftPixels);
}

void BZ_GetRealFrameBounds(Boolean interlaced, SInt32 inWidth, SInt32 inHeight, Rect *realFrame) {
  if (realFrame == nullptr) return;
  const Rect picture = {0, 0, SInt16(inHeight), SInt16(inWidth)};
  BZ_PadSelectionRect(interlaced, &picture, realFrame);
}

Boolean BZ_MasksCropMargins(const BZ_ProjSett *sett) {
  return sett != nullptr && (sett->input.maskBlackBars || QT_IsDV_CodecType(sett->output.cType));
}

void BZ_GetCroppedSourceRect(const BZ_InputSett *inputSett, SInt32 inHeight, SInt32 inWidth, int clipping,
                             Rect *sourceRect) {
  if (inputSett == nullptr || sourceRect == nullptr) return;
  const SInt32 top = kBZ_PadFieldLines * (inputSett->interlaced ? 2 : 1);
  SInt32 t = top, l = kBZ_PadLeftPixels, b = top + inHeight, r = kBZ_PadLeftPixels + inWidth;
  if (inputSett->cropping && !(inputSett->maskBlackBars && clipping)) {
    t += inputSett->cropRect.top;
    l += inputSett->cropRect.left;
    b -= inputSett->cropRect.bottom;
    r -= inputSett->cropRect.right;
  }
  *sourceRect = Rect{SInt16(t), SInt16(l), SInt16(std::max(b, t)), SInt16(std::max(r, l))};
}

void BZ_GetNum16x16Blocks(SInt32 f, const Rect *selRect, SInt32 *numBlocksHoriz, SInt32 *numBlocksVert,
                          SInt32 *horizStride, SInt32 *vertStride) {
  SInt32 nh = 0, nv = 0, sh = 0, sv = 0;
  if (selRect != nullptr && f >= 1) {
    const SInt32 w = selRect->right - selRect->left, h = selRect->bottom - selRect->top;
    nh = w / 8 - 1;
    nv = h / (8 * f) - 1;
    if (nh > 0 && nv > 0) {
      if (SInt64(nh) * nv > 1000) {
        const float s = std::sqrt(float(SInt64(nh) * nv) / 1000.0f);
        nh = SInt32(float(nh) / s);
        nv = SInt32(float(nv) / s);
        // A very narrow selection would thin one direction to nothing (and divide by 0 below): keep one
        // row or column of blocks, and the cap, instead.
        if (nh < 1) nh = 1;
        if (nv < 1) nv = 1;
        if (SInt64(nh) * nv > 1000) {
          if (nv == 1)
            nh = 1000;
          else
            nv = 1000;
        }
      }
      sh = (w / nh) & ~1;
      sv = h / nv;
    } else {
      nh = nv = 0;
    }
  }
  if (numBlocksHoriz != nullptr) *numBlocksHoriz = nh;
  if (numBlocksVert != nullptr) *numBlocksVert = nv;
  if (horizStride != nullptr) *horizStride = sh;
  if (vertStride != nullptr) *vertStride = sv;
}

// ---- The white line -----------------------------------------------------------------------------------------

void BZ_CopyWhiteLineSett(const BZ_StatMovInfo *statMovInfo, const BZ_ProjSett *settings, Boolean *removeWhiteLine,
                          Boolean *whiteLineIsBottomLine) {
  *removeWhiteLine = false;
  *whiteLineIsBottomLine = false;
  if (settings->input.whiteLinePiece) {
    *removeWhiteLine = true;
    *whiteLineIsBottomLine = statMovInfo[0].whiteLineIsBottomLine;
  } else if (settings->cleaning.average.apply && settings->cleaning.average.hasWhiteLinePiece) {
    *removeWhiteLine = true;
    *whiteLineIsBottomLine = statMovInfo[1].whiteLineIsBottomLine;
  }
}

SInt32 BZ_GetWhiteLineRow(Boolean interlaced, Boolean whiteLineIsBottomLine) {
  return (interlaced ? 590 : 582) + (whiteLineIsBottomLine ? 1 : 0);
}

void BZ_RemoveWhiteLine(UInt8 *buffer, SInt32 width, Boolean interlaced, Boolean whiteLineIsBottomLine) {
  const SInt32 row = BZ_GetWhiteLineRow(interlaced, whiteLineIsBottomLine);
  CO_PaintLineBlack(width, buffer + ptrdiff_t(row) * width * 2);
}

// ---- Stage questions -----------------------------------------------------------------------------------------

Boolean BZ_GetPadding(BZ_ProjPtr project, BZ_TaskType taskType) {
  if (project == nullptr) return false;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *stage = BZ_GetBufferInfoByStageType(table, taskType, 0);
  if (stage == nullptr) return false;
  const SInt32 index = SInt32(stage - table);
  // The table's last entry always ends it.
  for (SInt32 i = index + 1; i <= index + 15 && i < kBZ_NumBuffInfos - 1; ++i) {
    const BZ_TaskType type = table[i].type;
    if (type == kBZ_NoTaskType) return false;
    if (BZ_IsProcessTaskType(type)) return type == kBZ_NoiseRedTaskType;
  }
  return false;
}

Boolean BZ_NeedInBufferForNoiseCalc(BZ_BuffInfo *buffInfo, const BZ_BuffInfo *stageBuffInfo,
                                    BZ_ExecuteState projState, Boolean makeNoiseMovie, Boolean calcStats) {
  if (buffInfo == nullptr || stageBuffInfo == nullptr || BZ_GetFirstProcessBuffer(buffInfo) != stageBuffInfo)
    return false;
  if (projState == kBZ_ProjStatePreviewing) return true;
  if (projState == kBZ_ProjStateExecuting) return makeNoiseMovie;
  return calcStats;
}

// ---- Gamma, sizes and rates ----------------------------------------------------------------------------------

OSStatus BZ_GetInternalGamma(BZ_ProjPtr project, const BZ_AppPrefs *appPrefs, float *internalGamma,
                             UInt16 **newRGB_In, UInt16 **newRGB_Out) {
  if (newRGB_In != nullptr) *newRGB_In = nullptr;
  if (newRGB_Out != nullptr) *newRGB_Out = nullptr;
  if (project == nullptr || internalGamma == nullptr) return paramErr;

  BZ_AppPrefs fetched{};
  if (appPrefs == nullptr) {
    fetched = BZ_GetEngineAppPrefs();
    appPrefs = &fetched;
  }

  const BZ_StatMovInfo &source = project->info.statMovInfo[0];
  const BZ_OutputSett &output = project->info.settings.output;
  float sourceGamma = source.gamma;
  // A source whose gamma was never found (or is damaged) has its codec's usual one; a gamma of 0 would make
  // every conversion table constant.
  if (!(sourceGamma > 0.0f) || !std::isfinite(sourceGamma))
    sourceGamma = QT_IsDV_CodecType(source.cType) ? kBZ_VideoGamma : float(Fix2X(PL_DefaultGammaForCodec(source.cType)));

  float gamma = sourceGamma;
  if (output.export_ || QT_IsDV_CodecType(output.cType) || appPrefs->alwaysGamma22 || output.cType == 'icod')
    gamma = kBZ_VideoGamma;
  *internalGamma = gamma;

  auto makeTable = [](float from, float to, UInt16 **table) -> OSStatus {
    if (table == nullptr || std::fabs(from - to) < 0.0001f) return noErr;
    OSStatus err = GL_NewPtr(1024 * sizeof(UInt16), table);
    if (err != noErr) return err;
    CO_MakeRGBTable(from, to, *table);
    return noErr;
  };
  OSStatus err = makeTable(sourceGamma, gamma, newRGB_In);
  if (err == noErr) err = makeTable(gamma, kBZ_DisplayGamma, newRGB_Out);
  if (err != noErr) {
    if (newRGB_In != nullptr) GL_DisposePtr(newRGB_In);
    if (newRGB_Out != nullptr) GL_DisposePtr(newRGB_Out);
  }
  return err;
}

OSStatus BZ_GetDataRate(const BZ_OutputSett *outputSett, SInt32 *dataRate) {
  if (dataRate != nullptr) *dataRate = 0;
  if (outputSett == nullptr || dataRate == nullptr) return paramErr;
  Handle settings = outputSett->videoExportSett;
  Handle fetched = nullptr;
  if (settings == nullptr) {
    // Read on a copy: the caller's record keeps what it had.
    BZ_OutputSett copy = *outputSett;
    BZ_GetVideoExportSettFromPrefs(&copy);
    fetched = settings = copy.videoExportSett;
  }
  OSStatus err = noErr;
  if (settings != nullptr) {
    SCDataRateSettings rateSett{};
    Boolean videoFound = false, found = false;
    err = QT_GetDataRateSettingsFromExportSettContainer(settings, &rateSett, &videoFound, &found);
    if (err == noErr) {
      if (videoFound && found) {
        *dataRate = rateSett.dataRate;
      } else {
        Boolean rateFound = false;
        SInt32 rate = 0;
        err = QT_GetDataRateFromExportSettContainer(settings, &rate, &rateFound);
        if (err == noErr && rateFound) *dataRate = rate;
      }
    }
  }
  if (fetched != nullptr) DisposeHandle(fetched);
  return err;
}

OSStatus BZ_GetExportFrameDataSize(const BZ_ProjInfo *projInfo, SInt32 *frameSize) {
  if (frameSize != nullptr) *frameSize = 0;
  if (projInfo == nullptr || frameSize == nullptr) return paramErr;
  SInt32 rate = 0;
  OSStatus err = BZ_GetDataRate(&projInfo->settings.output, &rate);
  if (err != noErr) return err;
  const BZ_StatMovInfo &source = projInfo->statMovInfo[0];
  if (rate != 0) {
    // A source without frames or time scale has no duration per frame to spread the rate over.
    if (source.numFrames > 0 && source.movieTimeScale > 0) {
      const double size =
          double(rate) * (double(source.videoDuration) / double(source.movieTimeScale)) / double(source.numFrames);
      *frameSize = SInt32(std::clamp(size, 0.0, double(INT32_MAX)));
    }
  } else if (projInfo->settings.output.exportType == 'dvc!') {
    *frameSize = source.height == 576 ? 144000 : 120000;
  }
  return noErr;
}

SInt32 BZ_GetNoiseFrameSize(const BZ_ProjInfo *projInfo) {
  if (projInfo == nullptr) return 0;
  const BZ_StatMovInfo &source = projInfo->statMovInfo[0];
  const SInt64 s = SInt64(std::max<SInt32>(source.width, 0)) * std::max<SInt32>(source.height, 0) * 2;
  UInt32 types = 0;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  if (host->getValidSelectedProcessTypes(host->refCon, &projInfo->settings.cleaning, &types) != noErr) types = 0;
  const bool full = (types & (kBZ_AverageTypeFlag | kBZ_NoiseRedTypeFlag | kBZ_VarBrTypeFlag)) != 0;
  const SInt64 size = full ? s : SInt64(double(s) * 0.1);
  return SInt32(std::min<SInt64>(size, INT32_MAX));
}

Boolean BZ_Get16x9(SInt32 height, SInt32 width) {
  if (height <= 0 || width <= 0) return false;
  const float r1 = (4.0f * float(height)) / (3.0f * float(width));
  const float r2 = (16.0f * float(height)) / (9.0f * float(width));
  const float d1 = std::max(r1, 1.0f / r1), d2 = std::max(r2, 1.0f / r2);
  return d1 > d2;
}

namespace {

// Extensions that describe the picture, which the cleaned movie shares with its source. Every other one
// configures the source's decoder ('avcC', 'hvcC', 'esds', 'glbl', ...) and would misdescribe the codec the
// cleaned movie is written with.
bool DescribesPicture(OSType type) {
  switch (type) {
    case 'fiel': case 'pasp': case 'clap': case 'colr': case 'gama': case 'mdcv': case 'clli': return true;
    default: return false;
  }
}

}  // namespace

OSStatus BZ_CopyAllImageDescExts(ImageDescriptionHandle srcDesc, ImageDescriptionHandle trgtDesc, Boolean replacing) {
  if (srcDesc == nullptr || trgtDesc == nullptr) return paramErr;
  // A description copied onto itself already has its extensions (and would be rotated by replacing).
  if (srcDesc == trgtDesc) return noErr;
  OSType type = 0;
  for (;;) {
    OSStatus err = GetNextImageDescriptionExtensionType(srcDesc, &type);
    if (err != noErr) return err;
    if (type == 0) return noErr;
    char typeText[5] = {char(type >> 24), char(type >> 16), char(type >> 8), char(type), 0};
    std::printf("Calling CountImageDescriptionExtensionType, srcDesc = %p, ideType = %s\n",
                static_cast<void *>(srcDesc), typeText);
    if (!DescribesPicture(type)) continue;
    SInt32 n = 0, m = 0;
    err = CountImageDescriptionExtensionType(srcDesc, type, &n);
    if (err != noErr) return err;
    std::printf("Calling CountImageDescriptionExtensionType, trgtDesc = %p, ideType = %s\n",
                static_cast<void *>(trgtDesc), typeText);
    err = CountImageDescriptionExtensionType(trgtDesc, type, &m);
    if (err != noErr) return err;
    for (SInt32 index = 1; index <= n; ++index) {
      Handle extension = nullptr;
      err = GetImageDescriptionExtension(srcDesc, &extension, type, index);
      if (err == codecExtensionNotFoundErr) break;
      if (err != noErr) return err;
      if (index <= m && replacing) err = RemoveImageDescriptionExtension(trgtDesc, type, 1);
      if (err == noErr && (index > m || replacing)) err = AddImageDescriptionExtension(trgtDesc, extension, type);
      DisposeHandle(extension);
      if (err != noErr) return err;
    }
  }
}

// ---- Target file names ---------------------------------------------------------------------------------------

OSStatus BZ_CreateIndexedNameInFolder(BZ_TargetFileData *targetFileData, SInt32 fileIndex) {
  if (targetFileData == nullptr || fileIndex < 0 || fileIndex >= kBZ_MaxNumFiles) return paramErr;
  HFSUniStr255 name = targetFileData[fileIndex].fileName;
  if (name.length > 255) return paramErr;
  const FSRef *folder = &targetFileData[0].parentRef;
  for (SInt64 counter = 2;; ++counter) {
    FSRef existing;
    OSStatus err = FSMakeFSRefUnicode(folder, name.length, name.unicode, kTextEncodingUnknown, &existing);
    if (err == fnfErr) break;
    if (err != noErr) return err;
    PL_CFScoped<CFMutableStringRef> base(GL_HFSUniStr255ToCFMutStr(&name));
    if (base == nullptr) return memFullErr;
    GL_RemoveCFEndString(base, 6, kGL_NameEndAtPeriod);
    if (counter >= 3) GL_RemoveCFEndString(base, 4, kGL_NameEndAtSpace);
    PL_CFScoped<CFStringRef> suffix(CF_StringCreateWithFormat(CFSTR(" %ld.mov"), counter));
    if (suffix == nullptr) return memFullErr;
    err = StoreName(base, suffix, &name);
    if (err != noErr) return err;
  }
  targetFileData[fileIndex].fileName = name;
  return noErr;
}

OSStatus BZ_CheckTargetFileName(BZ_ProjInfo *projInfo) {
  if (projInfo == nullptr) return noErr;
  HFSUniStr255 &fileName = projInfo->targetFileData[0].fileName;
  if (fileName.length == 0 || fileName.length > 255) return noErr;
  PL_CFScoped<CFMutableStringRef> name(GL_HFSUniStr255ToCFMutStr(&fileName));
  if (name == nullptr) return noErr;
  BZ_RemoveFileNameExtension(name);
  const BZ_OutputSett &output = projInfo->settings.output;
  CFStringRef ext = nullptr;
  if (output.export_)
    BZ_CopyExportFileNameExtension(output.exportType, &ext);
  else
    ext = CFStringCreateWithCString(kCFAllocatorDefault, kBZ_MovieFileNameExtension, kCFStringEncodingASCII);
  PL_CFScoped<CFStringRef> extension(ext);
  HFSUniStr255 checked{};
  if (StoreName(name, extension, &checked) == noErr) fileName = checked;
  return noErr;
}

void BZ_RemoveFileNameExtension(CFMutableStringRef targetFileNameRef) {
  if (targetFileNameRef == nullptr) return;
  CFStringRef ending = nullptr;
  BZ_CopyFileNameExtension(targetFileNameRef, &ending);
  CFIndex n = 0;
  if (ending != nullptr) {
    n = CFStringGetLength(ending);
    CFRelease(ending);
  } else if (CFStringHasSuffix(targetFileNameRef, CFSTR(".exp")) ||
             // ".mov" is this program's own output extension, whether or not an exporter offers it: without
             // this rule a movie named "Clip.mov" would become "Clip.mov.mov".
             CFStringHasSuffix(targetFileNameRef, CFSTR(".mov"))) {
    n = 4;
  }
  const CFIndex length = CFStringGetLength(targetFileNameRef);
  if (n > 0 && n <= length) CFStringDelete(targetFileNameRef, CFRangeMake(length - n, n));
}

void BZ_AddFileNameExtension(OSType exportType, CFMutableStringRef targetFileNameRef) {
  if (targetFileNameRef == nullptr) return;
  CFStringRef extension = nullptr;
  BZ_CopyExportFileNameExtension(exportType, &extension);
  if (extension == nullptr) return;
  CFStringAppend(targetFileNameRef, extension);
  CFRelease(extension);
}

void BZ_CopyExportFileNameExtension(OSType exportType, CFStringRef *fileNameExtRef) {
  if (fileNameExtRef == nullptr) return;
  *fileNameExtRef = nullptr;
  const char *extension = ExportExtension(exportType);
  if (extension != nullptr) *fileNameExtRef = GL_MacRomanCStrToCFStr(extension);
}

void BZ_CopyFileNameExtension(CFStringRef targetFileNameRef, CFStringRef *endStrRef) {
  if (endStrRef == nullptr) return;
  *endStrRef = nullptr;
  if (targetFileNameRef == nullptr) return;
  CFIndex n = 0;
  PL_CFScoped<CFStringRef> ending(GL_CopyCFNameEndString(targetFileNameRef, &n, 255, kGL_NameEndAtPeriod));
  if (n == 0) return;
  for (const QT_CompInfoLE *e = gBZ.expCompInfoList; e != nullptr; e = e->next) {
    if (std::memchr(e->fileNameExt, 0, sizeof e->fileNameExt) == nullptr) continue;
    PL_CFScoped<CFStringRef> known(GL_MacRomanCStrToCFStr(e->fileNameExt));
    if (known != nullptr && CFStringCompare(ending, known, 0) == kCFCompareEqualTo) {
      *endStrRef = ending.release();
      return;
    }
  }
}

CFStringRef BZ_MakeOutputFileExtension() {
  const BZ_ProjSett *sett = BZ_GetProjSettPtr();
  if (sett != nullptr && sett->output.export_) {
    CFStringRef extension = nullptr;
    BZ_CopyExportFileNameExtension(sett->output.exportType, &extension);
    // A caller formats the name with it: an exporter without an extension adds nothing.
    return extension != nullptr ? extension : CFStringCreateWithCString(kCFAllocatorDefault, "", kCFStringEncodingASCII);
  }
  return CFStringCreateWithCString(kCFAllocatorDefault, kBZ_MovieFileNameExtension, kCFStringEncodingASCII);
}
