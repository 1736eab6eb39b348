// AIFF export and import of the sound library, and the localisation keys of its error numbers.
//
// Export writes the sound that a data procedure delivers (as a movie exporter would ask for it) into an
// AIFF-C file; the resampler writes a media's sound at a new sampling rate with 4-point polynomial
// interpolation; import makes a sound track that refers to an AIFF file's samples. The AIFF writing and
// reading are our own (platform/movie/sound_files.h); no exporter or importer component is needed, so 19001
// and 19002 are only reported where a component is asked for by name.
//
// Main thread (they use the Movie Toolbox).
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/files.h"
#include "platform/movie/movie_progress.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/sound_files.h"

enum : OSStatus {
  kIA_SoundExportCompNotFoundErr = 19001,  // no sound exporter
  kIA_SoundImportCompNotFoundErr = 19002,  // no sound importer
};

// The sound to move (the caller fills it; the library reads it and updates nextMediaTime).
struct IA_SoundRef {
  SoundDescriptionHandle srcDesc;
  TimeValue mediaStart;
  TimeValue mediaDuration;
  TimeValue nextMediaTime;
  Movie movie;     // receives an import
  Track track;     // the track an import creates
  Media srcMedia;
  Fixed outSamplingRate;
  Handle soundBytes;  // buffer of the data procedure
  SInt32 chunkSize;   // bytes fetched per data request
  MovieProgressProcPtr progressProc;
  SRefCon progressRefcon;
  MovieExportGetPropertyProcPtr getSoundTrackProperty;
  MovieExportGetDataProcPtr getSoundTrackData;
};

// Stores the constant key of an AIFF number (never release it): 19001 "IA SoundExportCompNotFoundErr",
// 19002 "IA SoundImportCompNotFoundErr", every other number "GL UnknownErr". Cannot fail; any thread.
void IA_GetLibErrorKey(OSStatus error, CFStringRef *errorKey);

// Writes the sound the procedures deliver into the existing file aiffFile (replacing its contents): 16-bit
// 'twos' or 8-bit 'raw ' as the property procedure says, from 'twos', 'sowt', 'raw ' or 'NONE' samples of the
// same channel count and rate (others give paramErr). The progress procedure of soundRef (may be NULL) is
// told open, updates and close; a non-zero answer stops the export with that error.
OSStatus IA_ExportSoundToAIFF(const FSRef *aiffFile, IA_SoundRef *soundRef,
                              MovieExportGetPropertyProcPtr getSoundTrackProperty,
                              MovieExportGetDataProcPtr getSoundTrackData);
// The property procedure: 'ssct' 'twos' for 16-bit sources, else 'raw '; 'sscc' channels; 'ssss' sample size;
// 'ssrt' outSamplingRate; anything else paramErr.
OSErr IA_GetSoundTrackProperty_1(void *refcon, SInt32 trackID, OSType propertyType, void *propertyValue);
// The data procedure: eofErr at or beyond mediaDuration; paramErr for a description of no channels or of
// samples below 8 bits; else the samples from requestedTime (at most chunkSize bytes, at least one).
OSErr IA_GetSoundTrackData_1(void *refCon, MovieExportGetDataParams *params);

// Writes the media's sound [mediaStart, mediaStart + mediaDuration) (signed 8- or 16-bit, 1 or 2 channels) into
// aiffFile at newSamplingRate (16.16) from oldSamplingRate (in 1/65536 Hz). progressData is not shown here.
OSStatus IA_ResampleSoundToAIFF(const FSRef *aiffFile, Media soundMedia, SInt16 numChannels, SInt16 bytesPerSample,
                                TimeValue mediaStart, TimeValue mediaDuration, double oldSamplingRate,
                                Fixed newSamplingRate, void *progressData);
// Appends curNewSampleNum frames at the fork's mark.
OSStatus IA_WriteSoundSamples(FSIORefNum dataForkID, SInt16 numChannels, SInt16 bytesPerSample, const void *newSoundPtr,
                              SInt32 curNewSampleNum, SInt32 newSampleNum, double newNumSamplesDInv,
                              Fixed newSamplingRate, void *progressData);

// A new sound track in soundRef->movie from time 0 (soundRef->track) whose media refers to the AIFF file's
// samples. kPL_AIFFFormatErr for a file that is no AIFF.
OSStatus IA_ImportAIFF(const FSRef *aiffFile, IA_SoundRef *soundRef);
