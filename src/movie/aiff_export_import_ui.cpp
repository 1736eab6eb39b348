// The AIFF resampler's progress bar.
#include "movie/aiff_export_import_ui.h"

#include "toolkit/progress_record.h"

OSStatus IA_ShowProgressBar(GL_ProgrData *progressData, CFStringRef counterTitle) {
  return GL_UpdateProgressBar(progressData, counterTitle);
}

OSStatus IA_ResampleSoundToAIFFShowingProgress(const FSRef *aiffFile, Media soundMedia, SInt16 numChannels,
                                               SInt16 bytesPerSample, TimeValue mediaStart, TimeValue mediaDuration,
                                               double oldSamplingRate, Fixed newSamplingRate,
                                               GL_ProgrData *progressData) {
  return IA_ResampleSoundToAIFF(aiffFile, soundMedia, numChannels, bytesPerSample, mediaStart, mediaDuration,
                                oldSamplingRate, newSamplingRate, progressData,
                                progressData != nullptr ? IA_ShowProgressBar : nullptr);
}
