// Averaging of two captures: checking the two source movies (see the header).
#include "methods/average_sources.h"

#include "engine/runtime/engine_host.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/standard_alerts.h"

#include <cmath>

namespace {

CFStringRef WarningKey(OSStatus warning) {
  return warning == kBZ_DiffFrameRateErr ? CFSTR("BZ DiffFrameRateErr") : CFSTR("BZ DiffNumFramesErr");
}

double FrameRate(const BZ_StatMovInfo &info) {
  return info.avFrameDuration > 0.0f ? 1.0 / double(info.avFrameDuration) : 0.0;
}

}  // namespace

OSStatus BZ_AvCheckSources(const BZ_SrcFileData *srcFileData, const BZ_StatMovInfo *statMovInfo, OSStatus *warning) {
  if (warning != nullptr) *warning = noErr;
  if (srcFileData == nullptr || statMovInfo == nullptr) return paramErr;
  const BZ_StatMovInfo &movie1 = statMovInfo[0], &movie2 = statMovInfo[1];
  if (movie1.height != movie2.height || movie1.width != movie2.width) return kBZ_DiffDimensionsErr;
  if (FSCompareFSRefs(&srcFileData[0].fileRef, &srcFileData[1].fileRef) == noErr) return kBZ_IdenticalInputMoviesErr;
  if (warning != nullptr) {
    if (std::fabs(FrameRate(movie1) - FrameRate(movie2)) > 0.5)
      *warning = kBZ_DiffFrameRateErr;
    else if (movie1.numFrames != movie2.numFrames)
      *warning = kBZ_DiffNumFramesErr;
  }
  return noErr;
}

OSStatus BZ_Av_CheckInputMovies(const BZ_SrcFileData *srcFileData, const BZ_StatMovInfo *statMovInfo) {
  OSStatus warning = noErr;
  const OSStatus err = BZ_AvCheckSources(srcFileData, statMovInfo, &warning);
  if (err != noErr || warning == noErr) return err;
  CFStringRef key = WarningKey(warning);
  CFStringRef text = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
  const BZ_EngineHost *host = BZ_GetEngineHost();
  // The warning only informs: its own failure does not stop the run.
  host->standardAlertOneButton(host->refCon, kAlertCautionAlert, nullptr, text != nullptr ? text : key, nullptr, 0);
  if (text != nullptr) CFRelease(text);
  return noErr;
}
