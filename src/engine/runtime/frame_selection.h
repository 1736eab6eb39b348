// Which frames a run processes, and movie time <-> frame number for the sources.
//
// Executing processes every frame, previewing one frame, and analysing a movie for automatic settings up to
// ten sample frames spread over the movie, each with the neighbouring frames that the stages before the
// analysing stage need. The samples become a frame list per stage: each stage reads the frames of its own
// chunk around every frame it outputs (noise reduction one before and one after, outliers 2k each way, the
// others just the frame), so the list of a stage is the samples expanded by every stage between it and the
// analysing stage.
//
// Frame numbers count from 0. A frame list is an array of SInt32, ascending within each run, handed on with
// its count; the test-frame list is ended by kBZ_EndOfFrameList. An array for a run's frame list needs
// BZ_GetMaxSampleNumArraySize entries; the selection never writes more.
//
// MPEG sources (codec 'm2v ', 'm1v ', 'm2s ' or 'MPEG') are taken as evenly spaced frames of frameDuration
// (exactly frameDurationF) movie time units; other sources use the movie's own sample times.
//
// Threads: the selection runs on the stage tasks during a run and on the main thread between runs; it reads
// the current project's settings, state and stage table, which do not change while a run is going on. The
// movie time functions call the movie toolbox: main thread, or the read task for its own source movie.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/movie/movie_types.h"

enum : SInt32 {
  kBZ_EndOfFrameList = 0x7FFFFFFF,  // ends a frame list where a stage reads it
  kBZ_MovieTooShortErr = 5014,      // the frame range is shorter than the frames a sample needs
};

enum : SInt32 {
  kBZ_MaxNumSamples = kBZ_NumTestFrames,  // samples of an analysis (but logo finding)
  kBZ_MaxNumRlSamples = 1000,             // samples of logo finding
};

// ---- Movie time ------------------------------------------------------------------------------------------------

// The frame showing movieTime: movieTime / frameDuration for MPEG sources, else the movie's own frame (-1 at
// or after the video end). -1 without a movie or static information.
SInt32 BZ_MovieTimeToFrameNumber(Movie movie, const BZ_StatMovInfo *statMovInfo, TimeValue movieTime);
// The start of frame frameNum: frameDuration x frameNum for MPEG sources (-1 beyond 32-bit time), else the
// movie's own (-1 beyond its frames).
TimeValue BZ_MovieFrameNumberToTime(Movie movie, const BZ_StatMovInfo *statMovInfo, SInt32 frameNum);

// Fills statMovInfo->timeList with the start time of each of its numFrames frames, replacing a list it had
// (owned by the record: GL_DisposePtr). MPEG: frameDuration x i. Others: the visual frames walked from time
// 0; when the walk ends early (no next frame, a frame of no duration) the remaining entries continue at
// frameDuration steps (at least 1), so the list stays ascending. No frames: no list. memFullErr (and no
// list) when memory is out; paramErr without a record, or without a movie for a non-MPEG source.
OSStatus BZ_MakeMovieTimeList(Movie movie, BZ_StatMovInfo *statMovInfo);

// The index of the last time-list entry not later than movieTime (binary search); 0 when movieTime precedes
// the first entry; -1 without a list.
SInt32 BZ_MovieFrameNumberFromTimeList(const BZ_StatMovInfo *statMovInfo, TimeValue movieTime);

// The next frame's time and a frame duration. MPEG: *movieTimeF (kept by the caller from frame to frame)
// grows by frameDurationF, the next time is its integer part after adding 0.49, and the duration is the
// step from movieTime; others: the movie's next visual frame and its duration (-1 and 0 after the last).
void BZ_GetMovieVideoNextTime(Movie movie, const BZ_StatMovInfo *statMovInfo, TimeValue movieTime, double *movieTimeF,
                              TimeValue *nextMovieTime, TimeValue *duration);
// The previous frame's time and its duration (duration may be NULL). MPEG: before time 1, -1 and 0; else
// movieTime - frameDuration (not below 0) and frameDuration. Others: the movie's previous visual frame, the
// last one ending at the video duration.
void BZ_GetMovieVideoPrevTime(Movie movie, const BZ_StatMovInfo *statMovInfo, TimeValue movieTime,
                              TimeValue *prevMovieTime, TimeValue *duration);

// The frames a run can process: those of source 0, the smaller count when a second source is known; 0 for
// none (never negative).
SInt32 BZ_GetNumFramesInMovie(const BZ_StatMovInfo *statMovInfo);

// ---- Chunks ------------------------------------------------------------------------------------------------------

// The frames the stage of that type needs around each frame it outputs: noise reduction 1 before, 1 after,
// 1 buffer kept (chunk 3); outliers 2k each (chunk 4k + 1, k the current project's numConstPix, held to its
// valid range 1..3, 2 without a project); every other type none (chunk 1). Each output may be NULL.
SInt32 BZ_TaskTypeToChunkSize(BZ_TaskType taskType, SInt32 *numPrev, SInt32 *numNext, SInt32 *numPrevBuffersNeeded);

// 1 + the sum of (chunk size - 1) over the first numStages entries of the stage table (fewer when the table
// ends earlier), with the three counts summed alike. Each output may be NULL.
SInt32 BZ_GetCompoundedChunkSize(const BZ_BuffInfo *buffInfo, SInt32 numStages, SInt32 *totalNumPrev,
                                 SInt32 *totalNumNext, SInt32 *totalNumPrevBuffersNeeded);

// Entries a frame list of a run over that stage table can need: kBZ_MaxNumSamples x the compounded chunk of
// the whole table, kBZ_MaxNumRlSamples x it when the table holds a logo-removal stage.
SInt32 BZ_GetMaxSampleNumArraySize(const BZ_BuffInfo *buffInfo);

// The least difference between the end and the start frame that the automatic noise measurement accepts:
// the sum of (chunk size - 1) over the methods that will run with the current project's settings.
SInt32 BZ_GetMinEndstartFrameDiffForNrAutosettCalc();

// ---- Selection -----------------------------------------------------------------------------------------------------

// Spreads at most maxNumSamples samples over startFrame..endFrame: with len the positions at which a whole
// chunk fits, sample i = startFrame + numPrev + int(len / n x (i + 0.499)), equal neighbours merged, so each
// sample's chunk lies inside the range. kBZ_MovieTooShortErr when no chunk fits; paramErr for a NULL array
// or count or maxNumSamples below 1. sampleNumArray needs maxNumSamples entries.
OSStatus BZ_SelectMovieSamples(SInt32 startFrame, SInt32 endFrame, SInt32 compoundedChunkSize, SInt32 numPrev,
                               SInt32 maxNumSamples, SInt32 *sampleNumArray, SInt32 *numSamples);

// The samples of a logo-finding analysis: numBackGrFrames (held to 10..1000) frames in groups of ten evenly
// spread sets, each group shifted one frame further, the whole centred in the frames where a chunk fits.
// *numFrames 0 when no chunk fits. sampleNumArray needs kBZ_MaxNumRlSamples entries.
void BZ_SelectRlAutoSettMovieSamples(SInt32 numFramesInMovie, SInt32 compoundChunkSize, SInt32 numPrev,
                                     SInt32 numBackGrFrames, SInt32 *numFrames, SInt32 *sampleNumArray);

// Expands one stage's frame list into the frames it reads: outSampleArray gets a copy of the list (what the
// stage outputs), and the list itself becomes every frame v - numPrev .. v + numNext of each frame v, those
// outside 0 .. numSamplesInMovie - 1 dropped and overlapping chunks merged; where the list started a new
// ascending run, the expanded list starts one too. The list's array needs room for the expanded list (at
// most chunkSize x *numInSamples entries, and never more than BZ_GetMaxSampleNumArraySize for lists of a
// run); outSampleArray for *numInSamples. paramErr for NULL arrays or counts or chunkSize below 1.
OSStatus BZ_CompoundFrameSelection(SInt32 numSamplesInMovie, SInt32 chunkSize, SInt32 numPrev, SInt32 numNext,
                                   SInt32 *inSampleNumArray, SInt32 *numInSamples, SInt32 *outSampleArray,
                                   SInt32 *numOutSamples);

// The frame lists of the stage of taskType for the current run of the current project: the frames it reads
// (inSampleNumArray), those it outputs (outSampleNumArray), and the test frames whose results the analysis
// keeps (testNumArray, ended by kBZ_EndOfFrameList, at most kBZ_NumTestFrames + 1 entries). Executing: every
// frame, lists not filled, no test frames. Previewing: the preview frame. Analysing: the samples of the
// analysing stage (that of the automatic setting being calculated, else the last stage), expanded stage by
// stage towards the front down to this one; a stage after the analysing stage (or the reading stage)
// reads and outputs the same list. The in and out arrays need BZ_GetMaxSampleNumArraySize entries.
// kBZ_MovieTooShortErr when the movie or the noise measurement's range is too short; paramErr without a
// project or for NULL arguments.
OSStatus BZ_SelectMovieSamplesForStage(SInt32 numSamplesInMovie, BZ_TaskType taskType, SInt32 *inSampleNumArray,
                                       SInt32 *numInSamples, SInt32 *outSampleNumArray, SInt32 *numOutSamples,
                                       SInt32 *testNumArray, SInt32 *numTestFrames);

// How many frames the current run processes: every frame when executing or measuring varying brightness,
// 1 when previewing, else the number of samples of the analysing stage (0 when none can be chosen).
SInt32 BZ_GetNumSelectedMovieSamples();

// The stage task type that calculates an automatic-settings stage of the project dialog: 1 averaging (13),
// 2 varying brightness (14), 4 and 8 noise reduction (15), 16 logo removal (16), any other 0.
UInt32 BZ_GetAutoSettTaskType(UInt32 stageFlag);

// ---- Cropping ------------------------------------------------------------------------------------------------------

// A new region (owned: DisposeRgn; NULL when memory is out): the track rectangle (0, 0, trackHeight,
// trackWidthF rounded) inset by the crop margins of cropRect (lines at the top and bottom, pixels at the
// left and right of a width x height picture) scaled to the track size, each margin rounded to an even
// number. Margins that would cross leave an empty rectangle; a picture of no size leaves the margins
// unscaled.
RgnHandle BZ_GetScaledCropRgn(const Rect *cropRect, float trackWidthF, SInt32 width, SInt32 trackHeight,
                              SInt32 height);
