// Project start and run set-up: everything that happens on the main thread between the user's Start and the
// first frame. The free-space check, the creation of the target movie file (and of the noise movie), the
// rebuild of the stage table for a compressed output, the opening of the targets with their tracks, media and
// output headers, the reset of the reading and writing state, and the message that makes the main task run
// the project.
//
// What belongs to the project dialog and the application shell (saving the dialog's settings and the
// application preferences, stopping a running analysis, closing the preview and example windows,
// deactivating the settings, saving outlier edits, the progress display, the log) is reached through the
// engine host's slots named after those routines.
//
// Main thread only, while no run is active.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/mac_types.h"
#include "platform/movie/movie_types.h"

enum : OSStatus {
  kBZ_NoFreeSpaceForTargetFileErr = 5013,
};

// The creator of the target movie files.
constexpr OSType kBZ_TargetFileCreator = 'TVOD';

// Whether the source belongs to the PAL television system: 25 or 50 frames a second (avFrameDuration, else
// frameDuration in movieTimeScale); with no frame rate known, a 576-line picture.
Boolean BZ_IsPALSource(const BZ_StatMovInfo *source);
// The codec type a compression of the output codec cType really uses, and the quality: 'mjpa' of progressive
// input becomes 'jpeg'; a DV type keeps its kind (DV25, DVCPRO, DVCPRO50) in the source's television system
// (palSource): 'dvc ' and 'dvcp', 'dv5n' and 'dv5p' become each other, 'dvpp' of an NTSC source is 'dvc '.
// Every other codec keeps its type.
void BZ_GetCompressionCodec(CodecType cType, Boolean palSource, Boolean interlaced, CodecType *codecType,
                            CodecQ *spatialQuality);

// Starts the execution of the current project (gBZ.project): output codec '2vuy' when exporting, free-space
// check, settings saved, target movie (and noise movie) created, running analysis stopped, windows closed,
// state kBZ_ProjStateBeingOpened, the stage table rebuilt for a compressed output, the targets opened, the
// project re-initialised, outlier edits saved, state kBZ_ProjStateExecuting and (kBZ_MainThreadTaskType,
// project, kBZ_RunProjectMessage) posted to the main task; " project started." and the project information
// logged. A failure other than dskFulErr deletes the files made, disposes the project (its settings stay)
// and re-initialises the dialog; so does a failure after the analysis was stopped. A failure to stop the
// analysis is returned as it is: a run may still use the buffers.
OSStatus BZ_StartProject();

// Resets the reading and writing state of the project, its progress display, opens its sources, makes the
// progress bar determinate and deactivates the Preview button.
OSStatus BZ_ReinitProject(BZ_ProjPtr project);

// The volume free-space check of the targets: 0, kBZ_NoFreeSpaceForTargetFileErr or a system failure. With
// export and a '2vuy' output that does not fit, the output becomes 'mjpa' and the check runs again.
OSStatus BZ_CheckFreeSpace();

// Opens every source of the project for the run: a directly read source gets the data forks of its video
// media (one per data reference), once; a source that is drawn is opened for playback the first time
// (BZ_OpenMovieForPlaybackInput) and afterwards only gets its world back when the stage table was rebuilt
// (BZ_ReinitPlaybackOffscreen). The first failure.
OSStatus BZ_OpenSourceFiles();
// Cautions the user (a one-button alert through the engine host) when the source's gamma differs by 0.0001
// or more from both 2.2222222222222223 and 2.2 while the output codec is DV or 'icod' and the preference
// alwaysGamma22 is off: the frames will be converted to video gamma. The alert's failure; paramErr for a
// bad project or file number.
OSStatus BZ_WarnAboutAutoGammaConversion(BZ_ProjPtr project, SInt32 fileNum);
// Whether that alert is due, for a source gamma, an output codec and the preference.
Boolean BZ_NeedsAutoGammaWarning(float sourceGamma, CodecType outputCodec, Boolean alwaysGamma22);
// A drawn source's movie draws into a world over the first buffer of its file's copy stage, so that a drawn
// frame already lies where the copy stage reads it. The world has source 0's size and is 4:2:0 for MPEG-2
// movies that render into it, else '2vuy', else (a movie that draws no 4:2:2) 32-bit ARGB; y420Playback or
// rgbPlayback say which. The world keeps the source's own gamma, the movie is active with high-quality
// interlaced drawing and calls BZ_DrawingCompleteProc (refCon: the project) after every task. Then the
// movie is at time 0 and the input at the first frame's time and duration (for MPEG, time 0 and the
// source's frame duration). A buffer that has a world already keeps it. paramErr without the movie or the
// copy stage; the failure to make a world or to request its gamma.
OSStatus BZ_OpenMovieForPlaybackInput(BZ_ProjPtr project, SInt32 fileNum);
// For a source opened for playback whose copy stage lost its world (the table was rebuilt): the world again
// over the new first buffer, of the kind chosen when it was opened, with the source's gamma, and the movie
// drawing into it. Nothing when the world is there.
OSStatus BZ_ReinitPlaybackOffscreen(BZ_ProjPtr project, SInt32 fileNum);
// Before the stage table goes with the project: every source opened for playback stops drawing into the
// world over its buffer and calling the drawing-complete procedure; it is opened anew by the next set-up.
void BZ_ClosePlaybackInputs(BZ_ProjPtr project);

// BZ_OpenTargetFile for each target whose fileRef is valid; the first failure.
OSStatus BZ_OpenTargetFiles();
// Target 0 (the cleaned movie) or 1 (the noise movie): its video track and media in targetMovie[fileNum] at
// source 0's movie time scale, its image description, its compression when the output is compressed, the
// sample-reference semaphore, the data fork opened for writing with the 16-byte header written, and the
// sample-reference state reset (first record at offset 16, no current record).
OSStatus BZ_OpenTargetFile(BZ_ProjPtr project, SInt32 fileNum);
// One compression sequence per buffer of the compress stage, each over the cropped picture of its buffer,
// with the codec of BZ_GetCompressionCodec; target fileNum's image description is filled and maxComprSize
// set from the first. Interlaced 'mjpa' and 'icod' compress through their compressor opened with the
// settings of BZ_GetM_JPEG_Sett or BZ_GetAicSett; noCodecErr when this platform has no such compressor.
// The stage table must hold the compress stage.
OSStatus BZ_SetUpCompressionSequence(BZ_ProjPtr project, SInt32 fileNum);

// The noise movie compressed without loss ('smc ', lossless quality): one sequence per buffer of the write
// stage of file 1, each over the picture of its buffer that the noise movie keeps (BZ_GetCroppedSourceRect
// with clipping), target 1's image description filled in. codecErr when a compressed frame could exceed the
// write stage's buffer for it (BZ_GetNoiseCompressBufferSize). The stage table must hold that write stage.
OSStatus BZ_SetUpNoiseCompressionSequence(BZ_ProjPtr project);
// Whether the noise movie is compressed: none of averaging, noise reduction and varying brightness (whose
// differences are dense) is among the valid selected methods.
Boolean BZ_CompressesNoiseMovie(BZ_ProjPtr project);

// The codec settings of the 'mjpa' compressor for the input's field order (owned handle: DisposeHandle): the
// data under "mjpa even" (top field first) or "mjpa odd" of the bundle resource "M-JPEG Settings". fnfErr
// when the resource is missing, kGL_PropertyListErr when it does not hold that data.
OSStatus BZ_GetM_JPEG_Sett(BZ_ProjPtr project, Handle *settings);
// The same for the 'icod' compressor: "AIC Settings" (Intel) or "AIC Settings PPC", key "AIC progressive",
// "AIC top" (top field first) or "AIC bottom".
OSStatus BZ_GetAicSett(BZ_ProjPtr project, Handle *settings);

// 1 when a project exists and is being opened or executing, else 0.
SInt32 BZ_GetNumProjects();
