// The noise-frame stage: for every cleaned frame, the difference between the source (dirty) frame and the
// cleaned frame drawn around a mid grey, written as the noise movie (target 1) when executing and drawn as
// the preview's third ARGB picture when previewing. While outliers are edited in the preview, the difference
// is made from the preview's cleaned frame with the kept specks filled in (luma only, scale 1) and the specks
// are coloured in the picture. The stage also releases the source frames that the first
// processing stage keeps for it (BZ_FreeDirtyFrames, called by the compress or write stage).
//
// Messages: cleaned frames arrive on the stage's inputQueue from the compress stage (or the write stage of
// file 0 without compression) and stay theirs: the stage sets kBZ_NoiseFrameReleasedFlag on that stage's
// event once it has read the frame. The difference picture is built into a free buffer of the write stage of
// file 1 and, when executing, posted to its inputQueue as (kBZ_NoiseFrameTaskType, project, buffer); otherwise
// the buffer goes back to that stage's free queue.
//
// The difference picture's kernels are in diff_lines.h.
#pragma once

#include "engine/runtime/project_settings.h"
#include "engine/runtime/project_types.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/mac_types.h"

#include <cstddef>

struct BZ_NoiseParams {
  BZ_DiffParams *diffParams;  // borrowed: the project's
  float inGamma;              // the internal gamma
};

// The stage task (parameter: its MP_TaskData, termMessage2 the project). Returns the task's result.
OSStatus BZ_NoiseFrameTask(void *parameter);

// The padded frame size, the stage's parameters (an optimal luma scale never measured becomes 3.0 for both
// optimal scales), where cleaned frames come from (the compress stage, else the write stage of file 0) and
// where difference pictures go (the write stage of file 1) with its queues, whether the run previews, and
// the output gamma table (owned: GL_DisposePtr; NULL when the internal gamma is the display gamma).
// editingOutliers is set while previewing with outliers edited in the preview (BZ_GetEditingOutliers) and the
// preview has its outlier record; savedInBuffer is then that record's frame-sized save buffer (borrowed; the
// record owns it and its difference frame, both made here once). paramErr when a stage or queue is missing.
OSStatus BZ_SetupNoiseFrameTask(MP_TaskData *taskData, SInt32 *height, SInt32 *width, size_t *bufferSize,
                                UInt8 **savedInBuffer, BZ_NoiseParams *noiseParams, BZ_BuffInfo **inBuffInfo,
                                BZ_BuffInfo **outBuffInfo, MPQueueID *inInputQueue, Boolean *previewing,
                                Boolean *editingOutliers, MPQueueID *outInputQueue, MPQueueID *outFreeQueue,
                                UInt16 **newRGB);

// The source frame of a frame number in the first processing stage's buffers, or NULL.
UInt8 *BZ_GetDirtyFramePtr(BZ_ProjPtr project, SInt32 frameNum);

// Releases the source frames that no later frame needs once frame F (inFrameBuffInfo->frameNum) is done:
// candidates F - numPrev to F; when not executing only those among the numPrev + 1 list entries before
// arrayNum of outSampleArray. A candidate stays while a later frame still reads it (executing: F is not the
// last of numFrames and the candidate is not the oldest; otherwise: the next listed frame reaches back to
// it). Released buffers go to the outlier stage's input queue when that is the first processing stage, else
// to dirtyFreeQueue, with taskType as sender. The first error stops the release and is returned.
OSStatus BZ_FreeDirtyFrames(BZ_ProjPtr project, BZ_TaskType taskType, const BZ_FrameBuffInfo *inFrameBuffInfo,
                            const SInt32 *outSampleArray, SInt32 arrayNum, SInt32 numFrames,
                            MPQueueID dirtyFreeQueue, SInt32 numPrev);

// The compress stage (or the write stage of file 0) after the noise frame of a frame is made, executing with
// a noise movie: when the outlier stage is the first processing stage, which keeps its source frames for the
// noise movie, they are released to it (BZ_FreeDirtyFrames with the table's numPrevBuffersNeeded). Nothing
// otherwise. The release's failure.
OSStatus BZ_ReleaseDirtyFramesAfterNoise(BZ_ProjPtr project, BZ_TaskType taskType,
                                        const BZ_FrameBuffInfo *inFrameBuffInfo);

// The difference picture of two padded '2vuy' frames of height x width pixels into outBuffer: mid grey from
// inGamma, the channel factors from diffParams' scale mode, luma only, chroma only (drawn into the luma too)
// or both.
void BZ_MakeDiffFrame(SInt32 height, SInt32 width, const BZ_DiffParams *diffParams, float inGamma,
                      const UInt8 *dirtyFramePtr, const UInt8 *cleanFramePtr, UInt8 *outBuffer);

// The mid grey of the difference picture: 0.5 at display gamma 2.2 expressed in inGamma, in video range
// (125 for 2.2, 110 for 1.8).
SInt32 BZ_DiffMediumGray(float inGamma);

