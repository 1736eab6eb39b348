// One window position of the outlier stage.
#include "outliers/outlier_worker.h"

#include "general/memory_lists.h"
#include "outliers/gradient_objects.h"
#include "outliers/outlier_motion.h"
#include "outliers/outlier_pictures.h"
#include "outliers/speck_detector.h"
#include "outliers/speck_editing.h"
#include "outliers/speck_replacement.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr BZ_OuPictureSwitches kCleanedFrame = {true, false, false, false, false, false, false};

std::mutex gSwitchesLock;
BZ_OuPictureSwitches gSwitches = kCleanedFrame;

BZ_OuPictureSwitches CurrentSwitches() {
  std::lock_guard<std::mutex> lock(gSwitchesLock);
  return gSwitches;
}

// Trace counters for the life of the program; workers share them, so their order follows the workers'.
std::atomic<long> gFrameCounter{0};
std::atomic<long> gRelativeFrameNum{-1};

// One line written whole, so that lines of two workers never interleave.
void PutLine(const std::string &line) { std::fputs(line.c_str(), stdout); }

void AppendFormat(std::string *s, const char *format, ...) __attribute__((format(printf, 2, 3)));
void AppendFormat(std::string *s, const char *format, ...) {
  char buffer[64];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n > 0) s->append(buffer, size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1);
}

void TraceCounters(SInt32 numInBuffers, UInt8 *const *inBuffers) {
  const SInt32 last = numInBuffers - 1;
  SInt32 first = 0;
  while (first < numInBuffers && inBuffers[first] == nullptr) ++first;
  long relative;
  if (first > 0) {
    relative = last - first;
    gRelativeFrameNum = relative;
  } else {
    relative = ++gRelativeFrameNum;
  }
  // The counters are only traced: a worker has no business playing sounds.
  const long frame = gFrameCounter++;
  char line[96];
  std::snprintf(line, sizeof line, "BZ_OuRemoveOutliers: frameNum = %ld, relative frame # = %ld\n", frame, relative);
  PutLine(line);
}

// The pictures whose planes come with the gradient objects of the centre frame; until those are found per
// frame the objects are none.
void WriteDebugPicture(const BZ_OuParams *p, const BZ_OuPictureSwitches &s, const UInt8 *centre, UInt16 *data,
                       SInt32 *pixelList, UInt8 *out) {
  if (s.printingGradSq) {
    // The pixel list is free at this point and large enough for the gradient plane.
    auto *gradSq = reinterpret_cast<UInt16 *>(pixelList);
    std::memset(gradSq, 0, size_t(p->width) * size_t(p->height) * sizeof(UInt16));
    BZ_OuCalcGradSqUni(p, centre, nullptr, gradSq, nullptr);
    BZ_CopyGradSqToOutBuffer(p, gradSq, out);
    PutLine("Copied grad squared to out buffer\n");
  } else if (s.printingGradObj) {
    BZ_CopyGradObjToOutBuffer(p, data, nullptr, out);
    PutLine("Copied gradient objects to out buffer\n");
  } else if (s.printingSkeletons) {
    BZ_CopySkeletonsToOutBuffer(p, centre, nullptr, kBZ_OuSkeletonPictureFlags, out);
    PutLine("Copied skeletons to out buffer\n");
  } else if (s.printingSkeletonThickness) {
    BZ_CopySkeletonThicknessToOutBuffer(p, nullptr, out);
    PutLine("Copied skeleton thickness to out buffer\n");
  } else if (s.printingMv) {
    BZ_OuCopyMvParamsQualityToBuffer(p, nullptr, out);
    PutLine("Copied motion vector quality to out buffer\n");
  } else if (s.printingMedianFilter) {
    // The median-filtered plane is not kept per frame yet: the output stays the centre frame.
    PutLine("Copied median-filtered image to out buffer\n");
  }
}

void FillPreview(const BZ_OuParams *p, const SInt32 *avPixelDiff, UInt8 *const *inBuffers, const UInt8 *out,
                 const UInt16 *data, void *const *mv, BZ_OuSpeckLE **specks, const BZ_OuPreviewTarget &target) {
  BZ_OuPreviewData *pv = target.ouPreviewData;
  const SInt32 k = p->sett->numConstPix;
  // The pipeline's buffers hold the padded frame; the copies are at least that large (bufferSize).
  const size_t planeBytes = std::min(target.bufferSize, size_t(p->width) * size_t(p->height) * 2);
  // Window slots k to 3k go to positions 0 to 2k, where the speck editing reads them.
  for (SInt32 i = 0; i < kBZ_OuNumPreviewInBuffers; ++i) {
    UInt8 *copy = pv->inBuffers[i];
    if (copy == nullptr) continue;
    const UInt8 *from = i <= 2 * k ? inBuffers[k + i] : nullptr;
    if (from != nullptr)
      std::memcpy(copy, from, planeBytes);
    else
      pv->inBuffers[i] = nullptr;  // an empty slot stays empty for the editing too
  }
  if (pv->outBuffer2vuy != nullptr) std::memcpy(pv->outBuffer2vuy, out, planeBytes);
  for (SInt32 i = 0; i < kBZ_OuMaxNumCached; ++i) {
    pv->avPixelDiff[i] = i < p->numInBuffers ? avPixelDiff[i] : 0;
    pv->gradObjList[i] = nullptr;
  }
  UInt16 *previewData = target.ouDlgTaskData != nullptr ? target.ouDlgTaskData->ouData[2 * k] : nullptr;
  if (previewData != nullptr) std::memcpy(previewData, data, size_t(p->width) * size_t(p->height) * sizeof(UInt16));
  BZ_OuCopyPreviewMv(pv, p, mv);
  BZ_OuDisposeSpeckList(&pv->speckList);
  pv->speckList = *specks;
  *specks = nullptr;
}

}  // namespace

void BZ_OuSetPictureSwitches(const BZ_OuPictureSwitches *switches) {
  std::lock_guard<std::mutex> lock(gSwitchesLock);
  gSwitches = switches != nullptr ? *switches : kCleanedFrame;
}

void BZ_OuGetPictureSwitches(BZ_OuPictureSwitches *switches) {
  if (switches != nullptr) *switches = CurrentSwitches();
}

void BZ_OuPrintSceneChanges(SInt32 numInBuffers, SInt32 maxAvPixelDiff, const SInt32 *avPixelDiff) {
  std::string line = "Scene changes: ";
  for (SInt32 i = 0; i + 1 < numInBuffers; ++i) line += avPixelDiff[i] > maxAvPixelDiff ? "1," : "0,";
  line += "\n";
  PutLine(line);
}

void BZ_OuPrintfInBuffers(SInt32 numConstPix, UInt8 *const *inBuffers, const UInt8 *outBuffer) {
  std::string line = "In buffers: ";
  for (SInt32 i = 0; i < 4 * numConstPix + 1; ++i) AppendFormat(&line, "%p,", static_cast<const void *>(inBuffers[i]));
  AppendFormat(&line, "    Out buffer: %p\n", static_cast<const void *>(outBuffer));
  PutLine(line);
}

OSStatus BZ_OuRemoveOutliers(const BZ_OuParams *ouParams, const SInt32 *avPixelDiff, const SInt32 *frameNums,
                             UInt8 *const *inBuffers, UInt8 *outBuffer, SInt32 *pixelList, UInt16 *data,
                             void *const *mv, const BZ_OuOeLE *edits, const BZ_OuPreviewTarget *preview) {
  if (ouParams == nullptr || ouParams->sett == nullptr || avPixelDiff == nullptr || frameNums == nullptr ||
      inBuffers == nullptr)
    return paramErr;
  const SInt32 k = ouParams->sett->numConstPix;
  if (k < kBZ_OuMinNumConstPix || k > kBZ_OuMaxNumConstPix || ouParams->numInBuffers != 4 * k + 1) return paramErr;
  TraceCounters(ouParams->numInBuffers, inBuffers);
  BZ_OuPrintSceneChanges(ouParams->numInBuffers, ouParams->sett->maxAvPixelDiff, avPixelDiff);
  BZ_OuPrintfInBuffers(k, inBuffers, outBuffer);

  const UInt8 *centre = inBuffers[2 * k];
  if (centre == nullptr || outBuffer == nullptr) return noErr;
  if (pixelList == nullptr || data == nullptr) return paramErr;
  const size_t planePixels = size_t(ouParams->width) * size_t(ouParams->height);
  std::memcpy(outBuffer, centre, planePixels * 2);

  // Each replay starts from the specks the detector finds in this window alone (it clears the flag plane
  // first), so that a frame's specks and their numbers do not depend on which frames its worker handled before.
  const BZ_OuPictureSwitches s = CurrentSwitches();
  BZ_OuSpeckLE *specks = nullptr;
  OSStatus err = BZ_OuCalcSpeckList(ouParams, inBuffers, avPixelDiff, mv, data, pixelList, &specks);
  if (err == noErr && edits != nullptr) err = BZ_OuImplementOutlierEditList(centre, data, pixelList, edits, &specks);

  if (err == noErr) {
    if (s.replacing) {
      PutLine("Replaced speck pixels\n");
      BZ_OuReplaceSpeckPixels(ouParams, avPixelDiff, inBuffers, outBuffer, data, mv, specks);
    } else {
      WriteDebugPicture(ouParams, s, centre, data, pixelList, outBuffer);
    }
    if (preview != nullptr && preview->ouPreviewData != nullptr)
      FillPreview(ouParams, avPixelDiff, inBuffers, outBuffer, data, mv, &specks, *preview);
  }
  BZ_OuDisposeSpeckList(&specks);
  return err;
}
