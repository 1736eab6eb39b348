// AIFF export and import of the sound library, and the localisation keys of its error numbers.
//
// Export hands the sound that a data procedure delivers to the AIFF movie exporter, which writes an AIFF-C
// file; the resampler writes a media's sound at a new sampling rate with 4-point polynomial interpolation
// (the file written by our own code, its header by SetupAIFFHeader); import has the AIFF movie importer
// make a sound track that refers to an AIFF file's samples.
//
// Main thread (they use the Movie Toolbox). The movie library does not draw: the resampler keeps a
// progress record up to date and asks a procedure of the caller's to show it (aiff_export_import_ui.h).
#pragma once

#include "general/progress_types.h"
#include "platform/core/cf_base.h"
#include "platform/core/files.h"
#include "platform/movie/exporters.h"
#include "platform/movie/importers.h"
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

// ---- Components ----

// Opens the AIFF exporter ('spit' 'AIFF' 'soun') that can export from procedures (flag 0x8000) or files
// (flag 16); kIA_SoundExportCompNotFoundErr when there is none. *ci (owned: CloseComponent) is null on failure.
OSStatus IA_OpenExportFromProceduresComponent(MovieExportComponent *ci);
OSStatus IA_OpenExportToFileComponent(MovieExportComponent *ci);
// Adds one 'soun' data source of srcMedia's time scale fed by soundRef's two procedures, with soundRef as
// their reference constant.
OSStatus IA_ConfigureExportComponent(MovieExportComponent ci, IA_SoundRef *soundRef);
// Opens the AIFF importer ('eat ' 'AIFF' 'soun', flag 2: imports files); kIA_SoundImportCompNotFoundErr
// when there is none.
OSStatus IA_OpenImportComponent(MovieImportComponent *ci);
// The importer needs no settings: noErr.
OSStatus IA_ConfigureImportComponent(MovieImportComponent ci, IA_SoundRef *soundRef);

// ---- Export and import ----

// Has the AIFF exporter write the sound the procedures deliver into aiffFile (the file is replaced, and
// deleted on failure): 16-bit 'twos' or 8-bit 'raw ' as the property procedure says, from 'twos', 'sowt',
// 'raw ' or 'NONE' samples of the same channel count and rate (others give paramErr). The progress
// procedure of soundRef (may be NULL) is told open, updates and close; a non-zero answer stops the export
// with that error.
OSStatus IA_ExportSoundToAIFF(const FSRef *aiffFile, IA_SoundRef *soundRef,
                              MovieExportGetPropertyProcPtr getSoundTrackProperty,
                              MovieExportGetDataProcPtr getSoundTrackData);
// The property procedure: 'ssct' 'twos' for 16-bit sources, else 'raw '; 'sscc' channels; 'ssss' sample size;
// 'ssrt' outSamplingRate; anything else paramErr.
OSErr IA_GetSoundTrackProperty_1(void *refcon, SInt32 trackID, OSType propertyType, void *propertyValue);
// The data procedure: eofErr at or beyond mediaDuration; paramErr for a description of no channels or of
// samples below 8 bits; else the samples from requestedTime (at most chunkSize bytes, at least one).
OSErr IA_GetSoundTrackData_1(void *refCon, MovieExportGetDataParams *params);

// Has the AIFF importer make a new sound track in soundRef->movie from time 0 (soundRef->track, null on
// failure) whose media refers to the AIFF file's samples. kPL_AIFFFormatErr for a file that is no AIFF.
OSStatus IA_ImportAIFF(const FSRef *aiffFile, IA_SoundRef *soundRef);

// ---- Resampling ----

// Shows a progress record that the resampler has just brought up to date (percWorkDone, count);
// counterTitle names the count. A non-zero result stops the resampling with it.
typedef OSStatus (*IA_ShowProgressProcPtr)(GL_ProgrData *progressData, CFStringRef counterTitle);

// Writes the media's sound [mediaStart, mediaStart + mediaDuration) (8 or 16 bits, 1 or 2 channels, as the
// media's description must say; signed, or offset binary for 'raw ') into aiffFile (its contents replaced)
// at newSamplingRate (16.16) from oldSamplingRate (in 1/65536 Hz). An empty stretch writes an AIFF file of
// no frames. paramErr for 0 channels or more than 2, a sample size of 0 or above 2 bytes, a negative start
// or duration, or rates that are not positive. progressData (may be null) is kept up to date and shown by
// showProgress (may be null) after each buffer written.
OSStatus IA_ResampleSoundToAIFF(const FSRef *aiffFile, Media soundMedia, SInt16 numChannels, SInt16 bytesPerSample,
                                TimeValue mediaStart, TimeValue mediaDuration, double oldSamplingRate,
                                Fixed newSamplingRate, GL_ProgrData *progressData,
                                IA_ShowProgressProcPtr showProgress = nullptr);

// The four members: the sound of the stretch, fetched in chunks of maxNumSamples frames into oldSoundBytes,
// resampled frame by frame at x(k) = mediaStart + mediaDuration x k x newNumSamplesDInv from x = mediaStart + 1
// while x < mediaStart + mediaDuration - 2 into newSoundBytes (at least maxNumSamples frames), written at the
// fork's mark in buffers of maxNumSamples frames. *newNumSamples gets the frames written. paramErr when the
// media's description is not of the member's channels and sample size, when a chunk does not start where it
// was asked for or holds fewer bytes than its frames, or for buffers or counts that cannot hold a frame.
OSStatus IA_ResampleSoundToAIFF16Mono(FSIORefNum dataForkID, Media soundMedia, TimeValue mediaStart,
                                      TimeValue mediaDuration, Handle oldSoundBytes, Handle newSoundBytes,
                                      SInt32 maxNumSamples, SInt32 *newNumSamples, Fixed newSamplingRate,
                                      double newNumSamplesDInv, GL_ProgrData *progressData,
                                      IA_ShowProgressProcPtr showProgress = nullptr);
OSStatus IA_ResampleSoundToAIFF16Stereo(FSIORefNum dataForkID, Media soundMedia, TimeValue mediaStart,
                                        TimeValue mediaDuration, Handle oldSoundBytes, Handle newSoundBytes,
                                        SInt32 maxNumSamples, SInt32 *newNumSamples, Fixed newSamplingRate,
                                        double newNumSamplesDInv, GL_ProgrData *progressData,
                                        IA_ShowProgressProcPtr showProgress = nullptr);
OSStatus IA_ResampleSoundToAIFF8Mono(FSIORefNum dataForkID, Media soundMedia, TimeValue mediaStart,
                                     TimeValue mediaDuration, Handle oldSoundBytes, Handle newSoundBytes,
                                     SInt32 maxNumSamples, SInt32 *newNumSamples, Fixed newSamplingRate,
                                     double newNumSamplesDInv, GL_ProgrData *progressData,
                                     IA_ShowProgressProcPtr showProgress = nullptr);
OSStatus IA_ResampleSoundToAIFF8Stereo(FSIORefNum dataForkID, Media soundMedia, TimeValue mediaStart,
                                       TimeValue mediaDuration, Handle oldSoundBytes, Handle newSoundBytes,
                                       SInt32 maxNumSamples, SInt32 *newNumSamples, Fixed newSamplingRate,
                                       double newNumSamplesDInv, GL_ProgrData *progressData,
                                       IA_ShowProgressProcPtr showProgress = nullptr);

// Appends curNewSampleNum frames at the fork's mark. With a progress record: percWorkDone = newSampleNum x
// newNumSamplesDInv, count = the whole minutes of output written at newSamplingRate, then showProgress (when
// given) with the counter title "# minutes =".
OSStatus IA_WriteSoundSamples(FSIORefNum dataForkID, SInt16 numChannels, SInt16 bytesPerSample, const void *newSoundPtr,
                              SInt32 curNewSampleNum, SInt32 newSampleNum, double newNumSamplesDInv,
                              Fixed newSamplingRate, GL_ProgrData *progressData,
                              IA_ShowProgressProcPtr showProgress = nullptr);
