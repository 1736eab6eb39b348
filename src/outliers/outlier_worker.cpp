// One window position of the outlier stage.
#include "outliers/outlier_worker.h"

#include "general/memory_lists.h"
#include "outliers/gradient_objects.h"
#include "outliers/median_filter.h"
#include "outliers/outlier_motion.h"
#include "outliers/outlier_pictures.h"
#include "outliers/skeleton_node_regions.h"
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

void WriteDebugPicture(const BZ_OuParams *p, const BZ_OuPictureSwitches &s, const UInt8 *centre,
                       const BZ_OuFrameObjects *objects, SInt32 *pixelList, UInt8 *out) {
  const BZ_OuFrameObjects none{};
  const BZ_OuFrameObjects &o = objects != nullptr ? *objects : none;
  if (s.printingGradSq) {
    // The pixel list is free at this point and large enough for the gradient plane.
    auto *gradSq = reinterpret_cast<UInt16 *>(pixelList);
    std::memset(gradSq, 0, size_t(p->width) * size_t(p->height) * sizeof(UInt16));
    BZ_OuCalcGradSqUni(p, centre, nullptr, gradSq, nullptr);
    BZ_CopyGradSqToOutBuffer(p, gradSq, out);
    PutLine("Copied grad squared to out buffer\n");
  } else if (s.printingGradObj) {
    if (o.data != nullptr) {
      BZ_CopyGradObjToOutBuffer(p, o.data, o.objects, out);
    } else {
      BZ_CopySkeletonThicknessToOutBuffer(p, nullptr, out);  // the black picture of a frame without objects
    }
    PutLine("Copied gradient objects to out buffer\n");
  } else if (s.printingSkeletons) {
    BZ_CopySkeletonsToOutBuffer(p, centre, o.objects, kBZ_OuSkeletonPictureFlags, out);
    PutLine("Copied skeletons to out buffer\n");
  } else if (s.printingSkeletonThickness) {
    BZ_CopySkeletonThicknessToOutBuffer(p, o.objects, out);
    PutLine("Copied skeleton thickness to out buffer\n");
  } else if (s.printingMv) {
    BZ_OuCopyMvParamsQualityToBuffer(p, nullptr, out);
    PutLine("Copied motion vector quality to out buffer\n");
  } else if (s.printingMedianFilter) {
    // out holds the centre frame: the filter writes only the windows with a step, the rest shows the frame.
    BZ_OuMedianFilter(p, centre, out, pixelList);
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

Boolean BZ_OuSwitchesShowObjects(const BZ_OuPictureSwitches *s) {
  return s != nullptr && !s->replacing && !s->printingGradSq &&
         (s->printingGradObj || s->printingSkeletons || s->printingSkeletonThickness);
}

size_t BZ_OuFrameObjectsScratchSize(const BZ_OuParams *p) {
  return p != nullptr ? size_t(p->width) * size_t(p->height) * (2 * sizeof(UInt16) + 3) : 0;
}

OSStatus BZ_OuFindFrameObjects(const BZ_OuParams *p, const UInt8 *frame, UInt8 *scratch, SInt32 *pixelList,
                               BZ_OuFrameObjects *objects) {
  if (p == nullptr || frame == nullptr || scratch == nullptr || pixelList == nullptr || objects == nullptr)
    return paramErr;
  BZ_OuDisposeFrameObjects(objects);
  const size_t pixels = size_t(p->width) * size_t(p->height);
  auto *gradSq = reinterpret_cast<UInt16 *>(scratch);
  UInt16 *objData = gradSq + pixels;
  UInt8 *masks[3] = {scratch + 4 * pixels, scratch + 5 * pixels, scratch + 6 * pixels};
  OSStatus err = GL_NewPtrClear(pixels * sizeof(UInt16), &objects->data);
  if (err != noErr) return err;
  BZ_OuCalcGradSqUni(p, frame, nullptr, gradSq, pixelList);
  if ((err = BZ_OuFindGradObjects(p, gradSq, objects->data, pixelList, &objects->objects, objData)) != noErr)
    return err;
  BZ_SortObjectsBySize(objects->data, &objects->objects, &objects->numLarge);
  err = BZ_OuCalcMoreObjProperties(p->width, frame, objects->data, masks, objects->objects, objects->numLarge,
                                   pixelList);
  // A skeleton that cannot be completed ends that frame's skeletons; the picture still shows what was made.
  if (err >= kSK_SectorWithoutSamplesErr && err <= kSK_SectorStepLimitErr) {
    char line[80];
    std::snprintf(line, sizeof line, "BZ_OuCalcMoreObjProperties: error = %ld\n", long(err));
    PutLine(line);
    err = noErr;
  }
  return err;
}

void BZ_OuDisposeFrameObjects(BZ_OuFrameObjects *objects) {
  if (objects == nullptr) return;
  BZ_MvDisposeMvObjList(&objects->objects);
  GL_DisposePtr(&objects->data);
  objects->numLarge = 0;
}

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
                             void *const *mv, const BZ_OuOeLE *edits, const BZ_OuPreviewTarget *preview,
                             const BZ_OuFrameObjects *centreObjects) {
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
      WriteDebugPicture(ouParams, s, centre, centreObjects, pixelList, outBuffer);
    }
    if (preview != nullptr && preview->ouPreviewData != nullptr)
      FillPreview(ouParams, avPixelDiff, inBuffers, outBuffer, data, mv, &specks, *preview);
  }
  BZ_OuDisposeSpeckList(&specks);
  return err;
}
