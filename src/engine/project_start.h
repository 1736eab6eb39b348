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

// The picture's rectangle inside a padded working frame of an inHeight x inWidth source: left 8, top 8 x f
// (f = 2 when interlaced, else 1), right inWidth + 8, bottom top + inHeight; inset by the crop margins when
// cropping is on, except when black bars are only masked and `clipping` is set.
void BZ_GetTargetPictureRect(const BZ_InputSett *inputSett, SInt32 inHeight, SInt32 inWidth, Boolean clipping,
                             Rect *sourceRect);

// The codec type a compression of the output codec cType really uses, and the compressor and quality: 'mjpa'
// of progressive input becomes 'jpeg'; a DV type ('dvc ', 'dvcp', ...) of a 576-line picture becomes 'dvcp';
// every other codec keeps its type.
void BZ_GetCompressionCodec(CodecType cType, SInt32 pictureHeight, Boolean interlaced, CodecType *codecType,
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
// set from the first. The stage table must hold the compress stage.
OSStatus BZ_SetUpCompressionSequence(BZ_ProjPtr project, SInt32 fileNum);

// 1 when a project exists and is being opened or executing, else 0.
SInt32 BZ_GetNumProjects();
