// Worker tasks that a stage lends its whole-frame legalising to: the frame is cut into bands of lines
// (CO_FrameSanityCheckUniMP) and every worker legalises one, so a 4:2:2 frame is legalised on every core
// instead of on the stage's own task. The result is the single-task one: the check works line by line.
//
// A stage creates its workers at set-up (BZ_CreateFrameBandWorkers), calls BZ_SanityCheckFrameInBands from
// its own task once per frame and disposes of them when it exits. Not for the main thread.
#pragma once

#include "color/multitask_frames.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/mac_types.h"

struct BZ_FrameBandWorkers {
  MP_TaskData owner;            // stands for the stage: the workers' ends arrive on its inputQueue
  MPQueueID bands;              // the bands, shared by the workers
  MPEventID event;              // a finished band sets its bit
  SInt32 numWorkers;
  SInt32 width;                 // padded width the float lines are made for
  CO_MP_SanityCheckParams *params;  // numWorkers records
  float *lines;                 // numWorkers float lines of width x 2 floats
};

// Starts `numWorkers` (1 or more) workers for frames of `width` pixels. Owned: BZ_DisposeFrameBandWorkers,
// which also takes what a failure left half made. paramErr for a width or count below 1; memFullErr, or the
// error of making a queue, an event or a task.
OSStatus BZ_CreateFrameBandWorkers(SInt32 width, SInt32 numWorkers, BZ_FrameBandWorkers **workers);
// Stops the workers and frees everything; null is allowed.
void BZ_DisposeFrameBandWorkers(BZ_FrameBandWorkers *workers);
// The sanity check (CO_FrameSanityCheckUni) over `height` packed lines of the
// workers' width, in bands on the workers (small frames on the calling task). The processor flags come
// from the engine's processor record. paramErr without workers or frame; a post or wait error otherwise.
OSStatus BZ_SanityCheckFrameInBands(BZ_FrameBandWorkers *workers, SInt32 height, void *frame,
                                    Boolean inputIsFullRange);
