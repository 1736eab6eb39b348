// The AIFF resampler with its progress drawn in a progress record's items. Main thread.
#pragma once

#include "movie/aiff_export_import.h"

// An IA_ShowProgressProcPtr that redraws the record's bar and title line (GL_UpdateProgressBar); its
// failure is returned.
OSStatus IA_ShowProgressBar(GL_ProgrData *progressData, CFStringRef counterTitle);

// IA_ResampleSoundToAIFF with its progress shown in progressData's items (null: nothing shown).
OSStatus IA_ResampleSoundToAIFFShowingProgress(const FSRef *aiffFile, Media soundMedia, SInt16 numChannels,
                                               SInt16 bytesPerSample, TimeValue mediaStart, TimeValue mediaDuration,
                                               double oldSamplingRate, Fixed newSamplingRate,
                                               GL_ProgrData *progressData);
