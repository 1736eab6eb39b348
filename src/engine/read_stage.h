// The read stage: the first stage of every run, one task per source file. For each frame the run needs it
// takes a free buffer of its file's copy stage, records the frame's number, time and duration in it and gets
// the picture there in one of three ways:
//   - from the source frame cache (analysis and preview runs, file 0): the buffer goes on marked
//     copyFromCache and the copy stage fills it from the cache;
//   - by a direct read: an uncompressed 4:2:2 source's sample is located through its sample reference and
//     read from the data fork of its data reference with one fork read, on the task itself;
//   - by drawing: the stage posts kBZ_DrawFrameEvent to the main thread, which moves the source movie to the
//     frame and lets it draw into the copy stage's buffer; the drawing-complete procedure advances the file's
//     time and posts the buffer on (sender kBZ_CustomAppEventHandlerTaskType).
//
// Messages: free buffers arrive on the copy stage's inFreeQueue; frames go to the copy stage's inputQueue as
// (kBZ_ReadTaskType, project, buffer) and are the copy stage's from the post on. The stage sends no end of
// stream: once its frame list is used up it keeps the last buffer and waits until the main task stops it.
// An error ends the task; it reaches the main task only as the task's result.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/mac_types.h"
#include "platform/movie/movie_types.h"

#include <cstddef>

// The stage task (parameter: its MP_TaskData, termMessage2 the project). Returns the task's result.
OSStatus BZ_ReadTask(void *parameter);

// Finds the stage whose first task is taskData, its file number and output (its file's copy stage) with the
// queue of free buffers to fill, the file's source movie, whether every frame is read (executing, or the
// varying-brightness automatic setting is measured), the frame list of an analysis or preview run (owned:
// DisposePtr; NULL when every frame is read) with its length, and the bytes of one picture (width x height
// x 4 when played back into ARGB, else x 2, of source 0). paramErr when the stage or its output is missing.
OSStatus BZ_SetupReadTask(BZ_ProjPtr project, MP_TaskData *taskData, MPQueueID *outFreeQueue,
                          BZ_BuffInfo **stageBuffInfo, BZ_BuffInfo **outputBuffInfo, SInt32 *fileNum, Movie *movie,
                          Boolean *readAll, SInt32 **outSampleArray, SInt32 *numOutFrames, size_t *actualSize);

// Fills a buffer's frame information from the file's input state (time, duration, frame number, which then
// advances) with actualSize and the index in the frame list (-1 without a list).
void BZ_SetReadFrameBuffInfo(BZ_FrameBuffInfo *frameBuffInfo, BZ_DynInputInfo *inputInfo, size_t actualSize,
                             SInt32 arrayNum);

// Reads the frame at the input's movieTime of a directly read source into buffer (bufferSize bytes): the
// sample at that media time of the track, from the fork of its data reference (inputInfo->fileRefNum). The
// sample must hold at least frameSize bytes and fit the buffer: a sample outside those bounds gives
// kQT_AtomTableErr and nothing is read; a data reference without an open fork gives
// kQT_DataRefIndexNotInMediaErr; a fork that ends inside the sample gives eofErr. Any task.
OSStatus BZ_ReadFrameDirect(Track track, Media media, const BZ_DynInputInfo *inputInfo, void *buffer,
                            size_t bufferSize, size_t frameSize);

// Posts kBZ_DrawFrameEvent with kBZ_FileNumEventParam to the main thread through the engine host; the
// posting's result.
OSStatus BZ_SendDrawFrameEvent(SInt32 fileNum);

// Main thread, for a source that is not read directly: moves the file's source movie to the input's
// movieTime and lets it draw once into its world; the movie error (GetMoviesError). A file number outside
// the table or without a movie gives paramErr.
OSStatus BZ_SetSrcMovieTimeValue(BZ_ProjPtr project, SInt32 fileNum);

// The source movie's drawing-complete procedure (refCon: the project), on the main thread after each
// drawing: advances the input of the file whose movie this is to the next frame and posts the copy stage's
// buffer (sender kBZ_CustomAppEventHandlerTaskType) to the copy task; a movie of no file gives noErr. After
// a drawing that failed the buffer is not posted: the drawing's error goes to the main task's input queue
// (sender kBZ_CustomAppEventHandlerTaskType), which stops the run with it, and is returned.
OSErr BZ_DrawingCompleteProc(Movie movie, long refCon);
